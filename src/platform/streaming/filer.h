// Form streaming: TWriter turns a root component and the components it owns
// into DFM text, TReader builds components from such text.
//
// What is written. A component is `object Name: TClass ... end` with the
// components it owns (GetChildren) nested inside; every published property
// whose stored-test allows it and whose value is not its default, in published
// order; then the properties its DefineProperties declares. Property values:
//  - integers and 64-bit integers as decimal numbers, characters as strings;
//  - enumerations and booleans as identifiers, sets as [a, b];
//  - floats in their shortest exact form (see dfmtext.h);
//  - texts as quoted strings (dfmtext.h tells how UTF-8 maps to #nnn codes);
//    a wide text with an unpaired surrogate raises EWriteError, since no
//    form text reads back as it;
//  - variants by their value: Null as `Null`, integers, floats (currency and
//    dates too), booleans, texts; they read back as integer, double, boolean
//    or text variants;
//  - a sub-object (TPersistent) as its own properties with a dotted prefix
//    (`Options.AutoUpdate = False`); a TStrings as `Lines.Strings = ('a' 'b')`;
//  - a collection as `Items = < item ... end >` (an empty one is not written);
//  - a component reference as the name of a component the root owns (or the
//    root's own name); a reference that leaves the root raises EWriteError,
//    since it could not be read back;
//  - an event as the name of a published method of the root (published with
//    TPublisher::Method in the root's class). A handler that is not such a
//    method (a lambda, a method of another object) is installed by code at
//    run time and is not part of the form, so it is not written.
//
// Reading. The text is parsed first (EParserError, nothing created). Then the
// root (created by its registered class, or the one given) and every object of
// the text, all owned by the root, are created and marked csLoading and
// csReading; properties are set in text order; component references are
// resolved when the whole text has been read (so they may point forward);
// finally Loaded runs on each component in creation order, which clears the
// flags. A property or a component named twice in one object is refused, as
// is a dotted name that passes through a reference instead of a sub-object.
// Any error raises EReadError "line N: expected ..." (EParserError is
// one) and frees every component the reader created, the root too when the
// reader made it; a root given by the caller keeps the properties already set.
//
// TReader and TWriter live only for one call of the functions below; a
// DefineProperties override receives them through TFiler and reads or writes
// exactly one value (or one list) in its procedure.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <fyndra/platform/classes/classes.h>
#include <fyndra/platform/rtl/variants.h>
#include <fyndra/platform/streaming/dfmtext.h>

namespace fyndra {

// The text of Root and the components it owns.
std::string WriteComponentToText(TComponent* Root);
// Creates the root by the class the text names, owned by Owner (may be null:
// the caller then frees it), and reads the text into it.
TComponent* ReadComponentFromText(const std::string& Text, TComponent* Owner = nullptr);
// As ReadComponentFromText, from text parsed already (ParseDfmText), so that
// a caller can look at or adjust the tree first; errors name the lines the
// tree carries.
TComponent* ReadComponentFromTree(const TDfmObject& Tree, TComponent* Owner = nullptr);
// Reads the text into an existing Root; the text's class must be Root's class
// or one of its ancestors. Components Root already owns are reused when the
// text names them with their class.
void ReadComponentTextInto(const std::string& Text, TComponent* Root);

class TReader : public TFiler {
 public:
  TReader() = default;
  TReader(const TReader&) = delete;
  TReader& operator=(const TReader&) = delete;

  // Parses Text and reads it into Root, or into a new root owned by Owner when
  // Root is null. Returns the root.
  TComponent* ReadRootComponent(const std::string& Text, TComponent* Root, TComponent* Owner);
  TComponent* ReadRootComponent(const TDfmObject& Tree, TComponent* Root, TComponent* Owner);

  void DefineProperty(const std::string& Name, const TReaderProc& ReadData, const TWriterProc& WriteData,
                      bool HasData) override;
  void DefineBinaryProperty(const std::string& Name, const TStreamReadProc& ReadData,
                            const TStreamWriteProc& WriteData, bool HasData) override;

  // Inside a DefineProperty read procedure: the value of the property (or the
  // next element of the list opened by ReadListBegin). Each raises EReadError
  // naming the line when the value is of another kind or out of range.
  std::string ReadString();
  std::u16string ReadWideString();
  std::int32_t ReadInteger();
  std::int64_t ReadInt64();
  double ReadFloat();
  bool ReadBoolean();
  std::string ReadIdent();
  Variant ReadVariant();
  void ReadListBegin();
  // Whether the list opened last has no more elements.
  bool EndOfList();
  // REQUIRES: EndOfList().
  void ReadListEnd();
  // The line of the value being read, for messages of DefineProperties.
  int GetLine() const;

 private:
  struct TFixup {
    TObject* Instance;
    PPropInfo Prop;
    std::string Name;
    int Line;
  };
  struct TListCursor {
    const TDfmValue* List;
    std::size_t Next;
  };

  TComponent* ReadObject(const TDfmObject& Obj);
  void ReadProperties(TObject* Instance, const std::vector<TDfmProperty>& Props);
  void ReadProperty(TObject* Instance, const TDfmProperty& Prop);
  void ReadPublished(TObject* Instance, PPropInfo Info, const TDfmProperty& Prop);
  void ReadCollection(TCollection* Collection, const TDfmProperty& Prop);
  void ReadStrings(TStrings* Strings, const TDfmProperty& Prop);
  bool ReadDefined(TObject* Instance, const std::string& Name, const TDfmProperty& Prop);
  void ResolveFixups();
  const TDfmValue& NextValue(const char* Expected);
  [[noreturn]] void Error(int Line, const std::string& Expected) const;

  std::vector<TComponent*> Loading_;  // creation order, root first
  std::vector<TComponent*> Created_;  // made by the reader, freed on failure
  std::vector<TFixup> Fixups_;
  // The property that DefineProperties is asked about, and its value.
  std::string DefinedName_;
  const TDfmProperty* DefinedProp_ = nullptr;
  bool DefinedFound_ = false;
  bool ValueTaken_ = false;
  std::vector<TListCursor> Lists_;
};

class TWriter : public TFiler {
 public:
  TWriter() = default;
  TWriter(const TWriter&) = delete;
  TWriter& operator=(const TWriter&) = delete;

  // The text of Root and its children.
  std::string WriteRootComponent(TComponent* Root);

  void DefineProperty(const std::string& Name, const TReaderProc& ReadData, const TWriterProc& WriteData,
                      bool HasData) override;
  void DefineBinaryProperty(const std::string& Name, const TStreamReadProc& ReadData,
                            const TStreamWriteProc& WriteData, bool HasData) override;

  // Inside a DefineProperty write procedure: the value of the property, or the
  // next element of the list opened by WriteListBegin. Raise EWriteError when
  // called outside such a procedure or for a second value outside a list.
  void WriteString(std::string_view Value);
  void WriteWideString(const std::u16string& Value);
  void WriteInteger(std::int64_t Value);
  void WriteFloat(double Value);
  void WriteBoolean(bool Value);
  void WriteIdent(std::string_view Value);
  // Empty writes Unassigned, which reads back as an empty variant.
  void WriteVariant(const Variant& Value);
  void WriteListBegin();
  void WriteListEnd();

 private:
  TDfmObject WriteObject(TComponent* Component);
  void WriteProperties(TObject* Instance, const std::string& Prefix, std::vector<TDfmProperty>& Out);
  bool WritePublished(TObject* Instance, PPropInfo Info, const std::string& Prefix, std::vector<TDfmProperty>& Out);
  std::string ReferenceName(TComponent* Component, const std::string& PropName) const;
  void Put(TDfmValue Value);

  // Where DefineProperties' values go while a write procedure runs.
  std::vector<TDfmProperty>* DefinedOut_ = nullptr;
  std::string DefinedPrefix_;
  std::string DefinedName_;
  bool DefinedWritten_ = false;
  bool InProc_ = false;
  std::vector<TDfmValue> Lists_;  // lists opened by WriteListBegin
};

}  // namespace fyndra
