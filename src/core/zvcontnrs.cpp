#include <fyndra/core/zvcontnrs.h>

namespace fyndra::zvcontnrs {

void* TOrderedList::Push(void* Item) {
  PushItem(Item);
  return Item;
}

// An empty list answers null rather than failing: callers test Count or
// AtLeast when they need to tell an empty list from a stored null.
void* TOrderedList::PopItem() {
  if (FList.empty()) return nullptr;
  void* Result = FList.back();
  FList.pop_back();
  return Result;
}

void* TOrderedList::PeekItem() { return FList.empty() ? nullptr : FList.back(); }

void TStack::PushItem(void* Item) { List().push_back(Item); }

}  // namespace fyndra::zvcontnrs
