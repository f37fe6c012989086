// A program built against an installed Fyndra: a client dataset of three
// people and a find model bound to it. Exits 0 when the model finds the record
// that a criterion typed by a user would find.
#include <cstdio>

#include <fyndra/dataset/zvdbbasemodel.h>
#include <fyndra/platform/db/datasource.h>
#include <fyndra/platform/db/dbclient.h>

int main() {
  using namespace fyndra;
  auto People = CreateOwned<TClientDataSet>(nullptr);
  People->GetFieldDefs()->Add("ID", ftInteger);
  People->GetFieldDefs()->Add("NAME", ftString, 20);
  People->CreateDataSet();
  People->AppendRecord({Variant(std::int32_t(1)), Variant("Anna")});
  People->AppendRecord({Variant(std::int32_t(2)), Variant("Bert")});
  People->AppendRecord({Variant(std::int32_t(3)), Variant("Berta")});
  People->First();

  auto Source = CreateOwned<TDataSource>(nullptr);
  Source->SetDataSet(People.get());
  auto Find = CreateOwned<TzvDBFindModel>(nullptr);
  Find->SetDataSource(Source.get());
  Find->GetCompareItems()->FindByName("NAME")->SetAsString("BERT");  // starts with, ignoring case

  const int Id = People->FieldByName("ID")->AsInteger();
  std::printf("found %d\n", Id);
  return Id == 2 ? 0 : 1;
}
