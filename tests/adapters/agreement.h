// The parts of the random agreement tests that every dataset family shares:
// the rows (five columns: an integer key, two texts, an integer and a
// floating-point number), the drawn criteria, a random expression tree over
// them, setting the same criteria on any filter model, and the brute-force
// evaluation of a tree over a reference dataset, item by item with IsAgree.
#pragma once

#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <fyndra/core/zvcomparemodels.h>
#include <fyndra/core/zvmodelconverter.h>
#include <fyndra/dataset/zvdbbasemodel.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra::agreement {

enum TColumn { cId, cName, cCity, cQty, cAmount };
inline const char* const kColumns[] = {"ID", "NAME", "CITY", "QTY", "AMOUNT"};

struct TRow {
  int Id;
  Variant Name, City, Qty, Amount;
};

// 160 rows drawn from Seed: texts from Texts, some Nulls in every column but the key.
template <std::size_t N>
std::vector<TRow> MakeRows(unsigned Seed, const char* const (&Texts)[N]) {
  std::mt19937 Random(Seed);
  auto Pick = [&](auto& Array) { return Array[Random() % std::size(Array)]; };
  const int Qtys[] = {-5, 0, 1, 2, 10, 12, 100};
  const double Amounts[] = {-1.5, 0.0, 0.5, 1.5, 10.25, 1e6};
  std::vector<TRow> Rows;
  for (int Id = 1; Id <= 160; ++Id) {
    TRow R{Id, Variant(Pick(Texts)), Variant(Pick(Texts)), Variant(std::int32_t(Pick(Qtys))), Variant(Pick(Amounts))};
    if (Random() % 8 == 0) R.Name = Null();
    if (Random() % 5 == 0) R.City = Null();
    if (Random() % 6 == 0) R.Qty = Null();
    if (Random() % 6 == 0) R.Amount = Null();
    Rows.push_back(R);
  }
  return Rows;
}

// An expression: a leaf names an item; a node joins two subtrees.
struct TExpr {
  std::string Item;  // a leaf when not empty
  bool And = true;
  std::unique_ptr<TExpr> Left, Right;
  std::string Text() const {
    if (!Item.empty()) return Item;
    return "(" + Left->Text() + (And ? " AND " : " OR ") + Right->Text() + ")";
  }
};

// A criterion as drawn: the same for every model.
struct TCriterion {
  TColumn Column;
  int Key;
  TzvCompareItemOptions Options;
  Variant Value;
};

// A random tree over the drawn items; Default (one time in five) joins them
// all with AND, as the model's default conjunction does.
inline std::unique_ptr<TExpr> RandomTree(const std::vector<TCriterion>& Drawn, std::mt19937& Random, bool& Default) {
  auto Chance = [&](int Percent) { return static_cast<int>(Random() % 100) < Percent; };
  std::vector<std::unique_ptr<TExpr>> Parts;
  for (const TCriterion& C : Drawn) {
    auto Leaf = std::make_unique<TExpr>();
    Leaf->Item = kColumns[C.Column];
    Parts.push_back(std::move(Leaf));
  }
  Default = Chance(20);
  while (Parts.size() > 1) {
    const std::size_t I = Random() % (Parts.size() - 1);
    auto Node = std::make_unique<TExpr>();
    Node->And = Default || Chance(50);
    Node->Left = std::move(Parts[I]);
    Node->Right = std::move(Parts[I + 1]);
    Parts.erase(Parts.begin() + static_cast<std::ptrdiff_t>(I) + 1);
    Parts[I] = std::move(Node);
  }
  return std::move(Parts[0]);
}

// The same criteria and expression for every model; items not drawn take
// no part. A value that the item's type refuses is kept as typed: the
// criterion loses its conversion option (for every model, as the first one
// tells).
inline void Configure(TzvCustomDBFilterModel* M, std::vector<TCriterion>& Drawn, const std::string& Expr,
                      bool Filtered) {
  TzvCompareItems* Items = M->GetCompareItems();
  M->SetExpression("");
  Items->BeginUpdate();
  for (const char* Column : kColumns) {
    TzvCompareItem* Item = Items->FindByName(Column);
    Item->SetOptions({});
    Item->SetAsVariant(Null());
    Item->SetOptions({ciConvertValue});
  }
  for (TCriterion& C : Drawn) {
    TzvCompareItem* Item = Items->FindByName(kColumns[C.Column]);
    Item->SetOptions({});
    Item->SetAsVariant(C.Value);
    try {
      Item->SetOptions(C.Options);  // converts the value now, or keeps it as typed
    } catch (const EzvBaseModelError&) {
      C.Options.Exclude(ciConvertValue);
      Item->SetOptions(C.Options);
    }
    Item->SetCompareKey(C.Key);
  }
  Items->EndUpdate();
  M->SetExpression(Expr);
  M->SetFiltered(Filtered);
  M->Apply();
}

// How the SQL of an engine selects, next to the record test:
//  - ordering comparisons on text (keys 2 to 5): by code points (engines
//    whose text columns order by their bytes; ignoring case, the upper-case
//    forms), or, ignoring case, the upper-case forms by the locale's
//    collation and then by code points (an engine that compares UPPER( F )
//    under a collation of the locale's rules; respecting case it orders as
//    the record test does);
//  - wildcard patterns ignoring case, in both: by upper-case forms alone, as
//    UPPER( F ) LIKE matches: '_' is one character of the upper-case form, so
//    a '?' standing for a character whose upper case is longer ("?" for
//    "ß", "a?b" for "aﬁb") finds the record only in the record test.
enum class TTextOrder { RecordTest, CodePoints, UpperByCollation };

// Whether Item agrees with the current record, as Order selects.
inline bool Agrees(TzvCompareItem* Item, TTextOrder Order) {
  const int Key = Item->GetCompareKey();
  if (Order != TTextOrder::RecordTest && (Key == ckPattern || Key == ckNotPattern) &&
      Item->GetCompareModel()->GetCaseInsensitive()) {
    auto* Op = static_cast<TzvStringCompareModel*>(Item->GetCompareModel());
    const bool Match =
        TzvPatternCompareModel::MatchPattern(AnsiUpperCase(Item->GetCompareAsString()), Op->GetConvertedText());
    return Key == ckPattern ? Match : !Match;
  }
  if (Order == TTextOrder::RecordTest || Key < 2 || Key > 5 || !VarTypeIsStr(Item->GetDataType()))
    return Item->IsAgree();
  TzvCompareModel* Op = Item->GetCompareModel();
  if (Order == TTextOrder::UpperByCollation && !Op->GetCaseInsensitive()) return Item->IsAgree();
  if (!Op->GetIsConverted()) return false;
  const std::string Criterion = VarToStr(Op->GetParamValue());
  const std::string Record =
      Op->GetCaseInsensitive() ? AnsiUpperCase(Item->GetCompareAsString()) : Item->GetCompareAsString();
  const int Sign = Order == TTextOrder::CodePoints ? Criterion.compare(Record) : AnsiCompareStr(Criterion, Record);
  switch (Key) {
    case 2: return Sign > 0;
    case 3: return Sign >= 0;
    case 4: return Sign < 0;
    default: return Sign <= 0;
  }
}

// The expression over the current record of M's dataset; an inactive item
// drops out, and an expression of inactive items only lets every record through.
inline std::optional<bool> Evaluate(const TExpr& E, TzvCustomDBFilterModel* M, TTextOrder Order) {
  if (!E.Item.empty()) {
    TzvCompareItem* Item = M->GetCompareItems()->FindByName(E.Item);
    if (!Item->GetActive()) return std::nullopt;
    return Agrees(Item, Order);
  }
  const std::optional<bool> L = Evaluate(*E.Left, M, Order);
  const std::optional<bool> R = Evaluate(*E.Right, M, Order);
  if (!L) return R;
  if (!R) return L;
  return E.And ? (*L && *R) : (*L || *R);
}

}  // namespace fyndra::agreement
