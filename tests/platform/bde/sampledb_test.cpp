#include <fyndra/platform/bde/sampledb.h>

#include <gtest/gtest.h>

#include <string>

#include <fyndra/platform/bde/sqliteengine.h>
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
  const std::string OrderDigest = "SELECT group_concat(customer_id || ordered || amount || status, '|') FROM orders";
  EXPECT_EQ(Scalar(A, Digest), Scalar(B, Digest));
  EXPECT_EQ(Scalar(A, OrderDigest), Scalar(B, OrderDigest));
  EXPECT_NE(Scalar(A, Digest), Scalar(C, Digest));

  EXPECT_EQ(Scalar(A, "SELECT count(*) FROM customers"), "500");
  EXPECT_EQ(Scalar(A, "SELECT name FROM customers WHERE id = 123"), SampleCustomerName(7, 123));
  // Non-ASCII letters, a quote inside a value, some Nulls, orders for customers.
  EXPECT_NE(Scalar(A, "SELECT count(*) FROM customers WHERE name GLOB '*[^ -~]*'"), "0");
  EXPECT_NE(Scalar(A, "SELECT count(*) FROM customers WHERE name LIKE '%''%'"), "0");
  EXPECT_NE(Scalar(A, "SELECT count(*) FROM customers WHERE city IS NULL"), "0");
  EXPECT_NE(Scalar(A, "SELECT count(*) FROM customers WHERE balance IS NULL"), "0");
  EXPECT_EQ(Scalar(A, "SELECT count(*) FROM orders WHERE customer_id NOT IN (SELECT id FROM customers)"), "0");
  EXPECT_EQ(Scalar(A, "SELECT count(*) FROM sqlite_master WHERE type = 'index' AND name NOT LIKE 'sqlite_%'"), "4");

  // Regenerating replaces the file.
  GenerateSampleDatabase(Dir.File("a.db"), {.Customers = 10});
  TSQLiteConnection Again(Dir.File("a.db"));
  EXPECT_EQ(Scalar(Again, "SELECT count(*) FROM customers"), "10");
}

}  // namespace
}  // namespace fyndra
