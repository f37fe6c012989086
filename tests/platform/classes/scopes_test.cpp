#include <fyndra/platform/classes/scopes.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include <fyndra/platform/classes/system.h>

namespace fyndra {
namespace {

enum TStep : std::uint8_t { stOne, stTwo };
using TSteps = TSet<TStep>;

TEST(Scopes, TRestorePutsTheValueBackOnEveryWayOut) {
  std::string Value = "before";
  {
    TRestore<std::string> Scope(Value, "during");
    EXPECT_EQ(Value, "during");
  }
  EXPECT_EQ(Value, "before");
  try {
    TRestore<std::string> Scope(Value, "during");
    throw std::runtime_error("x");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(Value, "before");
}

TEST(Scopes, ANestedFlagScopeLeavesTheOuterFlagSet) {
  TSteps State;
  {
    TFlagScope Outer(State, stOne);
    {
      TFlagScope Inner(State, stOne);
      TFlagScope Other(State, stTwo);
      EXPECT_TRUE(State.Contains(stOne) && State.Contains(stTwo));
    }
    EXPECT_TRUE(State.Contains(stOne));  // still the outer call's
    EXPECT_FALSE(State.Contains(stTwo));
  }
  EXPECT_TRUE(State.Empty());
}

// A target that records its calls and can be told to fail when it ends.
struct TUpdatable {
  std::string Log;
  bool FailOnEnd = false;
  void BeginUpdate() { Log += "begin "; }
  void EndUpdate() {
    Log += "end";
    if (FailOnEnd) throw std::logic_error("end failed");
  }
};

TEST(Scopes, TheUpdateEndsAfterABodyThatThrowsAndTheBodysErrorPassesOn) {
  TUpdatable T;
  InUpdate(T, [&] { T.Log += "body "; });
  EXPECT_EQ(T.Log, "begin body end");

  T.Log.clear();
  EXPECT_THROW(InUpdate(T, [] { throw std::runtime_error("body failed"); }), std::runtime_error);
  EXPECT_EQ(T.Log, "begin end");

  // Ending fails too: the body's error is the one the caller sees.
  T.Log.clear();
  T.FailOnEnd = true;
  try {
    InUpdate(T, [] { throw std::runtime_error("body failed"); });
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& E) {
    EXPECT_STREQ(E.what(), "body failed");
  }
  // Without an error of the body, ending's own error reaches the caller.
  EXPECT_THROW(InUpdate(T, [] {}), std::logic_error);
}

}  // namespace
}  // namespace fyndra
