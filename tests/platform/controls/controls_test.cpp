#include <fyndra/platform/controls/buttons.h>
#include <fyndra/platform/controls/controls.h>
#include <fyndra/platform/controls/extctrls.h>
#include <fyndra/platform/controls/forms.h>
#include <fyndra/platform/controls/mask.h>
#include <fyndra/platform/controls/stdctrls.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <fyndra/platform/rtl/textservice.h>
#include <fyndra/platform/streaming/filer.h>

namespace fyndra {
namespace {

// Records what the control layer asks of its toolkit: which controls have a
// peer, and what each peer was told to show. Stands in for the toolkit, the
// caller the control layer is written for.
struct TRecordingWidgetSet : TWidgetSet {
  struct TPeer : TControlPeer {
    TPeer(TControl* C, TRecordingWidgetSet& S) : TControlPeer(C), Set(S) { Set.Live[C] = this; }
    ~TPeer() override { Set.Live.erase(Control()); }
    void Changed(TPeerChange What) override { Set.Log.push_back({Control(), What}); }
    void SetFocus() override { HasFocus = true; }
    bool Focused() const override { return HasFocus; }
    TRecordingWidgetSet& Set;
    bool HasFocus = false;
  };
  std::unique_ptr<TControlPeer> CreatePeer(TControl* C) override { return std::make_unique<TPeer>(C, *this); }
  std::map<TControl*, TPeer*> Live;
  std::vector<std::pair<TControl*, TPeerChange>> Log;
  std::string Clipboard;
  std::string GetClipboardText() override { return Clipboard; }
  void SetClipboardText(const std::string& T) override { Clipboard = T; }
};

class ControlsTest : public ::testing::Test {
 protected:
  void TearDown() override {
    Form.reset();
    SetWidgetSet(Previous);
  }
  template <class T>
  T* Add(TWinControl* Parent, const std::string& Name) {
    T* C = Create<T>(Form.get());
    C->SetName(Name);
    C->SetParent(Parent);
    return C;
  }
  void Headless() { Previous = SetWidgetSet(nullptr); }
  void WithToolkit() { Previous = SetWidgetSet(&Toolkit); }

  TRecordingWidgetSet Toolkit;
  TWidgetSet* Previous = nullptr;
  TOwned<TForm> Form = CreateOwned<TForm>(nullptr);
};

// ---------------------------------------------------------------------------
// Parents, peers and layout

TEST_F(ControlsTest, AlignedChildrenShareTheClientAreaInEdgeOrder) {
  Headless();
  Form->SetClientWidth(400);
  Form->SetClientHeight(300);
  auto* Top = Add<TPanel>(Form.get(), "Top");
  Top->SetHeight(40);
  Top->SetAlign(alTop);
  auto* Status = Add<TPanel>(Form.get(), "Status");
  Status->SetHeight(20);
  Status->SetAlign(alBottom);
  auto* Side = Add<TPanel>(Form.get(), "Side");
  Side->SetWidth(100);
  Side->SetAlign(alLeft);
  auto* Body = Add<TPanel>(Form.get(), "Body");
  Body->SetAlign(alClient);
  EXPECT_EQ((std::vector<int>{Top->GetLeft(), Top->GetTop(), Top->GetWidth(), Top->GetHeight()}),
            (std::vector<int>{0, 0, 400, 40}));
  EXPECT_EQ((std::vector<int>{Status->GetTop(), Status->GetWidth()}), (std::vector<int>{280, 400}));
  EXPECT_EQ((std::vector<int>{Side->GetTop(), Side->GetHeight()}), (std::vector<int>{40, 240}));
  EXPECT_EQ((std::vector<int>{Body->GetLeft(), Body->GetTop(), Body->GetWidth(), Body->GetHeight()}),
            (std::vector<int>{100, 40, 300, 240}));
  // Resizing the form, hiding a child and a panel's bevel move the rest along.
  Form->SetClientHeight(400);
  EXPECT_EQ(Body->GetHeight(), 340);
  Top->Hide();
  EXPECT_EQ(Body->GetTop(), 0);
  auto* Inner = Add<TEdit>(Body, "Inner");
  Inner->SetAlign(alClient);
  Body->SetBorderWidth(4);
  EXPECT_EQ((std::vector<int>{Inner->GetLeft(), Inner->GetWidth()}), (std::vector<int>{5, Body->GetWidth() - 10}));
}

TEST_F(ControlsTest, PeersFollowTheParentChain) {
  WithToolkit();
  auto* Panel = Add<TPanel>(Form.get(), "Panel");
  auto* Edit = Add<TEdit>(Panel, "Edit");
  EXPECT_TRUE(Toolkit.Live.empty()) << "no peer before the form has one";
  Form->HandleNeeded();
  EXPECT_EQ(Toolkit.Live.size(), 3u);
  auto* Late = Add<TEdit>(Panel, "Late");
  EXPECT_TRUE(Late->HandleAllocated());
  // Leaving the parent drops the peer; a new parent with a peer makes one again.
  Edit->SetParent(nullptr);
  EXPECT_FALSE(Edit->HandleAllocated());
  Edit->SetParent(Form.get());
  EXPECT_TRUE(Edit->HandleAllocated());
  // A freed panel takes its peer and its children's peers, not the children.
  Free(Panel);
  EXPECT_EQ(Late->GetParent(), nullptr);
  EXPECT_FALSE(Late->HandleAllocated());
  EXPECT_EQ(Toolkit.Live.size(), 2u);
}

TEST_F(ControlsTest, AControlCannotGoInsideItself) {
  Headless();
  auto* Outer = Add<TPanel>(Form.get(), "Outer");
  auto* Inner = Add<TPanel>(Outer, "Inner");
  EXPECT_THROW(Outer->SetParent(Inner), EInvalidOperation);
  EXPECT_THROW(Outer->SetParent(Outer), EInvalidOperation);
  EXPECT_EQ(Outer->GetParent(), Form.get());
}

TEST_F(ControlsTest, StateReachesThePeerOnlyWhenItChanges) {
  WithToolkit();
  Form->HandleNeeded();
  auto* Edit = Add<TEdit>(Form.get(), "Edit");
  Toolkit.Log.clear();
  Edit->SetText("abc");
  Edit->SetText("abc");
  Edit->GetFont()->SetSize(12);
  Edit->SetEnabled(false);
  std::vector<TPeerChange> Seen;
  for (auto& [C, What] : Toolkit.Log)
    if (C == Edit) Seen.push_back(What);
  EXPECT_EQ(Seen, (std::vector<TPeerChange>{TPeerChange::Text, TPeerChange::Selection, TPeerChange::Font,
                                           TPeerChange::Enabled}));
}

// ---------------------------------------------------------------------------
// Focus

struct TFocusLog {
  std::vector<std::string> Events;
  void Enter(TObject* S) { Events.push_back("enter " + static_cast<TComponent*>(S)->GetName()); }
  void Exit(TObject* S) { Events.push_back("exit " + static_cast<TComponent*>(S)->GetName()); }
  void Watch(TWinControl* C) {
    C->OnEnter = TNotifyEvent(this, &TFocusLog::Enter);
    C->OnExit = TNotifyEvent(this, &TFocusLog::Exit);
  }
};

TEST_F(ControlsTest, FocusLeavesOneControlBeforeEnteringTheNext) {
  Headless();
  auto* A = Add<TEdit>(Form.get(), "A");
  auto* B = Add<TEdit>(Form.get(), "B");
  TFocusLog Log;
  Log.Watch(A);
  Log.Watch(B);
  Form->Show();
  EXPECT_EQ(Form->GetActiveControl(), A) << "the first tab stop is entered when the form shows";
  B->SetFocus();
  Form->SelectNext(B, true);
  EXPECT_EQ(Log.Events, (std::vector<std::string>{"enter A", "exit A", "enter B", "exit B", "enter A"}));
  EXPECT_TRUE(A->Focused());
}

TEST_F(ControlsTest, AnExitThatRaisesKeepsTheFocus) {
  Headless();
  auto* A = Add<TEdit>(Form.get(), "A");
  auto* B = Add<TEdit>(Form.get(), "B");
  Form->Show();
  TFocusLog Log;
  Log.Watch(B);
  A->OnExit = TNotifyEvent::FromCallable([&](TObject*) {
    A->SetFocus();  // as a refused value does: focus back, then raise
    throw Exception("refused");
  });
  EXPECT_THROW(B->SetFocus(), Exception);
  EXPECT_EQ(Form->GetActiveControl(), A);
  EXPECT_TRUE(Log.Events.empty()) << "B never entered";
  A->OnExit = nullptr;
  B->SetFocus();
  EXPECT_EQ(Log.Events, (std::vector<std::string>{"enter B"}));
}

TEST_F(ControlsTest, TabOrderSkipsWhatCannotTakeTheFocus) {
  Headless();
  auto* A = Add<TEdit>(Form.get(), "A");
  auto* Panel = Add<TPanel>(Form.get(), "Panel");
  auto* B = Add<TEdit>(Panel, "B");
  auto* C = Add<TEdit>(Form.get(), "C");
  auto* Label = Add<TLabel>(Form.get(), "Label");
  (void)Label;
  Form->Show();
  EXPECT_EQ(Form->FindNextControl(A, true), B);
  EXPECT_EQ(Form->FindNextControl(A, false), C);
  C->SetTabOrder(0);
  EXPECT_EQ(Form->FindNextControl(nullptr, true), C);
  Panel->SetEnabled(false);
  EXPECT_EQ(Form->FindNextControl(A, true), C);
  EXPECT_THROW(B->SetFocus(), EInvalidOperation);
  // Hiding the focused control forgets the focus without exit handling.
  A->SetFocus();
  A->Hide();
  EXPECT_EQ(Form->GetActiveControl(), nullptr);
}

TEST_F(ControlsTest, EnterAndEscapeClickTheDefaultAndCancelButtons) {
  Headless();
  auto* Edit = Add<TEdit>(Form.get(), "Edit");
  auto* Ok = Add<TButton>(Form.get(), "Ok");
  Ok->SetDefault(true);
  Ok->SetModalResult(mrOk);
  auto* No = Add<TButton>(Form.get(), "No");
  No->SetCancel(true);
  No->SetModalResult(mrCancel);
  Form->Show();
  EXPECT_TRUE(Edit->PeerKeyDown(VK_RETURN, {}));
  EXPECT_EQ(Form->GetModalResult(), mrOk);
  EXPECT_TRUE(Edit->PeerKeyDown(VK_ESCAPE, {}));
  EXPECT_EQ(Form->GetModalResult(), mrCancel);
  EXPECT_FALSE(Edit->PeerKeyDown(VK_LEFT, {}));
  EXPECT_THROW(Form->ShowModal(), EInvalidOperation) << "headless forms cannot wait for a user";
}

TEST_F(ControlsTest, GroupedSpeedButtonsActAsRadioButtons) {
  Headless();
  auto* Panel = Add<TPanel>(Form.get(), "Panel");
  auto* A = Create<TSpeedButton>(Form.get());
  auto* B = Create<TSpeedButton>(Form.get());
  A->SetParent(Panel);
  B->SetParent(Panel);
  A->SetGroupIndex(1);
  B->SetGroupIndex(1);
  A->Click();
  EXPECT_TRUE(A->GetDown());
  B->Click();
  EXPECT_TRUE(B->GetDown());
  EXPECT_FALSE(A->GetDown());
  B->Click();
  EXPECT_TRUE(B->GetDown()) << "one stays down without AllowAllUp";
  B->SetAllowAllUp(true);
  B->Click();
  EXPECT_FALSE(B->GetDown());
  auto* Plain = Create<TSpeedButton>(Form.get());
  Plain->SetDown(true);
  EXPECT_FALSE(Plain->GetDown()) << "an ungrouped button never stays down";
}

// ---------------------------------------------------------------------------
// Edits

struct TChangeCount {
  int Count = 0;
  std::vector<std::string> Texts;
  TCustomEdit* Edit = nullptr;
  void Changed(TObject*) {
    ++Count;
    Texts.push_back(Edit->GetText());
  }
};

TEST_F(ControlsTest, EveryChangeOfTheTextRunsChangeOnce) {
  WithToolkit();
  Form->HandleNeeded();
  auto* Edit = Add<TEdit>(Form.get(), "Edit");
  TChangeCount C{0, {}, Edit};
  Edit->OnChange = TNotifyEvent(&C, &TChangeCount::Changed);
  Edit->SetText("a");
  Edit->SetText("a");
  Toolkit.Log.clear();
  Edit->PeerTextEdited("ab", 2);  // typed: the peer shows it already
  EXPECT_TRUE(Toolkit.Log.empty());
  EXPECT_TRUE(Edit->GetModified());
  Edit->SetCharCase(ecUpperCase);
  Edit->PeerTextEdited("ABc", 3);  // converted: the peer is told
  EXPECT_EQ(Edit->GetText(), "ABC");
  EXPECT_FALSE(Toolkit.Log.empty());
  EXPECT_EQ(C.Texts, (std::vector<std::string>{"a", "ab", "AB", "ABC"}));
}

TEST_F(ControlsTest, SelectionEditingKeepsMaxLengthAndCase) {
  Headless();
  auto* Edit = Add<TEdit>(Form.get(), "Edit");
  Edit->SetText("Straße");
  Edit->SetSelStart(2);
  Edit->SetSelLength(3);
  EXPECT_EQ(Edit->GetSelText(), "raß");
  Edit->SetSelText("ü");
  EXPECT_EQ(Edit->GetText(), "Stüe");
  EXPECT_EQ(Edit->GetSelStart(), 3);
  Edit->SetMaxLength(5);
  Edit->SetSelText("xyz");
  EXPECT_EQ(Edit->GetText(), "Stüxe");
  Edit->SetText("longer than five");  // code is not limited
  EXPECT_EQ(Edit->GetText(), "longer than five");
  Edit->SetCharCase(ecLowerCase);
  Edit->SetText("ÄÖ");
  EXPECT_EQ(Edit->GetText(), "äö");
  Edit->SetReadOnly(true);
  EXPECT_TRUE(Edit->PeerKeyPress(U'x')) << "a read-only edit swallows typed characters";
}

TEST_F(ControlsTest, AutoSelectSelectsAllOnEntering) {
  Headless();
  auto* A = Add<TEdit>(Form.get(), "A");
  auto* B = Add<TEdit>(Form.get(), "B");
  B->SetText("hello");
  Form->Show();
  B->SetFocus();
  EXPECT_EQ(B->GetSelLength(), 5);
  A->SetAutoSelect(false);
  A->SetText("x");
  A->SetSelStart(0);
  A->SetFocus();
  EXPECT_EQ(A->GetSelLength(), 0);
}

TEST_F(ControlsTest, MaskEditTypesThroughItsMask) {
  Headless();
  auto* Edit = Add<TMaskEdit>(Form.get(), "Phone");
  TChangeCount C{0, {}, Edit};
  Edit->OnChange = TNotifyEvent(&C, &TChangeCount::Changed);
  Edit->SetEditMask("000-0000;0;_");
  EXPECT_EQ(Edit->GetEditText(), "___-____");
  EXPECT_TRUE(Edit->IsEmptyText());
  C.Count = 0;
  for (char32_t K : std::u32string(U"555x1234")) EXPECT_TRUE(Edit->PeerKeyPress(K));
  EXPECT_EQ(Edit->GetEditText(), "555-1234");
  EXPECT_EQ(Edit->GetText(), "5551234");
  EXPECT_EQ(Edit->GetMaskedText(), "5551234");
  EXPECT_EQ(C.Count, 7) << "the refused x changed nothing";
  EXPECT_TRUE(Edit->PeerKeyDown(VK_BACK, {}));
  EXPECT_EQ(Edit->GetEditText(), "555-123_");
  // A new mask lays the saved text in; code sets the saved form.
  Edit->SetEditMask("000-0000;1;_");
  EXPECT_EQ(Edit->GetText(), "555-123 ");
  Edit->SetText("555-9876");
  EXPECT_EQ(Edit->GetEditText(), "555-9876");
  Edit->SetEditText("garbage");
  EXPECT_EQ(Edit->Mask().FindMalformed(Utf8ToUtf32(Edit->GetEditText())), -1);
}

TEST_F(ControlsTest, MaskEditPastesAndCutsThroughTheMask) {
  WithToolkit();
  auto* Edit = Add<TMaskEdit>(Form.get(), "Phone");
  Edit->SetEditMask("000-0000;0;_");
  Toolkit.Clipboard = "(555) 1234";
  EXPECT_TRUE(Edit->PeerKeyDown('V', {ssCtrl}));
  EXPECT_EQ(Edit->GetEditText(), "555-1234");
  Edit->SetSelStart(4);
  Edit->SetSelLength(2);
  EXPECT_TRUE(Edit->PeerKeyDown('X', {ssCtrl}));
  EXPECT_EQ(Toolkit.Clipboard, "12");
  EXPECT_EQ(Edit->GetEditText(), "555-__34");
  // A native paste that went past the keys is laid into the mask again.
  Edit->PeerTextEdited("12x3-45678", 3);
  EXPECT_EQ(Edit->Mask().FindMalformed(Utf8ToUtf32(Edit->GetEditText())), -1);
}

TEST_F(ControlsTest, LeavingAnIncompleteMaskEditIsRefusedAndKeepsTheFocus) {
  Headless();
  auto* Edit = Add<TMaskEdit>(Form.get(), "Phone");
  auto* Next = Add<TEdit>(Form.get(), "Next");
  Edit->SetEditMask("000-0000;0;_");
  TFocusLog Log;
  Log.Watch(Edit);
  Form->Show();
  for (char32_t K : std::u32string(U"5551")) Edit->PeerKeyPress(K);
  try {
    Next->SetFocus();
    ADD_FAILURE() << "no error";
  } catch (const EEditMaskError& E) {
    EXPECT_EQ(E.Message(), "Invalid input value at position 6 of 8: a digit is required");
  }
  EXPECT_TRUE(Edit->Focused());
  EXPECT_EQ(Edit->GetSelStart(), 5) << "the caret stands on the position at fault";
  EXPECT_EQ(Log.Events, (std::vector<std::string>{"enter Phone"})) << "OnExit does not run";
  // Cleared completely, the edit is empty and may be left.
  Edit->SetSelStart(0);
  Edit->SetSelLength(8);
  Edit->PeerKeyDown(VK_DELETE, {});
  Next->SetFocus();
  EXPECT_TRUE(Next->Focused());
}

// ---------------------------------------------------------------------------
// Form files

TEST_F(ControlsTest, AFormFileNestsControlsInTheirParents) {
  Headless();
  Form->SetName("Search");
  Form->SetCaption("Find");
  Form->SetClientWidth(320);
  auto* Panel = Add<TPanel>(Form.get(), "Criteria");
  Panel->SetAlign(alTop);
  Panel->SetHeight(50);
  auto* Name = Add<TEdit>(Panel, "NameEdit");
  Name->SetText("Mü");
  auto* Code = Add<TMaskEdit>(Panel, "CodeEdit");
  Code->SetEditMask(">LL-0000;1;_");
  Code->SetText("ab-1234");
  auto* Label = Add<TLabel>(Form.get(), "NameLabel");
  Label->SetFocusControl(Name);
  Form->SetActiveControl(Code);
  const std::string Text = WriteComponentToText(Form.get());

  TOwned<TComponent> Read(ReadComponentFromText(Text, nullptr));
  auto* F = dynamic_cast<TForm*>(Read.get());
  ASSERT_NE(F, nullptr);
  auto* P = dynamic_cast<TPanel*>(F->FindComponent("Criteria"));
  auto* N = dynamic_cast<TEdit*>(F->FindComponent("NameEdit"));
  auto* M = dynamic_cast<TMaskEdit*>(F->FindComponent("CodeEdit"));
  ASSERT_TRUE(P && N && M);
  EXPECT_EQ(N->GetParent(), P);
  EXPECT_EQ(P->GetParent(), F);
  EXPECT_EQ(P->GetWidth(), 320) << "aligned again when read";
  EXPECT_EQ(M->GetEditText(), "AB-1234");
  EXPECT_EQ(dynamic_cast<TLabel*>(F->FindComponent("NameLabel"))->GetFocusControl(), N);
  EXPECT_EQ(F->GetActiveControl(), M);
  EXPECT_EQ(WriteComponentToText(F), Text);
}

TEST_F(ControlsTest, AControlInsideANonContainerIsRefusedByTheReader) {
  Headless();
  const std::string Text =
      "object F: TForm\n"
      "  object L: TLabel\n"
      "    object E: TEdit\n"
      "    end\n"
      "  end\n"
      "end\n";
  EXPECT_THROW(ReadComponentFromText(Text, nullptr), EReadError);
}

TEST_F(ControlsTest, FreeingInAnyOrderLeavesNothingBehind) {
  WithToolkit();
  auto* Panel = Add<TPanel>(Form.get(), "Panel");
  auto* Edit = Add<TEdit>(Panel, "Edit");
  auto* Label = Add<TLabel>(Form.get(), "Label");
  Label->SetFocusControl(Edit);
  Form->Show();
  Edit->SetFocus();
  Free(Edit);
  EXPECT_EQ(Form->GetActiveControl(), nullptr);
  EXPECT_EQ(Label->GetFocusControl(), nullptr);
  EXPECT_EQ(Panel->ControlCount(), 0);
  Form.reset();
  EXPECT_TRUE(Toolkit.Live.empty());
}

}  // namespace
}  // namespace fyndra
