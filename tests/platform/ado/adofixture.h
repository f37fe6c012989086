// The fixture of the ODBC family's tests that run on both drivers: a fresh
// data source, a connection to it, and a form that owns the datasets (freed
// before the connection).
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include <fyndra/platform/ado/adodb.h>
#include <fyndra/platform/rtl/textservice.h>
#include "platform/ado/adotestutil.h"

namespace fyndra::adotest {

class DriverTest : public ::testing::TestWithParam<TSource> {
 protected:
  void SetUp() override {
    SetDefaultLocale("en_US");
    Src = std::make_unique<DataSource>(GetParam());
    Conn->SetConnectionString(Src->ConnectionString());
    Conn->Open();
  }
  bool Pg() const { return GetParam() == TSource::PostgreSQL; }

  std::unique_ptr<DataSource> Src;
  TOwned<TADOConnection> Conn = CreateOwned<TADOConnection>(static_cast<TComponent*>(nullptr));
  TOwned<TComponent> Form = CreateOwned<TComponent>(static_cast<TComponent*>(nullptr));
};

// Instantiates a DriverTest suite on SQLite's driver and on PostgreSQL's.
#define FYNDRA_ON_BOTH_DRIVERS(Suite)                                                                      \
  INSTANTIATE_TEST_SUITE_P(Drivers, Suite,                                                                 \
                           ::testing::Values(::fyndra::adotest::TSource::SQLite,                           \
                                             ::fyndra::adotest::TSource::PostgreSQL),                      \
                           [](const auto& Info) { return ::fyndra::adotest::SourceName(Info.param); })

}  // namespace fyndra::adotest
