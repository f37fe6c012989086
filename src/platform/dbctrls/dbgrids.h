// The data grid: shows the records of a dataset as rows, through a data link,
// and follows the dataset's position, filtering and reopening.
//
// The grid never reads a whole table. It keeps a window of rows around the
// current record: after the dataset opens or changes, the current record, a
// few records before it and a page after it; more rows are read at either end
// when the view asks (FetchMore at the bottom, FetchPrior at the top). Each row
// holds its bookmark and its cells' display texts. Reading rows moves the
// dataset with its controls disabled and returns it to its record by bookmark.
//
// Columns: the Columns collection names the fields to show (title and width
// per column); an empty collection shows every visible field of the dataset.
//
// The peer is told what changes (TDBGridPeer): a reset of the whole window,
// rows inserted at either end (before and after, as item views need), and a
// move of the current row. Ownership: the grid owns its link and columns; the
// data source is referenced and forgotten when it goes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <fyndra/platform/classes/classes.h>
#include <fyndra/platform/controls/controls.h>
#include <fyndra/platform/db/datasource.h>

namespace fyndra {

class TCustomDBGrid;

class TColumnTitle : public TPersistent {
  FYNDRA_CLASS(TColumnTitle, TPersistent)
 public:
  TColumnTitle() = default;
  // Empty: the field's display label.
  const std::string& GetCaption() const { return Caption_; }
  void SetCaption(const std::string& Value);
  void Assign(TPersistent* Source) override;
  TNotifyEvent OnChange;

 private:
  std::string Caption_;
};

class TColumn : public TCollectionItem {
  FYNDRA_CLASS(TColumn, TCollectionItem)
 public:
  void AfterConstruction() override;
  const std::string& GetFieldName() const { return FieldName_; }
  void SetFieldName(const std::string& Value);
  TColumnTitle* GetTitle() const { return Title_.get(); }
  void SetTitle(TColumnTitle* Value) { Title_->Assign(Value); }
  // Pixels; 0: from the field's display width.
  std::int32_t GetWidth() const { return Width_; }
  void SetWidth(std::int32_t Value);
  TAlignment GetAlignment() const { return Alignment_; }
  void SetAlignment(TAlignment Value);
  void Assign(TPersistent* Source) override;
  std::string GetDisplayName() const override;

 protected:
  explicit TColumn(TCollection* Collection) : TCollectionItem(Collection) {}

 private:
  void TitleChanged(TObject*) { Changed(false); }
  std::string FieldName_;
  TOwned<TColumnTitle> Title_;
  std::int32_t Width_ = 0;
  TAlignment Alignment_ = taLeftJustify;
};

class TDBGridColumns : public TOwnedCollection {
  FYNDRA_CLASS(TDBGridColumns, TOwnedCollection)
 public:
  TColumn* GetItem(int Index) const { return static_cast<TColumn*>(TCollection::GetItem(Index)); }
  TColumn* Add() { return static_cast<TColumn*>(TCollection::Add()); }

 protected:
  explicit TDBGridColumns(TCustomDBGrid* Grid);
  void Update(TCollectionItem* Item) override;

 private:
  TCustomDBGrid* Grid_;
};

// What the toolkit's grid is told beyond the common peer changes; the grid's
// peer implements it beside TControlPeer.
class TDBGridPeer {
 public:
  virtual ~TDBGridPeer() = default;
  // Around a change of every row and column.
  virtual void BeginReset() = 0;
  virtual void EndReset() = 0;
  // Around Count rows inserted at First (0: before all rows).
  virtual void BeginInsertRows(int First, int Count) = 0;
  virtual void EndInsertRows() = 0;
  // The dataset's current record is now row CurrentRow() (or none).
  virtual void CurrentRowChanged() = 0;
};

struct TGridRow {
  TBookmark Bookmark;
  std::vector<std::string> Cells;
};

class TCustomDBGrid : public TWinControl {
  FYNDRA_CLASS(TCustomDBGrid, TWinControl)
 public:
  void AfterConstruction() override;
  void BeforeDestruction() override;
  ~TCustomDBGrid() override;

  TDataSource* GetDataSource() const;
  void SetDataSource(TDataSource* Value);
  TDBGridColumns* GetColumns() const { return Columns_.get(); }
  void SetColumns(TDBGridColumns* Value) { Columns_->Assign(Value); }
  bool IsColumnsStored() const { return Columns_->Count() > 0; }
  // Rows read per page (at least 1); the first screen reads one page.
  std::int32_t GetPageRows() const { return PageRows_; }
  void SetPageRows(std::int32_t Value);

  // ---- what is shown
  int ColumnCount() const { return static_cast<int>(Fields_.size()); }
  // The field of column Index (null when the dataset has no such field).
  TField* ColumnField(int Index) const { return Fields_.at(std::size_t(Index)); }
  std::string ColumnTitle(int Index) const;
  // Pixels.
  std::int32_t ColumnWidth(int Index) const;
  TAlignment ColumnAlignment(int Index) const;
  int RowCount() const { return static_cast<int>(Rows_.size()); }
  const TGridRow& Row(int Index) const { return Rows_.at(std::size_t(Index)); }
  // The row of the dataset's current record, -1 when none.
  int CurrentRow() const { return CurrentRow_; }
  // Whether the window holds the first / the last record of the dataset.
  bool AtStart() const { return AtStart_; }
  bool AtEnd() const { return AtEnd_; }
  // Rows read from the dataset since the last reset (for tests and tools).
  std::int64_t RowsRead() const { return RowsRead_; }

  // Reads up to Count more rows after the last one / before the first one.
  void FetchMore(int Count);
  void FetchPrior(int Count);
  // Builds the window again around the current record.
  void Reset();

  // ---- peer reports
  // The user chose Row: the dataset moves to its record.
  void PeerRowSelected(int Row);

 protected:
  explicit TCustomDBGrid(TComponent* Owner);
  void Notification(TComponent* Component, TOperation Operation) override;

 private:
  class TGridDataLink;
  friend class TGridDataLink;
  friend class TDBGridColumns;
  TDBGridPeer* GridPeer() const;
  void LinkActiveChanged();
  void LinkDataChanged();
  void LinkScrolled();
  void ColumnsChanged();
  void BuildFields();
  TGridRow ReadRow() const;
  // Finds the current record in the window; false when it is not there.
  bool LocateCurrent();
  // Runs Read with the dataset's controls disabled and puts the dataset back
  // on its record afterwards.
  template <class F>
  void WithDataSet(F&& Read);

  TOwned<TGridDataLink> Link_;
  TOwned<TDBGridColumns> Columns_;
  std::vector<TField*> Fields_;  // not owned: the dataset's
  std::vector<TGridRow> Rows_;
  int CurrentRow_ = -1;
  bool AtStart_ = true;
  bool AtEnd_ = true;
  bool Reading_ = false;    // the grid itself moves the dataset
  bool Selecting_ = false;  // the user chose a row
  std::int32_t PageRows_ = 50;
  std::int64_t RowsRead_ = 0;
};

class TDBGrid : public TCustomDBGrid {
  FYNDRA_CLASS(TDBGrid, TCustomDBGrid)
 protected:
  explicit TDBGrid(TComponent* Owner) : TCustomDBGrid(Owner) {}
};

}  // namespace fyndra
