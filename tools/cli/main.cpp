// fyndra: run query forms from DFM files on the terminal, in scripts and in
// CI. The command line is described by UsageText (commandline.cpp).
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "commandline.h"
#include "formlist.h"
#include "formsession.h"
#include "queryform.h"
#include "toolerror.h"

namespace {

using namespace fyndra::cli;

// A screenful: the terminal's height less the header, rule and trailer
// lines and the prompt; 20 records when the output is not a terminal.
int ScreenLimit() {
  winsize Size{};
  if (isatty(STDOUT_FILENO) && ioctl(STDOUT_FILENO, TIOCGWINSZ, &Size) == 0 && Size.ws_row > 0)
    return Size.ws_row > 9 ? Size.ws_row - 4 : 5;
  return 20;
}

void ReportError(const EToolError& E) {
  std::cout.flush();
  std::cerr << "fyndra: " << E.Message() << std::endl;
}

int RunForm(const TRunOptions& Options) {
  TQueryForm Form(Options.FormPath, Options.ModelName, Options.CodePage);
  if (!Options.DatabasePath.empty()) Form.SetDatabasePath(Options.DatabasePath);
  Form.Open();
  TFormSession Session(Form, Options, Options.Limit ? *Options.Limit : ScreenLimit(), std::cout, std::cerr);
  // --sql on a model that rewrites none is refused before any output.
  if (Options.ShowSQL)
    if (const std::string Refusal = Session.SQLRefusal(); !Refusal.empty()) throw EToolError(esCriterion, Refusal);
  const bool Table = Options.Format == TOutputFormat::Table;
  if (!Options.Steps.empty()) {
    Session.ExecuteSteps(Options.Steps);
    if (Options.ShowSQL) Session.PrintSQL();
    return Session.LastFound() ? esOk : esNoMatch;
  }
  const bool Interactive = isatty(STDIN_FILENO) != 0;
  Session.SetEcho(Table && !Interactive);
  if (Interactive)
    std::cout << Form.Describe() << "\nType criteria (ITEM=TEXT) or commands; help lists them, Ctrl-D ends.\n> "
              << std::flush;
  int Status = esOk;
  std::string Line;
  while (std::getline(std::cin, Line)) {
    try {
      Session.Execute(Line);
    } catch (const EToolError& E) {
      ReportError(E);
      Status = E.Status();
    }
    if (Interactive) std::cout << "> " << std::flush;
  }
  if (Interactive) std::cout << '\n';
  if (Options.ShowSQL) Session.PrintSQL();
  return Status;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const TCommandLine Line = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    switch (Line.Action) {
      case TCommandLine::TAction::Help:
        std::cout << UsageText();
        return esOk;
      case TCommandLine::TAction::Forms:
        ListForms(Line.FormsFolder.empty() ? ExampleFormsFolder() : Line.FormsFolder, std::cout);
        return esOk;
      case TCommandLine::TAction::Run:
        return RunForm(Line.Run);
    }
  } catch (const EToolError& E) {
    ReportError(E);
    return E.Status();
  } catch (const std::exception& E) {
    ReportError(EToolError(esFailure, E.what()));
    return esFailure;
  }
  return esOk;
}
