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

// The definition size of the field presenting Item's dataset field: the
// item's data size, except for the decimal types, whose definition size is
// their scale, which only the dataset field knows.
int ModelFieldSize(const TzvFieldItem* Item) {
  const TField* Source = Item->GetField();
  switch (Source->GetDataType()) {
    case ftBCD:
    case ftFMTBcd:
      return Source->GetSize();
    default:
      return Item->GetDataSize();
  }
}

// Runs Body with the dataset's controls disabled; they are enabled again
// also when Body throws.
template <class F>
void WithControlsDisabled(TDataSet* DataSet, F&& Body) {
  DataSet->DisableControls();
  try {
    Body();
  } catch (...) {
    DataSet->EnableControls();
    throw;
  }
  DataSet->EnableControls();
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
  if (!Buffer) return true;
  switch (Field->GetDataType()) {
    case ftString:
    case ftGuid: {
      // At most Size characters, which the field's buffer always holds.
      const std::string Text = CharLeft(Item->GetAsString(), static_cast<std::size_t>(Field->GetSize()));
      const std::size_t N = std::min(Text.size(), static_cast<std::size_t>(Field->GetDataSize() - 1));
      std::memcpy(Buffer, Text.data(), N);
      static_cast<char*>(Buffer)[N] = '\0';
      break;
    }
    case ftSmallint:
      *static_cast<std::int16_t*>(Buffer) = static_cast<std::int16_t>(Item->GetAsInteger());
      break;
    case ftInteger:
    case ftAutoInc:
      *static_cast<std::int32_t*>(Buffer) = Item->GetAsInteger();
      break;
    case ftWord:
      *static_cast<std::uint16_t*>(Buffer) = static_cast<std::uint16_t>(Item->GetAsInteger());
      break;
    case ftBoolean:
      *static_cast<std::uint16_t*>(Buffer) = Item->GetAsBoolean() ? 1 : 0;
      break;
    case ftFloat:
    case ftCurrency:
      *static_cast<double*>(Buffer) = Item->GetAsFloat();
      break;
    case ftBCD:
      *static_cast<Currency*>(Buffer) = Item->GetAsCurrency();
      break;
    case ftDate:
    case ftTime:
    case ftDateTime:
      *static_cast<double*>(Buffer) = Item->GetAsDateTime();
      break;
    case ftWideString:
      *static_cast<std::u16string*>(Buffer) = VarToWideStr(Item->GetAsVariant());
      break;
    case ftLargeint:
      *static_cast<std::int64_t*>(Buffer) = Item->GetAsLargeint();
      break;
    case ftTimeStamp:
      *static_cast<TSQLTimeStamp*>(Buffer) = Item->GetAsVariant().AsSQLTimeStamp();
      break;
    case ftFMTBcd:
      *static_cast<TBcd*>(Buffer) = Item->GetAsBCD();
      break;
    default:
      break;
  }
  return true;
}

void TzvModelDataSet::SetFieldData(TField* Field, const void* Buffer) {
  TzvFieldItem* Item = ItemOf(Field);
  if (!Item) return;
  if (!Buffer) {
    Item->SetAsVariant(Null());
    return;
  }
  switch (Field->GetDataType()) {
    case ftString:
    case ftGuid:
      // An empty text is the empty string, not Null.
      Item->SetAsVariant(Variant(std::string(static_cast<const char*>(Buffer))));
      break;
    case ftSmallint:
      Item->SetAsInteger(*static_cast<const std::int16_t*>(Buffer));
      break;
    case ftInteger:
    case ftAutoInc:
      Item->SetAsInteger(*static_cast<const std::int32_t*>(Buffer));
      break;
    case ftWord:
      Item->SetAsInteger(*static_cast<const std::uint16_t*>(Buffer));
      break;
    case ftBoolean:
      Item->SetAsBoolean(*static_cast<const std::uint16_t*>(Buffer) != 0);
      break;
    case ftFloat:
    case ftCurrency:
      Item->SetAsFloat(*static_cast<const double*>(Buffer));
      break;
    case ftBCD:
      Item->SetAsCurrency(*static_cast<const Currency*>(Buffer));
      break;
    case ftDate:
    case ftTime:
    case ftDateTime:
      Item->SetAsDateTime(*static_cast<const double*>(Buffer));
      break;
    case ftWideString:
      Item->SetAsVariant(Variant(*static_cast<const std::u16string*>(Buffer)));
      break;
    case ftLargeint:
      Item->SetAsLargeint(*static_cast<const std::int64_t*>(Buffer));
      break;
    case ftTimeStamp:
      Item->SetAsVariant(VarSQLTimeStampCreate(*static_cast<const TSQLTimeStamp*>(Buffer)));
      break;
    case ftFMTBcd:
      Item->SetAsVariant(VarFMTBcdCreate(*static_cast<const TBcd*>(Buffer)));
      break;
    default:
      break;
  }
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
  WithControlsDisabled(this, [this] {
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
  WithControlsDisabled(this, [this] {
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
  WithControlsDisabled(this, [this] {
    ItemDeleting(nullptr);
    ItemAdded(nullptr);
  });
}

}  // namespace fyndra
