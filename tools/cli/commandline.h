// The command line of the fyndra command:
//
//   fyndra run FORM.dfm [CRITERION | COMMAND]... [OPTION]...
//   fyndra forms [FOLDER]
//   fyndra --help
//
// ParseCommandLine only reads the words; it opens nothing. Wrong words raise
// EToolError with esUsage and a message that names the word.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace fyndra::cli {

enum class TOutputFormat { Table, Csv, Json };

struct TRunOptions {
  std::string FormPath;
  // Criteria (ITEM=TEXT, ITEM:OPERATOR=TEXT) and commands (next, first, ...),
  // in the order given; empty: the commands come from standard input.
  std::vector<std::string> Steps;
  std::optional<std::string> Expression;
  std::vector<std::string> CaseInsensitive;
  std::vector<std::string> CaseSensitive;
  std::string DatabasePath;  // empty: the database the form names
  std::string ModelName;     // empty: the form's only model
  std::string CodePage;      // empty: the form text is UTF-8
  TOutputFormat Format = TOutputFormat::Table;
  std::optional<int> Limit;  // records per screen; unset: a screenful
  bool ShowSQL = false;
  bool TypeCharacters = false;
};

struct TCommandLine {
  enum class TAction { Help, Forms, Run };
  TAction Action = TAction::Help;
  TRunOptions Run;
  std::string FormsFolder;  // for Forms; empty: the example forms
};

// Args without the program name.
TCommandLine ParseCommandLine(const std::vector<std::string>& Args);

// The text of fyndra --help.
std::string UsageText();

}  // namespace fyndra::cli
