// The common part of the Qt peers (private to the Qt layer): a peer owns its
// Qt widget, applies the control's state to it with the widget's signals
// blocked (so that state the control pushed never comes back as a report),
// and hands every report to the control through Guarded, which turns an
// exception into Application()->HandleException.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <string>

#include <fyndra/platform/controls/controls.h>
#include <fyndra/platform/controls/forms.h>

namespace fyndra::qtpeer {

// Runs a report into the control layer; an exception is handled there.
template <class F>
void Guarded(TObject* Sender, F&& Report) {
  try {
    Report();
  } catch (...) {
    Application()->HandleException(Sender);
  }
}

inline QString ToQString(const std::string& S) { return QString::fromUtf8(S.data(), qsizetype(S.size())); }
inline std::string FromQString(const QString& S) { return S.toStdString(); }
// Positions: the controls count characters, Qt counts UTF-16 units.
int CharIndexToUtf16(const QString& S, int CharIndex);
int Utf16IndexToChar(const QString& S, int Utf16Index);

// Whether a report from Qt's focus handling is being delivered now.
bool InFocusChange();
// Registers the data grid's peer (qtdbgrid.cpp).
void RegisterGridPeer();
// Registers the peers of list, combo and check boxes, radio groups and the
// lookup controls (qtchoice.cpp).
void RegisterChoicePeers();

class TQtControlPeer : public QObject, public TControlPeer {
 public:
  // Takes ownership of Widget.
  TQtControlPeer(TControl* Control, QWidget* Widget);
  ~TQtControlPeer() override;

  QWidget* Widget() const { return Widget_; }
  void Changed(TPeerChange What) override;
  void SetFocus() override;
  bool Focused() const override;
  void Invalidate() override;
  // Applies the whole state once the subclass has built its widget.
  void ApplyAll();

 protected:
  // What the subclass shows itself; the rest is common.
  virtual void Apply(TPeerChange What);
  // Keys reach the control before the widget; true consumes them.
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  QPointer<QWidget> Widget_;
};

}  // namespace fyndra::qtpeer
