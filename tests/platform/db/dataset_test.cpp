#include "platform/db/dataset.h"

#include "dbtest.h"

namespace fyndra::test {
namespace {

TEST(DataSetNavigation, NextAfterLastSetsEofAndStaysOnLast) {
  TPeople P(FivePeople());
  EXPECT_TRUE(P->Bof());
  EXPECT_FALSE(P->Eof());
  EXPECT_EQ(P.Ids(), (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_TRUE(P->Eof());
  EXPECT_EQ(P.Id(), 5);
  P->Next();
  EXPECT_TRUE(P->Eof());
  EXPECT_EQ(P.Id(), 5);
}

}  // namespace
}  // namespace fyndra::test
