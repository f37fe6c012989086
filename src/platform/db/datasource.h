// Data sources and data links: how controls and models follow a dataset.
//
// A TDataSource (a component) connects any number of TDataLink objects to one
// dataset. It does not own the dataset; the dataset tells its sources when it
// is freed. A TDataLink belongs to whoever made it (a control, a model) and
// leaves its data source when freed. Links receive, through virtual methods:
//   ActiveChanged     the dataset opened or closed, or the link moved to
//                     another data source or dataset
//   LayoutChanged     the field list changed (default: DataSetChanged)
//   DataSetChanged    the data or the position changed in more than one step
//   DataSetScrolled   the dataset moved by Distance records (default: DataSetChanged)
//   RecordChanged     a field of the current record (or the whole record: null) changed
//   EditingChanged    the dataset entered or left edit/insert mode
//   UpdateData        a post is about to happen: write pending edits now
//   CheckBrowseMode   the dataset is about to leave the current record
#pragma once

#include <string>
#include <vector>

#include <fyndra/platform/classes/classes.h>
#include <fyndra/platform/classes/events.h>
#include <fyndra/platform/db/dataset.h>

namespace fyndra {

class TDataLink;

class TDataSource : public TComponent {
  FYNDRA_CLASS(TDataSource, TComponent)

 public:
  TDataSet* GetDataSet() const { return DataSet_; }
  void SetDataSet(TDataSet* Value);
  bool GetEnabled() const { return Enabled_; }
  void SetEnabled(bool Value);
  // The dataset's state as the links see it: dsInactive without a dataset or
  // while disabled.
  TDataSetState GetState() const { return State_; }
  TDataSetState State() const { return State_; }
  // Whether the dataset is in edit or insert mode.
  bool IsEditing() const { return State_ == dsEdit || State_ == dsInsert; }
  // Puts the dataset in edit mode when it is browsing.
  void Edit();

  TNotifyEvent OnStateChange, OnDataChange, OnUpdateData;

 public:
  void BeforeDestruction() override;

 protected:
  explicit TDataSource(TComponent* Owner);

 public:
  ~TDataSource() override;

 private:
  friend class TDataSet;
  friend class TDataLink;
  void DataEvent(TDataEvent Event, std::intptr_t Info);
  void UpdateState();
  void Detach();  // the dataset is going away
  TDataSet* DataSet_ = nullptr;
  std::vector<TDataLink*> Links_;
  TDataSetState State_ = dsInactive;
  bool Enabled_ = true;
};

class TDataLink : public TObject {
  FYNDRA_CLASS(TDataLink, TObject)

 public:
  TDataSource* GetDataSource() const { return DataSource_; }
  void SetDataSource(TDataSource* Value);
  // Null without a data source.
  TDataSet* GetDataSet() const { return DataSource_ ? DataSource_->GetDataSet() : nullptr; }
  TDataSet* DataSet() const { return GetDataSet(); }
  bool GetActive() const { return Active_; }
  bool Active() const { return Active_; }
  bool GetEditing() const { return Editing_; }
  bool GetReadOnly() const { return ReadOnly_; }
  void SetReadOnly(bool Value);
  // Puts the dataset in edit mode; false when it cannot be.
  bool Edit();
  // Writes pending edits (UpdateData) unless that is already happening.
  void UpdateRecord();

 public:
  void BeforeDestruction() override;

 protected:
  TDataLink() = default;

 public:
  ~TDataLink() override;

 protected:

  virtual void ActiveChanged() {}
  virtual void CheckBrowseMode() {}
  virtual void DataSetChanged() {}
  virtual void DataSetScrolled(int /*Distance*/) { DataSetChanged(); }
  virtual void EditingChanged() {}
  virtual void FocusControl(TField** /*Field*/) {}
  virtual void LayoutChanged() { DataSetChanged(); }
  virtual void RecordChanged(TField* /*Field*/) {}
  virtual void UpdateData() {}
  // The link now reaches another dataset (or none) through its data source;
  // called after ActiveChanged, also when the open state stayed the same (a
  // closed dataset replaced by another), for links that remember their
  // dataset. Nothing by default.
  virtual void DataSetReplaced() {}

 private:
  friend class TDataSource;
  void DataEvent(TDataEvent Event, std::intptr_t Info);
  void UpdateState();
  TDataSource* DataSource_ = nullptr;
  bool Active_ = false, Editing_ = false, ReadOnly_ = false, Updating_ = false;
};

// A link to one field by name, for controls that show and edit one value.
class TFieldDataLink : public TDataLink {
  FYNDRA_CLASS(TFieldDataLink, TDataLink)

 public:
  const std::string& GetFieldName() const { return FieldName_; }
  void SetFieldName(const std::string& Value);
  // The field of that name while the link is active; null otherwise (also
  // for a name the dataset does not have).
  TField* GetField() const { return Field_; }
  // Whether the control changed its value since the record was shown.
  bool GetModified() const { return Modified_; }
  void Modified() { Modified_ = true; }
  void Reset();  // shows the record's value again (OnDataChange)
  bool CanModify() const;

  TNotifyEvent OnDataChange, OnEditingChange, OnUpdateData, OnActiveChange;

 protected:
  TFieldDataLink() = default;
  void ActiveChanged() override;
  // The record moved or the data was read again: shown as a record change.
  void DataSetChanged() override;
  void EditingChanged() override;
  void LayoutChanged() override;
  void RecordChanged(TField* Field) override;
  void UpdateData() override;

 private:
  void UpdateField();
  std::string FieldName_;
  TField* Field_ = nullptr;
  bool Modified_ = false;
};

}  // namespace fyndra
