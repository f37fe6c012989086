// The command line: every option in both spellings, the order of criteria,
// and the exact message of each wrong word.
#include "cli/commandline.h"

#include <gtest/gtest.h>

#include "cli/toolerror.h"

namespace fyndra::cli {
namespace {

std::string ErrorOf(const std::vector<std::string>& Args) {
  try {
    ParseCommandLine(Args);
  } catch (const EToolError& E) {
    EXPECT_EQ(E.Status(), esUsage);
    return E.Message();
  }
  return "<no error>";
}

TEST(CommandLine, RunTakesTheFormThenCriteriaAndOptionsInAnyOrder) {
  const TCommandLine L = ParseCommandLine({"run", "--db", "x.db", "f.dfm", "name=Anna", "--limit=5", "next",
                                           "--format", "json", "--expression", "name or city", "--sql",
                                           "--case-insensitive", "city", "--case-sensitive=name", "--type",
                                           "--model", "Finder", "--codepage", "1250", "--", "--odd=1"});
  ASSERT_EQ(L.Action, TCommandLine::TAction::Run);
  EXPECT_EQ(L.Run.FormPath, "f.dfm");
  EXPECT_EQ(L.Run.Steps, (std::vector<std::string>{"name=Anna", "next", "--odd=1"}));
  EXPECT_EQ(L.Run.DatabasePath, "x.db");
  EXPECT_EQ(L.Run.Limit, 5);
  EXPECT_EQ(L.Run.Format, TOutputFormat::Json);
  EXPECT_EQ(L.Run.Expression, "name or city");
  EXPECT_TRUE(L.Run.ShowSQL);
  EXPECT_TRUE(L.Run.TypeCharacters);
  EXPECT_EQ(L.Run.CaseInsensitive, std::vector<std::string>{"city"});
  EXPECT_EQ(L.Run.CaseSensitive, std::vector<std::string>{"name"});
  EXPECT_EQ(L.Run.ModelName, "Finder");
  EXPECT_EQ(L.Run.CodePage, "1250");

  const TCommandLine Plain = ParseCommandLine({"run", "f.dfm"});
  EXPECT_TRUE(Plain.Run.Steps.empty());  // criteria come from standard input
  EXPECT_FALSE(Plain.Run.Limit.has_value());
  EXPECT_FALSE(Plain.Run.Expression.has_value());
  EXPECT_EQ(Plain.Run.Format, TOutputFormat::Table);
  // An empty expression is an expression (all items joined by AND).
  EXPECT_EQ(ParseCommandLine({"run", "f.dfm", "--expression="}).Run.Expression, "");
  // A value may hold '=' and start with a dash.
  EXPECT_EQ(ParseCommandLine({"run", "f.dfm", "note=a=b", "-x"}).Run.Steps,
            (std::vector<std::string>{"note=a=b", "-x"}));
}

TEST(CommandLine, HelpAndForms) {
  EXPECT_EQ(ParseCommandLine({"--help"}).Action, TCommandLine::TAction::Help);
  EXPECT_EQ(ParseCommandLine({"help"}).Action, TCommandLine::TAction::Help);
  EXPECT_EQ(ParseCommandLine({"run", "f.dfm", "--help"}).Action, TCommandLine::TAction::Help);
  // After "--" it is a criterion like any other.
  EXPECT_EQ(ParseCommandLine({"run", "f.dfm", "--", "--help"}).Action, TCommandLine::TAction::Run);
  const TCommandLine Forms = ParseCommandLine({"forms", "some/folder"});
  EXPECT_EQ(Forms.Action, TCommandLine::TAction::Forms);
  EXPECT_EQ(Forms.FormsFolder, "some/folder");
  EXPECT_EQ(ParseCommandLine({"forms"}).FormsFolder, "");
  EXPECT_NE(UsageText().find("fyndra run FORM.dfm"), std::string::npos);
}

TEST(CommandLine, WrongWordsAreNamedInTheMessage) {
  struct TCase {
    std::vector<std::string> Args;
    const char* Message;
  } Cases[] = {
      {{}, "no command given (see fyndra --help)"},
      {{"launch"}, "unknown command 'launch' (see fyndra --help)"},
      {{"run"}, "run needs a form file: fyndra run FORM.dfm (see fyndra --help)"},
      {{"run", "--sql"}, "run needs a form file: fyndra run FORM.dfm (see fyndra --help)"},
      {{"run", "f.dfm", "--bogus"}, "unknown option '--bogus' (see fyndra --help)"},
      {{"run", "f.dfm", "--db"}, "option --db needs a value (see fyndra --help)"},
      {{"run", "f.dfm", "--db="}, "option --db needs a value (see fyndra --help)"},
      {{"run", "f.dfm", "--format", "xml"}, "--format must be table, csv or json, not 'xml' (see fyndra --help)"},
      {{"run", "f.dfm", "--limit", "0"}, "--limit must be a whole number from 1 up, not '0' (see fyndra --help)"},
      {{"run", "f.dfm", "--limit", "-3"}, "--limit must be a whole number from 1 up, not '-3' (see fyndra --help)"},
      {{"run", "f.dfm", "--limit", "7x"}, "--limit must be a whole number from 1 up, not '7x' (see fyndra --help)"},
      {{"run", "f.dfm", "--limit", "99999999999"},
       "--limit must be a whole number from 1 up, not '99999999999' (see fyndra --help)"},
      {{"run", "f.dfm", "--sql=yes"}, "option --sql takes no value (see fyndra --help)"},
      {{"run", "f.dfm", "--codepage="}, "option --codepage needs a value (see fyndra --help)"},
      {{"forms", "a", "b"}, "forms takes at most one folder (see fyndra --help)"},
      {{"forms", "--all"}, "unknown option '--all' (see fyndra --help)"},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(testing::PrintToString(C.Args));
    EXPECT_EQ(ErrorOf(C.Args), C.Message);
  }
}

}  // namespace
}  // namespace fyndra::cli
