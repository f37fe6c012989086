// The rewriting of a query's WHERE clauses by the filter model, compared as
// exact texts (CR LF included): the generated condition goes in, is found and
// replaced on the next apply, and comes out again; the application's own
// condition stays; only the outer statement and its UNION branches change.
#include <gtest/gtest.h>

#include <fyndra/core/zvmodelcalculate.h>
#include <fyndra/dataset/zvdbbasemodel.h>

namespace fyndra {
namespace {

// Two condition texts as the condition builder renders a node: each begins
// and ends with a blank.
const std::string C = " ( A = :DFyndra_A\r\n  AND B LIKE 'x%' ) ";
const std::string D = " ( A > :DFyndra_A\r\n  OR B LIKE 'WHERE%' ) ";

struct TStep {
  std::string Where;
  std::string Want;
};

struct TCase {
  const char* Name;
  std::string SQL;
  std::vector<TStep> Steps;  // applied one after another
};

class WhereRewriting : public ::testing::Test {
 protected:
  // Applies the steps of a case in order, as successive applies would.
  void Run(const TCase& Case) {
    TOwned<TzvDBFilterModel> M = CreateOwned<TzvDBFilterModel>(nullptr);
    std::string SQL = Case.SQL;
    int N = 0;
    for (const TStep& Step : Case.Steps) {
      M->UpdateWhereClause(SQL, Step.Where);
      EXPECT_EQ(SQL, Step.Want) << Case.Name << ", step " << N;
      EXPECT_EQ(M->GetCurrentWhereClause(), Step.Where) << Case.Name << ", step " << N;
      ++N;
    }
  }
};

TEST_F(WhereRewriting, InsertReplaceAndRemove) {
  const TCase Cases[] = {
      {"order by",
       "SELECT * FROM T ORDER BY N",
       {{C, "SELECT * FROM T\r\nWHERE " + C + " ORDER BY N"},
        {D, "SELECT * FROM T\r\nWHERE " + D + " ORDER BY N"},
        {"", "SELECT * FROM T  ORDER BY N"}}},
      {"application condition",
       "SELECT * FROM T WHERE X = 1",
       {{C, "SELECT * FROM T WHERE " + C + " AND \r\nX = 1"},
        {D, "SELECT * FROM T WHERE " + D + " AND \r\nX = 1"},
        {"", "SELECT * FROM T WHERE  X = 1"}}},
      {"union",
       "SELECT A FROM T UNION SELECT A FROM U",
       {{C, "SELECT A FROM T\r\nWHERE " + C + " UNION SELECT A FROM U\r\nWHERE " + C},
        {D, "SELECT A FROM T\r\nWHERE " + D + " UNION SELECT A FROM U\r\nWHERE " + D + " "},
        {"", "SELECT A FROM T  UNION SELECT A FROM U  "}}},
      {"nothing after the table",
       "SELECT * FROM T",
       {{C, "SELECT * FROM T\r\nWHERE " + C}, {"", "SELECT * FROM T  "}}},
      {"trailing line break of a string list",
       "SELECT *\nFROM T\n",
       {{C, "SELECT *\nFROM T\r\nWHERE " + C},
        {C, "SELECT *\nFROM T\r\nWHERE " + C + " "},
        {C, "SELECT *\nFROM T\r\nWHERE " + C + " "}}},
      {"no FROM", "EXECUTE PROCEDURE P", {{C, "EXECUTE PROCEDURE P"}, {"", "EXECUTE PROCEDURE P"}}},
      {"nothing to do", "SELECT * FROM T ORDER BY N", {{"", "SELECT * FROM T ORDER BY N"}}},
  };
  for (const TCase& Case : Cases) Run(Case);
}

// Each section keyword ends the FROM part: the condition goes before it.
TEST_F(WhereRewriting, ConditionGoesBeforeTheNextSection) {
  for (const char* Section : {"GROUP BY A", "HAVING COUNT(*) > 1", "PLAN (T NATURAL)", "ORDER BY A DESC",
                              "FOR UPDATE", "group  by A", "Order By A"}) {
    const std::string SQL = std::string("SELECT A FROM T ") + Section;
    Run({Section,
         SQL,
         {{C, "SELECT A FROM T\r\nWHERE " + C + " " + Section},
          {"", "SELECT A FROM T  " + std::string(Section)}}});
  }
}

// The remembered condition is found token by token, without regard to case,
// blanks, line breaks or comments, as after a user re-indented the query.
TEST_F(WhereRewriting, RememberedConditionIsFoundAfterReformatting) {
  TOwned<TzvDBFilterModel> M = CreateOwned<TzvDBFilterModel>(nullptr);
  std::string SQL = "SELECT * FROM T WHERE X = 1";
  M->UpdateWhereClause(SQL, C);
  std::string Edited =
      "select *\n  from T\n where (a   = :dfyndra_a /* mine */\n and b like 'x%')\n   and\n  X = 1";
  M->UpdateWhereClause(Edited, D);
  EXPECT_EQ(Edited, "select *\n  from T\n where " + D + " and\n  X = 1");
  // A condition that is not the remembered one is the application's.
  std::string Other = "SELECT * FROM T WHERE ( A = :DFyndra_A AND B LIKE 'y%' ) AND X = 1";
  M->UpdateWhereClause(Other, C);
  EXPECT_EQ(Other, "SELECT * FROM T WHERE " + C + " AND \r\n( A = :DFyndra_A AND B LIKE 'y%' ) AND X = 1");
}

// Words in quoted texts and names are not keywords.
TEST_F(WhereRewriting, KeywordsInQuotedTextsAreValues) {
  Run({"quoted",
       "SELECT \"FROM\", 'WHERE' FROM T WHERE N <> 'ORDER BY' ORDER BY 1",
       {{C, "SELECT \"FROM\", 'WHERE' FROM T WHERE " + C + " AND \r\nN <> 'ORDER BY' ORDER BY 1"},
        {D, "SELECT \"FROM\", 'WHERE' FROM T WHERE " + D + " AND \r\nN <> 'ORDER BY' ORDER BY 1"},
        {"", "SELECT \"FROM\", 'WHERE' FROM T WHERE  N <> 'ORDER BY' ORDER BY 1"}}});
  // The generated condition holds the word WHERE in a value (D): found again.
  Run({"value", "SELECT * FROM T", {{D, "SELECT * FROM T\r\nWHERE " + D}, {"", "SELECT * FROM T  "}}});
}

// Keywords inside parentheses belong to a sub-select or an expression: only
// the outer statement, and each UNION branch at the outer level, changes.
TEST_F(WhereRewriting, OnlyTheOuterStatementChanges) {
  const TCase Cases[] = {
      {"derived table",
       "SELECT * FROM (SELECT a FROM t WHERE x = 1) s ORDER BY a",
       {{C, "SELECT * FROM (SELECT a FROM t WHERE x = 1) s\r\nWHERE " + C + " ORDER BY a"},
        {"", "SELECT * FROM (SELECT a FROM t WHERE x = 1) s  ORDER BY a"}}},
      {"union in a sub-select",
       "SELECT * FROM T WHERE id IN (SELECT id FROM u UNION SELECT id FROM v)",
       {{C, "SELECT * FROM T WHERE " + C + " AND \r\nid IN (SELECT id FROM u UNION SELECT id FROM v)"},
        {"", "SELECT * FROM T WHERE  id IN (SELECT id FROM u UNION SELECT id FROM v)"}}},
      {"FROM in a function",
       "SELECT EXTRACT(YEAR FROM d) AS y FROM T",
       {{C, "SELECT EXTRACT(YEAR FROM d) AS y FROM T\r\nWHERE " + C}}},
      {"sub-select in the select list, union outside",
       "SELECT (SELECT MAX(b) FROM u WHERE u.a = t.a) FROM t UNION ALL SELECT 1 FROM v ORDER BY 1",
       {{C,
         "SELECT (SELECT MAX(b) FROM u WHERE u.a = t.a) FROM t\r\nWHERE " + C +
             " UNION ALL SELECT 1 FROM v\r\nWHERE " + C + " ORDER BY 1"}}},
      {"three branches",
       "SELECT a FROM t UNION SELECT a FROM u WHERE a > 1 UNION SELECT a FROM v",
       {{C,
         "SELECT a FROM t\r\nWHERE " + C + " UNION SELECT a FROM u WHERE " + C + " AND \r\na > 1 UNION SELECT a FROM v\r\nWHERE " + C},
        {"", "SELECT a FROM t  UNION SELECT a FROM u WHERE  a > 1 UNION SELECT a FROM v  "}}},
  };
  for (const TCase& Case : Cases) Run(Case);
}

// An application's condition with OR at its top level is enclosed once, so
// that the generated condition restricts every alternative; the text then
// stays the same from apply to apply.
TEST_F(WhereRewriting, ApplicationAlternativesAreEnclosedOnce) {
  const TCase Cases[] = {
      {"top-level OR",
       "SELECT * FROM T WHERE x = 1 OR y = 2 ORDER BY x",
       {{C, "SELECT * FROM T WHERE " + C + " AND \r\n(x = 1 OR y = 2) ORDER BY x"},
        {D, "SELECT * FROM T WHERE " + D + " AND \r\n(x = 1 OR y = 2) ORDER BY x"},
        {"", "SELECT * FROM T WHERE  (x = 1 OR y = 2) ORDER BY x"},
        {C, "SELECT * FROM T WHERE " + C + " AND \r\n(x = 1 OR y = 2) ORDER BY x"}}},
      {"enclosed already",
       "SELECT * FROM T WHERE (x = 1 OR y = 2)",
       {{C, "SELECT * FROM T WHERE " + C + " AND \r\n(x = 1 OR y = 2)"}}},
      {"OR only inside parentheses",
       "SELECT * FROM T WHERE (x = 1 OR y = 2) AND z = 3",
       {{C, "SELECT * FROM T WHERE " + C + " AND \r\n(x = 1 OR y = 2) AND z = 3"}}},
      {"alternatives each enclosed",
       "SELECT * FROM T WHERE (x = 1) OR (y = 2)",
       {{C, "SELECT * FROM T WHERE " + C + " AND \r\n((x = 1) OR (y = 2))"}}},
      {"comment after the condition stays outside",
       "SELECT * FROM T WHERE x = 1 OR y = 2 -- mine\nORDER BY x",
       {{C, "SELECT * FROM T WHERE " + C + " AND \r\n(x = 1 OR y = 2) -- mine\nORDER BY x"}}},
  };
  for (const TCase& Case : Cases) Run(Case);
}

// LIMIT, OFFSET, FETCH and a closing semicolon end the statement's clauses:
// a condition after them would not be SQL.
TEST_F(WhereRewriting, ConditionGoesBeforeLimitAndSemicolon) {
  const TCase Cases[] = {
      {"limit", "SELECT * FROM T LIMIT 10", {{C, "SELECT * FROM T\r\nWHERE " + C + " LIMIT 10"}}},
      {"offset fetch",
       "SELECT * FROM T OFFSET 5 ROWS FETCH FIRST 3 ROWS ONLY",
       {{C, "SELECT * FROM T\r\nWHERE " + C + " OFFSET 5 ROWS FETCH FIRST 3 ROWS ONLY"}}},
      {"semicolon",
       "SELECT * FROM T;",
       {{C, "SELECT * FROM T\r\nWHERE " + C + " ;"}, {"", "SELECT * FROM T  ;"}}},
      {"limit after the application's condition",
       "SELECT * FROM T WHERE x = 1 OR y = 2 LIMIT 5",
       {{C, "SELECT * FROM T WHERE " + C + " AND \r\n(x = 1 OR y = 2) LIMIT 5"}}},
      {"a column called limit is a name",
       "SELECT * FROM T WHERE \"limit\" = 1",
       {{C, "SELECT * FROM T WHERE " + C + " AND \r\n\"limit\" = 1"}}},
  };
  for (const TCase& Case : Cases) Run(Case);
}

}  // namespace
}  // namespace fyndra
