#include <fyndra/modeldataset/zvmodeldataset.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include <fyndra/core/zvmodelconsts.h>
#include <fyndra/dataset/zvdbbasemodel.h>
#include <fyndra/platform/rtl/fmtbcd.h>
#include <fyndra/platform/rtl/sqltimst.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {

FYNDRA_IMPLEMENT_CLASS(TzvModelDataSet)

TFieldType ModelFieldType(TFieldType DataType) {
  switch (DataType) {
    case ftMemo:
    case ftFmtMemo:
    case ftFixedChar:
      return ftString;
    default:
      return DataType;
  }
}

namespace {

// Characters of the text field presenting a text of any length (a memo): a
// criterion is typed by a user, and this holds far more than one types.
constexpr int MemoCriterionSize = 4096;

// The definition size of the field presenting Item's dataset field: the
// item's data size, except for the decimal types, whose definition size is
// their scale, which only the dataset field knows, and the texts of any
// length, which have no size of their own.
int ModelFieldSize(const TzvFieldItem* Item) {
  const TField* Source = Item->GetField();
  switch (Source->GetDataType()) {
    case ftBCD:
    case ftFMTBcd:
      return Source->GetSize();
    case ftMemo:
    case ftFmtMemo:
      return MemoCriterionSize;
    default:
      return Item->GetDataSize();
  }
}

}  // namespace

TzvModelDataSet::TzvModelDataSet(TComponent* Owner)
    : TDataSet(Owner), Model_(dynamic_cast<TzvDBBaseModel*>(Owner)) {}

void TzvModelDataSet::AfterConstruction() {
  // Checked before the dataset inserts itself into its owner: nothing to undo.
  if (!Model_) zvBaseModelError(LoadResString(SZvModelDataSetCreateError), this);
  TDataSet::AfterConstruction();
}

std::int32_t TzvModelDataSet::QueryInterface(const TGUID& IID, void** Obj) {
  void* P = nullptr;
  if (IID == IItemListener::IID)
    P = static_cast<IItemListener*>(this);
  else if (IID == IInterface::IID)
    P = static_cast<IInterface*>(this);
  if (Obj) *Obj = P;
  return P ? 0 : E_NOINTERFACE;
}

// ---------------------------------------------------------------------------
// The one record

TRecordBuffer TzvModelDataSet::AllocRecordBuffer() { return new char[1]{}; }

void TzvModelDataSet::FreeRecordBuffer(TRecordBuffer& Buffer) {
  delete[] static_cast<char*>(Buffer);
  Buffer = nullptr;
}

TGetResult TzvModelDataSet::GetRecord(TRecordBuffer, TGetMode GetMode, bool) {
  switch (GetMode) {
    case gmCurrent:
      return grOK;
    case gmNext:
      // From before the record (opening, First) the step reaches it; from the
      // record itself it reports the end.
      if (Position_ == TPosition::Before) {
        Position_ = TPosition::On;
        return grOK;
      }
      Position_ = TPosition::After;
      return grEOF;
    case gmPrior:
      if (Position_ == TPosition::After) {
        Position_ = TPosition::On;
        return grOK;
      }
      Position_ = TPosition::Before;
      return grBOF;
  }
  return grError;
}

void TzvModelDataSet::InternalClose() {
  if (!DefaultFields()) return;
  // Our fields are made from the items and owned by us: they go with the cursor.
  std::vector<TField*> Own;
  for (TField* F : Fields())
    if (F->Owner() == this) Own.push_back(F);
  for (TField* F : Own) F->Free();
}

void TzvModelDataSet::InternalInitFieldDefs() {
  TFieldDefs* Defs = GetFieldDefs();
  Defs->Clear();
  if (!Model_) return;
  TzvCompareItems* Items = Model_->GetCompareItems();
  for (int i = 0; i < Items->Count(); ++i) {
    auto* Item = dynamic_cast<TzvFieldItem*>(Items->GetItem(i));
    if (!Item || !Item->GetField()) continue;
    Defs->Add(Item->GetName(), ModelFieldType(Item->GetField()->GetDataType()), ModelFieldSize(Item));
  }
}

// ---------------------------------------------------------------------------
// Values

TzvFieldItem* TzvModelDataSet::ItemOf(const TField* Field) const {
  if (!Model_ || !Field) return nullptr;
  return dynamic_cast<TzvFieldItem*>(Model_->GetCompareItems()->FindItem(Field->GetFieldName()));
}

bool TzvModelDataSet::GetFieldData(TField* Field, void* Buffer) const {
  TzvFieldItem* Item = ItemOf(Field);
  if (!Item || Item->IsEmpty()) return false;
  if (Buffer) VariantToNative(Field, Item->GetAsVariant(), Buffer);
  return true;
}

void TzvModelDataSet::SetFieldData(TField* Field, const void* Buffer) {
  TzvFieldItem* Item = ItemOf(Field);
  if (!Item) return;
  // An empty text stays the empty string, not Null.
  Item->SetAsVariant(Buffer ? NativeToVariant(Field, Buffer) : Null());
}

// ---------------------------------------------------------------------------
// Fields following the items

void TzvModelDataSet::AssignField(const TField* Source, TField* Target) {
  Target->SetEditMask(Source->GetEditMask());
  if (auto* S = dynamic_cast<const TNumericField*>(Source)) {
    if (auto* T = dynamic_cast<TNumericField*>(Target)) {
      T->SetEditFormat(S->GetEditFormat());
      T->SetDisplayFormat(S->GetDisplayFormat());
    }
  } else if (auto* S = dynamic_cast<const TDateTimeField*>(Source)) {
    if (auto* T = dynamic_cast<TDateTimeField*>(Target)) T->SetDisplayFormat(S->GetDisplayFormat());
  } else if (auto* S = dynamic_cast<const TSQLTimeStampField*>(Source)) {
    if (auto* T = dynamic_cast<TSQLTimeStampField*>(Target)) T->SetDisplayFormat(S->GetDisplayFormat());
  }
}

bool TzvModelDataSet::AddItemField(TzvCompareItem* Item) {
  auto* FI = dynamic_cast<TzvFieldItem*>(Item);
  if (!FI || !FI->GetField()) return false;
  if (FindField(FI->GetName())) return false;
  TFieldDefs* Defs = GetFieldDefs();
  TFieldDef* Def = Defs->FindDef(FI->GetName());
  if (!Def) Def = Defs->Add(FI->GetName(), ModelFieldType(FI->GetField()->GetDataType()), ModelFieldSize(FI));
  TField* Field = Def->CreateField(this);
  try {
    AssignField(FI->GetField(), Field);
  } catch (...) {
    Field->Free();
    throw;
  }
  return true;
}

void TzvModelDataSet::DeleteItemField(TzvCompareItem* Item) {
  if (TField* Field = FindField(Item->GetName())) Field->Free();
  TFieldDefs* Defs = GetFieldDefs();
  const int Index = Defs->IndexOf(Item->GetName());
  if (Index >= 0) Defs->Delete(Index);
}

void TzvModelDataSet::FieldsChanged() {
  if (!GetActive()) return;
  BindFields(true);
  DataEvent(deFieldListChange, 0);
}

void TzvModelDataSet::ItemAdded(TzvCompareItem* Item) {
  if (!Model_) return;
  if (Item) {
    if (AddItemField(Item)) FieldsChanged();
    return;
  }
  WithControlsDisabled([this] {
    bool Added = false;
    TzvCompareItems* Items = Model_->GetCompareItems();
    for (int i = 0; i < Items->Count(); ++i) Added = AddItemField(Items->GetItem(i)) || Added;
    if (Added) FieldsChanged();
  });
}

void TzvModelDataSet::ItemDeleting(TzvCompareItem* Item) {
  if (Item) {
    const bool Had = FindField(Item->GetName()) != nullptr;
    DeleteItemField(Item);
    if (Had) FieldsChanged();
    return;
  }
  WithControlsDisabled([this] {
    std::vector<TField*> All(Fields().begin(), Fields().end());
    for (TField* F : All) {
      if (F->Owner() == this) F->Free();
    }
    GetFieldDefs()->Clear();
    if (!All.empty()) FieldsChanged();
  });
}

void TzvModelDataSet::ItemDataTypeChanged(TzvCompareItem* Item) {
  if (Item) {
    ItemDeleting(Item);
    ItemAdded(Item);
    return;
  }
  WithControlsDisabled([this] {
    ItemDeleting(nullptr);
    ItemAdded(nullptr);
  });
}

}  // namespace fyndra
