#include <fyndra/platform/qt/qtwidgetset.h>

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolButton>

#include <map>
#include <unordered_map>
#include <vector>

#include <fyndra/platform/controls/buttons.h>
#include <fyndra/platform/controls/extctrls.h>
#include <fyndra/platform/controls/mask.h>
#include <fyndra/platform/controls/stdctrls.h>
#include <fyndra/platform/qt/qtpeer.h>

namespace fyndra {

namespace qtpeer {

namespace {
bool FocusChanging = false;

std::unordered_map<const QWidget*, TQtControlPeer*>& PeerOfWidget() {
  static std::unordered_map<const QWidget*, TQtControlPeer*> Map;
  return Map;
}

std::vector<std::pair<TClass, TQtWidgetSet::TPeerFactory>>& Factories() {
  static std::vector<std::pair<TClass, TQtWidgetSet::TPeerFactory>> List;
  return List;
}

QColor ToQColor(TColor C) {
  return QColor(GetRValue(C), GetGValue(C), GetBValue(C));
}

// The palette role a system colour names.
QPalette::ColorRole SystemRole(TColor C) {
  switch (C & 0xFF) {
    case 1: return QPalette::Window;
    case 5: return QPalette::Base;
    case 8: return QPalette::Text;
    case 13: return QPalette::Highlight;
    case 14: return QPalette::HighlightedText;
    case 15: return QPalette::Button;
    case 17: return QPalette::PlaceholderText;
    case 18: return QPalette::ButtonText;
    case 24: return QPalette::ToolTipBase;
    default: return QPalette::Window;
  }
}

QColor Resolve(TColor C) {
  if (IsSystemColor(C)) return QApplication::palette().color(SystemRole(C));
  return ToQColor(C);
}

std::uint16_t VirtualKey(int Key) {
  switch (Key) {
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Tab: return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_End: return VK_END;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_Insert: return VK_INSERT;
    case Qt::Key_Delete: return VK_DELETE;
    default: break;
  }
  // Letters and digits carry their upper-case character code in both.
  if ((Key >= Qt::Key_A && Key <= Qt::Key_Z) || (Key >= Qt::Key_0 && Key <= Qt::Key_9))
    return static_cast<std::uint16_t>(Key);
  return 0;
}

TShiftState ShiftOf(Qt::KeyboardModifiers M) {
  TShiftState S;
  if (M & Qt::ShiftModifier) S.Include(ssShift);
  if (M & Qt::ControlModifier) S.Include(ssCtrl);
  if (M & Qt::AltModifier) S.Include(ssAlt);
  return S;
}
}  // namespace

bool InFocusChange() { return FocusChanging; }

int CharIndexToUtf16(const QString& S, int CharIndex) {
  int I = 0;
  for (int C = 0; C < CharIndex && I < S.size(); ++C) I += S.at(I).isHighSurrogate() && I + 1 < S.size() ? 2 : 1;
  return I;
}

int Utf16IndexToChar(const QString& S, int Utf16Index) {
  int C = 0;
  for (int I = 0; I < Utf16Index && I < S.size(); ++C) I += S.at(I).isHighSurrogate() && I + 1 < S.size() ? 2 : 1;
  return C;
}

TQtControlPeer::TQtControlPeer(TControl* Control, QWidget* Widget) : TControlPeer(Control), Widget_(Widget) {
  PeerOfWidget()[Widget] = this;
  Widget->installEventFilter(this);
}

TQtControlPeer::~TQtControlPeer() {
  if (Widget_) {
    PeerOfWidget().erase(Widget_.data());
    delete Widget_.data();
  }
}

void TQtControlPeer::ApplyAll() {
  for (TPeerChange What : {TPeerChange::Bounds, TPeerChange::Font, TPeerChange::Color, TPeerChange::Hint,
                           TPeerChange::Enabled, TPeerChange::Text, TPeerChange::Selection, TPeerChange::ReadOnly,
                           TPeerChange::MaxLength, TPeerChange::PasswordChar, TPeerChange::Alignment,
                           TPeerChange::Style, TPeerChange::Data, TPeerChange::TabOrder, TPeerChange::Visible})
    Changed(What);
}

void TQtControlPeer::Changed(TPeerChange What) {
  if (!Widget_) return;
  const QSignalBlocker Blocker(Widget_.data());
  Apply(What);
}

void TQtControlPeer::Apply(TPeerChange What) {
  QWidget* W = Widget_;
  TControl* C = Control();
  switch (What) {
    case TPeerChange::Bounds:
      W->setGeometry(C->GetLeft(), C->GetTop(), C->GetWidth(), C->GetHeight());
      break;
    case TPeerChange::Visible: W->setVisible(C->GetVisible()); break;
    case TPeerChange::Enabled: W->setEnabled(C->GetEnabled()); break;
    case TPeerChange::Hint: W->setToolTip(ToQString(C->GetHint())); break;
    case TPeerChange::Font: {
      const TFont& F = *C->GetFont();
      QFont Q = QApplication::font(W);
      if (!F.GetName().empty()) Q.setFamily(ToQString(F.GetName()));
      if (F.GetSize() > 0) Q.setPointSize(F.GetSize());
      Q.setBold(F.GetStyle().Contains(fsBold));
      Q.setItalic(F.GetStyle().Contains(fsItalic));
      Q.setUnderline(F.GetStyle().Contains(fsUnderline));
      Q.setStrikeOut(F.GetStyle().Contains(fsStrikeOut));
      W->setFont(Q);
      QPalette P = W->palette();
      P.setColor(W->foregroundRole(), Resolve(F.GetColor()));
      W->setPalette(P);
      break;
    }
    case TPeerChange::Color: {
      if (C->GetColor() == clDefault || C->GetColor() == clNone) break;
      QPalette P = W->palette();
      P.setColor(W->backgroundRole(), Resolve(C->GetColor()));
      W->setPalette(P);
      W->setAutoFillBackground(true);
      break;
    }
    case TPeerChange::TabOrder: {
      auto* Win = dynamic_cast<TWinControl*>(C);
      if (!Win) break;
      QWidget* Prior = nullptr;
      std::vector<TWinControl*> Order;
      Win->GetTabOrderList(Order);
      for (TWinControl* Child : Order) {
        QWidget* CW = TQtWidgetSet::WidgetOf(Child);
        if (!CW) continue;
        CW->setFocusPolicy(Child->GetTabStop() ? Qt::StrongFocus : Qt::ClickFocus);
        if (Prior) QWidget::setTabOrder(Prior, CW);
        Prior = CW;
      }
      break;
    }
    default: break;
  }
}

void TQtControlPeer::SetFocus() {
  if (!Widget_) return;
  if (FocusChanging) {
    // Qt is still delivering a focus change: move the focus once it is done.
    QPointer<QWidget> W = Widget_;
    QTimer::singleShot(0, W, [W] {
      if (W) W->setFocus(Qt::OtherFocusReason);
    });
    return;
  }
  Widget_->setFocus(Qt::OtherFocusReason);
}

bool TQtControlPeer::Focused() const {
  if (!Widget_) return false;
  QWidget* Window = Widget_->window();
  return Window && Window->focusWidget() == Widget_ && (!QApplication::focusWidget() || Widget_->hasFocus() ||
                                                        QApplication::focusWidget()->window() != Window);
}

void TQtControlPeer::Invalidate() {
  if (Widget_) Widget_->update();
}

bool TQtControlPeer::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched != Widget_ || Event->type() != QEvent::KeyPress) return false;
  auto* Win = dynamic_cast<TWinControl*>(Control());
  if (!Win) return false;
  auto* Key = static_cast<QKeyEvent*>(Event);
  bool Consumed = false;
  Guarded(Win, [&] {
    const std::uint16_t VK = VirtualKey(Key->key());
    if (VK != 0 && VK != VK_TAB && Win->PeerKeyDown(VK, ShiftOf(Key->modifiers()))) {
      Consumed = true;
      return;
    }
    const QString Text = Key->text();
    if (Text.isEmpty() || (Key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) return;
    const std::u32string Chars = Text.toStdU32String();
    for (char32_t Ch : Chars) {
      if (Ch < 0x20 && Ch != 8) continue;  // Enter, Escape, Tab: keys, not characters
      if (Win->PeerKeyPress(Ch)) Consumed = true;
    }
  });
  return Consumed;
}

namespace {

// ---------------------------------------------------------------------------
// Forms

class TFormWidget : public QWidget {
 public:
  explicit TFormWidget(TCustomForm* Form) : QWidget(nullptr, Qt::Window), Form_(Form) {}

 protected:
  void closeEvent(QCloseEvent* Event) override {
    Event->ignore();
    Guarded(Form_, [&] { Form_->PeerCloseRequested(); });
  }
  void resizeEvent(QResizeEvent* Event) override {
    QWidget::resizeEvent(Event);
    Report();
  }
  void moveEvent(QMoveEvent* Event) override {
    QWidget::moveEvent(Event);
    Report();
  }

 private:
  void Report() {
    const QRect G = geometry();
    Guarded(Form_, [&] { Form_->PeerBoundsChanged(G.x(), G.y(), G.width(), G.height()); });
  }
  TCustomForm* Form_;
};

class TFormPeer : public TQtControlPeer {
 public:
  explicit TFormPeer(TCustomForm* Form) : TQtControlPeer(Form, new TFormWidget(Form)), Form_(Form) {}

  void RunModal() override {
    QWidget* W = Widget();
    W->setWindowModality(Qt::ApplicationModal);
    while (W->isVisible() && Form_->GetModalResult() == mrNone)
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    W->setWindowModality(Qt::NonModal);
  }

 protected:
  void Apply(TPeerChange What) override {
    QWidget* W = Widget();
    switch (What) {
      case TPeerChange::Text: W->setWindowTitle(ToQString(Form_->GetCaption())); return;
      case TPeerChange::Bounds:
        if (Form_->GetPosition() == poDesigned)
          W->setGeometry(Form_->GetLeft(), Form_->GetTop(), Form_->GetWidth(), Form_->GetHeight());
        else
          W->resize(Form_->GetWidth(), Form_->GetHeight());
        return;
      case TPeerChange::Visible:
        if (Form_->GetVisible() && Form_->GetPosition() != poDesigned && Form_->GetPosition() != poDefault &&
            Form_->GetPosition() != poDefaultPosOnly) {
          if (QScreen* S = QGuiApplication::primaryScreen()) {
            const QRect A = S->availableGeometry();
            W->move(A.center() - QPoint(W->width() / 2, W->height() / 2));
          }
        }
        W->setVisible(Form_->GetVisible());
        return;
      default: TQtControlPeer::Apply(What);
    }
  }

 private:
  TCustomForm* Form_;
};

// ---------------------------------------------------------------------------
// Edits and masked edits: a plain line edit; a mask is the control's.

class TEditPeer : public TQtControlPeer {
 public:
  TEditPeer(TCustomEdit* Edit, QWidget* Parent) : TQtControlPeer(Edit, new QLineEdit(Parent)), Edit_(Edit) {
    auto* L = LineEdit();
    QObject::connect(L, &QLineEdit::textEdited, this, [this](const QString& Text) {
      const int Caret = Utf16IndexToChar(Text, LineEdit()->cursorPosition());
      Guarded(Edit_, [&] { Edit_->PeerTextEdited(FromQString(Text), Caret); });
    });
    auto Selection = [this] {
      QLineEdit* L = LineEdit();
      const QString T = L->text();
      int Start, Length;
      if (L->hasSelectedText()) {
        Start = Utf16IndexToChar(T, L->selectionStart());
        Length = Utf16IndexToChar(T, L->selectionEnd()) - Start;
      } else {
        Start = Utf16IndexToChar(T, L->cursorPosition());
        Length = 0;
      }
      Guarded(Edit_, [&] { Edit_->PeerSelectionChanged(Start, Length); });
    };
    QObject::connect(L, &QLineEdit::cursorPositionChanged, this, Selection);
    QObject::connect(L, &QLineEdit::selectionChanged, this, Selection);
  }

 protected:
  QLineEdit* LineEdit() const { return static_cast<QLineEdit*>(Widget()); }
  void Apply(TPeerChange What) override {
    QLineEdit* L = LineEdit();
    switch (What) {
      case TPeerChange::Text: {
        const QString T = ToQString(Edit_->GetDisplayText());
        if (L->text() != T) L->setText(T);
        return;
      }
      case TPeerChange::Selection: {
        const QString T = L->text();
        const int Start = CharIndexToUtf16(T, Edit_->GetSelStart());
        const int End = CharIndexToUtf16(T, Edit_->GetSelStart() + Edit_->GetSelLength());
        if (End > Start)
          L->setSelection(Start, End - Start);
        else
          L->setCursorPosition(Start);
        return;
      }
      case TPeerChange::ReadOnly: L->setReadOnly(Edit_->GetReadOnly()); return;
      case TPeerChange::MaxLength: L->setMaxLength(Edit_->GetMaxLength() > 0 ? Edit_->GetMaxLength() : 32767); return;
      case TPeerChange::PasswordChar:
        L->setEchoMode(Edit_->GetPasswordChar() ? QLineEdit::Password : QLineEdit::Normal);
        return;
      default: TQtControlPeer::Apply(What);
    }
  }

 private:
  TCustomEdit* Edit_;
};

// ---------------------------------------------------------------------------
// Labels, buttons, panels

Qt::Alignment HorizontalAlignment(TAlignment A) {
  switch (A) {
    case taRightJustify: return Qt::AlignRight;
    case taCenter: return Qt::AlignHCenter;
    case taLeftJustify: break;
  }
  return Qt::AlignLeft;
}

class TLabelPeer : public TQtControlPeer {
 public:
  TLabelPeer(TLabel* Label, QWidget* Parent) : TQtControlPeer(Label, new QLabel(Parent)), Label_(Label) {}

 protected:
  void Apply(TPeerChange What) override {
    auto* L = static_cast<QLabel*>(Widget());
    switch (What) {
      case TPeerChange::Text: L->setText(ToQString(Label_->GetCaption())); return;
      case TPeerChange::Alignment: L->setAlignment(HorizontalAlignment(Label_->GetAlignment()) | Qt::AlignVCenter); return;
      default: TQtControlPeer::Apply(What);
    }
  }

 private:
  TLabel* Label_;
};

class TButtonPeer : public TQtControlPeer {
 public:
  TButtonPeer(TButton* Button, QWidget* Parent) : TQtControlPeer(Button, new QPushButton(Parent)), Button_(Button) {
    QObject::connect(static_cast<QPushButton*>(Widget()), &QPushButton::clicked, this,
                     [this] { Guarded(Button_, [&] { Button_->PeerClicked(); }); });
  }

 protected:
  void Apply(TPeerChange What) override {
    auto* B = static_cast<QPushButton*>(Widget());
    switch (What) {
      case TPeerChange::Text: B->setText(ToQString(Button_->GetCaption())); return;
      case TPeerChange::Style: B->setDefault(Button_->GetDefault()); return;
      default: TQtControlPeer::Apply(What);
    }
  }

 private:
  TButton* Button_;
};

class TSpeedButtonPeer : public TQtControlPeer {
 public:
  TSpeedButtonPeer(TSpeedButton* Button, QWidget* Parent)
      : TQtControlPeer(Button, new QToolButton(Parent)), Button_(Button) {
    auto* B = static_cast<QToolButton*>(Widget());
    B->setCheckable(true);
    B->setFocusPolicy(Qt::NoFocus);
    QObject::connect(B, &QToolButton::clicked, this, [this] {
      Guarded(Button_, [&] { Button_->PeerClicked(); });
      // Whether it stays down is the control's rule.
      Changed(TPeerChange::Style);
    });
  }

 protected:
  void Apply(TPeerChange What) override {
    auto* B = static_cast<QToolButton*>(Widget());
    switch (What) {
      case TPeerChange::Text: B->setText(ToQString(Button_->GetCaption())); return;
      case TPeerChange::Style:
        B->setAutoRaise(Button_->GetFlat());
        B->setChecked(Button_->GetDown());
        return;
      default: TQtControlPeer::Apply(What);
    }
  }

 private:
  TSpeedButton* Button_;
};

class TPanelPeer : public TQtControlPeer {
 public:
  TPanelPeer(TPanel* Panel, QWidget* Parent) : TQtControlPeer(Panel, new QFrame(Parent)), Panel_(Panel) {
    Caption_ = new QLabel(Widget());
    Caption_->lower();
  }

 protected:
  void Apply(TPeerChange What) override {
    auto* F = static_cast<QFrame*>(Widget());
    switch (What) {
      case TPeerChange::Text:
        Caption_->setText(ToQString(Panel_->GetCaption()));
        Caption_->setVisible(!Panel_->GetCaption().empty());
        return;
      case TPeerChange::Alignment:
        Caption_->setAlignment(HorizontalAlignment(Panel_->GetAlignment()) | Qt::AlignVCenter);
        return;
      case TPeerChange::Style:
        F->setFrameShape(Panel_->GetBevelOuter() == bvNone ? QFrame::NoFrame : QFrame::Panel);
        F->setFrameShadow(Panel_->GetBevelOuter() == bvLowered ? QFrame::Sunken : QFrame::Raised);
        F->setLineWidth(1);
        return;
      case TPeerChange::Bounds: {
        TQtControlPeer::Apply(What);
        const int M = Panel_->ClientMargin() + 2;
        Caption_->setGeometry(M, 0, std::max(Panel_->GetWidth() - 2 * M, 0), Panel_->GetHeight());
        return;
      }
      default: TQtControlPeer::Apply(What);
    }
  }

 private:
  TPanel* Panel_;
  QLabel* Caption_;
};

template <class TControlClass, class TPeerClass>
void Register() {
  TQtWidgetSet::RegisterPeer(TControlClass::StaticClass(), [](TControl* C, QWidget* Parent) {
    auto Peer = std::make_unique<TPeerClass>(static_cast<TControlClass*>(C), Parent);
    Peer->ApplyAll();
    return std::unique_ptr<TControlPeer>(std::move(Peer));
  });
}

void RegisterStandardPeers() {
  static const bool Done = [] {
    TQtWidgetSet::RegisterPeer(TCustomForm::StaticClass(), [](TControl* C, QWidget*) {
      auto Peer = std::make_unique<TFormPeer>(static_cast<TCustomForm*>(C));
      Peer->ApplyAll();
      return std::unique_ptr<TControlPeer>(std::move(Peer));
    });
    Register<TCustomEdit, TEditPeer>();
    Register<TLabel, TLabelPeer>();
    Register<TButton, TButtonPeer>();
    Register<TSpeedButton, TSpeedButtonPeer>();
    Register<TPanel, TPanelPeer>();
    RegisterGridPeer();
    RegisterChoicePeers();
    // Any other control: a plain widget that holds its children.
    TQtWidgetSet::RegisterPeer(TControl::StaticClass(), [](TControl* C, QWidget* Parent) {
      auto Peer = std::make_unique<TQtControlPeer>(C, new QWidget(Parent));
      Peer->ApplyAll();
      return std::unique_ptr<TControlPeer>(std::move(Peer));
    });
    return true;
  }();
  (void)Done;
}

}  // namespace
}  // namespace qtpeer

using namespace qtpeer;

TQtWidgetSet::TQtWidgetSet() : Context_(std::make_unique<QObject>()) {
  RegisterStandardPeers();
  QObject::connect(qApp, &QApplication::focusChanged, Context_.get(), [](QWidget*, QWidget* Now) {
    // Walk up to the nearest widget that shows a control (a view's viewport,
    // a combo's line edit).
    QWidget* W = Now;
    while (W && !PeerOfWidget().count(W)) W = W->parentWidget();
    if (!W) return;  // outside our windows, or a window switch
    auto* Win = dynamic_cast<TWinControl*>(PeerOfWidget()[W]->Control());
    if (!Win) return;
    FocusChanging = true;
    Guarded(Win, [&] { Win->PeerFocusIn(); });
    FocusChanging = false;
  });
  Previous_ = SetWidgetSet(this);
  PreviousMessage_ = SetShowMessageHandler([](const std::string& Msg) {
    QMessageBox::information(QApplication::activeWindow(), QCoreApplication::applicationName(), ToQString(Msg));
  });
  PreviousException_ = Application()->SetShowExceptionHandler([](const std::string& Msg) {
    // Shown once the event being handled is done, outside any focus change.
    QTimer::singleShot(0, [Text = ToQString(Msg)] {
      QMessageBox::critical(QApplication::activeWindow(), QCoreApplication::applicationName(), Text);
    });
  });
}

TQtWidgetSet::~TQtWidgetSet() {
  Application()->SetShowExceptionHandler(std::move(PreviousException_));
  SetShowMessageHandler(std::move(PreviousMessage_));
  if (WidgetSet() == this) SetWidgetSet(Previous_);
}

void TQtWidgetSet::RegisterPeer(TClass Class, TPeerFactory Factory) {
  auto& List = Factories();
  for (auto& Entry : List)
    if (Entry.first == Class) {
      Entry.second = std::move(Factory);
      return;
    }
  List.emplace_back(Class, std::move(Factory));
}

std::unique_ptr<TControlPeer> TQtWidgetSet::CreatePeer(TControl* Control) {
  QWidget* Parent = Control->GetParent() ? WidgetOf(Control->GetParent()) : nullptr;
  if (Control->GetParent() && !Parent) return nullptr;
  // The registration of the nearest class wins.
  for (TClass C = Control->ClassType(); C; C = C->Parent)
    for (auto& [Class, Factory] : Factories())
      if (Class == C) return Factory(Control, Parent);
  return nullptr;
}

void TQtWidgetSet::ProcessMessages() { QCoreApplication::processEvents(); }

std::string TQtWidgetSet::GetClipboardText() { return FromQString(QGuiApplication::clipboard()->text()); }

void TQtWidgetSet::SetClipboardText(const std::string& Text) { QGuiApplication::clipboard()->setText(ToQString(Text)); }

QWidget* TQtWidgetSet::WidgetOf(const TControl* Control) {
  auto* Peer = Control ? dynamic_cast<TQtControlPeer*>(Control->Peer()) : nullptr;
  return Peer ? Peer->Widget() : nullptr;
}

}  // namespace fyndra
