#include <fyndra/dataset/zvbdemodel.h>

#include <algorithm>
#include <string_view>

#include <fyndra/core/zvcomparemodels.h>
#include <fyndra/platform/bde/table.h>
#include <fyndra/platform/rtl/textservice.h>
#include <fyndra/platform/rtl/variants.h>

namespace fyndra {

namespace {

// The end of a prefix range in the engine's byte order: the padding DEL
// (which the text service reads as the highest character) becomes FF, which
// no UTF-8 text holds, so that texts continuing with a character beyond
// 7-bit stay inside the range.
Variant EngineRangeEnd(const Variant& Value) {
  if (!VarIsStr(Value)) return Value;
  std::string Text = VarToStr(Value);
  std::size_t I = Text.size();
  while (I > 0 && static_cast<unsigned char>(Text[I - 1]) == 0x7F) Text[--I] = static_cast<char>(0xFF);
  return Variant(std::move(Text));
}

}  // namespace

FYNDRA_IMPLEMENT_CLASS(TzvBDEDataSetModel)
FYNDRA_IMPLEMENT_CLASS(TzvBdeFindModel)
FYNDRA_IMPLEMENT_CLASS(TzvBdeFilterModel)
FYNDRA_REGISTER_CLASS(TzvBdeFindModel);
FYNDRA_REGISTER_CLASS(TzvBdeFilterModel);

// ---------------------------------------------------------------------------
// TzvBDEDataSetModel

bool TzvBDEDataSetModel::IsSupported(TDataSetSupportedOption Option) {
  TDataSet* DataSet = GetDataSet();
  const bool Table = dynamic_cast<TTable*>(DataSet) != nullptr;
  const bool Query = dynamic_cast<TQuery*>(DataSet) != nullptr;
  switch (Option) {
    case dsDefaultIndex:
      return Table || Query;
    case dsMultiCaseInsIndexSearch:
    case dsIndexRange:
      return Table;
    case dsSQL:
      return Query;
  }
  return TzvExtDataSetModel::IsSupported(Option);
}

TOwned<TIndexDef> TzvBDEDataSetModel::GetIndexDef() {
  KeyOrders_.clear();
  auto* DataSet = dynamic_cast<TBDEDataSet*>(GetDataSet());
  if (!DataSet) return nullptr;
  TOwned<TIndexDef> Def = DataSet->PSGetDefaultOrder();
  if (!Def) return nullptr;
  const std::vector<TTextKeyOrder> Orders = DataSet->DefaultOrderTextKeys();
  std::vector<std::string> Fields;
  for (const std::string& Name : TzvDBIndexModel::SplitFieldNames(Def->GetFields())) {
    const TTextKeyOrder Order = Fields.size() < Orders.size() ? Orders[Fields.size()] : TTextKeyOrder::Other;
    const TField* Field = DataSet->FindField(Name);
    // Key fields after one whose text order is unknown cannot be searched.
    if (Field && DataTypeIsStr(Field->GetDataType()) && Order == TTextKeyOrder::Other) break;
    Fields.push_back(Name);
    KeyOrders_.emplace_back(Name, Order);
  }
  if (Fields.empty()) return nullptr;
  auto Join = [](const std::vector<std::string>& Names) {
    std::string Out;
    for (const std::string& N : Names) Out += (Out.empty() ? "" : ";") + N;
    return Out;
  };
  std::vector<std::string> CaseIns;
  bool AllCaseIns = true;
  for (const auto& [Name, Order] : KeyOrders_) {
    // NOCASE is no case-insensitive order of ours: only byte-order criteria use it.
    const bool Ci = Order == TTextKeyOrder::CaseInsensitive;
    if (Ci) CaseIns.push_back(Name);
    AllCaseIns = AllCaseIns && Ci;
  }
  std::vector<std::string> Desc;
  for (const std::string& Name : Fields)
    if (Def->IsDescendingField(Name)) Desc.push_back(Name);
  TIndexOptions Options = Def->GetOptions();
  Options.Exclude(ixCaseInsensitive);
  if (AllCaseIns) Options.Include(ixCaseInsensitive);
  Def->SetFields(Join(Fields));
  Def->SetCaseInsFields(Join(CaseIns));
  Def->SetDescFields(Join(Desc));
  Def->SetOptions(Options);
  return Def;
}

TTextKeyOrder TzvBDEDataSetModel::KeyOrder(const TIndexFieldDef& Def) const {
  if (Def.Field)
    for (const auto& [Name, Order] : KeyOrders_)
      if (AnsiSameText(Name, Def.Field->GetFieldName())) return Order;
  return TTextKeyOrder::Other;
}

const std::string* TzvBDEDataSetModel::StartsUpperCriterion(TzvDBIndexModel& Index) const {
  const std::vector<TIndexFieldBound>& Bounds = Index.GetBoundsList();
  if (Bounds.empty() || Index.GetCount() == 0) return nullptr;
  const TIndexFieldBound& B = Bounds[0];
  const TIndexFieldDef& Def = Index.GetItem(0);
  if (!B.TopItem || B.BottomItem != B.TopItem || Def.Descending || !Def.CaseInsensitive ||
      KeyOrder(Def) != TTextKeyOrder::CaseInsensitive || !B.TopItem->GetOptions().Contains(ciCaseInsensitive) ||
      !VarIsStr(B.BottomValue))
    return nullptr;
  // Upper case already: the text its record test compares the upper-case
  // form of a record's first characters with.
  auto* Starts = dynamic_cast<TzvStartsCompareModel*>(B.TopItem->GetCompareModel());
  return Starts ? &Starts->GetConvertedText() : nullptr;
}

bool TzvBDEDataSetModel::SkipToCandidate(TzvDBIndexModel& Index) {
  auto* Table = dynamic_cast<TTable*>(GetDataSet());
  if (!Table || !Table->GetActive()) return false;
  const std::string* Criterion = StartsUpperCriterion(Index);
  return Criterion && Table->SkipToStartingUpper(*Criterion, EngineRangeEnd(Index.GetBoundsList()[0].BottomValue));
}

std::string TzvBDEDataSetModel::GetIndexFieldNames() {
  auto* Table = dynamic_cast<TTable*>(GetDataSet());
  return Table ? Table->GetIndexFieldNames() : std::string();
}

std::string TzvBDEDataSetModel::GetIndexName() {
  auto* Table = dynamic_cast<TTable*>(GetDataSet());
  return Table ? Table->GetIndexName() : std::string();
}

bool TzvBDEDataSetModel::FindRecord(const Variant& KeyValues, bool Exact) {
  auto* Table = dynamic_cast<TTable*>(GetDataSet());
  // A query has no key search: Locate would scan it from the first record
  // with rules of its own, so the find walks from the first record in the
  // query's order, comparing keys as that order does.
  if (!Table) return false;
  return FindRecordByKey(*Table, KeyValues, Exact);
}

void TzvBDEDataSetModel::SetRange(const Variant& StartValues, const Variant& EndValues) {
  if (!IsSupported(dsIndexRange)) return;
  auto* Table = static_cast<TTable*>(GetDataSet());
  // A range is set and removed on an open table only.
  if (!Table->GetActive()) return;
  if (!VarIsArray(StartValues)) {
    Table->CancelRange();
    return;
  }
  std::vector<Variant> Start, End;
  RangeValues(StartValues, EndValues, Start, End);
  for (std::size_t i = 0; i < End.size() && static_cast<int>(i) < GetCount(); ++i)
    if (DataTypeIsStr(GetItem(static_cast<int>(i)).Field->GetDataType())) End[i] = EngineRangeEnd(End[i]);
  // A filter's case-insensitive "starts with" on the collation: the range on
  // that order also holds the names that differ from a match by accents only;
  // the engine drops them on the index (the filter's record test would).
  if (TzvDBIndexModel* Index = GetModel() ? GetModel()->GetIndexModel() : nullptr)
    if (const std::string* Criterion = StartsUpperCriterion(*Index)) Table->SetRangeStartsUpper(*Criterion);
  Table->SetRange(Start, End);
}

std::string TzvBDEDataSetModel::GetQuerySQL() {
  auto* Query = dynamic_cast<TQuery*>(GetDataSet());
  return Query ? Query->GetSQL()->GetText() : std::string();
}

void TzvBDEDataSetModel::SetQuerySQL(const std::string& Text) {
  if (auto* Query = dynamic_cast<TQuery*>(GetDataSet())) AssignSQLText(Query->GetSQL(), Text);
}

void TzvBDEDataSetModel::SetParam(const std::string& Name, const Variant& Value) {
  auto* Query = dynamic_cast<TQuery*>(GetDataSet());
  TParam* Param = Query ? Query->GetParams()->FindParam(Name) : nullptr;
  if (!Param) return;
  // The engine keeps a date, a time and a time stamp each as a text of its
  // own form and compares a parameter by the text it is bound as, which
  // follows the parameter's type: a date value compared with a date column
  // must be bound as a date, not as a time stamp. The type comes from the
  // field the parameter's item compares (the query's field definitions
  // outlive the close before the rewritten text is opened).
  if (auto* Filter = dynamic_cast<TzvCustomDBFilterModel*>(GetModel()))
    for (TzvCompareItem* Item : Filter->GetParamItems()) {
      if (Item->GetCompareModel()->GetParamName() != Name) continue;
      if (TFieldDef* Def = Query->GetFieldDefs()->FindDef(Item->GetFieldName())) {
        const TFieldType Type = Def->GetDataType();
        if (Type == ftDate || Type == ftTime || Type == ftDateTime || Type == ftTimeStamp) Param->SetDataType(Type);
      }
      break;
    }
  Param->SetAsVariant(Value);
}

int TzvBDEDataSetModel::CompareKeyText(const TIndexFieldDef& Def, const std::string& A, const std::string& B) {
  if (!dynamic_cast<TBDEDataSet*>(GetDataSet())) return TzvExtDataSetModel::CompareKeyText(Def, A, B);
  switch (KeyOrder(Def)) {
    case TTextKeyOrder::CaseInsensitive:
      return AnsiCompareUpperText(A, B);
    case TTextKeyOrder::AsciiFolded:
      return CompareTextBytes(A, B, true);
    default:
      return CompareTextBytes(A, B, false);
  }
}

bool TzvBDEDataSetModel::IsTextRangeSound(const TIndexFieldDef& Def, TzvCompareItem* Item) {
  if (!dynamic_cast<TBDEDataSet*>(GetDataSet())) return TzvExtDataSetModel::IsTextRangeSound(Def, Item);
  switch (KeyOrder(Def)) {
    case TTextKeyOrder::CaseInsensitive:
      // The collation orders as the text service orders upper-case forms.
      return IsUpperOrderRangeSound(Item);
    case TTextKeyOrder::Bytes:
      return IsByteOrderRangeSound(Def, Item);
    case TTextKeyOrder::AsciiFolded: {
      // Folding ASCII letters only widens a case-sensitive equal or prefix
      // range; the record tests drop the extra records.
      TIndexFieldDef Folded = Def;
      Folded.CaseInsensitive = false;
      return IsByteOrderRangeSound(Folded, Item);
    }
    default:
      return false;
  }
}

// ---------------------------------------------------------------------------
// Components

void TzvBdeFindModel::CreateExtDataSetModel(TzvExtDataSetModel*& Model) { Model = Create<TzvBDEDataSetModel>(this); }

void TzvBdeFindModel::CheckDataSet() { zvCheckDataSetFamily<TBDEDataSet>(this, SBDEDataSetFamily); }

void TzvBdeFilterModel::CreateExtDataSetModel(TzvExtDataSetModel*& Model) {
  Model = Create<TzvBDEDataSetModel>(this);
}

void TzvBdeFilterModel::CheckDataSet() { zvCheckDataSetFamily<TBDEDataSet>(this, SBDEDataSetFamily); }

}  // namespace fyndra
