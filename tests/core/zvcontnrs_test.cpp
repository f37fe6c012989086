#include <fyndra/core/zvcontnrs.h>

#include <gtest/gtest.h>

namespace fyndra::zvcontnrs {
namespace {

TEST(ZvContnrs, StackIsLastInFirstOutAndOwnsNothing) {
  int A = 1, B = 2, C = 3;
  TStack S;
  EXPECT_EQ(S.Count(), 0);
  EXPECT_TRUE(S.AtLeast(0));
  EXPECT_FALSE(S.AtLeast(1));
  EXPECT_EQ(S.Peek(), nullptr);
  EXPECT_EQ(S.Pop(), nullptr);

  EXPECT_EQ(S.Push(&A), &A);
  S.Push(&B);
  S.Push(nullptr);
  S.Push(&C);
  EXPECT_EQ(S.Count(), 4);
  EXPECT_TRUE(S.AtLeast(4));
  EXPECT_FALSE(S.AtLeast(5));
  EXPECT_EQ(S.Peek(), &C);
  EXPECT_EQ(S.Count(), 4);
  EXPECT_EQ(S.Pop(), &C);
  EXPECT_EQ(S.Pop(), nullptr);  // a stored null comes back as such
  EXPECT_EQ(S.Count(), 2);
  EXPECT_EQ(S.Pop(), &B);
  EXPECT_EQ(S.Pop(), &A);
  EXPECT_EQ(S.Count(), 0);
  EXPECT_EQ(A + B + C, 6);  // nothing freed or touched
}

}  // namespace
}  // namespace fyndra::zvcontnrs
