// Forms and the application object.
//
// A form is the top-level window: it owns the controls read from its form
// file, keeps the focused control and runs the focus rule (the control being
// left gets its exit handling first; when that refuses by raising, the focus
// stays where it was), finds the default and cancel buttons for Enter and
// Escape, and runs modal.
//
// The application object is process-wide. Exceptions that reach a peer's
// event handler go to Application()->HandleException, which shows them
// (OnException when set, else the installed exception presenter, by default
// ShowMessage); nothing is ever thrown into a toolkit's event loop.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

#include <fyndra/platform/controls/controls.h>

namespace fyndra {

using TModalResult = std::int32_t;
inline constexpr TModalResult mrNone = 0;
inline constexpr TModalResult mrOk = 1;
inline constexpr TModalResult mrCancel = 2;
inline constexpr TModalResult mrAbort = 3;
inline constexpr TModalResult mrRetry = 4;
inline constexpr TModalResult mrIgnore = 5;
inline constexpr TModalResult mrYes = 6;
inline constexpr TModalResult mrNo = 7;

enum TPosition : std::uint8_t {
  poDesigned,
  poDefault,
  poDefaultPosOnly,
  poDefaultSizeOnly,
  poScreenCenter,
  poDesktopCenter,
  poMainFormCenter,
  poOwnerFormCenter
};
FYNDRA_ENUM_NAMES(TPosition, poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter,
                  poDesktopCenter, poMainFormCenter, poOwnerFormCenter)

class TCustomForm : public TWinControl {
  FYNDRA_CLASS(TCustomForm, TWinControl)
 public:
  TPosition GetPosition() const { return Position_; }
  void SetPosition(TPosition Value);

  // The control that has (or, while the form is hidden, will get) the focus.
  TWinControl* GetActiveControl() const { return ActiveControl_; }
  // Moves the focus there when the form is shown (with exit and enter
  // handling), else remembers it. Raises EInvalidOperation for a control of
  // another form, or one that cannot take the focus while the form is shown.
  void SetActiveControl(TWinControl* Value);
  // The focus rule. Control (null: none) becomes the focused control: the
  // control left runs FocusLeaving (its exit handling), then Control runs
  // DoEnter. When the exit handling raises, the focus stays on the control
  // left (or goes where that handling sent it) and the exception passes on.
  // Re-entered from inside an exit handler (a SetFocus there), it only
  // records where the focus is to go.
  void SetFocusedControl(TWinControl* Control);
  // The next (or previous) control in tab order after Current that can take
  // the focus and is a tab stop; wraps around; null when there is none.
  TWinControl* FindNextControl(TWinControl* Current, bool GoForward) const;
  void SelectNext(TWinControl* Current, bool GoForward);
  // Enter runs the default button's click, Escape the cancel button's; true
  // when a button took the key.
  bool DialogKey(std::uint16_t Key);

  TModalResult GetModalResult() const { return ModalResult_; }
  void SetModalResult(TModalResult Value);
  // Shows the form and runs the toolkit until ModalResult is set or the form
  // is closed; returns the modal result. Raises EInvalidOperation without a
  // widget set (a headless form cannot wait for a user) or when the form is
  // already showing.
  TModalResult ShowModal();
  bool IsModal() const { return Modal_; }
  // Ends a modal run with mrCancel; hides a modeless form.
  void Close();

  void SetVisible(bool Value) override;
  void SetFocus() override;
  bool CanFocus() const override;
  bool HasParent() const override { return false; }
  // Components that have no parent first (in creation order), then the
  // form's own controls in order; each control names its children.
  void GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) override;
  void BeforeDestruction() override;

  // ---- peer reports
  // The user asked to close the window.
  void PeerCloseRequested() { Close(); }

  // A control inside the form is leaving it (or going): forget the focus
  // there without exit handling.
  void ControlRemoving(TControl* Control);

 protected:
  explicit TCustomForm(TComponent* Owner);
  void Loaded() override;
  void Notification(TComponent* Component, TOperation Operation) override;

 private:
  // Gives the native focus to the focused control when the peer does not
  // have it there already.
  void SyncPeerFocus();
  // The first control to focus when the form is shown without an active control.
  void EnterFirst();

  TPosition Position_ = poDesigned;
  TWinControl* ActiveControl_ = nullptr;  // a child; not owned
  bool Entered_ = false;                  // ActiveControl_ has had its DoEnter
  bool Changing_ = false;
  bool HasPending_ = false;
  TWinControl* Pending_ = nullptr;
  TModalResult ModalResult_ = mrNone;
  bool Modal_ = false;
};

class TForm : public TCustomForm {
  FYNDRA_CLASS(TForm, TCustomForm)
 protected:
  explicit TForm(TComponent* Owner) : TCustomForm(Owner) {}
};

using TExceptionEvent = TEvent<void(TObject* Sender, const std::exception& E)>;
using TShowExceptionHandler = std::function<void(const std::string& Message)>;

class TApplication {
 public:
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  // Shows the exception being handled (call inside a catch block): the
  // OnException handler when set, else ShowException. A handler that raises
  // is shown the same way, once.
  void HandleException(TObject* Sender);
  void ShowException(const std::exception& E);
  // Installs the presenter of exceptions (an empty one restores the default,
  // ShowMessage) and returns the previous one.
  TShowExceptionHandler SetShowExceptionHandler(TShowExceptionHandler Handler);
  void ProcessMessages();

  TExceptionEvent OnException;

 private:
  friend TApplication* Application();
  TApplication() = default;
  TShowExceptionHandler ShowException_;
  bool Handling_ = false;
};

// The application object of the process.
TApplication* Application();

}  // namespace fyndra
