#include <fyndra/core/zvbasemodel.h>

#include <algorithm>
#include <new>

#include <fyndra/core/zvcomparemodels.h>
#include <fyndra/core/zvmodelconverter.h>
#include <fyndra/platform/classes/scopes.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {

// ---------------------------------------------------------------------------
// Class information and published properties (in streaming order)

FYNDRA_IMPLEMENT_CLASS(TObjectInterface)
FYNDRA_IMPLEMENT_CLASS(TPersistentInterface)
FYNDRA_IMPLEMENT_CLASS(TzvCompareModel)
FYNDRA_IMPLEMENT_CLASS(TzvCompareModelList)
FYNDRA_IMPLEMENT_CLASS(TzvCompareItems)

FYNDRA_PUBLISHED(TzvCompareItem, P) {
  P.Property("DisplayLabel", &TzvCompareItem::GetDisplayLabel, &TzvCompareItem::SetDisplayLabel)
      .Stored(&TzvCompareItem::IsDisplayLabelStored);
  P.Property("CompareKey", &TzvCompareItem::CompareKey_, &TzvCompareItem::SetCompareKey)
      .Stored(&TzvCompareItem::IsCompareKeyStored);
  P.Property("Options", &TzvCompareItem::Options_, &TzvCompareItem::SetOptions)
      .Stored(&TzvCompareItem::IsOptionsStored);
  P.Property("Value", &TzvCompareItem::GetValue, &TzvCompareItem::SetValue);
  // Last, so that a streamed name is read after the value.
  P.Property("Name", &TzvCompareItem::GetName, &TzvCompareItem::SetName);
}

FYNDRA_PUBLISHED(TzvModelOptions, P) {
  P.Property("ChangeCursor", &TzvModelOptions::GetChangeCursor, &TzvModelOptions::SetChangeCursor).Default(true);
  P.Property("AutoUpdate", &TzvModelOptions::GetAutoUpdate, &TzvModelOptions::SetAutoUpdate).Default(true);
}

FYNDRA_PUBLISHED(TzvBaseModel, P) {
  P.Property("CompareItems", &TzvBaseModel::GetCompareItems, &TzvBaseModel::SetCompareItems)
      .Stored(&TzvBaseModel::IsCompareItemsStored);
  P.Property("ItemsOption", &TzvBaseModel::GetItemsOption, &TzvBaseModel::SetItemsOption).Default(ioDefault);
  P.Property("Expression", &TzvBaseModel::GetExpression, &TzvBaseModel::SetExpression);
}

// ---------------------------------------------------------------------------
// Interfaces without reference counting

std::int32_t TObjectInterface::QueryInterface(const TGUID& IID, void** Obj) {
  void* P = GetInterface(IID);
  if (Obj) *Obj = P;
  return P ? 0 : E_NOINTERFACE;
}

void* TObjectInterface::GetInterface(const TGUID& IID) {
  return IID == IInterface::IID ? static_cast<IInterface*>(this) : nullptr;
}

std::int32_t TPersistentInterface::QueryInterface(const TGUID& IID, void** Obj) {
  void* P = GetInterface(IID);
  if (Obj) *Obj = P;
  return P ? 0 : E_NOINTERFACE;
}

void* TPersistentInterface::GetInterface(const TGUID& IID) {
  return IID == IInterface::IID ? static_cast<IInterface*>(this) : nullptr;
}

// ---------------------------------------------------------------------------
// Errors

void zvBaseModelError(const std::string& Message, const TComponent* Component) {
  if (Component && !Component->GetName().empty())
    throw EzvBaseModelError(Format("%s: %s", {Component->GetName(), Message}));
  throw EzvBaseModelError(Message);
}

void zvBaseModelErrorFmt(const std::string& FormatText, std::initializer_list<Variant> Args,
                         const TComponent* Component) {
  zvBaseModelError(Format(FormatText, Args), Component);
}

// ---------------------------------------------------------------------------
// TzvCompareModel

TzvCompareModel::TzvCompareModel() : Value_(Null()) {}

void TzvCompareModel::DoDataChange() {
  Value_ = Item_->GetAsVariant();
  DataType_ = Item_->GetDataType();
  CaseInsensitive_ = Item_->GetOptions().Contains(ciCaseInsensitive) && VarTypeIsStr(DataType_);
  DataSize_ = Item_->GetDataSize();
  DataChanged();
}

Variant TzvCompareModel::GetCompareAsVariant() const { return Item_->GetCompareAsVariant(); }

std::string TzvCompareModel::GetCompareAsString() const { return Item_->GetCompareAsString(); }

std::string TzvCompareModel::GetFieldName() const { return Item_->GetFieldName(); }

// A name that is no plain identifier (a blank, a quote, a letter beyond
// ASCII) would not survive as a parameter name: such an item gets "DFyndra_",
// its name with every other character made an underscore, an underscore and
// a number. The number is the item's position, raised by the item count past
// every name a plainly named item takes, so the name is unique in the model:
// the digits after the last underscore tell the position apart.
std::string TzvCompareModel::GetParamName() const {
  const std::string Name = Item_->GetName();
  if (zvIsPlainIdentifier(Name)) return "DFyndra_" + Name;
  std::string Base = "DFyndra_";
  for (char C : Name) Base += zvIsPlainIdentifier(std::string(1, C)) || (C >= '0' && C <= '9') ? C : '_';
  Base += '_';
  TzvCompareItems* Items = Item_->GetCompareItems();
  const int Count = Items ? std::max(Items->Count(), 1) : 1;
  for (int N = Item_->GetIndex() + 1;; N += Count) {
    const std::string Candidate = Base + std::to_string(N);
    bool Taken = false;
    for (int i = 0; Items && i < Items->Count() && !Taken; ++i) {
      const std::string Other = Items->GetItem(i)->GetName();
      Taken = zvIsPlainIdentifier(Other) && AnsiSameText("DFyndra_" + Other, Candidate);
    }
    if (!Taken) return Candidate;
  }
}

// ---------------------------------------------------------------------------
// TzvCompareModelList

void TzvCompareModelList::Add(std::int32_t Key, const std::string& Caption, TzvCompareModelClass ModelClass) {
  List_.push_back(TListItem{Key, Caption, ModelClass});
}

int TzvCompareModelList::FindItem(std::int32_t Key) const {
  for (std::size_t i = 0; i < List_.size(); ++i)
    if (List_[i].Key == Key) return static_cast<int>(i);
  return -1;
}

TzvCompareModelItem TzvCompareModelList::Get(std::int32_t Key) const {
  int i = FindItem(Key);
  if (i < 0) return {};
  return {List_[i].Caption, List_[i].ModelClass};
}

TzvCompareModelItem TzvCompareModelList::Remove(std::int32_t Key) {
  int i = FindItem(Key);
  if (i < 0) return {};
  TzvCompareModelItem Result{List_[i].Caption, List_[i].ModelClass};
  List_.erase(List_.begin() + i);
  return Result;
}

void TzvCompareModelList::Clear() { List_.clear(); }

const TzvCompareModelList::TListItem& TzvCompareModelList::At(int Index) const {
  if (Index < 0 || Index >= GetCount())
    throw EListError(Format("List index out of bounds (%d)", {Index}));
  return List_[Index];
}

std::int32_t TzvCompareModelList::GetKey(int Index) const { return At(Index).Key; }

TzvCompareModelItem TzvCompareModelList::GetValue(int Index) const {
  const TListItem& E = At(Index);
  return {E.Caption, E.ModelClass};
}

// ---------------------------------------------------------------------------
// TzvCompareItem

namespace {

// Refuses, before anything is built, an item meant for a foreign collection.
TCollection* CheckCompareItems(TCollection* Collection) {
  if (!dynamic_cast<TzvCompareItems*>(Collection)) zvBaseModelError(LoadResString(SCompareItemCreateError));
  return Collection;
}

}  // namespace

TzvCompareItem::TzvCompareItem(TCollection* Collection) : TCollectionItem(CheckCompareItems(Collection)) {}

void TzvCompareItem::AfterConstruction() {
  TCollectionItem::AfterConstruction();
  Model_ = GetCompareItems()->GetModel();  // the constructor checked the collection's class
  Options_ = DefaultOptions();
  Value_ = Null();
  Name_ = GetDefaultName();
  CompareKey_ = DefaultCompareKey();
  SetCompareModel(CompareKey_);
  CompareItemChanged(ioCreate);
}

void TzvCompareItem::BeforeDestruction() {
  if (TzvCompareItems* Items = GetCompareItems()) Items->FireItemDeleting(this);
  DeletionAnnounced_ = true;
  TCollectionItem::BeforeDestruction();
}

TzvCompareItems* TzvCompareItem::GetCompareItems() const {
  // An item moved out of its collection (SetCollection) has none to tell.
  return dynamic_cast<TzvCompareItems*>(GetCollection());
}

bool TzvCompareItem::ModelLoading() const {
  return Model_ && Model_->ComponentState().Contains(csLoading);
}

void TzvCompareItem::UpdateData() {
  if (!AssignedValues_.Contains(civCompareKey)) SetPrivateCompareKey(DefaultCompareKey(), false);
  if (!AssignedValues_.Contains(civName) && !ModelLoading()) SetPrivateName(GetDefaultName(), false);
}

std::int32_t TzvCompareItem::DefaultCompareKey() { return VarTypeIsStr(DataType_) ? ckStarts : ckEqual; }

TzvCompareItemOptions TzvCompareItem::DefaultOptions() { return {ciCaseInsensitive, ciConvertValue}; }

std::string TzvCompareItem::DefaultDisplayLabel() { return Name_; }

bool TzvCompareItem::GetActive() {
  return CompareModel_ && DataType_ != varEmpty && (Options_.Contains(ciCompareIfEmpty) || !IsEmpty());
}

void TzvCompareItem::SetName(const std::string& Text) { SetPrivateName(Text, true); }

std::string TzvCompareItem::GetName() const { return Name_; }

void TzvCompareItem::SetFieldName(const std::string&) {}

std::string TzvCompareItem::GetFieldName() { return GetDisplayName(); }

std::string TzvCompareItem::DefaultName() { return ClassName(); }

std::string TzvCompareItem::GetDisplayName() const { return Name_; }

bool TzvCompareItem::IsCompareKeyStored() {
  return AssignedValues_.Contains(civCompareKey) && CompareKey_ != DefaultCompareKey();
}

bool TzvCompareItem::IsOptionsStored() { return Options_ != DefaultOptions(); }

std::string TzvCompareItem::GetDisplayLabel() {
  return AssignedValues_.Contains(civDisplayLabel) ? DisplayLabel_ : DefaultDisplayLabel();
}

void TzvCompareItem::SetDisplayLabel(const std::string& Text) {
  if (!AssignedValues_.Contains(civDisplayLabel) || Text != DisplayLabel_) {
    DisplayLabel_ = Text;
    AssignedValues_.Include(civDisplayLabel);
  }
}

bool TzvCompareItem::IsDisplayLabelStored() {
  return AssignedValues_.Contains(civDisplayLabel) && DisplayLabel_ != DefaultDisplayLabel();
}

std::string TzvCompareItem::GetDefaultName() { return CalculateDefaultName(DefaultName(), 0); }

std::string TzvCompareItem::CalculateDefaultName(const std::string& Base, int N) {
  for (;;) {
    ++N;
    std::string Candidate = N == 1 ? Base : Base + std::to_string(N);
    if (!CheckDuplicateName(Candidate)) return Candidate;
  }
}

bool TzvCompareItem::CheckDuplicateName(const std::string& Text) {
  TzvCompareItems* Items = GetCompareItems();
  if (!Items) return false;
  for (int i = 0; i < Items->Count(); ++i) {
    TzvCompareItem* Other = Items->GetItem(i);
    if (Other != this && AnsiCompareText(Other->GetName(), Text) == 0) return true;
  }
  return false;
}

void TzvCompareItem::SetPrivateName(const std::string& Text, bool ByUser) {
  if (Text == Name_) return;
  if (CheckDuplicateName(Text)) zvBaseModelErrorFmt(LoadResString(SDuplicateName), {Text});
  // Listeners drop what they bound under the old name; one of them may refuse.
  TzvCompareItems* Items = GetCompareItems();
  if (Items && !ModelLoading()) {
    Renaming_ = true;
    try {
      Items->FireItemDeleting(this);
    } catch (...) {
      Renaming_ = false;
      throw;
    }
    Renaming_ = false;
  }
  Name_ = Text;
  if (ByUser) AssignedValues_.Include(civName);
  CompareItemChanged(ioCreate);
}

void TzvCompareItem::SetPrivateCompareKey(std::int32_t Key, bool ByUser) {
  if (AssignedValues_.Contains(civCompareKey) && Key == CompareKey_) return;
  SetCompareModel(Key);
  CompareKey_ = Key;
  if (ByUser) AssignedValues_.Include(civCompareKey);
  CompareItemChanged(ioCompareKey);
}

void TzvCompareItem::SetCompareModel(std::int32_t Key) {
  TzvCompareModelList* List = Model_ ? Model_->GetCompareModelList() : nullptr;
  TzvCompareModelClass ModelClass = List ? List->Get(Key).ModelClass : nullptr;
  if (!ModelClass) zvBaseModelErrorFmt(LoadResString(SCompareModelError), {IntToStr(Key)});
  TOwned<TzvCompareModel> Model(ModelClass());
  Model->SetItem(this);
  CompareModel_ = std::move(Model);
}

void TzvCompareItem::SetOptions(TzvCompareItemOptions NewSet) {
  if (NewSet == Options_) return;
  if (NewSet.Contains(ciConvertValue) && !Options_.Contains(ciConvertValue)) {
    Value_ = ConvertValue(Value_, NewSet);
    // Announced together with the options change below: one notification.
    if (TzvCompareItems* Items = GetCompareItems()) Items->IncludeUpdateOption(ioValue);
  }
  Options_ = NewSet;
  CompareItemChanged(ioOptions);
}

Variant TzvCompareItem::ConvertValue(const Variant& V, TzvCompareItemOptions Options) const {
  if (!Options.Contains(ciConvertValue) || VarIsNull(V) || DataType_ == varEmpty) return V;
  try {
    return VarAsType(V, DataType_);
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception&) {
  }
  std::string Text;
  try {
    Text = VarToStr(V);
  } catch (const Exception&) {
  }
  std::string Label = const_cast<TzvCompareItem*>(this)->GetDisplayLabel();
  zvBaseModelErrorFmt(LoadResString(SInvalidItemValue), {Text, Label});
}

void TzvCompareItem::InternalSetValue(const Variant& V, bool Force) {
  if (!Force && VarSameValue(Value_, V)) return;
  Value_ = ConvertValue(V, Options_);
  CompareItemChanged(ioValue);
}

std::string TzvCompareItem::GetAsString() const { return VarToStr(Value_); }

void TzvCompareItem::SetAsString(const std::string& S) {
  if (S.empty())
    SetAsVariant(Null());
  else
    SetAsVariant(Variant(S));
}

TDateTime TzvCompareItem::GetAsDateTime() const { return IsEmpty() ? 0 : VarToDateTime(Value_); }
void TzvCompareItem::SetAsDateTime(TDateTime V) { SetAsVariant(Variant::FromDateTime(V)); }

std::int64_t TzvCompareItem::GetAsLargeint() const { return IsEmpty() ? 0 : Value_.AsInt64(); }
void TzvCompareItem::SetAsLargeint(std::int64_t V) { SetAsVariant(Variant(V)); }

std::int32_t TzvCompareItem::GetAsInteger() const { return IsEmpty() ? 0 : Value_.AsInteger(); }
void TzvCompareItem::SetAsInteger(std::int32_t V) { SetAsVariant(Variant(V)); }

bool TzvCompareItem::GetAsBoolean() const { return IsEmpty() ? false : Value_.AsBoolean(); }
void TzvCompareItem::SetAsBoolean(bool V) { SetAsVariant(Variant(V)); }

double TzvCompareItem::GetAsFloat() const { return IsEmpty() ? 0.0 : Value_.AsDouble(); }
void TzvCompareItem::SetAsFloat(double V) { SetAsVariant(Variant(V)); }

Currency TzvCompareItem::GetAsCurrency() const { return IsEmpty() ? Currency() : Value_.AsCurrency(); }
void TzvCompareItem::SetAsCurrency(Currency V) { SetAsVariant(Variant(V)); }

TBcd TzvCompareItem::GetAsBCD() const {
  if (IsEmpty()) return NullBcd();
  TBcd Result;
  CurrToBCD(GetAsCurrency(), Result, 32, 4);
  return Result;
}

void TzvCompareItem::SetAsBCD(const TBcd& V) {
  Currency C;
  if (!BCDToCurr(V, C))
    zvBaseModelErrorFmt(LoadResString(SInvalidItemValue), {BcdToStr(V), GetDisplayLabel()});
  SetAsCurrency(C);
}

bool TzvCompareItem::IsEmpty() const {
  if (VarTypeIsStr(DataType_)) return VarToStr(Value_).empty();
  return VarIsNull(Value_);
}

void TzvCompareItem::SetDataType(TVarType DataType, std::int32_t DataSize) {
  DataType_ = DataType;
  DataSize_ = DataSize;
  if (Options_.Contains(ciConvertValue)) {
    // Only a failed conversion turns the value into Null; errors raised by
    // listeners while the new value is announced are theirs and pass on.
    Variant Converted;
    try {
      Converted = ConvertValue(Value_, Options_);
    } catch (const EzvBaseModelError&) {
      Converted = Null();
    }
    Value_ = std::move(Converted);
    CompareItemChanged(ioValue);
  }
  TzvCompareItems* Items = GetCompareItems();
  if (Items && !ModelLoading()) Items->FireItemDataTypeChanged(this);
}

void TzvCompareItem::Assign(TPersistent* Source) {
  auto* Other = dynamic_cast<TzvCompareItem*>(Source);
  if (!Other) {
    TCollectionItem::Assign(Source);
    return;
  }
  // Options first: they decide how the value is converted.
  SetOptions(Other->Options_);
  if (Other->AssignedValues_.Contains(civDisplayLabel)) SetDisplayLabel(Other->DisplayLabel_);
  if (Other->AssignedValues_.Contains(civCompareKey)) SetCompareKey(Other->CompareKey_);
  SetAsVariant(Other->Value_);
  if (Other->AssignedValues_.Contains(civName)) SetName(Other->Name_);
}

void TzvCompareItem::IncludeAssignedValues(TzvCompareItemValue V) { AssignedValues_.Include(V); }

void TzvCompareItem::CompareItemChanged(TzvItemUpdateOption Option) {
  if (TzvCompareItems* Items = GetCompareItems()) {
    Items->IncludeUpdateOption(Option);
    Changed(false);
  }
}

// ---------------------------------------------------------------------------
// TzvCompareItems

TzvCompareItems::TzvCompareItems(TzvBaseModel* Model, TCollectionItemClass ItemClass)
    : TCollection(ItemClass), Owner_(Model) {}

TPersistent* TzvCompareItems::GetOwner() { return Owner_; }

TzvCompareItem* TzvCompareItems::GetItem(int Index) const {
  return static_cast<TzvCompareItem*>(TCollection::GetItem(Index));
}

void TzvCompareItems::SetItem(int Index, TzvCompareItem* Item) { TCollection::SetItem(Index, Item); }

TzvCompareItem* TzvCompareItems::Add() { return static_cast<TzvCompareItem*>(TCollection::Add()); }

TzvCompareItem* TzvCompareItems::FindItem(const std::string& Text) const {
  for (int i = 0; i < Count(); ++i) {
    TzvCompareItem* Item = GetItem(i);
    if (AnsiCompareText(Item->GetName(), Text) == 0) return Item;
  }
  return nullptr;
}

TzvCompareItem* TzvCompareItems::FindByName(const std::string& Text) const {
  TzvCompareItem* Item = FindItem(Text);
  if (!Item) zvBaseModelErrorFmt(LoadResString(SItemNotFound), {Text}, Owner_);
  return Item;
}

void TzvCompareItems::AddItemListener(IItemListener* L) {
  if (L && std::find(Listeners_.begin(), Listeners_.end(), L) == Listeners_.end()) Listeners_.push_back(L);
}

void TzvCompareItems::RemoveItemListener(IItemListener* L) {
  auto It = std::find(Listeners_.begin(), Listeners_.end(), L);
  if (It != Listeners_.end()) Listeners_.erase(It);
}

template <class F>
void TzvCompareItems::ForEachListener(F&& Call) {
  // A listener may unregister itself or another one while it is told; work
  // on a snapshot and skip whoever is gone by the time its turn comes.
  const std::vector<IItemListener*> Snapshot = Listeners_;
  for (IItemListener* L : Snapshot)
    if (std::find(Listeners_.begin(), Listeners_.end(), L) != Listeners_.end()) Call(L);
}

void TzvCompareItems::FireItemEvent(TzvCompareItem* Item) {
  if (UpdateOptions_.Contains(ioCreate))
    ForEachListener([Item](IItemListener* L) { L->ItemAdded(Item); });
  else if (UpdateOptions_.Contains(ioValue))
    ForEachListener([Item](IItemListener* L) { L->ItemValueChanged(Item); });
}

void TzvCompareItems::FireItemDeleting(TzvCompareItem* Item) {
  if (Destroying_) {
    // A collection that is being freed cannot keep its items: a refusal
    // would only end the program from inside a destructor.
    ForEachListener([Item](IItemListener* L) {
      try {
        L->ItemDeleting(Item);
      } catch (const std::exception&) {
      }
    });
    return;
  }
  ForEachListener([Item](IItemListener* L) { L->ItemDeleting(Item); });
}

void TzvCompareItems::BeforeDestruction() {
  Destroying_ = true;
  TCollection::BeforeDestruction();
}

void TzvCompareItems::Notify(TCollectionItem* Item, TCollectionNotification Action) {
  TCollection::Notify(Item, Action);
  auto* CompareItem = dynamic_cast<TzvCompareItem*>(Item);
  if (!CompareItem) return;
  if (Action == cnExtracting && !CompareItem->DeletionAnnounced_) {
    // Raised before the item leaves: a refusal keeps it where it was.
    FireItemDeleting(CompareItem);
  } else if (Action == cnAdded && CompareItem->Model_ && Owner_) {
    // A new item takes its model after insertion; a moved one follows its
    // new collection, so that it never reads the registry or state of a
    // model it no longer belongs to (and that may be gone).
    CompareItem->Model_ = Owner_;
  }
}

void TzvCompareItems::FireItemDataTypeChanged(TzvCompareItem* Item) {
  ForEachListener([Item](IItemListener* L) { L->ItemDataTypeChanged(Item); });
}

void TzvCompareItems::ClearValues() {
  InUpdate(*this, [this] {
    for (int i = 0; i < Count(); ++i) GetItem(i)->SetAsVariant(Null());
  });
}

void TzvCompareItems::Update(TCollectionItem* Item) {
  TzvBaseModel* Model = Owner_;
  if (Model && Model->ComponentState().Contains(csDestroying)) Model = nullptr;
  if (Model && !Model->GetState().Contains(bsSetItems)) Model->SetItemsOption(ioCustom);
  if (UpdateOptions_.Empty()) return;
  if (Model)
    Model->SetUpdateLevel(UpdateOptions_.Contains(ioDestroy) || UpdateOptions_.Contains(ioCompareKey) ? ulHigh
                                                                                                  : ulLow);
  auto* Changed = static_cast<TzvCompareItem*>(Item);
  // Pending changes are consumed even when a listener throws, so that a
  // failed notification does not leak into the next one.
  try {
    FireItemEvent(Changed);
  } catch (...) {
    UpdateOptions_ = {};
    throw;
  }
  UpdateOptions_ = {};
  if (Model) Model->UpdateItem(Changed);
}

// ---------------------------------------------------------------------------
// TzvModelOptions

TzvModelOptions::TzvModelOptions(TzvBaseModel* Model) : Model_(Model) {}

void TzvModelOptions::Assign(TPersistent* Source) {
  if (auto* Other = dynamic_cast<TzvModelOptions*>(Source)) {
    AutoUpdate_ = Other->AutoUpdate_;
    ChangeCursor_ = Other->ChangeCursor_;
    return;
  }
  TPersistent::Assign(Source);
}

TPersistent* TzvModelOptions::GetOwner() { return Model_; }

// ---------------------------------------------------------------------------
// TzvBaseModel

TzvBaseModel::TzvBaseModel(TComponent* Owner) : TComponent(Owner) {}

void TzvBaseModel::AfterConstruction() {
  TComponent::AfterConstruction();
  TzvCompareItems* Items = nullptr;
  CreateCompareItems(Items);
  CompareItems_.reset(Items);
  TzvCompareModelList* List = nullptr;
  CreateCompareModelList(List);
  CompareModelList_.reset(List);
  TzvModelOptions* Opts = nullptr;
  CreateOptions(Opts);
  Options_.reset(Opts);
  if (!CompareItems_ || !CompareModelList_ || !Options_)
    throw std::logic_error(std::string(ClassName()) + ": a factory of the model returned nothing");
  ItemsOption_ = ioDefault;
  CalculateModel_.reset(zvCreateCalculateModel(this));
  CalculateModelIntf_ = Supports<IzvCalculateModel>(CalculateModel_.get());
  if (!CalculateModelIntf_) throw std::logic_error("the expression calculator does not implement IzvCalculateModel");
  CompareItems_->AddItemListener(CalculateModelIntf_);
}

TzvBaseModel::~TzvBaseModel() {
  if (CompareItems_ && CalculateModelIntf_) CompareItems_->RemoveItemListener(CalculateModelIntf_);
  CalculateModelIntf_ = nullptr;
  CalculateModel_.reset();
  CompareModelList_.reset();
  CompareItems_.reset();
  Options_.reset();
}

void TzvBaseModel::CreateOptions(TzvModelOptions*& Options) { Options = Create<TzvModelOptions>(this); }

bool TzvBaseModel::GetActive() { return !ComponentState().Contains(csLoading); }

void TzvBaseModel::Loaded() {
  TFlagScope Loading(State_, bsLoading);
  TComponent::Loaded();
  if (GetActive()) SetItems();
}

void TzvBaseModel::SetItems() {
  if (ComponentState().Contains(csLoading)) return;
  TFlagScope SettingItems(State_, bsSetItems);
  InUpdate(*CompareItems_, [this] {
    if (State_.Contains(bsDisableFullUpdate))
      SetLightItemsData();
    else if (ItemsOption_ == ioDefault)
      SetDefaultItemsData();
    else
      SetItemsData();
  });
}

void TzvBaseModel::SetItemsData() {
  InUpdate(*CompareItems_, [this] {
    for (int i = 0; i < CompareItems_->Count(); ++i) CompareItems_->GetItem(i)->UpdateData();
  });
}

void TzvBaseModel::SetLightItemsData() {
  InUpdate(*CompareItems_, [this] {
    for (int i = 0; i < CompareItems_->Count(); ++i) CompareItems_->GetItem(i)->LightUpdateData();
  });
}

void TzvBaseModel::SetItemsOption(TzvItemsOption Value) {
  if (Value == ItemsOption_) return;
  ItemsOption_ = Value;
  if (Value == ioDefault) SetItems();
}

void TzvBaseModel::SetCompareItems(TzvCompareItems* Value) { CompareItems_->Assign(Value); }

void TzvBaseModel::UpdateItem(TzvCompareItem*) {
  if (Options_->GetAutoUpdate()) Apply();
}

bool TzvBaseModel::Apply() {
  if (!GetActive()) return false;
  TFlagScope Applying(State_, bsApplying);
  if (UpdateLevel_ != ulNone) {
    UpdateDataBeforeApply();
    UpdateLevel_ = ulNone;
  }
  return InternalApply();
}

void TzvBaseModel::UpdateDataBeforeApply() {
  for (int i = 0; i < CompareItems_->Count(); ++i) CompareItems_->GetItem(i)->GetCompareModel()->DoDataChange();
  CalculateModelIntf_->PreCompile();
}

bool TzvBaseModel::CheckItems() { return CalculateModelIntf_->Calculate(); }

std::string TzvBaseModel::GetExpression() { return CalculateModelIntf_->GetExpression(); }

void TzvBaseModel::SetExpression(const std::string& Text) {
  if (Text == CalculateModelIntf_->GetExpression()) return;
  CalculateModelIntf_->SetExpression(Text);
  UpdateItem(nullptr);
}

void TzvBaseModel::DisableFullUpdate() {
  if (DisableFullUpdateCount_ == 0) State_.Include(bsDisableFullUpdate);
  ++DisableFullUpdateCount_;
}

void TzvBaseModel::EnableFullUpdate() {
  if (DisableFullUpdateCount_ <= 0) return;
  if (--DisableFullUpdateCount_ == 0) State_.Exclude(bsDisableFullUpdate);
}

}  // namespace fyndra
