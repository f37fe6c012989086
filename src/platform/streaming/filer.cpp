#include <fyndra/platform/streaming/filer.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <utility>

#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {

namespace {

bool SameText(std::string_view A, std::string_view B) { return SameIdentifier(A, B); }

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
bool IdentFloat(const TDfmValue& V, double& Out) { return V.Kind == TDfmValueKind::Ident && DfmFloatValue(V, Out); }

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

bool ReadFile(const std::string& Path, std::string& Out) {
  std::ifstream In(Path, std::ios::binary);
  if (!In) return false;
  std::ostringstream S;
  S << In.rdbuf();
  if (In.bad()) return false;
  Out = std::move(S).str();
  return true;
}

// The class a form file's header names: the last name of its first line
// (`object Form1: TForm1`, `inherited Form2: TForm2 [0]`, `object TForm1`).
std::string HeaderClass(std::string_view Head) {
  if (Head.starts_with("\xEF\xBB\xBF")) Head.remove_prefix(3);
  Head = Head.substr(0, Head.find_first_of("\r\n"));
  if (const std::size_t Index = Head.find('['); Index != std::string_view::npos) Head = Head.substr(0, Index);
  std::vector<std::string_view> Words;
  std::size_t I = 0;
  while (I < Head.size()) {
    while (I < Head.size() && (Head[I] == ' ' || Head[I] == '\t' || Head[I] == ':')) ++I;
    const std::size_t Start = I;
    while (I < Head.size() && Head[I] != ' ' && Head[I] != '\t' && Head[I] != ':') ++I;
    if (I > Start) Words.push_back(Head.substr(Start, I - Start));
  }
  if (Words.size() < 2) return {};
  const std::string_view Keyword = Words.front();
  if (!SameText(Keyword, "object") && !SameText(Keyword, "inherited") && !SameText(Keyword, "inline")) return {};
  return std::string(Words.back());
}

}  // namespace

namespace filer_detail {
bool IsSubComponentOf(TObject* Obj, TObject* Instance) {
  auto* C = dynamic_cast<TComponent*>(Obj);
  return C && C->GetComponentStyle().Contains(csSubComponent) && C->Owner() == Instance;
}
}  // namespace filer_detail

using filer_detail::IsSubComponentOf;

// ---------------------------------------------------------------------------
// Form resources

void TFormResources::Add(std::string_view ClassName, std::string Text) {
  std::lock_guard<std::mutex> Guard(Lock_);
  Texts_[FoldIdentifier(ClassName)] = std::move(Text);
}

void TFormResources::Remove(std::string_view ClassName) {
  std::lock_guard<std::mutex> Guard(Lock_);
  Texts_.erase(FoldIdentifier(ClassName));
}

void TFormResources::Clear() {
  std::lock_guard<std::mutex> Guard(Lock_);
  Texts_.clear();
}

std::optional<std::string> TFormResources::Find(std::string_view ClassName) const {
  std::lock_guard<std::mutex> Guard(Lock_);
  const auto It = Texts_.find(FoldIdentifier(ClassName));
  if (It == Texts_.end()) return std::nullopt;
  return It->second;
}

TFormResources& FormResources() {
  static TFormResources Resources;
  return Resources;
}

// The form texts one read or write can reach, parsed once each: registered
// ones first, then form files of the option folders (indexed by the class
// their header names when first needed).
class TFormTexts {
 public:
  explicit TFormTexts(const TFormTextOptions& Options) : Options_(Options) {}

  const TFormTextOptions& Options() const { return Options_; }

  // The parsed form text of exactly Class, or null.
  const TDfmObject* Find(TClass Class) {
    if (const auto It = Parsed_.find(Class); It != Parsed_.end()) return It->second.get();
    const TFormResources& Registry = Options_.Resources ? *Options_.Resources : FormResources();
    std::optional<std::string> Text = Registry.Find(Class->Name);
    if (!Text) {
      const std::string* Path = FileOf(Class->Name);
      if (Path) {
        Text.emplace();
        if (!ReadFile(*Path, *Text)) throw EReadError("Cannot read the form file " + *Path);
      }
    }
    std::unique_ptr<TDfmObject> Tree;
    if (Text) Tree = std::make_unique<TDfmObject>(ParseDfmText(*Text, {Options_.CodePage}));
    return (Parsed_[Class] = std::move(Tree)).get();
  }

 private:
  const std::string* FileOf(const std::string& ClassName) {
    if (!Indexed_) {
      Indexed_ = true;
      for (const std::string& Folder : Options_.Folders) IndexFolder(Folder);
    }
    const auto It = Files_.find(FoldIdentifier(ClassName));
    return It == Files_.end() ? nullptr : &It->second;
  }

  void IndexFolder(const std::string& Folder) {
    namespace fs = std::filesystem;
    std::error_code Ec;
    std::vector<fs::path> Paths;
    for (fs::directory_iterator It(Folder, Ec), End; !Ec && It != End; It.increment(Ec)) {
      const std::string Ext = LowerCase(It->path().extension().string());
      if (Ext == ".dfm" && It->is_regular_file(Ec)) Paths.push_back(It->path());
    }
    std::sort(Paths.begin(), Paths.end());  // the same choice on every run
    for (const fs::path& P : Paths) {
      std::ifstream In(P, std::ios::binary);
      std::string Head(512, '\0');
      In.read(Head.data(), static_cast<std::streamsize>(Head.size()));
      Head.resize(static_cast<std::size_t>(In.gcount()));
      std::string Decoded;
      std::size_t Bad = 0;
      // A header in an 8-bit code page may name a class in it.
      if (!Options_.CodePage.empty() && !Head.starts_with("\xEF\xBB\xBF")) {
        Head = Head.substr(0, Head.find_first_of("\r\n"));
        if (CodePageToUtf8(Head, Options_.CodePage, Decoded, Bad)) Head = Decoded;
      }
      const std::string Class = HeaderClass(Head);
      if (!Class.empty()) Files_.emplace(FoldIdentifier(Class), P.string());
    }
  }

  TFormTextOptions Options_;
  std::map<TClass, std::unique_ptr<TDfmObject>> Parsed_;
  std::map<std::string, std::string> Files_;  // folded class name -> path
  bool Indexed_ = false;
};

// ---------------------------------------------------------------------------
// Free functions

std::string WriteComponentToText(TComponent* Root, const TFormTextOptions& Options) {
  if (!Root) throw EWriteError("No component to write");
  TWriter Writer(Options);
  return Writer.WriteRootComponent(Root);
}

TComponent* ReadComponentFromText(const std::string& Text, TComponent* Owner, const TFormTextOptions& Options) {
  TReader Reader(Options);
  return Reader.ReadRootComponent(Text, nullptr, Owner);
}

TComponent* ReadComponentFromTree(const TDfmObject& Tree, TComponent* Owner, const TFormTextOptions& Options) {
  TReader Reader(Options);
  return Reader.ReadRootComponent(Tree, nullptr, Owner);
}

void ReadComponentTextInto(const std::string& Text, TComponent* Root, const TFormTextOptions& Options) {
  if (!Root) throw EReadError("No component to read into");
  TReader Reader(Options);
  Reader.ReadRootComponent(Text, Root, nullptr);
}

TComponent* ReadComponentFromFile(const std::string& Path, TComponent* Owner, const TFormTextOptions& Options) {
  std::string Text;
  if (!ReadFile(Path, Text)) throw EReadError("Cannot read the form file " + Path);
  TFormTextOptions WithFolder = Options;
  WithFolder.Folders.push_back(std::filesystem::path(Path).parent_path().string());
  if (WithFolder.Folders.back().empty()) WithFolder.Folders.back() = ".";
  TReader Reader(WithFolder);
  return Reader.ReadRootComponent(Text, nullptr, Owner);
}

bool ReadComponentResource(TComponent* Instance, const TFormTextOptions& Options) {
  if (!Instance) throw EReadError("No component to read into");
  TReader Reader(Options);
  return Reader.ReadResource(Instance, Instance->ClassType());
}

// ---------------------------------------------------------------------------
// TReader

TReader::TReader(const TFormTextOptions& Options) : Texts_(std::make_unique<TFormTexts>(Options)) {}

TReader::~TReader() = default;

void TReader::Error(int Line, const std::string& Expected) const {
  throw EReadError("line " + std::to_string(Line) + ": expected " + Expected);
}

template <class F>
void TReader::Load(TComponent* Root, TComponent* CreatedRoot, F&& Read) {
  // Undo on failure: no component the reader made survives, no flag stays set.
  auto Abandon = [&] {
    for (TComponent* C : Loading_) {
      C->ExcludeState(csReading);
      C->ExcludeState(csLoading);
    }
    for (auto It = Created_.rbegin(); It != Created_.rend(); ++It) Free(*It);
    if (CreatedRoot) Free(CreatedRoot);
  };
  auto Reset = [&] {
    Created_.clear();
    CreatedSet_.clear();
    Loading_.clear();
    Entered_.clear();
    Fixups_.clear();
    ReadingTexts_.clear();
    Seen_ = nullptr;
  };
  try {
    SetRoot(Root);
    Enter(Root);
    Read();
    SetRoot(Root);
    ResolveFixups();
    for (TComponent* C : Loading_) C->EndReading();
    for (TComponent* C : Loading_) C->EndLoading();
  } catch (...) {
    Abandon();
    Reset();
    throw;
  }
  Reset();
}

void TReader::Enter(TComponent* Component) {
  if (!Entered_.insert(Component).second) return;
  Loading_.push_back(Component);
  Component->BeginLoading();
}

TComponent* TReader::ReadRootComponent(const std::string& Text, TComponent* Root, TComponent* Owner) {
  return ReadRootComponent(ParseDfmText(Text, {Texts_->Options().CodePage}), Root, Owner);
}

TComponent* TReader::ReadRootComponent(const TDfmObject& Tree, TComponent* Root, TComponent* Owner) {
  TComponent* CreatedRoot = nullptr;
  TClass TextClass = nullptr;
  if (Root) {
    for (TClass C = Root->ClassType(); C && !TextClass; C = C->Parent)
      if (SameText(C->Name, Tree.ClassName)) TextClass = C;
    if (!TextClass) Error(Tree.Line, "class " + Root->ClassName() + " or an ancestor of it, found '" + Tree.ClassName + "'");
  } else {
    TextClass = GetClass(Tree.ClassName);
    if (!TextClass) Error(Tree.Line, "a registered class name, found '" + Tree.ClassName + "'");
    if (!TextClass->InheritsFrom(TComponent::StaticClass()))
      Error(Tree.Line, "a component class, found '" + Tree.ClassName + "'");
    try {
      CreatedRoot = CreateComponent(TextClass, Owner);
    } catch (const Exception& E) {
      Error(Tree.Line, "a class that can be created, found '" + Tree.ClassName + "': " + E.Message());
    }
    Root = CreatedRoot;
  }
  Load(Root, CreatedRoot, [&] {
    if (!Tree.Name.empty() && Root->GetName() != Tree.Name) {
      try {
        Root->SetName(Tree.Name);
      } catch (const Exception& E) {
        Error(Tree.Line, "a valid component name, found '" + Tree.Name + "': " + E.Message());
      }
    }
    ReadForm(Root, Tree, TextClass);
  });
  return Root;
}

bool TReader::ReadResource(TComponent* Instance, TClass From) {
  if (!HasFormText(From)) return false;
  Load(Instance, nullptr, [&] { ReadAncestorTexts(Instance, From, 0); });
  return true;
}

bool TReader::HasFormText(TClass From) {
  for (TClass K = From; K; K = K->Parent)
    if (Texts_->Find(K)) return true;
  return false;
}

// The body of one form text (its properties and children) read into Form,
// after the ancestor texts when the text is inherited. TextClass is the class
// the text belongs to.
void TReader::ReadForm(TComponent* Form, const TDfmObject& Tree, TClass TextClass) {
  if (Tree.Kind == TDfmObjectKind::Inline) Error(Tree.Line, "'object' or 'inherited' to start a form, found 'inline'");
  if (Tree.Kind == TDfmObjectKind::Inherited && !ReadAncestorTexts(Form, TextClass->Parent, Tree.Line))
    Error(Tree.Line, "the form text of an ancestor of " + TextClass->Name +
                         " (registered, or a form file in a folder searched), found none");
  std::set<TComponent*> Seen;
  std::set<TComponent*>* SavedSeen = std::exchange(Seen_, &Seen);
  TComponent* SavedRoot = GetRoot();
  SetRoot(Form);
  try {
    ReadProperties(Form, Tree.Properties);
    for (const TDfmObject& Child : Tree.Children) ReadObject(Child, {Form, Form, Form});
  } catch (...) {
    Seen_ = SavedSeen;
    SetRoot(SavedRoot);
    throw;
  }
  Seen_ = SavedSeen;
  SetRoot(SavedRoot);
}

// Reads the form text of the nearest class from From up the ancestry into
// Form; false when no class has one. Line (0: none) is the line of the text
// that asked for it, which errors inside the ancestor's text are reported at.
bool TReader::ReadAncestorTexts(TComponent* Form, TClass From, int Line) {
  for (TClass K = From; K; K = K->Parent) {
    if (std::find(ReadingTexts_.begin(), ReadingTexts_.end(), K) != ReadingTexts_.end()) {
      const std::string What = "a frame that does not contain itself, found " + K->Name + " inside its own form text";
      if (Line <= 0) throw EReadError("Expected " + What);
      Error(Line, What);
    }
    const TDfmObject* Text = nullptr;
    try {
      Text = Texts_->Find(K);
      if (!Text) continue;
      if (!SameText(Text->ClassName, K->Name))
        throw EReadError("line " + std::to_string(Text->Line) + ": expected the form text of " + K->Name + ", found one of '" +
                         Text->ClassName + "'");
      ReadingTexts_.push_back(K);
      ReadForm(Form, *Text, K);
      ReadingTexts_.pop_back();
    } catch (const EReadError& E) {
      if (Text && !ReadingTexts_.empty() && ReadingTexts_.back() == K) ReadingTexts_.pop_back();
      if (Line <= 0) throw EReadError("The form text of " + K->Name + ": " + E.Message());
      Error(Line, "a valid form text of " + K->Name + ": " + E.Message());
    }
    return true;
  }
  return false;
}

TComponent* TReader::CreateChild(const TDfmObject& Obj, TComponent* Owner) {
  const TClass Class = GetClass(Obj.ClassName);
  if (!Class) Error(Obj.Line, "a registered class name, found '" + Obj.ClassName + "'");
  if (!Class->InheritsFrom(TComponent::StaticClass())) Error(Obj.Line, "a component class, found '" + Obj.ClassName + "'");
  TComponent* Component = nullptr;
  try {
    Component = CreateComponent(Class, Owner);
  } catch (const Exception& E) {
    Error(Obj.Line, "a class that can be created, found '" + Obj.ClassName + "': " + E.Message());
  }
  Created_.push_back(Component);
  CreatedSet_.insert(Component);
  if (!Obj.Name.empty()) {
    try {
      Component->SetName(Obj.Name);
    } catch (const Exception& E) {
      Error(Obj.Line, "a valid and unique component name, found '" + Obj.Name + "': " + E.Message());
    }
  }
  return Component;
}

TComponent* TReader::ReadObject(const TDfmObject& Obj, const TScope& Scope) {
  TComponent* Component = nullptr;
  const std::string KindWord = Obj.Kind == TDfmObjectKind::Inline ? "inline" : "object";
  if (Obj.Kind == TDfmObjectKind::Inherited) {
    if (Obj.Name.empty()) Error(Obj.Line, "the name of the inherited component of class " + Obj.ClassName);
    Component = Scope.Lookup->FindComponent(Obj.Name);
    if (!Component)
      Error(Obj.Line, "a component '" + Obj.Name + "' that the ancestor of " + Scope.Lookup->ClassName() +
                          " made, found none");
    if (!SameText(Component->ClassName(), Obj.ClassName))
      Error(Obj.Line, "class " + Component->ClassName() + " for the inherited component '" + Obj.Name + "', found '" +
                          Obj.ClassName + "'");
  } else if (TComponent* Existing = Obj.Name.empty() ? nullptr : Scope.Owner->FindComponent(Obj.Name)) {
    if (Seen_->count(Existing)) Error(Obj.Line, "each component once, found '" + Obj.Name + "' again");
    // Made by an ancestor text of this read.
    if (CreatedSet_.count(Existing))
      Error(Obj.Line, "'inherited' for the component '" + Obj.Name + "' that the ancestor made, found '" + KindWord + "'");
    if (!SameText(Existing->ClassName(), Obj.ClassName))
      Error(Obj.Line, "class " + Existing->ClassName() + " for the existing component '" + Obj.Name + "', found '" +
                          Obj.ClassName + "'");
    Component = Existing;
    if (Obj.Kind == TDfmObjectKind::Inline) Component->SetInline(true);
  } else {
    Component = CreateChild(Obj, Scope.Owner);
    if (Obj.Kind == TDfmObjectKind::Inline) {
      Component->SetInline(true);
      Enter(Component);
      if (!ReadAncestorTexts(Component, Component->ClassType(), Obj.Line))
        Error(Obj.Line, "the form text of the frame class " + Obj.ClassName +
                            " (registered, or a form file in a folder searched), found none");
    }
  }
  if (!Seen_->insert(Component).second) Error(Obj.Line, "each component once, found '" + Obj.Name + "' again");
  Enter(Component);
  // A control sits in the component whose block holds it (an inherited one
  // may move to another parent this way).
  if (Component->HasParent()) {
    try {
      Component->SetParentComponent(Scope.Enclosing);
    } catch (const Exception& E) {
      Error(Obj.Line, "'" + Obj.Name + "' inside a component that can hold it: " + E.Message());
    }
  }
  ReadProperties(Component, Obj.Properties);
  // Inside a frame's block, `inherited` names the frame's own components;
  // new objects belong to the form, wherever they are nested.
  const TScope Inner{Scope.Owner, Component->ComponentState().Contains(csInline) ? Component : Scope.Lookup, Component};
  for (const TDfmObject& Child : Obj.Children) ReadObject(Child, Inner);
  if (Obj.Index >= 0) {
    try {
      Scope.Enclosing->SetChildOrder(Component, Obj.Index);
    } catch (const Exception& E) {
      Error(Obj.Line, "an order index that " + Scope.Enclosing->ClassName() + " accepts: " + E.Message());
    }
  }
  return Component;
}

void TReader::ReadProperties(TObject* Instance, const std::vector<TDfmProperty>& Props) {
  std::set<std::string> Seen;
  for (const TDfmProperty& P : Props) {
    if (!Seen.insert(FoldIdentifier(P.Name)).second) Error(P.Line, "each property once, found '" + P.Name + "' again");
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
          Fixups_.push_back({Instance, Info, V.Text, V.Line, GetRoot()});
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

// A reference names a component of the form it was read in, the form itself,
// or, dotted, a component of a frame on it (Frame1.Edit1).
void TReader::ResolveFixups() {
  for (const TFixup& F : Fixups_) {
    TComponent* Target = nullptr;
    if (!SameText(F.Name, "nil")) {
      const std::vector<std::string> Parts = SplitDots(F.Name);
      TComponent* Cur = F.Scope;
      for (std::size_t I = 0; I < Parts.size() && Cur; ++I) {
        TComponent* Next = Cur->FindComponent(Parts[I]);
        if (!Next && I == 0 && !F.Scope->GetName().empty() && SameText(Parts[I], F.Scope->GetName())) Next = F.Scope;
        Cur = Next;
      }
      Target = Cur;
      if (!Target)
        Error(F.Line, "the name of a component of " + F.Scope->ClassName() + " for property " + F.Prop->Name +
                          ", found '" + F.Name + "'");
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

}  // namespace fyndra
