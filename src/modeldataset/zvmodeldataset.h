// A dataset with exactly one record whose fields are the compare items of a
// dataset-bound model: reading a field reads its item's value, writing a
// field writes the item's value. Ordinary data-aware controls bound to it
// (through the model's internal data source) edit the criteria. Each field
// takes its type, size, edit mask and display formats from the dataset field
// that its item names, so a criterion edits like the column it searches.
//
// Ownership: created and freed by its model (which must be its owner); it
// owns the fields it creates. It listens to the model's items and keeps one
// field per item that has a dataset field; the model registers and removes it
// as listener. It keeps no values of its own: every value lives in an item.
#pragma once

#include <cstdint>
#include <string>

#include <fyndra/core/zvbasemodel.h>
#include <fyndra/platform/db/dataset.h>

namespace fyndra {

class TzvDBBaseModel;
class TzvFieldItem;

class TzvModelDataSet : public TDataSet, public IItemListener {
  FYNDRA_CLASS(TzvModelDataSet, TDataSet)
 public:
  // Raises SZvModelDataSetCreateError unless the owner is a TzvDBBaseModel.
  void AfterConstruction() override;

  // IInterface, without reference counting (the owner frees the dataset).
  std::int32_t QueryInterface(const TGUID& IID, void** Obj) override;
  std::int32_t _AddRef() override { return 0; }
  std::int32_t _Release() override { return 0; }

  // IItemListener: fields follow the items (Item null: all items).
  void ItemAdded(TzvCompareItem* Item) override;
  void ItemDeleting(TzvCompareItem* Item) override;
  void ItemValueChanged(TzvCompareItem*) override {}
  void ItemDataTypeChanged(TzvCompareItem* Item) override;

  // Null (false) for a field whose item is missing or empty.
  bool GetFieldData(TField* Field, void* Buffer) const override;
  // A null Buffer sets the item's value to Null; a field without an item
  // ignores the write.
  void SetFieldData(TField* Field, const void* Buffer) override;
  // Fields and their definitions may change while the dataset is open.
  void CheckInactive() const override {}

  TzvDBBaseModel* GetModel() const { return Model_; }

 protected:
  explicit TzvModelDataSet(TComponent* Owner);

  TRecordBuffer AllocRecordBuffer() override;
  void FreeRecordBuffer(TRecordBuffer& Buffer) override;
  TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) override;
  void InternalOpen() override {}
  void InternalClose() override;
  bool IsCursorOpen() const override { return true; }
  void InternalInitFieldDefs() override;
  void InternalFirst() override { Position_ = TPosition::Before; }
  void InternalLast() override { Position_ = TPosition::After; }
  void InternalSetToRecord(TRecordBuffer) override { Position_ = TPosition::On; }
  // Writes go straight to the items, so there is nothing left to store on Post.
  bool FamilyCanModify() const override { return true; }
  void InternalPost() override {}
  int InternalGetRecordCount() const override { return 1; }
  int InternalGetRecNo() const override { return 1; }

  // Copies the presentation of the dataset field Source to our field Target.
  virtual void AssignField(const TField* Source, TField* Target);

 private:
  enum class TPosition : std::uint8_t { Before, On, After };
  TzvFieldItem* ItemOf(const TField* Field) const;
  // Adds the field of Item when it has a dataset field; true when one was added.
  bool AddItemField(TzvCompareItem* Item);
  void DeleteItemField(TzvCompareItem* Item);
  void FieldsChanged();

  TzvDBBaseModel* Model_ = nullptr;  // the owner
  TPosition Position_ = TPosition::Before;
};

// The field type under which the model dataset presents a dataset field of
// type DataType (memo and fixed-length text become ftString).
TFieldType ModelFieldType(TFieldType DataType);

}  // namespace fyndra
