// The model source and the CLX edition's bound edits, headless: binding by
// name, following the items, both directions without echo, uvAuto and uvExit,
// refusing a value that does not convert, form files, and freeing in any order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <fyndra/controls/zvmodelqmask.h>
#include <fyndra/controls/zvmodelqstdctrls.h>
#include <fyndra/core/zvmodelconsts.h>
#include <fyndra/dataset/zvdbbasemodel.h>
#include <fyndra/platform/controls/forms.h>
#include <fyndra/platform/db/datasource.h>
#include <fyndra/platform/db/dbclient.h>
#include <fyndra/platform/streaming/filer.h>

namespace fyndra {
namespace {

using clx::TzvModelEdit;
using clx::TzvModelMaskEdit;

// A form with a people dataset, its data source, a find model over it, and
// two bound edits; the dataset starts closed unless told.
struct TQueryForm {
  TOwned<TForm> Form = CreateOwned<TForm>(nullptr);
  TClientDataSet* People = Create<TClientDataSet>(Form.get());
  TDataSource* Source = Create<TDataSource>(Form.get());
  TzvDBFindModel* Find = Create<TzvDBFindModel>(Form.get());
  TzvModelEdit* NameEdit = Create<TzvModelEdit>(Form.get());
  TzvModelEdit* IdEdit = Create<TzvModelEdit>(Form.get());

  explicit TQueryForm(bool Open = true) {
    Form->SetName("QueryForm");
    People->SetName("People");
    Source->SetName("PeopleSource");
    Find->SetName("Find");
    NameEdit->SetName("NameEdit");
    IdEdit->SetName("IdEdit");
    auto* D = People->GetFieldDefs();
    D->Add("ID", ftInteger);
    D->Add("NAME", ftString, 20);
    People->CreateDataSet();
    int Id = 0;
    for (const char* N : {"Anna", "Bert", "Carl", "Berta"}) People->AppendRecord({Variant(++Id), Variant(N)});
    if (!Open) People->Close();
    Source->SetDataSet(People);
    Find->SetDataSource(Source);
    NameEdit->SetParent(Form.get());
    IdEdit->SetParent(Form.get());
    NameEdit->GetModelSource()->SetBaseModel(Find);
    NameEdit->GetModelSource()->SetItemName("name");  // matched ignoring case
    IdEdit->GetModelSource()->SetBaseModel(Find);
    IdEdit->GetModelSource()->SetItemName("ID");
  }
  TzvCompareItem* Item(const char* Name) const { return Find->GetCompareItems()->FindItem(Name); }
  int CurrentId() const { return People->FieldByName("ID")->AsInteger(); }
};

TEST(ModelSourceTest, BindsByNameIgnoringCaseAndFollowsTheItems) {
  TQueryForm Q(false);
  EXPECT_EQ(Q.NameEdit->GetModelSource()->GetCompareItem(), nullptr);
  Q.People->Open();  // items are made with the fields: the sources bind at once
  EXPECT_EQ(Q.NameEdit->GetModelSource()->GetCompareItem(), Q.Item("NAME"));
  Q.NameEdit->SetText("Be");
  Free(Q.Item("NAME"));  // the bound item goes: unbound, the edit keeps its text
  EXPECT_EQ(Q.NameEdit->GetModelSource()->GetCompareItem(), nullptr);
  EXPECT_EQ(Q.NameEdit->GetText(), "Be");
  Q.NameEdit->PeerTextEdited("Bert", 4);  // ignored while unbound
  Q.NameEdit->GetModelSource()->SetItemName("nothing such");
  EXPECT_EQ(Q.NameEdit->GetModelSource()->GetCompareItem(), nullptr);
  Q.IdEdit->GetModelSource()->SetItemName("Id");
  EXPECT_EQ(Q.IdEdit->GetModelSource()->GetCompareItem(), Q.Item("ID"));
}

TEST(ModelSourceTest, TypingMovesTheDatasetAndTheItemShowsInTheEditWithoutEcho) {
  TQueryForm Q;
  std::vector<std::string> Seen;
  // OnChange runs before the source writes the item.
  Q.NameEdit->OnChange = TNotifyEvent::FromCallable([&](TObject*) { Seen.push_back(Q.Item("NAME")->GetAsString()); });
  Q.NameEdit->PeerTextEdited("B", 1);
  EXPECT_EQ(Q.CurrentId(), 2);
  Q.NameEdit->PeerTextEdited("Bert", 4);
  Q.NameEdit->PeerTextEdited("Berta", 5);
  EXPECT_EQ(Q.CurrentId(), 4);
  EXPECT_EQ(Seen, (std::vector<std::string>{"", "B", "Bert"}));
  // From code: the edit shows the value and does not write it back.
  Seen.clear();
  Q.Item("NAME")->SetAsString("Carl");
  EXPECT_EQ(Q.NameEdit->GetText(), "Carl");
  EXPECT_EQ(Q.CurrentId(), 3);
  EXPECT_EQ(Seen, (std::vector<std::string>{"Carl"}));
  // The CLX edit hands over wide text.
  EXPECT_EQ(Q.Item("NAME")->GetAsVariant().VarType(), varString) << "converted to the item's type";
}

TEST(ModelSourceTest, AValueThatDoesNotConvertIsSkippedWhileTypingAndRefusedOnLeaving) {
  TQueryForm Q;
  Q.Form->Show();
  Q.IdEdit->SetFocus();
  Q.IdEdit->PeerTextEdited("3", 1);
  EXPECT_EQ(Q.Item("ID")->GetAsInteger(), 3);
  Q.IdEdit->PeerTextEdited("abc", 3);
  EXPECT_EQ(Q.Item("ID")->GetAsInteger(), 3) << "skipped silently";
  try {
    Q.NameEdit->SetFocus();
    ADD_FAILURE() << "no refusal";
  } catch (const EzvBaseModelError& E) {
    EXPECT_EQ(E.Message(), "'abc' is not a valid value for item 'ID' ");
  }
  EXPECT_TRUE(Q.IdEdit->Focused()) << "the focus stays";
  EXPECT_EQ(Q.IdEdit->GetText(), "abc");
  EXPECT_EQ(Q.Item("ID")->GetAsInteger(), 3);
  // Asked to report, the source refuses while typing too.
  Q.IdEdit->GetModelSource()->SetShowConvertMessageError(true);
  EXPECT_THROW(Q.IdEdit->PeerTextEdited("x1", 2), EzvBaseModelError);
  // Cleared, a non-text item takes Null; leaving rewrites the text from the item.
  Q.IdEdit->PeerTextEdited("", 0);
  EXPECT_TRUE(VarIsNull(Q.Item("ID")->GetAsVariant()));
  Q.IdEdit->PeerTextEdited("04", 2);
  Q.NameEdit->SetFocus();
  EXPECT_EQ(Q.IdEdit->GetText(), "4");
}

TEST(ModelSourceTest, UpdateOnExitWritesOnceWhenLeaving) {
  TQueryForm Q;
  Q.Form->Show();
  Q.NameEdit->GetModelSource()->SetUpdateValue(uvExit);
  Q.NameEdit->SetFocus();
  Q.NameEdit->PeerTextEdited("Car", 3);
  EXPECT_TRUE(Q.Item("NAME")->IsEmpty());
  EXPECT_EQ(Q.CurrentId(), 1);
  Q.IdEdit->SetFocus();
  EXPECT_EQ(Q.Item("NAME")->GetAsString(), "Car");
  EXPECT_EQ(Q.CurrentId(), 3);
}

TEST(ModelSourceTest, MaskEditGivesTheItemItsMaskedText) {
  TQueryForm Q;
  auto* Code = Create<TzvModelMaskEdit>(Q.Form.get());
  Code->SetParent(Q.Form.get());
  Code->SetEditMask("9-99;1;_");
  Code->GetModelSource()->SetBaseModel(Q.Find);
  Code->GetModelSource()->SetItemName("NAME");
  Code->PeerKeyPress(U'4');
  EXPECT_EQ(Code->GetEditText(), "4-__");
  EXPECT_EQ(Code->GetText(), "4-  ");
  EXPECT_EQ(Q.Item("NAME")->GetAsString(), "4") << "the open end is left out";
  Q.Item("NAME")->SetAsString("7-1");
  EXPECT_EQ(Code->GetEditText(), "7-1_");
}

TEST(ModelSourceTest, BindingShowsTheItemAndWritesNothingBack) {
  TQueryForm Q(false);
  Q.NameEdit->SetText("Carl");
  Q.People->Open();  // binding shows the (empty) item in the edit; nothing goes back
  EXPECT_EQ(Q.NameEdit->GetText(), "");
  EXPECT_TRUE(Q.Item("NAME")->IsEmpty());
}

TEST(ModelSourceTest, FreeingControlModelOrDatasetInAnyOrderLeavesNoListener) {
  for (int Order = 0; Order < 3; ++Order) {
    SCOPED_TRACE(Order);
    TQueryForm Q;
    TzvCompareItems* Items = Q.Find->GetCompareItems();
    const int Listeners = Items->ListenerCount();
    switch (Order) {
      case 0:
        Free(Q.NameEdit);
        EXPECT_EQ(Items->ListenerCount(), Listeners - 1);
        break;
      case 1:
        Free(Q.Find);
        EXPECT_EQ(Q.NameEdit->GetModelSource()->GetBaseModel(), nullptr);
        Q.NameEdit->PeerTextEdited("still typing", 12);
        break;
      case 2:
        Free(Q.People);
        EXPECT_EQ(Q.NameEdit->GetModelSource()->GetCompareItem(), nullptr);
        Q.NameEdit->PeerTextEdited("x", 1);
        break;
    }
  }
}

TEST(ModelSourceTest, AFormFileBindsItsEditsAsCodeDoes) {
  TQueryForm Built;
  Built.IdEdit->GetModelSource()->SetShowConvertMessageError(true);
  Built.NameEdit->GetModelSource()->SetUpdateValue(uvExit);
  const std::string Text = WriteComponentToText(Built.Form.get());
  EXPECT_NE(Text.find("ModelSource.ItemName = 'name'"), std::string::npos) << Text;
  EXPECT_NE(Text.find("ModelSource.ShowConvertMessageError = True"), std::string::npos);
  EXPECT_EQ(Text.find("ShowConvertMessageError = False"), std::string::npos) << "the default is not stored";

  TOwned<TComponent> Read(ReadComponentFromText(Text, nullptr));
  auto* People = dynamic_cast<TClientDataSet*>(Read->FindComponent("People"));
  auto* Find = dynamic_cast<TzvDBFindModel*>(Read->FindComponent("Find"));
  auto* Name = dynamic_cast<TzvModelEdit*>(Read->FindComponent("NameEdit"));
  ASSERT_TRUE(People && Find && Name);
  EXPECT_EQ(Name->GetParent(), Read.get());
  EXPECT_EQ(Name->GetModelSource()->GetUpdateValue(), uvExit);
  if (!People->GetActive()) People->Open();
  EXPECT_EQ(Name->GetModelSource()->GetCompareItem(), Find->GetCompareItems()->FindItem("NAME"));
  EXPECT_EQ(WriteComponentToText(Read.get()), Text);
}

}  // namespace
}  // namespace fyndra
