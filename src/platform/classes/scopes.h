// Helpers that tie a temporary change to the span of one operation, for every
// layer. Which kind to use depends on what undoing the change does:
// - Putting a value back only writes memory, so it runs in a destructor and
//   holds on every way out: TRestore, TFlagScope.
// - Ending an update (EndUpdate, EnableControls) notifies listeners and may
//   throw, so it must not run in a destructor (an exception there would end
//   the program while another one unwinds). RunBetween, InUpdate and
//   TDataSet::WithControlsDisabled take the operation as a function instead
//   and end the update after it, also when it throws.
#pragma once

#include <utility>

namespace fyndra {

// Sets Target to Value for the lifetime of the scope, then puts back what it
// held before.
template <class T>
class TRestore {
 public:
  TRestore(T& Target, T Value) : Target_(Target), Saved_(std::move(Target)) { Target_ = std::move(Value); }
  ~TRestore() { Target_ = std::move(Saved_); }
  TRestore(const TRestore&) = delete;
  TRestore& operator=(const TRestore&) = delete;

 private:
  T& Target_;
  T Saved_;
};

// Includes Flag in the set State for the lifetime of the scope and takes it
// out again only when it was not there before, so that a re-entrant call does
// not clear the outer call's flag early.
template <class TSetType>
class TFlagScope {
 public:
  using TFlag = typename TSetType::TElement;
  TFlagScope(TSetType& State, TFlag Flag) : State_(State), Flag_(Flag), WasSet_(State.Contains(Flag)) {
    State_.Include(Flag_);
  }
  ~TFlagScope() {
    if (!WasSet_) State_.Exclude(Flag_);
  }
  TFlagScope(const TFlagScope&) = delete;
  TFlagScope& operator=(const TFlagScope&) = delete;

 private:
  TSetType& State_;
  TFlag Flag_;
  bool WasSet_;
};

// Runs Begin, Body and End in this order; End runs also when Body throws, and
// then Body's exception is the one that passes on (one that End raises while
// cleaning up is dropped).
template <class FBegin, class FEnd, class FBody>
void RunBetween(FBegin&& Begin, FEnd&& End, FBody&& Body) {
  Begin();
  try {
    Body();
  } catch (...) {
    try {
      End();
    } catch (...) {
    }
    throw;
  }
  End();
}

// Runs Body between Target.BeginUpdate() and Target.EndUpdate() (a
// collection, a string list, field or index definitions, compare items).
template <class TTarget, class FBody>
void InUpdate(TTarget& Target, FBody&& Body) {
  RunBetween([&] { Target.BeginUpdate(); }, [&] { Target.EndUpdate(); }, Body);
}

}  // namespace fyndra
