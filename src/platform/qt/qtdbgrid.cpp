// The grid's Qt peer: a table view over an item model that reads the grid's
// row window. The view asks for more rows when it is scrolled to the bottom
// (fetchMore) or to the top; choosing a row moves the dataset there.
#include <QAbstractTableModel>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>

#include <fyndra/platform/dbctrls/dbgrids.h>
#include <fyndra/platform/qt/qtpeer.h>
#include <fyndra/platform/qt/qtwidgetset.h>

namespace fyndra::qtpeer {

namespace {

class TGridModel : public QAbstractTableModel {
 public:
  explicit TGridModel(TCustomDBGrid* Grid) : Grid_(Grid) {}

  int rowCount(const QModelIndex& Parent) const override { return Parent.isValid() ? 0 : Grid_->RowCount(); }
  int columnCount(const QModelIndex& Parent) const override { return Parent.isValid() ? 0 : Grid_->ColumnCount(); }
  QVariant data(const QModelIndex& Index, int Role) const override {
    if (!Index.isValid() || Index.row() >= Grid_->RowCount()) return {};
    if (Role == Qt::DisplayRole) return ToQString(Grid_->Row(Index.row()).Cells.at(std::size_t(Index.column())));
    if (Role == Qt::TextAlignmentRole) {
      switch (Grid_->ColumnAlignment(Index.column())) {
        case taRightJustify: return int(Qt::AlignRight | Qt::AlignVCenter);
        case taCenter: return int(Qt::AlignCenter);
        case taLeftJustify: break;
      }
      return int(Qt::AlignLeft | Qt::AlignVCenter);
    }
    return {};
  }
  QVariant headerData(int Section, Qt::Orientation Orientation, int Role) const override {
    if (Role != Qt::DisplayRole) return {};
    if (Orientation == Qt::Horizontal) return Section < Grid_->ColumnCount() ? ToQString(Grid_->ColumnTitle(Section)) : QVariant();
    return {};
  }
  bool canFetchMore(const QModelIndex& Parent) const override { return !Parent.isValid() && !Grid_->AtEnd(); }
  void fetchMore(const QModelIndex& Parent) override {
    if (Parent.isValid()) return;
    Guarded(Grid_, [&] { Grid_->FetchMore(Grid_->GetPageRows()); });
  }

  void BeginReset() { beginResetModel(); }
  void EndReset() { endResetModel(); }
  void BeginInsert(int First, int Count) { beginInsertRows(QModelIndex(), First, First + Count - 1); }
  void EndInsert() { endInsertRows(); }
  void RowChanged(int Row) {
    if (Row >= 0 && Row < Grid_->RowCount()) emit dataChanged(index(Row, 0), index(Row, std::max(columnCount({}) - 1, 0)));
  }

 private:
  TCustomDBGrid* Grid_;
};

class TGridPeer : public TQtControlPeer, public TDBGridPeer {
 public:
  TGridPeer(TCustomDBGrid* Grid, QWidget* Parent)
      : TQtControlPeer(Grid, new QTableView(Parent)), Grid_(Grid), Model_(Grid) {
    QTableView* V = View();
    V->setModel(&Model_);
    V->setSelectionBehavior(QAbstractItemView::SelectRows);
    V->setSelectionMode(QAbstractItemView::SingleSelection);
    V->setEditTriggers(QAbstractItemView::NoEditTriggers);
    V->verticalHeader()->setVisible(false);
    V->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    V->verticalHeader()->setDefaultSectionSize(V->fontMetrics().height() + 6);
    V->horizontalHeader()->setStretchLastSection(true);
    V->setWordWrap(false);
    QObject::connect(V->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
                     [this](const QModelIndex& Current) {
                       if (Syncing_ || !Current.isValid()) return;
                       Guarded(Grid_, [&] { Grid_->PeerRowSelected(Current.row()); });
                     });
    // At the top with earlier records unread: read a page before, keeping
    // the rows on screen where they are.
    QObject::connect(V->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int Value) {
      QScrollBar* Bar = View()->verticalScrollBar();
      if (Value != Bar->minimum() || Grid_->AtStart() || Syncing_) return;
      const int Before = Grid_->RowCount();
      Guarded(Grid_, [&] { Grid_->FetchPrior(Grid_->GetPageRows()); });
      const int Added = Grid_->RowCount() - Before;
      if (Added > 0) Bar->setValue(Bar->value() + Added);
    });
  }

  void BeginReset() override { Model_.BeginReset(); }
  void EndReset() override {
    Model_.EndReset();
    ApplyColumns();
  }
  void ApplyColumns() {
    for (int I = 0; I < Grid_->ColumnCount(); ++I) View()->setColumnWidth(I, Grid_->ColumnWidth(I));
  }
  void BeginInsertRows(int First, int Count) override { Model_.BeginInsert(First, Count); }
  void EndInsertRows() override { Model_.EndInsert(); }
  void CurrentRowChanged() override {
    const int Row = Grid_->CurrentRow();
    Syncing_ = true;
    Model_.RowChanged(Row);
    if (Row >= 0) {
      const QModelIndex I = Model_.index(Row, 0);
      View()->selectionModel()->setCurrentIndex(I, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
      View()->scrollTo(I);
    } else {
      View()->selectionModel()->clearSelection();
    }
    Syncing_ = false;
  }

 private:
  QTableView* View() const { return static_cast<QTableView*>(Widget()); }
  TCustomDBGrid* Grid_;
  TGridModel Model_;
  bool Syncing_ = false;
};

}  // namespace

void RegisterGridPeer() {
  TQtWidgetSet::RegisterPeer(TCustomDBGrid::StaticClass(), [](TControl* C, QWidget* Parent) {
    auto* Grid = static_cast<TCustomDBGrid*>(C);
    auto Peer = std::make_unique<TGridPeer>(Grid, Parent);
    Peer->ApplyAll();
    Peer->ApplyColumns();
    Peer->CurrentRowChanged();
    return std::unique_ptr<TControlPeer>(std::move(Peer));
  });
}

}  // namespace fyndra::qtpeer
