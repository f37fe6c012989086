// The deterministic sample database: customers (names with non-ASCII letters,
// cities, dates, amounts, some Nulls) and their orders, with indexes. The same
// options always give the same rows, so tests, benchmarks and demos can build
// it on the spot. Used by the fyndra-gensample tool.
//
// Schema:
//   customers(id INTEGER PRIMARY KEY, code VARCHAR(12) NOT NULL UNIQUE,
//             name VARCHAR(40) NOT NULL, city VARCHAR(30) COLLATE NOCASE,
//             birth DATE, balance NUMERIC(12,2), active BOOLEAN NOT NULL,
//             created TIMESTAMP NOT NULL, note TEXT)
//     indexes customers_name(name), customers_city(city COLLATE NOCASE),
//             customers_balance(balance DESC)
//   orders(id INTEGER PRIMARY KEY, customer_id INTEGER NOT NULL REFERENCES
//          customers(id), ordered DATE NOT NULL, amount NUMERIC(12,2) NOT NULL,
//          status VARCHAR(10) NOT NULL)
//     index orders_customer(customer_id, ordered)
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

}  // namespace fyndra
