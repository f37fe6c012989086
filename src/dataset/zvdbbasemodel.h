// The model bound to a dataset: field items that name dataset fields and take
// their types from them, the data link through which the model follows its
// dataset (opening, closing, layout and data changes), the dataset adapter that
// tells what a dataset family offers (index, key search, ranges, SQL text), the
// index models that turn the compiled expression into key ranges, and the find
// model that moves the dataset to the first or next matching record.
//
// Ownership: a TzvDBBaseModel owns its data link, its adapter (made by the
// overridable CreateExtDataSetModel), its index model (made by the find or
// filter model) and a one-record model dataset with an internal data source
// over it; all are freed with the model. Field items point at the dataset's
// TField objects without owning them; the model refreshes those pointers
// whenever the dataset opens, closes or changes its fields. The dataset and the
// data source belong to the application: the model only links to them and
// forgets them when they are freed (free notification).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <fyndra/core/zvbasemodel.h>
#include <fyndra/platform/classes/classes.h>
#include <fyndra/platform/db/dataset.h>
#include <fyndra/platform/db/datasource.h>
#include <fyndra/platform/db/fields.h>
#include <fyndra/platform/db/indexdefs.h>

namespace fyndra {

class TzvDBBaseModel;
class TzvDBIndexModel;
class TzvExtDataSetModel;
class TzvModelDataSet;

// ---------------------------------------------------------------------------
// Field types

// Whether a field of this type holds text (ftString, ftMemo, ftFmtMemo,
// ftFixedChar, ftWideString).
bool DataTypeIsStr(TFieldType DataType);
// The item data type of a field type; varEmpty for types an item cannot hold.
TVarType FieldTypeToVarType(TFieldType DataType);
// The item data size of a field: 0 without a field and for fixed-size types,
// otherwise the field's DataSize.
std::int32_t FieldItemDataSize(const TField* Field);

// ---------------------------------------------------------------------------
// Field items

// A compare item that names a field of the model's dataset. Its data type and
// size follow the field; its record value is the field's current value.
class TzvFieldItem : public TzvCompareItem {
  FYNDRA_CLASS(TzvFieldItem, TzvCompareItem)
 public:
  void SetFieldName(const std::string& Text) override;
  std::string GetFieldName() override;
  std::string DefaultName() override;
  std::string DefaultDisplayLabel() override;
  // Finds the field again (only while the model is active) and takes its
  // type when the field changed; then the compare item's own refresh.
  void UpdateData() override;
  // Finds the field again without any activity test and keeps the type.
  void LightUpdateData() override;
  bool GetActive() override;
  // The current record's value (Null without a field).
  Variant GetCompareAsVariant() override;
  std::string GetCompareAsString() override;

  // The dataset field of FieldName, or null; not owned.
  TField* GetField() const { return Field_; }
  // The model as a dataset-bound model (null in a foreign collection).
  TzvDBBaseModel* GetDBModel() const;

 protected:
  explicit TzvFieldItem(TCollection* Collection) : TzvCompareItem(Collection) {}

 private:
  TDataSet* LinkedDataSet() const;
  std::string FieldName_;
  TField* Field_ = nullptr;
};

// The item collection of a dataset-bound model (items of class TzvFieldItem).
class TzvFieldItems : public TzvCompareItems {
  FYNDRA_CLASS(TzvFieldItems, TzvCompareItems)
 public:
  TzvFieldItem* GetItem(int Index) const { return static_cast<TzvFieldItem*>(TzvCompareItems::GetItem(Index)); }

 protected:
  TzvFieldItems(TzvBaseModel* Model, TCollectionItemClass ItemClass) : TzvCompareItems(Model, ItemClass) {}
};

// ---------------------------------------------------------------------------
// Data link

// Follows the model's data source and reports to the model. LinkedDataSet is
// the dataset seen at the last activation change: while the model is told
// that the link left a dataset (OldActiveChanged), it still names that one.
class TzvDBBaseModelDataLink : public TDataLink {
  FYNDRA_CLASS(TzvDBBaseModelDataLink, TDataLink)
 public:
  TzvDBBaseModel* GetModel() const { return Model_; }
  TDataSet* GetLinkedDataSet() const { return LinkedDataSet_; }

 protected:
  explicit TzvDBBaseModelDataLink(TzvDBBaseModel* Model) : Model_(Model) {}
  void ActiveChanged() override;
  void LayoutChanged() override;
  void DataSetChanged() override;

 private:
  friend class TzvDBBaseModel;
  void SetLinkedDataSet(TDataSet* Value);
  TzvDBBaseModel* Model_;
  TDataSet* LinkedDataSet_ = nullptr;  // not owned; cleared when it is freed
};

// ---------------------------------------------------------------------------
// Dataset-bound model

class TzvDBBaseModel : public TzvBaseModel {
  FYNDRA_CLASS(TzvDBBaseModel, TzvBaseModel)
 public:
  // Builds the link, the model dataset with its data source, then the adapter
  // (through the most derived CreateExtDataSetModel).
  void AfterConstruction() override;
  // Frees index model, link, model dataset, internal data source and adapter,
  // in this order, while the model is still whole.
  void BeforeDestruction() override;
  ~TzvDBBaseModel() override;

  TDataSource* GetDataSource() const;
  void SetDataSource(TDataSource* Value);
  TDataSource* GetInternalDataSource() const { return InternalDataSource_; }
  TzvModelDataSet* GetModelDataSet() const { return ModelDataSet_; }
  TzvExtDataSetModel* GetExtDataSetModel() const { return ExtDataSetModel_.get(); }
  TzvDBIndexModel* GetIndexModel() const { return IndexModel_.get(); }
  TzvDBBaseModelDataLink* GetDataLink() const { return DataLink_.get(); }
  // The dataset the adapter works on (see TzvDBBaseModelDataLink).
  TDataSet* GetLinkedDataSet() const { return DataLink_ ? DataLink_->GetLinkedDataSet() : nullptr; }
  bool GetDataSetActive() const { return DataSetActive_; }
  // The model dataset and its data source are parts of the model, not
  // components of the form: none are streamed as children.
  void GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) override;

  // Active when not loading and the linked dataset is open.
  bool GetActive() override;
  // Opens the model dataset (unless loading), then rebuilds the items.
  void SetItems() override;
  // One item per field of the dataset, in field order (none while inactive).
  void SetDefaultItemsData() override;
  // The base refresh, then the index model's bounds.
  void UpdateDataBeforeApply() override;
  // A new expression reaches the model here without a pending change of the
  // items; the key ranges depend on it, so the next apply computes them again.
  void UpdateItem(TzvCompareItem* Item) override;

  // Dataset notifications, reached through the data link.
  virtual void LayoutChanged();
  virtual void ActiveChanged();
  // The link is leaving the dataset it reported before (still GetLinkedDataSet()).
  virtual void OldActiveChanged() {}
  virtual void DataSetChanged();
  // Raises when the linked dataset is not of the model's family; nothing here.
  virtual void CheckDataSet() {}

 protected:
  explicit TzvDBBaseModel(TComponent* Owner);

  void Loaded() override;
  void Notification(TComponent* Component, TOperation Operation) override;
  void CreateCompareModelList(TzvCompareModelList*& List) override;
  void CreateCompareItems(TzvCompareItems*& Items) override;
  // The adapter of the model's dataset family; the plain adapter here.
  virtual void CreateExtDataSetModel(TzvExtDataSetModel*& Model);
  // Takes ownership of Model (the find or filter model's index model).
  void SetIndexModel(TzvDBIndexModel* Model);
  // Shared step of LayoutChanged and ActiveChanged.
  void InternalChanged();

 private:
  friend class TzvDBBaseModelDataLink;
  // The link moved to another dataset: watch the new one for its freeing.
  void LinkedDataSetChanging(TDataSet* Old, TDataSet* New);
  // The index fields point at the dataset's fields, which a layout change or
  // a close frees: forget them before the items are rebuilt, choose again after.
  void ReindexAfter(void (TzvDBBaseModel::*Step)());

  // Tells the index model of items being deleted, whose bounds it must drop.
  class TIndexItemGuard;

  TOwned<TzvDBBaseModelDataLink> DataLink_;
  std::unique_ptr<TIndexItemGuard> IndexItemGuard_;  // listener of the items
  TzvModelDataSet* ModelDataSet_ = nullptr;      // owned (component owner: this)
  TDataSource* InternalDataSource_ = nullptr;   // owned (component owner: this)
  bool DataSetActive_ = false;
  TOwned<TzvDBIndexModel> IndexModel_;
  TOwned<TzvExtDataSetModel> ExtDataSetModel_;
};

// ---------------------------------------------------------------------------
// Dataset adapter

enum TDataSetSupportedOption : std::uint8_t { dsDefaultIndex, dsMultiCaseInsIndexSearch, dsIndexRange, dsSQL };
FYNDRA_ENUM_NAMES(TDataSetSupportedOption, dsDefaultIndex, dsMultiCaseInsIndexSearch, dsIndexRange, dsSQL)

struct TIndexFieldDef;

// What a dataset family offers, and the few operations that differ between
// families. This base serves any dataset with the generic operations and
// offers no optimisation. Owned by its model. GetDataSet() is null while the
// model has no dataset: the index queries must then answer empty.
class TzvExtDataSetModel : public TObject {
  FYNDRA_CLASS(TzvExtDataSetModel, TObject)
 public:
  virtual bool IsSupported(TDataSetSupportedOption Option);
  // A free-standing copy of the index the dataset is ordered by, or null.
  // REQUIRES: the dataset is open. Never raises for a missing index.
  virtual TOwned<TIndexDef> GetIndexDef();
  virtual TIndexDefs* GetIndexDefs() { return nullptr; }
  virtual std::string GetIndexFieldNames() { return std::string(); }
  virtual std::string GetIndexName() { return std::string(); }
  // Locates the record with KeyValues on the index model's key fields (a
  // scalar for one field, an array for several); Exact false lets the last
  // text key match a prefix.
  virtual bool FindRecord(const Variant& KeyValues, bool Exact);
  // Two arrays of equal length, or two Nulls to remove the range.
  virtual void SetRange(const Variant& /*StartValues*/, const Variant& /*EndValues*/) {}
  virtual void SetQuerySQL(const std::string& /*Text*/) {}
  virtual std::string GetQuerySQL() { return std::string(); }
  virtual void OpenResultQuery() {}
  virtual void CloseResultQuery() {}
  virtual void SetParam(const std::string& /*Name*/, const Variant& /*Value*/) {}

  TzvDBBaseModel* GetModel() const { return Model_; }
  TDataSet* GetDataSet() const;
  // The key fields of the model's index model.
  int GetCount() const;
  const TIndexFieldDef& GetItem(int Index) const;

 protected:
  explicit TzvExtDataSetModel(TzvDBBaseModel* Model) : Model_(Model) {}

 private:
  // Definition whose fields all exist in the dataset; null when not so.
  bool FieldsExist(const TIndexDef* Def) const;
  TzvDBBaseModel* Model_;  // not owned: the model owns the adapter
};

// ---------------------------------------------------------------------------
// Index models

// One key field of the chosen index.
struct TIndexFieldDef {
  TField* Field = nullptr;  // not owned; never null in an index model's list
  bool CaseInsensitive = false;
  bool Descending = false;
};

// The range of one key field: top is the first key value that can match, bottom
// the last, in the index's order. An item is null where the range is open.
struct TIndexFieldBound {
  TzvCompareItem* TopItem = nullptr;     // not owned
  TzvCompareItem* BottomItem = nullptr;  // not owned
  Variant TopValue;
  Variant BottomValue;
};

enum TzvIndexState : std::uint8_t { isNone, isNearest, isExact };
FYNDRA_ENUM_NAMES(TzvIndexState, isNone, isNearest, isExact)

// Learns the index the dataset is ordered by and derives, before each apply,
// the key ranges a matching record can lie in. Owned by its model.
class TzvDBIndexModel : public TObject {
  FYNDRA_CLASS(TzvDBIndexModel, TObject)
 public:
  // Recomputes Bounds, IndexState and KeyValues from the compiled expression.
  virtual void UpdateData();
  // Chooses the index again (key fields from the adapter's index definition).
  virtual void UpdateIndex();
  // Whether the dataset's index changed since the last UpdateIndex.
  virtual bool IsUpdateIndex();
  virtual void SetActive(bool Value);
  bool GetActive() const { return Active_; }

  TDataSet* GetDataSet() const;
  TzvExtDataSetModel* GetExtDataSetModel() const;
  IzvCalculateModel* GetCalculateModel() const;
  TzvDBBaseModel* GetModel() const { return Model_; }
  int GetCount() const { return static_cast<int>(IndexFields_.size()); }
  const TIndexFieldDef& GetItem(int Index) const { return IndexFields_.at(static_cast<std::size_t>(Index)); }
  const std::vector<TIndexFieldBound>& GetBoundsList() const { return Bounds_; }
  TzvIndexState GetIndexState() const { return IndexState_; }
  const Variant& GetKeyValues() const { return KeyValues_; }
  const std::string& GetIndexName() const { return IndexName_; }
  const std::string& GetIndexFieldNames() const { return IndexFieldNames_; }

  // Drops the bounds when Item (any item, when null) supplied one of them:
  // a bound must not outlive its item. The next apply computes them again.
  void ItemDeleting(TzvCompareItem* Item);

  void ClearIndexFields() { IndexFields_.clear(); }
  void ClearIndexBounds();
  void ClearAll();

  // Cuts the next name from a semicolon-separated list starting at Pos;
  // consecutive semicolons are skipped, nothing is trimmed. False (Name
  // empty) when no name is left.
  static bool NextFieldName(const std::string& List, std::size_t& Pos, std::string& Name);
  // 0 when equal, 1 when A sorts before B, 2 when after, in the key's order.
  int CompareValue(const TIndexFieldDef& Def, const Variant& A, const Variant& B) const;
  // The range of key field Def under the current expression tree.
  TIndexFieldBound GetBounds(const TIndexFieldDef& Def);

 protected:
  explicit TzvDBIndexModel(TzvDBBaseModel* Model) : Model_(Model) {}

  // Whether the current record lies before the start of the range, in the
  // index's order (the key fields compared one after another).
  bool RecordBeforeRangeStart();

 private:
  TIndexFieldBound NodeBounds(TBaseNode* Node, const TIndexFieldDef& Def);
  TIndexFieldBound CombineBounds(TNode* Op, const TIndexFieldBound& A, const TIndexFieldBound& B,
                                 const TIndexFieldDef& Def);
  TIndexFieldBound LeafBounds(TzvCompareItem* Item, const TIndexFieldDef& Def);

  std::vector<TIndexFieldDef> IndexFields_;
  std::vector<TIndexFieldBound> Bounds_;
  TzvIndexState IndexState_ = isNone;
  Variant KeyValues_ = Null();
  TzvDBBaseModel* Model_;  // not owned: the model owns its index model
  bool Active_ = false;
  std::string IndexName_;
  std::string IndexFieldNames_;
};

// The index model of a find: jumps to the first candidate and stops the scan
// where the records leave the range.
class TzvFindIndexModel : public TzvDBIndexModel {
  FYNDRA_CLASS(TzvFindIndexModel, TzvDBIndexModel)
 public:
  // Positions the dataset on the first record to test; always true.
  bool GoToFirstRecord(bool Restart);
  // False once the current record lies outside the range.
  bool CheckIndexBounds();

 protected:
  explicit TzvFindIndexModel(TzvDBBaseModel* Model) : TzvDBIndexModel(Model) {}
};

// The index model of a filter: restricts the dataset to the range through
// the adapter, when the adapter can.
class TzvFilterIndexModel : public TzvDBIndexModel {
  FYNDRA_CLASS(TzvFilterIndexModel, TzvDBIndexModel)
 public:
  void UpdateIndex() override;
  bool IsUpdateIndex() override;
  void ApplyRange();
  void CancelRange();
  bool GetRangeApplied() const { return RangeApplied_; }

 protected:
  explicit TzvFilterIndexModel(TzvDBBaseModel* Model) : TzvDBIndexModel(Model) {}

 private:
  bool RangeApplied_ = false;
};

// ---------------------------------------------------------------------------
// Find model

enum TUnlessFoundOption : std::uint8_t { ufLast, ufNotMove };
FYNDRA_ENUM_NAMES(TUnlessFoundOption, ufLast, ufNotMove)

class TzvFindOptions : public TzvModelOptions {
  FYNDRA_CLASS(TzvFindOptions, TzvModelOptions)
 public:
  bool GetRestart() const { return Restart_; }
  void SetRestart(bool Value) { Restart_ = Value; }
  TUnlessFoundOption GetUnlessFoundOption() const { return UnlessFoundOption_; }
  void SetUnlessFoundOption(TUnlessFoundOption Value) { UnlessFoundOption_ = Value; }
  bool GetOptimization() const { return Optimization_; }
  // Switches the model's index model along; does not apply the model.
  void SetOptimization(bool Value);

  void Assign(TPersistent* Source) override;

 protected:
  explicit TzvFindOptions(TzvBaseModel* Model) : TzvModelOptions(Model) {}

 private:
  bool Restart_ = true;
  TUnlessFoundOption UnlessFoundOption_ = ufLast;
  bool Optimization_ = true;
};

class TzvFindMessageOptions : public TPersistent {
  FYNDRA_CLASS(TzvFindMessageOptions, TPersistent)
 public:
  bool GetShowMessage() const { return ShowMessage_; }
  void SetShowMessage(bool Value) { ShowMessage_ = Value; }
  const std::string& GetRecordNotFound() const { return RecordNotFound_; }
  void SetRecordNotFound(const std::string& Value) { RecordNotFound_ = Value; }
  const std::string& GetNextRecordNotFound() const { return NextRecordNotFound_; }
  void SetNextRecordNotFound(const std::string& Value) { NextRecordNotFound_ = Value; }

  void Assign(TPersistent* Source) override;

 protected:
  TzvFindMessageOptions() = default;

 private:
  bool ShowMessage_ = false;
  std::string RecordNotFound_;
  std::string NextRecordNotFound_;
};

// The model whose apply moves the dataset to the first (Restart) or next
// matching record. A new find model has its index model switched on, as its
// Optimization option says.
class TzvCustomDBFindModel : public TzvDBBaseModel {
  FYNDRA_CLASS(TzvCustomDBFindModel, TzvDBBaseModel)
 public:
  void AfterConstruction() override;
  ~TzvCustomDBFindModel() override;

  TzvFindOptions* GetOptions() const { return static_cast<TzvFindOptions*>(TzvBaseModel::GetOptions()); }
  // Copies Value into the model's own options object (the model keeps
  // ownership of its options; the caller keeps Value).
  void SetOptions(TzvFindOptions* Value);
  TzvFindMessageOptions* GetMessageOptions() const { return MessageOptions_.get(); }
  // Copies Value, as SetOptions does.
  void SetMessageOptions(TzvFindMessageOptions* Value);
  TzvFindIndexModel* GetFindIndexModel() const { return static_cast<TzvFindIndexModel*>(GetIndexModel()); }

 protected:
  explicit TzvCustomDBFindModel(TComponent* Owner) : TzvDBBaseModel(Owner) {}
  void CreateOptions(TzvModelOptions*& Options) override;
  bool InternalApply() override;

 private:
  TOwned<TzvFindMessageOptions> MessageOptions_;
};

// The find component for datasets of any family (record-by-record scan).
class TzvDBFindModel : public TzvCustomDBFindModel {
  FYNDRA_CLASS(TzvDBFindModel, TzvCustomDBFindModel)
 protected:
  explicit TzvDBFindModel(TComponent* Owner) : TzvCustomDBFindModel(Owner) {}
};

}  // namespace fyndra
