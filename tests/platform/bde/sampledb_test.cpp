#include <fyndra/platform/bde/sampledb.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <fyndra/platform/bde/sqliteengine.h>
#include <fyndra/platform/db/dbclient.h>
#include "platform/bde/bdetestutil.h"

namespace fyndra {
namespace {

using bdetest::TempDir;

std::string Scalar(TSQLiteConnection& C, const std::string& SQL) {
  TSQLiteStatement S(C, SQL);
  return S.Step() && !S.ColumnIsNull(0) ? std::string(S.ColumnText(0)) : "<null>";
}

TEST(SampleDatabase, IsTheSameForTheSameOptionsAndHoldsWhatTestsNeed) {
  TempDir Dir;
  GenerateSampleDatabase(Dir.File("a.db"), {.Customers = 500, .MaxOrdersPerCustomer = 3, .Seed = 7});
  GenerateSampleDatabase(Dir.File("b.db"), {.Customers = 500, .MaxOrdersPerCustomer = 3, .Seed = 7});
  GenerateSampleDatabase(Dir.File("c.db"), {.Customers = 500, .MaxOrdersPerCustomer = 3, .Seed = 8});
  TSQLiteConnection A(Dir.File("a.db")), B(Dir.File("b.db")), C(Dir.File("c.db"));
  const std::string Digest =
      "SELECT group_concat(id || name || ifnull(city, '-') || ifnull(birth, '-') || ifnull(balance, '-'), '|') "
      "FROM customers";
  const std::string OrderDigest =
      "SELECT group_concat(id || customer_id || ordered || amount || status, '|') FROM "
      "(SELECT * FROM orders UNION ALL SELECT * FROM orders_archive ORDER BY id)";
  const std::string CountryDigest = "SELECT group_concat(id || ifnull(country, '-'), '|') FROM customers";
  EXPECT_EQ(Scalar(A, Digest), Scalar(B, Digest));
  EXPECT_EQ(Scalar(A, OrderDigest), Scalar(B, OrderDigest));
  EXPECT_EQ(Scalar(A, CountryDigest), Scalar(B, CountryDigest));
  EXPECT_NE(Scalar(A, Digest), Scalar(C, Digest));
  EXPECT_NE(Scalar(A, CountryDigest), Scalar(C, CountryDigest));
  // Not only the same rows: the same file, byte for byte.
  auto Bytes = [](const std::string& File) {
    std::ifstream In(File, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
  };
  EXPECT_EQ(Bytes(Dir.File("a.db")), Bytes(Dir.File("b.db")));

  EXPECT_EQ(Scalar(A, "SELECT count(*) FROM customers"), "500");
  EXPECT_EQ(Scalar(A, "SELECT name FROM customers WHERE id = 123"), SampleCustomerName(7, 123));
  // Non-ASCII letters, a quote inside a value, some Nulls, orders for customers.
  EXPECT_NE(Scalar(A, "SELECT count(*) FROM customers WHERE name GLOB '*[^ -~]*'"), "0");
  EXPECT_NE(Scalar(A, "SELECT count(*) FROM customers WHERE name LIKE '%''%'"), "0");
  EXPECT_NE(Scalar(A, "SELECT count(*) FROM customers WHERE city IS NULL"), "0");
  EXPECT_NE(Scalar(A, "SELECT count(*) FROM customers WHERE balance IS NULL"), "0");
  EXPECT_EQ(Scalar(A, "SELECT count(*) FROM orders WHERE customer_id NOT IN (SELECT id FROM customers)"), "0");
  EXPECT_EQ(Scalar(A, "SELECT count(*) FROM sqlite_master WHERE type = 'index' AND name NOT LIKE 'sqlite_%'"), "8");
  // The archive holds the orders before 2020, the orders table the rest; ids
  // are unique across both, so a union of the two lists each order once.
  EXPECT_NE(Scalar(A, "SELECT count(*) FROM orders_archive"), "0");
  EXPECT_EQ(Scalar(A, "SELECT count(*) FROM orders_archive WHERE ordered >= '2020-01-01'"), "0");
  EXPECT_EQ(Scalar(A, "SELECT count(*) FROM orders WHERE ordered < '2020-01-01'"), "0");
  EXPECT_EQ(Scalar(A, "SELECT count(*) FROM orders o JOIN orders_archive a ON a.id = o.id"), "0");
  // Every country a customer names is in the lookup table, which also lists
  // countries that no customer has; a city always comes with its country.
  EXPECT_EQ(Scalar(A, "SELECT count(*) FROM customers WHERE country NOT IN (SELECT iso FROM countries)"), "0");
  EXPECT_NE(Scalar(A, "SELECT count(*) FROM countries WHERE iso NOT IN "
                      "(SELECT country FROM customers WHERE country IS NOT NULL)"), "0");
  EXPECT_EQ(Scalar(A, "SELECT count(*) FROM customers WHERE city IS NOT NULL AND country IS NULL"), "0");
  EXPECT_EQ(Scalar(A, "SELECT DISTINCT country FROM customers WHERE city = 'Kraków'"), "PL");
  EXPECT_NE(Scalar(A, "SELECT count(*) FROM customers WHERE city IS NULL AND country IS NOT NULL"), "0");
  EXPECT_NE(Scalar(A, "SELECT count(*) FROM countries WHERE country_name LIKE '%''%'"), "0");

  // Regenerating replaces the file.
  GenerateSampleDatabase(Dir.File("a.db"), {.Customers = 10});
  TSQLiteConnection Again(Dir.File("a.db"));
  EXPECT_EQ(Scalar(Again, "SELECT count(*) FROM customers"), "10");
}

TEST(SampleDatabase, CustomersGoToAClientDatasetFileWithTheirCountryAndTwoIndexes) {
  TempDir Dir;
  GenerateSampleDatabase(Dir.File("s.db"), {.Customers = 300, .Seed = 3});
  WriteSampleClientFile(Dir.File("s.db"), Dir.File("c.cds"));
  TOwned<TClientDataSet> Client = CreateOwned<TClientDataSet>(static_cast<TComponent*>(nullptr));
  Client->LoadFromFile(Dir.File("c.cds"));
  EXPECT_EQ(Client->GetRecordCount(), 300);
  ASSERT_NE(Client->FindField("country_name"), nullptr);
  TSQLiteConnection Db(Dir.File("s.db"));
  Client->First();
  Client->MoveBy(122);  // customer 123
  EXPECT_EQ(Client->FieldByName("id")->AsString(), "123");
  EXPECT_EQ(Client->FieldByName("name")->AsString(), SampleCustomerName(3, 123));
  EXPECT_EQ(Client->FieldByName("country_name")->IsNull() ? "<null>" : Client->FieldByName("country_name")->AsString(),
            Scalar(Db, "SELECT k.country_name FROM customers c JOIN countries k ON k.iso = c.country WHERE c.id = 123"));
  EXPECT_GE(Client->GetIndexDefs()->IndexOf("ByName"), 0);
  EXPECT_GE(Client->GetIndexDefs()->IndexOf("ByCity"), 0);

  // A database that is not there: an error, and no file.
  EXPECT_THROW(WriteSampleClientFile(Dir.File("missing.db"), Dir.File("m.cds")), EDatabaseError);
  EXPECT_FALSE(std::filesystem::exists(Dir.File("m.cds")));
  EXPECT_FALSE(std::filesystem::exists(Dir.File("missing.db")));
}

}  // namespace
}  // namespace fyndra
