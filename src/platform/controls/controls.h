// The toolkit-neutral control layer: TControl and TWinControl, and the peer
// interface through which a toolkit shows them.
//
// A control owns its state and its rules (text, focus order, the Change and
// DoExit order, alignment, data links). A peer, made by the installed widget
// set, only creates the native widget, shows the control's state and reports
// native events back as calls into the control (the Peer... operations). A
// control works without a peer: every rule can be exercised headless, and
// the peer is made when the control gets a parent that has one (a form makes
// its own when it is shown or asked with HandleNeeded).
//
// Echo: a peer applies state pushed by the control without reporting it back
// (the widget set does that in one place); a report that matches the
// control's state is ignored by the control.
//
// Ownership: controls are components, freed by their owner (the form for
// controls read from a form file). Parent and owner are independent: a parent
// only lists its child controls; when a parent goes, its children leave it
// (their peers go with the parent's) but live on until their owner frees them.
// A peer belongs to its control.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <fyndra/platform/classes/classes.h>
#include <fyndra/platform/controls/graphics.h>

namespace fyndra {

class TControl;
class TWinControl;
class TCustomForm;

// Virtual key codes of the keys the controls act on.
inline constexpr std::uint16_t VK_BACK = 8;
inline constexpr std::uint16_t VK_TAB = 9;
inline constexpr std::uint16_t VK_RETURN = 13;
inline constexpr std::uint16_t VK_ESCAPE = 27;
inline constexpr std::uint16_t VK_END = 35;
inline constexpr std::uint16_t VK_HOME = 36;
inline constexpr std::uint16_t VK_LEFT = 37;
inline constexpr std::uint16_t VK_UP = 38;
inline constexpr std::uint16_t VK_RIGHT = 39;
inline constexpr std::uint16_t VK_DOWN = 40;
inline constexpr std::uint16_t VK_INSERT = 45;
inline constexpr std::uint16_t VK_DELETE = 46;

enum TShiftStateItem : std::uint8_t { ssShift, ssAlt, ssCtrl };
FYNDRA_ENUM_NAMES(TShiftStateItem, ssShift, ssAlt, ssCtrl)
using TShiftState = TSet<TShiftStateItem>;

using TKeyEvent = TEvent<void(TObject* Sender, std::uint16_t& Key, TShiftState Shift)>;
// Key is the typed character; a handler sets it to 0 to swallow it.
using TKeyPressEvent = TEvent<void(TObject* Sender, char32_t& Key)>;

enum TAlign : std::uint8_t { alNone, alTop, alBottom, alLeft, alRight, alClient };
FYNDRA_ENUM_NAMES(TAlign, alNone, alTop, alBottom, alLeft, alRight, alClient)
enum TAlignment : std::uint8_t { taLeftJustify, taRightJustify, taCenter };
FYNDRA_ENUM_NAMES(TAlignment, taLeftJustify, taRightJustify, taCenter)

// What changed in a control's state, for its peer to show.
enum class TPeerChange : std::uint8_t {
  Bounds,
  Visible,
  Enabled,
  Hint,
  Font,
  Color,
  Text,        // an edit's text or a caption
  Selection,   // an edit's selection or caret
  ReadOnly,
  MaxLength,
  PasswordChar,
  TabOrder,    // the tab order among a parent's children
  Alignment,
  Style,       // anything else of the control's look (bevels, flat, default button)
  Data         // a data-bound control's rows or values
};

// The toolkit side of one control. Made by the widget set, owned by the control.
class TControlPeer {
 public:
  virtual ~TControlPeer() = default;
  TControlPeer(const TControlPeer&) = delete;
  TControlPeer& operator=(const TControlPeer&) = delete;

  TControl* Control() const { return Control_; }
  // Shows the control's current state for What.
  virtual void Changed(TPeerChange What) = 0;
  // Gives the native widget the keyboard focus.
  virtual void SetFocus() {}
  // Whether the native widget has the focus within its window.
  virtual bool Focused() const { return false; }
  // Asks for a repaint.
  virtual void Invalidate() {}
  // Forms: runs until the control's ModalResult is set or the window closes.
  virtual void RunModal() {}

 protected:
  explicit TControlPeer(TControl* Control) : Control_(Control) {}

 private:
  TControl* Control_;
};

// A toolkit: makes the peers. One is installed per process (by the toolkit's
// layer); without one, controls run headless.
class TWidgetSet {
 public:
  virtual ~TWidgetSet() = default;
  // A peer for Control, whose parent (when it has one) has its peer already;
  // null when the toolkit shows nothing for it.
  virtual std::unique_ptr<TControlPeer> CreatePeer(TControl* Control) = 0;
  // Handles pending native events and returns.
  virtual void ProcessMessages() {}
  // The clipboard's text (empty when it holds none).
  virtual std::string GetClipboardText() { return {}; }
  virtual void SetClipboardText(const std::string& /*Text*/) {}
};

// Installs WidgetSet (not owned; null: headless) and returns the previous one.
// Controls made before keep the peers they have.
TWidgetSet* SetWidgetSet(TWidgetSet* WidgetSet);
TWidgetSet* WidgetSet();

class TControl : public TComponent {
  FYNDRA_CLASS(TControl, TComponent)
 public:
  void AfterConstruction() override;
  void BeforeDestruction() override;
  ~TControl() override;

  TWinControl* GetParent() const { return Parent_; }
  // Moves the control into Value's children (null: out of any parent). The
  // control gets a peer when the new parent has one and loses its peer when
  // the parent has none. Raises EInvalidOperation for a parent inside this
  // control or the control itself.
  virtual void SetParent(TWinControl* Value);
  // The form the control sits on (itself for a form), or null.
  TCustomForm* GetParentForm() const;

  std::int32_t GetLeft() const { return Left_; }
  void SetLeft(std::int32_t Value) { SetBounds(Value, Top_, Width_, Height_); }
  std::int32_t GetTop() const { return Top_; }
  void SetTop(std::int32_t Value) { SetBounds(Left_, Value, Width_, Height_); }
  std::int32_t GetWidth() const { return Width_; }
  void SetWidth(std::int32_t Value) { SetBounds(Left_, Top_, Value, Height_); }
  std::int32_t GetHeight() const { return Height_; }
  void SetHeight(std::int32_t Value) { SetBounds(Left_, Top_, Width_, Value); }
  // Negative sizes become 0. Realigns the parent's aligned children.
  virtual void SetBounds(std::int32_t Left, std::int32_t Top, std::int32_t Width, std::int32_t Height);
  virtual std::int32_t GetClientWidth() const { return Width_; }
  virtual std::int32_t GetClientHeight() const { return Height_; }
  void SetClientWidth(std::int32_t Value) { SetWidth(Value); }
  void SetClientHeight(std::int32_t Value) { SetHeight(Value); }

  TAlign GetAlign() const { return Align_; }
  void SetAlign(TAlign Value);
  bool GetVisible() const { return Visible_; }
  virtual void SetVisible(bool Value);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // Visible here and in every parent.
  bool IsShowing() const;
  bool GetEnabled() const { return Enabled_; }
  virtual void SetEnabled(bool Value);
  const std::string& GetHint() const { return Hint_; }
  void SetHint(const std::string& Value);
  bool GetShowHint() const { return ShowHint_; }
  void SetShowHint(bool Value) { ShowHint_ = Value; }
  TFont* GetFont() const { return Font_.get(); }
  void SetFont(TFont* Value) { Font_->Assign(Value); }
  TColor GetColor() const { return Color_; }
  void SetColor(TColor Value);

  // The caption of labels, buttons, panels and forms; the text of edits.
  std::string GetCaption() const { return GetText(); }
  void SetCaption(const std::string& Value) { SetText(Value); }
  virtual std::string GetText() const { return Text_; }
  virtual void SetText(const std::string& Value);
  // The text as the control shows it (a masked edit's edit text).
  const std::string& GetDisplayText() const { return Text_; }

  // Runs OnClick.
  virtual void Click();

  TControlPeer* Peer() const { return Peer_.get(); }
  bool HandleAllocated() const { return Peer_ != nullptr; }
  // Tells the peer (if any) to show What.
  void PeerChanged(TPeerChange What) const;
  void Invalidate() const;

  // Streaming: a control read inside another one becomes its child.
  bool HasParent() const override { return true; }
  TComponent* GetParentComponent() const override;
  void SetParentComponent(TComponent* Value) override;

  TNotifyEvent OnClick;

  // ---- peer reports
  // The user moved or resized the native widget.
  void PeerBoundsChanged(std::int32_t Left, std::int32_t Top, std::int32_t Width, std::int32_t Height);
  void PeerClicked() { Click(); }

 protected:
  explicit TControl(TComponent* Owner);

  // Makes the peer through the widget set (when there is one and the parent
  // has a peer), then the peers of the children.
  virtual void CreatePeer();
  // Frees the peers of the children, then this control's.
  virtual void DestroyPeer();
  // The parent's children list changed or this control was realigned.
  virtual void BoundsChanged() {}
  // Text_ changed (by code or by the user).
  virtual void TextChanged() {}
  void SetTextSilently(const std::string& Value) { Text_ = Value; }
  virtual void FontChanged(TObject* Sender);

  friend class TWinControl;
  TWinControl* Parent_ = nullptr;
  std::int32_t Left_ = 0, Top_ = 0, Width_ = 0, Height_ = 0;
  TAlign Align_ = alNone;
  bool Visible_ = true;
  bool Enabled_ = true;
  bool ShowHint_ = false;
  std::string Hint_;
  std::string Text_;
  TColor Color_ = clDefault;
  TOwned<TFont> Font_;
  std::unique_ptr<TControlPeer> Peer_;
};

// A control that can hold children and take the keyboard focus.
class TWinControl : public TControl {
  FYNDRA_CLASS(TWinControl, TControl)
 public:
  void BeforeDestruction() override;

  int ControlCount() const { return static_cast<int>(Controls_.size()); }
  TControl* Controls(int Index) const { return Controls_.at(std::size_t(Index)); }
  const std::vector<TControl*>& GetControls() const { return Controls_; }
  // Whether Control is this control or lies inside it.
  bool ContainsControl(const TControl* Control) const;

  // The position among the parent's focusable children; -1 until it has a
  // parent. Setting it moves the control there, the others shift.
  std::int32_t GetTabOrder() const;
  void SetTabOrder(std::int32_t Value);
  bool GetTabStop() const { return TabStop_; }
  void SetTabStop(bool Value) { TabStop_ = Value; }
  // Children that can take the focus, in tab order, depth first.
  void GetTabOrderList(std::vector<TWinControl*>& List) const;

  // Showing and enabled up to its form, and the form is shown.
  virtual bool CanFocus() const;
  // Gives the control the focus: the form's focus moves here (exit and enter
  // events run); the peer follows. Raises EInvalidOperation when it cannot.
  virtual void SetFocus();
  // Whether the control is its form's focused control.
  bool Focused() const;
  // Makes the peer now (and its parents'); nothing without a widget set.
  void HandleNeeded();

  // Enter, exit and key handling. Overrides of DoEnter/DoExit call the
  // inherited one (which fires the event) first.
  virtual void DoEnter();
  virtual void DoExit();
  // Called by the form when the focus leaves this control: DoExit here;
  // controls that check their input first (masked edits) do it before.
  virtual void FocusLeaving() { DoExit(); }
  // Keys reach KeyDown then, for characters, KeyPress; each runs the event
  // first. A key set to 0 is consumed.
  virtual void KeyDown(std::uint16_t& Key, TShiftState Shift);
  virtual void KeyPress(char32_t& Key);

  TNotifyEvent OnEnter, OnExit;
  TKeyEvent OnKeyDown;
  TKeyPressEvent OnKeyPress;

  // ---- peer reports
  // The native widget got the focus within its window.
  void PeerFocusIn();
  // A key went down or a character was typed. Returns true when the control
  // consumed it (the native widget must then not act on it).
  bool PeerKeyDown(std::uint16_t Key, TShiftState Shift);
  bool PeerKeyPress(char32_t Key);

  // Lays out the aligned children in the client area, inside ClientMargin.
  void Realign();
  // Room kept free along each edge of the client area (borders, bevels).
  virtual std::int32_t ClientMargin() const { return 0; }
  void GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) override;
  // A child control moves among this control's children (the order the
  // aligned ones are laid out in); other components are ordered as owned.
  void SetChildOrder(TComponent* Child, int Order) override;

 protected:
  explicit TWinControl(TComponent* Owner) : TControl(Owner) {}
  void CreatePeer() override;
  void DestroyPeer() override;
  void BoundsChanged() override { Realign(); }

 private:
  friend class TControl;
  void InsertControl(TControl* Control);
  void RemoveControl(TControl* Control);
  std::vector<TControl*> Controls_;
  std::vector<TWinControl*> TabList_;
  bool TabStop_ = false;
  bool Aligning_ = false;
};

// A control without a window of its own (labels, speed buttons).
class TGraphicControl : public TControl {
  FYNDRA_CLASS(TGraphicControl, TControl)
 protected:
  explicit TGraphicControl(TComponent* Owner) : TControl(Owner) {}
};

}  // namespace fyndra
