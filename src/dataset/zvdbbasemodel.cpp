#include <fyndra/dataset/zvdbbasemodel.h>

#include <algorithm>
#include <exception>
#include <string_view>
#include <utility>

#include <fyndra/core/zvcomparemodels.h>
#include <fyndra/core/zvmodelcalculate.h>
#include <fyndra/core/zvmodelconsts.h>
#include <fyndra/core/zvmodelconverter.h>
#include <fyndra/modeldataset/zvmodeldataset.h>
#include <fyndra/platform/db/dbtypes.h>
#include <fyndra/platform/db/sqltokens.h>
#include <fyndra/platform/rtl/dialogs.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {

// ---------------------------------------------------------------------------
// Class information and published properties (in streaming order)

FYNDRA_PUBLISHED(TzvFieldItem, P) {
  P.Property("FieldName", &TzvFieldItem::GetFieldName, &TzvFieldItem::SetFieldName);
}

FYNDRA_IMPLEMENT_CLASS(TzvFieldItems)
FYNDRA_IMPLEMENT_CLASS(TzvDBBaseModelDataLink)

FYNDRA_PUBLISHED(TzvDBBaseModel, P) {
  P.Property("DataSource", &TzvDBBaseModel::GetDataSource, &TzvDBBaseModel::SetDataSource);
}

FYNDRA_IMPLEMENT_CLASS(TzvExtDataSetModel)
FYNDRA_IMPLEMENT_CLASS(TzvDBIndexModel)
FYNDRA_IMPLEMENT_CLASS(TzvFindIndexModel)
FYNDRA_IMPLEMENT_CLASS(TzvFilterIndexModel)

FYNDRA_PUBLISHED(TzvFindOptions, P) {
  P.Property("Restart", &TzvFindOptions::GetRestart, &TzvFindOptions::SetRestart).Default(true);
  P.Property("UnlessFoundOption", &TzvFindOptions::GetUnlessFoundOption, &TzvFindOptions::SetUnlessFoundOption)
      .Default(ufLast);
  P.Property("Optimization", &TzvFindOptions::GetOptimization, &TzvFindOptions::SetOptimization).Default(true);
}

FYNDRA_PUBLISHED(TzvFindMessageOptions, P) {
  P.Property("RecordNotFound", &TzvFindMessageOptions::GetRecordNotFound,
             &TzvFindMessageOptions::SetRecordNotFound);
  P.Property("NextRecordNotFound", &TzvFindMessageOptions::GetNextRecordNotFound,
             &TzvFindMessageOptions::SetNextRecordNotFound);
  P.Property("ShowMessage", &TzvFindMessageOptions::GetShowMessage, &TzvFindMessageOptions::SetShowMessage)
      .Default(false);
}

FYNDRA_PUBLISHED(TzvCustomDBFindModel, P) {
  P.Property("Options", &TzvCustomDBFindModel::GetOptions, &TzvCustomDBFindModel::SetOptions);
  P.Property("MessageOptions", &TzvCustomDBFindModel::GetMessageOptions, &TzvCustomDBFindModel::SetMessageOptions);
}

FYNDRA_IMPLEMENT_CLASS(TzvDBFindModel)
FYNDRA_REGISTER_CLASS(TzvDBFindModel);

// ---------------------------------------------------------------------------
// Field types

bool DataTypeIsStr(TFieldType DataType) {
  switch (DataType) {
    case ftString:
    case ftMemo:
    case ftFmtMemo:
    case ftFixedChar:
    case ftWideString:
      return true;
    default:
      return false;
  }
}

TVarType FieldTypeToVarType(TFieldType DataType) {
  switch (DataType) {
    case ftString:
    case ftMemo:
    case ftFmtMemo:
    case ftFixedChar:
      return varString;
    case ftWideString:
      return varOleStr;
    case ftSmallint:
      return varSmallint;
    case ftInteger:
    case ftAutoInc:
      return varInteger;
    case ftWord:
      return varWord;
    case ftLargeint:
      return varInt64;
    case ftBoolean:
      return varBoolean;
    case ftFloat:
      return varDouble;
    case ftCurrency:
    case ftBCD:
      return varCurrency;
    case ftDate:
    case ftTime:
    case ftDateTime:
      return varDate;
    case ftTimeStamp:
      return VarSQLTimeStamp();
    case ftFMTBcd:
      return VarFMTBcd();
    default:
      return varEmpty;
  }
}

std::int32_t FieldItemDataSize(const TField* Field) {
  if (!Field) return 0;
  switch (Field->GetDataType()) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftBoolean:
    case ftFloat:
    case ftCurrency:
    case ftDate:
    case ftTime:
    case ftDateTime:
    case ftAutoInc:
    case ftLargeint:
    case ftTimeStamp:
      return 0;
    default:
      return Field->GetDataSize();
  }
}

// ---------------------------------------------------------------------------
// TzvFieldItem

TzvDBBaseModel* TzvFieldItem::GetDBModel() const { return dynamic_cast<TzvDBBaseModel*>(GetModel()); }

TDataSet* TzvFieldItem::LinkedDataSet() const {
  TzvDBBaseModel* Model = GetDBModel();
  return Model ? Model->GetLinkedDataSet() : nullptr;
}

void TzvFieldItem::SetFieldName(const std::string& Text) {
  if (Text == FieldName_) return;
  FieldName_ = Text;
  UpdateData();
}

std::string TzvFieldItem::GetFieldName() { return FieldName_; }

std::string TzvFieldItem::DefaultName() {
  return FieldName_.empty() ? TzvCompareItem::DefaultName() : FieldName_;
}

std::string TzvFieldItem::DefaultDisplayLabel() {
  if (Field_) {
    try {
      std::string Label = Field_->GetDisplayName();
      if (!Label.empty()) return Label;
    } catch (const std::exception&) {
      // A field that cannot tell its label gets the item's default one.
    }
  }
  return TzvCompareItem::DefaultDisplayLabel();
}

void TzvFieldItem::UpdateData() {
  TField* Found = nullptr;
  TzvDBBaseModel* Model = GetDBModel();
  if (Model && Model->GetActive() && !FieldName_.empty())
    if (TDataSet* DataSet = Model->GetLinkedDataSet()) Found = DataSet->FindField(FieldName_);
  if (Found != Field_) {
    Field_ = Found;
    SetDataType(Found ? FieldTypeToVarType(Found->GetDataType()) : TVarType(varEmpty), FieldItemDataSize(Found));
  }
  TzvCompareItem::UpdateData();
}

void TzvFieldItem::LightUpdateData() {
  TDataSet* DataSet = LinkedDataSet();
  Field_ = DataSet && !FieldName_.empty() ? DataSet->FindField(FieldName_) : nullptr;
  TzvCompareItem::LightUpdateData();
}

bool TzvFieldItem::GetActive() { return Field_ && TzvCompareItem::GetActive(); }

Variant TzvFieldItem::GetCompareAsVariant() { return Field_ ? Field_->GetAsVariant() : Null(); }

std::string TzvFieldItem::GetCompareAsString() { return Field_ ? Field_->GetAsString() : std::string(); }

// ---------------------------------------------------------------------------
// TzvDBBaseModelDataLink

void TzvDBBaseModelDataLink::SetLinkedDataSet(TDataSet* Value) {
  TDataSet* Old = LinkedDataSet_;
  LinkedDataSet_ = Value;
  Model_->LinkedDataSetChanging(Old, Value);
}

void TzvDBBaseModelDataLink::ActiveChanged() {
  TDataSet* Current = GetDataSet();
  std::exception_ptr Leaving;
  if (Current != LinkedDataSet_) {
    if (LinkedDataSet_) {
      try {
        Model_->OldActiveChanged();
      } catch (...) {
        // The link has left that dataset whatever the model could undo: the
        // model still follows the change (its items must not keep the fields
        // of the dataset left), and the failure is reported afterwards.
        Leaving = std::current_exception();
      }
    }
    SetLinkedDataSet(Current);
  } else if (Current && Current->ComponentState().Contains(csDestroying)) {
    SetLinkedDataSet(nullptr);
  }
  Model_->ActiveChanged();
  if (Leaving) std::rethrow_exception(Leaving);
}

void TzvDBBaseModelDataLink::DataSetReplaced() {
  if (GetDataSet() != LinkedDataSet_) ActiveChanged();
}

void TzvDBBaseModelDataLink::LayoutChanged() { Model_->LayoutChanged(); }

void TzvDBBaseModelDataLink::DataSetChanged() { Model_->DataSetChanged(); }

// ---------------------------------------------------------------------------
// TzvDBBaseModel

class TzvDBBaseModel::TIndexItemGuard final : public IItemListener {
 public:
  explicit TIndexItemGuard(TzvDBBaseModel* Model) : Model_(Model) {}
  std::int32_t QueryInterface(const TGUID& IID, void** Obj) override {
    void* P = IID == IItemListener::IID || IID == IInterface::IID ? static_cast<IItemListener*>(this) : nullptr;
    if (Obj) *Obj = P;
    return P ? 0 : E_NOINTERFACE;
  }
  std::int32_t _AddRef() override { return 0; }
  std::int32_t _Release() override { return 0; }
  void ItemAdded(TzvCompareItem*) override {}
  void ItemDeleting(TzvCompareItem* Item) override {
    if (TzvDBIndexModel* Index = Model_->GetIndexModel()) Index->ItemDeleting(Item);
  }
  void ItemValueChanged(TzvCompareItem*) override {}
  void ItemDataTypeChanged(TzvCompareItem*) override {}

 private:
  TzvDBBaseModel* Model_;
};

TzvDBBaseModel::TzvDBBaseModel(TComponent* Owner) : TzvBaseModel(Owner) {}

void TzvDBBaseModel::AfterConstruction() {
  TzvBaseModel::AfterConstruction();
  DataSetActive_ = false;
  DataLink_.reset(Create<TzvDBBaseModelDataLink>(this));
  ModelDataSet_ = Create<TzvModelDataSet>(this);
  InternalDataSource_ = Create<TDataSource>(this);
  InternalDataSource_->SetDataSet(ModelDataSet_);
  GetCompareItems()->AddItemListener(ModelDataSet_);
  IndexItemGuard_ = std::make_unique<TIndexItemGuard>(this);
  GetCompareItems()->AddItemListener(IndexItemGuard_.get());
  TzvExtDataSetModel* Ext = nullptr;
  CreateExtDataSetModel(Ext);
  ExtDataSetModel_.reset(Ext);
}

void TzvDBBaseModel::BeforeDestruction() {
  if (IndexItemGuard_) GetCompareItems()->RemoveItemListener(IndexItemGuard_.get());
  IndexModel_.reset();
  DataLink_.reset();
  if (ModelDataSet_) {
    GetCompareItems()->RemoveItemListener(ModelDataSet_);
    std::exchange(ModelDataSet_, nullptr)->Free();
  }
  if (InternalDataSource_) std::exchange(InternalDataSource_, nullptr)->Free();
  ExtDataSetModel_.reset();
  TzvBaseModel::BeforeDestruction();
}

TzvDBBaseModel::~TzvDBBaseModel() {
  // Reached without BeforeDestruction only when construction failed.
  if (ModelDataSet_ && GetCompareItems()) GetCompareItems()->RemoveItemListener(ModelDataSet_);
  if (IndexItemGuard_ && GetCompareItems()) GetCompareItems()->RemoveItemListener(IndexItemGuard_.get());
}

TDataSource* TzvDBBaseModel::GetDataSource() const { return DataLink_ ? DataLink_->GetDataSource() : nullptr; }

void TzvDBBaseModel::SetDataSource(TDataSource* Value) {
  TDataSource* Old = GetDataSource();
  if (Value == Old) return;
  DataLink_->SetDataSource(Value);
  if (Old && !Old->ComponentState().Contains(csDestroying)) Old->RemoveFreeNotification(this);
  if (Value) Value->FreeNotification(this);
}

void TzvDBBaseModel::LinkedDataSetChanging(TDataSet* Old, TDataSet* New) {
  if (Old && Old != New && !Old->ComponentState().Contains(csDestroying))
    Old->RemoveFreeNotification(this);
  if (New) New->FreeNotification(this);
}

void TzvDBBaseModel::Notification(TComponent* Component, TOperation Operation) {
  TzvBaseModel::Notification(Component, Operation);
  if (Operation != opRemove) return;
  if (DataLink_ && Component == DataLink_->GetLinkedDataSet()) {
    // A dataset freed while closed sends no activation change: forget it here.
    DataLink_->LinkedDataSet_ = nullptr;
    DataSetActive_ = false;
  }
  if (DataLink_ && Component == GetDataSource()) SetDataSource(nullptr);
}

void TzvDBBaseModel::GetChildren(const std::function<void(TComponent*)>&, TComponent*) {}

bool TzvDBBaseModel::GetActive() { return TzvBaseModel::GetActive() && DataSetActive_; }

void TzvDBBaseModel::CreateCompareItems(TzvCompareItems*& Items) {
  Items = Create<TzvFieldItems>(this, TzvFieldItem::StaticClass());
}

void TzvDBBaseModel::CreateCompareModelList(TzvCompareModelList*& List) {
  List = Create<TzvCompareModelList>();
  zvRegisterCompareModels(List);
}

void TzvDBBaseModel::CreateExtDataSetModel(TzvExtDataSetModel*& Model) { Model = Create<TzvExtDataSetModel>(this); }

void TzvDBBaseModel::SetIndexModel(TzvDBIndexModel* Model) { IndexModel_.reset(Model); }

void TzvDBBaseModel::SetItems() {
  if (!ComponentState().Contains(csLoading) && ModelDataSet_) ModelDataSet_->Open();
  TzvBaseModel::SetItems();
}

void TzvDBBaseModel::SetDefaultItemsData() {
  TzvCompareItems* Items = GetCompareItems();
  InUpdate(*Items, [&] {
    Items->Clear();
    TDataSet* DataSet = GetLinkedDataSet();
    if (GetActive() && DataSet)
      for (TField* Field : DataSet->Fields()) Items->Add()->SetFieldName(Field->GetFieldName());
  });
}

void TzvDBBaseModel::UpdateDataBeforeApply() {
  TzvBaseModel::UpdateDataBeforeApply();
  if (IndexModel_) IndexModel_->UpdateData();
}

void TzvDBBaseModel::UpdateItem(TzvCompareItem* Item) {
  if (IndexModel_ && GetUpdateLevel() == ulNone) SetUpdateLevel(ulLow);
  TzvBaseModel::UpdateItem(Item);
}

void TzvDBBaseModel::InternalChanged() {
  DataSetActive_ = DataLink_->GetActive();
  try {
    if (DataSetActive_) CheckDataSet();
    SetItems();
  } catch (...) {
    DataSetActive_ = false;
    throw;
  }
}

void TzvDBBaseModel::ReindexAfter(void (TzvDBBaseModel::*Step)()) {
  if (IndexModel_) IndexModel_->ClearAll();
  (this->*Step)();
  if (IndexModel_) IndexModel_->UpdateIndex();
}

void TzvDBBaseModel::LayoutChanged() { ReindexAfter(&TzvDBBaseModel::InternalChanged); }

void TzvDBBaseModel::ActiveChanged() { ReindexAfter(&TzvDBBaseModel::InternalChanged); }

void TzvDBBaseModel::DataSetChanged() {
  if (IndexModel_ && IndexModel_->IsUpdateIndex()) IndexModel_->UpdateIndex();
}

void TzvDBBaseModel::Loaded() { TzvBaseModel::Loaded(); }

// ---------------------------------------------------------------------------
// TzvExtDataSetModel

bool TzvExtDataSetModel::IsSupported(TDataSetSupportedOption) { return false; }

TDataSet* TzvExtDataSetModel::GetDataSet() const { return Model_->GetLinkedDataSet(); }

int TzvExtDataSetModel::GetCount() const {
  TzvDBIndexModel* Index = Model_->GetIndexModel();
  return Index ? Index->GetCount() : 0;
}

const TIndexFieldDef& TzvExtDataSetModel::GetItem(int Index) const {
  TzvDBIndexModel* Model = Model_->GetIndexModel();
  if (!Model) throw EListError("The model has no index model");
  return Model->GetItem(Index);
}

bool TzvExtDataSetModel::FieldsExist(const TIndexDef* Def) const {
  TDataSet* DataSet = GetDataSet();
  if (!DataSet) return false;
  try {
    DataSet->GetFieldList(Def->GetFields());
  } catch (const EDatabaseError&) {
    return false;
  }
  return true;
}

TOwned<TIndexDef> TzvExtDataSetModel::GetIndexDef() {
  TIndexDefs* Defs = GetIndexDefs();
  if (!Defs) {
    const std::string SQL = GetQuerySQL();
    if (SQL.empty()) return nullptr;
    return GetIndexForOrderBy(SQL);
  }
  Defs->Update();
  const TIndexDef* Found = nullptr;
  try {
    const std::string Name = GetIndexName();
    const std::string FieldNames = GetIndexFieldNames();
    if (!Name.empty())
      Found = Defs->Find(Name);
    else if (!FieldNames.empty())
      Found = Defs->FindIndexForFields(FieldNames);
    if (Found && !FieldsExist(Found)) Found = nullptr;
  } catch (const std::exception&) {
    // An index that does not exist (or covers no such fields) is no index.
    Found = nullptr;
  }
  for (TIndexOption Wanted : {ixPrimary, ixUnique}) {
    for (int i = 0; !Found && i < Defs->Count(); ++i) {
      const TIndexDef* Def = Defs->GetItem(i);
      if (Def->GetOptions().Contains(Wanted) && FieldsExist(Def)) Found = Def;
    }
  }
  if (!Found) return nullptr;
  TOwned<TIndexDef> Copy(Create<TIndexDef>(nullptr));
  Copy->Assign(const_cast<TIndexDef*>(Found));
  return Copy;
}

bool TzvExtDataSetModel::FindRecord(const Variant& KeyValues, bool Exact) {
  TDataSet* DataSet = GetDataSet();
  if (!DataSet) return false;
  const int High = VarIsArray(KeyValues) ? VarArrayHighBound(KeyValues, 1) : 0;
  const Variant Key = VarIsArray(KeyValues) && High == 0 ? KeyValues[0] : KeyValues;
  std::string FieldList;
  TLocateOptions Options;
  for (int i = 0; i <= High; ++i) {
    const TIndexFieldDef& Def = GetItem(i);
    FieldList += Def.Field->GetFieldName();
    FieldList += ';';
    if (Def.CaseInsensitive && DataTypeIsStr(Def.Field->GetDataType())) Options.Include(loCaseInsensitive);
  }
  if (!Exact) Options.Include(loPartialKey);
  return DataSet->Locate(FieldList, Key, Options);
}

int TzvExtDataSetModel::CompareKeyText(const TIndexFieldDef& Def, const std::string& A, const std::string& B) {
  return Def.CaseInsensitive ? AnsiCompareUpperText(A, B) : AnsiCompareStr(A, B);
}

bool TzvExtDataSetModel::IsTextRangeSound(const TIndexFieldDef& Def, TzvCompareItem* Item) {
  return !Def.CaseInsensitive || IsUpperOrderRangeSound(Item);
}

void TzvExtDataSetModel::RangeValues(const Variant& StartValues, const Variant& EndValues,
                                     std::vector<Variant>& Start, std::vector<Variant>& End) {
  Start.clear();
  End.clear();
  if (!VarIsArray(StartValues)) return;
  const int High = VarArrayHighBound(StartValues, 1);
  const int EndHigh = VarIsArray(EndValues) ? VarArrayHighBound(EndValues, 1) : -1;
  for (int i = 0; i <= High; ++i) {
    Start.push_back(StartValues[i]);
    End.push_back(i <= EndHigh ? EndValues[i] : Variant());
  }
}

void TzvExtDataSetModel::AssignSQLText(TStrings* SQL, const std::string& Text) {
  std::vector<std::string> Lines;
  std::string Line;
  const std::size_t N = Text.size();
  std::size_t I = 0;
  // Copies Text[I] up to and including Close (or to the end) into the line.
  auto CopyThrough = [&](std::string_view Close) {
    const std::size_t End = Text.find(Close, I);
    const std::size_t Stop = End == std::string::npos ? N : End + Close.size();
    Line.append(Text, I, Stop - I);
    I = Stop;
  };
  while (I < N) {
    const char C = Text[I];
    const char Next = I + 1 < N ? Text[I + 1] : '\0';
    if (C == '\r' || C == '\n') {
      Lines.push_back(std::move(Line));
      Line.clear();
      I += C == '\r' && Next == '\n' ? 2 : 1;
    } else if (C == '-' && Next == '-') {
      const std::size_t End = Text.find_first_of("\r\n", I);
      const std::size_t Stop = End == std::string::npos ? N : End;
      Line.append(Text, I, Stop - I);
      I = Stop;
    } else if (C == '/' && Next == '*') {
      Line += "/*";
      I += 2;
      CopyThrough("*/");
    } else if (C == '\'' || C == '"' || C == '`' || C == '[') {
      // A doubled quote inside closes the run and opens the next one.
      const char Close[2] = {C == '[' ? ']' : C, '\0'};
      Line += C;
      ++I;
      CopyThrough(Close);
    } else {
      Line += C;
      ++I;
    }
  }
  if (!Line.empty()) Lines.push_back(std::move(Line));
  SQL->BeginUpdate();
  try {
    SQL->Clear();
    for (const std::string& L : Lines) SQL->Add(L);
  } catch (...) {
    SQL->EndUpdate();
    throw;
  }
  SQL->EndUpdate();
}

bool TzvExtDataSetModel::IsByteOrderRangeSound(const TIndexFieldDef& Def, TzvCompareItem* Item) {
  if (Def.CaseInsensitive || !Item || Item->GetOptions().Contains(ciCaseInsensitive)) return false;
  TzvCompareModel* Operator = Item->GetCompareModel();
  return dynamic_cast<TzvEqualCompareModel*>(Operator) || dynamic_cast<TzvStartsCompareModel*>(Operator);
}

bool TzvExtDataSetModel::IsUpperOrderRangeSound(TzvCompareItem* Item) {
  if (!Item || !Item->GetOptions().Contains(ciCaseInsensitive)) return false;
  TzvCompareModel* Operator = Item->GetCompareModel();
  return dynamic_cast<TzvEqualCompareModel*>(Operator) || dynamic_cast<TzvStartsCompareModel*>(Operator);
}

int TzvExtDataSetModel::CompareTextBytes(std::string_view A, std::string_view B, bool FoldAscii) {
  auto Byte = [FoldAscii](char Ch) {
    const auto C = static_cast<unsigned char>(Ch);
    if (C == 0x7F || C == 0xFF) return 0x100;
    if (FoldAscii && C >= 'A' && C <= 'Z') return C + ('a' - 'A');
    return int(C);
  };
  const std::size_t N = std::min(A.size(), B.size());
  for (std::size_t I = 0; I < N; ++I) {
    const int X = Byte(A[I]);
    const int Y = Byte(B[I]);
    if (X != Y) return X < Y ? -1 : 1;
  }
  return A.size() == B.size() ? 0 : (A.size() < B.size() ? -1 : 1);
}

// ---------------------------------------------------------------------------
// TzvDBIndexModel

TDataSet* TzvDBIndexModel::GetDataSet() const { return Model_->GetLinkedDataSet(); }

TzvExtDataSetModel* TzvDBIndexModel::GetExtDataSetModel() const { return Model_->GetExtDataSetModel(); }

IzvCalculateModel* TzvDBIndexModel::GetCalculateModel() const { return Model_->GetCalculateModel(); }

void TzvDBIndexModel::ClearIndexBounds() {
  Bounds_.clear();
  IndexState_ = isNone;
  KeyValues_ = Null();
}

void TzvDBIndexModel::ItemDeleting(TzvCompareItem* Item) {
  const bool Supplied =
      std::any_of(Bounds_.begin(), Bounds_.end(), [Item](const TIndexFieldBound& B) {
        return !Item || B.TopItem == Item || B.BottomItem == Item;
      });
  if (!Supplied) return;
  ClearIndexBounds();
  if (Model_->GetUpdateLevel() == ulNone) Model_->SetUpdateLevel(ulLow);
}

void TzvDBIndexModel::ClearAll() {
  IndexFields_.clear();
  ClearIndexBounds();
}

void TzvDBIndexModel::SetActive(bool Value) {
  if (Value == Active_) return;
  Active_ = Value;
  if (Value)
    UpdateIndex();
  else
    ClearAll();
}

bool TzvDBIndexModel::IsUpdateIndex() {
  if (!Active_) return false;
  TzvExtDataSetModel* Ext = GetExtDataSetModel();
  return Ext->GetIndexName() != IndexName_ || Ext->GetIndexFieldNames() != IndexFieldNames_;
}

bool TzvDBIndexModel::NextFieldName(const std::string& List, std::size_t& Pos, std::string& Name) {
  while (Pos < List.size() && List[Pos] == ';') ++Pos;
  if (Pos >= List.size()) {
    Name.clear();
    return false;
  }
  const std::size_t End = std::min(List.find(';', Pos), List.size());
  Name = List.substr(Pos, End - Pos);
  Pos = End;
  return true;
}

std::vector<std::string> TzvDBIndexModel::SplitFieldNames(const std::string& List) {
  std::vector<std::string> Names;
  std::size_t Pos = 0;
  std::string Name;
  while (NextFieldName(List, Pos, Name)) Names.push_back(Name);
  return Names;
}

namespace {

bool ContainsName(const std::vector<std::string>& Names, const std::string& Name) {
  return std::any_of(Names.begin(), Names.end(), [&](const std::string& N) { return AnsiSameText(N, Name); });
}

}  // namespace

void TzvDBIndexModel::UpdateIndex() {
  TzvExtDataSetModel* Ext = GetExtDataSetModel();
  IndexName_ = Ext->GetIndexName();
  IndexFieldNames_ = Ext->GetIndexFieldNames();
  // Bounds belong to the key fields they were computed for: they go with them,
  // and the next apply computes them again.
  ClearAll();
  if (Model_->GetUpdateLevel() == ulNone) Model_->SetUpdateLevel(ulLow);
  TDataSet* DataSet = GetDataSet();
  if (!Active_ || !DataSet || !DataSet->GetActive()) return;
  TOwned<TIndexDef> Def = Ext->GetIndexDef();
  if (!Def) return;
  const std::vector<std::string> CaseIns = SplitFieldNames(Def->GetCaseInsFields());
  const std::vector<std::string> Desc = SplitFieldNames(Def->GetDescFields());
  for (const std::string& Name : SplitFieldNames(Def->GetFields())) {
    TIndexFieldDef Field;
    Field.Field = DataSet->FindField(Name);
    // Key fields after one the dataset lacks cannot be searched in order.
    if (!Field.Field) break;
    Field.CaseInsensitive =
        CaseIns.empty() ? Def->GetOptions().Contains(ixCaseInsensitive) : ContainsName(CaseIns, Name);
    Field.Descending = Desc.empty() ? Def->GetOptions().Contains(ixDescending) : ContainsName(Desc, Name);
    IndexFields_.push_back(Field);
  }
}

TzvKeyOrder TzvDBIndexModel::CompareValue(const TIndexFieldDef& Def, const Variant& A, const Variant& B) const {
  TzvKeyOrder Result;
  if (DataTypeIsStr(Def.Field->GetDataType())) {
    const int C = GetExtDataSetModel()->CompareKeyText(Def, VarToStr(A), VarToStr(B));
    Result = C == 0 ? koEqual : (C < 0 ? koBefore : koAfter);
  } else if (VarIsNull(A) || VarIsEmpty(A) || VarIsNull(B) || VarIsEmpty(B)) {
    // A Null key sorts before every value in the index (as a Null text reads
    // as the empty text); compared as variants it would only be "not equal",
    // and a Null record would end a scan or hide the records after it.
    const bool AMissing = VarIsNull(A) || VarIsEmpty(A);
    const bool BMissing = VarIsNull(B) || VarIsEmpty(B);
    Result = AMissing == BMissing ? koEqual : (AMissing ? koBefore : koAfter);
  } else {
    const TVariantRelationship R = VarCompareValue(A, B);
    Result = R == vrGreaterThan ? koAfter : (R == vrEqual ? koEqual : koBefore);
  }
  // A descending key turns every order around.
  if (Def.Descending && Result != koEqual) Result = Result == koBefore ? koAfter : koBefore;
  return Result;
}

TIndexFieldBound TzvDBIndexModel::GetBounds(const TIndexFieldDef& Def) {
  IzvCalculateModel* Calc = GetCalculateModel();
  return Calc ? NodeBounds(Calc->GetNode(), Def) : TIndexFieldBound();
}

TIndexFieldBound TzvDBIndexModel::LeafBounds(TzvCompareItem* Item, const TIndexFieldDef& Def) {
  TIndexFieldBound Result;
  if (!Item || !Def.Field) return Result;
  if (!AnsiSameText(Item->GetFieldName(), Def.Field->GetFieldName())) return Result;
  if (VarTypeIsStr(Item->GetDataType()) && Item->GetOptions().Contains(ciCaseInsensitive) != Def.CaseInsensitive)
    return Result;
  if (DataTypeIsStr(Def.Field->GetDataType()) && !GetExtDataSetModel()->IsTextRangeSound(Def, Item)) return Result;
  TzvCompareModel* Operator = Item->GetCompareModel();
  Variant Converted;
  if (!Operator || !TryVarToVar(Operator->GetValue(), Converted, Item->GetDataType())) return Result;
  // The operator's bounds are the lowest and highest matching values; on a
  // descending key the highest comes first in the index, so it is the start.
  Variant Top = Def.Descending ? Operator->GetBottomBoundValue() : Operator->GetTopBoundValue();
  Variant Bottom = Def.Descending ? Operator->GetTopBoundValue() : Operator->GetBottomBoundValue();
  // A key field holds no text longer than its size, and refuses one as a
  // key: a longer bound is cut to that many characters. The start then lies
  // at or before the original in the index, and no text of the field lies
  // between a cut end and the original one.
  if (DataTypeIsStr(Def.Field->GetDataType()) && Def.Field->GetSize() > 0) {
    const std::size_t Size = static_cast<std::size_t>(Def.Field->GetSize());
    for (Variant* Bound : {&Top, &Bottom}) {
      if (!VarIsStr(*Bound) || CharLength(VarToStr(*Bound)) <= Size) continue;
      std::string Cut = CharLeft(VarToStr(*Bound), Size);
      *Bound = (Bound->VarType() & varTypeMask) == varOleStr ? Variant(Utf8ToUtf16(Cut)) : Variant(std::move(Cut));
    }
  }
  // A Null bound would order against nothing: it limits nothing either.
  if (!VarIsEmpty(Top) && !VarIsNull(Top)) {
    Result.TopItem = Item;
    Result.TopValue = std::move(Top);
  }
  if (!VarIsEmpty(Bottom) && !VarIsNull(Bottom)) {
    Result.BottomItem = Item;
    Result.BottomValue = std::move(Bottom);
  }
  return Result;
}

TIndexFieldBound TzvDBIndexModel::NodeBounds(TBaseNode* Node, const TIndexFieldDef& Def) {
  // Bottom-up without recursion: a tree is as deep as its expression is long.
  return zvFoldTree<TIndexFieldBound>(
      Node,
      [&](TBaseNode* Leaf) {
        auto* L = dynamic_cast<TLeaf*>(Leaf);
        return L ? LeafBounds(L->GetItem(), Def) : TIndexFieldBound();
      },
      [&](TNode* Op, TIndexFieldBound A, TIndexFieldBound B) { return CombineBounds(Op, A, B, Def); });
}

TIndexFieldBound TzvDBIndexModel::CombineBounds(TNode* Op, const TIndexFieldBound& A, const TIndexFieldBound& B,
                                                const TIndexFieldDef& Def) {
  if (Op->GetOperationType() == otNot) return TIndexFieldBound();
  const bool And = Op->GetOperationType() == otAnd;
  TIndexFieldBound Result;
  // Picks one side's limit: "and" narrows to the later start and the earlier
  // end, "or" widens to the earlier start and the later end, and under "or" a
  // side without a limit removes it.
  auto Pick = [&](TzvCompareItem* AItem, const Variant& AValue, TzvCompareItem* BItem, const Variant& BValue,
                  bool Top, TzvCompareItem*& Item, Variant& Value) {
    bool TakeA;
    if (!AItem)
      TakeA = !And;
    else if (!BItem)
      TakeA = And;
    else {
      const TzvKeyOrder C = CompareValue(Def, AValue, BValue);
      if (C == koEqual)
        TakeA = And;
      else if (C == koBefore)
        TakeA = Top ? !And : And;
      else
        TakeA = Top ? And : !And;
    }
    Item = TakeA ? AItem : BItem;
    Value = TakeA ? AValue : BValue;
  };
  Pick(A.TopItem, A.TopValue, B.TopItem, B.TopValue, true, Result.TopItem, Result.TopValue);
  Pick(A.BottomItem, A.BottomValue, B.BottomItem, B.BottomValue, false, Result.BottomItem, Result.BottomValue);
  return Result;
}

void TzvDBIndexModel::UpdateData() {
  Bounds_.clear();
  TzvExtDataSetModel* Ext = GetExtDataSetModel();
  const bool MultiCase = Ext->IsSupported(dsMultiCaseInsIndexSearch);
  bool TextMet = false;
  bool TextCaseInsensitive = false;
  for (const TIndexFieldDef& Def : IndexFields_) {
    if (!MultiCase && DataTypeIsStr(Def.Field->GetDataType())) {
      if (!TextMet) {
        TextMet = true;
        TextCaseInsensitive = Def.CaseInsensitive;
      } else if (Def.CaseInsensitive != TextCaseInsensitive) {
        break;
      }
    }
    TIndexFieldBound Bound = GetBounds(Def);
    if (!Bound.TopItem && !Bound.BottomItem) break;
    Bounds_.push_back(Bound);
    if (!Bound.TopItem || !Bound.BottomItem) break;
    if (CompareValue(Def, Bound.TopValue, Bound.BottomValue) != koEqual) break;
  }
  if (Bounds_.empty()) {
    IndexState_ = isNone;
    KeyValues_ = Null();
    return;
  }
  IndexState_ = isNearest;
  std::vector<Variant> Tops;
  for (const TIndexFieldBound& B : Bounds_) Tops.push_back(B.TopValue);
  KeyValues_ = VarArrayOf(std::move(Tops));
}

bool TzvDBIndexModel::RecordBeforeRangeStart() {
  for (std::size_t i = 0; i < Bounds_.size() && i < IndexFields_.size(); ++i) {
    const TIndexFieldBound& B = Bounds_[i];
    if (!B.TopItem) return false;
    const TzvKeyOrder C = CompareValue(IndexFields_[i], B.TopValue, B.TopItem->GetCompareAsVariant());
    if (C == koAfter) return true;
    if (C == koBefore) return false;
  }
  return false;
}

// ---------------------------------------------------------------------------
// TzvFindIndexModel

bool TzvFindIndexModel::GoToFirstRecord(bool Restart) {
  TDataSet* DataSet = GetDataSet();
  if (!DataSet) return true;
  if (!Restart && RecordBeforeRangeStart()) Restart = true;
  if (!Restart) {
    DataSet->Next();
    return true;
  }
  // The key search needs the leading key fields that have a start.
  std::vector<Variant> Keys;
  if (GetIndexState() == isNearest) {
    const Variant& All = GetKeyValues();
    for (int i = 0; i <= VarArrayHighBound(All, 1); ++i) {
      if (VarIsEmpty(All[i])) break;
      Keys.push_back(All[i]);
    }
  }
  if (Keys.empty()) {
    DataSet->First();
    return true;
  }
  if (!GetExtDataSetModel()->FindRecord(VarArrayOf(std::move(Keys)), false)) {
    // No record holds the start key itself (the range starts between keys):
    // walk in index order to the first record at or after the start.
    DataSet->First();
    while (!DataSet->Eof() && RecordBeforeRangeStart()) DataSet->Next();
  }
  return true;
}

void TzvFindIndexModel::NextCandidate() {
  TDataSet* DataSet = GetDataSet();
  if (!DataSet) return;
  if (GetActive() && !GetBoundsList().empty() && GetExtDataSetModel()->SkipToCandidate(*this)) return;
  DataSet->Next();
}

bool TzvFindIndexModel::CheckIndexBounds() {
  const std::vector<TIndexFieldBound>& Bounds = GetBoundsList();
  for (std::size_t i = 0; i < Bounds.size() && static_cast<int>(i) < GetCount(); ++i) {
    const TIndexFieldBound& B = Bounds[i];
    const TIndexFieldDef& Def = GetItem(static_cast<int>(i));
    if (B.TopItem && CompareValue(Def, B.TopValue, B.TopItem->GetCompareAsVariant()) == koAfter) return false;
    if (B.BottomItem && CompareValue(Def, B.BottomValue, B.BottomItem->GetCompareAsVariant()) == koBefore)
      return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// TzvFilterIndexModel

void TzvFilterIndexModel::UpdateIndex() {
  if (GetExtDataSetModel()->IsSupported(dsIndexRange))
    TzvDBIndexModel::UpdateIndex();
  else
    ClearAll();
}

bool TzvFilterIndexModel::IsUpdateIndex() {
  return GetExtDataSetModel()->IsSupported(dsIndexRange) && TzvDBIndexModel::IsUpdateIndex();
}

void TzvFilterIndexModel::ApplyRange() {
  const std::vector<TIndexFieldBound>& Bounds = GetBoundsList();
  const bool HasRange = !Bounds.empty();
  if (!RangeApplied_ && !HasRange) return;
  Variant Start = Null();
  Variant End = Null();
  if (HasRange) {
    std::vector<Variant> Tops, Bottoms;
    for (const TIndexFieldBound& B : Bounds) {
      Tops.push_back(B.TopValue);
      Bottoms.push_back(B.BottomValue);
    }
    Start = VarArrayOf(std::move(Tops));
    End = VarArrayOf(std::move(Bottoms));
  }
  GetExtDataSetModel()->SetRange(Start, End);
  RangeApplied_ = HasRange;
}

void TzvFilterIndexModel::CancelRange() {
  if (!RangeApplied_) return;
  GetExtDataSetModel()->SetRange(Null(), Null());
  RangeApplied_ = false;
}

// ---------------------------------------------------------------------------
// Find options

void TzvFindOptions::SetOptimization(bool Value) {
  if (Value == Optimization_) return;
  Optimization_ = Value;
  if (auto* Model = dynamic_cast<TzvDBBaseModel*>(GetModel()))
    if (TzvDBIndexModel* Index = Model->GetIndexModel()) Index->SetActive(Value);
}

void TzvFindOptions::Assign(TPersistent* Source) {
  TzvModelOptions::Assign(Source);
  if (auto* Other = dynamic_cast<TzvFindOptions*>(Source)) {
    Restart_ = Other->Restart_;
    UnlessFoundOption_ = Other->UnlessFoundOption_;
    SetOptimization(Other->Optimization_);
  }
}

void TzvFindMessageOptions::Assign(TPersistent* Source) {
  if (auto* Other = dynamic_cast<TzvFindMessageOptions*>(Source)) {
    ShowMessage_ = Other->ShowMessage_;
    RecordNotFound_ = Other->RecordNotFound_;
    NextRecordNotFound_ = Other->NextRecordNotFound_;
    return;
  }
  TPersistent::Assign(Source);
}

// ---------------------------------------------------------------------------
// TzvCustomDBFindModel

void TzvCustomDBFindModel::AfterConstruction() {
  TzvDBBaseModel::AfterConstruction();
  SetIndexModel(Create<TzvFindIndexModel>(this));
  MessageOptions_.reset(Create<TzvFindMessageOptions>());
  // A new model uses the index as its Optimization option says.
  GetIndexModel()->SetActive(GetOptions()->GetOptimization());
}

TzvCustomDBFindModel::~TzvCustomDBFindModel() = default;

void TzvCustomDBFindModel::CreateOptions(TzvModelOptions*& Options) { Options = Create<TzvFindOptions>(this); }

void TzvCustomDBFindModel::SetOptions(TzvFindOptions* Value) {
  if (Value && Value != GetOptions()) GetOptions()->Assign(Value);
}

void TzvCustomDBFindModel::SetMessageOptions(TzvFindMessageOptions* Value) {
  if (Value && Value != MessageOptions_.get()) MessageOptions_->Assign(Value);
}

bool TzvCustomDBFindModel::InternalApply() {
  if (!GetActive()) return false;
  TDataSet* DataSet = GetLinkedDataSet();
  if (!DataSet || !DataSet->GetActive()) return false;
  TzvFindOptions* Opts = GetOptions();
  const bool Restart = Opts->GetRestart();
  const bool NotMove = Opts->GetUnlessFoundOption() == ufNotMove;
  TzvFindIndexModel* Index = GetFindIndexModel();
  bool Found = false;
  TBookmark Bookmark;
  DataSet->WithControlsDisabled([&] {
    if (NotMove) Bookmark = DataSet->GetBookmark();
    Index->GoToFirstRecord(Restart);
    while (!DataSet->Eof()) {
      if (!Index->CheckIndexBounds()) break;
      if (CheckItems()) {
        Found = true;
        break;
      }
      Index->NextCandidate();
    }
    if (!Found) {
      // An empty dataset gives an empty bookmark: there is nowhere to return to.
      if (NotMove) {
        if (!Bookmark.IsEmpty()) DataSet->GotoBookmark(Bookmark);
      } else if (!DataSet->Eof()) {
        DataSet->Last();
      }
    }
  });
  if (NotMove) DataSet->FreeBookmark(Bookmark);
  if (!Found && MessageOptions_->GetShowMessage()) {
    std::string Text = Restart ? MessageOptions_->GetRecordNotFound() : MessageOptions_->GetNextRecordNotFound();
    if (Text.empty()) Text = LoadResString(Restart ? SRecordNotFound : SNextRecordNotFound);
    ShowMessage(Text);
  }
  return Found;
}

}  // namespace fyndra
