#include <fyndra/platform/bde/sampledb.h>

#include <sqlite3.h>

#include <array>
#include <cstdio>
#include <string_view>

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
constexpr std::array<std::string_view, 12> Cities = {
    "Berlin", "München", "Zürich", "Kraków", "São Paulo", "Reykjavík",
    "Málaga", "Łódź",    "Paris",  "Oslo",   "Wien",      "İzmir"};
constexpr std::array<std::string_view, 4> Statuses = {"new", "paid", "shipped", "cancelled"};

class TStatement {
 public:
  TStatement(sqlite3* Db, const char* SQL) : Db_(Db) {
    if (sqlite3_prepare_v2(Db, SQL, -1, &Stmt_, nullptr) != SQLITE_OK) Fail();
  }
  ~TStatement() { sqlite3_finalize(Stmt_); }
  TStatement(const TStatement&) = delete;
  TStatement& operator=(const TStatement&) = delete;

  void Int(int I, std::int64_t V) { sqlite3_bind_int64(Stmt_, I, V); }
  void Text(int I, std::string_view V) {
    sqlite3_bind_text(Stmt_, I, V.data(), static_cast<int>(V.size()), SQLITE_TRANSIENT);
  }
  void Null(int I) { sqlite3_bind_null(Stmt_, I); }
  void Run() {
    if (sqlite3_step(Stmt_) != SQLITE_DONE) Fail();
    sqlite3_reset(Stmt_);
  }

 private:
  [[noreturn]] void Fail() { throw EDatabaseError(sqlite3_errmsg(Db_)); }
  sqlite3* Db_;
  sqlite3_stmt* Stmt_ = nullptr;
};

void Exec(sqlite3* Db, const char* SQL) {
  char* Error = nullptr;
  if (sqlite3_exec(Db, SQL, nullptr, nullptr, &Error) != SQLITE_OK) {
    std::string Message = Error ? Error : sqlite3_errmsg(Db);
    sqlite3_free(Error);
    throw EDatabaseError(Message);
  }
}

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

class TConnection {
 public:
  explicit TConnection(const std::string& Path) {
    int Rc = sqlite3_open_v2(Path.c_str(), &Db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (Rc != SQLITE_OK) {
      std::string Message = Db_ ? sqlite3_errmsg(Db_) : sqlite3_errstr(Rc);
      sqlite3_close(Db_);
      throw EDatabaseError("Cannot create '" + Path + "': " + Message);
    }
  }
  ~TConnection() { sqlite3_close(Db_); }
  sqlite3* Get() const { return Db_; }

 private:
  sqlite3* Db_ = nullptr;
};

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
  TConnection Conn(Path);
  sqlite3* Db = Conn.Get();
  Exec(Db, "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF;");
  Exec(Db,
       "CREATE TABLE customers (id INTEGER PRIMARY KEY, code VARCHAR(12) NOT NULL UNIQUE, "
       "name VARCHAR(40) NOT NULL, city VARCHAR(30) COLLATE NOCASE, birth DATE, "
       "balance NUMERIC(12,2), active BOOLEAN NOT NULL, created TIMESTAMP NOT NULL, note TEXT);"
       "CREATE TABLE orders (id INTEGER PRIMARY KEY, customer_id INTEGER NOT NULL REFERENCES customers(id), "
       "ordered DATE NOT NULL, amount NUMERIC(12,2) NOT NULL, status VARCHAR(10) NOT NULL);");
  Exec(Db, "BEGIN");
  {
    TStatement Customer(Db,
                        "INSERT INTO customers (id, code, name, city, birth, balance, active, created, note) "
                        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
    TStatement Order(Db, "INSERT INTO orders (customer_id, ordered, amount, status) VALUES (?, ?, ?, ?)");
    for (std::int64_t Id = 1; Id <= Options.Customers; ++Id) {
      TRandom R = RandomFor(Options.Seed, Id, 1);
      char Code[32];
      std::snprintf(Code, sizeof Code, "C%07lld", (long long)Id);
      Customer.Int(1, Id);
      Customer.Text(2, Code);
      Customer.Text(3, SampleCustomerName(Options.Seed, Id));
      // About one customer in ten has no city, no birth date or no balance.
      if (R.Below(10) == 0) Customer.Null(4);
      else Customer.Text(4, Cities[R.Below(Cities.size())]);
      if (R.Below(10) == 0) Customer.Null(5);
      else Customer.Text(5, DateText(-10957 + R.Below(25000)));  // 1940 .. 2008
      if (R.Below(10) == 0) Customer.Null(6);
      else Customer.Text(6, AmountText(R.Below(2000000) - 100000));
      Customer.Int(7, R.Below(4) != 0);
      std::int64_t Seconds = R.Below(86400);
      char Created[64];
      std::snprintf(Created, sizeof Created, "%s %02d:%02d:%02d", DateText(14610 + R.Below(5000)).c_str(),
                    int(Seconds / 3600), int(Seconds / 60 % 60), int(Seconds % 60));
      Customer.Text(8, Created);
      if (R.Below(3) == 0) Customer.Text(9, "Customer since the first catalogue; prefers 'express' delivery");
      else Customer.Null(9);
      Customer.Run();

      int Orders = static_cast<int>(R.Below(Options.MaxOrdersPerCustomer + 1));
      for (int O = 0; O < Orders; ++O) {
        Order.Int(1, Id);
        Order.Text(2, DateText(17532 + R.Below(2500)));  // 2018 ..
        Order.Text(3, AmountText(100 + R.Below(500000)));
        Order.Text(4, Statuses[R.Below(Statuses.size())]);
        Order.Run();
      }
    }
  }
  Exec(Db, "COMMIT");
  Exec(Db,
       "CREATE INDEX customers_name ON customers (name);"
       "CREATE INDEX customers_city ON customers (city COLLATE NOCASE);"
       "CREATE INDEX customers_balance ON customers (balance DESC);"
       "CREATE INDEX orders_customer ON orders (customer_id, ordered);"
       "ANALYZE;");
}

}  // namespace fyndra
