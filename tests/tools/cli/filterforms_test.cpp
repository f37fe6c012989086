// The fyndra program on the example filter forms, as a user runs it: a query
// with its own condition and order, a UNION query, and a client dataset read
// from its file. Each result is checked against the same question asked in
// SQL; the rewritten SQL and its parameters are shown (--sql, sql) or, where
// the model rewrites none, refused with the reason; a form that leaves its
// filter off or waits for a button still filters; hostile values stay values
// and nothing is written.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tools/cli/clitest.h"

namespace fyndra::clitest {
namespace {

namespace fs = std::filesystem;

// An amount column as fyndra writes it: at the column's two places (the
// engine's own text drops trailing zeros).
std::string Money(const std::string& Column) {
  return "CASE WHEN " + Column + " IS NULL THEN NULL ELSE printf('%.2f', " + Column + ") END";
}

// ------------------------------------------------- customers on a query

std::vector<std::string> RunCustomers(std::vector<std::string> Args) {
  Args.insert(Args.begin(), {"run", ExampleForm("customers-filter.dfm"), "--db", SampleDatabase()});
  return Args;
}

// The customers form's records for Condition (over customers c), in its order.
std::vector<std::string> Customers(const std::string& Condition, int Limit = -1, int Offset = 0) {
  return SqlLines(
      "SELECT c.id, c.name, c.city, k.country_name, c.birth, " + Money("c.balance") +
      " FROM customers c LEFT JOIN countries k "
      "ON k.iso = c.country WHERE c.active = 1 AND (" + Condition + ") ORDER BY c.name, c.id LIMIT " +
      std::to_string(Limit) + " OFFSET " + std::to_string(Offset));
}
const char* const CustomersHeader = "id,name,city,country_name,birth,balance\n";

TEST(QueryFilterForm, KeepsTheQuerysConditionAndOrderAndShowsOneScreenAtATime) {
  const auto First = Customers("upper(c.name) LIKE 'ZO%'", 3);
  const auto Second = Customers("upper(c.name) LIKE 'ZO%'", 3, 3);
  ASSERT_EQ(First.size(), 3u);
  ASSERT_EQ(Second.size(), 3u);
  TResult R = Fyndra(RunCustomers({"name=zo", "--limit", "3", "--format", "csv"}));
  EXPECT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(R.Out, CustomersHeader + Joined(First));
  EXPECT_EQ(R.Err, "");
  // next: the following screen; first: the first one again.
  R = Fyndra(RunCustomers({"name=zo", "next", "first", "--limit", "3", "--format", "csv"}));
  EXPECT_EQ(R.Out, CustomersHeader + Joined(First) + CustomersHeader + Joined(Second) + CustomersHeader +
                       Joined(First));

  // Criteria together, an operator by caption on a typed item ("greater"
  // keeps the records whose balance is less than the value), and case.
  const auto Both = Customers("upper(c.name) LIKE 'ZO%' AND c.balance < 1000", 20);
  ASSERT_FALSE(Both.empty());
  R = Fyndra(RunCustomers({"name=zo", "balance:greater=1000", "--format", "csv"}));
  EXPECT_EQ(R.Out, CustomersHeader + Joined(Both));
  R = Fyndra(RunCustomers({"name=ZO", "--case-sensitive", "name", "--format", "csv"}));
  EXPECT_EQ(R.Status, 1);
  EXPECT_EQ(R.Out, CustomersHeader);
  // An expression joins the items by OR instead; a null test needs no value.
  const auto Either = Customers("upper(c.name) LIKE 'ZOË D%' OR c.city IS NULL", 20);
  R = Fyndra(RunCustomers({"name=zoë d", "city:null=", "--expression", "name or city", "--format", "csv"}));
  EXPECT_EQ(R.Out, CustomersHeader + Joined(Either));

  // Without --limit and without a terminal, a screen is 20 records.
  R = Fyndra(RunCustomers({"name=zoë", "--format", "csv"}));
  EXPECT_EQ(R.Out, CustomersHeader + Joined(Customers("upper(c.name) LIKE 'ZOË%'", 20)));

  // The table: a screen, and the note that more follow; nothing left: status 1.
  R = Fyndra(RunCustomers({"name=zoë", "--limit", "2"}));
  EXPECT_EQ(R.Status, 0);
  EXPECT_EQ(R.Out.rfind("id ", 0), 0u) << R.Out;
  EXPECT_NE(R.Out.find("(more records follow: next shows them)\n"), std::string::npos) << R.Out;
  R = Fyndra(RunCustomers({"name=qqq"}));
  EXPECT_EQ(R.Status, 1);
  EXPECT_NE(R.Out.find("(no records)\n"), std::string::npos) << R.Out;
  R = Fyndra(RunCustomers({"name=qqq", "--format", "json"}));
  EXPECT_EQ(R.Out, "[]\n");
}

TEST(QueryFilterForm, ShowsTheRewrittenSQLWithItsParameters) {
  TResult R = Fyndra(RunCustomers({"name=zoë", "balance:greater=1000", "--sql", "--limit", "1"}));
  EXPECT_EQ(R.Status, 0) << R.Err;
  const std::string SQL =
      "SELECT c.id, c.name, c.city, k.country_name, c.birth, c.balance\n"
      "FROM customers c LEFT JOIN countries k ON k.iso = c.country\n"
      "WHERE  (UPPER( name ) LIKE 'ZOË%'\n"
      "  AND balance < :DFyndra_balance)  AND \n"
      "c.active = 1\n"
      "ORDER BY c.name, c.id\n";
  const std::string Tail = SQL + "-- :DFyndra_balance = 1000\n";
  ASSERT_GE(R.Out.size(), Tail.size());
  EXPECT_EQ(R.Out.substr(R.Out.size() - Tail.size()), Tail) << R.Out;
  // In json, one object with the text and typed parameter values.
  R = Fyndra(RunCustomers({"name=zoë", "balance:greater=1000.5", "--sql", "--format", "json", "--limit", "1"}));
  EXPECT_NE(R.Out.find("\n{\"sql\": \"SELECT c.id, c.name, c.city, k.country_name, c.birth, c.balance\\nFROM "),
            std::string::npos)
      << R.Out;
  EXPECT_NE(R.Out.find("\"parameters\": {\"DFyndra_balance\": 1000.5}}\n"), std::string::npos) << R.Out;
  // Clearing the criteria takes the generated condition out again; the
  // query's own stays.
  R = Fyndra(RunCustomers({"name=zoë", "clear", "sql", "--limit", "1"}));
  EXPECT_NE(R.Out.find("> sql\n"
                       "SELECT c.id, c.name, c.city, k.country_name, c.birth, c.balance\n"
                       "FROM customers c LEFT JOIN countries k ON k.iso = c.country\n"
                       "WHERE  c.active = 1\n"
                       "ORDER BY c.name, c.id\n"),
            std::string::npos)
      << R.Out;
}

TEST(QueryFilterForm, StandardInputWalksTheScreensAndShowsTheSQLOnRequest) {
  const auto All = Customers("upper(c.name) LIKE 'ZOË%' AND c.city = 'Wien'");
  ASSERT_GE(All.size(), 2u);
  ASSERT_LE(All.size(), 20u);
  const TResult R = Fyndra(RunCustomers({"--format", "csv", "--limit", "20"}),
                           "name=zoë\ncity=wien\nnext\nbalance=lots\nsql\nnobody=1\n");
  // A refused line is reported and the next one read; the status is that of
  // the last refused line.
  EXPECT_EQ(R.Status, 5);
  EXPECT_EQ(R.Err,
            "fyndra: 'lots' is not a valid value for item 'balance' \n"
            "fyndra: FilterCustomers: Item 'nobody' not found\n");
  const std::string Header = CustomersHeader;
  const std::string Expected = Header + Joined(Customers("upper(c.name) LIKE 'ZOË%'", 20)) + Header +
                               Joined(All);  // next past the end: nothing in csv
  ASSERT_GE(R.Out.size(), Expected.size());
  EXPECT_EQ(R.Out.substr(0, Expected.size()), Expected);
  EXPECT_NE(R.Out.find("WHERE  (UPPER( name ) LIKE 'ZOË%'\n  AND UPPER( city ) LIKE 'WIEN%')  AND \n"),
            std::string::npos)
      << R.Out;
}

// ---------------------------------------------------- orders on a UNION

std::vector<std::string> RunOrders(std::vector<std::string> Args) {
  Args.insert(Args.begin(), {"run", ExampleForm("orders-filter.dfm"), "--db", SampleDatabase()});
  return Args;
}

std::vector<std::string> Orders(const std::string& Condition) {
  const std::string Columns = "id, customer_id, ordered, " + Money("amount") + ", status, ";
  return SqlLines("SELECT " + Columns + "'current' FROM orders WHERE " + Condition + " UNION ALL SELECT " + Columns +
                  "'archive' FROM orders_archive WHERE " + Condition + " ORDER BY ordered DESC, id LIMIT 20");
}
const char* const OrdersHeader = "id,customer_id,ordered,amount,status,kept\n";

TEST(UnionFilterForm, RestrictsEveryBranchOfTheUnion) {
  // A customer with orders in both tables.
  const auto Both = SqlLines(
      "SELECT customer_id FROM orders WHERE customer_id IN (SELECT customer_id FROM orders_archive) "
      "ORDER BY customer_id LIMIT 1");
  ASSERT_EQ(Both.size(), 1u);
  const std::string Customer = Both[0];
  const auto Expected = Orders("customer_id = " + Customer);
  TResult R = Fyndra(RunOrders({"customer=" + Customer, "--format", "csv"}));
  EXPECT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(R.Out, OrdersHeader + Joined(Expected));
  EXPECT_NE(R.Out.find(",current\n"), std::string::npos);
  EXPECT_NE(R.Out.find(",archive\n"), std::string::npos);

  // A date is compared as the column keeps it, in every branch.
  const auto Day = SqlLines("SELECT ordered FROM orders_archive ORDER BY id LIMIT 1");
  ASSERT_EQ(Day.size(), 1u);
  const std::string Iso = Day[0];  // yyyy-mm-dd; the command reads the locale's m/d/yyyy
  const std::string Typed = std::to_string(std::stoi(Iso.substr(5, 2))) + "/" +
                            std::to_string(std::stoi(Iso.substr(8, 2))) + "/" + Iso.substr(0, 4);
  R = Fyndra(RunOrders({"ordered=" + Typed, "--format", "csv", "--sql"}));
  EXPECT_EQ(R.Status, 0) << R.Err;
  const auto OnDay = Orders("ordered = '" + Iso + "'");
  ASSERT_FALSE(OnDay.empty());
  EXPECT_EQ(R.Out.substr(0, R.Out.find("SELECT")), OrdersHeader + Joined(OnDay));
  EXPECT_NE(R.Out.find("FROM orders\nWHERE ordered = :DFyndra_ordered UNION ALL\n"), std::string::npos) << R.Out;
  EXPECT_NE(R.Out.find("FROM orders_archive\nWHERE ordered = :DFyndra_ordered ORDER BY ordered DESC, id\n"),
            std::string::npos)
      << R.Out;
  EXPECT_NE(R.Out.find("-- :DFyndra_ordered = '" + Iso + "'\n"), std::string::npos) << R.Out;

  // The form's own items only: the computed column is not one.
  R = Fyndra(RunOrders({"kept=archive"}));
  EXPECT_EQ(R.Status, 5);
  EXPECT_EQ(R.Err, "fyndra: FilterOrders: Item 'kept' not found\n");
  R = Fyndra(RunOrders({"amount:less or equal=4999.5", "status=pa", "--format", "csv"}));
  EXPECT_EQ(R.Out, OrdersHeader + Joined(Orders("amount >= 4999.5 AND upper(status) LIKE 'PA%'")));
}

// ------------------------------------------------ a client dataset file

std::vector<std::string> RunClient(std::vector<std::string> Args) {
  Args.insert(Args.begin(), {"run", ExampleForm("customers-client.dfm"), "--db", SampleClientFile()});
  return Args;
}

TEST(ClientFilterForm, FiltersTheFilesRecordsOneByOne) {
  const auto Expected = SqlLines(
      "SELECT c.id, c.code, c.name, c.city, c.country, k.country_name, c.birth, " + Money("c.balance") +
      ", CASE c.active WHEN 1 THEN 'true' ELSE 'false' END FROM customers c LEFT JOIN countries k "
      "ON k.iso = c.country WHERE c.name = 'Zoë Dupont' AND upper(k.country_name) LIKE 'GER%' ORDER BY c.id");
  ASSERT_FALSE(Expected.empty());
  TResult R = Fyndra(RunClient({"name=zoë du", "country_name=ger", "--format", "csv"}));
  EXPECT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(R.Out, "id,code,name,city,country,country_name,birth,balance,active\n" + Joined(Expected));
  R = Fyndra(RunClient({"name=qqq", "--format", "json"}));
  EXPECT_EQ(R.Status, 1);
  EXPECT_EQ(R.Out, "[]\n");

  // No SQL to show: refused before any output, with the reason.
  R = Fyndra(RunClient({"name=zoë du", "--sql"}));
  EXPECT_EQ(R.Status, 5);
  EXPECT_EQ(R.Out, "");
  EXPECT_EQ(R.Err,
            "fyndra: FilterCustomers rewrites no SQL: Customers (TClientDataSet) is not a query; it filters the "
            "records one by one\n");

  // The form's file named relative to the form, missing or not a client
  // dataset file.
  TempDir Dir;
  fs::copy_file(ExampleForm("customers-client.dfm"), Dir.File("form.dfm"));
  R = Fyndra({"run", Dir.File("form.dfm"), "name=a"});
  EXPECT_EQ(R.Status, 4);
  const std::string Expected2 = fs::path(Dir.File("../../build/run/customers.cds")).lexically_normal().string();
  EXPECT_EQ(R.Err, "fyndra: cannot open database '" + Expected2 + "': no such file\n");
  WriteWholeFile(Dir.File("junk.cds"), "not a client dataset");
  R = Fyndra(RunClient({"--db", Dir.File("junk.cds"), "name=a"}));
  EXPECT_EQ(R.Status, 4);
  EXPECT_EQ(R.Err.rfind("fyndra: cannot open Customers: ", 0), 0u) << R.Err;
}

// ----------------------------------------------- forms of other settings

std::string QueryForm(const std::string& ModelClass, const std::string& ModelProperties) {
  return "object M: TDataModule\n"
         "  object D: TDatabase\n"
         "    DatabaseName = '" + SampleDatabase() + "'\n"
         "  end\n"
         "  object Q: TQuery\n"
         "    DatabaseName = '" + SampleDatabase() + "'\n"
         "    SQL.Strings = ('SELECT id, name, city FROM customers ORDER BY id')\n"
         "    Active = True\n"
         "  end\n"
         "  object S: TDataSource\n"
         "    DataSet = Q\n"
         "  end\n"
         "  object F: " + ModelClass + "\n"
         "    DataSource = S\n" + ModelProperties +
         "  end\n"
         "end\n";
}

TEST(FilterFormSettings, EveryKindOfFilterFormFiltersAndSaysWhetherItRewritesSQL) {
  const auto Expected =
      SqlLines("SELECT id, name, city FROM customers WHERE upper(name) LIKE 'ZOË DU%' ORDER BY id LIMIT 20");
  ASSERT_FALSE(Expected.empty());
  const struct {
    const char* What;
    std::string Class, Properties, Refusal;
  } Cases[] = {
      // Filtered off (for a check box to switch on) and waiting for the
      // form's button: the command switches it on and applies it.
      {"off and waiting", "TzvBdeFilterModel", "    Options.AutoUpdate = False\n", ""},
      {"record by record", "TzvBdeFilterModel", "    Filtered = True\n    Options.SQLWhere = False\n",
       "F rewrites no SQL: its Options.SQLWhere is False; it filters the records one by one"},
      {"plain model", "TzvDBFilterModel", "    Filtered = True\n",
       "F rewrites no SQL: a TzvDBFilterModel does not rewrite a query's text (a TzvBdeFilterModel does); it "
       "filters the records one by one"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.What);
    TFormFile Form(QueryForm(C.Class, C.Properties));
    TResult R = Fyndra({"run", Form.Path, "name=zoë du", "--format", "csv"});
    EXPECT_EQ(R.Status, 0) << R.Err;
    EXPECT_EQ(R.Out, "id,name,city\n" + Joined(Expected));
    R = Fyndra({"run", Form.Path, "name=zoë du", "--sql"});
    if (C.Refusal.empty()) {
      EXPECT_EQ(R.Status, 0) << R.Err;
      EXPECT_NE(R.Out.find("WHERE UPPER( name ) LIKE 'ZOË DU%' ORDER BY id\n"), std::string::npos) << R.Out;
    } else {
      EXPECT_EQ(R.Status, 5);
      EXPECT_EQ(R.Out, "");
      EXPECT_EQ(R.Err, "fyndra: " + C.Refusal + "\n");
      // The command on standard input is refused alike; the session goes on.
      R = Fyndra({"run", Form.Path, "--format", "csv"}, "sql\nname=zoë du\n");
      EXPECT_EQ(R.Status, 5);
      EXPECT_EQ(R.Err, "fyndra: " + C.Refusal + "\n");
      EXPECT_EQ(R.Out, "id,name,city\n" + Joined(Expected));
    }
  }
}

TEST(FilterFormSettings, CaseFollowsTheFormUnlessTheCommandLineSaysOtherwise) {
  // The form's name item minds case.
  TFormFile Form(QueryForm("TzvBdeFilterModel",
                           "    Filtered = True\n    ItemsOption = ioCustom\n    CompareItems = <\n      item\n"
                           "        Name = 'name'\n        FieldName = 'name'\n        Options = [ciConvertValue]\n"
                           "      end>\n"));
  const auto Expected =
      SqlLines("SELECT id, name, city FROM customers WHERE upper(name) LIKE 'ZOË DU%' ORDER BY id LIMIT 20");
  ASSERT_FALSE(Expected.empty());
  TResult R = Fyndra({"run", Form.Path, "name=ZOË DU", "--format", "csv"});
  EXPECT_EQ(R.Status, 1) << R.Err;
  EXPECT_EQ(R.Out, "id,name,city\n");
  R = Fyndra({"run", Form.Path, "name=ZOË DU", "--case-insensitive", "name", "--format", "csv"});
  EXPECT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(R.Out, "id,name,city\n" + Joined(Expected));
  // items tells which; help lists the commands.
  R = Fyndra({"run", Form.Path, "--case-insensitive", "name"}, "items\nhelp\n");
  EXPECT_EQ(R.Status, 0) << R.Err;
  EXPECT_NE(R.Out.find("> items\nitem  field  type  operator     case     value\n"), std::string::npos) << R.Out;
  EXPECT_NE(R.Out.find("name  name   text  starts with  ignored\n"), std::string::npos) << R.Out;
  EXPECT_NE(R.Out.find("> help\n  ITEM=TEXT "), std::string::npos) << R.Out;
  EXPECT_NE(R.Out.find("  sql                  the query's SQL text and its parameter values\n"), std::string::npos);
}

// -------------------------------------------------- hostile and harmless

TEST(FilterFormSafety, QuotesAndSQLInValuesStayValuesAndNothingIsWritten) {
  TempDir Dir;
  const std::string Copy = Dir.File("copy.db"), Client = Dir.File("copy.cds");
  fs::copy_file(SampleDatabase(), Copy);
  fs::copy_file(SampleClientFile(), Client);
  const std::string Before = ReadWholeFile(Copy), ClientBefore = ReadWholeFile(Client);
  auto Run = [&](const char* Form, std::vector<std::string> Args, const std::string& Db) {
    Args.insert(Args.begin(), {"run", ExampleForm(Form), "--db", Db});
    return Fyndra(Args);
  };

  // A quote inside a value is part of the text searched for.
  const auto Quoted = Customers("upper(c.name) LIKE '%O''BRIEN%' AND c.city = 'Wien'", 20);
  ASSERT_FALSE(Quoted.empty());
  TResult R = Run("customers-filter.dfm", {"name:contains=o'brien", "city=wien", "--format", "csv"}, Copy);
  EXPECT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(R.Out, CustomersHeader + Joined(Quoted));
  // SQL in a value finds nothing and runs nothing.
  for (const char* Value : {"x' OR 1=1 --", "'; DELETE FROM customers; --", "a\"b", "%", "_"}) {
    SCOPED_TRACE(Value);
    R = Run("customers-filter.dfm", {std::string("name=") + Value, "--format", "csv", "--sql"}, Copy);
    EXPECT_EQ(R.Status, 1) << R.Err;
    EXPECT_EQ(R.Out.rfind(std::string(CustomersHeader) + "SELECT", 0), 0u) << R.Out;
  }
  R = Run("orders-filter.dfm", {"status=x' OR 'a'='a", "--format", "csv"}, Copy);
  EXPECT_EQ(R.Status, 1) << R.Err;
  R = Run("customers-client.dfm", {"name=x' OR 1=1 --", "--format", "csv"}, Client);
  EXPECT_EQ(R.Status, 1) << R.Err;

  // Filtering, walking and clearing through every filter form.
  R = Fyndra({"run", ExampleForm("customers-filter.dfm"), "--db", Copy}, "name=a\nnext\ncity:null=\nclear\nfirst\n");
  EXPECT_EQ(R.Status, 0) << R.Err;
  R = Fyndra({"run", ExampleForm("orders-filter.dfm"), "--db", Copy}, "customer=1\nstatus=pa\nclear\n");
  EXPECT_EQ(R.Status, 0) << R.Err;
  R = Fyndra({"run", ExampleForm("customers-client.dfm"), "--db", Client}, "name=a\nnext\nclear\n");
  EXPECT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(ReadWholeFile(Copy), Before);
  EXPECT_EQ(ReadWholeFile(Client), ClientBefore);
  for (const auto& Entry : fs::directory_iterator(Dir.Path()))
    EXPECT_TRUE(Entry.path().filename() == "copy.db" || Entry.path().filename() == "copy.cds") << Entry.path();
}

}  // namespace
}  // namespace fyndra::clitest
