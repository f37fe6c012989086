// fyndra-explorer: opens a query form from a form file over a SQLite database
// and shows it with the Qt edition. Typing into a bound edit applies the form's
// find or filter model at once (a filter model on a query rewrites its
// condition; on a table it sets an index range and tests each record); the
// grid follows, and the status line tells
// how many records there are (or how many are shown, where counting would read
// the whole table) and how long the last change took.
//
//   fyndra-explorer [--db FILE] [--form FILE.dfm] [--type TEXT] [--screenshot FILE.png]
//
// Every TDatabase of the form (and every dataset naming it) is pointed at
// --db. --type types TEXT into the form's first edit, key by key, as a user
// would. --screenshot renders the form offscreen into a PNG file and exits;
// without a display the explorer always runs on Qt's offscreen platform.
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <fyndra/controls/zvmodelqdbctrls.h>
#include <fyndra/controls/zvmodelqmask.h>
#include <fyndra/controls/zvmodelqstdctrls.h>
#include <fyndra/core/zvbasemodel.h>
#include <fyndra/dataset/zvbdemodel.h>
#include <fyndra/dataset/zvdbbasemodel.h>
#include <fyndra/platform/bde/database.h>
#include <fyndra/platform/bde/table.h>
#include <fyndra/platform/controls/buttons.h>
#include <fyndra/platform/controls/mask.h>
#include <fyndra/platform/db/datasource.h>
#include <fyndra/platform/controls/extctrls.h>
#include <fyndra/platform/controls/forms.h>
#include <fyndra/platform/controls/stdctrls.h>
#include <fyndra/platform/dbctrls/dbgrids.h>
#include <fyndra/platform/qt/qtwidgetset.h>
#include <fyndra/platform/streaming/dfmtext.h>
#include <fyndra/platform/streaming/filer.h>

#ifndef FYNDRA_EXAMPLE_FORMS
#define FYNDRA_EXAMPLE_FORMS "examples/forms"
#endif

using namespace fyndra;

namespace {

struct TOptions {
  std::string Db = "build/run/sample.db";
  std::string Form = FYNDRA_EXAMPLE_FORMS "/customers-window.dfm";
  std::string Type;
  std::string Screenshot;
};

int Usage(const char* Why) {
  std::cerr << "fyndra-explorer: " << Why << "\n"
            << "usage: fyndra-explorer [--db FILE] [--form FILE.dfm] [--type TEXT] [--screenshot FILE.png]\n";
  return 2;
}

std::string ReadFile(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  if (!In) throw Exception("Cannot read '" + Path + "'");
  std::ostringstream S;
  S << In.rdbuf();
  return S.str();
}

// Points every database of the form, and every dataset that names one, at Db.
void PointAt(TDfmObject& Obj, const std::string& Db, std::vector<std::string>& Names) {
  for (TDfmProperty& P : Obj.Properties) {
    if (P.Name != "DatabaseName" || P.Value.Kind != TDfmValueKind::String) continue;
    Names.push_back(P.Value.Text);
    P.Value.Text = Db;
  }
  for (TDfmObject& Child : Obj.Children) PointAt(Child, Db, Names);
}

template <class T>
T* FindFirst(TComponent* Root) {
  for (int I = 0; I < Root->ComponentCount(); ++I)
    if (auto* C = dynamic_cast<T*>(Root->Components(I))) return C;
  return nullptr;
}

// Keeps the status line: records shown and the time of the last change.
class TStatus {
 public:
  TStatus(TCustomForm* Form, TPanel* Line, TCustomDBGrid* Grid) : Line_(Line), Grid_(Grid) {
    for (int I = 0; I < Form->ComponentCount(); ++I)
      if (auto* Edit = dynamic_cast<TCustomEdit*>(Form->Components(I)))
        Edit->OnChange = TNotifyEvent(this, &TStatus::EditChanged);
    Show(-1);
  }

  void EditChanged(TObject*) {
    Clock_.start();
    // Runs once the change has gone all the way: item, apply, grid.
    QTimer::singleShot(0, [this] { Show(Clock_.nsecsElapsed() / 1e6); });
  }

  void Show(double Ms) {
    if (!Line_) return;
    std::string Text;
    if (Grid_) {
      const int Rows = Grid_->RowCount();
      if (Grid_->AtStart() && Grid_->AtEnd())
        Text = std::to_string(Rows) + (Rows == 1 ? " record" : " records");
      else
        Text = "first " + std::to_string(Rows) + " shown";
      if (Grid_->CurrentRow() >= 0 && !Grid_->Row(Grid_->CurrentRow()).Cells.empty())
        Text += "  |  current: " + Grid_->Row(Grid_->CurrentRow()).Cells[std::min<std::size_t>(1, Grid_->Row(Grid_->CurrentRow()).Cells.size() - 1)];
    }
    if (Ms >= 0) {
      char Buf[64];
      std::snprintf(Buf, sizeof Buf, "  |  last change: %.1f ms", Ms);
      Text += Buf;
    }
    Line_->SetCaption("  " + Text);
  }

 private:
  TPanel* Line_;
  TCustomDBGrid* Grid_;
  QElapsedTimer Clock_;
};

// Types Text into Widget key by key, as the keyboard would.
void TypeInto(QWidget* Widget, const std::string& Text) {
  for (QChar C : QString::fromStdString(Text)) {
    QKeyEvent Press(QEvent::KeyPress, 0, Qt::NoModifier, QString(C));
    QKeyEvent Release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(C));
    QApplication::sendEvent(Widget, &Press);
    QApplication::sendEvent(Widget, &Release);
    QApplication::processEvents();
  }
}

}  // namespace

int main(int argc, char** argv) {
  TOptions Opt;
  for (int I = 1; I < argc; ++I) {
    const std::string A = argv[I];
    auto Next = [&]() -> const char* { return I + 1 < argc ? argv[++I] : nullptr; };
    const char* V = nullptr;
    if (A == "--db" && (V = Next())) Opt.Db = V;
    else if (A == "--form" && (V = Next())) Opt.Form = V;
    else if (A == "--type" && (V = Next())) Opt.Type = V;
    else if (A == "--screenshot" && (V = Next())) Opt.Screenshot = V;
    else if (A == "--help" || A == "-h") return Usage("a query form over a SQLite database");
    else return Usage(("unknown or incomplete argument " + A).c_str());
  }
  const bool Display = std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && (!Display || !Opt.Screenshot.empty()))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication App(argc, argv);
  QApplication::setApplicationName("Fyndra Explorer");
  // The classes a form file may name. Naming them here also keeps their
  // libraries in the program, whose loading registers them.
  RegisterClasses({TForm::StaticClass(), TPanel::StaticClass(), TLabel::StaticClass(), TButton::StaticClass(),
                   TSpeedButton::StaticClass(), TEdit::StaticClass(), TMaskEdit::StaticClass(),
                   TDBGrid::StaticClass(), TDatabase::StaticClass(), TTable::StaticClass(), TQuery::StaticClass(),
                   TDataSource::StaticClass(), TzvDBFindModel::StaticClass(), TzvDBFilterModel::StaticClass(),
                   TzvBdeFindModel::StaticClass(), TzvBdeFilterModel::StaticClass(),
                   clx::TzvModelEdit::StaticClass(), clx::TzvModelMaskEdit::StaticClass(),
                   clx::TzvDBModelEdit::StaticClass(), clx::TzvDBModelListBox::StaticClass(),
                   clx::TzvDBModelComboBox::StaticClass(), clx::TzvDBModelCheckBox::StaticClass(),
                   clx::TzvDBModelRadioGroup::StaticClass(), clx::TzvDBModelLookupListBox::StaticClass(),
                   clx::TzvDBModelLookupComboBox::StaticClass()});
  TQtWidgetSet Widgets;
  try {
    TDfmObject Tree = ParseDfmText(ReadFile(Opt.Form));
    std::vector<std::string> Names;
    PointAt(Tree, Opt.Db, Names);
    TOwned<TComponent> Root(ReadComponentFromTree(Tree, nullptr));
    auto* Form = dynamic_cast<TCustomForm*>(Root.get());
    if (!Form) throw Exception("'" + Opt.Form + "' holds no form");
    auto* Grid = FindFirst<TCustomDBGrid>(Form);
    auto* Line = dynamic_cast<TPanel*>(Form->FindComponent("Status"));
    TStatus Status(Form, Line, Grid);
    Form->Show();
    QApplication::processEvents();
    if (!Opt.Type.empty()) {
      auto* Edit = dynamic_cast<TWinControl*>(Form->GetActiveControl());
      QWidget* W = Edit ? TQtWidgetSet::WidgetOf(Edit) : nullptr;
      if (!W) throw Exception("The form has no edit to type into");
      TypeInto(W, Opt.Type);
      QApplication::processEvents();
    }
    if (!Opt.Screenshot.empty()) {
      QWidget* Window = TQtWidgetSet::WidgetOf(Form);
      const QImage Image = Window->grab().toImage();
      if (!Image.save(QString::fromStdString(Opt.Screenshot), "PNG"))
        throw Exception("Cannot write '" + Opt.Screenshot + "'");
      std::cout << "fyndra-explorer: wrote " << Opt.Screenshot << " (" << Image.width() << "x" << Image.height()
                << ")\n";
      return 0;
    }
    while (Form->GetVisible()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return 0;
  } catch (const std::exception& E) {
    std::cerr << "fyndra-explorer: " << E.what() << "\n";
    return 1;
  }
}
