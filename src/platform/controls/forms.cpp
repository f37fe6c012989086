#include <fyndra/platform/controls/forms.h>

#include <algorithm>

#include <fyndra/platform/controls/stdctrls.h>
#include <fyndra/platform/rtl/dialogs.h>

namespace fyndra {

// ---------------------------------------------------------------------------
// TCustomForm

FYNDRA_PUBLISHED(TCustomForm, P) {
  // A form is sized by its client area; Width and Height follow it.
  P.Property("Width", &TCustomForm::GetWidth, &TCustomForm::SetWidth).Stored(false);
  P.Property("Height", &TCustomForm::GetHeight, &TCustomForm::SetHeight).Stored(false);
  P.Property("Visible", &TCustomForm::GetVisible, &TCustomForm::SetVisible).Default(false);
  P.Property("Caption", &TCustomForm::GetCaption, &TCustomForm::SetCaption);
  P.Property("ClientWidth", &TCustomForm::GetClientWidth, &TCustomForm::SetClientWidth).Default(0);
  P.Property("ClientHeight", &TCustomForm::GetClientHeight, &TCustomForm::SetClientHeight).Default(0);
  P.Property("Position", &TCustomForm::GetPosition, &TCustomForm::SetPosition).Default(poDesigned);
  P.Property("ActiveControl", &TCustomForm::GetActiveControl, &TCustomForm::SetActiveControl);
}

FYNDRA_REGISTER_CLASS(TForm);
FYNDRA_IMPLEMENT_CLASS(TForm)

TCustomForm::TCustomForm(TComponent* Owner) : TWinControl(Owner) { Visible_ = false; }

void TCustomForm::SetPosition(TPosition Value) {
  if (Position_ == Value) return;
  Position_ = Value;
  PeerChanged(TPeerChange::Bounds);
}

void TCustomForm::SetActiveControl(TWinControl* Value) {
  if (Value == ActiveControl_) return;
  if (Value && Value->GetParentForm() != this && !GetComponentState().Contains(csLoading))
    throw EInvalidOperation("Control '" + Value->GetName() + "' is not on form '" + GetName() + "'");
  if (GetComponentState().Contains(csLoading) || !GetVisible()) {
    // Entered when the form is shown.
    ActiveControl_ = Value;
    Entered_ = false;
    return;
  }
  if (Value && !Value->CanFocus())
    throw EInvalidOperation("Cannot focus a disabled or invisible window ('" + Value->GetName() + "')");
  SetFocusedControl(Value);
}

void TCustomForm::SetFocusedControl(TWinControl* Control) {
  if (Changing_) {
    Pending_ = Control;
    HasPending_ = true;
    return;
  }
  if (Control && Control->GetParentForm() != this) return;
  TWinControl* Old = Entered_ ? ActiveControl_ : nullptr;
  if (Control == Old) {
    SyncPeerFocus();
    return;
  }
  ActiveControl_ = Control;
  Entered_ = false;
  Changing_ = true;
  HasPending_ = false;
  Pending_ = nullptr;
  try {
    if (Old && !Old->GetComponentState().Contains(csDestroying)) Old->FocusLeaving();
  } catch (...) {
    Changing_ = false;
    // Refused: the focus stays on the control left, or goes where its exit
    // handling sent it.
    ActiveControl_ = HasPending_ ? Pending_ : Old;
    Entered_ = ActiveControl_ != nullptr;
    HasPending_ = false;
    SyncPeerFocus();
    throw;
  }
  Changing_ = false;
  if (HasPending_ && Pending_ != Control) {
    // The exit handling moved the focus elsewhere.
    HasPending_ = false;
    ActiveControl_ = Pending_;
    Entered_ = ActiveControl_ != nullptr;
    SyncPeerFocus();
    if (ActiveControl_ && ActiveControl_ != Old) ActiveControl_->DoEnter();
    return;
  }
  HasPending_ = false;
  Entered_ = Control != nullptr;
  SyncPeerFocus();
  if (Control) Control->DoEnter();
}

void TCustomForm::SyncPeerFocus() {
  if (ActiveControl_ && ActiveControl_->Peer() && !ActiveControl_->Peer()->Focused()) ActiveControl_->Peer()->SetFocus();
}

void TCustomForm::ControlRemoving(TControl* Control) {
  auto* Win = dynamic_cast<TWinControl*>(Control);
  if (ActiveControl_ && ((Win && Win->ContainsControl(ActiveControl_)) || Control == ActiveControl_)) {
    ActiveControl_ = nullptr;
    Entered_ = false;
  }
  if (Pending_ && ((Win && Win->ContainsControl(Pending_)) || Control == Pending_)) Pending_ = nullptr;
}

void TCustomForm::Notification(TComponent* Component, TOperation Operation) {
  TWinControl::Notification(Component, Operation);
  if (Operation == opRemove) {
    if (Component == ActiveControl_) {
      ActiveControl_ = nullptr;
      Entered_ = false;
    }
    if (Component == Pending_) Pending_ = nullptr;
  }
}

TWinControl* TCustomForm::FindNextControl(TWinControl* Current, bool GoForward) const {
  std::vector<TWinControl*> List;
  GetTabOrderList(List);
  if (List.empty()) return nullptr;
  const auto N = static_cast<std::ptrdiff_t>(List.size());
  auto It = std::find(List.begin(), List.end(), Current);
  std::ptrdiff_t Start = It == List.end() ? (GoForward ? -1 : N) : It - List.begin();
  for (std::ptrdiff_t Step = 1; Step <= N; ++Step) {
    std::ptrdiff_t I = ((Start + (GoForward ? Step : -Step)) % N + N) % N;
    TWinControl* C = List[std::size_t(I)];
    if (C->GetTabStop() && C->CanFocus() && C != Current) return C;
  }
  return nullptr;
}

void TCustomForm::SelectNext(TWinControl* Current, bool GoForward) {
  if (TWinControl* Next = FindNextControl(Current, GoForward)) Next->SetFocus();
}

bool TCustomForm::DialogKey(std::uint16_t Key) {
  std::vector<TWinControl*> List;
  GetTabOrderList(List);
  for (TWinControl* C : List) {
    auto* Button = dynamic_cast<TButton*>(C);
    if (!Button || !Button->CanFocus()) continue;
    if ((Key == VK_RETURN && Button->GetDefault()) || (Key == VK_ESCAPE && Button->GetCancel())) {
      Button->Click();
      return true;
    }
  }
  return false;
}

void TCustomForm::SetModalResult(TModalResult Value) { ModalResult_ = Value; }

TModalResult TCustomForm::ShowModal() {
  if (!WidgetSet()) throw EInvalidOperation("Cannot show form '" + GetName() + "' modally without a window system");
  if (GetVisible() || Modal_) throw EInvalidOperation("Cannot make a visible window modal ('" + GetName() + "')");
  ModalResult_ = mrNone;
  Modal_ = true;
  try {
    SetVisible(true);
    if (Peer()) Peer()->RunModal();
  } catch (...) {
    Modal_ = false;
    SetVisible(false);
    throw;
  }
  Modal_ = false;
  SetVisible(false);
  if (ModalResult_ == mrNone) ModalResult_ = mrCancel;
  return ModalResult_;
}

void TCustomForm::Close() {
  if (Modal_) {
    if (ModalResult_ == mrNone) ModalResult_ = mrCancel;
    return;
  }
  SetVisible(false);
}

void TCustomForm::SetVisible(bool Value) {
  if (Value == GetVisible()) return;
  if (Value) HandleNeeded();
  TWinControl::SetVisible(Value);
  if (Value && !GetComponentState().Contains(csLoading)) EnterFirst();
}

void TCustomForm::EnterFirst() {
  if (Entered_ && ActiveControl_) return;
  TWinControl* Target = ActiveControl_;
  if (!Target || !Target->CanFocus()) Target = FindNextControl(nullptr, true);
  ActiveControl_ = nullptr;
  if (Target) SetFocusedControl(Target);
}

void TCustomForm::SetFocus() {
  if (ActiveControl_ && ActiveControl_->CanFocus()) ActiveControl_->SetFocus();
}

bool TCustomForm::CanFocus() const { return GetVisible() && GetEnabled(); }

void TCustomForm::Loaded() {
  TWinControl::Loaded();
  if (GetVisible()) EnterFirst();
}

void TCustomForm::GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) {
  for (int I = 0; I < ComponentCount(); ++I) {
    TComponent* C = Components(I);
    if (!C->HasParent() && !C->GetComponentStyle().Contains(csSubComponent)) Proc(C);
  }
  TWinControl::GetChildren(Proc, Root);
}

void TCustomForm::BeforeDestruction() {
  ActiveControl_ = nullptr;
  Pending_ = nullptr;
  TWinControl::BeforeDestruction();
}

// ---------------------------------------------------------------------------
// TApplication

TApplication* Application() {
  static TApplication App;
  return &App;
}

void TApplication::HandleException(TObject* Sender) {
  std::exception_ptr P = std::current_exception();
  if (!P) return;
  try {
    std::rethrow_exception(P);
  } catch (const std::exception& E) {
    if (OnException && !Handling_) {
      Handling_ = true;
      try {
        OnException(Sender, E);
      } catch (const std::exception& Inner) {
        Handling_ = false;
        ShowException(Inner);
        return;
      } catch (...) {
        Handling_ = false;
        return;
      }
      Handling_ = false;
    } else {
      ShowException(E);
    }
  } catch (...) {
    ShowException(Exception("An unknown error occurred"));
  }
}

void TApplication::ShowException(const std::exception& E) {
  std::string Msg = E.what();
  if (ShowException_) {
    ShowException_(Msg);
    return;
  }
  ShowMessage(Msg);
}

TShowExceptionHandler TApplication::SetShowExceptionHandler(TShowExceptionHandler Handler) {
  return std::exchange(ShowException_, std::move(Handler));
}

void TApplication::ProcessMessages() {
  if (TWidgetSet* W = WidgetSet()) W->ProcessMessages();
}

}  // namespace fyndra
