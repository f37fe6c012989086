// The three output formats: what each value type looks like, how hostile
// text is escaped or quoted, and where a screen ends.
#include "cli/recordprinter.h"

#include <gtest/gtest.h>

#include <sstream>

#include <fyndra/platform/db/dbclient.h>
#include <fyndra/platform/rtl/sysutils.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra::cli {
namespace {

class RecordPrinterTest : public testing::Test {
 protected:
  void SetUp() override {
    SetDefaultLocale("en_US");
    auto* D = DS->GetFieldDefs();
    D->Add("id", ftInteger);
    D->Add("name", ftString, 60);
    D->Add("balance", ftBCD, 2);
    D->Add("rate", ftFloat);
    D->Add("born", ftDate);
    D->Add("seen", ftDateTime);
    D->Add("active", ftBoolean);
    DS->CreateDataSet();
  }
  void TearDown() override { SetDefaultLocale("en_US"); }

  void Add(std::int32_t Id, const Variant& Name, const Variant& Balance = Null(), const Variant& Rate = Null(),
           const Variant& Born = Null(), const Variant& Seen = Null(), const Variant& Active = Null()) {
    DS->AppendRecord({Variant(Id), Name, Balance, Rate, Born, Seen, Active});
  }
  std::string Found(TOutputFormat Format, bool IsFound = true) {
    std::ostringstream Out;
    TRecordPrinter(Format, Out).PrintFound(DS.get(), IsFound);
    return Out.str();
  }
  std::string Screen(TOutputFormat Format, int Limit, bool* More = nullptr) {
    std::ostringstream Out;
    const bool Rest = TRecordPrinter(Format, Out).PrintScreen(DS.get(), Limit);
    if (More) *More = Rest;
    return Out.str();
  }

  TOwned<TClientDataSet> DS = CreateOwned<TClientDataSet>(nullptr);
};

TEST_F(RecordPrinterTest, EachFormatWritesEveryTypeItsOwnWay) {
  Add(7, Variant("Zoë \"Z\" O'Brien, Jr."), Variant(Currency::FromScaled(125000)), Variant(0.1),
      Variant::FromDateTime(EncodeDate(1962, 7, 12)),
      Variant::FromDateTime(EncodeDate(2014, 3, 12) + EncodeTime(22, 45, 36, 250)), Variant(true));
  Add(8, Variant("Null"));  // the text "Null" next to real Nulls
  DS->First();
  EXPECT_EQ(Found(TOutputFormat::Table),
            "id  name                  balance  rate  born       seen                       active\n"
            "--  --------------------  -------  ----  ---------  -------------------------  ------\n"
            "7   Zoë \"Z\" O'Brien, Jr.  12.50    0.1   7/12/1962  3/12/2014 10:45:36.250 PM  True\n");
  EXPECT_EQ(Found(TOutputFormat::Csv),
            "id,name,balance,rate,born,seen,active\n"
            "7,\"Zoë \"\"Z\"\" O'Brien, Jr.\",12.50,0.1,1962-07-12,2014-03-12 22:45:36.250,true\n");
  EXPECT_EQ(Found(TOutputFormat::Json),
            "{\"id\": 7, \"name\": \"Zoë \\\"Z\\\" O'Brien, Jr.\", \"balance\": 12.50, \"rate\": 0.1, "
            "\"born\": \"1962-07-12\", \"seen\": \"2014-03-12 22:45:36.250\", \"active\": true}\n");
  DS->Next();
  EXPECT_EQ(Found(TOutputFormat::Csv), "id,name,balance,rate,born,seen,active\n8,Null,,,,,\n");
  EXPECT_EQ(Found(TOutputFormat::Json),
            "{\"id\": 8, \"name\": \"Null\", \"balance\": null, \"rate\": null, \"born\": null, \"seen\": null, "
            "\"active\": null}\n");
  // Nothing found.
  EXPECT_EQ(Found(TOutputFormat::Table, false), "(no record)\n");
  EXPECT_EQ(Found(TOutputFormat::Csv, false), "id,name,balance,rate,born,seen,active\n");
  EXPECT_EQ(Found(TOutputFormat::Json, false), "null\n");

  // The locale shapes the table only.
  SetDefaultLocale("de_DE");
  DS->First();
  EXPECT_NE(Found(TOutputFormat::Table).find("12,50    0,1   12.07.1962"), std::string::npos)
      << Found(TOutputFormat::Table);
  EXPECT_NE(Found(TOutputFormat::Csv).find(",12.50,0.1,1962-07-12,"), std::string::npos);
}

TEST_F(RecordPrinterTest, HostileTextCannotReachTheTerminalOrBreakTheData) {
  struct TCase {
    std::string Text, Terminal, Csv, Json;
  } Cases[] = {
      {"plain", "plain", "plain", "\"plain\""},
      {"a,b", "a,b", "\"a,b\"", "\"a,b\""},
      {"two\nlines", "two\\nlines", "\"two\nlines\"", "\"two\\nlines\""},
      {"tab\there\r", "tab\\there\\r", "\"tab\there\r\"", "\"tab\\there\\r\""},
      {"\x1b[2Jgone", "\\x1b[2Jgone", "\x1b[2Jgone", "\"\\u001b[2Jgone\""},
      {"bell\a del\x7f", "bell\\x07 del\\x7f", "bell\a del\x7f", "\"bell\\u0007 del\x7f\""},
      {"c1 \xC2\x9B", "c1 \\u009b", "c1 \xC2\x9B", "\"c1 \xC2\x9B\""},
      {"bad \xFF\xC3", "bad \\xff\\xc3", "bad \xFF\xC3", "\"bad \xEF\xBF\xBD\xEF\xBF\xBD\""},
      {"overlong \xC0\xAF", "overlong \\xc0\\xaf", "overlong \xC0\xAF", "\"overlong \xEF\xBF\xBD\xEF\xBF\xBD\""},
      {"surrogate \xED\xA0\x80", "surrogate \\xed\\xa0\\x80", "surrogate \xED\xA0\x80",
       "\"surrogate \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
      {"quote \" back \\", "quote \" back \\", "\"quote \"\" back \\\"", "\"quote \\\" back \\\\\""},
      {"sep \xE2\x80\xA8", "sep \xE2\x80\xA8", "sep \xE2\x80\xA8", "\"sep \\u2028\""},
      {"emoji \xF0\x9F\x98\x80", "emoji \xF0\x9F\x98\x80", "emoji \xF0\x9F\x98\x80", "\"emoji \xF0\x9F\x98\x80\""},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Text);
    EXPECT_EQ(TRecordPrinter::EscapeForTerminal(C.Text), C.Terminal);
    EXPECT_EQ(TRecordPrinter::CsvQuoted(C.Text), C.Csv);
    EXPECT_EQ(TRecordPrinter::JsonQuoted(C.Text), C.Json);
  }
  // A long text is cut in the table, never inside a character; the other
  // formats keep it whole.
  Add(1, Variant("Ångström " + std::string(40, 'x')));
  DS->First();
  const std::string Cell = TRecordPrinter::TableText(DS->FieldByName("name"));
  EXPECT_EQ(CharLength(Cell), 30u);
  EXPECT_EQ(Cell.substr(Cell.size() - 3), "\xE2\x80\xA6");
  EXPECT_EQ(TRecordPrinter::PlainText(DS->FieldByName("name")), "Ångström " + std::string(40, 'x'));
}

TEST_F(RecordPrinterTest, AScreenStopsAtTheLimitAndLeavesTheDataSetOnTheNextRecord) {
  for (std::int32_t Id = 1; Id <= 5; ++Id) Add(Id, Variant(std::string(std::size_t(Id), 'n')));
  DS->First();
  bool More = false;
  EXPECT_EQ(Screen(TOutputFormat::Table, 2, &More),
            "id  name  balance  rate  born  seen  active\n"
            "--  ----  -------  ----  ----  ----  ------\n"
            "1   n\n"
            "2   nn\n");
  EXPECT_TRUE(More);
  EXPECT_EQ(DS->FieldByName("id")->AsInteger(), 3);
  EXPECT_EQ(Screen(TOutputFormat::Csv, 2, &More), "id,name,balance,rate,born,seen,active\n3,nnn,,,,,\n4,nnnn,,,,,\n");
  EXPECT_TRUE(More);
  // The last record exactly at the limit: nothing more follows.
  EXPECT_EQ(Screen(TOutputFormat::Json, 1, &More),
            "[\n  {\"id\": 5, \"name\": \"nnnnn\", \"balance\": null, \"rate\": null, \"born\": null, "
            "\"seen\": null, \"active\": null}\n]\n");
  EXPECT_FALSE(More);

  DS->EmptyDataSet();
  EXPECT_EQ(Screen(TOutputFormat::Table, 20, &More),
            "id  name  balance  rate  born  seen  active\n--  ----  -------  ----  ----  ----  ------\n(no records)\n");
  EXPECT_FALSE(More);
  EXPECT_EQ(Screen(TOutputFormat::Json, 20), "[]\n");
}

}  // namespace
}  // namespace fyndra::cli
