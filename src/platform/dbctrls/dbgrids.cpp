#include <fyndra/platform/dbctrls/dbgrids.h>

#include <algorithm>

namespace fyndra {

// ---------------------------------------------------------------------------
// Columns

FYNDRA_PUBLISHED(TColumnTitle, P) { P.Property("Caption", &TColumnTitle::GetCaption, &TColumnTitle::SetCaption); }

void TColumnTitle::SetCaption(const std::string& Value) {
  if (Caption_ == Value) return;
  Caption_ = Value;
  if (OnChange) OnChange(this);
}

void TColumnTitle::Assign(TPersistent* Source) {
  auto* T = dynamic_cast<TColumnTitle*>(Source);
  if (!T) return TPersistent::Assign(Source);
  SetCaption(T->Caption_);
}

FYNDRA_PUBLISHED(TColumn, P) {
  P.Property("Alignment", &TColumn::GetAlignment, &TColumn::SetAlignment).Default(taLeftJustify);
  P.Property("FieldName", &TColumn::GetFieldName, &TColumn::SetFieldName);
  P.Property("Title", &TColumn::GetTitle, &TColumn::SetTitle);
  P.Property("Width", &TColumn::GetWidth, &TColumn::SetWidth).Default(0);
}

void TColumn::AfterConstruction() {
  TCollectionItem::AfterConstruction();
  Title_ = CreateOwned<TColumnTitle>();
  Title_->OnChange = TNotifyEvent(this, &TColumn::TitleChanged);
}

void TColumn::SetFieldName(const std::string& Value) {
  if (FieldName_ == Value) return;
  FieldName_ = Value;
  Changed(false);
}

void TColumn::SetWidth(std::int32_t Value) {
  Value = std::max(Value, 0);
  if (Width_ == Value) return;
  Width_ = Value;
  Changed(false);
}

void TColumn::SetAlignment(TAlignment Value) {
  if (Alignment_ == Value) return;
  Alignment_ = Value;
  Changed(false);
}

void TColumn::Assign(TPersistent* Source) {
  auto* C = dynamic_cast<TColumn*>(Source);
  if (!C) return TCollectionItem::Assign(Source);
  FieldName_ = C->FieldName_;
  Width_ = C->Width_;
  Alignment_ = C->Alignment_;
  Title_->Assign(C->Title_.get());
  Changed(false);
}

std::string TColumn::GetDisplayName() const { return FieldName_.empty() ? TCollectionItem::GetDisplayName() : FieldName_; }

FYNDRA_IMPLEMENT_CLASS(TDBGridColumns)

TDBGridColumns::TDBGridColumns(TCustomDBGrid* Grid)
    : TOwnedCollection(static_cast<TPersistent*>(Grid), TColumn::StaticClass()), Grid_(Grid) {}

void TDBGridColumns::Update(TCollectionItem*) { Grid_->ColumnsChanged(); }

// ---------------------------------------------------------------------------
// The grid's data link

class TCustomDBGrid::TGridDataLink : public TDataLink {
  FYNDRA_CLASS(TGridDataLink, TDataLink)
 public:
  explicit TGridDataLink(TCustomDBGrid* Grid) : Grid_(Grid) {}

 protected:
  void ActiveChanged() override { Grid_->LinkActiveChanged(); }
  void LayoutChanged() override { Grid_->LinkActiveChanged(); }
  void DataSetChanged() override { Grid_->LinkDataChanged(); }
  void DataSetScrolled(int) override { Grid_->LinkScrolled(); }
  void RecordChanged(TField*) override { Grid_->LinkScrolled(); }

 private:
  TCustomDBGrid* Grid_;
};
FYNDRA_IMPLEMENT_CLASS(TCustomDBGrid::TGridDataLink)

// ---------------------------------------------------------------------------
// TCustomDBGrid

FYNDRA_PUBLISHED(TCustomDBGrid, P) {
  P.Property("TabStop", &TCustomDBGrid::GetTabStop, &TCustomDBGrid::SetTabStop).Default(true);
  P.Property("Color", &TCustomDBGrid::GetColor, &TCustomDBGrid::SetColor).Default(clWindow);
  P.Property("Columns", &TCustomDBGrid::GetColumns, &TCustomDBGrid::SetColumns).Stored(&TCustomDBGrid::IsColumnsStored);
  P.Property("DataSource", &TCustomDBGrid::GetDataSource, &TCustomDBGrid::SetDataSource);
  P.Property("PageRows", &TCustomDBGrid::GetPageRows, &TCustomDBGrid::SetPageRows).Default(50);
}
FYNDRA_IMPLEMENT_CLASS(TDBGrid)
FYNDRA_REGISTER_CLASS(TDBGrid);

TCustomDBGrid::TCustomDBGrid(TComponent* Owner) : TWinControl(Owner) {
  SetTabStop(true);
  Color_ = clWindow;
}

TCustomDBGrid::~TCustomDBGrid() = default;

void TCustomDBGrid::AfterConstruction() {
  TWinControl::AfterConstruction();
  Link_ = CreateOwned<TGridDataLink>(this);
  Columns_ = CreateOwned<TDBGridColumns>(this);
}

void TCustomDBGrid::BeforeDestruction() {
  if (Link_) Link_->SetDataSource(nullptr);
  TWinControl::BeforeDestruction();
}

TDataSource* TCustomDBGrid::GetDataSource() const { return Link_->GetDataSource(); }

void TCustomDBGrid::SetDataSource(TDataSource* Value) {
  TDataSource* Old = Link_->GetDataSource();
  if (Old == Value) return;
  if (Old) RemoveFreeNotification(Old);
  if (Value) FreeNotification(Value);
  Link_->SetDataSource(Value);
  Reset();
}

void TCustomDBGrid::Notification(TComponent* Component, TOperation Operation) {
  TWinControl::Notification(Component, Operation);
  if (Operation == opRemove && Link_ && Component == Link_->GetDataSource()) SetDataSource(nullptr);
}

void TCustomDBGrid::SetPageRows(std::int32_t Value) { PageRows_ = std::max(Value, 1); }

TDBGridPeer* TCustomDBGrid::GridPeer() const { return dynamic_cast<TDBGridPeer*>(Peer()); }

void TCustomDBGrid::ColumnsChanged() { Reset(); }

void TCustomDBGrid::BuildFields() {
  Fields_.clear();
  TDataSet* DS = Link_->GetActive() ? Link_->DataSet() : nullptr;
  if (!DS) return;
  if (Columns_->Count() == 0) {
    for (TField* F : DS->Fields())
      if (F->GetVisible()) Fields_.push_back(F);
    return;
  }
  for (int I = 0; I < Columns_->Count(); ++I) Fields_.push_back(DS->FindField(Columns_->GetItem(I)->GetFieldName()));
}

std::string TCustomDBGrid::ColumnTitle(int Index) const {
  if (Index < Columns_->Count() && !Columns_->GetItem(Index)->GetTitle()->GetCaption().empty())
    return Columns_->GetItem(Index)->GetTitle()->GetCaption();
  if (TField* F = ColumnField(Index)) return F->GetDisplayLabel();
  return Index < Columns_->Count() ? Columns_->GetItem(Index)->GetFieldName() : std::string();
}

std::int32_t TCustomDBGrid::ColumnWidth(int Index) const {
  if (Index < Columns_->Count() && Columns_->GetItem(Index)->GetWidth() > 0) return Columns_->GetItem(Index)->GetWidth();
  const TField* F = ColumnField(Index);
  const int Chars = std::clamp(F ? F->GetDisplayWidth() : 10, 4, 40);
  return Chars * 8 + 8;
}

TAlignment TCustomDBGrid::ColumnAlignment(int Index) const {
  if (Index < Columns_->Count()) return Columns_->GetItem(Index)->GetAlignment();
  return taLeftJustify;
}

TGridRow TCustomDBGrid::ReadRow() const {
  TDataSet* DS = Link_->DataSet();
  TGridRow Row;
  Row.Bookmark = DS->GetBookmark();
  Row.Cells.reserve(Fields_.size());
  for (TField* F : Fields_) Row.Cells.push_back(F ? F->GetDisplayText() : std::string());
  return Row;
}

template <class F>
void TCustomDBGrid::WithDataSet(F&& Read) {
  TDataSet* DS = Link_->DataSet();
  Reading_ = true;
  DS->DisableControls();
  const TBookmark Current = DS->GetBookmark();
  try {
    Read(DS);
    if (!Current.IsEmpty()) DS->GotoBookmark(Current);
  } catch (...) {
    try {
      if (!Current.IsEmpty()) DS->GotoBookmark(Current);
    } catch (...) {
      // The record is gone; the dataset stays where reading left it.
    }
    DS->EnableControls();
    Reading_ = false;
    throw;
  }
  DS->EnableControls();
  Reading_ = false;
}

void TCustomDBGrid::Reset() {
  TDBGridPeer* P = GridPeer();
  if (P) P->BeginReset();
  Rows_.clear();
  CurrentRow_ = -1;
  AtStart_ = AtEnd_ = true;
  RowsRead_ = 0;
  try {
    BuildFields();
    TDataSet* DS = Link_->GetActive() ? Link_->DataSet() : nullptr;
    if (DS && DS->State() == dsBrowse && !DS->IsEmpty()) {
      WithDataSet([&](TDataSet* D) {
        const TBookmark Current = D->GetBookmark();
        const bool First = D->Bof();
        Rows_.push_back(ReadRow());
        int Read = 1;
        for (; Read < PageRows_; ++Read) {
          if (D->MoveBy(1) == 0) break;
          Rows_.push_back(ReadRow());
        }
        AtEnd_ = Read < PageRows_;
        AtStart_ = First;
        if (!First) {
          // A few records before the current one, so that it is not the top row.
          D->GotoBookmark(Current);
          std::vector<TGridRow> Before;
          const int Back = std::max(1, PageRows_ / 10);
          while (static_cast<int>(Before.size()) < Back) {
            if (D->MoveBy(-1) == 0) {
              AtStart_ = true;
              break;
            }
            Before.push_back(ReadRow());
          }
          std::reverse(Before.begin(), Before.end());
          Rows_.insert(Rows_.begin(), std::make_move_iterator(Before.begin()), std::make_move_iterator(Before.end()));
          CurrentRow_ = static_cast<int>(Before.size());
          RowsRead_ += static_cast<std::int64_t>(Before.size());
        } else {
          CurrentRow_ = 0;
        }
        RowsRead_ += Read;
      });
    }
  } catch (...) {
    if (P) P->EndReset();
    throw;
  }
  if (P) {
    P->EndReset();
    P->CurrentRowChanged();
  }
}

void TCustomDBGrid::FetchMore(int Count) {
  TDataSet* DS = Link_->GetActive() ? Link_->DataSet() : nullptr;
  if (AtEnd_ || Rows_.empty() || !DS || DS->State() != dsBrowse || Count <= 0) return;
  std::vector<TGridRow> More;
  bool End = false;
  WithDataSet([&](TDataSet* D) {
    D->GotoBookmark(Rows_.back().Bookmark);
    while (static_cast<int>(More.size()) < Count) {
      if (D->MoveBy(1) == 0) {
        End = true;
        break;
      }
      More.push_back(ReadRow());
    }
  });
  RowsRead_ += static_cast<std::int64_t>(More.size());
  AtEnd_ = End;
  if (More.empty()) return;
  TDBGridPeer* P = GridPeer();
  if (P) P->BeginInsertRows(RowCount(), static_cast<int>(More.size()));
  Rows_.insert(Rows_.end(), std::make_move_iterator(More.begin()), std::make_move_iterator(More.end()));
  if (P) P->EndInsertRows();
}

void TCustomDBGrid::FetchPrior(int Count) {
  TDataSet* DS = Link_->GetActive() ? Link_->DataSet() : nullptr;
  if (AtStart_ || Rows_.empty() || !DS || DS->State() != dsBrowse || Count <= 0) return;
  std::vector<TGridRow> Before;
  bool Start = false;
  WithDataSet([&](TDataSet* D) {
    D->GotoBookmark(Rows_.front().Bookmark);
    while (static_cast<int>(Before.size()) < Count) {
      if (D->MoveBy(-1) == 0) {
        Start = true;
        break;
      }
      Before.push_back(ReadRow());
    }
  });
  RowsRead_ += static_cast<std::int64_t>(Before.size());
  AtStart_ = Start;
  if (Before.empty()) return;
  std::reverse(Before.begin(), Before.end());
  TDBGridPeer* P = GridPeer();
  if (P) P->BeginInsertRows(0, static_cast<int>(Before.size()));
  Rows_.insert(Rows_.begin(), std::make_move_iterator(Before.begin()), std::make_move_iterator(Before.end()));
  if (CurrentRow_ >= 0) CurrentRow_ += static_cast<int>(Before.size());
  if (P) P->EndInsertRows();
}

bool TCustomDBGrid::LocateCurrent() {
  TDataSet* DS = Link_->GetActive() ? Link_->DataSet() : nullptr;
  if (!DS || DS->IsEmpty()) return false;
  const TBookmark Current = DS->GetBookmark();
  for (std::size_t I = 0; I < Rows_.size(); ++I)
    if (Rows_[I].Bookmark == Current) {
      CurrentRow_ = static_cast<int>(I);
      // The record may have been edited: show its values again.
      if (DS->State() == dsBrowse) Rows_[I].Cells = ReadRow().Cells;
      return true;
    }
  return false;
}

void TCustomDBGrid::LinkActiveChanged() {
  if (!Reading_) Reset();
}

void TCustomDBGrid::LinkDataChanged() {
  if (Reading_) return;
  if (Selecting_ && LocateCurrent()) {
    if (TDBGridPeer* P = GridPeer()) P->CurrentRowChanged();
    return;
  }
  // The data may have changed (a filter, a new query): read it again.
  Reset();
}

void TCustomDBGrid::LinkScrolled() {
  if (Reading_) return;
  if (LocateCurrent()) {
    if (TDBGridPeer* P = GridPeer()) P->CurrentRowChanged();
    return;
  }
  Reset();
}

void TCustomDBGrid::PeerRowSelected(int Row) {
  TDataSet* DS = Link_->GetActive() ? Link_->DataSet() : nullptr;
  if (!DS || Row < 0 || Row >= RowCount() || Row == CurrentRow_) return;
  Selecting_ = true;
  try {
    DS->GotoBookmark(Rows_[std::size_t(Row)].Bookmark);
  } catch (...) {
    Selecting_ = false;
    throw;
  }
  Selecting_ = false;
}

}  // namespace fyndra
