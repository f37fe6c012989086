// The model bound to a dataset: field items that name dataset fields and take
// their types from them, the data link through which the model follows its
// dataset (opening, closing, layout and data changes), the dataset adapter that
// tells what a dataset family offers (index, key search, ranges, SQL text), the
// index models that turn the compiled expression into key ranges, the find
// model that moves the dataset to the first or next matching record, and the
// filter model that restricts the dataset to the matching records, by its own
// filter and a range or by rewriting a query's WHERE clauses. The unit's
// source is split by concern: zvdbbasemodel.cpp (items, link, adapter, index
// models, find), zvdbbasemodel_filter.cpp and zvdbbasemodel_sql.cpp.
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
#include <string_view>
#include <utility>
#include <vector>

#include <fyndra/core/zvbasemodel.h>
#include <fyndra/platform/classes/classes.h>
#include <fyndra/platform/classes/typinfo.h>
#include <fyndra/platform/db/dataset.h>
#include <fyndra/platform/db/datasource.h>
#include <fyndra/platform/db/fields.h>
#include <fyndra/platform/db/indexdefs.h>

namespace fyndra {

// The order of two key values in an index (TzvDBIndexModel::CompareValue).
enum TzvKeyOrder : int { koEqual = 0, koBefore = 1, koAfter = 2 };

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
  // A closed dataset replaced by another changes no open state: the switch
  // is followed here as ActiveChanged would follow it.
  void DataSetReplaced() override;

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
  // Orders two values of the text key field Def as the dataset's index does:
  // <0, 0, >0. Here the order the client dataset keeps its indexes in: a
  // case-sensitive key by AnsiCompareStr, which the case-sensitive record
  // tests compare by; a case-insensitive one by the upper-case forms
  // (AnsiCompareUpperText).
  virtual int CompareKeyText(const TIndexFieldDef& Def, const std::string& A, const std::string& B);
  // Whether the range that Item's operator gives on the text key field Def
  // holds every record the operator agrees with, in the dataset's order.
  // Here, in the order of CompareKeyText: every range on a case-sensitive
  // key, and the ranges of IsUpperOrderRangeSound on a case-insensitive one.
  virtual bool IsTextRangeSound(const TIndexFieldDef& Def, TzvCompareItem* Item);
  // A find's walk rejected the current record: moves towards the next record
  // that may agree, passing over only records that the criteria behind the
  // index model's bounds refuse (those bounds hold for every record that
  // agrees). True when it moved (to such a record, or past the last);
  // false when the family cannot, and the walk then takes the next record.
  virtual bool SkipToCandidate(TzvDBIndexModel& /*Index*/) { return false; }

  TzvDBBaseModel* GetModel() const { return Model_; }
  TDataSet* GetDataSet() const;
  // The key fields of the model's index model.
  int GetCount() const;
  const TIndexFieldDef& GetItem(int Index) const;

 protected:
  explicit TzvExtDataSetModel(TzvDBBaseModel* Model) : Model_(Model) {}

  // ---- helpers of the family adapters
  // The key search of a family with SetKey, GotoKey and GotoNearest: the
  // leading key fields take KeyValues (a scalar for one field, an array for
  // several), every further key field Null; Exact asks GotoKey, otherwise
  // GotoNearest (and the answer is true). A value that does not fit leaves
  // the key state before the error passes on.
  template <class TKeyed>
  bool FindRecordByKey(TKeyed& DataSet, const Variant& KeyValues, bool Exact);
  // The start and end arrays of SetRange as the vectors of a family's
  // SetRange: one entry per start value, Empty where a bound is open.
  static void RangeValues(const Variant& StartValues, const Variant& EndValues, std::vector<Variant>& Start,
                          std::vector<Variant>& End);
  // Replaces the lines of a query's SQL by Text, broken at the line breaks
  // that stand outside quoted texts and names, so that a value's own line
  // breaks stay in its literal unchanged.
  static void AssignSQLText(TStrings* SQL, const std::string& Text);
  // For engines that order text by its bytes (and fold ASCII letters only
  // for a case-insensitive key): a range holds every match only for an
  // exact or a prefix criterion compared case-sensitively on a
  // case-sensitive key. Locale rules (accents, Unicode case mapping, ignored
  // characters) do not follow byte order.
  static bool IsByteOrderRangeSound(const TIndexFieldDef& Def, TzvCompareItem* Item);
  // For a key in the order of upper-case forms (AnsiCompareUpperText): the
  // case-insensitive record tests compare the upper case of what was typed
  // with a record's, so the records equal to a criterion ignoring case are
  // among the keys equal to it, and those that begin with it among the keys
  // between it and it padded with the highest character. The ordered
  // comparisons order the texts themselves ("ırmak" after "IZ", whose upper
  // case "IRMAK" is before), which that order does not follow: only equal
  // and prefix criteria ignoring case give sound ranges.
  static bool IsUpperOrderRangeSound(TzvCompareItem* Item);
  // Orders two texts as an engine that orders text by its bytes does (and,
  // with FoldAscii, folds ASCII letters to lower case first): <0, 0, >0.
  // The bytes DEL and FF, with which a prefix range's end is padded, read as
  // higher than every byte of a text.
  static int CompareTextBytes(std::string_view A, std::string_view B, bool FoldAscii);

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
  // Every name of such a list, in order.
  static std::vector<std::string> SplitFieldNames(const std::string& List);
  // Where A sorts against B in the key's order.
  TzvKeyOrder CompareValue(const TIndexFieldDef& Def, const Variant& A, const Variant& B) const;
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
  // After the current record was rejected: the next record to test.
  void NextCandidate();

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

// ---------------------------------------------------------------------------
// Filter model (zvdbbasemodel_filter.cpp; the SQL rewriting in
// zvdbbasemodel_sql.cpp)

class TzvFilterOptions : public TzvModelOptions {
  FYNDRA_CLASS(TzvFilterOptions, TzvModelOptions)
 public:
  bool GetIndexRange() const { return IndexRange_; }
  // Switches the model's index model along and applies the model when that
  // changes what its dataset can be restricted to.
  void SetIndexRange(bool Value);
  bool GetSQLWhere() const { return SQLWhere_; }
  // Applies the model when its dataset is a query whose SQL it may rewrite.
  void SetSQLWhere(bool Value);

  void Assign(TPersistent* Source) override;

 protected:
  explicit TzvFilterOptions(TzvBaseModel* Model) : TzvModelOptions(Model) {}

 private:
  bool IndexRange_ = true;
  bool SQLWhere_ = true;
};

// The model whose apply restricts its dataset to the matching records. It
// picks one of two means on every apply:
//  - SQL: when Options.SQLWhere is on and the adapter offers dsSQL, the
//    criteria become a condition with bound "DFyndra_" parameters in the WHERE
//    clause of every SELECT of the query's text, and the query is reopened;
//    CurrentWhereClause remembers the inserted text so that the next apply
//    replaces it and an application's own condition is kept beside it;
//  - standard: the dataset's own filter (Filtered and OnFilterRecord, pointed
//    at FilterRecord) plus, where the adapter offers it, an index range.
// While applied, the model owns the dataset's Filtered, OnFilterRecord, range
// and generated condition; leaving the dataset (another dataset, another data
// source, the model's end) undoes them. An application's own record test goes
// into the model's OnFilterRecord, which FilterRecord consults first.
class TzvCustomDBFilterModel : public TzvDBBaseModel {
  FYNDRA_CLASS(TzvCustomDBFilterModel, TzvDBBaseModel)
 public:
  void AfterConstruction() override;
  // Leaves the data source, which undoes what the model did to its dataset
  // (OldActiveChanged) while both are still whole.
  void BeforeDestruction() override;
  ~TzvCustomDBFilterModel() override;

  bool GetFiltered() const { return Filtered_; }
  // Ignored while the model applies itself; re-applies when the value changes
  // or when the dataset's own Filtered was changed behind the model.
  void SetFiltered(bool Value);
  TzvFilterOptions* GetOptions() const { return static_cast<TzvFilterOptions*>(TzvBaseModel::GetOptions()); }
  // Copies Value into the model's own options object.
  void SetOptions(TzvFilterOptions* Value);
  const TFilterRecordEvent& GetOnFilterRecord() const { return OnFilterRecord_; }
  void SetOnFilterRecord(const TFilterRecordEvent& Value) { OnFilterRecord_ = Value; }
  TzvFilterIndexModel* GetFilterIndexModel() const { return static_cast<TzvFilterIndexModel*>(GetIndexModel()); }

  // Whether the SQL means is in use: the option is on and the dataset takes SQL.
  bool IsSQLWhere();
  // The dataset's Filtered and OnFilterRecord. The dataset is the linked one
  // (during OldActiveChanged still the one being left).
  virtual bool GetDataSetFiltered();
  virtual void SetDataSetFiltered(bool Value);
  virtual void SetDataSetOnFilterRecord(const TFilterRecordEvent& Handler);

  // The record test installed as the dataset's OnFilterRecord: the
  // application's test first, the criteria only for records it accepts.
  void FilterRecord(TDataSet* DataSet, bool& Accept);

  // Operators or the item set changed: applies even without AutoUpdate.
  void UpdateItem(TzvCompareItem* Item) override;
  // Undoes the filter event, Filtered and range, or the generated condition,
  // on the dataset being left.
  void OldActiveChanged() override;
  // Follows an application that switches the dataset's Filtered directly.
  void DataSetChanged() override;
  // Streams CurrentWhereClause (written only when not empty).
  void DefineProperties(TFiler* Filer) override;

  // ---- SQL rewriting
  // The condition text last inserted into the query; empty when none.
  const std::string& GetCurrentWhereClause() const { return CurrentWhereClause_; }
  // The condition text of a subtree of the compiled expression. Appends every
  // item whose fragment uses a parameter to the parameter list, in text order.
  std::string GetWhere(TBaseNode* Node);
  // Sets the parameters of the items in the parameter list.
  void SetParamsValue();
  // Rewrites SQL for the condition Where (empty: remove the remembered one)
  // and remembers Where as CurrentWhereClause.
  void UpdateWhereClause(std::string& SQL, const std::string& Where);
  // The rewriting of the outer SELECT of SQL and, through recursion, of the
  // SELECTs that follow it after UNION; Nested rewrites only what follows
  // the first UNION.
  std::string SubSQLUpdateWhereClause(const std::string& SQL, const std::string& Where, bool Nested);
  const std::vector<TzvCompareItem*>& GetParamItems() const { return ParamItems_; }
  const std::string& GetWherePrefix() const { return WherePrefix_; }
  const std::string& GetWhereSuffix() const { return WhereSuffix_; }

 protected:
  explicit TzvCustomDBFilterModel(TComponent* Owner) : TzvDBBaseModel(Owner) {}
  void CreateOptions(TzvModelOptions*& Options) override;
  bool InternalApply() override;
  // The standard means: filter event, index range, Filtered, first record.
  void SetStandardFilter();
  // The SQL means. A failure puts back the query's previous text, parameters
  // and CurrentWhereClause, reopens the query, and passes the error on.
  void SetSQLFilter();

 private:
  // Takes the remembered condition out of the linked query's text.
  void RemoveWhereClause();
  void RestoreQuery(const std::string& SQL);

  bool Filtered_ = false;
  TFilterRecordEvent OnFilterRecord_;
  std::string CurrentWhereClause_;
  std::string WherePrefix_;
  std::string WhereSuffix_;
  std::vector<TzvCompareItem*> ParamItems_;  // not owned; empty between applies
  // The parameters that the query in force was opened with.
  std::vector<std::pair<std::string, Variant>> AppliedParams_;
};

// The filter component for any dataset that publishes Filtered and
// OnFilterRecord: it reaches them by name through the type information, so a
// dataset class without them is simply not filtered. Plain adapter: no index
// range, no SQL.
class TzvDBFilterModel : public TzvCustomDBFilterModel {
  FYNDRA_CLASS(TzvDBFilterModel, TzvCustomDBFilterModel)
 public:
  // Looks the two properties up on the data link's dataset.
  void UpdateTypeInfo();
  void LayoutChanged() override;
  void ActiveChanged() override;
  void OldActiveChanged() override;
  bool GetDataSetFiltered() override;
  void SetDataSetFiltered(bool Value) override;
  void SetDataSetOnFilterRecord(const TFilterRecordEvent& Handler) override;
  void SetDataSetOnFilterRecordByPropInfo(TDataSet* DataSet, PPropInfo Info, const TFilterRecordEvent& Handler);
  PPropInfo GetFilteredPropInfo() const { return FilteredPropInfo_; }
  PPropInfo GetOnFilterRecordPropInfo() const { return OnFilterRecordPropInfo_; }

 protected:
  explicit TzvDBFilterModel(TComponent* Owner) : TzvCustomDBFilterModel(Owner) {}

 private:
  PPropInfo FilteredPropInfo_ = nullptr;
  PPropInfo OnFilterRecordPropInfo_ = nullptr;
};

// ---------------------------------------------------------------------------
// Templates

template <class TKeyed>
bool TzvExtDataSetModel::FindRecordByKey(TKeyed& DataSet, const Variant& KeyValues, bool Exact) {
  const int High = VarIsArray(KeyValues) ? VarArrayHighBound(KeyValues, 1) : 0;
  DataSet.SetKey();
  try {
    for (int i = 0; i <= High && i < GetCount(); ++i)
      GetItem(i).Field->SetAsVariant(VarIsArray(KeyValues) ? KeyValues[i] : KeyValues);
    for (int i = High + 1; i < GetCount(); ++i) GetItem(i).Field->SetAsVariant(Null());
  } catch (...) {
    DataSet.Cancel();
    throw;
  }
  if (Exact) return DataSet.GotoKey();
  DataSet.GotoNearest();
  return true;
}

// Raises message 65514 ("'%s' is not descendant of %s component") with the
// model's name prefix when the model's dataset is not a TFamily; FamilyText
// names the family. The CheckDataSet of a family's find and filter components.
template <class TFamily>
void zvCheckDataSetFamily(TzvDBBaseModel* Model, const std::string& FamilyText) {
  TDataSet* DataSet = Model->GetDataLink() ? Model->GetDataLink()->GetDataSet() : nullptr;
  if (DataSet && !dynamic_cast<TFamily*>(DataSet))
    zvBaseModelErrorFmt(LoadResString(SIsNotDataSet), {Variant(DataSet->GetName()), Variant(FamilyText)}, Model);
}

}  // namespace fyndra
