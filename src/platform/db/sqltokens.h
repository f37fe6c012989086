// The SQL tokenizer used to read and rewrite query texts, and the index
// description derived from a query's ORDER BY clause.
//
// NextSQLToken reads one token at a time from a cursor into the text. Section
// keywords (SELECT, FROM, WHERE, GROUP BY, HAVING, UNION, PLAN, ORDER BY,
// FOR UPDATE), AND, OR and the end are recognised without regard to case;
// a quoted text is one token, comments and white space separate tokens and are
// never returned. The result depends only on the text, the cursor and the
// current section, so the same input always yields the same tokens.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <fyndra/platform/classes/system.h>  // TOwned

namespace fyndra {

class TIndexDef;

enum TSQLToken {
  stUnknown,     // a character that starts no other token
  stTableName,   // a name read in the FROM section
  stFieldName,   // a name read in any other section (or before the first one)
  stAscending,   // ASC, ASCENDING
  stDescending,  // DESC, DESCENDING
  stSelect,
  stFrom,
  stWhere,
  stGroupBy,
  stHaving,
  stUnion,
  stPlan,
  stOrderBy,
  stForUpdate,
  stEnd,        // returned for every call once the cursor is at the end
  stPredicate,  // a comparison operator: = <> != < <= > >= == and LIKE
  stValue,      // a quoted text: '...' ('' inside stands for one quote)
  stParam,      // a parameter: :name or :"quoted name"
  stNumber,
  stAnd,
  stOr,
  stAllFields,  // * when it stands for all fields
  stSymbol      // any other operator or punctuation: ( ) , ; + - / || .
};

// True for the section keywords SELECT … FOR UPDATE.
bool IsSQLSection(TSQLToken Token);

// Reads the token at Pos (0-based byte offset into SQL), stores its text in
// Token and moves Pos past it. CurSection is the last section keyword read in
// this scan (stUnknown at the start); it only decides whether a name is
// reported as stTableName or stFieldName.
//
// Token texts: a keyword as written (a two-word keyword as its two words joined
// by one blank), a quoted text with its quotes, a name without its quotes or
// brackets (a qualified name keeps its dots: T.Name), a parameter with its
// colon. An unterminated quote or comment runs to the end of the text.
TSQLToken NextSQLToken(std::string_view SQL, std::size_t& Pos, std::string& Token,
                       TSQLToken CurSection);

// One entry of an ORDER BY clause over plain columns.
struct TOrderByItem {
  std::string Field;      // the column's own name (a qualified one without its qualifier)
  std::string Collation;  // the name after COLLATE; empty when none is given
  bool CaseMapped = false;  // the column wrapped in UPPER() or LOWER()
  bool Descending = false;
};
// Reads the ORDER BY clause that orders the result of SQL (the last one
// outside parentheses) into Items; false (Items empty) when there is none or
// it orders by something other than column names.
bool ReadOrderBy(std::string_view SQL, std::vector<TOrderByItem>& Items);

// The index description of the ORDER BY clause that orders the result of SQL
// (the last one outside parentheses): Fields lists the ordering columns;
// DescFields those sorted DESC; CaseInsFields those wrapped in UPPER()/LOWER()
// or given COLLATE NOCASE. Options carry ixDescending / ixCaseInsensitive
// when every field has the marker. Null when there is no such clause or when
// it orders by something other than column names (an expression or a column
// position), since an index description of it would be wrong.
// The caller owns the returned definition.
TOwned<TIndexDef> GetIndexForOrderBy(std::string_view SQL);

}  // namespace fyndra
