// The spine of the model components: compare items (named, typed criteria with
// an operator each), the item collection that gathers their changes and tells
// its listeners, the abstract base model that owns the items and runs the apply
// cycle, the operator base class with its registry, the expression-tree node
// base, and the one error class of the core with its two raising functions.
//
// Ownership: a model owns its item collection, its operator registry, its
// options object and its expression calculator; each item owns the operator
// object that its compare key selects. Listeners registered with a collection
// are never owned by it: whoever registers a listener removes it before the
// listener goes away. Nothing is reference counted; the interface bases below
// answer AddRef/Release with 0 and never free anything.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include <fyndra/core/zvmodelconsts.h>
#include <fyndra/platform/classes/classes.h>
#include <fyndra/platform/classes/system.h>
#include <fyndra/platform/classes/typinfo.h>
#include <fyndra/platform/rtl/fmtbcd.h>
#include <fyndra/platform/rtl/sysutils.h>
#include <fyndra/platform/rtl/variants.h>

namespace fyndra {

class TzvBaseModel;
class TzvCompareItem;
class TzvCompareItems;
class TzvCompareModel;
class TzvCompareModelList;
class TzvModelOptions;

// ---------------------------------------------------------------------------
// Interfaces without reference counting

struct TGUID {
  std::uint32_t D1 = 0;
  std::uint16_t D2 = 0;
  std::uint16_t D3 = 0;
  std::uint8_t D4[8] = {};
  friend constexpr bool operator==(const TGUID& A, const TGUID& B) {
    if (A.D1 != B.D1 || A.D2 != B.D2 || A.D3 != B.D3) return false;
    for (int i = 0; i < 8; ++i)
      if (A.D4[i] != B.D4[i]) return false;
    return true;
  }
};

// QueryInterface result for an interface the object does not implement.
inline constexpr std::int32_t E_NOINTERFACE = static_cast<std::int32_t>(0x80004002u);

// The base of every interface of the core. Interfaces are inherited virtually
// so that one object implementing several of them has a single base, served by
// TObjectInterface or TPersistentInterface. Objects are never deleted through
// an interface pointer.
class IInterface {
 public:
  static constexpr TGUID IID{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  // 0 and Obj set to the requested interface when implemented; else
  // E_NOINTERFACE and Obj set to null.
  virtual std::int32_t QueryInterface(const TGUID& IID, void** Obj) = 0;
  virtual std::int32_t _AddRef() = 0;
  virtual std::int32_t _Release() = 0;

 protected:
  ~IInterface() = default;
};

// Asks Obj for interface I; null when Obj is null or does not implement it.
template <class I>
I* Supports(IInterface* Obj) {
  void* P = nullptr;
  if (Obj && Obj->QueryInterface(I::IID, &P) == 0) return static_cast<I*>(P);
  return nullptr;
}

// Base for objects that implement interfaces and live by ownership alone.
// A descendant lists the interfaces it implements by overriding GetInterface.
class TObjectInterface : public TObject, public virtual IInterface {
  FYNDRA_CLASS(TObjectInterface, TObject)
 public:
  std::int32_t QueryInterface(const TGUID& IID, void** Obj) override;
  std::int32_t _AddRef() override { return 0; }
  std::int32_t _Release() override { return 0; }

 protected:
  TObjectInterface() = default;
  // The object's face for IID, or null. Overrides answer for their own
  // interfaces and defer to the inherited version for the rest.
  virtual void* GetInterface(const TGUID& IID);
};

class TPersistentInterface : public TPersistent, public virtual IInterface {
  FYNDRA_CLASS(TPersistentInterface, TPersistent)
 public:
  std::int32_t QueryInterface(const TGUID& IID, void** Obj) override;
  std::int32_t _AddRef() override { return 0; }
  std::int32_t _Release() override { return 0; }

 protected:
  TPersistentInterface() = default;
  virtual void* GetInterface(const TGUID& IID);
};

// ---------------------------------------------------------------------------
// Errors

// The one exception class of the model components.
class EzvBaseModelError : public Exception {
 public:
  using Exception::Exception;
};

// Raises EzvBaseModelError with Message, prefixed by "Name: " when Component
// is given and has a name.
[[noreturn]] void zvBaseModelError(const std::string& Message, const TComponent* Component = nullptr);
// Formats FormatText with Args by the platform's Format, then as zvBaseModelError.
[[noreturn]] void zvBaseModelErrorFmt(const std::string& FormatText, std::initializer_list<Variant> Args,
                                      const TComponent* Component = nullptr);

// ---------------------------------------------------------------------------
// Enumerations and sets

enum TzvCompareItemOption : std::uint8_t { ciCaseInsensitive, ciCompareIfEmpty, ciConvertValue };
FYNDRA_ENUM_NAMES(TzvCompareItemOption, ciCaseInsensitive, ciCompareIfEmpty, ciConvertValue)
using TzvCompareItemOptions = TSet<TzvCompareItemOption>;

// The compare keys of the sixteen operators: the integers a form stores in
// an item's CompareKey (zvRegisterCompareModels registers their classes).
inline constexpr std::int32_t ckEqual = 0;
inline constexpr std::int32_t ckNotEqual = 1;
inline constexpr std::int32_t ckGreater = 2;
inline constexpr std::int32_t ckGreaterOrEqual = 3;
inline constexpr std::int32_t ckLess = 4;
inline constexpr std::int32_t ckLessOrEqual = 5;
inline constexpr std::int32_t ckStarts = 6;
inline constexpr std::int32_t ckNotStarts = 7;
inline constexpr std::int32_t ckEnds = 8;
inline constexpr std::int32_t ckNotEnds = 9;
inline constexpr std::int32_t ckContains = 10;
inline constexpr std::int32_t ckNotContains = 11;
inline constexpr std::int32_t ckPattern = 12;
inline constexpr std::int32_t ckNotPattern = 13;
inline constexpr std::int32_t ckNull = 14;
inline constexpr std::int32_t ckNotNull = 15;

// Which of compare key, name and display label were set explicitly.
enum TzvCompareItemValue : std::uint8_t { civCompareKey, civName, civDisplayLabel };
FYNDRA_ENUM_NAMES(TzvCompareItemValue, civCompareKey, civName, civDisplayLabel)
using TzvCompareItemValues = TSet<TzvCompareItemValue>;

// Kinds of pending change gathered by the item collection between notifications.
enum TzvItemUpdateOption : std::uint8_t { ioCreate, ioDestroy, ioCompareKey, ioOptions, ioValue, ioName, ioDataType };
FYNDRA_ENUM_NAMES(TzvItemUpdateOption, ioCreate, ioDestroy, ioCompareKey, ioOptions, ioValue, ioName, ioDataType)
using TzvItemUpdateOptions = TSet<TzvItemUpdateOption>;

// Names the four listener events; a vocabulary type for listeners that want it.
enum TEventType : std::uint8_t { etAdd, etDeleting, etValueChange, etDataTypeChange };

enum TzvItemsOption : std::uint8_t { ioCustom, ioDefault };
FYNDRA_ENUM_NAMES(TzvItemsOption, ioCustom, ioDefault)
enum TzvUpdateLevel : std::uint8_t { ulNone, ulLow, ulHigh };
FYNDRA_ENUM_NAMES(TzvUpdateLevel, ulNone, ulLow, ulHigh)
enum TzvBaseModelStateFlag : std::uint8_t { bsLoading, bsSetItems, bsApplying, bsDisableFullUpdate };
FYNDRA_ENUM_NAMES(TzvBaseModelStateFlag, bsLoading, bsSetItems, bsApplying, bsDisableFullUpdate)
using TzvBaseModelState = TSet<TzvBaseModelStateFlag>;

// How the ends of an index range are applied (read by the index models).
enum TTopBound : std::uint8_t { bnFirst, bnGreaterOrEqual, bnGreater };
enum TBottomBound : std::uint8_t { bnLast, bnLessOrEqual, bnLess };

// ---------------------------------------------------------------------------
// Listener interfaces

// Told about item changes by a TzvCompareItems. Item may be null: several or
// all items changed (a batch). The collection never frees a listener.
class IItemListener : public virtual IInterface {
 public:
  static constexpr TGUID IID{0x9C215033, 0xB6CD, 0x4B39, {0x9F, 0x90, 0xCE, 0xBC, 0x52, 0xF1, 0x96, 0x27}};
  virtual void ItemAdded(TzvCompareItem* Item) = 0;
  // May refuse the deletion (or rename) by throwing; the item then stays.
  virtual void ItemDeleting(TzvCompareItem* Item) = 0;
  virtual void ItemValueChanged(TzvCompareItem* Item) = 0;
  virtual void ItemDataTypeChanged(TzvCompareItem* Item) = 0;

 protected:
  ~IItemListener() = default;
};

class TNode;

// A node of the compiled expression tree. The tree's owner frees it; a parent
// node owns its children.
class TBaseNode {
 public:
  TBaseNode() = default;
  virtual ~TBaseNode() = default;
  TBaseNode(const TBaseNode&) = delete;
  TBaseNode& operator=(const TBaseNode&) = delete;
  virtual bool IsAgree() = 0;
  // The node as an operation over two subtrees; null for a leaf. Walks of the
  // tree use it to descend without recursion.
  virtual TNode* AsNode() noexcept { return nullptr; }
};

// The expression calculator of a model: parses the item expression, keeps the
// compiled tree and evaluates it for the current record.
class IzvCalculateModel : public IItemListener {
 public:
  static constexpr TGUID IID{0xF387793D, 0x3586, 0x4C9F, {0xBA, 0x24, 0x61, 0x7D, 0x11, 0x11, 0x64, 0x3B}};
  // Parses Text; throws EzvBaseModelError and keeps the previous expression
  // and tree when Text is not a valid expression.
  virtual void SetExpression(const std::string& Text) = 0;
  virtual std::string GetExpression() = 0;
  // Rebuilds the tree from the items that are active now.
  virtual void PreCompile() = 0;
  virtual bool Calculate() = 0;
  // The root of the compiled tree, owned by the calculator; never null.
  virtual TBaseNode* GetNode() = 0;

 protected:
  ~IzvCalculateModel() = default;
};

// Creates the expression calculator of Model (defined by the calculator unit,
// core/zvmodelcalculate.cpp). The caller owns the result and frees it with
// Free(); the result implements IzvCalculateModel.
TObjectInterface* zvCreateCalculateModel(TzvBaseModel* Model);

// ---------------------------------------------------------------------------
// Operator base and registry

// A reference to an operator class: a function creating a fresh operator of
// that class (null: no class).
using TzvCompareModelClass = TzvCompareModel* (*)();

// The operator owned by one compare item. It keeps a snapshot of the item's
// value, type and options (taken by DoDataChange), prepares a converted value
// once per change, and answers per record whether the record agrees.
class TzvCompareModel : public TObject {
  FYNDRA_CLASS(TzvCompareModel, TObject)
 public:
  // Refreshes the snapshot from the item, then DataChanged().
  void DoDataChange();

  virtual void DataChanged() {}
  // Unassigned: no bound on this side.
  virtual Variant GetTopBoundValue() { return Variant(); }
  virtual Variant GetBottomBoundValue() { return Variant(); }
  virtual void SetConvertedValue(const Variant& V) { ConvertedValue_ = V; }
  virtual void SetIsConverted(bool B) { IsConverted_ = B; }
  virtual bool IsAgree() = 0;
  virtual std::string GetSqlExpression() { return std::string(); }
  virtual bool IsParam() { return false; }
  // The value the parameter of GetSqlExpression is bound to.
  virtual Variant GetParamValue() { return ConvertedValue_; }

  // The current record's value that the criterion is tested against.
  Variant GetCompareAsVariant() const;
  std::string GetCompareAsString() const;
  std::string GetFieldName() const;
  // "DFyndra_" followed by the item's name.
  std::string GetParamName() const;

  TzvCompareItem* GetItem() const { return Item_; }
  void SetItem(TzvCompareItem* AItem) { Item_ = AItem; }
  const Variant& GetValue() const { return Value_; }
  bool GetCaseInsensitive() const { return CaseInsensitive_; }
  TVarType GetDataType() const { return DataType_; }
  std::int32_t GetDataSize() const { return DataSize_; }
  bool GetIsConverted() const { return IsConverted_; }
  const Variant& GetConvertedValue() const { return ConvertedValue_; }

 protected:
  TzvCompareModel();

  TzvCompareItem* Item_ = nullptr;  // not owned: the item owns this operator
  Variant Value_;
  bool CaseInsensitive_ = false;
  TVarType DataType_ = 0;
  std::int32_t DataSize_ = 0;
  bool IsConverted_ = false;
  Variant ConvertedValue_;
};

// Creates operators of class T for a registry entry: &zvCompareModelClassOf<T>.
template <class T>
TzvCompareModel* zvCompareModelClassOf() {
  return Create<T>();
}

struct TzvCompareModelItem {
  std::string Caption;
  TzvCompareModelClass ModelClass = nullptr;
};

// Maps integer compare keys to operator classes and captions, in insertion
// order. Keys are expected to be unique; the first entry of a key wins.
class TzvCompareModelList : public TPersistent {
  FYNDRA_CLASS(TzvCompareModelList, TPersistent)
 public:
  struct TListItem {
    std::int32_t Key = 0;
    std::string Caption;
    TzvCompareModelClass ModelClass = nullptr;
  };

  void Add(std::int32_t Key, const std::string& Caption, TzvCompareModelClass ModelClass);
  // Index of the first entry with Key, or -1.
  int FindItem(std::int32_t Key) const;
  // Caption and class of the first entry with Key; empty when there is none.
  TzvCompareModelItem Get(std::int32_t Key) const;
  // As Get, and the entry is deleted.
  TzvCompareModelItem Remove(std::int32_t Key);
  void Clear();
  int GetCount() const { return static_cast<int>(List_.size()); }
  // Positional access in insertion order; throws EListError out of range.
  std::int32_t GetKey(int Index) const;
  TzvCompareModelItem GetValue(int Index) const;

 protected:
  TzvCompareModelList() = default;

 private:
  const TListItem& At(int Index) const;
  std::vector<TListItem> List_;
};

// ---------------------------------------------------------------------------
// Compare items

// One criterion: a named, typed value with an operator and options. Lives in
// exactly one TzvCompareItems; created by the collection's Add (or streaming),
// destroyed by deletion from the collection or with the collection.
class TzvCompareItem : public TCollectionItem {
  FYNDRA_CLASS(TzvCompareItem, TCollectionItem)
 public:
  // Runs the creation steps that need virtual dispatch: default options and
  // name, the default operator, and the ioCreate notification.
  void AfterConstruction() override;
  // Tells every listener ItemDeleting first; a listener that throws keeps the
  // item alive (the exception reaches whoever freed the item).
  void BeforeDestruction() override;

  // Refreshes the operator and name that were never set explicitly.
  virtual void UpdateData();
  virtual void LightUpdateData() {}
  virtual std::int32_t DefaultCompareKey();
  virtual TzvCompareItemOptions DefaultOptions();
  virtual std::string DefaultDisplayLabel();
  virtual bool GetActive();
  virtual Variant GetCompareAsVariant() = 0;
  virtual std::string GetCompareAsString() = 0;
  virtual void SetName(const std::string& Text);
  virtual std::string GetName() const;
  virtual void SetFieldName(const std::string& Text);
  virtual std::string GetFieldName();
  virtual std::string DefaultName();

  std::string GetDisplayName() const override;
  // Copies another compare item: options, the explicitly set label, key and
  // name, and the value.
  void Assign(TPersistent* Source) override;

  // Operator
  std::int32_t GetCompareKey() const { return CompareKey_; }
  void SetCompareKey(std::int32_t Key) { SetPrivateCompareKey(Key, true); }
  bool IsCompareKeyStored();
  TzvCompareModel* GetCompareModel() const { return CompareModel_.get(); }

  // Options
  TzvCompareItemOptions GetOptions() const { return Options_; }
  void SetOptions(TzvCompareItemOptions NewSet);
  bool IsOptionsStored();

  // Labels and names
  std::string GetDisplayLabel();
  void SetDisplayLabel(const std::string& Text);
  bool IsDisplayLabelStored();
  std::string GetDefaultName();
  std::string CalculateDefaultName(const std::string& Base, int N);
  // Whether another item of the collection bears Text, ignoring case.
  bool CheckDuplicateName(const std::string& Text);

  // Values
  const Variant& GetAsVariant() const { return Value_; }
  void SetAsVariant(const Variant& V) { InternalSetValue(V, false); }
  std::string GetAsString() const;
  void SetAsString(const std::string& S);
  std::string GetValue() const { return GetAsString(); }
  void SetValue(const std::string& S) { SetAsString(S); }
  TDateTime GetAsDateTime() const;
  void SetAsDateTime(TDateTime V);
  std::int64_t GetAsLargeint() const;
  void SetAsLargeint(std::int64_t V);
  std::int32_t GetAsInteger() const;
  void SetAsInteger(std::int32_t V);
  bool GetAsBoolean() const;
  void SetAsBoolean(bool V);
  double GetAsFloat() const;
  void SetAsFloat(double V);
  Currency GetAsCurrency() const;
  void SetAsCurrency(Currency V);
  TBcd GetAsBCD() const;
  void SetAsBCD(const TBcd& V);
  // Stores V (converted to DataType when ciConvertValue is set); unless
  // Force, a value the same as the current one is ignored.
  void InternalSetValue(const Variant& V, bool Force);
  bool IsEmpty() const;

  // Data type
  TVarType GetDataType() const { return DataType_; }
  std::int32_t GetDataSize() const { return DataSize_; }
  // Never throws: a value that does not convert to the new type becomes Null.
  void SetDataType(TVarType DataType, std::int32_t DataSize);

  // Does the current record agree with this criterion.
  bool IsAgree() { return CompareModel_->IsAgree(); }
  // True while a rename is being announced to the listeners (as a deletion
  // under the old name): the item itself stays.
  bool IsRenaming() const { return Renaming_; }

  TzvCompareItemValues GetAssignedValues() const { return AssignedValues_; }
  void IncludeAssignedValues(TzvCompareItemValue V);
  // Records Option as pending and lets the collection notify (unless a batch is open).
  void CompareItemChanged(TzvItemUpdateOption Option);

  TzvBaseModel* GetModel() const { return Model_; }
  TzvCompareItems* GetCompareItems() const;

 protected:
  explicit TzvCompareItem(TCollection* Collection);

  void SetPrivateName(const std::string& Text, bool ByUser);
  void SetPrivateCompareKey(std::int32_t Key, bool ByUser);
  // Replaces the operator by a fresh one of the class registered for Key;
  // throws (changing nothing) when the key is not registered.
  void SetCompareModel(std::int32_t Key);
  bool ModelLoading() const;

 private:
  // Value converted as InternalSetValue would store it; throws SInvalidItemValue.
  Variant ConvertValue(const Variant& V, TzvCompareItemOptions Options) const;

  TzvCompareItemValues AssignedValues_;
  bool Renaming_ = false;
  TzvBaseModel* Model_ = nullptr;
  std::int32_t CompareKey_ = 0;
  Variant Value_;
  std::string Name_;
  TOwned<TzvCompareModel> CompareModel_;
  TzvCompareItemOptions Options_;
  TVarType DataType_ = 0;
  std::int32_t DataSize_ = 0;
  std::string DisplayLabel_;
  // Set once the listeners were told that the item is being freed, so that
  // leaving the collection does not tell them again.
  bool DeletionAnnounced_ = false;

  friend class TzvCompareItems;  // moves an item's model along with it
};

// The items of a model and the event hub of the core: item changes are
// gathered as pending UpdateOptions and announced once per change or batch.
class TzvCompareItems : public TCollection {
  FYNDRA_CLASS(TzvCompareItems, TCollection)
 public:

  TzvCompareItem* GetItem(int Index) const;
  void SetItem(int Index, TzvCompareItem* Item);
  TzvCompareItem* Add();

  // First item whose name equals Text ignoring case, or null.
  TzvCompareItem* FindItem(const std::string& Text) const;
  // As FindItem; throws SItemNotFound (prefixed by the model's name) when absent.
  TzvCompareItem* FindByName(const std::string& Text) const;

  // Not owned; registering twice registers once.
  void AddItemListener(IItemListener* L);
  void RemoveItemListener(IItemListener* L);
  int ListenerCount() const { return static_cast<int>(Listeners_.size()); }

  virtual void FireItemEvent(TzvCompareItem* Item);
  void FireItemDeleting(TzvCompareItem* Item);
  void FireItemDataTypeChanged(TzvCompareItem* Item);
  // Sets every value to Null in one batch.
  void ClearValues();

  TzvItemUpdateOptions GetUpdateOptions() const { return UpdateOptions_; }
  void IncludeUpdateOption(TzvItemUpdateOption Option) { UpdateOptions_.Include(Option); }
  TzvBaseModel* GetModel() const { return Owner_; }

  TPersistent* GetOwner() override;
  // Frees the items; while the collection goes, listeners are told of each
  // deletion but can no longer refuse it.
  void BeforeDestruction() override;

 protected:
  // The model (not owned) and the class of the items to create.
  TzvCompareItems(TzvBaseModel* Model, TCollectionItemClass ItemClass);
  void Update(TCollectionItem* Item) override;
  // An item that leaves alive (moved to another collection or out of any)
  // is announced to the listeners as deleted, as a freed one is: none may
  // keep it, and one may refuse. An item moved in belongs to this model.
  void Notify(TCollectionItem* Item, TCollectionNotification Action) override;

 private:
  // Calls F on every listener still registered, in registration order; a
  // listener removed by an earlier call is skipped.
  template <class F>
  void ForEachListener(F&& Call);

  TzvBaseModel* Owner_ = nullptr;
  std::vector<IItemListener*> Listeners_;
  TzvItemUpdateOptions UpdateOptions_;
  bool Destroying_ = false;
};

// ---------------------------------------------------------------------------
// Model options and the base model

class TzvModelOptions : public TPersistent {
  FYNDRA_CLASS(TzvModelOptions, TPersistent)
 public:
  bool GetAutoUpdate() const { return AutoUpdate_; }
  void SetAutoUpdate(bool V) { AutoUpdate_ = V; }
  bool GetChangeCursor() const { return ChangeCursor_; }
  void SetChangeCursor(bool V) { ChangeCursor_ = V; }
  TzvBaseModel* GetModel() const { return Model_; }

  void Assign(TPersistent* Source) override;
  TPersistent* GetOwner() override;

 protected:
  explicit TzvModelOptions(TzvBaseModel* Model);

 private:
  TzvBaseModel* Model_ = nullptr;
  bool AutoUpdate_ = true;
  bool ChangeCursor_ = true;
};

// The component at the centre of the core. Abstract: descendants supply the
// item collection, the operator registry and InternalApply.
class TzvBaseModel : public TComponent {
  FYNDRA_CLASS(TzvBaseModel, TComponent)
 public:
  // Creates items, registry, options (in that order, through the factories of
  // the most derived class) and the calculator, registered as first listener.
  void AfterConstruction() override;
  ~TzvBaseModel() override;

  // Refreshes every operator's prepared value, then recompiles the expression.
  virtual void UpdateDataBeforeApply();
  virtual void SetItems();
  virtual void SetDefaultItemsData() {}
  // True unless the model is loading.
  virtual bool GetActive();
  // Called by the items after every notified change; applies with AutoUpdate.
  virtual void UpdateItem(TzvCompareItem* Item);

  // Refreshes what changed and runs InternalApply; false when inactive.
  bool Apply();
  // Does the current record agree with the compiled expression.
  bool CheckItems();

  void SetItemsData();
  void SetLightItemsData();

  TzvCompareItems* GetCompareItems() const { return CompareItems_.get(); }
  // Copies the items of Value (streaming and Assign).
  void SetCompareItems(TzvCompareItems* Value);
  bool IsCompareItemsStored() const { return ItemsOption_ == ioCustom; }
  TzvItemsOption GetItemsOption() const { return ItemsOption_; }
  void SetItemsOption(TzvItemsOption Value);
  std::string GetExpression();
  void SetExpression(const std::string& Text);

  TzvCompareModelList* GetCompareModelList() const { return CompareModelList_.get(); }
  TzvModelOptions* GetOptions() const { return Options_.get(); }
  TzvUpdateLevel GetUpdateLevel() const { return UpdateLevel_; }
  void SetUpdateLevel(TzvUpdateLevel Level) { UpdateLevel_ = Level; }
  TzvBaseModelState GetState() const { return State_; }
  IzvCalculateModel* GetCalculateModel() const { return CalculateModelIntf_; }
  int GetDisableFullUpdateCount() const { return DisableFullUpdateCount_; }

  void DisableFullUpdate();
  void EnableFullUpdate();

 protected:
  explicit TzvBaseModel(TComponent* Owner);

  // After streaming: builds the items once (SetItems) with bsLoading set.
  void Loaded() override;
  virtual bool InternalApply() = 0;
  // Factories, called once from AfterConstruction; each returns its product
  // (owned by the model from then on) through its argument.
  virtual void CreateCompareModelList(TzvCompareModelList*& List) = 0;
  virtual void CreateCompareItems(TzvCompareItems*& Items) = 0;
  virtual void CreateOptions(TzvModelOptions*& Options);

  void IncludeModelState(TzvBaseModelStateFlag Flag) { State_.Include(Flag); }
  void ExcludeModelState(TzvBaseModelStateFlag Flag) { State_.Exclude(Flag); }

 private:
  TOwned<TzvCompareItems> CompareItems_;
  TzvItemsOption ItemsOption_ = ioDefault;
  TOwned<TzvCompareModelList> CompareModelList_;
  TOwned<TzvModelOptions> Options_;
  TzvUpdateLevel UpdateLevel_ = ulNone;
  TOwned<TObjectInterface> CalculateModel_;
  IzvCalculateModel* CalculateModelIntf_ = nullptr;  // face of CalculateModel_
  TzvBaseModelState State_;
  std::int32_t DisableFullUpdateCount_ = 0;
};

}  // namespace fyndra
