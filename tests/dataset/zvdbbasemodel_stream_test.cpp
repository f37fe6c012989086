// A find component and its items written to form text and read back: only
// values that differ from the defaults are written, and the loaded form works
// once its dataset opens.
#include <gtest/gtest.h>

#include <fyndra/dataset/zvdbbasemodel.h>
#include <fyndra/platform/streaming/filer.h>
#include "dataset/dstest.h"

namespace fyndra {
namespace {

TOwned<TComponent> NewForm() {
  RegisterClasses({TDataSource::StaticClass(), TzvDBFindModel::StaticClass()});
  TOwned<TComponent> Form(Create<TComponent>(static_cast<TComponent*>(nullptr)));
  Form->SetName("Form1");
  return Form;
}

TEST(FindModelStreaming, WritesNonDefaultsAndWorksAfterLoading) {
  std::string Text;
  {
    TOwned<TComponent> Form = NewForm();
    auto* DS = Create<TClientDataSet>(Form.get());
    DS->SetName("People");
    DS->GetFieldDefs()->Add("ID", ftInteger);
    DS->GetFieldDefs()->Add("NAME", ftString, 20);
    DS->GetFieldDefs()->Add("CITY", ftString, 20);
    auto* Src = Create<TDataSource>(Form.get());
    Src->SetName("PeopleSource");
    Src->SetDataSet(DS);
    auto* M = Create<TzvDBFindModel>(Form.get());
    M->SetName("Finder");
    M->SetDataSource(Src);
    M->SetItemsOption(ioCustom);
    for (const char* Field : {"NAME", "CITY"}) {
      auto* Item = M->GetCompareItems()->Add();
      Item->SetFieldName(Field);
      Item->SetName(std::string("By") + Field);
    }
    M->GetCompareItems()->GetItem(1)->SetCompareKey(10);  // contains
    M->SetExpression("ByName or ByCity");
    M->GetOptions()->SetUnlessFoundOption(ufNotMove);
    M->GetMessageOptions()->SetRecordNotFound("Nobody here");
    Text = WriteComponentToText(Form.get());
  }
  EXPECT_NE(Text.find("object Finder: TzvDBFindModel"), std::string::npos) << Text;
  EXPECT_NE(Text.find("DataSource = PeopleSource"), std::string::npos) << Text;
  EXPECT_NE(Text.find("FieldName = 'CITY'"), std::string::npos) << Text;
  EXPECT_NE(Text.find("Expression = 'ByName or ByCity'"), std::string::npos) << Text;
  EXPECT_NE(Text.find("UnlessFoundOption = ufNotMove"), std::string::npos) << Text;
  EXPECT_NE(Text.find("RecordNotFound = 'Nobody here'"), std::string::npos) << Text;
  EXPECT_EQ(Text.find("Restart"), std::string::npos) << Text;        // default
  EXPECT_EQ(Text.find("Optimization"), std::string::npos) << Text;   // default
  EXPECT_EQ(Text.find("ShowMessage"), std::string::npos) << Text;    // default
  EXPECT_EQ(Text.find("TzvModelDataSet"), std::string::npos) << Text;  // a part of the model

  TOwned<TComponent> Form = NewForm();
  ReadComponentTextInto(Text, Form.get());
  auto* M = dynamic_cast<TzvDBFindModel*>(Form->FindComponent("Finder"));
  auto* DS = dynamic_cast<TClientDataSet*>(Form->FindComponent("People"));
  ASSERT_NE(M, nullptr);
  ASSERT_NE(DS, nullptr);
  EXPECT_EQ(M->GetDataSource(), Form->FindComponent("PeopleSource"));
  EXPECT_EQ(M->GetItemsOption(), ioCustom);
  ASSERT_EQ(M->GetCompareItems()->Count(), 2);
  EXPECT_EQ(M->GetCompareItems()->GetItem(1)->GetCompareKey(), 10);
  EXPECT_EQ(M->GetOptions()->GetUnlessFoundOption(), ufNotMove);
  EXPECT_TRUE(M->GetIndexModel()->GetActive());
  EXPECT_FALSE(M->GetActive());

  DS->CreateDataSet();
  DS->AppendRecord({Variant(std::int32_t(1)), Variant("Anna"), Variant("Berlin")});
  DS->AppendRecord({Variant(std::int32_t(2)), Variant("Bert"), Variant("Rome")});
  DS->First();
  EXPECT_TRUE(M->GetActive());
  M->GetCompareItems()->FindByName("ByCity")->SetAsString("om");  // applies: AutoUpdate
  EXPECT_EQ(dstest::IdOf(DS), 2);
}

// Components named in Cyrillic, as a form saved by an IDE in UTF-8 names
// them: the model finds its data source by that name and works after loading.
TEST(FindModelStreaming, UnicodeNamedComponentsBindAfterLoading) {
  std::string Text;
  {
    TOwned<TComponent> Form = NewForm();
    Form->SetName("ФормаПоиска");
    auto* DS = Create<TClientDataSet>(Form.get());
    DS->SetName("Люди");
    DS->GetFieldDefs()->Add("ID", ftInteger);
    DS->GetFieldDefs()->Add("ИМЯ", ftString, 20);
    auto* Src = Create<TDataSource>(Form.get());
    Src->SetName("ИсточникЛюдей");
    Src->SetDataSet(DS);
    auto* M = Create<TzvDBFindModel>(Form.get());
    M->SetName("ПоискПоИмени");
    M->SetDataSource(Src);
    M->SetItemsOption(ioCustom);
    auto* Item = M->GetCompareItems()->Add();
    Item->SetFieldName("ИМЯ");
    Item->SetName("Имя");
    M->SetExpression("Имя");
    Text = WriteComponentToText(Form.get());
  }
  EXPECT_EQ(Text.rfind("\xEF\xBB\xBFobject ФормаПоиска: TComponent\n", 0), 0u) << Text;
  EXPECT_NE(Text.find("  object ПоискПоИмени: TzvDBFindModel\n"), std::string::npos) << Text;
  EXPECT_NE(Text.find("    DataSource = ИсточникЛюдей\n"), std::string::npos) << Text;

  TOwned<TComponent> Form = NewForm();
  ReadComponentTextInto(Text, Form.get());
  EXPECT_EQ(WriteComponentToText(Form.get()), Text);
  EXPECT_EQ(Form->GetName(), "ФормаПоиска");
  auto* M = dynamic_cast<TzvDBFindModel*>(Form->FindComponent("поискпоимени"));
  auto* DS = dynamic_cast<TClientDataSet*>(Form->FindComponent("ЛЮДИ"));
  ASSERT_NE(M, nullptr);
  ASSERT_NE(DS, nullptr);
  EXPECT_EQ(M->GetDataSource(), Form->FindComponent("ИсточникЛюдей"));
  DS->CreateDataSet();
  DS->AppendRecord({Variant(std::int32_t(1)), Variant("Анна")});
  DS->AppendRecord({Variant(std::int32_t(2)), Variant("Борис")});
  DS->First();
  EXPECT_TRUE(M->GetActive());
  M->GetCompareItems()->FindByName("Имя")->SetAsString("Борис");
  EXPECT_EQ(dstest::IdOf(DS), 2);
}

}  // namespace
}  // namespace fyndra
