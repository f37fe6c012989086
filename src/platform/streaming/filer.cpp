#include <fyndra/platform/streaming/filer.h>

#include <bit>
#include <cmath>
#include <limits>
#include <set>
#include <utility>

#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {

namespace {

bool SameText(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (std::size_t I = 0; I < A.size(); ++I) {
    char X = A[I], Y = B[I];
    if (X >= 'A' && X <= 'Z') X = static_cast<char>(X - 'A' + 'a');
    if (Y >= 'A' && Y <= 'Z') Y = static_cast<char>(Y - 'A' + 'a');
    if (X != Y) return false;
  }
  return true;
}

std::string Lower(std::string_view S) {
  std::string R(S);
  for (char& C : R)
    if (C >= 'A' && C <= 'Z') C = static_cast<char>(C - 'A' + 'a');
  return R;
}

std::vector<std::string> SplitDots(const std::string& Name) {
  std::vector<std::string> Parts;
  std::size_t Start = 0;
  for (;;) {
    const std::size_t Dot = Name.find('.', Start);
    Parts.push_back(Name.substr(Start, Dot - Start));
    if (Dot == std::string::npos) return Parts;
    Start = Dot + 1;
  }
}

std::string Describe(const TDfmValue& V) {
  switch (V.Kind) {
    case TDfmValueKind::Integer: return "number " + std::to_string(V.Int);
    case TDfmValueKind::Float: return "number " + DfmFormatFloat(V.Float);
    case TDfmValueKind::String: return "a string";
    case TDfmValueKind::Ident: return "'" + V.Text + "'";
    case TDfmValueKind::Set: return "a set";
    case TDfmValueKind::List: return "a list";
    case TDfmValueKind::Binary: return "binary data";
    case TDfmValueKind::Collection: return "a collection";
  }
  return "?";
}

// The float an identifier stands for (INF, -INF, NAN), if any.
bool IdentFloat(const TDfmValue& V, double& Out) {
  if (V.Kind != TDfmValueKind::Ident) return false;
  if (V.Text == "INF") {
    Out = std::numeric_limits<double>::infinity();
  } else if (V.Text == "-INF") {
    Out = -std::numeric_limits<double>::infinity();
  } else if (V.Text == "NAN") {
    Out = std::numeric_limits<double>::quiet_NaN();
  } else {
    return false;
  }
  return true;
}

// The form text of a wide text. An unpaired surrogate has no UTF-8 form: it
// would be written as U+FFFD and read back changed, so it is refused.
std::string WideFormText(std::u16string_view S, const std::string& What) {
  for (std::size_t I = 0; I < S.size(); ++I) {
    const char16_t C = S[I];
    if (C >= 0xD800 && C <= 0xDBFF && I + 1 < S.size() && S[I + 1] >= 0xDC00 && S[I + 1] <= 0xDFFF) {
      ++I;
    } else if (C >= 0xD800 && C <= 0xDFFF) {
      throw EWriteError(What + " holds an unpaired surrogate #" + std::to_string(static_cast<int>(C)) +
                        ", which cannot be written to a form");
    }
  }
  return Utf16ToUtf8(S);
}

// How a variant is written; see the header for what reads back.
TDfmValue VariantToValue(const Variant& V) {
  if (V.IsArray()) throw EWriteError("Variant arrays cannot be written to a form");
  switch (V.VarType() & varTypeMask) {
    case varEmpty: return TDfmValue::OfIdent("Unassigned");
    case varNull: return TDfmValue::OfIdent("Null");
    case varSmallint:
    case varInteger:
    case varShortInt:
    case varByte:
    case varWord:
    case varLongWord:
    case varInt64: return TDfmValue::OfInteger(V.AsInt64());
    case varSingle:
    case varDouble:
    case varCurrency:
    case varDate: return TDfmValue::OfFloat(V.AsDouble());
    case varBoolean: return TDfmValue::OfIdent(V.AsBoolean() ? "True" : "False");
    case varOleStr: return TDfmValue::OfString(WideFormText(V.RawWideString(), "A variant"));
    default: return TDfmValue::OfString(V.AsString());
  }
}

// The variant a value stands for; false when it stands for none.
bool ValueToVariant(const TDfmValue& V, Variant& Out) {
  double D = 0;
  switch (V.Kind) {
    case TDfmValueKind::Integer:
      if (V.Int >= std::numeric_limits<std::int32_t>::min() && V.Int <= std::numeric_limits<std::int32_t>::max())
        Out = Variant(static_cast<std::int32_t>(V.Int));
      else
        Out = Variant(V.Int);
      return true;
    case TDfmValueKind::Float: Out = Variant(V.Float); return true;
    case TDfmValueKind::String: Out = Variant(V.Text); return true;
    case TDfmValueKind::Ident:
      if (SameText(V.Text, "True")) {
        Out = Variant(true);
      } else if (SameText(V.Text, "False")) {
        Out = Variant(false);
      } else if (SameText(V.Text, "Null")) {
        Out = Null();
      } else if (SameText(V.Text, "Unassigned")) {
        Out = Variant();
      } else if (IdentFloat(V, D)) {
        Out = Variant(D);
      } else {
        return false;
      }
      return true;
    default: return false;
  }
}

// A component published as a property of its owner: its properties are
// streamed with the owner's, under the property's name.
bool IsSubComponentOf(TObject* Obj, TObject* Instance) {
  auto* C = dynamic_cast<TComponent*>(Obj);
  return C && C->GetComponentStyle().Contains(csSubComponent) && C->Owner() == Instance;
}

}  // namespace

// ---------------------------------------------------------------------------
// Free functions

std::string WriteComponentToText(TComponent* Root) {
  if (!Root) throw EWriteError("No component to write");
  TWriter Writer;
  return Writer.WriteRootComponent(Root);
}

TComponent* ReadComponentFromText(const std::string& Text, TComponent* Owner) {
  TReader Reader;
  return Reader.ReadRootComponent(Text, nullptr, Owner);
}

TComponent* ReadComponentFromTree(const TDfmObject& Tree, TComponent* Owner) {
  TReader Reader;
  return Reader.ReadRootComponent(Tree, nullptr, Owner);
}

void ReadComponentTextInto(const std::string& Text, TComponent* Root) {
  if (!Root) throw EReadError("No component to read into");
  TReader Reader;
  Reader.ReadRootComponent(Text, Root, nullptr);
}

// ---------------------------------------------------------------------------
// TReader

void TReader::Error(int Line, const std::string& Expected) const {
  throw EReadError("line " + std::to_string(Line) + ": expected " + Expected);
}

TComponent* TReader::ReadRootComponent(const std::string& Text, TComponent* Root, TComponent* Owner) {
  return ReadRootComponent(ParseDfmText(Text), Root, Owner);
}

TComponent* TReader::ReadRootComponent(const TDfmObject& Tree, TComponent* Root, TComponent* Owner) {
  TComponent* CreatedRoot = nullptr;
  // Undo on failure: no component the reader made survives, no flag stays set.
  auto Abandon = [&] {
    for (TComponent* C : Loading_) {
      C->ExcludeState(csReading);
      C->ExcludeState(csLoading);
    }
    for (auto It = Created_.rbegin(); It != Created_.rend(); ++It) Free(*It);
    Created_.clear();
    Loading_.clear();
    Fixups_.clear();
    if (CreatedRoot) Free(CreatedRoot);
  };
  try {
    if (Root) {
      bool Matches = false;
      for (TClass C = Root->ClassType(); C && !Matches; C = C->Parent) Matches = SameText(C->Name, Tree.ClassName);
      if (!Matches) Error(Tree.Line, "class " + Root->ClassName() + " or an ancestor of it, found '" + Tree.ClassName + "'");
    } else {
      const TClass Class = GetClass(Tree.ClassName);
      if (!Class) Error(Tree.Line, "a registered class name, found '" + Tree.ClassName + "'");
      if (!Class->InheritsFrom(TComponent::StaticClass()))
        Error(Tree.Line, "a component class, found '" + Tree.ClassName + "'");
      try {
        CreatedRoot = CreateComponent(Class, Owner);
      } catch (const EReadError&) {
        throw;
      } catch (const Exception& E) {
        Error(Tree.Line, "a class that can be created, found '" + Tree.ClassName + "': " + E.Message());
      }
      Root = CreatedRoot;
    }
    SetRoot(Root);
    Loading_.push_back(Root);
    Root->BeginLoading();
    if (!Tree.Name.empty() && Root->GetName() != Tree.Name) {
      try {
        Root->SetName(Tree.Name);
      } catch (const Exception& E) {
        Error(Tree.Line, "a valid component name, found '" + Tree.Name + "': " + E.Message());
      }
    }
    ReadProperties(Root, Tree.Properties);
    for (const TDfmObject& Child : Tree.Children) ReadObject(Child);
    ResolveFixups();
    for (TComponent* C : Loading_) C->EndReading();
    for (TComponent* C : Loading_) C->EndLoading();
  } catch (...) {
    Abandon();
    throw;
  }
  Created_.clear();
  Loading_.clear();
  return Root;
}

TComponent* TReader::ReadObject(const TDfmObject& Obj) {
  TComponent* Root = GetRoot();
  TComponent* Component = nullptr;
  if (!Obj.Name.empty()) {
    if (TComponent* Existing = Root->FindComponent(Obj.Name)) {
      for (TComponent* C : Loading_)
        if (C == Existing) Error(Obj.Line, "each component once, found '" + Obj.Name + "' again");
      if (!SameText(Existing->ClassName(), Obj.ClassName))
        Error(Obj.Line, "class " + Existing->ClassName() + " for the existing component '" + Obj.Name + "', found '" +
                            Obj.ClassName + "'");
      Component = Existing;
    }
  }
  if (!Component) {
    const TClass Class = GetClass(Obj.ClassName);
    if (!Class) Error(Obj.Line, "a registered class name, found '" + Obj.ClassName + "'");
    if (!Class->InheritsFrom(TComponent::StaticClass()))
      Error(Obj.Line, "a component class, found '" + Obj.ClassName + "'");
    try {
      Component = CreateComponent(Class, Root);
    } catch (const Exception& E) {
      Error(Obj.Line, "a class that can be created, found '" + Obj.ClassName + "': " + E.Message());
    }
    Created_.push_back(Component);
  }
  Loading_.push_back(Component);
  Component->BeginLoading();
  if (!Obj.Name.empty() && Component->GetName() != Obj.Name) {
    try {
      Component->SetName(Obj.Name);
    } catch (const Exception& E) {
      Error(Obj.Line, "a valid and unique component name, found '" + Obj.Name + "': " + E.Message());
    }
  }
  ReadProperties(Component, Obj.Properties);
  // Nested objects belong to the root as well.
  for (const TDfmObject& Child : Obj.Children) ReadObject(Child);
  return Component;
}

void TReader::ReadProperties(TObject* Instance, const std::vector<TDfmProperty>& Props) {
  std::set<std::string> Seen;
  for (const TDfmProperty& P : Props) {
    if (!Seen.insert(Lower(P.Name)).second) Error(P.Line, "each property once, found '" + P.Name + "' again");
    ReadProperty(Instance, P);
  }
}

void TReader::ReadProperty(TObject* Instance, const TDfmProperty& Prop) {
  const std::vector<std::string> Parts = SplitDots(Prop.Name);
  TObject* Target = Instance;
  for (std::size_t I = 0; I + 1 < Parts.size(); ++I) {
    const PPropInfo Info = GetPropInfo(Target, Parts[I]);
    if (!Info || Info->Kind() != tkClass)
      Error(Prop.Line, "a property of " + Target->ClassName() + " that holds an object, found '" + Parts[I] + "'");
    TObject* Sub = GetObjectProp(Target, Info);
    if (!dynamic_cast<TPersistent*>(Sub) || (dynamic_cast<TComponent*>(Sub) && !IsSubComponentOf(Sub, Target)))
      Error(Prop.Line, "an object owned by property " + Parts[I] + ", found " + (Sub ? "a reference to a component" : "none"));
    Target = Sub;
  }
  const std::string& Last = Parts.back();
  if (auto* Strings = dynamic_cast<TStrings*>(Target); Strings && Parts.size() > 1 && SameText(Last, "Strings")) {
    ReadStrings(Strings, Prop);
    return;
  }
  if (const PPropInfo Info = GetPropInfo(Target, Last)) {
    ReadPublished(Target, Info, Prop);
    return;
  }
  if (ReadDefined(Target, Last, Prop)) return;
  Error(Prop.Line, "a property of " + Target->ClassName() + ", found '" + Prop.Name + "'");
}

void TReader::ReadPublished(TObject* Instance, PPropInfo Info, const TDfmProperty& Prop) {
  const TDfmValue& V = Prop.Value;
  const PTypeInfo Type = Info->PropType;
  auto Bad = [&](const std::string& What) { Error(V.Line, What + " for property " + Prop.Name + ", found " + Describe(V)); };
  try {
    switch (Info->Kind()) {
      case tkInteger:
      case tkInt64:
      case tkChar:
      case tkWChar:
        if ((Info->Kind() == tkChar || Info->Kind() == tkWChar) && V.Kind == TDfmValueKind::String) {
          SetStrProp(Instance, Info, V.Text);
          break;
        }
        if (V.Kind != TDfmValueKind::Integer) Bad("an integer");
        if (Info->Kind() != tkInt64 && (V.Int < Type->MinValue || V.Int > Type->MaxValue))
          Bad("an integer from " + std::to_string(Type->MinValue) + " to " + std::to_string(Type->MaxValue));
        SetOrdProp(Instance, Info, V.Int);
        break;
      case tkEnumeration: {
        if (V.Kind != TDfmValueKind::Ident) Bad("a value of " + Type->Name);
        const int Ord = GetEnumValue(Type, V.Text);
        if (Ord < 0) Bad("a value of " + Type->Name);
        SetOrdProp(Instance, Info, Ord);
        break;
      }
      case tkSet: {
        if (V.Kind != TDfmValueKind::Set) Bad("a set of " + Type->CompType->Name);
        std::uint64_t Mask = 0;
        for (const std::string& Name : V.Names) {
          const int Ord = GetEnumValue(Type->CompType, Name);
          if (Ord < 0 || Ord >= 64)
            Error(V.Line, "an element of " + Type->CompType->Name + " for property " + Prop.Name + ", found '" + Name + "'");
          Mask |= std::uint64_t{1} << Ord;
        }
        SetOrdProp(Instance, Info, static_cast<std::int64_t>(Mask));
        break;
      }
      case tkFloat: {
        double D = 0;
        if (V.Kind == TDfmValueKind::Float) {
          D = V.Float;
        } else if (V.Kind == TDfmValueKind::Integer) {
          D = static_cast<double>(V.Int);
        } else if (!IdentFloat(V, D)) {
          Bad("a number");
        }
        SetFloatProp(Instance, Info, D);
        break;
      }
      case tkString:
      case tkLString:
      case tkWString:
        if (V.Kind != TDfmValueKind::String) Bad("a string");
        SetStrProp(Instance, Info, V.Text);
        break;
      case tkVariant: {
        Variant Value;
        if (!ValueToVariant(V, Value)) Bad("a number, string, True, False, Null or Unassigned");
        SetVariantProp(Instance, Info, Value);
        break;
      }
      case tkClass:
        if (V.Kind == TDfmValueKind::Ident) {
          if (!Type->ClassType || !Type->ClassType->InheritsFrom(TComponent::StaticClass()))
            Bad("the properties of the object");
          if (!Info->IsWritable()) Bad("a property that can be written");
          Fixups_.push_back({Instance, Info, V.Text, V.Line});
        } else if (V.Kind == TDfmValueKind::Collection) {
          auto* Collection = dynamic_cast<TCollection*>(GetObjectProp(Instance, Info));
          if (!Collection) Bad("a component name");
          ReadCollection(Collection, Prop);
        } else {
          Bad("a component name or a collection");
        }
        break;
      case tkMethod: {
        if (V.Kind != TDfmValueKind::Ident) Bad("a method name");
        TMethod M;
        if (!SameText(V.Text, "nil")) {
          M = MethodAddress(GetRoot(), V.Text);
          if (M.IsNull())
            Error(V.Line, "a published method of " + GetRoot()->ClassName() + " for property " + Prop.Name + ", found '" +
                              V.Text + "'");
        }
        SetMethodProp(Instance, Info, M);
        break;
      }
      default:
        Error(Prop.Line, "a property that can be streamed, found '" + Prop.Name + "'");
    }
  } catch (const EReadError&) {
    throw;
  } catch (const Exception& E) {
    Error(V.Line, "a valid value for property " + Prop.Name + ": " + E.Message());
  }
}

void TReader::ReadCollection(TCollection* Collection, const TDfmProperty& Prop) {
  // References waiting for items that Clear frees would be left dangling.
  std::erase_if(Fixups_, [Collection](const TFixup& F) {
    for (int I = 0; I < Collection->Count(); ++I)
      if (F.Instance == Collection->GetItem(I)) return true;
    return false;
  });
  Collection->BeginUpdate();
  try {
    Collection->Clear();
    for (const TDfmItem& Item : Prop.Value.Items) {
      TCollectionItem* NewItem = nullptr;
      try {
        NewItem = Collection->Add();
      } catch (const Exception& E) {
        Error(Item.Line, "an item that can be added to " + Prop.Name + ": " + E.Message());
      }
      ReadProperties(NewItem, Item.Properties);
    }
  } catch (...) {
    Collection->EndUpdate();
    throw;
  }
  Collection->EndUpdate();
}

void TReader::ReadStrings(TStrings* Strings, const TDfmProperty& Prop) {
  const TDfmValue& V = Prop.Value;
  if (V.Kind != TDfmValueKind::List)
    Error(V.Line, "a list of strings for property " + Prop.Name + ", found " + Describe(V));
  for (const TDfmValue& E : V.Elements)
    if (E.Kind != TDfmValueKind::String)
      Error(E.Line, "a string in the list of property " + Prop.Name + ", found " + Describe(E));
  Strings->BeginUpdate();
  try {
    Strings->Clear();
    for (const TDfmValue& E : V.Elements) Strings->Add(E.Text);
  } catch (...) {
    Strings->EndUpdate();
    throw;
  }
  Strings->EndUpdate();
}

bool TReader::ReadDefined(TObject* Instance, const std::string& Name, const TDfmProperty& Prop) {
  auto* Persistent = dynamic_cast<TPersistent*>(Instance);
  if (!Persistent) return false;
  DefinedName_ = Name;
  DefinedProp_ = &Prop;
  DefinedFound_ = false;
  ValueTaken_ = false;
  Lists_.clear();
  auto Reset = [this] {
    DefinedProp_ = nullptr;
    Lists_.clear();
  };
  try {
    Persistent->DefineProperties(this);
  } catch (const EReadError&) {
    Reset();
    throw;
  } catch (const Exception& E) {
    Reset();
    Error(Prop.Value.Line, "a valid value for property " + Prop.Name + ": " + E.Message());
  }
  const bool Found = DefinedFound_;
  const bool Complete = ValueTaken_ && Lists_.empty();
  Reset();
  if (Found && !Complete)
    Error(Prop.Value.Line, "property " + Prop.Name + " to be read whole by " + Instance->ClassName());
  return Found;
}

void TReader::DefineProperty(const std::string& Name, const TReaderProc& ReadData, const TWriterProc&, bool) {
  if (!DefinedProp_ || DefinedFound_ || !SameText(Name, DefinedName_)) return;
  DefinedFound_ = true;
  if (!ReadData) Error(DefinedProp_->Line, "a property that can be read, found '" + DefinedProp_->Name + "'");
  ReadData(*this);
}

void TReader::DefineBinaryProperty(const std::string& Name, const TStreamReadProc& ReadData, const TStreamWriteProc&,
                                   bool) {
  if (!DefinedProp_ || DefinedFound_ || !SameText(Name, DefinedName_)) return;
  DefinedFound_ = true;
  if (!ReadData) Error(DefinedProp_->Line, "a property that can be read, found '" + DefinedProp_->Name + "'");
  const TDfmValue& V = DefinedProp_->Value;
  if (V.Kind != TDfmValueKind::Binary)
    Error(V.Line, "binary data for property " + DefinedProp_->Name + ", found " + Describe(V));
  ValueTaken_ = true;
  ReadData(V.Bytes);
}

const TDfmValue& TReader::NextValue(const char* Expected) {
  if (!DefinedProp_) throw EReadError("A value can only be read while a property is being read");
  if (!Lists_.empty()) {
    TListCursor& L = Lists_.back();
    if (L.Next >= L.List->Elements.size())
      Error(L.List->Line, std::string(Expected) + " in the list of property " + DefinedProp_->Name + ", found its end");
    return L.List->Elements[L.Next++];
  }
  if (ValueTaken_)
    Error(DefinedProp_->Line, std::string(Expected) + ", found that property " + DefinedProp_->Name + " has one value only");
  ValueTaken_ = true;
  return DefinedProp_->Value;
}

int TReader::GetLine() const {
  if (!DefinedProp_) return 0;
  if (!Lists_.empty()) {
    const TListCursor& L = Lists_.back();
    return L.Next < L.List->Elements.size() ? L.List->Elements[L.Next].Line : L.List->Line;
  }
  return DefinedProp_->Value.Line;
}

std::string TReader::ReadString() {
  const TDfmValue& V = NextValue("a string");
  if (V.Kind != TDfmValueKind::String)
    Error(V.Line, "a string for property " + DefinedProp_->Name + ", found " + Describe(V));
  return V.Text;
}

std::u16string TReader::ReadWideString() { return Utf8ToUtf16(ReadString()); }

std::int32_t TReader::ReadInteger() {
  const TDfmValue& V = NextValue("an integer");
  if (V.Kind != TDfmValueKind::Integer || V.Int < std::numeric_limits<std::int32_t>::min() ||
      V.Int > std::numeric_limits<std::int32_t>::max())
    Error(V.Line, "a 32-bit integer for property " + DefinedProp_->Name + ", found " + Describe(V));
  return static_cast<std::int32_t>(V.Int);
}

std::int64_t TReader::ReadInt64() {
  const TDfmValue& V = NextValue("an integer");
  if (V.Kind != TDfmValueKind::Integer)
    Error(V.Line, "an integer for property " + DefinedProp_->Name + ", found " + Describe(V));
  return V.Int;
}

double TReader::ReadFloat() {
  const TDfmValue& V = NextValue("a number");
  double D = 0;
  if (V.Kind == TDfmValueKind::Float) return V.Float;
  if (V.Kind == TDfmValueKind::Integer) return static_cast<double>(V.Int);
  if (IdentFloat(V, D)) return D;
  Error(V.Line, "a number for property " + DefinedProp_->Name + ", found " + Describe(V));
}

bool TReader::ReadBoolean() {
  const TDfmValue& V = NextValue("True or False");
  if (V.Kind == TDfmValueKind::Ident && SameText(V.Text, "True")) return true;
  if (V.Kind == TDfmValueKind::Ident && SameText(V.Text, "False")) return false;
  Error(V.Line, "True or False for property " + DefinedProp_->Name + ", found " + Describe(V));
}

std::string TReader::ReadIdent() {
  const TDfmValue& V = NextValue("an identifier");
  if (V.Kind != TDfmValueKind::Ident)
    Error(V.Line, "an identifier for property " + DefinedProp_->Name + ", found " + Describe(V));
  return V.Text;
}

Variant TReader::ReadVariant() {
  const TDfmValue& V = NextValue("a value");
  Variant Out;
  if (!ValueToVariant(V, Out))
    Error(V.Line, "a number, string, True, False, Null or Unassigned for property " + DefinedProp_->Name + ", found " +
                      Describe(V));
  return Out;
}

void TReader::ReadListBegin() {
  const TDfmValue& V = NextValue("a list");
  if (V.Kind != TDfmValueKind::List)
    Error(V.Line, "a list for property " + DefinedProp_->Name + ", found " + Describe(V));
  Lists_.push_back({&V, 0});
}

bool TReader::EndOfList() {
  if (Lists_.empty()) throw EReadError("EndOfList called outside a list");
  return Lists_.back().Next >= Lists_.back().List->Elements.size();
}

void TReader::ReadListEnd() {
  if (Lists_.empty()) throw EReadError("ReadListEnd called outside a list");
  if (!EndOfList()) {
    const TDfmValue& Extra = Lists_.back().List->Elements[Lists_.back().Next];
    Error(Extra.Line, "the end of the list of property " + DefinedProp_->Name + ", found " + Describe(Extra));
  }
  Lists_.pop_back();
}

void TReader::ResolveFixups() {
  TComponent* Root = GetRoot();
  for (const TFixup& F : Fixups_) {
    TComponent* Target = nullptr;
    if (!SameText(F.Name, "nil")) {
      Target = Root->FindComponent(F.Name);
      if (!Target && !Root->GetName().empty() && SameText(F.Name, Root->GetName())) Target = Root;
      if (!Target)
        Error(F.Line, "the name of a component of " + Root->ClassName() + " for property " + F.Prop->Name + ", found '" +
                          F.Name + "'");
    }
    try {
      SetObjectProp(F.Instance, F.Prop, Target);
    } catch (const Exception& E) {
      Error(F.Line, "a component of class " + F.Prop->PropType->ClassType->Name + " for property " + F.Prop->Name +
                        ": " + E.Message());
    }
  }
  Fixups_.clear();
}

// ---------------------------------------------------------------------------
// TWriter

std::string TWriter::WriteRootComponent(TComponent* Root) {
  SetRoot(Root);
  std::vector<TComponent*> Marked;
  auto Unmark = [&] {
    for (TComponent* C : Marked) C->SetWriting(false);
  };
  try {
    Root->SetWriting(true);
    Marked.push_back(Root);
    std::vector<TComponent*> Children;
    Root->GetChildren([&](TComponent* C) { Children.push_back(C); }, Root);
    for (TComponent* C : Children) {
      C->SetWriting(true);
      Marked.push_back(C);
    }
    TDfmObject Tree = WriteObject(Root);
    for (TComponent* C : Children) Tree.Children.push_back(WriteObject(C));
    Unmark();
    return PrintDfmText(Tree);
  } catch (...) {
    Unmark();
    throw;
  }
}

TDfmObject TWriter::WriteObject(TComponent* Component) {
  TDfmObject Obj;
  Obj.Name = Component->GetName();
  Obj.ClassName = Component->ClassName();
  WriteProperties(Component, "", Obj.Properties);
  return Obj;
}

void TWriter::WriteProperties(TObject* Instance, const std::string& Prefix, std::vector<TDfmProperty>& Out) {
  const bool IsComponent = dynamic_cast<TComponent*>(Instance) != nullptr;
  for (const PPropInfo Info : GetPropList(Instance)) {
    // A component's name is written in its object header.
    if (IsComponent && SameText(Info->Name, "Name")) continue;
    if (!IsStoredProp(Instance, Info)) continue;
    WritePublished(Instance, Info, Prefix, Out);
  }
  auto* Persistent = dynamic_cast<TPersistent*>(Instance);
  if (!Persistent) return;
  std::vector<TDfmProperty>* SavedOut = DefinedOut_;
  std::string SavedPrefix = DefinedPrefix_;
  DefinedOut_ = &Out;
  DefinedPrefix_ = Prefix;
  try {
    Persistent->DefineProperties(this);
  } catch (...) {
    DefinedOut_ = SavedOut;
    DefinedPrefix_ = SavedPrefix;
    throw;
  }
  DefinedOut_ = SavedOut;
  DefinedPrefix_ = SavedPrefix;
}

bool TWriter::WritePublished(TObject* Instance, PPropInfo Info, const std::string& Prefix,
                             std::vector<TDfmProperty>& Out) {
  const std::string Name = Prefix + Info->Name;
  auto Add = [&](TDfmValue V) {
    Out.push_back({Name, std::move(V), 0});
    return true;
  };
  switch (Info->Kind()) {
    case tkClass: {
      TObject* Obj = GetObjectProp(Instance, Info);
      if (!Obj) return false;
      if (auto* C = dynamic_cast<TComponent*>(Obj); C && !IsSubComponentOf(C, Instance))
        return Add(TDfmValue::OfIdent(ReferenceName(C, Name)));
      if (auto* Collection = dynamic_cast<TCollection*>(Obj)) {
        if (Collection->Count() == 0) return false;
        std::vector<TDfmItem> Items;
        for (int I = 0; I < Collection->Count(); ++I) {
          TDfmItem Item;
          WriteProperties(Collection->GetItem(I), "", Item.Properties);
          Items.push_back(std::move(Item));
        }
        return Add(TDfmValue::OfCollection(std::move(Items)));
      }
      if (auto* Strings = dynamic_cast<TStrings*>(Obj)) {
        WriteProperties(Strings, Name + ".", Out);
        if (Strings->Count() == 0) return false;
        std::vector<TDfmValue> Lines;
        for (int I = 0; I < Strings->Count(); ++I) Lines.push_back(TDfmValue::OfString(Strings->Get(I)));
        Out.push_back({Name + ".Strings", TDfmValue::OfList(std::move(Lines)), 0});
        return true;
      }
      if (dynamic_cast<TPersistent*>(Obj)) WriteProperties(Obj, Name + ".", Out);
      return false;
    }
    case tkMethod: {
      const TMethod M = GetMethodProp(Instance, Info);
      if (M.IsNull()) return false;
      const std::string MethodId = MethodName(GetRoot(), M);
      // Handlers that are not published methods of the root are installed by
      // code, not stored with the form.
      if (MethodId.empty()) return false;
      return Add(TDfmValue::OfIdent(MethodId));
    }
    default: break;
  }
  if (Info->Kind() == tkFloat) {
    // Compared bit for bit, so that -0.0 is kept apart from a default of 0.
    const double D = GetFloatProp(Instance, Info);
    const double Default = Info->HasDefault ? Info->FloatDefault : 0.0;
    if (std::bit_cast<std::uint64_t>(D) == std::bit_cast<std::uint64_t>(Default)) return false;
    return Add(TDfmValue::OfFloat(D));
  }
  if (IsDefaultPropValue(Instance, Info)) return false;
  switch (Info->Kind()) {
    case tkInteger:
    case tkInt64: return Add(TDfmValue::OfInteger(GetOrdProp(Instance, Info)));
    case tkChar:
    case tkWChar:
    case tkString:
    case tkLString: return Add(TDfmValue::OfString(GetStrProp(Instance, Info)));
    case tkWString: return Add(TDfmValue::OfString(WideFormText(GetWideStrProp(Instance, Info), "Property " + Name)));
    case tkEnumeration: {
      const std::int64_t Ord = GetOrdProp(Instance, Info);
      const std::string Id = GetEnumName(Info->PropType, Ord);
      if (Id.empty()) throw EWriteError("Property " + Name + " holds " + std::to_string(Ord) + ", which has no name");
      return Add(TDfmValue::OfIdent(Id));
    }
    case tkSet: {
      const auto Mask = static_cast<std::uint64_t>(GetOrdProp(Instance, Info));
      const std::vector<std::string>& Names = Info->PropType->CompType->EnumNames;
      std::vector<std::string> Elements;
      for (std::size_t Bit = 0; Bit < 64; ++Bit) {
        if (!(Mask & (std::uint64_t{1} << Bit))) continue;
        if (Bit >= Names.size())
          throw EWriteError("Property " + Name + " holds element " + std::to_string(Bit) + ", which has no name");
        Elements.push_back(Names[Bit]);
      }
      return Add(TDfmValue::OfSet(std::move(Elements)));
    }
    case tkVariant: return Add(VariantToValue(GetVariantProp(Instance, Info)));
    default: return false;
  }
}

std::string TWriter::ReferenceName(TComponent* Component, const std::string& PropName) const {
  TComponent* Root = GetRoot();
  if (Component != Root && Component->Owner() != Root)
    throw EWriteError("Property " + PropName + " refers to component '" + Component->GetNamePath() + "', which " +
                      Root->ClassName() + " '" + Root->GetName() + "' does not own; the reference could not be read back");
  if (Component->GetName().empty())
    throw EWriteError("Property " + PropName + " refers to an unnamed component, which could not be read back");
  // A child named like the root would be found first when reading.
  if (Component == Root && Root->FindComponent(Root->GetName()))
    throw EWriteError("Property " + PropName + " refers to the root, whose name one of its components shares");
  return Component->GetName();
}

void TWriter::DefineProperty(const std::string& Name, const TReaderProc&, const TWriterProc& WriteData,
                             bool HasData) {
  if (!HasData || !WriteData || !DefinedOut_) return;
  DefinedName_ = DefinedPrefix_ + Name;
  DefinedWritten_ = false;
  Lists_.clear();
  InProc_ = true;
  try {
    WriteData(*this);
  } catch (...) {
    InProc_ = false;
    Lists_.clear();
    throw;
  }
  InProc_ = false;
  if (!Lists_.empty()) {
    Lists_.clear();
    throw EWriteError("Property " + DefinedName_ + " left a list open");
  }
  if (!DefinedWritten_) throw EWriteError("Property " + DefinedName_ + " wrote no value");
}

void TWriter::DefineBinaryProperty(const std::string& Name, const TStreamReadProc&, const TStreamWriteProc& WriteData,
                                   bool HasData) {
  if (!HasData || !WriteData || !DefinedOut_) return;
  std::vector<std::uint8_t> Bytes;
  WriteData(Bytes);
  DefinedOut_->push_back({DefinedPrefix_ + Name, TDfmValue::OfBinary(std::move(Bytes)), 0});
}

void TWriter::Put(TDfmValue Value) {
  if (!InProc_) throw EWriteError("A value can only be written while a property is being written");
  if (!Lists_.empty()) {
    Lists_.back().Elements.push_back(std::move(Value));
    return;
  }
  if (DefinedWritten_) throw EWriteError("Property " + DefinedName_ + " wrote more than one value");
  DefinedWritten_ = true;
  DefinedOut_->push_back({DefinedName_, std::move(Value), 0});
}

void TWriter::WriteString(std::string_view Value) { Put(TDfmValue::OfString(std::string(Value))); }
void TWriter::WriteWideString(const std::u16string& Value) {
  Put(TDfmValue::OfString(WideFormText(Value, "Property " + DefinedName_)));
}
void TWriter::WriteInteger(std::int64_t Value) { Put(TDfmValue::OfInteger(Value)); }
void TWriter::WriteFloat(double Value) { Put(TDfmValue::OfFloat(Value)); }
void TWriter::WriteBoolean(bool Value) { Put(TDfmValue::OfIdent(Value ? "True" : "False")); }

void TWriter::WriteIdent(std::string_view Value) {
  if (!IsValidIdent(Value)) throw EWriteError("'" + std::string(Value) + "' is not an identifier");
  Put(TDfmValue::OfIdent(std::string(Value)));
}

void TWriter::WriteVariant(const Variant& Value) { Put(VariantToValue(Value)); }

void TWriter::WriteListBegin() {
  if (!InProc_) throw EWriteError("A list can only be written while a property is being written");
  Lists_.push_back(TDfmValue::OfList({}));
}

void TWriter::WriteListEnd() {
  if (Lists_.empty()) throw EWriteError("WriteListEnd without WriteListBegin");
  TDfmValue List = std::move(Lists_.back());
  Lists_.pop_back();
  Put(std::move(List));
}

}  // namespace fyndra
