// The Qt peers of the choice controls: list boxes, combo boxes, check boxes,
// radio groups and the lookup list and combo boxes. Each shows the control's
// state and reports what the user picks; the control decides (a refused pick
// is shown back as the control's state). The lookup peers show the rows the
// control has read through an item model that asks the control for more rows
// when the view scrolls to its end, so a list is never read in full to be
// shown.
#include <QAbstractListModel>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QRadioButton>

#include <algorithm>
#include <vector>

#include <fyndra/platform/controls/extctrls.h>
#include <fyndra/platform/controls/stdctrls.h>
#include <fyndra/platform/dbctrls/dbctrls.h>
#include <fyndra/platform/qt/qtpeer.h>
#include <fyndra/platform/qt/qtwidgetset.h>

namespace fyndra::qtpeer {

namespace {

QStringList ToQStringList(const TStrings& Items) {
  QStringList L;
  for (int I = 0; I < Items.GetCount(); ++I) L << ToQString(Items.Get(I));
  return L;
}

// ---------------------------------------------------------------------------
// List boxes

class TListBoxPeer : public TQtControlPeer {
 public:
  TListBoxPeer(TCustomListBox* List, QWidget* Parent) : TQtControlPeer(List, new QListWidget(Parent)), List_(List) {
    QObject::connect(View(), &QListWidget::currentRowChanged, this, [this](int Row) {
      Guarded(List_, [&] { List_->PeerItemSelected(Row); });
      Changed(TPeerChange::Selection);  // the control's choice, taken or not
    });
  }

 protected:
  QListWidget* View() const { return static_cast<QListWidget*>(Widget()); }
  void Apply(TPeerChange What) override {
    switch (What) {
      case TPeerChange::Data:
        View()->clear();
        View()->addItems(ToQStringList(*List_->GetItems()));
        return;
      case TPeerChange::Selection:
        View()->setCurrentRow(List_->GetItemIndex());
        if (List_->GetItemIndex() < 0) View()->clearSelection();
        return;
      default: TQtControlPeer::Apply(What);
    }
  }

 private:
  TCustomListBox* List_;
};

// ---------------------------------------------------------------------------
// Combo boxes

class TComboBoxPeer : public TQtControlPeer {
 public:
  TComboBoxPeer(TCustomComboBox* Combo, QWidget* Parent) : TQtControlPeer(Combo, new QComboBox(Parent)), Combo_(Combo) {
    QComboBox* C = Box();
    C->setInsertPolicy(QComboBox::NoInsert);
    QObject::connect(C, &QComboBox::activated, this, [this](int Index) {
      Guarded(Combo_, [&] { Combo_->PeerItemSelected(Index); });
      Changed(TPeerChange::Text);
    });
  }

 protected:
  QComboBox* Box() const { return static_cast<QComboBox*>(Widget()); }
  void Apply(TPeerChange What) override {
    QComboBox* C = Box();
    switch (What) {
      case TPeerChange::Data:
        C->clear();
        C->addItems(ToQStringList(*Combo_->GetItems()));
        Apply(TPeerChange::Text);
        return;
      case TPeerChange::Text:
      case TPeerChange::Selection: {
        const QString T = ToQString(Combo_->GetText());
        C->setCurrentIndex(Combo_->GetItemIndex());
        if (C->isEditable() && C->currentText() != T) C->setEditText(T);
        return;
      }
      case TPeerChange::Style:
        C->setEditable(Combo_->GetStyle() == csDropDown);
        C->setMaxVisibleItems(Combo_->GetDropDownCount());
        ConnectLineEdit();
        Apply(TPeerChange::ReadOnly);
        Apply(TPeerChange::Text);
        return;
      case TPeerChange::ReadOnly:
        if (QLineEdit* L = C->lineEdit()) L->setReadOnly(Combo_->GetReadOnly());
        return;
      default: TQtControlPeer::Apply(What);
    }
  }

 private:
  // An editable combo has a line edit of its own (a new one each time it
  // becomes editable): its edits are the user's typing.
  void ConnectLineEdit() {
    QLineEdit* L = Box()->lineEdit();
    if (!L || L == Connected_) return;
    Connected_ = L;
    QObject::connect(L, &QLineEdit::textEdited, this, [this](const QString& Text) {
      Guarded(Combo_, [&] { Combo_->PeerTextEdited(FromQString(Text)); });
    });
  }
  TCustomComboBox* Combo_;
  QLineEdit* Connected_ = nullptr;
};

// ---------------------------------------------------------------------------
// Check boxes

class TCheckBoxPeer : public TQtControlPeer {
 public:
  TCheckBoxPeer(TCustomCheckBox* Box, QWidget* Parent) : TQtControlPeer(Box, new QCheckBox(Parent)), Box_(Box) {
    QObject::connect(Check(), &QCheckBox::clicked, this, [this] {
      Guarded(Box_, [&] { Box_->PeerToggled(); });
      Changed(TPeerChange::Data);  // the control's state, toggled or refused
    });
  }

 protected:
  QCheckBox* Check() const { return static_cast<QCheckBox*>(Widget()); }
  void Apply(TPeerChange What) override {
    switch (What) {
      case TPeerChange::Text: Check()->setText(ToQString(Box_->GetCaption())); return;
      case TPeerChange::Style:
      case TPeerChange::Data:
        Check()->setTristate(Box_->GetAllowGrayed() || Box_->GetState() == cbGrayed);
        Check()->setCheckState(Box_->GetState() == cbChecked   ? Qt::Checked
                               : Box_->GetState() == cbGrayed ? Qt::PartiallyChecked
                                                              : Qt::Unchecked);
        return;
      default: TQtControlPeer::Apply(What);
    }
  }

 private:
  TCustomCheckBox* Box_;
};

// ---------------------------------------------------------------------------
// Radio groups: a group box with one radio button per entry, in columns.

class TRadioGroupPeer : public TQtControlPeer {
 public:
  TRadioGroupPeer(TCustomRadioGroup* Group, QWidget* Parent)
      : TQtControlPeer(Group, new QGroupBox(Parent)), Group_(Group), Buttons_(new QButtonGroup(Widget())) {
    QObject::connect(Buttons_, &QButtonGroup::idClicked, this, [this](int Id) {
      Guarded(Group_, [&] { Group_->PeerButtonClicked(Id); });
      Changed(TPeerChange::Selection);
    });
  }

  // The button of entry Index (for tests and tools).
  QRadioButton* Button(int Index) const { return qobject_cast<QRadioButton*>(Buttons_->button(Index)); }

 protected:
  void Apply(TPeerChange What) override {
    auto* Box = static_cast<QGroupBox*>(Widget());
    switch (What) {
      case TPeerChange::Text: Box->setTitle(ToQString(Group_->GetCaption())); return;
      case TPeerChange::Data: {
        for (QAbstractButton* B : Buttons_->buttons()) {
          Buttons_->removeButton(B);
          delete B;
        }
        const TStrings& Items = *Group_->GetItems();
        for (int I = 0; I < Items.GetCount(); ++I) {
          auto* B = new QRadioButton(ToQString(Items.Get(I)), Box);
          B->setFocusPolicy(Qt::StrongFocus);
          Buttons_->addButton(B, I);
          B->show();
        }
        Layout();
        Apply(TPeerChange::Selection);
        return;
      }
      case TPeerChange::Selection: {
        const int Index = Group_->GetItemIndex();
        if (QAbstractButton* B = Buttons_->button(Index)) {
          B->setChecked(true);
        } else {
          // An exclusive group keeps one button checked: lift that for a moment.
          Buttons_->setExclusive(false);
          for (QAbstractButton* Each : Buttons_->buttons()) Each->setChecked(false);
          Buttons_->setExclusive(true);
        }
        return;
      }
      case TPeerChange::Bounds:
        TQtControlPeer::Apply(What);
        Layout();
        return;
      default: TQtControlPeer::Apply(What);
    }
  }

 private:
  // Buttons fill the columns top to bottom, below the title.
  void Layout() {
    const QList<QAbstractButton*> All = Buttons_->buttons();
    if (All.isEmpty()) return;
    const int Columns = Group_->GetColumns();
    const int Rows = (int(All.size()) + Columns - 1) / Columns;
    const int Top = Widget()->fontMetrics().height() + 4;
    const int Width = std::max(Group_->GetWidth() - 16, 0) / Columns;
    const int Height = std::max(Group_->GetHeight() - Top - 4, 0) / std::max(Rows, 1);
    for (QAbstractButton* B : All) {
      const int I = Buttons_->id(B);
      B->setGeometry(8 + (I / Rows) * Width, Top + (I % Rows) * Height, Width, std::max(Height, 1));
    }
  }
  TCustomRadioGroup* Group_;
  QButtonGroup* Buttons_;
};

// ---------------------------------------------------------------------------
// Lookup controls: an item model over the rows the control has read.

class TLookupModel : public QAbstractListModel {
 public:
  explicit TLookupModel(TDBLookupControl* Control) : Control_(Control) {}

  int rowCount(const QModelIndex& Parent) const override { return Parent.isValid() ? 0 : Count_; }
  QVariant data(const QModelIndex& Index, int Role) const override {
    if (!Index.isValid() || Index.row() >= Count_ || Role != Qt::DisplayRole) return {};
    return ToQString(Control_->Rows()[std::size_t(Index.row())].Text);
  }
  // The first screen is the control's to read (as the list is shown or
  // drops down); the view reads on from there as it scrolls.
  bool canFetchMore(const QModelIndex& Parent) const override {
    return !Parent.isValid() && Count_ > 0 && Control_->ListActive() && !Control_->AllRowsRead();
  }
  void fetchMore(const QModelIndex& Parent) override {
    if (Parent.isValid()) return;
    Fetching_ = true;
    Guarded(Control_, [&] { Control_->FetchRows(Control_->GetScreenRows()); });
    Fetching_ = false;
    Grown();
  }
  // The rows read grew (or were dropped): the view follows.
  void Sync() {
    if (Fetching_) return;
    const auto Now = static_cast<int>(Control_->Rows().size());
    if (Now < Count_) {
      beginResetModel();
      Count_ = Now;
      endResetModel();
      return;
    }
    Grown();
  }

 private:
  void Grown() {
    const auto Now = static_cast<int>(Control_->Rows().size());
    if (Now <= Count_) return;
    beginInsertRows(QModelIndex(), Count_, Now - 1);
    Count_ = Now;
    endInsertRows();
  }
  TDBLookupControl* Control_;
  int Count_ = 0;
  bool Fetching_ = false;
};

class TLookupListBoxPeer : public TQtControlPeer {
 public:
  TLookupListBoxPeer(TDBLookupListBox* Box, QWidget* Parent)
      : TQtControlPeer(Box, new QListView(Parent)), Box_(Box), Model_(Box) {
    View()->setModel(&Model_);
    View()->setEditTriggers(QAbstractItemView::NoEditTriggers);
    View()->setUniformItemSizes(true);
    QObject::connect(View()->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
                     [this](const QModelIndex& Current) {
                       if (Syncing_ || !Current.isValid()) return;
                       Guarded(Box_, [&] { Box_->PeerRowSelected(Current.row()); });
                     });
  }

 protected:
  QListView* View() const { return static_cast<QListView*>(Widget()); }
  void Apply(TPeerChange What) override {
    switch (What) {
      case TPeerChange::Data:
        // A shown list box shows its first screen at once.
        if (Box_->Rows().empty() && Box_->ListActive() && !Box_->AllRowsRead())
          Guarded(Box_, [&] { Box_->FirstScreen(); });
        Model_.Sync();
        Apply(TPeerChange::Selection);
        return;
      case TPeerChange::Text:
      case TPeerChange::Selection: {
        Syncing_ = true;
        const int Row = Box_->KeyRow();
        if (Row >= 0)
          View()->selectionModel()->setCurrentIndex(Model_.index(Row), QItemSelectionModel::ClearAndSelect);
        else
          View()->selectionModel()->clear();
        Syncing_ = false;
        return;
      }
      default: TQtControlPeer::Apply(What);
    }
  }

 private:
  TDBLookupListBox* Box_;
  TLookupModel Model_;
  bool Syncing_ = false;
};

// A combo box that reads the control's first screen as it opens.
class TLookupCombo : public QComboBox {
 public:
  TLookupCombo(TDBLookupComboBox* Control, QWidget* Parent) : QComboBox(Parent), Control_(Control) {}
  void showPopup() override {
    Guarded(Control_, [&] { Control_->PeerDropDown(); });
    QComboBox::showPopup();
  }

 private:
  TDBLookupComboBox* Control_;
};

class TLookupComboBoxPeer : public TQtControlPeer {
 public:
  TLookupComboBoxPeer(TDBLookupComboBox* Combo, QWidget* Parent)
      : TQtControlPeer(Combo, new TLookupCombo(Combo, Parent)), Combo_(Combo), Model_(Combo) {
    Box()->setModel(&Model_);
    QObject::connect(Box(), &QComboBox::activated, this, [this](int Row) {
      Guarded(Combo_, [&] { Combo_->PeerRowSelected(Row); });
      Changed(TPeerChange::Text);
    });
  }

 protected:
  QComboBox* Box() const { return static_cast<QComboBox*>(Widget()); }
  void Apply(TPeerChange What) override {
    switch (What) {
      case TPeerChange::Data:
        Model_.Sync();
        Apply(TPeerChange::Text);
        return;
      case TPeerChange::Style:
        Box()->setMaxVisibleItems(Combo_->GetDropDownRows());
        return;
      case TPeerChange::Text:
      case TPeerChange::Selection:
        // A key outside the rows read shows its text as the placeholder.
        Box()->setCurrentIndex(Combo_->KeyRow());
        Box()->setPlaceholderText(ToQString(Combo_->GetDisplayText()));
        return;
      default: TQtControlPeer::Apply(What);
    }
  }

 private:
  TDBLookupComboBox* Combo_;
  TLookupModel Model_;
};

template <class TControlClass, class TPeerClass>
void RegisterOne() {
  TQtWidgetSet::RegisterPeer(TControlClass::StaticClass(), [](TControl* C, QWidget* Parent) {
    auto Peer = std::make_unique<TPeerClass>(static_cast<TControlClass*>(C), Parent);
    Peer->ApplyAll();
    return std::unique_ptr<TControlPeer>(std::move(Peer));
  });
}

}  // namespace

void RegisterChoicePeers() {
  RegisterOne<TCustomListBox, TListBoxPeer>();
  RegisterOne<TCustomComboBox, TComboBoxPeer>();
  RegisterOne<TCustomCheckBox, TCheckBoxPeer>();
  RegisterOne<TCustomRadioGroup, TRadioGroupPeer>();
  RegisterOne<TDBLookupListBox, TLookupListBoxPeer>();
  RegisterOne<TDBLookupComboBox, TLookupComboBoxPeer>();
}

}  // namespace fyndra::qtpeer
