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
// Inherited forms. A form whose class derives from the class of another
// form is saved as `inherited Name: TClass`: only what differs from the
// ancestor form. Reading it reads the ancestor's form text first (and that
// one's ancestors, when it is inherited too), then the descendant's text
// overrides properties and adds components; `inherited Child: TClass`
// blocks change components the ancestor made, and an order index `[n]` puts
// a child at position n among its parent's children (SetChildOrder). The
// ancestor's text is found by class name (the class registry gives the
// ancestry) in a TFormResources registry, then as a form file (*.dfm) whose
// header names that class in the folders the options list; reading a file
// adds the file's own folder. A frame (`inline Frame1: TFrame1`) is a
// component with a form text of its own: it is created, its text read into
// it (its components are its own), then the inline block overrides them
// like an inherited form. A form that holds nothing the reader can resolve
// (no ancestor text, a frame without text) is refused, naming the line.
//
// Writing. When the options (or the registry) hold a form text of an
// ancestor class of the root, the root is written as an inherited form: each
// property is compared with a fresh instance of the root's class that has
// read the ancestor texts, and only what differs is written (a property
// back at its default is written when the ancestor's is not). A component
// with csInline is written as an `inline` block that holds only what differs
// from a fresh frame. A component or frame child the ancestor has but the
// form lost cannot be written (the reader would bring it back): EWriteError.
// Given the text the form was read from (TFormTextOptions::Original), the
// writer keeps that text's spelling of every value that did not change, its
// order of properties, its byte order mark, and the inherited blocks and
// order indexes it had; so an unchanged form gives back the same bytes apart
// from line ends.
//
// TReader and TWriter live only for one call of the functions below; a
// DefineProperties override receives them through TFiler and reads or writes
// exactly one value (or one list) in its procedure.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <fyndra/platform/classes/classes.h>
#include <fyndra/platform/rtl/variants.h>
#include <fyndra/platform/streaming/dfmtext.h>

namespace fyndra {

// Form texts by class name: where the reader finds the text of an ancestor
// form or of a frame. Safe to use from several threads.
class TFormResources {
 public:
  TFormResources() = default;
  TFormResources(const TFormResources&) = delete;
  TFormResources& operator=(const TFormResources&) = delete;

  // Registers Text as the form text of the class ClassName (names compare
  // without regard to case), replacing an earlier one.
  void Add(std::string_view ClassName, std::string Text);
  void Add(TClass Class, std::string Text) { Add(Class->Name, std::move(Text)); }
  void Remove(std::string_view ClassName);
  void Clear();
  // The text registered for ClassName, if any.
  std::optional<std::string> Find(std::string_view ClassName) const;

 private:
  mutable std::mutex Lock_;
  std::map<std::string, std::string> Texts_;  // by folded class name
};

// The application's registry, used when the options name none.
TFormResources& FormResources();

struct TFormTextOptions {
  // The code page of form text saved in an 8-bit encoding without a byte
  // order mark (see TDfmReadOptions); applies to ancestor and frame texts
  // read from files and to Original too.
  std::string CodePage;
  // Where ancestor and frame texts are registered; null: FormResources().
  const TFormResources* Resources = nullptr;
  // Folders searched, in order, for form files of ancestors and frames.
  std::vector<std::string> Folders;
  // Writing only: the text the form was read from (empty: none). Values that
  // did not change keep its spelling; its header decides whether the root is
  // written as an inherited form.
  std::string Original;
};

// The text of Root and the components it owns.
std::string WriteComponentToText(TComponent* Root, const TFormTextOptions& Options = {});
// Creates the root by the class the text names, owned by Owner (may be null:
// the caller then frees it), and reads the text into it.
TComponent* ReadComponentFromText(const std::string& Text, TComponent* Owner = nullptr,
                                  const TFormTextOptions& Options = {});
// As ReadComponentFromText, from text parsed already (ParseDfmText, with
// the code page of Options), so that a caller can look at or adjust the tree
// first; errors name the lines the tree carries.
TComponent* ReadComponentFromTree(const TDfmObject& Tree, TComponent* Owner = nullptr,
                                  const TFormTextOptions& Options = {});
// Reads the text into an existing Root; the text's class must be Root's class
// or one of its ancestors. Components Root already owns are reused when the
// text names them with their class.
void ReadComponentTextInto(const std::string& Text, TComponent* Root, const TFormTextOptions& Options = {});
// Reads the form file Path (its folder is searched for ancestor and frame
// texts after Options.Folders). Raises EReadError naming the file when it
// cannot be read; errors in its text name the line.
TComponent* ReadComponentFromFile(const std::string& Path, TComponent* Owner = nullptr,
                                  const TFormTextOptions& Options = {});
// Reads the form text of Instance's class (the nearest class of its
// ancestry that has one, with that text's own ancestors) into Instance, as
// the constructor of a form or frame class does. Returns false, changing
// nothing, when no class of its ancestry has a form text.
bool ReadComponentResource(TComponent* Instance, const TFormTextOptions& Options = {});

class TFormTexts;

class TReader : public TFiler {
 public:
  explicit TReader(const TFormTextOptions& Options = {});
  ~TReader() override;
  TReader(const TReader&) = delete;
  TReader& operator=(const TReader&) = delete;

  // Parses Text and reads it into Root, or into a new root owned by Owner when
  // Root is null. Returns the root.
  TComponent* ReadRootComponent(const std::string& Text, TComponent* Root, TComponent* Owner);
  TComponent* ReadRootComponent(const TDfmObject& Tree, TComponent* Root, TComponent* Owner);
  // Reads into Instance the form text of the nearest class from From up its
  // ancestry that has one (with that text's ancestors). False, changing
  // nothing, when none has.
  bool ReadResource(TComponent* Instance, TClass From);
  // Whether a class from From up its ancestry has a form text.
  bool HasFormText(TClass From);

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
    TComponent* Scope;  // the form whose components the name is looked up in
  };
  struct TListCursor {
    const TDfmValue* List;
    std::size_t Next;
  };
  // Where the objects of a block go and where their names are found.
  struct TScope {
    TComponent* Owner;      // owns what `object` and `inline` blocks create
    TComponent* Lookup;     // holds what `inherited` blocks name: the form, or a frame
    TComponent* Enclosing;  // the component whose block it is (order indexes)
  };

  // Runs Read as one loading pass over Root: loading flags, references and
  // Loaded at the end; on failure frees what it made and clears the flags.
  template <class F>
  void Load(TComponent* Root, TComponent* CreatedRoot, F&& Read);
  void Enter(TComponent* Component);
  void ReadForm(TComponent* Form, const TDfmObject& Tree, TClass TextClass);
  bool ReadAncestorTexts(TComponent* Form, TClass From, int Line);
  TComponent* ReadObject(const TDfmObject& Obj, const TScope& Scope);
  TComponent* CreateChild(const TDfmObject& Obj, TComponent* Owner);
  void ReadProperties(TObject* Instance, const std::vector<TDfmProperty>& Props);
  void ReadProperty(TObject* Instance, const TDfmProperty& Prop);
  void ReadPublished(TObject* Instance, PPropInfo Info, const TDfmProperty& Prop);
  void ReadCollection(TCollection* Collection, const TDfmProperty& Prop);
  void ReadStrings(TStrings* Strings, const TDfmProperty& Prop);
  bool ReadDefined(TObject* Instance, const std::string& Name, const TDfmProperty& Prop);
  void ResolveFixups();
  const TDfmValue& NextValue(const char* Expected);
  [[noreturn]] void Error(int Line, const std::string& Expected) const;

  std::unique_ptr<TFormTexts> Texts_;
  std::vector<TComponent*> Loading_;  // creation order, root first
  std::set<TComponent*> Entered_;     // the same, to look up
  std::vector<TComponent*> Created_;  // made by the reader, freed on failure
  std::set<TComponent*> CreatedSet_;
  std::set<TComponent*>* Seen_ = nullptr;  // components named by the text being read
  std::vector<TClass> ReadingTexts_;       // classes whose texts are being read (a frame inside itself)
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
  explicit TWriter(const TFormTextOptions& Options = {});
  ~TWriter() override;
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
  TDfmObject WriteObject(TComponent* Component, TComponent* Ancestor, TDfmObjectKind Kind, const TDfmObject* Original);
  void WriteChildren(TComponent* Parent, TComponent* Ancestor, const TDfmObject* Original, bool InFrame,
                     TDfmObject& Out);
  void CheckAncestorKept();
  TComponent* Fresh(TClass Class, TClass From, const std::string& What);
  bool HasFormText(TClass From);
  void WriteProperties(TObject* Instance, TObject* Ancestor, const std::string& Prefix, std::vector<TDfmProperty>& Out);
  void WriteDefined(TPersistent* Instance, TPersistent* Ancestor, const std::string& Prefix,
                    std::vector<TDfmProperty>& Out);
  void CaptureDefined(TPersistent* Instance, const std::string& Prefix, const std::set<std::string>& Forced,
                      std::vector<TDfmProperty>& Out);
  void WritePublished(TObject* Instance, TObject* Ancestor, PPropInfo Info, const std::string& Prefix,
                      std::vector<TDfmProperty>& Out);
  bool ValueOf(TObject* Instance, PPropInfo Info, const std::string& Name, TDfmValue& Out);
  TDfmValue ReferenceValue(TComponent* Component, const std::string& PropName) const;
  TDfmValue MethodValue(const TMethod& Method) const;
  std::string ReferenceName(TComponent* Component, const std::string& PropName) const;
  void Put(TDfmValue Value);

  TFormTextOptions Options_;
  TReader Ancestors_;  // reads ancestor and frame texts into fresh instances
  std::vector<TOwned<TComponent>> Fresh_;
  std::vector<TComponent*> Marked_;  // components marked csWriting
  // Comparing with an ancestor: references and methods are named within
  // Naming_ (the form or frame being written, or its ancestor), or, outside
  // it, within NamingRoot_ (the root of that side) instead of being written.
  TComponent* Naming_ = nullptr;
  TComponent* NamingRoot_ = nullptr;
  TComponent* Scope_ = nullptr;          // the form or frame being written
  TComponent* AncestorScope_ = nullptr;  // its ancestor
  TComponent* AncestorRoot_ = nullptr;   // the root of the ancestor's side
  std::vector<TComponent*>* Written_ = nullptr;  // the components of Scope_ written so far
  // Where DefineProperties' values go while a write procedure runs.
  std::vector<TDfmProperty>* DefinedOut_ = nullptr;
  std::string DefinedPrefix_;
  std::string DefinedName_;
  const std::set<std::string>* Forced_ = nullptr;  // written even without data
  bool DefinedWritten_ = false;
  bool InProc_ = false;
  std::vector<TDfmValue> Lists_;  // lists opened by WriteListBegin
};

namespace filer_detail {
// A component published as a property of its owner: its properties are
// streamed with the owner's, under the property's name.
bool IsSubComponentOf(TObject* Obj, TObject* Instance);
}  // namespace filer_detail

}  // namespace fyndra
