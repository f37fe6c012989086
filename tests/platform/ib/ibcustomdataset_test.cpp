#include <gtest/gtest.h>

#include <fyndra/platform/ib/ibcustomdataset.h>
#include "platform/ib/ibtestutil.h"

namespace fyndra {
namespace {

TEST(IBSmoke, OpensAQuery) {
  ibtest::TestDatabase T;
  T.Exec("CREATE TABLE t (id INTEGER NOT NULL PRIMARY KEY, name VARCHAR(20))");
  T.Exec("INSERT INTO t VALUES (1, 'Müller')");
  auto Q = CreateOwned<TIBQuery>(static_cast<TComponent*>(nullptr));
  Q->SetDatabase(T.Db.get());
  Q->GetSQL()->SetText("SELECT * FROM t WHERE id = :id");
  Q->ParamByName("id")->SetAsInteger(1);
  Q->Open();
  EXPECT_EQ(Q->FieldByName("name")->AsString(), "Müller");
}

}  // namespace
}  // namespace fyndra
