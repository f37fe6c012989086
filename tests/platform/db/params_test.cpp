#include <fyndra/platform/db/params.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <fyndra/platform/rtl/sysutils.h>

namespace fyndra {
namespace {

TOwned<TParams> NewParams() { return CreateOwned<TParams>(static_cast<TPersistent*>(nullptr)); }

TEST(ParamsParseSQL, ReplacesReferencesOutsideQuotesAndComments) {
  struct Row {
    const char* SQL;
    const char* EngineText;
    std::vector<std::string> References;
  } Rows[] = {
      {"SELECT * FROM t WHERE a = :a AND b=:B", "SELECT * FROM t WHERE a = ? AND b=?", {"a", "B"}},
      {"WHERE s = ':no' AND t = \":no\" AND [x:no] = `:no` AND u = :u",
       "WHERE s = ':no' AND t = \":no\" AND [x:no] = `:no` AND u = ?", {"u"}},
      {"WHERE s = 'it''s :no' AND u = :u", "WHERE s = 'it''s :no' AND u = ?", {"u"}},
      {"-- :no\nWHERE /* :no */ a = :yes", "-- :no\nWHERE /* :no */ a = ?", {"yes"}},
      {"SELECT x::int, '12:30', a : b", "SELECT x:int, '12:30', a : b", {}},
      {"WHERE a = :\"my param\" OR b = :\"say \"\"hi\"\"\"", "WHERE a = ? OR b = ?", {"my param", "say \"hi\""}},
      {"WHERE a = :p1 OR b = :P1 OR c = :größe", "WHERE a = ? OR b = ? OR c = ?", {"p1", "P1", "größe"}},
      {"WHERE a=:x,:y)", "WHERE a=?,?)", {"x", "y"}},
      {"WHERE a = ':open", "WHERE a = ':open", {}},
  };
  for (const Row& R : Rows) {
    SCOPED_TRACE(R.SQL);
    auto Params = NewParams();
    std::vector<std::string> Refs;
    EXPECT_EQ(Params->ParseSQL(R.SQL, false, &Refs), R.EngineText);
    EXPECT_EQ(Refs, R.References);
    EXPECT_EQ(Params->Count(), 0);  // DoCreate false creates nothing
  }
}

TEST(ParamsParseSQL, UnterminatedQuotedNameIsRefused) {
  auto Params = NewParams();
  EXPECT_THROW(Params->ParseSQL("WHERE a = :\"open", true), EDatabaseError);
  EXPECT_EQ(Params->Count(), 0);
}

TEST(ParamsParseSQL, CreatingKeepsValuesOfNamesThatStayInOrderOfFirstUse) {
  auto Params = NewParams();
  Params->ParseSQL("WHERE a = :A AND b = :b AND c = :a", true);
  EXPECT_EQ(Params->GetParamNames(), "A;b");  // one parameter for a name used twice
  Params->ParamByName("a")->SetAsInteger(7);
  Params->ParamByName("b")->SetAsString("x");
  Params->ParseSQL("WHERE c = :c AND a = :a", true);
  EXPECT_EQ(Params->GetParamNames(), "c;a");
  EXPECT_EQ(Params->FindParam("b"), nullptr);
  EXPECT_FALSE(Params->ParamByName("c")->GetBound());
  EXPECT_EQ(Params->ParamByName("c")->GetParamType(), ptInput);
  TParam* A = Params->ParamByName("A");
  EXPECT_TRUE(A->GetBound());
  EXPECT_EQ(A->GetDataType(), ftInteger);
  EXPECT_EQ(A->AsInteger(), 7);
}

TEST(Params, FindParamIsNullAndParamByNameRaisesForAnUnknownName) {
  auto Params = NewParams();
  Params->CreateParam(ftInteger, "Id", ptInput);
  EXPECT_EQ(Params->FindParam("ID"), Params->GetItem(0));
  EXPECT_EQ(Params->FindParam("Nope"), nullptr);
  try {
    Params->ParamByName("Nope");
    FAIL() << "no exception";
  } catch (const EDatabaseError& E) {
    EXPECT_EQ(E.Message(), "Parameter 'Nope' not found");
  }
  Params->RemoveParam(Params->GetItem(0));
  EXPECT_EQ(Params->Count(), 0);
}

TEST(Params, TypedSettersFixTheTypeAndGettersConvert) {
  auto Params = NewParams();
  TParam* P = Params->AddParam();
  EXPECT_FALSE(P->GetBound());
  EXPECT_TRUE(P->IsNull());
  EXPECT_EQ(P->AsInteger(), 0);  // an unset parameter reads as empty
  EXPECT_EQ(P->AsString(), "");

  P->SetAsString("42");
  EXPECT_EQ(P->GetDataType(), ftString);
  EXPECT_TRUE(P->GetBound());
  EXPECT_EQ(P->AsInteger(), 42);
  P->SetAsCurrency(Currency::FromScaled(123456));
  EXPECT_EQ(P->GetDataType(), ftCurrency);
  EXPECT_EQ(P->AsVariant().VarType(), varCurrency);
  EXPECT_EQ(P->AsCurrency(), Currency::FromScaled(123456));
  P->SetAsLargeInt(INT64_C(9000000000));
  EXPECT_EQ(P->GetDataType(), ftLargeint);
  EXPECT_EQ(P->AsLargeInt(), INT64_C(9000000000));
  P->SetAsDate(EncodeDate(2024, 2, 29));
  EXPECT_EQ(P->GetDataType(), ftDate);
  EXPECT_EQ(P->AsDateTime(), EncodeDate(2024, 2, 29));
  P->SetAsBoolean(true);
  EXPECT_EQ(P->GetDataType(), ftBoolean);
  EXPECT_TRUE(P->AsBoolean());
  P->Clear();
  EXPECT_TRUE(P->IsNull());
  EXPECT_TRUE(P->GetBound());  // an explicit Null is a value
  EXPECT_EQ(P->GetDataType(), ftBoolean);

  P->SetAsString("abc");
  EXPECT_THROW(P->AsInteger(), EConvertError);
  EXPECT_EQ(P->AsString(), "abc");  // a failed read leaves the value alone
}

TEST(Params, AVariantValueGivesTheTypeOnlyToAnUntypedParameter) {
  auto Params = NewParams();
  TParam* P = Params->AddParam();
  P->SetAsVariant(Variant(2.5));
  EXPECT_EQ(P->GetDataType(), ftFloat);
  P->SetAsVariant(Variant("text"));
  EXPECT_EQ(P->GetDataType(), ftFloat);  // typed now: the value is converted when bound
  EXPECT_EQ(P->AsVariant().VarType(), varString);

  TParam* Q = Params->AddParam();
  Q->SetAsVariant(Null());
  EXPECT_EQ(Q->GetDataType(), ftUnknown);
  EXPECT_TRUE(Q->GetBound());
}

TEST(Params, AssignValuesCopiesByName) {
  auto From = NewParams();
  auto To = NewParams();
  From->CreateParam(ftUnknown, "A", ptInput)->SetAsInteger(1);
  From->CreateParam(ftUnknown, "Other", ptInput)->SetAsInteger(2);
  To->CreateParam(ftUnknown, "a", ptInput);
  To->CreateParam(ftUnknown, "B", ptInput);
  To->AssignValues(*From);
  EXPECT_EQ(To->GetParamNames(), "a;B");
  EXPECT_EQ(To->ParamByName("a")->AsInteger(), 1);
  EXPECT_FALSE(To->ParamByName("B")->GetBound());
}

}  // namespace
}  // namespace fyndra
