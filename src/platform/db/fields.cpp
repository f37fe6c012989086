#include <fyndra/platform/db/fields.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include <fyndra/platform/classes/typinfo.h>
#include <fyndra/platform/db/dataset.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {

FYNDRA_PUBLISHED(TFieldDef, P) {
  P.Property("Name", &TFieldDef::GetName, &TFieldDef::SetName);
  P.Property("DataType", &TFieldDef::GetDataType, &TFieldDef::SetDataType).Default(ftUnknown);
  P.Property("Precision", &TFieldDef::GetPrecision, &TFieldDef::SetPrecision).Default(0);
  P.Property("Size", &TFieldDef::GetSize, &TFieldDef::SetSize).Default(0);
  P.Property("Required", &TFieldDef::GetRequired, &TFieldDef::SetRequired).Default(false);
}
FYNDRA_IMPLEMENT_CLASS(TFieldDefs)
FYNDRA_PUBLISHED(TField, P) {
  P.Property("DataSet", &TField::GetDataSet, &TField::SetDataSet);
  P.Property("FieldName", &TField::GetFieldName, &TField::SetFieldName);
  P.Property("DisplayLabel", &TField::GetDisplayLabel, &TField::SetDisplayLabel).Stored(&TField::IsDisplayLabelStored);
  P.Property("DisplayWidth", &TField::GetDisplayWidth, &TField::SetDisplayWidth).Stored(&TField::IsDisplayWidthStored);
  P.Property("EditMask", &TField::GetEditMask, &TField::SetEditMask);
  P.Property("ReadOnly", &TField::GetReadOnly, &TField::SetReadOnly).Default(false);
  P.Property("Required", &TField::GetRequired, &TField::SetRequired).Default(false);
  P.Property("Visible", &TField::GetVisible, &TField::SetVisible).Default(true);
  P.Property("OnChange", &TField::OnChange);
  P.Property("OnValidate", &TField::OnValidate);
}
FYNDRA_PUBLISHED(TStringField, P) { P.Property("Size", &TField::GetSize, &TField::SetSize).Default(20); }
FYNDRA_IMPLEMENT_CLASS(TGuidField)
FYNDRA_PUBLISHED(TWideStringField, P) { P.Property("Size", &TField::GetSize, &TField::SetSize).Default(20); }
FYNDRA_PUBLISHED(TNumericField, P) {
  P.Property("DisplayFormat", &TNumericField::GetDisplayFormat, &TNumericField::SetDisplayFormat);
  P.Property("EditFormat", &TNumericField::GetEditFormat, &TNumericField::SetEditFormat);
}
FYNDRA_IMPLEMENT_CLASS(TIntegerField)
FYNDRA_IMPLEMENT_CLASS(TSmallintField)
FYNDRA_IMPLEMENT_CLASS(TWordField)
FYNDRA_IMPLEMENT_CLASS(TAutoIncField)
FYNDRA_IMPLEMENT_CLASS(TLargeintField)
FYNDRA_IMPLEMENT_CLASS(TFloatField)
FYNDRA_IMPLEMENT_CLASS(TCurrencyField)
FYNDRA_IMPLEMENT_CLASS(TBCDField)
FYNDRA_IMPLEMENT_CLASS(TFMTBCDField)
FYNDRA_PUBLISHED(TBooleanField, P) {
  P.Property("DisplayValues", &TBooleanField::GetDisplayValues, &TBooleanField::SetDisplayValues);
}
FYNDRA_PUBLISHED(TDateTimeField, P) {
  P.Property("DisplayFormat", &TDateTimeField::GetDisplayFormat, &TDateTimeField::SetDisplayFormat);
}
FYNDRA_IMPLEMENT_CLASS(TDateField)
FYNDRA_IMPLEMENT_CLASS(TTimeField)
FYNDRA_PUBLISHED(TSQLTimeStampField, P) {
  P.Property("DisplayFormat", &TSQLTimeStampField::GetDisplayFormat, &TSQLTimeStampField::SetDisplayFormat);
}
FYNDRA_IMPLEMENT_CLASS(TBlobField)
FYNDRA_IMPLEMENT_CLASS(TMemoField)

// Streaming creates persistent fields by class name.
static const bool FieldClassesRegistered =
    (RegisterClasses({TStringField::StaticClass(), TGuidField::StaticClass(), TWideStringField::StaticClass(),
                      TIntegerField::StaticClass(), TSmallintField::StaticClass(), TWordField::StaticClass(),
                      TAutoIncField::StaticClass(), TLargeintField::StaticClass(), TFloatField::StaticClass(),
                      TCurrencyField::StaticClass(), TBCDField::StaticClass(), TFMTBCDField::StaticClass(),
                      TBooleanField::StaticClass(), TDateTimeField::StaticClass(), TDateField::StaticClass(),
                      TTimeField::StaticClass(), TSQLTimeStampField::StaticClass(), TBlobField::StaticClass(),
                      TMemoField::StaticClass()}),
     true);

std::string_view FieldTypeName(TFieldType Type) {
  static const char* const Names[] = {
      "ftUnknown", "ftString", "ftSmallint", "ftInteger", "ftWord", "ftBoolean", "ftFloat",
      "ftCurrency", "ftBCD", "ftDate", "ftTime", "ftDateTime", "ftBytes", "ftVarBytes",
      "ftAutoInc", "ftBlob", "ftMemo", "ftGraphic", "ftFmtMemo", "ftParadoxOle", "ftDBaseOle",
      "ftTypedBinary", "ftCursor", "ftFixedChar", "ftWideString", "ftLargeint", "ftADT",
      "ftArray", "ftReference", "ftDataSet", "ftOraBlob", "ftOraClob", "ftVariant",
      "ftInterface", "ftIDispatch", "ftGuid", "ftTimeStamp", "ftFMTBcd"};
  return unsigned(Type) < std::size(Names) ? Names[Type] : "ftUnknown";
}

bool FieldTypeIsText(TFieldType Type) {
  return Type == ftString || Type == ftMemo || Type == ftFmtMemo || Type == ftFixedChar ||
         Type == ftWideString;
}

TClass FieldClassOf(TFieldType Type) {
  switch (Type) {
    case ftString: case ftFixedChar: return TStringField::StaticClass();
    case ftGuid: return TGuidField::StaticClass();
    case ftWideString: return TWideStringField::StaticClass();
    case ftSmallint: return TSmallintField::StaticClass();
    case ftInteger: return TIntegerField::StaticClass();
    case ftWord: return TWordField::StaticClass();
    case ftAutoInc: return TAutoIncField::StaticClass();
    case ftLargeint: return TLargeintField::StaticClass();
    case ftFloat: return TFloatField::StaticClass();
    case ftCurrency: return TCurrencyField::StaticClass();
    case ftBCD: return TBCDField::StaticClass();
    case ftFMTBcd: return TFMTBCDField::StaticClass();
    case ftBoolean: return TBooleanField::StaticClass();
    case ftDate: return TDateField::StaticClass();
    case ftTime: return TTimeField::StaticClass();
    case ftDateTime: return TDateTimeField::StaticClass();
    case ftTimeStamp: return TSQLTimeStampField::StaticClass();
    case ftBlob: case ftGraphic: case ftBytes: case ftVarBytes: case ftTypedBinary:
      return TBlobField::StaticClass();
    case ftMemo: case ftFmtMemo: return TMemoField::StaticClass();
    default: return nullptr;
  }
}

// ---------------------------------------------------------------- native buffers

void TextToNative(std::string_view Text, int Size, const std::string& Name, const TComponent* Owner, void* Buffer) {
  const std::size_t Chars = std::size_t(std::max(Size, 0));
  // The buffer holds StringBufferSize(Size) bytes; the bytes bound the
  // characters from above, so they are counted only when the bytes alone
  // cannot clear the text.
  if (Text.size() >= std::size_t(StringBufferSize(Size)) || (Text.size() > Chars && CharLength(Text) > Chars))
    DatabaseError(Format(dbmsg::SValueTooLong, {int(CharLength(Text)), Name, Size}), Owner);
  // Readers stop at the terminator, so the rest of the buffer is left alone.
  std::memcpy(Buffer, Text.data(), Text.size());
  static_cast<char*>(Buffer)[Text.size()] = '\0';
}

void TextToNative(const TField* Field, std::string_view Text, void* Buffer) {
  TextToNative(Text, Field->GetSize(), Field->GetDisplayName(), Field->GetDataSet(), Buffer);
}

Variant NativeToVariant(const TField* Field, const void* Buffer) {
  switch (Field->GetDataType()) {
    case ftString: case ftFixedChar: case ftGuid: {
      const char* P = static_cast<const char*>(Buffer);
      return Variant(std::string(P, strnlen(P, std::size_t(Field->GetDataSize()))));
    }
    case ftSmallint: return Variant(std::int32_t(*static_cast<const std::int16_t*>(Buffer)));
    case ftWord: return Variant(std::int32_t(*static_cast<const std::uint16_t*>(Buffer)));
    case ftInteger: case ftAutoInc: return Variant(*static_cast<const std::int32_t*>(Buffer));
    case ftLargeint: return Variant(*static_cast<const std::int64_t*>(Buffer));
    case ftBoolean: return Variant(*static_cast<const std::uint16_t*>(Buffer) != 0);
    case ftFloat: return Variant(*static_cast<const double*>(Buffer));
    case ftCurrency: return Variant(Currency(*static_cast<const double*>(Buffer)));
    case ftDate: case ftTime: case ftDateTime: return Variant::FromDateTime(*static_cast<const double*>(Buffer));
    case ftBCD: return Variant(*static_cast<const Currency*>(Buffer));
    case ftFMTBcd: return VarFMTBcdCreate(*static_cast<const TBcd*>(Buffer));
    case ftTimeStamp: return Variant(*static_cast<const TSQLTimeStamp*>(Buffer));
    case ftWideString: return Variant(*static_cast<const std::u16string*>(Buffer));
    default: return Variant(*static_cast<const std::string*>(Buffer));
  }
}

void VariantToNative(const TField* Field, const Variant& V, void* Buffer) {
  switch (Field->GetDataType()) {
    case ftString: case ftFixedChar: case ftGuid:
      if (V.VarType() == varString) TextToNative(Field, V.RawString(), Buffer);
      else TextToNative(Field, VarToStr(V), Buffer);
      return;
    case ftSmallint: *static_cast<std::int16_t*>(Buffer) = std::int16_t(V.AsInteger()); return;
    case ftWord: *static_cast<std::uint16_t*>(Buffer) = std::uint16_t(V.AsInteger()); return;
    case ftInteger: case ftAutoInc: *static_cast<std::int32_t*>(Buffer) = V.AsInteger(); return;
    case ftLargeint: *static_cast<std::int64_t*>(Buffer) = V.AsInt64(); return;
    case ftBoolean: *static_cast<std::uint16_t*>(Buffer) = V.AsBoolean() ? 1 : 0; return;
    case ftFloat: case ftCurrency: *static_cast<double*>(Buffer) = V.AsDouble(); return;
    case ftDate: case ftTime: case ftDateTime: *static_cast<double*>(Buffer) = VarToDateTime(V); return;
    case ftBCD: *static_cast<Currency*>(Buffer) = V.AsCurrency(); return;
    case ftFMTBcd: *static_cast<TBcd*>(Buffer) = V.AsBcd(); return;
    case ftTimeStamp: *static_cast<TSQLTimeStamp*>(Buffer) = V.AsSQLTimeStamp(); return;
    case ftWideString: *static_cast<std::u16string*>(Buffer) = VarToWideStr(V); return;
    default: *static_cast<std::string*>(Buffer) = VarToStr(V); return;
  }
}

namespace {

TField* NewField(TFieldType Type, TComponent* Owner) {
  switch (Type) {
    case ftString: case ftFixedChar: return Create<TStringField>(Owner);
    case ftGuid: return Create<TGuidField>(Owner);
    case ftWideString: return Create<TWideStringField>(Owner);
    case ftSmallint: return Create<TSmallintField>(Owner);
    case ftInteger: return Create<TIntegerField>(Owner);
    case ftWord: return Create<TWordField>(Owner);
    case ftAutoInc: return Create<TAutoIncField>(Owner);
    case ftLargeint: return Create<TLargeintField>(Owner);
    case ftFloat: return Create<TFloatField>(Owner);
    case ftCurrency: return Create<TCurrencyField>(Owner);
    case ftBCD: return Create<TBCDField>(Owner);
    case ftFMTBcd: return Create<TFMTBCDField>(Owner);
    case ftBoolean: return Create<TBooleanField>(Owner);
    case ftDate: return Create<TDateField>(Owner);
    case ftTime: return Create<TTimeField>(Owner);
    case ftDateTime: return Create<TDateTimeField>(Owner);
    case ftTimeStamp: return Create<TSQLTimeStampField>(Owner);
    case ftBlob: case ftGraphic: case ftBytes: case ftVarBytes: case ftTypedBinary:
      return Create<TBlobField>(Owner);
    case ftMemo: case ftFmtMemo: return Create<TMemoField>(Owner);
    default: return nullptr;
  }
}

// Refuses a size no field can have, naming the field (and its dataset).
void CheckFieldSize(int Size, const std::string& Name, const TComponent* Owner) {
  if (Size < 0 || Size > MaxFieldSize) DatabaseError(Format(dbmsg::SInvalidFieldSize, {Size, Name, MaxFieldSize}), Owner);
}

bool SizedType(TFieldType T) {
  return T == ftString || T == ftFixedChar || T == ftBytes || T == ftVarBytes || T == ftGuid ||
         T == ftWideString || T == ftBCD || T == ftFMTBcd;
}

}  // namespace

// ---------------------------------------------------------------- TFieldDef

TFieldDef::TFieldDef(TCollection* Collection) : TCollectionItem(Collection) {}

void TFieldDef::SetName(const std::string& Value) {
  Name_ = Value;
  Changed(false);
}

void TFieldDef::SetDataType(TFieldType Value) {
  DataType_ = Value;
  if (Value == ftGuid && Size_ == 0) Size_ = 38;
  if (Value == ftString && Size_ == 0) Size_ = 20;
  Changed(false);
}

void TFieldDef::SetSize(int Value) {
  auto* Defs = dynamic_cast<TFieldDefs*>(GetCollection());
  CheckFieldSize(Value, GetDisplayName(), Defs ? Defs->DataSet() : nullptr);
  Size_ = Value;
  Changed(false);
}

int TFieldDef::GetFieldNo() const { return FieldNo_ > 0 ? FieldNo_ : GetIndex() + 1; }

TField* TFieldDef::CreateField(TComponent* Owner) {
  TField* F = NewField(DataType_, Owner);
  if (!F) DatabaseError(Format(dbmsg::SFieldTypeNotSupported, {Name_}));
  try {
    F->FieldName_ = Name_;
    F->DataType_ = DataType_;
    if (SizedType(DataType_)) F->Size_ = Size_;
    F->Required_ = Required_;
    F->FieldNo_ = GetFieldNo();
    if (auto* Defs = dynamic_cast<TFieldDefs*>(GetCollection()))
      if (TDataSet* DS = Defs->DataSet()) F->SetDataSet(DS);
  } catch (...) {
    F->Free();
    throw;
  }
  return F;
}

void TFieldDef::Assign(TPersistent* Source) {
  if (auto* S = dynamic_cast<TFieldDef*>(Source)) {
    Name_ = S->Name_;
    DataType_ = S->DataType_;
    Size_ = S->Size_;
    Precision_ = S->Precision_;
    Required_ = S->Required_;
    Changed(false);
    return;
  }
  TCollectionItem::Assign(Source);
}

std::string TFieldDef::GetDisplayName() const {
  return Name_.empty() ? TCollectionItem::GetDisplayName() : Name_;
}

// ---------------------------------------------------------------- TFieldDefs

TFieldDefs::TFieldDefs(TPersistent* Owner) : TOwnedCollection(Owner, TFieldDef::StaticClass()) {}

TFieldDef* TFieldDefs::GetItem(int Index) const {
  return static_cast<TFieldDef*>(TCollection::GetItem(Index));
}

TFieldDef* TFieldDefs::AddFieldDef() { return static_cast<TFieldDef*>(TCollection::Add()); }

TFieldDef* TFieldDefs::Add(const std::string& Name, TFieldType DataType, int Size, bool Required) {
  if (Name.empty()) DatabaseError("A field definition needs a name");
  if (IndexOf(Name) >= 0) DatabaseError(Format(dbmsg::SDuplicateFieldName, {Name}));
  CheckFieldSize(Size, Name, DataSet());
  TFieldDef* D = AddFieldDef();
  D->Name_ = Name;
  D->DataType_ = DataType;
  D->Size_ = Size;
  if (DataType == ftGuid && Size == 0) D->Size_ = 38;
  if ((DataType == ftString || DataType == ftFixedChar) && Size == 0) D->Size_ = 20;
  D->Required_ = Required;
  return D;
}

int TFieldDefs::IndexOf(const std::string& Name) const {
  for (int I = 0; I < Count(); ++I)
    if (AnsiSameText(GetItem(I)->GetName(), Name)) return I;
  return -1;
}

TFieldDef* TFieldDefs::FindDef(const std::string& Name) const {
  int I = IndexOf(Name);
  return I < 0 ? nullptr : GetItem(I);
}

TFieldDef* TFieldDefs::Find(const std::string& Name) const {
  TFieldDef* D = FindDef(Name);
  if (!D) DatabaseError(Format(dbmsg::SFieldNotFound, {Name}), DataSet());
  return D;
}

TDataSet* TFieldDefs::DataSet() const { return dynamic_cast<TDataSet*>(const_cast<TFieldDefs*>(this)->GetOwner()); }

void TFieldDefs::Update() {
  if (TDataSet* DS = DataSet()) DS->InitFieldDefs();
}

// ---------------------------------------------------------------- TFields

TField* TFields::GetField(int Index) const {
  if (Index < 0 || Index >= Count())
    throw EListError(Format("List index out of bounds (%d)", {Index}));
  return List_[std::size_t(Index)];
}

TField* TFields::FindField(const std::string& FieldName) const {
  for (TField* F : List_)
    if (AnsiSameText(F->GetFieldName(), FieldName)) return F;
  return nullptr;
}

TField* TFields::FieldByName(const std::string& FieldName) const {
  TField* F = FindField(FieldName);
  if (!F) DatabaseError(Format(dbmsg::SFieldNotFound, {FieldName}), DataSet_);
  return F;
}

int TFields::IndexOf(const TField* Field) const {
  for (std::size_t I = 0; I < List_.size(); ++I)
    if (List_[I] == Field) return int(I);
  return -1;
}

void TFields::Remove(TField* Field) {
  for (auto It = List_.begin(); It != List_.end(); ++It)
    if (*It == Field) {
      List_.erase(It);
      return;
    }
}

// ---------------------------------------------------------------- TField

TField::TField(TComponent* Owner) : TComponent(Owner) {}

TField::~TField() { Detach(); }

void TField::BeforeDestruction() {
  Detach();
  TComponent::BeforeDestruction();
}

void TField::Detach() {
  if (DataSet_) {
    TDataSet* DS = DataSet_;
    DS->Fields_.Remove(this);
    DataSet_ = nullptr;
    // Links of an open dataset (a family whose fields change while open) hear
    // of the new field list.
    if (DS->GetActive() && !DS->GetComponentState().Contains(csDestroying)) DS->DataEvent(deFieldListChange);
  }
}

void TField::SetDataSet(TDataSet* Value) {
  if (Value == DataSet_) return;
  if (DataSet_) DataSet_->CheckInactive();
  if (Value) {
    Value->CheckInactive();
    if (!FieldName_.empty() && Value->FindField(FieldName_))
      DatabaseError(Format(dbmsg::SDuplicateFieldName, {FieldName_}), Value);
  }
  Detach();
  DataSet_ = Value;
  if (Value) {
    Value->Fields_.Add(this);
    if (Value->GetActive()) Value->DataEvent(deFieldListChange);
  }
}

void TField::SetFieldName(const std::string& Value) {
  if (DataSet_) {
    DataSet_->CheckInactive();
    TField* Other = DataSet_->FindField(Value);
    if (Other && Other != this) DatabaseError(Format(dbmsg::SDuplicateFieldName, {Value}), DataSet_);
  }
  FieldName_ = Value;
}

void TField::SetSize(int Value) {
  if (DataSet_) DataSet_->CheckInactive();
  CheckFieldSize(Value, GetDisplayName(), DataSet_);
  Size_ = Value;
}

int TField::GetDataSize() const { return 0; }

int TField::GetIndex() const { return DataSet_ ? DataSet_->Fields_.IndexOf(this) : -1; }

void TField::SetDisplayLabel(const std::string& Value) {
  DisplayLabel_ = Value == FieldName_ ? std::string() : Value;
}

bool TField::ReadNative(void* Buffer) const {
  if (!DataSet_) DatabaseError(Format("Field '%s' has no dataset", {FieldName_}));
  if (DataSet_->State_ == dsInactive) DatabaseError(dbmsg::SDataSetClosed, DataSet_);
  return DataSet_->GetFieldData(const_cast<TField*>(this), Buffer);
}

bool TField::GetIsNull() const { return !ReadNative(nullptr); }

bool TField::GetData(void* Buffer) const { return ReadNative(Buffer); }

void TField::CheckCanModify() const {
  if (!DataSet_) DatabaseError(Format("Field '%s' has no dataset", {FieldName_}));
  DataSet_->CheckActive();
  TDataSetState S = DataSet_->State_;
  if (S == dsSetKey) return;
  if (S != dsEdit && S != dsInsert) DatabaseError(dbmsg::SNotEditing, DataSet_);
  if (ReadOnly_) DatabaseError(Format(dbmsg::SFieldReadOnly, {GetDisplayName()}), DataSet_);
}

void TField::SetData(const void* Buffer) {
  CheckCanModify();
  TDataSet* DS = DataSet_;
  if (OnValidate && DS->State_ != dsSetKey) {
    // The handler sees the new value; refusing it puts the old one back.
    Variant Old = GetAsVariant();
    DS->SetFieldData(this, Buffer);
    try {
      OnValidate(this);
    } catch (...) {
      if (Old.IsNull()) {
        DS->SetFieldData(this, nullptr);
      } else {
        // Put the old value back without validating it again.
        TFieldNotifyEvent Validate = OnValidate, Change = OnChange;
        bool Saved = ReadOnly_;
        OnValidate = nullptr;
        OnChange = nullptr;
        ReadOnly_ = false;
        try {
          SetAsVariant(Old);
        } catch (...) {
        }
        OnValidate = Validate;
        OnChange = Change;
        ReadOnly_ = Saved;
      }
      throw;
    }
  } else {
    DS->SetFieldData(this, Buffer);
  }
  DS->FieldChanged(this);
  if (OnChange) OnChange(this);
}

void TField::Clear() { SetData(nullptr); }

[[noreturn]] void TField::AccessError(const char* TypeName) const {
  DatabaseError(Format(dbmsg::SFieldAccessError, {GetDisplayName(), TypeName}), DataSet_);
}

[[noreturn]] void TField::ConvertError(const char* Message, const std::string& Text) const {
  throw EConvertError(Format(Message, {Text, GetDisplayName()}));
}

Variant TField::GetAsVariant() const { AccessError("Variant"); }
void TField::SetAsVariant(const Variant&) { AccessError("Variant"); }
std::string TField::GetAsString() const { return VarToStr(GetAsVariant()); }
void TField::SetAsString(const std::string&) { AccessError("String"); }
std::u16string TField::GetAsWideString() const { return Utf8ToUtf16(GetAsString()); }
void TField::SetAsWideString(const std::u16string& Value) { SetAsString(Utf16ToUtf8(Value)); }
std::int32_t TField::GetAsInteger() const { AccessError("Integer"); }
void TField::SetAsInteger(std::int32_t) { AccessError("Integer"); }
std::int64_t TField::GetAsLargeInt() const { return GetAsInteger(); }
void TField::SetAsLargeInt(std::int64_t Value) {
  if (Value < std::numeric_limits<std::int32_t>::min() || Value > std::numeric_limits<std::int32_t>::max())
    AccessError("Largeint");
  SetAsInteger(std::int32_t(Value));
}
double TField::GetAsFloat() const { AccessError("Float"); }
void TField::SetAsFloat(double) { AccessError("Float"); }
bool TField::GetAsBoolean() const { AccessError("Boolean"); }
void TField::SetAsBoolean(bool) { AccessError("Boolean"); }
TDateTime TField::GetAsDateTime() const { AccessError("DateTime"); }
void TField::SetAsDateTime(TDateTime) { AccessError("DateTime"); }
Currency TField::GetAsCurrency() const { AccessError("Currency"); }
void TField::SetAsCurrency(Currency) { AccessError("Currency"); }
TBcd TField::GetAsBCD() const {
  TBcd B;
  CurrToBCD(GetAsCurrency(), B);
  return B;
}
void TField::SetAsBCD(const TBcd& Value) {
  Currency C;
  if (!BCDToCurr(Value, C)) AccessError("BCD");
  SetAsCurrency(C);
}
TSQLTimeStamp TField::GetAsSQLTimeStamp() const { AccessError("SQLTimeStamp"); }
void TField::SetAsSQLTimeStamp(const TSQLTimeStamp&) { AccessError("SQLTimeStamp"); }
std::string TField::GetDisplayText() const { return GetAsString(); }
std::string TField::GetText() const { return GetAsString(); }

// ---------------------------------------------------------------- TStringField

TStringField::TStringField(TComponent* Owner) : TField(Owner) {
  SetDataType(ftString);
  Size_ = 20;
}

std::string TStringField::GetAsString() const {
  // The family writes a terminated text; the length is bounded by the buffer
  // all the same, so the buffer need not be cleared on every read.
  Scratch_.resize(std::size_t(GetDataSize()));
  if (!ReadNative(Scratch_.data())) return {};
  return std::string(Scratch_.data(), strnlen(Scratch_.data(), Scratch_.size()));
}

void TStringField::SetAsString(const std::string& Value) {
  Scratch_.resize(std::size_t(GetDataSize()));
  TextToNative(this, Value, Scratch_.data());
  SetData(Scratch_.data());
}

Variant TStringField::GetAsVariant() const {
  if (IsNull()) return Null();
  return Variant(GetAsString());
}

void TStringField::SetAsVariant(const Variant& Value) {
  if (Value.IsNull() || Value.IsEmpty()) Clear();
  else SetAsString(VarToStr(Value));
}

std::int32_t TStringField::GetAsInteger() const {
  std::string S = GetAsString();
  std::int32_t V;
  if (!TryStrToInt(S, V)) ConvertError(dbmsg::SNotAnInteger, S);
  return V;
}

std::int64_t TStringField::GetAsLargeInt() const {
  std::string S = GetAsString();
  std::int64_t V;
  if (!TryStrToInt64(S, V)) ConvertError(dbmsg::SNotAnInteger, S);
  return V;
}

double TStringField::GetAsFloat() const {
  std::string S = GetAsString();
  double V;
  if (!TryStrToFloat(S, V)) ConvertError(dbmsg::SNotAFloat, S);
  return V;
}

bool TStringField::GetAsBoolean() const {
  std::string S = GetAsString();
  bool V;
  if (!TryStrToBool(S, V)) ConvertError(dbmsg::SNotABoolean, S);
  return V;
}

void TStringField::SetAsBoolean(bool Value) { SetAsString(Value ? "True" : "False"); }

TDateTime TStringField::GetAsDateTime() const {
  std::string S = GetAsString();
  TDateTime V;
  if (!TryStrToDateTime(S, V)) ConvertError(dbmsg::SNotADateTime, S);
  return V;
}

Currency TStringField::GetAsCurrency() const {
  std::string S = GetAsString();
  Currency V;
  if (!TryStrToCurr(S, V)) ConvertError(dbmsg::SNotACurrency, S);
  return V;
}

// ---------------------------------------------------------------- TGuidField

TGuidField::TGuidField(TComponent* Owner) : TStringField(Owner) {
  SetDataType(ftGuid);
  Size_ = 38;
}

void TGuidField::SetAsString(const std::string& Value) {
  if (Value.empty()) {
    Clear();
    return;
  }
  static const char Shape[] = "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}";
  bool Ok = Value.size() == 38;
  for (std::size_t I = 0; Ok && I < 38; ++I)
    Ok = Shape[I] == 'x' ? std::isxdigit(static_cast<unsigned char>(Value[I])) != 0 : Value[I] == Shape[I];
  if (!Ok) ConvertError(dbmsg::SNotAGuid, Value);
  TStringField::SetAsString(Value);
}

// ---------------------------------------------------------------- TWideStringField

TWideStringField::TWideStringField(TComponent* Owner) : TField(Owner) {
  SetDataType(ftWideString);
  Size_ = 20;
}

std::u16string TWideStringField::GetAsWideString() const {
  std::u16string S;
  ReadNative(&S);
  return S;
}

void TWideStringField::SetAsWideString(const std::u16string& Value) {
  if (GetSize() > 0 && Value.size() > std::size_t(GetSize()))
    DatabaseError(Format(dbmsg::SValueTooLong, {int(Value.size()), GetDisplayName(), GetSize()}),
                  GetDataSet());
  SetData(&Value);
}

std::string TWideStringField::GetAsString() const { return Utf16ToUtf8(GetAsWideString()); }
void TWideStringField::SetAsString(const std::string& Value) { SetAsWideString(Utf8ToUtf16(Value)); }

Variant TWideStringField::GetAsVariant() const {
  std::u16string S;
  if (!ReadNative(&S)) return Null();
  return Variant(std::move(S));
}

void TWideStringField::SetAsVariant(const Variant& Value) {
  if (Value.IsNull() || Value.IsEmpty()) Clear();
  else SetAsWideString(VarToWideStr(Value));
}

// ---------------------------------------------------------------- TNumericField

TNumericField::TNumericField(TComponent* Owner) : TField(Owner) {}

std::string TNumericField::FormatNumber(const std::string& Fmt) const {
  if (IsNull()) return {};
  if (Fmt.empty()) return GetAsString();
  if (GetDataType() == ftBCD) return FormatCurr(Fmt, GetAsCurrency());
  return FormatFloat(Fmt, GetAsFloat());
}

std::string TNumericField::GetDisplayText() const { return FormatNumber(DisplayFormat_); }

std::string TNumericField::GetText() const {
  return FormatNumber(EditFormat_.empty() ? DisplayFormat_ : EditFormat_);
}

// ---------------------------------------------------------------- integers

TIntegerField::TIntegerField(TComponent* Owner)
    : TNumericField(Owner),
      MinValue_(std::numeric_limits<std::int32_t>::min()),
      MaxValue_(std::numeric_limits<std::int32_t>::max()) {
  SetDataType(ftInteger);
}

TSmallintField::TSmallintField(TComponent* Owner) : TIntegerField(Owner) {
  SetDataType(ftSmallint);
  MinValue_ = -32768;
  MaxValue_ = 32767;
}

TWordField::TWordField(TComponent* Owner) : TIntegerField(Owner) {
  SetDataType(ftWord);
  MinValue_ = 0;
  MaxValue_ = 65535;
}

TAutoIncField::TAutoIncField(TComponent* Owner) : TIntegerField(Owner) { SetDataType(ftAutoInc); }

void TIntegerField::CheckRange(std::int64_t Value) const {
  if (Value < MinValue_ || Value > MaxValue_)
    DatabaseError(Format(dbmsg::SFieldRangeError,
                         {IntToStr(Value), GetDisplayName(), IntToStr(MinValue_), IntToStr(MaxValue_)}),
                  GetDataSet());
}

std::int32_t TIntegerField::GetAsInteger() const {
  switch (GetDataType()) {
    case ftSmallint: {
      std::int16_t V = 0;
      ReadNative(&V);
      return V;
    }
    case ftWord: {
      std::uint16_t V = 0;
      ReadNative(&V);
      return V;
    }
    default: {
      std::int32_t V = 0;
      ReadNative(&V);
      return V;
    }
  }
}

void TIntegerField::SetAsInteger(std::int32_t Value) { SetAsLargeInt(Value); }

void TIntegerField::SetAsLargeInt(std::int64_t Value) {
  CheckRange(Value);
  switch (GetDataType()) {
    case ftSmallint: {
      std::int16_t V = std::int16_t(Value);
      SetData(&V);
      break;
    }
    case ftWord: {
      std::uint16_t V = std::uint16_t(Value);
      SetData(&V);
      break;
    }
    default: {
      std::int32_t V = std::int32_t(Value);
      SetData(&V);
    }
  }
}

void TIntegerField::SetAsFloat(double Value) {
  double R = std::round(Value);
  if (!(R >= double(MinValue_) && R <= double(MaxValue_)))
    DatabaseError(Format(dbmsg::SFieldRangeError,
                         {FloatToStr(Value), GetDisplayName(), IntToStr(MinValue_), IntToStr(MaxValue_)}),
                  GetDataSet());
  SetAsLargeInt(std::int64_t(R));
}

std::string TIntegerField::GetAsString() const { return IsNull() ? std::string() : IntToStr(GetAsInteger()); }

void TIntegerField::SetAsString(const std::string& Value) {
  std::string S = Trim(Value);
  if (S.empty()) {
    Clear();
    return;
  }
  std::int64_t V;
  if (!TryStrToInt64(S, V)) ConvertError(dbmsg::SNotAnInteger, Value);
  SetAsLargeInt(V);
}

Variant TIntegerField::GetAsVariant() const {
  if (IsNull()) return Null();
  std::int32_t V = GetAsInteger();
  switch (GetDataType()) {
    case ftSmallint: return Variant::MakeInt(varSmallint, V);
    case ftWord: return Variant::MakeInt(varWord, V);
    default: return Variant(V);
  }
}

namespace {
// Runs Fn, turning a variant conversion failure into a message naming the field.
template <class F>
void Converting(const TField* Field, const Variant& Value, F&& Fn) {
  try {
    Fn();
  } catch (const EVariantError& E) {
    throw EConvertError(Format(dbmsg::SFieldTypeMismatch,
                               {Field->GetDisplayName(), std::string(FieldTypeName(Field->GetDataType())),
                                VarTypeAsText(Value.VarType())}));
  }
}
}  // namespace

void TIntegerField::SetAsVariant(const Variant& Value) {
  if (Value.IsNull() || Value.IsEmpty()) return Clear();
  if (VarIsStr(Value)) return SetAsString(VarToStr(Value));
  if (VarIsFloat(Value)) return SetAsFloat(Value.AsDouble());
  Converting(this, Value, [&] { SetAsLargeInt(Value.AsInt64()); });
}

TLargeintField::TLargeintField(TComponent* Owner) : TNumericField(Owner) { SetDataType(ftLargeint); }

std::int64_t TLargeintField::GetAsLargeInt() const {
  std::int64_t V = 0;
  ReadNative(&V);
  return V;
}

void TLargeintField::SetAsLargeInt(std::int64_t Value) { SetData(&Value); }

std::int32_t TLargeintField::GetAsInteger() const {
  std::int64_t V = GetAsLargeInt();
  if (V < std::numeric_limits<std::int32_t>::min() || V > std::numeric_limits<std::int32_t>::max())
    DatabaseError(Format(dbmsg::SFieldRangeError,
                         {IntToStr(V), GetDisplayName(), IntToStr(std::numeric_limits<std::int32_t>::min()),
                          IntToStr(std::numeric_limits<std::int32_t>::max())}),
                  GetDataSet());
  return std::int32_t(V);
}

void TLargeintField::SetAsFloat(double Value) {
  double R = std::round(Value);
  if (!(R >= -9.2233720368547758e18 && R < 9.2233720368547758e18))
    DatabaseError(Format(dbmsg::SFieldRangeError, {FloatToStr(Value), GetDisplayName(), "-2^63", "2^63-1"}),
                  GetDataSet());
  SetAsLargeInt(std::int64_t(R));
}

std::string TLargeintField::GetAsString() const { return IsNull() ? std::string() : IntToStr(GetAsLargeInt()); }

void TLargeintField::SetAsString(const std::string& Value) {
  std::string S = Trim(Value);
  if (S.empty()) return Clear();
  std::int64_t V;
  if (!TryStrToInt64(S, V)) ConvertError(dbmsg::SNotAnInteger, Value);
  SetAsLargeInt(V);
}

Variant TLargeintField::GetAsVariant() const {
  if (IsNull()) return Null();
  return Variant(GetAsLargeInt());
}

void TLargeintField::SetAsVariant(const Variant& Value) {
  if (Value.IsNull() || Value.IsEmpty()) return Clear();
  if (VarIsStr(Value)) return SetAsString(VarToStr(Value));
  if (VarIsFloat(Value)) return SetAsFloat(Value.AsDouble());
  Converting(this, Value, [&] { SetAsLargeInt(Value.AsInt64()); });
}

// ---------------------------------------------------------------- floats

TFloatField::TFloatField(TComponent* Owner) : TNumericField(Owner) { SetDataType(ftFloat); }

double TFloatField::GetAsFloat() const {
  double V = 0;
  ReadNative(&V);
  return V;
}

void TFloatField::SetAsFloat(double Value) {
  if (std::isnan(Value) || std::isinf(Value))
    DatabaseError(Format(dbmsg::SFieldValueError, {GetDisplayName()}), GetDataSet());
  SetData(&Value);
}

std::int32_t TFloatField::GetAsInteger() const {
  double V = std::round(GetAsFloat());
  if (!(V >= -2147483648.0 && V <= 2147483647.0))
    DatabaseError(Format(dbmsg::SFieldRangeError, {FloatToStr(V), GetDisplayName(), "-2147483648", "2147483647"}),
                  GetDataSet());
  return std::int32_t(V);
}

std::int64_t TFloatField::GetAsLargeInt() const { return std::int64_t(std::round(GetAsFloat())); }

std::string TFloatField::GetAsString() const { return IsNull() ? std::string() : FloatToStr(GetAsFloat()); }

void TFloatField::SetAsString(const std::string& Value) {
  std::string S = Trim(Value);
  if (S.empty()) return Clear();
  double V;
  if (!TryStrToFloat(S, V)) ConvertError(dbmsg::SNotAFloat, Value);
  SetAsFloat(V);
}

Variant TFloatField::GetAsVariant() const {
  if (IsNull()) return Null();
  return Variant(GetAsFloat());
}

void TFloatField::SetAsVariant(const Variant& Value) {
  if (Value.IsNull() || Value.IsEmpty()) return Clear();
  if (VarIsStr(Value)) return SetAsString(VarToStr(Value));
  Converting(this, Value, [&] { SetAsFloat(Value.AsDouble()); });
}

TCurrencyField::TCurrencyField(TComponent* Owner) : TFloatField(Owner) { SetDataType(ftCurrency); }

Variant TCurrencyField::GetAsVariant() const {
  if (IsNull()) return Null();
  return Variant(Currency(GetAsFloat()));
}

std::string TCurrencyField::GetDisplayText() const {
  if (!GetDisplayFormat().empty() || IsNull()) return TFloatField::GetDisplayText();
  const TFormatSettings& FS = FormatSettings();
  std::string Digits = FormatFloat("#,##0." + std::string(FS.CurrencyDecimals, '0'), std::fabs(GetAsFloat()));
  if (FS.CurrencyDecimals == 0) Digits = FormatFloat("#,##0", std::fabs(GetAsFloat()));
  std::string Sym = FS.CurrencyString;
  std::string Body;
  switch (FS.CurrencyFormat) {
    case 1: Body = Digits + Sym; break;
    case 2: Body = Sym + " " + Digits; break;
    case 3: Body = Digits + " " + Sym; break;
    default: Body = Sym + Digits;
  }
  return GetAsFloat() < 0 ? "-" + Body : Body;
}

// ---------------------------------------------------------------- BCD

TBCDField::TBCDField(TComponent* Owner) : TNumericField(Owner) {
  SetDataType(ftBCD);
  Size_ = 4;
}

Currency TBCDField::GetAsCurrency() const {
  Currency V;
  ReadNative(&V);
  return V;
}

void TBCDField::SetAsCurrency(Currency Value) { SetData(&Value); }

TBcd TBCDField::GetAsBCD() const {
  TBcd B;
  CurrToBCD(GetAsCurrency(), B);
  return B;
}

void TBCDField::SetAsBCD(const TBcd& Value) {
  Currency C;
  if (!BCDToCurr(Value, C)) ConvertError(dbmsg::SNotABcd, BcdToStr(Value));
  SetAsCurrency(C);
}

std::int32_t TBCDField::GetAsInteger() const {
  std::int64_t V = GetAsCurrency().ToInt64();
  if (V < std::numeric_limits<std::int32_t>::min() || V > std::numeric_limits<std::int32_t>::max())
    DatabaseError(Format(dbmsg::SFieldRangeError, {IntToStr(V), GetDisplayName(), "-2147483648", "2147483647"}),
                  GetDataSet());
  return std::int32_t(V);
}

std::string TBCDField::GetAsString() const { return IsNull() ? std::string() : CurrToStr(GetAsCurrency()); }

void TBCDField::SetAsString(const std::string& Value) {
  std::string S = Trim(Value);
  if (S.empty()) return Clear();
  Currency V;
  if (!TryStrToCurr(S, V)) ConvertError(dbmsg::SNotACurrency, Value);
  SetAsCurrency(V);
}

Variant TBCDField::GetAsVariant() const {
  if (IsNull()) return Null();
  return Variant(GetAsCurrency());
}

void TBCDField::SetAsVariant(const Variant& Value) {
  if (Value.IsNull() || Value.IsEmpty()) return Clear();
  if (VarIsStr(Value)) return SetAsString(VarToStr(Value));
  Converting(this, Value, [&] { SetAsCurrency(Value.AsCurrency()); });
}

TFMTBCDField::TFMTBCDField(TComponent* Owner) : TNumericField(Owner) {
  SetDataType(ftFMTBcd);
  Size_ = 8;
}

TBcd TFMTBCDField::GetAsBCD() const {
  TBcd B = NullBcd();
  ReadNative(&B);
  return B;
}

void TFMTBCDField::SetAsBCD(const TBcd& Value) { SetData(&Value); }

Currency TFMTBCDField::GetAsCurrency() const {
  Currency C;
  TBcd B = GetAsBCD();
  if (!BCDToCurr(B, C)) ConvertError(dbmsg::SNotACurrency, BcdToStr(B));
  return C;
}

void TFMTBCDField::SetAsCurrency(Currency Value) {
  TBcd B;
  CurrToBCD(Value, B);
  SetAsBCD(B);
}

std::int32_t TFMTBCDField::GetAsInteger() const {
  std::int64_t V = GetAsLargeInt();
  if (V < std::numeric_limits<std::int32_t>::min() || V > std::numeric_limits<std::int32_t>::max())
    DatabaseError(Format(dbmsg::SFieldRangeError, {IntToStr(V), GetDisplayName(), "-2147483648", "2147483647"}),
                  GetDataSet());
  return std::int32_t(V);
}

std::int64_t TFMTBCDField::GetAsLargeInt() const { return BcdToInt64(GetAsBCD()); }

std::string TFMTBCDField::GetAsString() const { return IsNull() ? std::string() : BcdToStr(GetAsBCD()); }

void TFMTBCDField::SetAsString(const std::string& Value) {
  std::string S = Trim(Value);
  if (S.empty()) return Clear();
  TBcd B;
  if (!TryStrToBcd(S, B)) ConvertError(dbmsg::SNotABcd, Value);
  SetAsBCD(B);
}

Variant TFMTBCDField::GetAsVariant() const {
  if (IsNull()) return Null();
  return VarFMTBcdCreate(GetAsBCD());
}

void TFMTBCDField::SetAsVariant(const Variant& Value) {
  if (Value.IsNull() || Value.IsEmpty()) return Clear();
  if (VarIsStr(Value)) return SetAsString(VarToStr(Value));
  Converting(this, Value, [&] { SetAsBCD(Value.AsBcd()); });
}

// ---------------------------------------------------------------- TBooleanField

TBooleanField::TBooleanField(TComponent* Owner) : TField(Owner) { SetDataType(ftBoolean); }

bool TBooleanField::GetAsBoolean() const {
  std::uint16_t V = 0;
  ReadNative(&V);
  return V != 0;
}

void TBooleanField::SetAsBoolean(bool Value) {
  std::uint16_t V = Value ? 1 : 0;
  SetData(&V);
}

void TBooleanField::SetDisplayValues(const std::string& Value) {
  auto P = Value.find(';');
  if (P == std::string::npos || P == 0 || P + 1 >= Value.size())
    DatabaseError(Format("'%s' is not a valid boolean display value pair", {Value}), GetDataSet());
  DisplayValues_ = Value;
  TrueText_ = Value.substr(0, P);
  FalseText_ = Value.substr(P + 1);
}

std::string TBooleanField::GetAsString() const {
  if (IsNull()) return {};
  return GetAsBoolean() ? TrueText_ : FalseText_;
}

void TBooleanField::SetAsString(const std::string& Value) {
  std::string S = Trim(Value);
  if (S.empty()) return Clear();
  if (AnsiSameText(S, TrueText_)) return SetAsBoolean(true);
  if (AnsiSameText(S, FalseText_)) return SetAsBoolean(false);
  bool B;
  if (!TryStrToBool(S, B)) ConvertError(dbmsg::SNotABoolean, Value);
  SetAsBoolean(B);
}

Variant TBooleanField::GetAsVariant() const {
  if (IsNull()) return Null();
  return Variant(GetAsBoolean());
}

void TBooleanField::SetAsVariant(const Variant& Value) {
  if (Value.IsNull() || Value.IsEmpty()) return Clear();
  if (VarIsStr(Value)) return SetAsString(VarToStr(Value));
  Converting(this, Value, [&] { SetAsBoolean(Value.AsBoolean()); });
}

// ---------------------------------------------------------------- date and time

TDateTimeField::TDateTimeField(TComponent* Owner) : TField(Owner) { SetDataType(ftDateTime); }
TDateField::TDateField(TComponent* Owner) : TDateTimeField(Owner) { SetDataType(ftDate); }
TTimeField::TTimeField(TComponent* Owner) : TDateTimeField(Owner) { SetDataType(ftTime); }

TDateTime TDateTimeField::GetAsDateTime() const {
  double V = 0;
  ReadNative(&V);
  return V;
}

void TDateTimeField::SetAsDateTime(TDateTime Value) {
  if (std::isnan(Value) || std::isinf(Value))
    DatabaseError(Format(dbmsg::SFieldValueError, {GetDisplayName()}), GetDataSet());
  // A date keeps no time and a time no date.
  if (GetDataType() == ftDate) Value = std::trunc(Value);
  else if (GetDataType() == ftTime) Value = std::fabs(Value - std::trunc(Value));
  SetData(&Value);
}

std::string TDateTimeField::DefaultText(TDateTime V) const {
  switch (GetDataType()) {
    case ftDate: return DateToStr(V);
    case ftTime: return TimeToStr(V);
    default: return DateTimeToStr(V);
  }
}

std::string TDateTimeField::GetAsString() const { return IsNull() ? std::string() : DefaultText(GetAsDateTime()); }

void TDateTimeField::SetAsString(const std::string& Value) {
  std::string S = Trim(Value);
  if (S.empty()) return Clear();
  TDateTime V;
  bool Ok = GetDataType() == ftDate ? TryStrToDate(S, V)
            : GetDataType() == ftTime ? TryStrToTime(S, V)
                                      : TryStrToDateTime(S, V);
  if (!Ok) ConvertError(dbmsg::SNotADateTime, Value);
  SetAsDateTime(V);
}

Variant TDateTimeField::GetAsVariant() const {
  if (IsNull()) return Null();
  return Variant::FromDateTime(GetAsDateTime());
}

void TDateTimeField::SetAsVariant(const Variant& Value) {
  if (Value.IsNull() || Value.IsEmpty()) return Clear();
  if (VarIsStr(Value)) return SetAsString(VarToStr(Value));
  Converting(this, Value, [&] { SetAsDateTime(VarToDateTime(Value)); });
}

std::string TDateTimeField::GetDisplayText() const {
  if (IsNull()) return {};
  if (DisplayFormat_.empty()) return DefaultText(GetAsDateTime());
  return FormatDateTime(DisplayFormat_, GetAsDateTime());
}

TSQLTimeStampField::TSQLTimeStampField(TComponent* Owner) : TField(Owner) { SetDataType(ftTimeStamp); }

TSQLTimeStamp TSQLTimeStampField::GetAsSQLTimeStamp() const {
  TSQLTimeStamp V{};
  ReadNative(&V);
  return V;
}

void TSQLTimeStampField::SetAsSQLTimeStamp(const TSQLTimeStamp& Value) {
  if (!IsSQLTimeStampValid(Value))
    DatabaseError(Format(dbmsg::SFieldValueError, {GetDisplayName()}), GetDataSet());
  SetData(&Value);
}

std::string TSQLTimeStampField::GetAsString() const {
  return IsNull() ? std::string() : SQLTimeStampToStr("", GetAsSQLTimeStamp());
}

void TSQLTimeStampField::SetAsString(const std::string& Value) {
  std::string S = Trim(Value);
  if (S.empty()) return Clear();
  TSQLTimeStamp V;
  if (!TryStrToSQLTimeStamp(S, V)) ConvertError(dbmsg::SNotADateTime, Value);
  SetAsSQLTimeStamp(V);
}

Variant TSQLTimeStampField::GetAsVariant() const {
  if (IsNull()) return Null();
  return VarSQLTimeStampCreate(GetAsSQLTimeStamp());
}

void TSQLTimeStampField::SetAsVariant(const Variant& Value) {
  if (Value.IsNull() || Value.IsEmpty()) return Clear();
  if (VarIsStr(Value)) return SetAsString(VarToStr(Value));
  Converting(this, Value, [&] { SetAsSQLTimeStamp(Value.AsSQLTimeStamp()); });
}

std::string TSQLTimeStampField::GetDisplayText() const {
  if (IsNull()) return {};
  return SQLTimeStampToStr(DisplayFormat_, GetAsSQLTimeStamp());
}

// ---------------------------------------------------------------- blobs

TBlobField::TBlobField(TComponent* Owner) : TField(Owner) { SetDataType(ftBlob); }
TMemoField::TMemoField(TComponent* Owner) : TBlobField(Owner) { SetDataType(ftMemo); }

std::string TBlobField::GetAsString() const {
  std::string S;
  ReadNative(&S);
  return S;
}

void TBlobField::SetAsString(const std::string& Value) {
  if (GetSize() > 0 && (GetDataType() == ftBytes || GetDataType() == ftVarBytes) &&
      Value.size() > std::size_t(GetSize()))
    DatabaseError(Format(dbmsg::SValueTooLong, {int(Value.size()), GetDisplayName(), GetSize()}), GetDataSet());
  SetData(&Value);
}

Variant TBlobField::GetAsVariant() const {
  std::string S;
  if (!ReadNative(&S)) return Null();
  return Variant(std::move(S));
}

void TBlobField::SetAsVariant(const Variant& Value) {
  if (Value.IsNull() || Value.IsEmpty()) return Clear();
  SetAsString(VarToStr(Value));
}

std::string TBlobField::GetDisplayText() const {
  if (IsNull()) return {};
  std::string Text(1, '(');
  Text.append(FieldTypeName(GetDataType()).substr(2));
  Text.push_back(')');
  return Text;
}

}  // namespace fyndra
