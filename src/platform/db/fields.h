// Fields and field definitions of a dataset.
//
// A TFieldDef describes one column of a dataset's storage (name, type, size,
// required); TFieldDefs owns its definitions and is owned by its dataset.
// A TField is the component through which the current record's value of one
// column is read and written. Default fields are created by the dataset from
// its definitions when it opens and are owned and freed by it; persistent
// fields are created by the application (any owner) and handed to a dataset
// with SetDataSet. A dataset lists its fields in TFields without owning the
// persistent ones; a field that is freed leaves its dataset's list first.
//
// Native value buffers exchanged with TDataSet::GetFieldData/SetFieldData,
// by field type (DataSize gives the byte size of the fixed ones):
//   ftString, ftFixedChar, ftGuid  char[StringBufferSize(Size)], zero-terminated
//                  UTF-8; Size counts characters, as a SQL VARCHAR(n) does
//   ftSmallint int16_t   ftWord uint16_t   ftInteger, ftAutoInc int32_t
//   ftLargeint int64_t   ftBoolean uint16_t (0 or 1)
//   ftFloat, ftCurrency, ftDate, ftTime, ftDateTime  double
//   ftBCD Currency   ftFMTBcd TBcd   ftTimeStamp TSQLTimeStamp
//   ftWideString std::u16string (the buffer is a std::u16string object)
//   ftBlob, ftMemo, ftFmtMemo, ftGraphic, ftBytes, ftVarBytes  std::string
//                  (the buffer is a std::string object holding the bytes)
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <fyndra/platform/classes/classes.h>
#include <fyndra/platform/classes/events.h>
#include <fyndra/platform/db/dbtypes.h>
#include <fyndra/platform/rtl/fmtbcd.h>
#include <fyndra/platform/rtl/sqltimst.h>
#include <fyndra/platform/rtl/systypes.h>
#include <fyndra/platform/rtl/variants.h>

namespace fyndra {

class TDataSet;
class TField;
class TFieldDefs;

using TFieldNotifyEvent = TEvent<void(TField* Sender)>;

// One column of a dataset's storage.
class TFieldDef : public TCollectionItem {
 public:
  const std::string& GetName() const { return Name_; }
  void SetName(const std::string& Value);
  TFieldType GetDataType() const { return DataType_; }
  void SetDataType(TFieldType Value);
  // Characters for text types, bytes for byte types, digits after the point for
  // ftBCD/ftFMTBcd; 0 for the other types. 0..MaxFieldSize, else refused.
  int GetSize() const { return Size_; }
  void SetSize(int Value);
  int GetPrecision() const { return Precision_; }
  void SetPrecision(int Value) { Precision_ = Value; }
  bool GetRequired() const { return Required_; }
  void SetRequired(bool Value) { Required_ = Value; }
  // The number by which the dataset finds the column; the position plus one
  // unless set explicitly.
  int GetFieldNo() const;
  void SetFieldNo(int Value) { FieldNo_ = Value; }

  // Creates the field component of this definition's type, named after it and
  // attached to the collection's dataset (when there is one). Owner owns it.
  TField* CreateField(TComponent* Owner);

  void Assign(TPersistent* Source) override;
  std::string GetDisplayName() const override;

 protected:
  explicit TFieldDef(TCollection* Collection);
  FYNDRA_CLASS(TFieldDef, TCollectionItem)
  friend class TFieldDefs;
 protected:

 private:
  std::string Name_;
  TFieldType DataType_ = ftUnknown;
  int Size_ = 0;
  int Precision_ = 0;
  int FieldNo_ = 0;
  bool Required_ = false;
};

class TFieldDefs : public TOwnedCollection {
 public:
  TFieldDef* GetItem(int Index) const;
  TFieldDef* AddFieldDef();
  // Raises EDatabaseError for an empty or duplicate name or a size outside
  // 0..MaxFieldSize. A text column given no size gets 20, a GUID 38.
  TFieldDef* Add(const std::string& Name, TFieldType DataType, int Size = 0, bool Required = false);
  // -1 / null / raising EDatabaseError when no definition has that name
  // (compared without regard to case).
  int IndexOf(const std::string& Name) const;
  TFieldDef* FindDef(const std::string& Name) const;
  TFieldDef* Find(const std::string& Name) const;
  TDataSet* DataSet() const;
  void Update();  // asks the dataset to read its definitions again

 protected:
  explicit TFieldDefs(TPersistent* Owner);
  FYNDRA_CLASS(TFieldDefs, TOwnedCollection)
 protected:
};

// The value and presentation of one column of the current record.
// REQUIRES for every value accessor: the field belongs to an open dataset.
class TField : public TComponent {
 public:
  TDataSet* GetDataSet() const { return DataSet_; }
  // Attaches the field to Value's field list (detaching it from its previous
  // dataset). REQUIRES: both datasets are closed.
  void SetDataSet(TDataSet* Value);

  const std::string& GetFieldName() const { return FieldName_; }
  void SetFieldName(const std::string& Value);
  TFieldType GetDataType() const { return DataType_; }
  int GetSize() const { return Size_; }
  // 0..MaxFieldSize, else refused; only while the dataset is closed.
  void SetSize(int Value);
  // Bytes of the native buffer (see the header comment); 0 for variable-size types.
  virtual int GetDataSize() const;
  int GetFieldNo() const { return FieldNo_; }
  // Position in the dataset's field list.
  int GetIndex() const;
  const std::string& GetDisplayLabel() const { return DisplayLabel_.empty() ? FieldName_ : DisplayLabel_; }
  void SetDisplayLabel(const std::string& Value);
  std::string GetDisplayName() const { return GetDisplayLabel(); }
  int GetDisplayWidth() const { return DisplayWidth_ ? DisplayWidth_ : DefaultDisplayWidth(); }
  bool IsDisplayLabelStored() const { return !DisplayLabel_.empty(); }
  bool IsDisplayWidthStored() const { return DisplayWidth_ != 0; }
  void SetDisplayWidth(int Value) { DisplayWidth_ = Value; }
  bool GetVisible() const { return Visible_; }
  void SetVisible(bool Value) { Visible_ = Value; }
  bool GetReadOnly() const { return ReadOnly_; }
  void SetReadOnly(bool Value) { ReadOnly_ = Value; }
  bool GetRequired() const { return Required_; }
  void SetRequired(bool Value) { Required_ = Value; }
  const std::string& GetEditMask() const { return EditMask_; }
  void SetEditMask(const std::string& Value) { EditMask_ = Value; }
  // Persistent fields are made by the application; default ones by the dataset.
  bool GetIsPersistent() const { return Persistent_; }

  // Null when the current record has no value in this field.
  virtual bool GetIsNull() const;
  bool IsNull() const { return GetIsNull(); }
  void Clear();  // sets Null

  virtual Variant GetAsVariant() const;
  virtual void SetAsVariant(const Variant& Value);
  virtual std::string GetAsString() const;
  virtual void SetAsString(const std::string& Value);
  virtual std::u16string GetAsWideString() const;
  virtual void SetAsWideString(const std::u16string& Value);
  virtual std::int32_t GetAsInteger() const;
  virtual void SetAsInteger(std::int32_t Value);
  virtual std::int64_t GetAsLargeInt() const;
  virtual void SetAsLargeInt(std::int64_t Value);
  virtual double GetAsFloat() const;
  virtual void SetAsFloat(double Value);
  virtual bool GetAsBoolean() const;
  virtual void SetAsBoolean(bool Value);
  virtual TDateTime GetAsDateTime() const;
  virtual void SetAsDateTime(TDateTime Value);
  virtual Currency GetAsCurrency() const;
  virtual void SetAsCurrency(Currency Value);
  virtual TBcd GetAsBCD() const;
  virtual void SetAsBCD(const TBcd& Value);
  virtual TSQLTimeStamp GetAsSQLTimeStamp() const;
  virtual void SetAsSQLTimeStamp(const TSQLTimeStamp& Value);

  // Short reading forms.
  Variant AsVariant() const { return GetAsVariant(); }
  std::string AsString() const { return GetAsString(); }
  std::int32_t AsInteger() const { return GetAsInteger(); }
  double AsFloat() const { return GetAsFloat(); }
  bool AsBoolean() const { return GetAsBoolean(); }
  TDateTime AsDateTime() const { return GetAsDateTime(); }
  Currency AsCurrency() const { return GetAsCurrency(); }

  // The text shown to a user (display format applied) and the text edited by
  // one (edit format applied; setting it parses).
  virtual std::string GetDisplayText() const;
  virtual std::string GetText() const;
  virtual void SetText(const std::string& Value) { SetAsString(Value); }

  // Native buffer exchange (see the header comment). GetData answers false
  // for Null. SetData with a null Buffer sets Null; it checks that the field
  // may be modified and runs OnValidate before the dataset takes the value.
  bool GetData(void* Buffer) const;
  void SetData(const void* Buffer);

  // Raised before a value reaches the dataset (an exception refuses it);
  // OnChange after it did.
  TFieldNotifyEvent OnValidate;
  TFieldNotifyEvent OnChange;

 protected:
  explicit TField(TComponent* Owner);
  FYNDRA_CLASS(TField, TComponent)
 public:
  void BeforeDestruction() override;
 protected:

 public:
  ~TField() override;

 protected:

  void SetDataType(TFieldType Value) { DataType_ = Value; }
  virtual int DefaultDisplayWidth() const { return 10; }
  // Raises EDatabaseError unless the dataset is in a state that takes values
  // and the field is not read-only.
  void CheckCanModify() const;
  [[noreturn]] void AccessError(const char* TypeName) const;
  [[noreturn]] void ConvertError(const char* Message, const std::string& Text) const;
  // Reads the native value into Buffer; false for Null or without a dataset.
  bool ReadNative(void* Buffer) const;

 protected:
  friend class TDataSet;
  friend class TFieldDef;
  void Detach();
  mutable std::vector<char> Scratch_;  // text buffer reused by reads
  TDataSet* DataSet_ = nullptr;
  std::string FieldName_, DisplayLabel_, EditMask_;
  TFieldType DataType_ = ftUnknown;
  int Size_ = 0;
  int FieldNo_ = 0;
  int DisplayWidth_ = 0;
  bool Visible_ = true, ReadOnly_ = false, Required_ = false, Persistent_ = true;
};

// The largest Size a field or field definition may have. A text field's
// native buffer takes StringBufferSize(Size) bytes, read into for every value,
// so texts are held to a million characters; wider or unbounded text belongs
// in a memo. Setting a larger size (or a negative one) is refused with
// EDatabaseError naming the field; the families read a declared column wider
// than this as a memo.
inline constexpr int MaxFieldSize = 1 << 20;

// Bytes of the native buffer of a text field of Size characters: UTF-8 takes
// up to four bytes a character, and one more ends the text.
constexpr int StringBufferSize(int Size) { return 4 * Size + 1; }
static_assert(StringBufferSize(MaxFieldSize) > 0, "the buffer of the widest text field must fit an int");

// The native buffer layout of the header comment, written once for every
// family: a Variant from Field's buffer, and a Variant into it (converted to
// the field's type; a value that does not convert raises the variant error).
// A text of more characters than the field's Size is refused with
// SValueTooLong, naming the field's dataset, never cut.
Variant NativeToVariant(const TField* Field, const void* Buffer);
void VariantToNative(const TField* Field, const Variant& Value, void* Buffer);
// Text into the buffer of a fixed-size text field (ftString, ftFixedChar,
// ftGuid), terminated; refused as above when it has too many characters.
void TextToNative(const TField* Field, std::string_view Text, void* Buffer);
// The same for a column of Size characters named Name, for storage that has
// no field at hand; Owner names the dataset in the message (may be null).
void TextToNative(std::string_view Text, int Size, const std::string& Name, const TComponent* Owner, void* Buffer);

// Text columns (ftString, ftFixedChar). Size counts characters (code points);
// values of more characters are refused, whatever their byte length.
class TStringField : public TField {
 public:
  int GetDataSize() const override { return StringBufferSize(GetSize()); }
  Variant GetAsVariant() const override;
  void SetAsVariant(const Variant& Value) override;
  std::string GetAsString() const override;
  void SetAsString(const std::string& Value) override;
  std::int32_t GetAsInteger() const override;
  void SetAsInteger(std::int32_t Value) override { SetAsString(IntToStr(Value)); }
  std::int64_t GetAsLargeInt() const override;
  void SetAsLargeInt(std::int64_t Value) override { SetAsString(IntToStr(Value)); }
  double GetAsFloat() const override;
  void SetAsFloat(double Value) override { SetAsString(FloatToStr(Value)); }
  bool GetAsBoolean() const override;
  void SetAsBoolean(bool Value) override;
  TDateTime GetAsDateTime() const override;
  void SetAsDateTime(TDateTime Value) override { SetAsString(DateTimeToStr(Value)); }
  Currency GetAsCurrency() const override;
  void SetAsCurrency(Currency Value) override { SetAsString(CurrToStr(Value)); }

 protected:
  explicit TStringField(TComponent* Owner);
  FYNDRA_CLASS(TStringField, TField)
 protected:
  int DefaultDisplayWidth() const override { return GetSize(); }
};

// A GUID as text "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}"; other texts are refused.
class TGuidField : public TStringField {
 public:
  void SetAsString(const std::string& Value) override;

 protected:
  explicit TGuidField(TComponent* Owner);
  FYNDRA_CLASS(TGuidField, TStringField)
 protected:
};

class TWideStringField : public TField {
 public:
  int GetDataSize() const override { return 0; }
  Variant GetAsVariant() const override;
  void SetAsVariant(const Variant& Value) override;
  std::string GetAsString() const override;
  void SetAsString(const std::string& Value) override;
  std::u16string GetAsWideString() const override;
  void SetAsWideString(const std::u16string& Value) override;

 protected:
  explicit TWideStringField(TComponent* Owner);
  FYNDRA_CLASS(TWideStringField, TField)
 protected:
};

// Numbers, with display and edit formats in FormatFloat's notation.
class TNumericField : public TField {
 public:
  const std::string& GetDisplayFormat() const { return DisplayFormat_; }
  void SetDisplayFormat(const std::string& Value) { DisplayFormat_ = Value; }
  const std::string& GetEditFormat() const { return EditFormat_; }
  void SetEditFormat(const std::string& Value) { EditFormat_ = Value; }
  std::string GetDisplayText() const override;
  std::string GetText() const override;

 protected:
  explicit TNumericField(TComponent* Owner);
  FYNDRA_CLASS(TNumericField, TField)
 protected:
  std::string FormatNumber(const std::string& Fmt) const;

 private:
  std::string DisplayFormat_, EditFormat_;
};

// ftInteger, and the narrower integers below; values outside
// [GetMinValue, GetMaxValue] are refused.
class TIntegerField : public TNumericField {
 public:
  int GetDataSize() const override { return 4; }
  Variant GetAsVariant() const override;
  void SetAsVariant(const Variant& Value) override;
  std::string GetAsString() const override;
  void SetAsString(const std::string& Value) override;
  std::int32_t GetAsInteger() const override;
  void SetAsInteger(std::int32_t Value) override;
  std::int64_t GetAsLargeInt() const override { return GetAsInteger(); }
  void SetAsLargeInt(std::int64_t Value) override;
  double GetAsFloat() const override { return GetAsInteger(); }
  void SetAsFloat(double Value) override;
  bool GetAsBoolean() const override { return GetAsInteger() != 0; }
  void SetAsBoolean(bool Value) override { SetAsInteger(Value ? 1 : 0); }
  Currency GetAsCurrency() const override { return Currency(std::int64_t(GetAsInteger())); }
  void SetAsCurrency(Currency Value) override { SetAsLargeInt(Value.ToInt64()); }
  std::int64_t GetMinValue() const { return MinValue_; }
  std::int64_t GetMaxValue() const { return MaxValue_; }
  void SetMinValue(std::int64_t Value) { MinValue_ = Value; }
  void SetMaxValue(std::int64_t Value) { MaxValue_ = Value; }

 protected:
  explicit TIntegerField(TComponent* Owner);
  FYNDRA_CLASS(TIntegerField, TNumericField)
 protected:
  void CheckRange(std::int64_t Value) const;
  std::int64_t MinValue_, MaxValue_;
};

class TSmallintField : public TIntegerField {
 public:
  int GetDataSize() const override { return 2; }
 protected:
  explicit TSmallintField(TComponent* Owner);
  FYNDRA_CLASS(TSmallintField, TIntegerField)
 protected:
};

class TWordField : public TIntegerField {
 public:
  int GetDataSize() const override { return 2; }
 protected:
  explicit TWordField(TComponent* Owner);
  FYNDRA_CLASS(TWordField, TIntegerField)
 protected:
};

// Numbered by the dataset when a record is posted without a value.
class TAutoIncField : public TIntegerField {
 protected:
  explicit TAutoIncField(TComponent* Owner);
  FYNDRA_CLASS(TAutoIncField, TIntegerField)
 protected:
};

class TLargeintField : public TNumericField {
 public:
  int GetDataSize() const override { return 8; }
  Variant GetAsVariant() const override;
  void SetAsVariant(const Variant& Value) override;
  std::string GetAsString() const override;
  void SetAsString(const std::string& Value) override;
  std::int32_t GetAsInteger() const override;
  void SetAsInteger(std::int32_t Value) override { SetAsLargeInt(Value); }
  std::int64_t GetAsLargeInt() const override;
  void SetAsLargeInt(std::int64_t Value) override;
  double GetAsFloat() const override { return double(GetAsLargeInt()); }
  void SetAsFloat(double Value) override;
  Currency GetAsCurrency() const override { return Currency(GetAsLargeInt()); }
  void SetAsCurrency(Currency Value) override { SetAsLargeInt(Value.ToInt64()); }

 protected:
  explicit TLargeintField(TComponent* Owner);
  FYNDRA_CLASS(TLargeintField, TNumericField)
 protected:
};

class TFloatField : public TNumericField {
 public:
  int GetDataSize() const override { return 8; }
  Variant GetAsVariant() const override;
  void SetAsVariant(const Variant& Value) override;
  std::string GetAsString() const override;
  void SetAsString(const std::string& Value) override;
  std::int32_t GetAsInteger() const override;
  void SetAsInteger(std::int32_t Value) override { SetAsFloat(Value); }
  std::int64_t GetAsLargeInt() const override;
  void SetAsLargeInt(std::int64_t Value) override { SetAsFloat(double(Value)); }
  double GetAsFloat() const override;
  void SetAsFloat(double Value) override;
  Currency GetAsCurrency() const override { return Currency(GetAsFloat()); }
  void SetAsCurrency(Currency Value) override { SetAsFloat(Value.ToDouble()); }

 protected:
  explicit TFloatField(TComponent* Owner);
  FYNDRA_CLASS(TFloatField, TNumericField)
 protected:
};

// A money amount held as a double (ftCurrency); shown with the currency format
// when no display format is set.
class TCurrencyField : public TFloatField {
 public:
  Variant GetAsVariant() const override;
  std::string GetDisplayText() const override;

 protected:
  explicit TCurrencyField(TComponent* Owner);
  FYNDRA_CLASS(TCurrencyField, TFloatField)
 protected:
};

// An exact amount with four decimals (ftBCD), held as Currency.
class TBCDField : public TNumericField {
 public:
  int GetDataSize() const override { return 8; }
  Variant GetAsVariant() const override;
  void SetAsVariant(const Variant& Value) override;
  std::string GetAsString() const override;
  void SetAsString(const std::string& Value) override;
  std::int32_t GetAsInteger() const override;
  void SetAsInteger(std::int32_t Value) override { SetAsCurrency(Currency(std::int64_t(Value))); }
  std::int64_t GetAsLargeInt() const override { return GetAsCurrency().ToInt64(); }
  void SetAsLargeInt(std::int64_t Value) override { SetAsCurrency(Currency(Value)); }
  double GetAsFloat() const override { return GetAsCurrency().ToDouble(); }
  void SetAsFloat(double Value) override { SetAsCurrency(Currency(Value)); }
  Currency GetAsCurrency() const override;
  void SetAsCurrency(Currency Value) override;
  TBcd GetAsBCD() const override;
  void SetAsBCD(const TBcd& Value) override;

 protected:
  explicit TBCDField(TComponent* Owner);
  FYNDRA_CLASS(TBCDField, TNumericField)
 protected:
};

// An exact decimal of up to 64 digits (ftFMTBcd), held as TBcd.
class TFMTBCDField : public TNumericField {
 public:
  int GetDataSize() const override { return int(sizeof(TBcd)); }
  Variant GetAsVariant() const override;
  void SetAsVariant(const Variant& Value) override;
  std::string GetAsString() const override;
  void SetAsString(const std::string& Value) override;
  std::int32_t GetAsInteger() const override;
  void SetAsInteger(std::int32_t Value) override { SetAsBCD(IntegerToBcd(Value)); }
  std::int64_t GetAsLargeInt() const override;
  void SetAsLargeInt(std::int64_t Value) override { SetAsBCD(IntegerToBcd(Value)); }
  double GetAsFloat() const override { return BcdToDouble(GetAsBCD()); }
  void SetAsFloat(double Value) override { SetAsBCD(DoubleToBcd(Value)); }
  Currency GetAsCurrency() const override;
  void SetAsCurrency(Currency Value) override;
  TBcd GetAsBCD() const override;
  void SetAsBCD(const TBcd& Value) override;

 protected:
  explicit TFMTBCDField(TComponent* Owner);
  FYNDRA_CLASS(TFMTBCDField, TNumericField)
 protected:
};

class TBooleanField : public TField {
 public:
  int GetDataSize() const override { return 2; }
  Variant GetAsVariant() const override;
  void SetAsVariant(const Variant& Value) override;
  std::string GetAsString() const override;
  void SetAsString(const std::string& Value) override;
  bool GetAsBoolean() const override;
  void SetAsBoolean(bool Value) override;
  std::int32_t GetAsInteger() const override { return GetAsBoolean() ? 1 : 0; }
  void SetAsInteger(std::int32_t Value) override { SetAsBoolean(Value != 0); }
  // "TrueText;FalseText": the texts shown and accepted (besides the usual ones).
  const std::string& GetDisplayValues() const { return DisplayValues_; }
  void SetDisplayValues(const std::string& Value);

 protected:
  explicit TBooleanField(TComponent* Owner);
  FYNDRA_CLASS(TBooleanField, TField)
 protected:

 private:
  std::string DisplayValues_, TrueText_ = "True", FalseText_ = "False";
};

// ftDateTime, ftDate, ftTime: a TDateTime, shown with DisplayFormat
// (FormatDateTime's notation) or the locale's format for the type.
class TDateTimeField : public TField {
 public:
  int GetDataSize() const override { return 8; }
  Variant GetAsVariant() const override;
  void SetAsVariant(const Variant& Value) override;
  std::string GetAsString() const override;
  void SetAsString(const std::string& Value) override;
  TDateTime GetAsDateTime() const override;
  void SetAsDateTime(TDateTime Value) override;
  double GetAsFloat() const override { return GetAsDateTime(); }
  void SetAsFloat(double Value) override { SetAsDateTime(Value); }
  TSQLTimeStamp GetAsSQLTimeStamp() const override { return DateTimeToSQLTimeStamp(GetAsDateTime()); }
  void SetAsSQLTimeStamp(const TSQLTimeStamp& Value) override { SetAsDateTime(SQLTimeStampToDateTime(Value)); }
  const std::string& GetDisplayFormat() const { return DisplayFormat_; }
  void SetDisplayFormat(const std::string& Value) { DisplayFormat_ = Value; }
  std::string GetDisplayText() const override;

 protected:
  explicit TDateTimeField(TComponent* Owner);
  FYNDRA_CLASS(TDateTimeField, TField)
 protected:
  std::string DefaultText(TDateTime Value) const;

 private:
  std::string DisplayFormat_;
};

class TDateField : public TDateTimeField {
 protected:
  explicit TDateField(TComponent* Owner);
  FYNDRA_CLASS(TDateField, TDateTimeField)
 protected:
};

class TTimeField : public TDateTimeField {
 protected:
  explicit TTimeField(TComponent* Owner);
  FYNDRA_CLASS(TTimeField, TDateTimeField)
 protected:
};

class TSQLTimeStampField : public TField {
 public:
  int GetDataSize() const override { return int(sizeof(TSQLTimeStamp)); }
  Variant GetAsVariant() const override;
  void SetAsVariant(const Variant& Value) override;
  std::string GetAsString() const override;
  void SetAsString(const std::string& Value) override;
  TDateTime GetAsDateTime() const override { return SQLTimeStampToDateTime(GetAsSQLTimeStamp()); }
  void SetAsDateTime(TDateTime Value) override { SetAsSQLTimeStamp(DateTimeToSQLTimeStamp(Value)); }
  TSQLTimeStamp GetAsSQLTimeStamp() const override;
  void SetAsSQLTimeStamp(const TSQLTimeStamp& Value) override;
  const std::string& GetDisplayFormat() const { return DisplayFormat_; }
  void SetDisplayFormat(const std::string& Value) { DisplayFormat_ = Value; }
  std::string GetDisplayText() const override;

 protected:
  explicit TSQLTimeStampField(TComponent* Owner);
  FYNDRA_CLASS(TSQLTimeStampField, TField)
 protected:

 private:
  std::string DisplayFormat_;
};

// Byte values of any length (ftBlob, ftGraphic, ftBytes, ftVarBytes).
class TBlobField : public TField {
 public:
  int GetDataSize() const override { return 0; }
  Variant GetAsVariant() const override;
  void SetAsVariant(const Variant& Value) override;
  std::string GetAsString() const override;
  void SetAsString(const std::string& Value) override;
  std::string GetDisplayText() const override;

 protected:
  explicit TBlobField(TComponent* Owner);
  FYNDRA_CLASS(TBlobField, TField)
 protected:
};

// Text of any length (ftMemo, ftFmtMemo).
class TMemoField : public TBlobField {
 public:
  std::string GetDisplayText() const override { return GetAsString(); }

 protected:
  explicit TMemoField(TComponent* Owner);
  FYNDRA_CLASS(TMemoField, TBlobField)
 protected:
};

// The field class that holds values of Type; null for a type without one.
TClass FieldClassOf(TFieldType Type);
// True for the text types ftString, ftMemo, ftFmtMemo, ftFixedChar, ftWideString.
bool FieldTypeIsText(TFieldType Type);

// The fields of a dataset in order. Does not own them (see the header comment).
class TFields {
 public:
  explicit TFields(TDataSet* DataSet) : DataSet_(DataSet) {}
  int Count() const { return int(List_.size()); }
  TField* GetField(int Index) const;
  TField* operator[](int Index) const { return GetField(Index); }
  TField* FindField(const std::string& FieldName) const;
  TField* FieldByName(const std::string& FieldName) const;  // raises
  int IndexOf(const TField* Field) const;
  TDataSet* DataSet() const { return DataSet_; }
  auto begin() const { return List_.begin(); }
  auto end() const { return List_.end(); }

 private:
  friend class TDataSet;
  friend class TField;
  void Add(TField* Field) { List_.push_back(Field); }
  void Remove(TField* Field);
  TDataSet* DataSet_;
  std::vector<TField*> List_;
};

}  // namespace fyndra
