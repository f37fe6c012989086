// A program built against an installed Fyndra: a client dataset of three
// people, a find model and the client package's filter model bound to it.
// Exits 0 when the models find and keep the records that a criterion typed by
// a user would find.
#include <cstdio>

#include <fyndra/adapters/client/zvclientmodel.h>
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

  auto Filter = CreateOwned<TzvClientFilterModel>(nullptr);
  Filter->SetDataSource(Source.get());
  Filter->SetFiltered(true);
  Filter->GetCompareItems()->FindByName("NAME")->SetAsString("bert");
  int Kept = 0;
  for (People->First(); !People->Eof(); People->Next()) ++Kept;
  std::printf("kept %d\n", Kept);
  return Id == 2 && Kept == 2 ? 0 : 1;
}
