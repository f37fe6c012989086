#include <fyndra/platform/db/sqltokens.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <fyndra/platform/db/indexdefs.h>

namespace fyndra {
namespace {

struct Tok {
  TSQLToken Kind;
  std::string Text;
  bool operator==(const Tok&) const = default;
};

void PrintTo(const Tok& T, std::ostream* Os) { *Os << "{" << int(T.Kind) << ", \"" << T.Text << "\"}"; }

// Reads every token up to the end, carrying the section the way a caller does.
std::vector<Tok> Tokens(std::string_view SQL) {
  std::vector<Tok> Out;
  std::size_t Pos = 0;
  std::string Text;
  TSQLToken Section = stUnknown;
  for (int Guard = 0; Guard < 1000; ++Guard) {
    TSQLToken K = NextSQLToken(SQL, Pos, Text, Section);
    if (K == stEnd) return Out;
    if (IsSQLSection(K)) Section = K;
    Out.push_back({K, Text});
  }
  ADD_FAILURE() << "tokenizer does not advance on: " << SQL;
  return Out;
}

struct TokenRow {
  const char* SQL;
  std::vector<Tok> Expected;
};

TEST(NextSQLToken, SplitsTextIntoTokensOfTheRightKind) {
  const TokenRow Rows[] = {
      {"", {}},
      {"  \r\n\t ", {}},
      {"SELECT * FROM T",
       {{stSelect, "SELECT"}, {stAllFields, "*"}, {stFrom, "FROM"}, {stTableName, "T"}}},
      {"select a,b from t where a=1 and b<>'x' or c>=2.5",
       {{stSelect, "select"}, {stFieldName, "a"}, {stSymbol, ","}, {stFieldName, "b"},
        {stFrom, "from"}, {stTableName, "t"}, {stWhere, "where"}, {stFieldName, "a"},
        {stPredicate, "="}, {stNumber, "1"}, {stAnd, "and"}, {stFieldName, "b"},
        {stPredicate, "<>"}, {stValue, "'x'"}, {stOr, "or"}, {stFieldName, "c"},
        {stPredicate, ">="}, {stNumber, "2.5"}}},
      // Two-word keywords, in any case and spacing, with the words as written.
      {"GROUP BY x ORDER\r\n  by y For Update",
       {{stGroupBy, "GROUP BY"}, {stFieldName, "x"}, {stOrderBy, "ORDER by"}, {stFieldName, "y"},
        {stForUpdate, "For Update"}}},
      {"HAVING PLAN UNION", {{stHaving, "HAVING"}, {stPlan, "PLAN"}, {stUnion, "UNION"}}},
      // The first word alone is an ordinary name.
      {"order group for", {{stFieldName, "order"}, {stFieldName, "group"}, {stFieldName, "for"}}},
      // Keywords inside quotes or names are not keywords.
      {"WHERE N = 'WHERE a AND b' AND \"ORDER BY\" = 1",
       {{stWhere, "WHERE"}, {stFieldName, "N"}, {stPredicate, "="}, {stValue, "'WHERE a AND b'"},
        {stAnd, "AND"}, {stFieldName, "ORDER BY"}, {stPredicate, "="}, {stNumber, "1"}}},
      {"ANDROID ORBIT SELECTED", {{stFieldName, "ANDROID"}, {stFieldName, "ORBIT"}, {stFieldName, "SELECTED"}}},
      // A doubled quote stays inside the quoted text.
      {"'it''s' 'x'", {{stValue, "'it''s'"}, {stValue, "'x'"}}},
      // Comments separate tokens and are never returned.
      {"a -- WHERE x\nb /* ORDER BY */ c", {{stFieldName, "a"}, {stFieldName, "b"}, {stFieldName, "c"}}},
      // Qualified and quoted names; bracketed and back-quoted names.
      {"T.Name \"My T\".\"A b\" [x y] `z` T.*",
       {{stFieldName, "T.Name"}, {stFieldName, "My T.A b"}, {stFieldName, "x y"}, {stFieldName, "z"},
        {stAllFields, "T.*"}}},
      // Parameters, and a double colon that is not one.
      {"a = :p1 AND b = :\"my p\" AND c = ? AND d::int",
       {{stFieldName, "a"}, {stPredicate, "="}, {stParam, ":p1"}, {stAnd, "AND"}, {stFieldName, "b"},
        {stPredicate, "="}, {stParam, ":\"my p\""}, {stAnd, "AND"}, {stFieldName, "c"},
        {stPredicate, "="}, {stParam, "?"}, {stAnd, "AND"}, {stFieldName, "d"}, {stSymbol, "::"},
        {stFieldName, "int"}}},
      {"1e5 .5 3.25E-2 7x",
       {{stNumber, "1e5"}, {stNumber, ".5"}, {stNumber, "3.25E-2"}, {stNumber, "7"}, {stFieldName, "x"}}},
      {"(a||b) <= c != d",
       {{stSymbol, "("}, {stFieldName, "a"}, {stSymbol, "||"}, {stFieldName, "b"}, {stSymbol, ")"},
        {stPredicate, "<="}, {stFieldName, "c"}, {stPredicate, "!="}, {stFieldName, "d"}}},
      {"name LIKE 'M%' DESC ASC",
       {{stFieldName, "name"}, {stPredicate, "LIKE"}, {stValue, "'M%'"}, {stDescending, "DESC"},
        {stAscending, "ASC"}}},
      // Names in other scripts are one token.
      {"Straße = 'Müller'", {{stFieldName, "Straße"}, {stPredicate, "="}, {stValue, "'Müller'"}}},
      // Unterminated quote and comment run to the end instead of failing.
      {"a = 'open", {{stFieldName, "a"}, {stPredicate, "="}, {stValue, "'open"}}},
      {"a /* open", {{stFieldName, "a"}}},
  };
  for (const TokenRow& Row : Rows) EXPECT_EQ(Tokens(Row.SQL), Row.Expected) << "SQL: " << Row.SQL;
}

TEST(NextSQLToken, EndIsReturnedForEveryCallAtTheEnd) {
  std::size_t Pos = 0;
  std::string Text = "junk";
  EXPECT_EQ(NextSQLToken("x", Pos, Text, stUnknown), stFieldName);
  for (int I = 0; I < 3; ++I) {
    EXPECT_EQ(NextSQLToken("x", Pos, Text, stUnknown), stEnd);
    EXPECT_EQ(Pos, 1u);
    EXPECT_EQ(Text, "");
  }
  Pos = 99;  // a cursor past the end is at the end
  EXPECT_EQ(NextSQLToken("x", Pos, Text, stUnknown), stEnd);
}

TEST(NextSQLToken, SectionDecidesBetweenTableAndFieldNames) {
  std::size_t Pos = 0;
  std::string Text;
  EXPECT_EQ(NextSQLToken("T", Pos, Text, stFrom), stTableName);
  Pos = 0;
  EXPECT_EQ(NextSQLToken("T", Pos, Text, stWhere), stFieldName);
}

TEST(NextSQLToken, SameInputGivesSameTokensAndCursorEndsPastEachToken) {
  const std::string SQL = "SELECT a FROM t WHERE x = 'y' ORDER BY a";
  EXPECT_EQ(Tokens(SQL), Tokens(SQL));
  // The cursor stops right after each token, so text between marks can be cut.
  std::size_t Pos = 0;
  std::string Text;
  TSQLToken Section = stUnknown;
  while (true) {
    std::size_t Before = Pos;
    TSQLToken K = NextSQLToken(SQL, Pos, Text, Section);
    if (K == stEnd) break;
    if (IsSQLSection(K)) Section = K;
    if (K != stOrderBy) {
      EXPECT_EQ(SQL.substr(Pos - Text.size(), Text.size()), Text);
    }
    EXPECT_GT(Pos, Before);
  }
}

struct OrderRow {
  const char* SQL;
  const char* Fields;  // nullptr: no index description
  const char* DescFields;
  const char* CaseInsFields;
  bool AllDesc;
  bool AllCaseIns;
};

TEST(GetIndexForOrderBy, DescribesTheOrderingColumns) {
  const OrderRow Rows[] = {
      {"SELECT * FROM T ORDER BY Name", "Name", "", "", false, false},
      {"select * from t order by a, b desc, c asc", "a;b;c", "b", "", false, false},
      {"SELECT * FROM T ORDER BY a DESC, b DESC", "a;b", "a;b", "", true, false},
      {"SELECT * FROM T ORDER BY UPPER(Name), City COLLATE NOCASE DESC", "Name;City", "City", "Name;City", false,
       true},
      {"SELECT * FROM T ORDER BY Name COLLATE BINARY", "Name", "", "", false, false},
      {"SELECT * FROM T t ORDER BY t.Name, \"Order Date\" NULLS LAST LIMIT 10", "Name;Order Date", "", "", false,
       false},
      {"SELECT * FROM T ORDER BY a; ", "a", "", "", false, false},
      {"SELECT * FROM T ORDER BY a FOR UPDATE", "a", "", "", false, false},
      // Only the ORDER BY that orders the result counts.
      {"SELECT * FROM (SELECT * FROM U ORDER BY x) ORDER BY y", "y", "", "", false, false},
      {"SELECT a FROM T UNION SELECT a FROM U ORDER BY a", "a", "", "", false, false},
      {"SELECT * FROM (SELECT * FROM U ORDER BY x)", nullptr, "", "", false, false},
      // A quoted ORDER BY is text, not a clause.
      {"SELECT * FROM T WHERE n = 'ORDER BY x'", nullptr, "", "", false, false},
      {"SELECT * FROM T", nullptr, "", "", false, false},
      // Orders that no index describes.
      {"SELECT * FROM T ORDER BY 2", nullptr, "", "", false, false},
      {"SELECT * FROM T ORDER BY a + b", nullptr, "", "", false, false},
      {"SELECT * FROM T ORDER BY LENGTH(a)", nullptr, "", "", false, false},
      {"SELECT * FROM T ORDER BY", nullptr, "", "", false, false},
  };
  for (const OrderRow& Row : Rows) {
    SCOPED_TRACE(Row.SQL);
    TOwned<TIndexDef> Def = GetIndexForOrderBy(Row.SQL);
    if (!Row.Fields) {
      EXPECT_EQ(Def, nullptr);
      continue;
    }
    ASSERT_NE(Def, nullptr);
    EXPECT_EQ(Def->GetFields(), Row.Fields);
    EXPECT_EQ(Def->GetDescFields(), Row.DescFields);
    EXPECT_EQ(Def->GetCaseInsFields(), Row.CaseInsFields);
    EXPECT_EQ(Def->GetOptions().Contains(ixDescending), Row.AllDesc);
    EXPECT_EQ(Def->GetOptions().Contains(ixCaseInsensitive), Row.AllCaseIns);
    EXPECT_FALSE(Def->GetOptions().Contains(ixPrimary));
  }
}

}  // namespace
}  // namespace fyndra
