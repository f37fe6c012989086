// The sixteen comparison operators a compare item can use, and the two bases
// they derive from: typed comparisons (equal, greater, ... on the item's data
// type) and text matching (starts with, ends on, contains, wildcard pattern),
// plus the two Null tests. Each operator answers, for its item, whether the
// current record agrees, what the index range bounds are, and what the SQL
// condition is.
//
// Ownership: an operator is created and freed by its compare item (through the
// model's registry, see zvRegisterCompareModels); it holds only a snapshot of
// the item's value taken by DoDataChange and the values prepared from it.
// Everything that can be prepared once (conversion, upper-casing, the text of
// the value) is prepared in DataChanged, because IsAgree runs once per record.
#pragma once

#include <cstdint>
#include <string>

#include <fyndra/core/zvbasemodel.h>

namespace fyndra {

// Registers keys 0 to 15 with their operator classes and captions.
void zvRegisterCompareModels(TzvCompareModelList* List);

// A field name as the SQL conditions write it: a plain identifier (ASCII
// letters, digits and underscores, not starting with a digit, not a reserved
// word) as it is, any other name between double quotes with its double
// quotes doubled, so that blanks, quotes and keywords cannot change the SQL.
std::string zvSQLName(const std::string& Name);
// Whether Name is a plain identifier: ASCII letters, digits and underscores,
// not starting with a digit.
bool zvIsPlainIdentifier(const std::string& Name);

// SQL and record tests agree on every record, Null fields included: a record
// test reads a Null text field as the empty text, so where the empty text
// agrees with a criterion the condition adds "OR F IS NULL"; where a
// criterion agrees with every record or with none whatever its value (a
// value that did not convert, "contains" with nothing), the condition is one
// that is true or false for every row, still naming the field.

// ---------------------------------------------------------------------------
// Typed comparisons (keys 0 to 5)

// Converts the item's value to the item's data type once per change; a text
// type is upper-cased too when the comparison ignores case. A value that does
// not convert leaves IsConverted false, and then no record agrees.
class TzvConvertCompareModel : public TzvCompareModel {
  FYNDRA_CLASS(TzvConvertCompareModel, TzvCompareModel)
 public:
  void DataChanged() override;
  void SetConvertedValue(const Variant& V) override;
  bool IsAgree() override;
  // True unless the criterion agrees with every record whatever it holds,
  // when its condition needs no parameter.
  bool IsParam() override { return !AgreesWithAll(); }
  // The converted value; the text of a text item (never Null, as the record
  // test reads a Null criterion as the empty text); Null when the value did
  // not convert, so that no record equals it.
  Variant GetParamValue() override;
  bool GetIsStringType() const { return IsStringType_; }

 protected:
  TzvConvertCompareModel() = default;

  // Whether the order of the item's value against a record's (Sign < 0, 0,
  // > 0: less, equal, greater) means agreement; not equal negates equal.
  virtual bool Relation(int Sign) const = 0;
  virtual bool Negated() const { return false; }
  // Orders the item's value against the current record's: Sign < 0, 0, > 0
  // when the value is less than, equal to, greater than the record's. False
  // when they have no order: not converted, either side Null, or values the
  // variant rules cannot compare. Texts ignoring case are equal when their
  // upper-case forms are the same characters (as UPPER( F ) = :P in SQL) and
  // otherwise ordered by the locale.
  bool CompareWithRecord(int& Sign);
  bool CompareText(const std::string& Record, int& Sign) const;
  // Whether a record whose field is Null agrees, and whether every record does.
  bool AgreesWithNull() const;
  bool AgreesWithAll() const;
  // "F op :P", with UPPER( F ) when a text is compared ignoring case, and
  // the Null rows as the record test sees them.
  std::string Condition(const char* Op);

  bool IsStringType_ = false;

 private:
  std::string ConvertedText_;  // text of ConvertedValue, for text comparisons
};

class TzvEqualCompareModel : public TzvConvertCompareModel {
  FYNDRA_CLASS(TzvEqualCompareModel, TzvConvertCompareModel)
 public:
  Variant GetTopBoundValue() override { return ConvertedValue_; }
  Variant GetBottomBoundValue() override { return ConvertedValue_; }
  std::string GetSqlExpression() override { return Condition("="); }

 protected:
  TzvEqualCompareModel() = default;
  bool Relation(int Sign) const override { return Sign == 0; }
};

class TzvNotEqualCompareModel : public TzvEqualCompareModel {
  FYNDRA_CLASS(TzvNotEqualCompareModel, TzvEqualCompareModel)
 public:
  Variant GetTopBoundValue() override { return Variant(); }
  Variant GetBottomBoundValue() override { return Variant(); }
  std::string GetSqlExpression() override { return Condition("<>"); }

 protected:
  TzvNotEqualCompareModel() = default;
  bool Negated() const override { return true; }
};

// "greater": the item's value is greater than the record's (the field is less).
class TzvGreaterCompareModel : public TzvConvertCompareModel {
  FYNDRA_CLASS(TzvGreaterCompareModel, TzvConvertCompareModel)
 public:
  Variant GetBottomBoundValue() override { return ConvertedValue_; }
  std::string GetSqlExpression() override { return Condition("<"); }

 protected:
  TzvGreaterCompareModel() = default;
  bool Relation(int Sign) const override { return Sign > 0; }
};

class TzvGreaterOrEqualCompareModel : public TzvConvertCompareModel {
  FYNDRA_CLASS(TzvGreaterOrEqualCompareModel, TzvConvertCompareModel)
 public:
  Variant GetBottomBoundValue() override { return ConvertedValue_; }
  std::string GetSqlExpression() override { return Condition("<="); }

 protected:
  TzvGreaterOrEqualCompareModel() = default;
  bool Relation(int Sign) const override { return Sign >= 0; }
};

// "less": the item's value is less than the record's (the field is greater).
class TzvLessCompareModel : public TzvConvertCompareModel {
  FYNDRA_CLASS(TzvLessCompareModel, TzvConvertCompareModel)
 public:
  Variant GetTopBoundValue() override { return ConvertedValue_; }
  std::string GetSqlExpression() override { return Condition(">"); }

 protected:
  TzvLessCompareModel() = default;
  bool Relation(int Sign) const override { return Sign < 0; }
};

class TzvLessOrEqualCompareModel : public TzvConvertCompareModel {
  FYNDRA_CLASS(TzvLessOrEqualCompareModel, TzvConvertCompareModel)
 public:
  Variant GetTopBoundValue() override { return ConvertedValue_; }
  std::string GetSqlExpression() override { return Condition(">="); }

 protected:
  TzvLessOrEqualCompareModel() = default;
  bool Relation(int Sign) const override { return Sign <= 0; }
};

// ---------------------------------------------------------------------------
// Text matching (keys 6 to 13)

// The converted value is always the text of the item's value (Null gives the
// empty text), upper-cased when the comparison ignores case.
class TzvStringCompareModel : public TzvCompareModel {
  FYNDRA_CLASS(TzvStringCompareModel, TzvCompareModel)
 public:
  void DataChanged() override;
  void SetConvertedValue(const Variant& V) override;
  // The test of the current record's text (empty for Null).
  bool IsAgree() override { return AgreesWith(GetCompareAsString()); }
  // Whether a record holding Record agrees.
  virtual bool AgreesWith(const std::string& Record) = 0;
  // The converted text prepared for a LIKE pattern with the escape character
  // '/': '%', '_' and (only then) '/' escaped, and Escape " ESCAPE '/'" when
  // anything was. Quotes are left alone: see LikeCondition.
  virtual void GetSqlParams(std::string& Value, std::string& Escape);

  const std::string& GetConvertedText() const { return ConvertedText_; }

 protected:
  TzvStringCompareModel() = default;

  // "F [NOT ]LIKE 'Before Pattern After'[ ESCAPE '/']" with UPPER( F ) when
  // ignoring case. Pattern is Value of GetSqlParams, passed through
  // MapWildcards first when given; single quotes are doubled last, so the
  // literal selects exactly what the user typed. Null rows are added where
  // the empty text agrees; "contains" with nothing is false for every row
  // (true when negated), as the record test has it.
  std::string LikeCondition(bool Negated, const char* Before, const char* After,
                            bool MapWildcards = false);

 private:
  std::string ConvertedText_;
};

// Starts with. Also offers the range of texts with that beginning to index
// searches: TopValue is the value, BottomValue the value padded with a
// character that sorts after every other; both computed on first demand.
class TzvStartsCompareModel : public TzvStringCompareModel {
  FYNDRA_CLASS(TzvStartsCompareModel, TzvStringCompareModel)
 public:
  void DataChanged() override;
  bool AgreesWith(const std::string& Record) override;
  Variant GetTopBoundValue() override;
  Variant GetBottomBoundValue() override;
  std::string GetSqlExpression() override { return LikeCondition(false, "", "%"); }
  void SetBoundValues();

  const Variant& GetTopValue() const { return TopValue_; }
  const Variant& GetBottomValue() const { return BottomValue_; }
  bool GetBoundsChanged() const { return BoundsChanged_; }

 protected:
  TzvStartsCompareModel() = default;

  Variant TopValue_;
  Variant BottomValue_;
  bool BoundsChanged_ = false;
};

class TzvNotStartsCompareModel : public TzvStartsCompareModel {
  FYNDRA_CLASS(TzvNotStartsCompareModel, TzvStartsCompareModel)
 public:
  bool AgreesWith(const std::string& Record) override { return !TzvStartsCompareModel::AgreesWith(Record); }
  Variant GetTopBoundValue() override { return Variant(); }
  Variant GetBottomBoundValue() override { return Variant(); }
  std::string GetSqlExpression() override { return LikeCondition(true, "", "%"); }

 protected:
  TzvNotStartsCompareModel() = default;
};

class TzvEndsCompareModel : public TzvStringCompareModel {
  FYNDRA_CLASS(TzvEndsCompareModel, TzvStringCompareModel)
 public:
  bool AgreesWith(const std::string& Record) override;
  std::string GetSqlExpression() override { return LikeCondition(false, "%", ""); }

 protected:
  TzvEndsCompareModel() = default;
};

class TzvNotEndsCompareModel : public TzvEndsCompareModel {
  FYNDRA_CLASS(TzvNotEndsCompareModel, TzvEndsCompareModel)
 public:
  bool AgreesWith(const std::string& Record) override { return !TzvEndsCompareModel::AgreesWith(Record); }
  std::string GetSqlExpression() override { return LikeCondition(true, "%", ""); }

 protected:
  TzvNotEndsCompareModel() = default;
};

class TzvContainsCompareModel : public TzvStringCompareModel {
  FYNDRA_CLASS(TzvContainsCompareModel, TzvStringCompareModel)
 public:
  bool AgreesWith(const std::string& Record) override;
  std::string GetSqlExpression() override { return LikeCondition(false, "%", "%"); }

 protected:
  TzvContainsCompareModel() = default;
};

class TzvNotContainsCompareModel : public TzvContainsCompareModel {
  FYNDRA_CLASS(TzvNotContainsCompareModel, TzvContainsCompareModel)
 public:
  bool AgreesWith(const std::string& Record) override { return !TzvContainsCompareModel::AgreesWith(Record); }
  std::string GetSqlExpression() override { return LikeCondition(true, "%", "%"); }

 protected:
  TzvNotContainsCompareModel() = default;
};

// Wildcard pattern over the whole text: '*' any run of characters, '?' one
// character, everything else itself ('%' and '_' included). No implicit
// wildcards: the pattern abc matches only abc. Ignoring case (MatchWildcards)
// a record agrees when its characters match the pattern's as typed one for
// one by their upper cases, so '?' is one character of the record
// ("stra?e" finds Straße), or when its upper-case form matches the
// pattern's, as UPPER( F ) LIKE does in the SQL. Whatever agrees respecting
// case agrees ignoring case.
class TzvPatternCompareModel : public TzvStringCompareModel {
  FYNDRA_CLASS(TzvPatternCompareModel, TzvStringCompareModel)
 public:
  void DataChanged() override;
  bool AgreesWith(const std::string& Record) override;
  std::string GetSqlExpression() override { return LikeCondition(false, "", "", true); }

  // Whether the whole Text matches the whole Pattern, comparing characters
  // exactly (MatchWildcards). A run of stars behaves as one star, at the end
  // of the text too, as '%%' does in SQL.
  static bool MatchPattern(const std::string& Text, const std::string& Pattern);

 protected:
  TzvPatternCompareModel() = default;

 private:
  std::string Pattern_;  // the value's text as typed
};

class TzvNotPatternCompareModel : public TzvPatternCompareModel {
  FYNDRA_CLASS(TzvNotPatternCompareModel, TzvPatternCompareModel)
 public:
  bool AgreesWith(const std::string& Record) override { return !TzvPatternCompareModel::AgreesWith(Record); }
  std::string GetSqlExpression() override { return LikeCondition(true, "", "", true); }

 protected:
  TzvNotPatternCompareModel() = default;
};

// ---------------------------------------------------------------------------
// Null tests (keys 14, 15): the item's own value plays no part.

class TzvNullCompareModel : public TzvCompareModel {
  FYNDRA_CLASS(TzvNullCompareModel, TzvCompareModel)
 public:
  bool IsAgree() override;
  std::string GetSqlExpression() override { return zvSQLName(GetFieldName()) + " IS NULL"; }

 protected:
  TzvNullCompareModel() = default;
};

class TzvNotNullCompareModel : public TzvNullCompareModel {
  FYNDRA_CLASS(TzvNotNullCompareModel, TzvNullCompareModel)
 public:
  bool IsAgree() override { return !TzvNullCompareModel::IsAgree(); }
  std::string GetSqlExpression() override { return zvSQLName(GetFieldName()) + " IS NOT NULL"; }

 protected:
  TzvNotNullCompareModel() = default;
};

}  // namespace fyndra
