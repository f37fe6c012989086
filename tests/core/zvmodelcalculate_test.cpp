#include <fyndra/core/zvmodelcalculate.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include <fyndra/platform/rtl/textservice.h>
#include "core/zvrecordmodel.h"

namespace fyndra {
namespace {

using rectest::NewRecordModel;
using rectest::TModelPtr;
using rectest::TRecordItem;

// ---------------------------------------------------------------------------
// Tokens

using TokenList = std::vector<std::pair<int, std::string>>;

TokenList Tokens(const std::string& Text) {
  TzvExpressionLexer Lexer(Text);
  TokenList Out;
  std::string Name;
  for (int Code = Lexer.Next(Name); Code != ctEnd; Code = Lexer.Next(Name)) Out.emplace_back(Code, Name);
  return Out;
}

TEST(ExpressionLexerTest, TokenTable) {
  SetDefaultLocale("en_US");
  const struct {
    std::string Text;
    TokenList Expected;
  } Cases[] = {
      {"", {}},
      {"  \r\n ", {}},
      {"a AND b", {{ctName, "a"}, {ctAnd, ""}, {ctName, "b"}}},
      {"a and B Or c", {{ctName, "a"}, {ctAnd, ""}, {ctName, "B"}, {ctOr, ""}, {ctName, "c"}}},
      {"a\r\nor\nb", {{ctName, "a"}, {ctOr, ""}, {ctName, "b"}}},
      {"(a)OR(b)", {{ctOpen, ""}, {ctName, "a"}, {ctClose, ""}, {ctOr, ""}, {ctOpen, ""}, {ctName, "b"},
                    {ctClose, ""}}},
      {"NOT a", {{ctName, "NOT"}, {ctName, "a"}}},
      {"a\tAND\tb", {{ctName, "a\tAND\tb"}}},  // a tab does not separate
      {"\"first name\" and 'AND'", {{ctName, "first name"}, {ctAnd, ""}, {ctName, "AND"}}},
      {"`x (1)` or\"y\"", {{ctName, "x (1)"}, {ctName, ""}}},  // or"y" is one unquoted word
      {"\"abc", {{ctName, "\"abc"}}},              // no closing quote: an ordinary character
      {"\"a\"\"b\"", {{ctName, "a"}, {ctName, "b"}}},  // the first same quote closes
      {"'a\"b' x", {{ctName, "a\"b"}, {ctName, "x"}}},
      {"ab\"cd\" x", {{ctName, ""}, {ctName, "x"}}},  // glued before the quote: no name
      {std::string("a\0b", 3), {{ctName, "a"}}},
  };
  for (const auto& C : Cases) EXPECT_EQ(Tokens(C.Text), C.Expected) << C.Text;
  EXPECT_EQ(Tokens(std::string("a\0 OR b", 7)), (TokenList{{ctName, "a"}}));  // NUL ends the text
}

// ---------------------------------------------------------------------------
// The calculator inside a model

class CalculatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDefaultLocale("en_US");
    Model = NewRecordModel("Finder");
    // Each item agrees when its record holds 1.
    for (const char* Name : {"a", "b", "c"}) Items.push_back(Model->AddItem(Name, varInteger, 4, 0, {ciConvertValue}, 1));
  }
  IzvCalculateModel* Calc() { return Model->GetCalculateModel(); }
  TzvCalculateModelImpl* Impl() { return dynamic_cast<TzvCalculateModelImpl*>(Calc()); }
  // Sets which of a, b, c agree, resets the read counters, and evaluates.
  bool Evaluate(bool A, bool B, bool C) {
    const bool Agree[] = {A, B, C};
    for (int I = 0; I < 3; ++I) {
      Items[I]->Record = Agree[I] ? 1 : 0;
      Items[I]->Reads = 0;
    }
    return Calc()->Calculate();
  }
  void Compile(const std::string& Expression) {
    Calc()->SetExpression(Expression);
    Calc()->PreCompile();
  }
  std::string ErrorOf(const std::string& Expression) {
    try {
      Compile(Expression);
    } catch (const EzvBaseModelError& E) {
      return E.Message();
    }
    return "no error";
  }

  TModelPtr Model;
  std::vector<TRecordItem*> Items;
};

TEST_F(CalculatorTest, AndAndOrGroupFromTheRight) {
  Compile("a AND b OR c");
  // a AND (b OR c): false whenever a is false, unlike (a AND b) OR c.
  EXPECT_FALSE(Evaluate(false, true, true));
  EXPECT_TRUE(Evaluate(true, false, true));
  auto* Root = dynamic_cast<TNode*>(Calc()->GetNode());
  ASSERT_NE(Root, nullptr);
  EXPECT_EQ(Root->GetOperationType(), otAnd);
  ASSERT_NE(dynamic_cast<TLeaf*>(Root->GetLeft()), nullptr);
  EXPECT_EQ(dynamic_cast<TLeaf*>(Root->GetLeft())->GetItem(), Items[0]);
  auto* Right = dynamic_cast<TNode*>(Root->GetRight());
  ASSERT_NE(Right, nullptr);
  EXPECT_EQ(Right->GetOperationType(), otOr);

  Compile("(a AND b) OR c");
  EXPECT_TRUE(Evaluate(false, true, true));
  Compile("a OR b AND c");  // a OR (b AND c)
  EXPECT_TRUE(Evaluate(true, false, false));
  Compile("(a OR b) AND c");
  EXPECT_FALSE(Evaluate(true, false, false));
  Compile("a AND b)");  // a stray closing parenthesis after operands is tolerated
  EXPECT_TRUE(Evaluate(true, true, false));
}

TEST_F(CalculatorTest, EvaluationShortCircuitsLeftFirst) {
  Compile("a OR b");
  EXPECT_TRUE(Evaluate(true, false, false));
  EXPECT_GT(Items[0]->Reads, 0);
  EXPECT_EQ(Items[1]->Reads, 0);
  EXPECT_TRUE(Evaluate(false, true, false));
  EXPECT_GT(Items[1]->Reads, 0);

  Compile("a AND b");
  EXPECT_FALSE(Evaluate(false, true, false));
  EXPECT_EQ(Items[1]->Reads, 0);
}

TEST_F(CalculatorTest, NamesAreFoundIgnoringCaseWithOrWithoutQuotes) {
  Compile("A and \"B\" and `c`");
  EXPECT_TRUE(Evaluate(true, true, true));
  EXPECT_FALSE(Evaluate(true, true, false));
  Compile("");  // c may be renamed only while no expression names it
  Items[2]->SetName("AND");
  Compile("a OR 'AND'");
  EXPECT_TRUE(Evaluate(false, false, true));
}

TEST_F(CalculatorTest, DefaultExpressionJoinsEveryItem) {
  EXPECT_EQ(Impl()->GetDefaultExpression(), "\"a\" and \"b\" and \"c\"");
  EXPECT_EQ(Calc()->GetExpression(), "");
  Calc()->PreCompile();
  EXPECT_TRUE(Evaluate(true, true, true));
  EXPECT_FALSE(Evaluate(true, false, true));
  // A name holding a double quote is enclosed in other quotes and still found.
  Items[1]->SetName("say \"hi\"");
  EXPECT_EQ(Impl()->GetDefaultExpression(), "\"a\" and 'say \"hi\"' and \"c\"");
  Calc()->PreCompile();
  EXPECT_FALSE(Evaluate(true, false, true));
  EXPECT_TRUE(Evaluate(true, true, true));
}

TEST_F(CalculatorTest, InactiveItemsDropOut) {
  Items[1]->SetAsVariant(Null());  // b has no value: inactive
  Compile("a OR b");
  auto* Leaf = dynamic_cast<TLeaf*>(Calc()->GetNode());
  ASSERT_NE(Leaf, nullptr);
  EXPECT_EQ(Leaf->GetItem(), Items[0]);
  EXPECT_FALSE(Evaluate(false, true, true));

  Items[0]->SetAsVariant(Null());
  Calc()->PreCompile();
  EXPECT_NE(dynamic_cast<TEmptyLeaf*>(Calc()->GetNode()), nullptr);
  EXPECT_TRUE(Evaluate(false, false, false));

  Items[1]->SetOptions({ciConvertValue, ciCompareIfEmpty});  // active with a Null value
  Calc()->PreCompile();
  EXPECT_NE(dynamic_cast<TLeaf*>(Calc()->GetNode()), nullptr);
}

TEST(CalculatorEmptyTest, NoItemsAndNoExpressionAgreeWithEverything) {
  TModelPtr Model = NewRecordModel();
  Model->GetCalculateModel()->PreCompile();
  EXPECT_NE(dynamic_cast<TEmptyLeaf*>(Model->GetCalculateModel()->GetNode()), nullptr);
  EXPECT_TRUE(Model->GetCalculateModel()->Calculate());
}

TEST_F(CalculatorTest, InvalidExpressionsAreRefusedAndTheOldOneStays) {
  Compile("a OR b");
  const std::string Operator = "Finder: Inadmissible operator";
  const std::string Expression =
      "Finder: Incorrect expression. You can use only the AND, OR, \", (, ) operators and the names of items "
      "from the CompareItems collection.";
  const struct {
    const char* Text;
    std::string Message;
  } Cases[] = {
      {"a b", Expression},
      {"a AND", Operator},
      {"AND a", Operator},
      {"(a AND b", Operator},
      {")", Operator},
      {"a)", Operator},
      {"x AND a",
       "Finder: Item 'x' not found. Delete this name from expression, which is given in property "
       "Finder.Expression or add the element with name 'x' into collection Finder.CompareItems"},
      {"NOT a",
       "Finder: Item 'NOT' not found. Delete this name from expression, which is given in property "
       "Finder.Expression or add the element with name 'NOT' into collection Finder.CompareItems"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Text);
    EXPECT_EQ(ErrorOf(C.Text), C.Message);
    EXPECT_EQ(Calc()->GetExpression(), "a OR b");
    EXPECT_FALSE(Evaluate(false, false, true));  // still a OR b
    EXPECT_TRUE(Evaluate(false, true, false));
  }
}

TEST_F(CalculatorTest, DesignStateTurnsUnknownNamesIntoEmptyLeaves) {
  Model->SetDesigning(true);
  Compile("x OR a");
  EXPECT_EQ(dynamic_cast<TLeaf*>(Calc()->GetNode())->GetItem(), Items[0]);
  // NOT is an unknown name: two operands remain without an operator.
  EXPECT_NE(ErrorOf("NOT a").find("Incorrect expression"), std::string::npos);
}

TEST_F(CalculatorTest, NamedItemCannotBeDeletedOrRenamed) {
  Compile("a AND b");
  const std::string Refusal =
      "Finder: Before removing the item 'a', delete the name of the item from expression, which is given "
      "in property Finder.Expression";
  try {
    Free(Items[0]);
    ADD_FAILURE() << "deletion accepted";
  } catch (const EzvBaseModelError& E) {
    EXPECT_EQ(E.Message(), Refusal);
  }
  EXPECT_EQ(Model->GetCompareItems()->Count(), 3);
  try {
    Items[0]->SetName("z");
    ADD_FAILURE() << "rename accepted";
  } catch (const EzvBaseModelError& E) {
    EXPECT_EQ(E.Message(), Refusal);
  }
  EXPECT_EQ(Items[0]->GetName(), "a");
  EXPECT_TRUE(Evaluate(true, true, false));

  // c is not named: it may go, and so may anything once the expression is empty.
  Free(Items[2]);
  Compile("");
  Items[0]->SetName("z");
  Free(Items[0]);
  EXPECT_EQ(Model->GetCompareItems()->Count(), 1);
}

TEST_F(CalculatorTest, DeletedItemLeavesTheCompiledTree) {
  Calc()->PreCompile();  // default expression: a and b and c
  Free(Items[1]);
  // The tree is evaluated again before the next recompile: b's leaf is gone
  // and the rest still decides.
  Items[0]->Record = 1;
  Items[2]->Record = 0;
  EXPECT_FALSE(Calc()->Calculate());
  Items[2]->Record = 1;
  EXPECT_TRUE(Calc()->Calculate());
  Free(Items[0]);
  Free(Items[2]);
  EXPECT_NE(dynamic_cast<TEmptyLeaf*>(Calc()->GetNode()), nullptr);
  EXPECT_TRUE(Calc()->Calculate());
}

TEST_F(CalculatorTest, IsExistReadsNameTokensOnly) {
  Compile("'A' OR c");
  EXPECT_TRUE(Impl()->IsExist(Items[0]));
  EXPECT_FALSE(Impl()->IsExist(Items[1]));
  EXPECT_TRUE(Impl()->IsExist(Items[2]));
  EXPECT_FALSE(Impl()->IsExist(nullptr));
  EXPECT_EQ(Impl()->Priority(ctAnd), 2);
  EXPECT_EQ(Impl()->Priority(ctOpen), 0);
  EXPECT_THROW(Impl()->Priority(ctName), EzvBaseModelError);
}

// The whole cycle through the model: a changed value applies the model, which
// refreshes the operators and recompiles over the items active now.
TEST(CalculatorInModelTest, ApplyRefreshesOperatorsAndTree) {
  SetDefaultLocale("en_US");
  TModelPtr Model = NewRecordModel("Finder");
  TRecordItem* Name = Model->AddItem("Name", varString, 20, 10, {ciCaseInsensitive, ciConvertValue}, Null());
  TRecordItem* Qty = Model->AddItem("Qty", varInteger, 4, 3, {ciConvertValue}, 10);  // Qty field <= 10
  Model->GetOptions()->SetAutoUpdate(true);
  const std::vector<std::pair<const char*, int>> Rows = {{"red car", 20}, {"blue car", 5}, {"Red bus", 3}, {"tree", 30}};
  auto Matching = [&] {
    std::string Out;
    for (const auto& [N, Q] : Rows) {
      Name->Record = N;
      Qty->Record = Q;
      if (Model->CheckItems()) Out += std::string(Out.empty() ? "" : ",") + N;
    }
    return Out;
  };
  const int Before = Model->Applies;
  Model->SetExpression("Name OR Qty");
  EXPECT_EQ(Model->Applies, Before + 1);
  EXPECT_EQ(Matching(), "blue car,Red bus");  // Name has no value and drops out
  Name->SetAsString("RED");
  EXPECT_EQ(Model->Applies, Before + 2);
  EXPECT_EQ(Matching(), "red car,blue car,Red bus");
  Model->SetExpression("Name AND Qty");
  EXPECT_EQ(Matching(), "Red bus");
  EXPECT_THROW(Model->SetExpression("Name Qty"), EzvBaseModelError);
  EXPECT_EQ(Model->GetExpression(), "Name AND Qty");
  EXPECT_EQ(Matching(), "Red bus");
}

// ---------------------------------------------------------------------------
// Expressions of any length and any name

// A chain of terms groups from the right into a tree as deep as the chain is
// long; compiling, evaluating, walking and freeing it must not recurse.
TEST_F(CalculatorTest, ChainOfAMillionTermsCompilesEvaluatesAndFrees) {
  constexpr int kTerms = 1000000;
  std::string Text = "a";
  Text.reserve(kTerms * 8);
  for (int I = 1; I < kTerms; ++I) Text += I == kTerms / 2 ? " OR b" : " AND a";
  Compile(Text);
  // a AND a ... a OR (b AND a ...): with a agreeing, b is never asked.
  EXPECT_TRUE(Evaluate(true, false, false));
  EXPECT_EQ(Items[1]->Reads, 0);
  EXPECT_FALSE(Evaluate(false, false, false));
  EXPECT_FALSE(Evaluate(false, true, false));  // the first a decides: AND binds the rest
  // The bottom-up walk that index ranges use sees every leaf once, left first.
  struct TSeen {
    int Leaves;
    int FirstB;  // 1-based leaf number of the first b, 0 when none
  };
  const TSeen Seen = zvFoldTree<TSeen>(
      Calc()->GetNode(),
      [this](TBaseNode* Leaf) {
        return TSeen{1, dynamic_cast<TLeaf*>(Leaf)->GetItem() == Items[1] ? 1 : 0};
      },
      [](TNode*, TSeen L, TSeen R) {
        return TSeen{L.Leaves + R.Leaves, L.FirstB ? L.FirstB : (R.FirstB ? L.Leaves + R.FirstB : 0)};
      });
  EXPECT_EQ(Seen.Leaves, kTerms);
  EXPECT_EQ(Seen.FirstB, kTerms / 2 + 1);
  // Freeing the model frees the tree (and prunes it item by item first).
  Model.reset();
  Items.clear();
}

// Parentheses build the tree the other way: deep on the left.
TEST_F(CalculatorTest, DeepLeftNestingEvaluatesAndFrees) {
  constexpr int kDepth = 200000;
  std::string Text(kDepth, '(');
  Text += "a";
  for (int I = 0; I < kDepth; ++I) Text += I == 0 ? " OR b)" : " AND c)";
  Compile(Text);
  // ((a OR b) AND c) AND c ...
  EXPECT_TRUE(Evaluate(false, true, true));
  EXPECT_FALSE(Evaluate(true, true, false));
  EXPECT_EQ(zvFoldTree<int>(
                Calc()->GetNode(), [](TBaseNode*) { return 1; }, [](TNode*, int L, int R) { return L + R; }),
            kDepth + 1);
  // A deleted item leaves even a deep tree at once (while loading, the
  // expression does not hold on to its items).
  Model->BeginLoading();
  Free(Items[2]);
  Items.pop_back();
  EXPECT_EQ(zvFoldTree<int>(
                Calc()->GetNode(), [](TBaseNode*) { return 1; }, [](TNode*, int L, int R) { return L + R; }),
            2);
  Items[0]->Record = 0;
  Items[1]->Record = 1;
  EXPECT_TRUE(Calc()->Calculate());  // a OR b is what is left
}

// Whatever an item's name holds, the default conjunction includes the item:
// it is built from the items, not from their quoted names.
TEST_F(CalculatorTest, DefaultExpressionTakesEveryNameAnItemCanHold) {
  const std::string Names[] = {std::string("q\"u'o`te"), std::string("x\0y", 3), "AND", "(", "two words"};
  for (const std::string& Name : Names) {
    SCOPED_TRACE(Name);
    Items[1]->SetName(Name);
    Calc()->PreCompile();
    EXPECT_TRUE(Evaluate(true, true, true));
    EXPECT_FALSE(Evaluate(true, false, true));  // b still takes part
    EXPECT_TRUE(Impl()->IsExist(Items[1]));
  }
  // Through the model's apply cycle as well: a new value recompiles.
  Model->GetOptions()->SetAutoUpdate(true);
  Items[1]->SetAsVariant(2);
  Items[0]->Record = 1;
  Items[1]->Record = 2;
  Items[2]->Record = 1;
  EXPECT_TRUE(Model->CheckItems());
  Items[1]->Record = 1;
  EXPECT_FALSE(Model->CheckItems());
}

// An expression without a token is the default conjunction, like the empty
// one; parentheses around nothing are an error that says where.
TEST_F(CalculatorTest, BlankExpressionMeansTheDefaultAndEmptyParenthesesAreRefused) {
  for (const char* Blank : {"   ", "\r\n", " \n\r "}) {
    SCOPED_TRACE(testing::PrintToString(Blank));
    Compile(Blank);
    EXPECT_EQ(Calc()->GetExpression(), Blank);
    EXPECT_TRUE(Evaluate(true, true, true));
    EXPECT_FALSE(Evaluate(true, true, false));  // every active criterion applies
    EXPECT_FALSE(Evaluate(false, true, true));
  }
  // Blanks name nothing, so they do not hold on to any item.
  Free(Items[2]);
  Items.pop_back();
  Items[0]->Record = 1;
  Items[1]->Record = 0;
  EXPECT_FALSE(Calc()->Calculate());
  Items[1]->Record = 1;
  EXPECT_TRUE(Calc()->Calculate());
  Items.push_back(Model->AddItem("\xC3\xA4", varInteger, 4, 0, {ciConvertValue}, 1));

  Compile("a OR b");
  const struct {
    const char* Text;
    const char* Message;
  } Cases[] = {
      {"()", "Finder: Empty parentheses at position 1 of the expression"},
      {" ( ) ", "Finder: Empty parentheses at position 2 of the expression"},
      {"a AND (\r\n)", "Finder: Empty parentheses at position 7 of the expression"},
      {"(())", "Finder: Empty parentheses at position 2 of the expression"},
      {"\"\xC3\xA4\" OR ()", "Finder: Empty parentheses at position 8 of the expression"},  // counts characters
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Text);
    EXPECT_EQ(ErrorOf(C.Text), C.Message);
    EXPECT_EQ(Calc()->GetExpression(), "a OR b");
    EXPECT_TRUE(Evaluate(false, true, false));
  }
}

// A rename is announced like a deletion, but the item stays: until the next
// compile its leaf keeps testing it.
TEST_F(CalculatorTest, RenamedItemKeepsItsLeafUntilTheNextCompile) {
  Calc()->PreCompile();  // a and b and c
  Items[1]->SetName("renamed");
  EXPECT_FALSE(Evaluate(true, false, true));
  EXPECT_GT(Items[1]->Reads, 0);
  EXPECT_TRUE(Evaluate(true, true, true));
  // A real deletion still removes the leaf at once.
  Free(Items[1]);
  Items[0]->Record = 1;
  Items[2]->Record = 1;
  EXPECT_TRUE(Calc()->Calculate());
}

}  // namespace
}  // namespace fyndra
