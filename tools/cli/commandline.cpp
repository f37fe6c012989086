#include "commandline.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "toolerror.h"

namespace fyndra::cli {
namespace {

[[noreturn]] void UsageError(const std::string& Message) {
  throw EToolError(esUsage, Message + " (see fyndra --help)");
}

TOutputFormat ParseFormat(const std::string& Text) {
  if (Text == "table") return TOutputFormat::Table;
  if (Text == "csv") return TOutputFormat::Csv;
  if (Text == "json") return TOutputFormat::Json;
  UsageError("--format must be table, csv or json, not '" + Text + "'");
}

int ParseLimit(const std::string& Text) {
  char* End = nullptr;
  errno = 0;
  const long Value = Text.empty() || Text[0] == '-' || Text[0] == '+' ? 0 : std::strtol(Text.c_str(), &End, 10);
  if (!End || *End != '\0' || errno != 0 || Value < 1 || Value > INT_MAX)
    UsageError("--limit must be a whole number from 1 up, not '" + Text + "'");
  return static_cast<int>(Value);
}

TRunOptions ParseRun(const std::vector<std::string>& Args, std::size_t First) {
  TRunOptions Run;
  bool FormSeen = false;
  bool OptionsEnded = false;
  for (std::size_t I = First; I < Args.size(); ++I) {
    const std::string& Arg = Args[I];
    if (OptionsEnded || Arg.size() < 2 || Arg[0] != '-' || Arg[1] != '-') {
      if (!FormSeen) {
        Run.FormPath = Arg;
        FormSeen = true;
      } else {
        Run.Steps.push_back(Arg);
      }
      continue;
    }
    if (Arg == "--") {
      OptionsEnded = true;
      continue;
    }
    // --name VALUE or --name=VALUE
    std::string Name = Arg;
    std::optional<std::string> Inline;
    if (const std::size_t Equal = Arg.find('='); Equal != std::string::npos) {
      Name = Arg.substr(0, Equal);
      Inline = Arg.substr(Equal + 1);
    }
    auto Value = [&]() -> std::string {
      if (Inline) return *Inline;
      if (I + 1 >= Args.size()) UsageError("option " + Name + " needs a value");
      return Args[++I];
    };
    auto Flag = [&] {
      if (Inline) UsageError("option " + Name + " takes no value");
    };
    if (Name == "--db") {
      Run.DatabasePath = Value();
      if (Run.DatabasePath.empty()) UsageError("option --db needs a value");
    } else if (Name == "--model") {
      Run.ModelName = Value();
    } else if (Name == "--codepage") {
      Run.CodePage = Value();
      if (Run.CodePage.empty()) UsageError("option --codepage needs a value");
    } else if (Name == "--expression") {
      Run.Expression = Value();
    } else if (Name == "--case-insensitive") {
      Run.CaseInsensitive.push_back(Value());
    } else if (Name == "--case-sensitive") {
      Run.CaseSensitive.push_back(Value());
    } else if (Name == "--format") {
      Run.Format = ParseFormat(Value());
    } else if (Name == "--limit") {
      Run.Limit = ParseLimit(Value());
    } else if (Name == "--sql") {
      Flag();
      Run.ShowSQL = true;
    } else if (Name == "--type") {
      Flag();
      Run.TypeCharacters = true;
    } else {
      UsageError("unknown option '" + Name + "'");
    }
  }
  if (!FormSeen || Run.FormPath.empty()) UsageError("run needs a form file: fyndra run FORM.dfm");
  return Run;
}

}  // namespace

TCommandLine ParseCommandLine(const std::vector<std::string>& Args) {
  TCommandLine Line;
  if (Args.empty()) UsageError("no command given");
  const std::string& Command = Args[0];
  bool AsksHelp = false;
  for (const std::string& Arg : Args) {
    if (Arg == "--") break;
    AsksHelp = AsksHelp || Arg == "--help" || Arg == "-h";
  }
  if (AsksHelp || Command == "help") {
    Line.Action = TCommandLine::TAction::Help;
  } else if (Command == "forms") {
    Line.Action = TCommandLine::TAction::Forms;
    if (Args.size() > 2) UsageError("forms takes at most one folder");
    if (Args.size() == 2) {
      if (Args[1].rfind("--", 0) == 0) UsageError("unknown option '" + Args[1] + "'");
      Line.FormsFolder = Args[1];
    }
  } else if (Command == "run") {
    Line.Action = TCommandLine::TAction::Run;
    Line.Run = ParseRun(Args, 1);
  } else {
    UsageError("unknown command '" + Command + "'");
  }
  return Line;
}

std::string UsageText() {
  return R"(usage: fyndra run FORM.dfm [CRITERION | COMMAND]... [OPTION]...
       fyndra forms [FOLDER]
       fyndra --help

fyndra run reads a query form (a form or data module in DFM text holding a
database or client dataset, a dataset, a data source and one find or filter
model), opens it read-only, applies the criteria as a user typing into the
form's controls would, and prints the result: the record a find model moves
to, or the records a filter model leaves, a screen at a time. Without
criteria or commands it reads them from standard input, one per line, and
prints the result after each.

Criteria and commands:
  ITEM=TEXT             set the item (an empty TEXT clears it); TEXT is read
                        as the item's type in the current locale (LC_ALL,
                        LC_MESSAGES, LANG), as the form's edit would read it
  ITEM:OPERATOR=TEXT    choose the item's operator too, by its number or its
                        caption (equal, starts with, contains, null, ...);
                        the null tests take no TEXT: city:null=
  next                  find model: the next matching record;
                        filter model: the next screen of records
  first                 search again from the first record (the first screen)
  clear                 clear every item
  items                 list the items: field, type, operator, case, value
  operators             list the operators
  sql                   the query's SQL text, as the filter model rewrote it,
                        and its parameter values; refused, with the reason,
                        where the model rewrites no SQL (a find model, a
                        filter model on a table or a client dataset)
  help                  list these commands

Options:
  --db PATH             read this database file (or client dataset file)
                        instead of the one the form names
  --model NAME          the model to use when the form holds several
  --codepage NAME       the code page of a form saved in an 8-bit encoding
                        (windows-1252, 1250, cp1251, ...); without it the
                        form text must be UTF-8 (or 7-bit with #nnn codes)
  --expression TEXT     combine the items by this expression (AND, OR,
                        parentheses, item names) instead of the form's
  --case-insensitive ITEM, --case-sensitive ITEM
                        compare the item's text ignoring or minding case
  --format FORMAT       table (aligned, for people; the default), csv or json
  --limit N             records per screen (default: a screenful, 20 when
                        the output is not a terminal)
  --sql                 after the criteria, print the SQL text and parameters
                        (refused before any output where there is none)
  --type                enter each TEXT one character at a time, printing the
                        result after each, as the form follows typing
  --                    the words after it are criteria, even if they start
                        with --

Files named in a form (a database's DatabaseName, a client dataset's
FileName) are taken relative to the form's folder. Nothing is ever written to
a database: every one is opened read-only. A filter model that the form
leaves off (Filtered = False) or that waits for a button (AutoUpdate = False)
is switched on and applied after each criterion.

fyndra forms lists the form files of FOLDER (default: the example forms).

Exit status: 0 done; 1 the last search found no record (or the filter left
none); 2 the command line is wrong; 3 the form cannot be read or has no model
or dataset; 4 a database cannot be opened; 5 a criterion, operator,
expression or command is refused; 6 another failure. Each error is one line
on standard error. Reading standard input, a refused line is reported and
the next one is read; the status is that of the last refused line.
)";
}

}  // namespace fyndra::cli
