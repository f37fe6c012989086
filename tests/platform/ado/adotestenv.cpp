// The test environment of the ODBC family's tests: it stops the PostgreSQL
// server of the program after the last test.
#include <gtest/gtest.h>

#include "platform/ado/adotestutil.h"

namespace fyndra::adotest {
namespace {

class ServerEnvironment : public ::testing::Environment {
 public:
  void TearDown() override { PostgresServer::StopShared(); }
};
const auto* const Environment = ::testing::AddGlobalTestEnvironment(new ServerEnvironment);

}  // namespace
}  // namespace fyndra::adotest
