// The fyndra program as a user runs it: each example form against a sample
// database (results checked against the same question asked in SQL), every
// error with its exact message and exit status, standard input mode, and
// the promise that nothing is ever written.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <fyndra/platform/bde/sqliteengine.h>
#include "tools/cli/clitest.h"

namespace fyndra::clitest {
namespace {

namespace fs = std::filesystem;

// The customers columns as fyndra's csv writes them.
const char* const CustomerCsv =
    "SELECT id, code, name, city, country, birth, balance, CASE active WHEN 1 THEN 'true' ELSE 'false' END, "
    "created, note FROM customers ";
// The order of the find form's table: its name index, then the row id.
std::string ByName() { return "ORDER BY name" + CollateClause(CaseInsensitiveCollation()) + ", id"; }
const char* const CustomerHeader = "id,code,name,city,country,birth,balance,active,created,note\n";

std::string FindForm() { return ExampleForm("customers-find.dfm"); }

std::vector<std::string> RunFind(std::vector<std::string> Args) {
  Args.insert(Args.begin(), {"run", FindForm(), "--db", SampleDatabase()});
  return Args;
}

TEST(FindForm, FindsTheFirstAndNextMatchInIndexOrder) {
  const auto Expected =
      SqlLines(std::string(CustomerCsv) + "WHERE upper(name) LIKE 'ZOË M%' " + ByName() + " LIMIT 2");
  ASSERT_EQ(Expected.size(), 2u);
  TResult R = Fyndra(RunFind({"name=zoë m", "--format", "csv"}));
  EXPECT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(R.Out, CustomerHeader + Expected[0] + "\n");
  EXPECT_EQ(R.Err, "");
  R = Fyndra(RunFind({"name=zoë m", "next", "--format", "csv"}));
  EXPECT_EQ(R.Out, CustomerHeader + Expected[0] + "\n" + CustomerHeader + Expected[1] + "\n");

  // Two criteria must both agree; an operator chosen by caption or number.
  const auto Both = SqlLines(std::string(CustomerCsv) +
                             "WHERE upper(name) LIKE 'ZOË%' AND city LIKE '%en' " + ByName() + " LIMIT 1");
  ASSERT_EQ(Both.size(), 1u);
  EXPECT_EQ(Fyndra(RunFind({"name=zoë", "city:ends on=EN", "--format", "csv"})).Out, CustomerHeader + Both[0] + "\n");
  EXPECT_EQ(Fyndra(RunFind({"name=zoë", "city:8=EN", "--format", "csv"})).Out, CustomerHeader + Both[0] + "\n");
  // The expression joins them by OR instead.
  const auto Either = SqlLines(std::string(CustomerCsv) +
                               "WHERE upper(name) LIKE 'QQ%' OR city = 'Oslo' " + ByName() + " LIMIT 1");
  EXPECT_EQ(Fyndra(RunFind({"name=qq", "city=oslo", "--expression", "name or city", "--format", "csv"})).Out,
            CustomerHeader + Either.at(0) + "\n");
  // A null test needs no value.
  const auto NoCity = SqlLines(std::string(CustomerCsv) + "WHERE city IS NULL " + ByName() + " LIMIT 1");
  EXPECT_EQ(Fyndra(RunFind({"city:null=", "--format", "csv"})).Out, CustomerHeader + NoCity.at(0) + "\n");
  // Case: text items ignore it unless told otherwise.
  EXPECT_EQ(Fyndra(RunFind({"name=ZOË M", "--format", "csv"})).Out, CustomerHeader + Expected[0] + "\n");
  EXPECT_EQ(Fyndra(RunFind({"name=ZOË M", "--case-sensitive", "name", "--format", "json"})).Out, "null\n");
}

TEST(FindForm, NotFoundShowsTheFormsMessageAndEndsWithStatusOne) {
  TResult R = Fyndra(RunFind({"name=qqq"}));
  EXPECT_EQ(R.Status, 1);
  EXPECT_EQ(R.Out, "message: \"  The record is not found  \"\n(no record)\n");
  // In the data formats the message goes to standard error.
  R = Fyndra(RunFind({"name=qqq", "--format", "json"}));
  EXPECT_EQ(R.Out, "null\n");
  EXPECT_EQ(R.Err, "message: \"  The record is not found  \"\n");
  R = Fyndra(RunFind({"name=zoë m", "next", "next", "next", "next", "next", "next", "next", "next", "next", "next",
                      "next", "next", "next", "next", "next", "next", "next", "next", "next", "next"}));
  EXPECT_EQ(R.Status, 1);
  EXPECT_NE(R.Out.find("message: \"The following record is not found\""), std::string::npos);
}

TEST(FindForm, TableOutputEchoesEachStepAndTypingShowsEveryPrefix) {
  const auto Row = SqlLines("SELECT id, name FROM customers WHERE upper(name) LIKE 'ZOË M%' " + ByName());
  TResult R = Fyndra(RunFind({"name=zoë m", "--type"}));
  EXPECT_EQ(R.Status, 0) << R.Err;
  // One result for every character typed: z, zo, zoë, "zoë ", zoë m.
  std::size_t Results = 0;
  for (std::size_t At = R.Out.find("\nid "); At != std::string::npos; At = R.Out.find("\nid ", At + 1)) ++Results;
  EXPECT_EQ(Results, 5u) << R.Out;
  EXPECT_EQ(R.Out.rfind("name=\"z\"\n", 0), 0u) << R.Out;
  EXPECT_NE(R.Out.find("name=\"zoë m\"\n"), std::string::npos);

  R = Fyndra(RunFind({"items", "name=Anna", "items"}));
  EXPECT_NE(R.Out.find("> items\nitem     field    type       operator     case     value\n"), std::string::npos)
      << R.Out;
  EXPECT_NE(R.Out.find("name     name     text       starts with  ignored  \"Anna\"\n"), std::string::npos);
  EXPECT_NE(R.Out.find("balance  balance  decimal    equal\n"), std::string::npos);
  R = Fyndra(RunFind({"operators"}));
  EXPECT_NE(R.Out.find("   6  starts with\n"), std::string::npos);
  EXPECT_NE(R.Out.find("  12  contains (wildcard: *, ?)\n"), std::string::npos);
}

TEST(FindForm, StandardInputRunsOneLineAfterAnotherAndReportsRefusedLines) {
  const auto Expected =
      SqlLines(std::string(CustomerCsv) + "WHERE upper(name) LIKE 'ZOË M%' " + ByName() + " LIMIT 2");
  TResult R = Fyndra(RunFind({"--format", "csv"}),
                     "# a comment, then a blank line\n\nname=zoë m\r\nbalance=lots\nnext\nfoo=1\nfirst\n");
  EXPECT_EQ(R.Status, 5);
  EXPECT_EQ(R.Out, CustomerHeader + Expected[0] + "\n" + CustomerHeader + Expected[1] + "\n" + CustomerHeader +
                       Expected[0] + "\n");
  EXPECT_EQ(R.Err,
            "fyndra: 'lots' is not a valid value for item 'balance' \n"
            "fyndra: FindCustomers: Item 'foo' not found\n");
  // Without refused lines: status 0, whatever was found.
  R = Fyndra(RunFind({}), "name=qqq\n");
  EXPECT_EQ(R.Status, 0);
  EXPECT_EQ(R.Out, "> name=qqq\nmessage: \"  The record is not found  \"\n(no record)\n");
}

// ------------------------------------------------------------------ errors

std::string TableForm(const std::string& Database, const std::string& Extra = "") {
  return "object M: TDataModule\n"
         "  object D: TDatabase\n"
         "    DatabaseName = '" + Database + "'\n" + Extra +
         "  end\n"
         "  object T: TTable\n"
         "    DatabaseName = '" + Database + "'\n"
         "    TableName = 'customers'\n"
         "    Active = True\n"
         "  end\n"
         "  object S: TDataSource\n"
         "    DataSet = T\n"
         "  end\n"
         "  object F: TzvDBFindModel\n"
         "    DataSource = S\n"
         "  end\n"
         "end\n";
}

TEST(Errors, EachOneIsOneLineWithItsOwnStatus) {
  TFormFile Malformed("object M: TDataModule\n  object D: TDatabase\n    DatabaseName = 'x.db\n  end\nend\n");
  TFormFile UnknownClass("object M: TDataModule\n  object W: TWidget\n  end\nend\n");
  TFormFile UnknownProperty("object M: TDataModule\n  object D: TDatabase\n    Colour = 3\n  end\nend\n");
  TFormFile NoModel("object M: TDataModule\n  object D: TDatabase\n  end\nend\n");
  TFormFile TwoModels(
      "object M: TDataModule\n  object A: TzvDBFindModel\n  end\n  object B: TzvDBFindModel\n  end\nend\n");
  TFormFile NoSource("object M: TDataModule\n  object F: TzvDBFindModel\n  end\nend\n");
  TFormFile NoDataSet(
      "object M: TDataModule\n  object S: TDataSource\n  end\n  object F: TzvDBFindModel\n    DataSource = S\n"
      "  end\nend\n");
  TFormFile MissingDatabase(TableForm("missing.db"));
  TFormFile NotADatabase(TableForm("junk.db"));
  WriteWholeFile(NotADatabase.Dir.File("junk.db"), "this is not a database");
  TFormFile NoTable(TableForm(SampleDatabase()).replace(TableForm(SampleDatabase()).find("'customers'"), 11,
                                                        "'nowhere'"));
  TFormFile Folder("", "folder.dfm");
  fs::remove(Folder.Path);
  fs::create_directory(Folder.Path);
  const std::string Missing = Malformed.Dir.File("absent.dfm");

  struct TCase {
    std::vector<std::string> Args;
    int Status;
    std::string Err;
  } Cases[] = {
      // The command line.
      {{"run", FindForm(), "--format", "xml"}, 2,
       "--format must be table, csv or json, not 'xml' (see fyndra --help)"},
      {{"frobnicate"}, 2, "unknown command 'frobnicate' (see fyndra --help)"},
      // The form.
      {{"run", Missing}, 3, "cannot read form '" + Missing + "': No such file or directory"},
      {{"run", Folder.Path}, 3, "cannot read form '" + Folder.Path + "': it is a folder"},
      {{"run", Malformed.Path}, 3, Malformed.Path + ": line 3: expected closing quote of string"},
      {{"run", UnknownClass.Path}, 3, UnknownClass.Path + ": line 2: expected a registered class name, found 'TWidget'"},
      {{"run", UnknownProperty.Path}, 3,
       UnknownProperty.Path + ": line 3: expected a property of TDatabase, found 'Colour'"},
      {{"run", NoModel.Path}, 3, NoModel.Path + ": the form has no find or filter model"},
      {{"run", TwoModels.Path}, 3, TwoModels.Path + ": the form has 2 models (A, B); choose one with --model NAME"},
      {{"run", TwoModels.Path, "--model", "C"}, 3, TwoModels.Path + ": the form has no find or filter model named 'C'"},
      {{"run", NoSource.Path}, 3, NoSource.Path + ": model F has no data source"},
      {{"run", NoDataSet.Path}, 3, NoDataSet.Path + ": data source S of model F has no dataset"},
      // The database.
      {{"run", MissingDatabase.Path}, 4,
       "cannot open database '" + MissingDatabase.Dir.File("missing.db") + "': no such file"},
      {{"run", FindForm(), "--db", "absent.db"}, 4, "cannot open database 'absent.db': no such file"},
      {{"run", NotADatabase.Path}, 4,
       "cannot open database '" + NotADatabase.Dir.File("junk.db") + "': file is not a database"},
      {{"run", NoTable.Path}, 4, "cannot open T: no such table: nowhere"},
      // Criteria and commands.
      {RunFind({"nobody=1"}), 5, "FindCustomers: Item 'nobody' not found"},
      {RunFind({"name:resembles=x"}), 5, "no operator \"resembles\" (operators lists them)"},
      {RunFind({"name:99=x"}), 5, "no operator \"99\" (operators lists them)"},
      {RunFind({"birth=yesterday"}), 5, "'yesterday' is not a valid value for item 'birth' "},
      {RunFind({"id=12x"}), 5, "'12x' is not a valid value for item 'id' "},
      {RunFind({"--expression", "name and (city", "name=a"}), 5, "FindCustomers: Inadmissible operator"},
      {RunFind({"--expression", "name or town", "name=a"}), 5,
       "FindCustomers: Item 'town' not found. Delete this name from expression, which is given in property "
       "FindCustomers.Expression or add the element with name 'town' into collection FindCustomers.CompareItems"},
      {RunFind({"--case-insensitive", "nobody", "name=a"}), 5, "FindCustomers: Item 'nobody' not found"},
      {RunFind({"hello"}), 5, "not a criterion or command: \"hello\" (help lists them)"},
      {RunFind({"=5"}), 5, "not a criterion or command: \"=5\" (help lists them)"},
      {RunFind({"sql"}), 5,
       "FindCustomers rewrites no SQL: it is a find model, which moves to the matching record of Customers"},
      {RunFind({"name=a", "--sql"}), 5,
       "FindCustomers rewrites no SQL: it is a find model, which moves to the matching record of Customers"},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(testing::PrintToString(C.Args));
    const TResult R = Fyndra(C.Args);
    EXPECT_EQ(R.Status, C.Status);
    EXPECT_EQ(R.Err, "fyndra: " + C.Err + "\n");
    EXPECT_EQ(R.Out, "");
  }
}

TEST(Errors, AFormThatNamesAnotherDatabaseCannotTakeTheDatabaseOption) {
  TFormFile Orphan(
      "object M: TDataModule\n  object T: TTable\n    DatabaseName = 'elsewhere.db'\n    TableName = 'customers'\n"
      "  end\n  object S: TDataSource\n    DataSet = T\n  end\n  object F: TzvDBFindModel\n    DataSource = S\n"
      "  end\nend\n");
  TResult R = Fyndra({"run", Orphan.Path, "--db", SampleDatabase(), "name=a"});
  EXPECT_EQ(R.Status, 3);
  EXPECT_EQ(R.Err, "fyndra: T names the database 'elsewhere.db', which the form does not hold\n");
  R = Fyndra({"run", Orphan.Path, "name=a"});
  EXPECT_EQ(R.Status, 3);
  EXPECT_EQ(R.Err, "fyndra: T names the database 'elsewhere.db', which the form does not hold\n");
}

// ----------------------------------------------------------- nothing written

TEST(ReadOnly, NoFormCanMakeTheCommandWriteOrCreateADatabase) {
  TempDir Dir;
  const std::string Copy = Dir.File("copy.db");
  fs::copy_file(SampleDatabase(), Copy);
  const std::string Before = ReadWholeFile(Copy);

  // A form that asks to create its database and connect at once.
  TFormFile Creating(TableForm("new.db", "    Params.Strings = ('CREATE=TRUE' 'READONLY=FALSE')\n    Connected = True\n"));
  TResult R = Fyndra({"run", Creating.Path, "name=a"});
  EXPECT_EQ(R.Status, 4);
  EXPECT_FALSE(fs::exists(Creating.Dir.File("new.db")));

  // A query that would delete every customer.
  TFormFile Deleting(
      "object M: TDataModule\n  object D: TDatabase\n    DatabaseName = '" + Copy +
      "'\n    Connected = True\n  end\n  object Q: TQuery\n    DatabaseName = '" + Copy +
      "'\n    SQL.Strings = ('DELETE FROM customers')\n    Active = True\n  end\n  object S: TDataSource\n"
      "    DataSet = Q\n  end\n  object F: TzvDBFindModel\n    DataSource = S\n  end\nend\n");
  R = Fyndra({"run", Deleting.Path, "id=1"});
  EXPECT_EQ(R.Status, 4);
  EXPECT_NE(R.Err.find("readonly"), std::string::npos) << R.Err;

  // Ordinary searches through the example form.
  R = Fyndra({"run", FindForm(), "--db", Copy}, "name=a\nnext\ncity:null=\nclear\nfirst\n");
  EXPECT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(ReadWholeFile(Copy), Before);
  for (const auto& Entry : fs::directory_iterator(Dir.Path()))
    EXPECT_EQ(Entry.path().filename(), "copy.db");  // no journal, no side file
}

TEST(Paths, AFormFindsItsDatabaseBesideItFromAnyFolder) {
  TempDir Dir;
  fs::create_directories(Dir.File("forms/data"));
  fs::copy_file(SampleDatabase(), Dir.File("forms/data/sample.db"));
  WriteWholeFile(Dir.File("forms/beside.dfm"), TableForm("data/sample.db"));
  const auto First = SqlLines("SELECT id FROM customers ORDER BY id LIMIT 1");
  const TResult R = Fyndra({"run", "forms/beside.dfm", "name=", "--format", "csv"}, "", Dir.Path());
  EXPECT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(R.Out.substr(R.Out.find('\n') + 1, First.at(0).size() + 1), First.at(0) + ",");
  const TResult Elsewhere = Fyndra({"run", Dir.File("forms/beside.dfm"), "id=1", "--format", "csv"}, "", "/");
  EXPECT_EQ(Elsewhere.Status, 0) << Elsewhere.Err;
}

TEST(CodePage, AFormSavedInAnEightBitCodePageIsReadWithTheOption) {
  // The not-found message holds a u with diaeresis, as windows-1252 stores it.
  std::string Text = TableForm(SampleDatabase());
  Text.replace(Text.find("    DataSource = S\n"), 0,
               "    MessageOptions.ShowMessage = True\n    MessageOptions.RecordNotFound = 'F\xFCr niemanden'\n");
  TFormFile Form(Text);
  TResult R = Fyndra({"run", Form.Path, "name=qqq", "--codepage", "windows-1252"});
  EXPECT_EQ(R.Status, 1) << R.Err;
  EXPECT_EQ(R.Out, "message: \"Für niemanden\"\n(no record)\n");
  R = Fyndra({"run", Form.Path, "name=qqq"});
  EXPECT_EQ(R.Status, 3);
  EXPECT_EQ(R.Err.rfind("fyndra: " + Form.Path + ": line 15: ", 0), 0u) << R.Err;
  R = Fyndra({"run", Form.Path, "name=qqq", "--codepage", "klingon"});
  EXPECT_EQ(R.Status, 2);
  EXPECT_EQ(R.Err.rfind("fyndra: --codepage: ", 0), 0u) << R.Err;
  EXPECT_NE(R.Err.find("klingon"), std::string::npos) << R.Err;
}

// ------------------------------------------------------------------- forms

TEST(Forms, ListsEveryExampleFormWithWhatItReadsAndBrokenOnesWithTheReason) {
  TResult R = Fyndra({"forms"});
  EXPECT_EQ(R.Status, 0) << R.Err;
  for (const auto& Entry : fs::directory_iterator(fs::path(FindForm()).parent_path())) {
    if (Entry.path().extension() != ".dfm") continue;
    const std::string Name = Entry.path().filename().string();
    const std::size_t At = R.Out.find("\n" + Name + " ");
    ASSERT_NE(At, std::string::npos) << Name << " missing from\n" << R.Out;
    const std::string Line = R.Out.substr(At + 1, R.Out.find('\n', At + 1) - At - 1);
    EXPECT_EQ(Line.find("cannot be used"), std::string::npos) << Line;
  }
  EXPECT_NE(R.Out.find("find model FindCustomers on table customers (index customers_name)"), std::string::npos);
  EXPECT_NE(R.Out.find("filter model FilterCustomers on query Customers "), std::string::npos);
  EXPECT_NE(R.Out.find("filter model FilterOrders on query Orders "), std::string::npos);
  EXPECT_NE(R.Out.find("filter model FilterCustomers on client dataset Customers (index ByName)"), std::string::npos);

  TFormFile Broken("object M: TDataModule\n  object X: TNothing\n  end\nend\n", "broken.dfm");
  WriteWholeFile(Broken.Dir.File("good.dfm"), TableForm("sample.db"));
  WriteWholeFile(Broken.Dir.File("notes.txt"), "not a form");
  R = Fyndra({"forms", Broken.Dir.Path()});
  EXPECT_EQ(R.Status, 0);
  EXPECT_NE(R.Out.find("broken.dfm  cannot be used: " + Broken.Path + ": line 2: expected a registered class "
                       "name, found 'TNothing'"),
            std::string::npos)
      << R.Out;
  EXPECT_NE(R.Out.find("good.dfm    find model F on table customers"), std::string::npos) << R.Out;
  EXPECT_EQ(R.Out.find("notes.txt"), std::string::npos);

  R = Fyndra({"forms", Broken.Dir.File("nowhere")});
  EXPECT_EQ(R.Status, 3);
  EXPECT_EQ(R.Err, "fyndra: cannot list forms in '" + Broken.Dir.File("nowhere") + "': not a folder\n");

  R = Fyndra({"--help"});
  EXPECT_EQ(R.Status, 0);
  EXPECT_EQ(R.Out.rfind("usage: fyndra run FORM.dfm", 0), 0u);
}

}  // namespace
}  // namespace fyndra::clitest
