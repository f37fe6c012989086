// The Qt 6 widget set: shows the toolkit-neutral controls with Qt Widgets, one
// Qt widget per control (a line edit for edits and masked edits, whose mask
// the control applies, never Qt's own input mask), and reports what the user
// does back to the controls. Exceptions raised by a control while it handles
// a report go to Application()->HandleException; none reaches Qt's event loop.
//
// Focus: the widget set follows Qt's focus changes within a window and hands
// each one to the control that got the focus (its form runs the exit and
// enter handling). A window losing the focus as a whole (a message box, a
// window switch) changes nothing. When the form moves the focus back while
// Qt is still delivering a focus change, the peer does it once Qt is done.
//
// Messages: while installed, ShowMessage shows a modal message box and an
// exception handled by the application shows an error box once the current
// event is done.
//
// Ownership: the application creates one TQtWidgetSet after its QApplication
// and destroys it before; the widget set installs itself (SetWidgetSet) and
// puts the previous widget set and message handlers back when destroyed.
// Peers belong to their controls; each peer owns its Qt widget.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include <fyndra/platform/controls/controls.h>
#include <fyndra/platform/controls/forms.h>
#include <fyndra/platform/rtl/dialogs.h>

class QObject;
class QWidget;

namespace fyndra {

class TQtWidgetSet : public TWidgetSet {
 public:
  // REQUIRES: a QApplication exists.
  TQtWidgetSet();
  ~TQtWidgetSet() override;
  TQtWidgetSet(const TQtWidgetSet&) = delete;
  TQtWidgetSet& operator=(const TQtWidgetSet&) = delete;

  std::unique_ptr<TControlPeer> CreatePeer(TControl* Control) override;
  void ProcessMessages() override;
  std::string GetClipboardText() override;
  void SetClipboardText(const std::string& Text) override;

  // Makes the peer of a control class (and of its descendants without a
  // registration of their own). Parent is the Qt widget of the control's
  // parent (null for a form).
  using TPeerFactory = std::function<std::unique_ptr<TControlPeer>(TControl* Control, QWidget* Parent)>;
  static void RegisterPeer(TClass Class, TPeerFactory Factory);

  // The Qt widget that shows Control, or null while it has no Qt peer.
  static QWidget* WidgetOf(const TControl* Control);

 private:
  std::unique_ptr<QObject> Context_;
  TWidgetSet* Previous_ = nullptr;
  TShowMessageHandler PreviousMessage_;
  TShowExceptionHandler PreviousException_;
};

}  // namespace fyndra
