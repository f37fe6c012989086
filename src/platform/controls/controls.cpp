#include <fyndra/platform/controls/controls.h>

#include <algorithm>

#include <fyndra/platform/controls/forms.h>

namespace fyndra {

namespace {
TWidgetSet*& InstalledWidgetSet() {
  static TWidgetSet* Set = nullptr;
  return Set;
}
}  // namespace

TWidgetSet* SetWidgetSet(TWidgetSet* Value) { return std::exchange(InstalledWidgetSet(), Value); }
TWidgetSet* WidgetSet() { return InstalledWidgetSet(); }

// ---------------------------------------------------------------------------
// TControl

FYNDRA_PUBLISHED(TControl, P) {
  P.Property("Left", &TControl::GetLeft, &TControl::SetLeft).Default(0);
  P.Property("Top", &TControl::GetTop, &TControl::SetTop).Default(0);
  P.Property("Width", &TControl::GetWidth, &TControl::SetWidth).Default(0);
  P.Property("Height", &TControl::GetHeight, &TControl::SetHeight).Default(0);
  P.Property("Align", &TControl::GetAlign, &TControl::SetAlign).Default(alNone);
  P.Property("Visible", &TControl::GetVisible, &TControl::SetVisible).Default(true);
  P.Property("Enabled", &TControl::GetEnabled, &TControl::SetEnabled).Default(true);
  P.Property("Hint", &TControl::GetHint, &TControl::SetHint);
  P.Property("ShowHint", &TControl::GetShowHint, &TControl::SetShowHint).Default(false);
  P.Property("Color", &TControl::GetColor, &TControl::SetColor).Default(clDefault);
  P.Property("Font", &TControl::GetFont, &TControl::SetFont);
}

TControl::TControl(TComponent* Owner) : TComponent(Owner) {}

TControl::~TControl() = default;

void TControl::AfterConstruction() {
  TComponent::AfterConstruction();
  Font_ = CreateOwned<TFont>();
  Font_->OnChange = TNotifyEvent(this, &TControl::FontChanged);
}

void TControl::BeforeDestruction() {
  SetParent(nullptr);
  DestroyPeer();
  TComponent::BeforeDestruction();
}

void TControl::SetParent(TWinControl* Value) {
  if (Parent_ == Value) return;
  if (Value) {
    auto* Self = dynamic_cast<TWinControl*>(this);
    if (static_cast<TControl*>(Value) == this || (Self && Self->ContainsControl(Value)))
      throw EInvalidOperation("Control '" + GetName() + "' cannot be placed inside itself");
    if (dynamic_cast<TCustomForm*>(this))
      throw EInvalidOperation("Form '" + GetName() + "' cannot be placed inside another control");
  }
  if (TWinControl* Old = Parent_) {
    if (TCustomForm* Form = GetParentForm()) Form->ControlRemoving(this);
    DestroyPeer();
    Old->RemoveControl(this);
    if (Align_ != alNone && !Old->GetComponentState().Contains(csDestroying)) Old->Realign();
  }
  if (Value) {
    Value->InsertControl(this);
    if (Value->HandleAllocated()) CreatePeer();
    if (Align_ != alNone) Value->Realign();
  }
}

TCustomForm* TControl::GetParentForm() const {
  const TControl* C = this;
  while (C->Parent_) C = C->Parent_;
  return dynamic_cast<TCustomForm*>(const_cast<TControl*>(C));
}

void TControl::SetBounds(std::int32_t Left, std::int32_t Top, std::int32_t Width, std::int32_t Height) {
  Width = std::max(Width, 0);
  Height = std::max(Height, 0);
  if (Left == Left_ && Top == Top_ && Width == Width_ && Height == Height_) return;
  const bool Resized = Width != Width_ || Height != Height_;
  Left_ = Left;
  Top_ = Top;
  Width_ = Width;
  Height_ = Height;
  PeerChanged(TPeerChange::Bounds);
  if (Resized) BoundsChanged();
  if (Parent_ && Align_ != alNone) Parent_->Realign();
}

void TControl::SetAlign(TAlign Value) {
  if (Align_ == Value) return;
  Align_ = Value;
  if (Parent_) Parent_->Realign();
}

void TControl::SetVisible(bool Value) {
  if (Visible_ == Value) return;
  if (!Value)
    if (TCustomForm* Form = GetParentForm(); Form && Form != this) Form->ControlRemoving(this);
  Visible_ = Value;
  PeerChanged(TPeerChange::Visible);
  if (Parent_ && Align_ != alNone) Parent_->Realign();
}

bool TControl::IsShowing() const {
  for (const TControl* C = this; C; C = C->Parent_)
    if (!C->Visible_) return false;
  return true;
}

void TControl::SetEnabled(bool Value) {
  if (Enabled_ == Value) return;
  if (!Value)
    if (TCustomForm* Form = GetParentForm(); Form && Form != this) Form->ControlRemoving(this);
  Enabled_ = Value;
  PeerChanged(TPeerChange::Enabled);
}

void TControl::SetHint(const std::string& Value) {
  if (Hint_ == Value) return;
  Hint_ = Value;
  PeerChanged(TPeerChange::Hint);
}

void TControl::SetColor(TColor Value) {
  if (Color_ == Value) return;
  Color_ = Value;
  PeerChanged(TPeerChange::Color);
}

void TControl::SetText(const std::string& Value) {
  if (Text_ == Value) return;
  Text_ = Value;
  PeerChanged(TPeerChange::Text);
  TextChanged();
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

void TControl::PeerChanged(TPeerChange What) const {
  if (Peer_) Peer_->Changed(What);
}

void TControl::Invalidate() const {
  if (Peer_) Peer_->Invalidate();
}

TComponent* TControl::GetParentComponent() const { return Parent_; }

void TControl::SetParentComponent(TComponent* Value) {
  auto* Win = dynamic_cast<TWinControl*>(Value);
  if (Value && !Win)
    throw EInvalidOperation(Value->ClassName() + " cannot hold control '" + GetName() + "'");
  SetParent(Win);
}

void TControl::PeerBoundsChanged(std::int32_t Left, std::int32_t Top, std::int32_t Width, std::int32_t Height) {
  // The peer shows these already; only the children follow.
  Width = std::max(Width, 0);
  Height = std::max(Height, 0);
  const bool Resized = Width != Width_ || Height != Height_;
  Left_ = Left;
  Top_ = Top;
  Width_ = Width;
  Height_ = Height;
  if (Resized) BoundsChanged();
}

void TControl::CreatePeer() {
  if (Peer_ || !WidgetSet()) return;
  if (Parent_ && !Parent_->HandleAllocated()) return;
  Peer_ = WidgetSet()->CreatePeer(this);
}

void TControl::DestroyPeer() { Peer_.reset(); }

void TControl::FontChanged(TObject*) { PeerChanged(TPeerChange::Font); }

// ---------------------------------------------------------------------------
// TWinControl

FYNDRA_PUBLISHED(TWinControl, P) {
  P.Property("TabOrder", &TWinControl::GetTabOrder, &TWinControl::SetTabOrder).Default(-1);
  P.Property("TabStop", &TWinControl::GetTabStop, &TWinControl::SetTabStop).Default(false);
  P.Property("OnEnter", &TWinControl::OnEnter);
  P.Property("OnExit", &TWinControl::OnExit);
  P.Property("OnKeyDown", &TWinControl::OnKeyDown);
  P.Property("OnKeyPress", &TWinControl::OnKeyPress);
}

void TWinControl::BeforeDestruction() {
  // Children leave (their peers with them) before this control's peer goes;
  // their owner frees them.
  while (!Controls_.empty()) Controls_.back()->SetParent(nullptr);
  TControl::BeforeDestruction();
}

bool TWinControl::ContainsControl(const TControl* Control) const {
  for (const TControl* C = Control; C; C = C->Parent_)
    if (C == this) return true;
  return false;
}

void TWinControl::InsertControl(TControl* Control) {
  Controls_.push_back(Control);
  Control->Parent_ = this;
  if (auto* Win = dynamic_cast<TWinControl*>(Control)) TabList_.push_back(Win);
  PeerChanged(TPeerChange::TabOrder);
}

void TWinControl::RemoveControl(TControl* Control) {
  std::erase(Controls_, Control);
  if (auto* Win = dynamic_cast<TWinControl*>(Control)) std::erase(TabList_, Win);
  Control->Parent_ = nullptr;
  PeerChanged(TPeerChange::TabOrder);
}

std::int32_t TWinControl::GetTabOrder() const {
  if (!Parent_) return -1;
  const auto& L = Parent_->TabList_;
  auto It = std::find(L.begin(), L.end(), this);
  return It == L.end() ? -1 : static_cast<std::int32_t>(It - L.begin());
}

void TWinControl::SetTabOrder(std::int32_t Value) {
  if (!Parent_ || Value < 0) return;
  auto& L = Parent_->TabList_;
  std::erase(L, this);
  L.insert(L.begin() + std::min<std::size_t>(std::size_t(Value), L.size()), this);
  Parent_->PeerChanged(TPeerChange::TabOrder);
}

void TWinControl::GetTabOrderList(std::vector<TWinControl*>& List) const {
  for (TWinControl* C : TabList_) {
    List.push_back(C);
    C->GetTabOrderList(List);
  }
}

bool TWinControl::CanFocus() const {
  TCustomForm* Form = GetParentForm();
  if (!Form) return false;
  for (const TControl* C = this; C; C = C->Parent_)
    if (!C->Visible_ || !C->Enabled_) return false;
  return true;
}

void TWinControl::SetFocus() {
  TCustomForm* Form = GetParentForm();
  if (!CanFocus()) throw EInvalidOperation("Cannot focus a disabled or invisible window ('" + GetName() + "')");
  Form->SetFocusedControl(this);
}

bool TWinControl::Focused() const {
  TCustomForm* Form = GetParentForm();
  return Form && Form->GetActiveControl() == this;
}

void TWinControl::HandleNeeded() {
  if (HandleAllocated() || !WidgetSet()) return;
  if (Parent_) {
    Parent_->HandleNeeded();
    if (HandleAllocated()) return;  // the parent made the children's peers
  }
  CreatePeer();
}

void TWinControl::DoEnter() {
  if (OnEnter) OnEnter(this);
}

void TWinControl::DoExit() {
  if (OnExit) OnExit(this);
}

void TWinControl::KeyDown(std::uint16_t& Key, TShiftState Shift) {
  if (OnKeyDown) OnKeyDown(this, Key, Shift);
}

void TWinControl::KeyPress(char32_t& Key) {
  if (OnKeyPress) OnKeyPress(this, Key);
}

void TWinControl::PeerFocusIn() {
  if (TCustomForm* Form = GetParentForm()) Form->SetFocusedControl(this);
}

bool TWinControl::PeerKeyDown(std::uint16_t Key, TShiftState Shift) {
  std::uint16_t K = Key;
  KeyDown(K, Shift);
  if (K == 0) return true;
  if ((K == VK_RETURN || K == VK_ESCAPE) && Shift.Empty())
    if (TCustomForm* Form = GetParentForm(); Form && Form->DialogKey(K)) return true;
  return false;
}

bool TWinControl::PeerKeyPress(char32_t Key) {
  char32_t K = Key;
  KeyPress(K);
  return K == 0;
}

void TWinControl::Realign() {
  if (Aligning_) return;
  Aligning_ = true;
  struct TRect {
    std::int32_t L, T, R, B;
  } Rect{ClientMargin(), ClientMargin(), GetClientWidth() - ClientMargin(), GetClientHeight() - ClientMargin()};
  try {
    for (TAlign A : {alTop, alBottom, alLeft, alRight, alClient}) {
      for (TControl* C : std::vector<TControl*>(Controls_)) {
        if (C->Align_ != A || !C->Visible_) continue;
        const std::int32_t W = std::max(Rect.R - Rect.L, 0), H = std::max(Rect.B - Rect.T, 0);
        switch (A) {
          case alTop:
            C->SetBounds(Rect.L, Rect.T, W, C->Height_);
            Rect.T += C->Height_;
            break;
          case alBottom:
            C->SetBounds(Rect.L, Rect.B - C->Height_, W, C->Height_);
            Rect.B -= C->Height_;
            break;
          case alLeft:
            C->SetBounds(Rect.L, Rect.T, C->Width_, H);
            Rect.L += C->Width_;
            break;
          case alRight:
            C->SetBounds(Rect.R - C->Width_, Rect.T, C->Width_, H);
            Rect.R -= C->Width_;
            break;
          case alClient: C->SetBounds(Rect.L, Rect.T, W, H); break;
          case alNone: break;
        }
      }
    }
  } catch (...) {
    Aligning_ = false;
    throw;
  }
  Aligning_ = false;
}

void TWinControl::GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) {
  for (TControl* C : std::vector<TControl*>(Controls_))
    if (C->Owner() == Root) Proc(C);
}

void TWinControl::SetChildOrder(TComponent* Child, int Order) {
  auto* Control = dynamic_cast<TControl*>(Child);
  if (!Control || Control->Parent_ != this) {
    TControl::SetChildOrder(Child, Order);
    return;
  }
  if (Order < 0) return;
  // Order counts the children GetChildren lists (a form lists its other
  // components before its controls).
  std::vector<TControl*> Listed;
  int Before = 0;
  GetChildren(
      [&](TComponent* C) {
        if (auto* K = dynamic_cast<TControl*>(C); K && K->Parent_ == this)
          Listed.push_back(K);
        else if (Listed.empty())
          ++Before;
      },
      Child->Owner());
  if (Listed.empty()) return;
  const std::size_t Target = std::min(static_cast<std::size_t>(std::max(Order - Before, 0)), Listed.size() - 1);
  // Taking the place of the control listed at Target puts Control there,
  // whether it moves up or down.
  const auto To = std::find(Controls_.begin(), Controls_.end(), Listed[Target]) - Controls_.begin();
  std::erase(Controls_, Control);
  Controls_.insert(Controls_.begin() + To, Control);
  Realign();
}

void TWinControl::CreatePeer() {
  TControl::CreatePeer();
  if (!HandleAllocated()) return;
  for (TControl* C : std::vector<TControl*>(Controls_)) C->CreatePeer();
  PeerChanged(TPeerChange::TabOrder);
}

void TWinControl::DestroyPeer() {
  for (TControl* C : Controls_) C->DestroyPeer();
  TControl::DestroyPeer();
}

FYNDRA_IMPLEMENT_CLASS(TGraphicControl)

}  // namespace fyndra
