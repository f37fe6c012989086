// The deterministic sample database: customers (names with non-ASCII letters,
// cities, countries, dates, amounts, some Nulls), a country lookup table, and
// the customers' orders, the older ones in an archive table, with indexes. The
// same options always give the same rows (and the same file), so tests,
// benchmarks and demos can build it on the spot; a million customers take
// seconds. Used by the fyndra-gensample tool.
//
// Schema:
//   countries(iso VARCHAR(2) PRIMARY KEY, country_name VARCHAR(40) NOT NULL,
//             region VARCHAR(20) NOT NULL)
//   customers(id INTEGER PRIMARY KEY, code VARCHAR(12) NOT NULL UNIQUE,
//             name VARCHAR(40) NOT NULL, city VARCHAR(30),
//             country VARCHAR(2) REFERENCES countries(iso), birth DATE,
//             balance NUMERIC(12,2), active BOOLEAN NOT NULL,
//             created TIMESTAMP NOT NULL, note TEXT)
//     indexes customers_name(name COLLATE FYNDRA_CI_<text locale>),
//             customers_city(city COLLATE FYNDRA_CI_<text locale>),
//             customers_balance(balance DESC), customers_country(country)
//   orders, orders_archive (the same columns; orders placed before 2020 are
//          in the archive; ids are unique across both):
//         (id INTEGER PRIMARY KEY, customer_id INTEGER NOT NULL REFERENCES
//          customers(id), ordered DATE NOT NULL, amount NUMERIC(12,2) NOT NULL,
//          status VARCHAR(10) NOT NULL)
//     indexes orders_customer(customer_id, ordered), orders_ordered(ordered),
//             orders_archive_customer(customer_id, ordered),
//             orders_archive_ordered(ordered)
// A customer's country is the country of its city; half of the customers
// without a city have none.
// The name and city indexes keep the case-insensitive order of the text
// locale current while the file is made (sqliteengine.h): a program in that
// locale searches them ignoring case; one without the collation still reads
// the file.
// Values are stored as the engine family reads them: dates as 'YYYY-MM-DD',
// time stamps as 'YYYY-MM-DD HH:MM:SS', booleans as 0/1, amounts as decimal
// text with two places.
#pragma once

#include <cstdint>
#include <string>

namespace fyndra {

struct TSampleDatabaseOptions {
  std::int64_t Customers = 1000;
  int MaxOrdersPerCustomer = 3;  // each customer gets 0..Max orders
  std::uint64_t Seed = 1;
};

// Creates the database file at Path (replacing an existing file). Raises
// EDatabaseError with the engine's message when the file cannot be written.
void GenerateSampleDatabase(const std::string& Path, const TSampleDatabaseOptions& Options = {});

// The generated name of customer Id (1-based), for tests that look rows up.
std::string SampleCustomerName(std::uint64_t Seed, std::int64_t Id);

// Writes the customers of the sample database at DatabasePath, with their
// country's name, as a client dataset file (TClientDataSet::SaveToFile) at
// FileName, with the indexes ByName (name, ignoring case) and ByCity (city,
// ignoring case, then name). Columns: id, code, name, city, country,
// country_name, birth, balance, active. The database is opened read-only.
// Raises EDatabaseError when either file fails; the file is then not written.
void WriteSampleClientFile(const std::string& DatabasePath, const std::string& FileName);

}  // namespace fyndra
