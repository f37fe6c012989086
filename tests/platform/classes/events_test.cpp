#include <fyndra/platform/classes/events.h>

#include <gtest/gtest.h>

#include <fyndra/platform/classes/classes.h>

namespace fyndra {
namespace {

struct TReceiver {
  int Calls = 0;
  int Last = 0;
  void Take(int V) {
    ++Calls;
    Last = V;
  }
  void Other(int V) { Last = -V; }
  int Twice(int V) const { return 2 * V; }
};

struct TDerivedReceiver : TReceiver {
  virtual ~TDerivedReceiver() = default;
  virtual void Hook(int V) { Last = V; }
};
struct TOverridingReceiver : TDerivedReceiver {
  void Hook(int V) override { Last = 100 + V; }
};

int Tripled = 0;
void Triple(int V) { Tripled = 3 * V; }
void Quadruple(int V) { Tripled = 4 * V; }

TEST(EventTest, NullMethodIsFalseEqualToOtherNullsAndRaisesWhenCalled) {
  TEvent<void(int)> E;
  EXPECT_FALSE(E);
  EXPECT_TRUE(E == nullptr);
  EXPECT_EQ(E, TEvent<void(int)>(nullptr));
  EXPECT_THROW(E(1), EInvalidOperation);
  TReceiver R;
  EXPECT_FALSE(TEvent<void(int)>(static_cast<TReceiver*>(nullptr), &TReceiver::Take));
  EXPECT_NE(E, TEvent<void(int)>(&R, &TReceiver::Take));
}

TEST(EventTest, IdentityIsCodeAndObject) {
  TReceiver A, B;
  TEvent<void(int)> AT(&A, &TReceiver::Take);
  EXPECT_EQ(AT, TEvent<void(int)>(&A, &TReceiver::Take));
  EXPECT_NE(AT, TEvent<void(int)>(&B, &TReceiver::Take));
  EXPECT_NE(AT, TEvent<void(int)>(&A, &TReceiver::Other));
  EXPECT_EQ(TEvent<void(int)>(&Triple), TEvent<void(int)>(&Triple));
  EXPECT_NE(TEvent<void(int)>(&Triple), TEvent<void(int)>(&Quadruple));
  TEvent<void(int)> Copy = AT;
  EXPECT_EQ(Copy, AT);
  Copy.Clear();
  EXPECT_FALSE(Copy);
  EXPECT_TRUE(AT);
}

TEST(EventTest, CallsReachMemberFreeConstVirtualAndCallableTargets) {
  TReceiver R;
  TEvent<void(int)>(&R, &TReceiver::Take)(5);
  EXPECT_EQ(R.Calls, 1);
  EXPECT_EQ(R.Last, 5);
  EXPECT_EQ((TEvent<int(int)>(&R, &TReceiver::Twice)(21)), 42);
  TEvent<void(int)> T(&Triple);
  T(3);
  EXPECT_EQ(Tripled, 9);

  TOverridingReceiver O;
  TEvent<void(int)> H(&O, &TDerivedReceiver::Hook);
  H(1);
  EXPECT_EQ(O.Last, 101);

  int Seen = 0;
  auto C = TEvent<void(int)>::FromCallable([&Seen](int V) { Seen = V; });
  auto CopyOfC = C;
  C(8);
  EXPECT_EQ(Seen, 8);
  EXPECT_EQ(C, CopyOfC);
  EXPECT_NE(C, TEvent<void(int)>::FromCallable([&Seen](int V) { Seen = V; }));
}

TEST(EventTest, UntypedMethodRoundTripChecksTheSignature) {
  TReceiver R;
  TEvent<void(int)> E(&R, &TReceiver::Take);
  TMethod M = E.Method();
  EXPECT_EQ(TEvent<void(int)>::FromMethod(M), E);
  EXPECT_THROW(TNotifyEvent::FromMethod(M), EInvalidOperation);
  EXPECT_FALSE(TNotifyEvent::FromMethod(TMethod()));
}

}  // namespace
}  // namespace fyndra
