// A minimal ordered list of untyped pointers with a last-in-first-out stack on
// top of it, exported by the core for callers that want the core's own pair
// rather than the platform's. The lists never own what they hold: the
// pointers are the caller's, and popping or destroying a list frees nothing.
//
// The pair lives in namespace fyndra::zvcontnrs so that it does not collide
// with the platform's TStack of the same name in namespace fyndra.
#pragma once

#include <cstddef>
#include <vector>

namespace fyndra::zvcontnrs {

class TOrderedList {
 public:
  TOrderedList() = default;
  virtual ~TOrderedList() = default;
  TOrderedList(const TOrderedList&) = delete;
  TOrderedList& operator=(const TOrderedList&) = delete;

  int Count() const { return static_cast<int>(FList.size()); }
  bool AtLeast(int ACount) const { return Count() >= ACount; }

  // Stores Item where the descendant's PushItem puts it, and returns it.
  void* Push(void* Item);
  // The last element, or null on an empty list.
  void* Pop() { return PopItem(); }
  void* Peek() { return PeekItem(); }

 protected:
  virtual void PushItem(void* Item) = 0;
  // Last element (null when empty); PopItem also removes it.
  virtual void* PopItem();
  virtual void* PeekItem();

  std::vector<void*>& List() { return FList; }

 private:
  std::vector<void*> FList;
};

class TStack : public TOrderedList {
 protected:
  void PushItem(void* Item) override;
};

}  // namespace fyndra::zvcontnrs
