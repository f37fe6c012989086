#include <fyndra/platform/bde/sampledb.h>

#include <array>
#include <cstdio>
#include <memory>
#include <string_view>

#include <fyndra/platform/bde/bdedataset.h>
#include <fyndra/platform/bde/database.h>
#include <fyndra/platform/bde/sqliteengine.h>
#include <fyndra/platform/db/dbclient.h>
#include <fyndra/platform/db/dbtypes.h>

namespace fyndra {
namespace {

// splitmix64: a tiny generator whose sequence is the same on every platform
// (unlike the standard distributions), which is what makes the data repeatable.
class TRandom {
 public:
  explicit TRandom(std::uint64_t State) : State_(State) {}
  std::uint64_t Next() {
    std::uint64_t Z = (State_ += 0x9E3779B97F4A7C15ull);
    Z = (Z ^ (Z >> 30)) * 0xBF58476D1CE4E5B9ull;
    Z = (Z ^ (Z >> 27)) * 0x94D049BB133111EBull;
    return Z ^ (Z >> 31);
  }
  // Uniform in [0, N).
  std::int64_t Below(std::int64_t N) { return static_cast<std::int64_t>(Next() % static_cast<std::uint64_t>(N)); }

 private:
  std::uint64_t State_;
};

TRandom RandomFor(std::uint64_t Seed, std::int64_t Id, std::uint64_t Stream) {
  TRandom Mix(Seed * 0x2545F4914F6CDD1Dull ^ static_cast<std::uint64_t>(Id) ^ (Stream << 56));
  return TRandom(Mix.Next());
}

constexpr std::array<std::string_view, 24> FirstNames = {
    "Anna",  "Björn",  "Zoë",    "José",   "Łukasz", "Søren",  "Émile",  "Mårten",
    "Ines",  "Jürgen", "Chloé",  "Dmitri", "Ørjan",  "Noémie", "Ömer",   "Ágnes",
    "Peter", "Maria",  "Ivan",   "Lena",   "Tomáš",  "Yūko",   "Ðorđe",  "Sven"};
constexpr std::array<std::string_view, 24> LastNames = {
    "Müller",   "Schmidt",  "Ødegaard", "García",  "Nuñez",   "Dvořák",  "Weiß",     "O'Brien",
    "Lefèvre",  "Kowalski", "İnce",     "Großmann", "Smith",  "Jensen",  "Åberg",    "Dupont",
    "Novák",    "Çelik",    "Ólafsson", "Rossi",   "Wójcik",  "Meier",   "Straßer",  "Brown"};
struct TCity {
  std::string_view Name;
  std::string_view Country;  // ISO code, a row of the countries table
};
constexpr std::array<TCity, 12> Cities = {{{"Berlin", "DE"},
                                           {"München", "DE"},
                                           {"Zürich", "CH"},
                                           {"Kraków", "PL"},
                                           {"São Paulo", "BR"},
                                           {"Reykjavík", "IS"},
                                           {"Málaga", "ES"},
                                           {"Łódź", "PL"},
                                           {"Paris", "FR"},
                                           {"Oslo", "NO"},
                                           {"Wien", "AT"},
                                           {"İzmir", "TR"}}};
struct TCountry {
  std::string_view Iso, Name, Region;
};
// The lookup table: the countries of the cities, and some that no city has
// (a lookup list offers more than the data holds), one with a quote.
constexpr std::array<TCountry, 18> Countries = {{{"AT", "Austria", "Europe"},
                                                 {"BR", "Brazil", "South America"},
                                                 {"CH", "Switzerland", "Europe"},
                                                 {"CI", "Côte d'Ivoire", "Africa"},
                                                 {"CZ", "Czechia", "Europe"},
                                                 {"DE", "Germany", "Europe"},
                                                 {"DK", "Denmark", "Europe"},
                                                 {"ES", "Spain", "Europe"},
                                                 {"FR", "France", "Europe"},
                                                 {"GB", "United Kingdom", "Europe"},
                                                 {"IS", "Iceland", "Europe"},
                                                 {"IT", "Italy", "Europe"},
                                                 {"JP", "Japan", "Asia"},
                                                 {"NO", "Norway", "Europe"},
                                                 {"PL", "Poland", "Europe"},
                                                 {"SE", "Sweden", "Europe"},
                                                 {"TR", "Türkiye", "Asia"},
                                                 {"US", "United States", "North America"}}};
// Orders placed before this day (2020-01-01) are kept in orders_archive.
constexpr std::int64_t ArchiveBefore = 18262;
constexpr std::array<std::string_view, 4> Statuses = {"new", "paid", "shipped", "cancelled"};

// An insert statement, bound by position and run once per row.
class TStatement {
 public:
  TStatement(const TSQLiteConnection& Conn, const char* SQL) : S_(Conn, SQL) {}
  void Int(int I, std::int64_t V) { S_.BindInt64(I, V); }
  void Text(int I, std::string_view V) { S_.BindText(I, V); }
  void Null(int I) { S_.BindNull(I); }
  void Run() { S_.Execute(); }

 private:
  TSQLiteStatement S_;
};

// Days from 1970-01-01 to a civil date and back (proleptic Gregorian).
std::string DateText(std::int64_t DaysSinceEpoch) {
  std::int64_t Z = DaysSinceEpoch + 719468;
  std::int64_t Era = (Z >= 0 ? Z : Z - 146096) / 146097;
  std::int64_t Doe = Z - Era * 146097;
  std::int64_t Yoe = (Doe - Doe / 1460 + Doe / 36524 - Doe / 146096) / 365;
  std::int64_t Y = Yoe + Era * 400;
  std::int64_t Doy = Doe - (365 * Yoe + Yoe / 4 - Yoe / 100);
  std::int64_t Mp = (5 * Doy + 2) / 153;
  std::int64_t D = Doy - (153 * Mp + 2) / 5 + 1;
  std::int64_t M = Mp < 10 ? Mp + 3 : Mp - 9;
  if (M <= 2) ++Y;
  char Buf[48];
  std::snprintf(Buf, sizeof Buf, "%04d-%02d-%02d", int(Y), int(M), int(D));
  return Buf;
}

std::string AmountText(std::int64_t Cents) {
  char Buf[32];
  const char* Sign = Cents < 0 ? "-" : "";
  std::uint64_t Abs = Cents < 0 ? std::uint64_t(-(Cents + 1)) + 1 : std::uint64_t(Cents);
  std::snprintf(Buf, sizeof Buf, "%s%llu.%02llu", Sign, (unsigned long long)(Abs / 100),
                (unsigned long long)(Abs % 100));
  return Buf;
}

}  // namespace

std::string SampleCustomerName(std::uint64_t Seed, std::int64_t Id) {
  TRandom R = RandomFor(Seed, Id, 0);
  std::string Name(FirstNames[R.Below(FirstNames.size())]);
  Name += ' ';
  Name += LastNames[R.Below(LastNames.size())];
  return Name;
}

void GenerateSampleDatabase(const std::string& Path, const TSampleDatabaseOptions& Options) {
  if (Path != ":memory:") std::remove(Path.c_str());
  std::unique_ptr<TSQLiteConnection> Connection;
  try {
    Connection = std::make_unique<TSQLiteConnection>(Path, TSQLiteOpenOptions{.Create = true});
  } catch (const EDatabaseError& E) {
    throw EDatabaseError("Cannot create '" + Path + "': " + E.Message());
  }
  TSQLiteConnection& Db = *Connection;
  // Written once in one go: every row is known to be consistent.
  Db.Exec("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; PRAGMA foreign_keys = OFF;");
  Db.Exec(
       "CREATE TABLE countries (iso VARCHAR(2) PRIMARY KEY, country_name VARCHAR(40) NOT NULL, "
       "region VARCHAR(20) NOT NULL);"
       "CREATE TABLE customers (id INTEGER PRIMARY KEY, code VARCHAR(12) NOT NULL UNIQUE, "
       "name VARCHAR(40) NOT NULL, city VARCHAR(30), country VARCHAR(2) REFERENCES countries(iso), "
       "birth DATE, balance NUMERIC(12,2), active BOOLEAN NOT NULL, created TIMESTAMP NOT NULL, note TEXT);"
       "CREATE TABLE orders (id INTEGER PRIMARY KEY, customer_id INTEGER NOT NULL REFERENCES customers(id), "
       "ordered DATE NOT NULL, amount NUMERIC(12,2) NOT NULL, status VARCHAR(10) NOT NULL);"
       "CREATE TABLE orders_archive (id INTEGER PRIMARY KEY, customer_id INTEGER NOT NULL REFERENCES customers(id), "
       "ordered DATE NOT NULL, amount NUMERIC(12,2) NOT NULL, status VARCHAR(10) NOT NULL);");
  Db.Exec("BEGIN");
  {
    TStatement Country(Db, "INSERT INTO countries (iso, country_name, region) VALUES (?, ?, ?)");
    for (const TCountry& C : Countries) {
      Country.Text(1, C.Iso);
      Country.Text(2, C.Name);
      Country.Text(3, C.Region);
      Country.Run();
    }
    TStatement Customer(Db,
                        "INSERT INTO customers (id, code, name, city, country, birth, balance, active, created, "
                        "note) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    TStatement Order(Db, "INSERT INTO orders (id, customer_id, ordered, amount, status) VALUES (?, ?, ?, ?, ?)");
    TStatement Archived(Db,
                        "INSERT INTO orders_archive (id, customer_id, ordered, amount, status) VALUES (?, ?, ?, ?, ?)");
    std::int64_t OrderId = 0;  // one sequence over both order tables
    for (std::int64_t Id = 1; Id <= Options.Customers; ++Id) {
      TRandom R = RandomFor(Options.Seed, Id, 1);
      char Code[32];
      std::snprintf(Code, sizeof Code, "C%07lld", (long long)Id);
      Customer.Int(1, Id);
      Customer.Text(2, Code);
      Customer.Text(3, SampleCustomerName(Options.Seed, Id));
      // About one customer in ten has no city, no birth date or no balance.
      // The country follows the city; half of those without a city have one
      // (drawn from a stream of its own, so the other columns stay as they
      // were before countries existed).
      TRandom CountryRandom = RandomFor(Options.Seed, Id, 3);
      if (R.Below(10) == 0) {
        Customer.Null(4);
        if (CountryRandom.Below(2) == 0) Customer.Null(5);
        else Customer.Text(5, Countries[CountryRandom.Below(Countries.size())].Iso);
      } else {
        const TCity& City = Cities[R.Below(Cities.size())];
        Customer.Text(4, City.Name);
        Customer.Text(5, City.Country);
      }
      if (R.Below(10) == 0) Customer.Null(6);
      else Customer.Text(6, DateText(-10957 + R.Below(25000)));  // 1940 .. 2008
      if (R.Below(10) == 0) Customer.Null(7);
      else Customer.Text(7, AmountText(R.Below(2000000) - 100000));
      Customer.Int(8, R.Below(4) != 0);
      std::int64_t Seconds = R.Below(86400);
      char Created[64];
      std::snprintf(Created, sizeof Created, "%s %02d:%02d:%02d", DateText(14610 + R.Below(5000)).c_str(),
                    int(Seconds / 3600), int(Seconds / 60 % 60), int(Seconds % 60));
      Customer.Text(9, Created);
      if (R.Below(3) == 0) Customer.Text(10, "Customer since the first catalogue; prefers 'express' delivery");
      else Customer.Null(10);
      Customer.Run();

      int Orders = static_cast<int>(R.Below(Options.MaxOrdersPerCustomer + 1));
      for (int O = 0; O < Orders; ++O) {
        const std::int64_t Day = 17532 + R.Below(2500);  // 2018 .. 2024
        TStatement& Into = Day < ArchiveBefore ? Archived : Order;
        Into.Int(1, ++OrderId);
        Into.Int(2, Id);
        Into.Text(3, DateText(Day));
        Into.Text(4, AmountText(100 + R.Below(500000)));
        Into.Text(5, Statuses[R.Below(Statuses.size())]);
        Into.Run();
      }
    }
  }
  Db.Exec("COMMIT");
  // Names and cities are searched ignoring case: their indexes keep the
  // case-insensitive order of the current text locale.
  const std::string Collate = CollateClause(CaseInsensitiveCollation());
  Db.Exec("CREATE INDEX customers_name ON customers (name" + Collate + ");"
          "CREATE INDEX customers_city ON customers (city" + Collate + ");");
  Db.Exec(
       "CREATE INDEX customers_balance ON customers (balance DESC);"
       "CREATE INDEX customers_country ON customers (country);"
       "CREATE INDEX orders_customer ON orders (customer_id, ordered);"
       "CREATE INDEX orders_ordered ON orders (ordered);"
       "CREATE INDEX orders_archive_customer ON orders_archive (customer_id, ordered);"
       "CREATE INDEX orders_archive_ordered ON orders_archive (ordered);"
       "ANALYZE;");
}

void WriteSampleClientFile(const std::string& DatabasePath, const std::string& FileName) {
  TOwned<TDatabase> Database = CreateOwned<TDatabase>(static_cast<TComponent*>(nullptr));
  Database->SetDatabaseName(DatabasePath);
  Database->GetParams()->Add("READONLY=TRUE");
  TOwned<TQuery> Query = CreateOwned<TQuery>(static_cast<TComponent*>(nullptr));
  Query->SetDatabase(Database.get());
  Query->GetSQL()->SetText(
      "SELECT c.id, c.code, c.name, c.city, c.country, k.country_name, c.birth, c.balance, c.active "
      "FROM customers c LEFT JOIN countries k ON k.iso = c.country ORDER BY c.id");
  Query->Open();
  TOwned<TClientDataSet> Client = CreateOwned<TClientDataSet>(static_cast<TComponent*>(nullptr));
  Client->LoadFromDataSet(Query.get());
  Client->AddIndex("ByName", "name", TIndexOptions(), "", "name");
  Client->AddIndex("ByCity", "city;name", TIndexOptions(), "", "city;name");
  Client->SaveToFile(FileName);
}

}  // namespace fyndra
