// TWriter: components to form text, whole or as the differences from an
// ancestor form or a frame's own text, keeping the spelling of the text the
// form was read from.
#include <fyndra/platform/streaming/filer.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <tuple>
#include <utility>

#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {

namespace {

using filer_detail::IsSubComponentOf;

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

bool IsFrame(const TComponent* C) { return C->ComponentState().Contains(csInline); }

// The children Parent lists that Scope (the form or frame being written)
// owns: for the scope itself its components, for a control inside it the
// controls it holds. What Scope does not own could not be read back into it.
std::vector<TComponent*> ChildrenOf(TComponent* Parent, TComponent* Scope) {
  std::vector<TComponent*> List;
  Parent->GetChildren(
      [&](TComponent* C) {
        if (C->Owner() == Scope && std::find(List.begin(), List.end(), C) == List.end()) List.push_back(C);
      },
      Scope);
  return List;
}

// Every component of Scope's tree below Parent, nested ones too.
void CollectTree(TComponent* Parent, TComponent* Scope, std::vector<TComponent*>& Out) {
  for (TComponent* C : ChildrenOf(Parent, Scope)) {
    if (std::find(Out.begin(), Out.end(), C) != Out.end()) continue;
    Out.push_back(C);
    if (!IsFrame(C)) CollectTree(C, Scope, Out);
  }
}

// The dotted path of C's names from Scope down (Frame1.Edit1); "=" for
// Scope itself. False when Scope does not own C, directly or through owners.
bool PathWithin(TComponent* C, TComponent* Scope, std::string& Path) {
  if (C == Scope) {
    Path = "=";
    return true;
  }
  std::vector<const std::string*> Names;
  TComponent* Cur = C;
  for (; Cur && Cur != Scope; Cur = Cur->Owner()) Names.push_back(&Cur->GetName());
  if (!Cur) return false;
  Path.clear();
  for (auto It = Names.rbegin(); It != Names.rend(); ++It) {
    if (!Path.empty()) Path += '.';
    Path += **It;
  }
  return true;
}

// ---------------------------------------------------------------------------
// The text the form was read from

void KeepOriginal(std::vector<TDfmProperty>& Props, const std::vector<TDfmProperty>& Original);

// Gives Value the original's spelling where it did not change.
void MergeValue(TDfmValue& Value, const TDfmValue& Original) {
  if (Value.Kind == TDfmValueKind::List && Original.Kind == TDfmValueKind::List) {
    for (std::size_t I = 0; I < std::min(Value.Elements.size(), Original.Elements.size()); ++I)
      MergeValue(Value.Elements[I], Original.Elements[I]);
  } else if (Value.Kind == TDfmValueKind::Collection && Original.Kind == TDfmValueKind::Collection) {
    for (std::size_t I = 0; I < std::min(Value.Items.size(), Original.Items.size()); ++I)
      KeepOriginal(Value.Items[I].Properties, Original.Items[I].Properties);
  } else if (Value.Kind != TDfmValueKind::List && Value.Kind != TDfmValueKind::Collection &&
             SameDfmValue(Value, Original)) {
    Value.Spelling = Original.Spelling;
  }
}

// Unchanged values keep the original's spelling, and the properties its
// order: those it has in its order, each other one right after the property
// written before it.
void KeepOriginal(std::vector<TDfmProperty>& Props, const std::vector<TDfmProperty>& Original) {
  if (Original.empty() || Props.empty()) return;
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::vector<std::size_t> Own(Original.size(), kNone);
  std::vector<std::vector<std::size_t>> After(Original.size() + 1);  // [0]: before all
  std::size_t Slot = 0;
  for (std::size_t I = 0; I < Props.size(); ++I) {
    std::size_t Match = kNone;
    for (std::size_t J = 0; J < Original.size() && Match == kNone; ++J)
      if (Own[J] == kNone && SameIdentifier(Props[I].Name, Original[J].Name)) Match = J;
    if (Match == kNone) {
      After[Slot].push_back(I);
      continue;
    }
    MergeValue(Props[I].Value, Original[Match].Value);
    Own[Match] = I;
    Slot = Match + 1;
  }
  std::vector<TDfmProperty> Ordered;
  Ordered.reserve(Props.size());
  for (std::size_t I : After[0]) Ordered.push_back(std::move(Props[I]));
  for (std::size_t J = 0; J < Original.size(); ++J) {
    if (Own[J] != kNone) Ordered.push_back(std::move(Props[Own[J]]));
    for (std::size_t I : After[J + 1]) Ordered.push_back(std::move(Props[I]));
  }
  Props = std::move(Ordered);
}

// The original's block of the component named Name: a child of Original, or
// nested deeper (controls inside a panel), not inside a frame's block.
const TDfmObject* FindOriginalChild(const TDfmObject* Original, const std::string& Name) {
  if (!Original || Name.empty()) return nullptr;
  for (const TDfmObject& C : Original->Children)
    if (SameIdentifier(C.Name, Name)) return &C;
  for (const TDfmObject& C : Original->Children)
    if (C.Kind != TDfmObjectKind::Inline)
      if (const TDfmObject* Found = FindOriginalChild(&C, Name)) return Found;
  return nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------
// TWriter

TWriter::TWriter(const TFormTextOptions& Options) : Options_(Options), Ancestors_(Options) {}

TWriter::~TWriter() = default;

std::string TWriter::WriteRootComponent(TComponent* Root) {
  SetRoot(Root);
  auto Reset = [&] {
    for (TComponent* C : Marked_) C->SetWriting(false);
    Marked_.clear();
    Fresh_.clear();
    Scope_ = AncestorScope_ = AncestorRoot_ = nullptr;
  };
  try {
    std::optional<TDfmObject> Original;
    if (!Options_.Original.empty()) {
      try {
        Original = ParseDfmText(Options_.Original, {Options_.CodePage});
      } catch (const EReadError& E) {
        throw EWriteError("The text the form was read from cannot be read: " + E.Message());
      }
    }
    const TClass Class = Root->ClassType();
    const bool Inherited = Original ? Original->Kind == TDfmObjectKind::Inherited : HasFormText(Class->Parent);
    TComponent* Ancestor = nullptr;
    if (Inherited) {
      Ancestor = Fresh(Class, Class->Parent, "an ancestor of " + Class->Name);
      if (!Ancestor)
        throw EWriteError("Form " + Root->GetName() + " is an inherited form, but no class of the ancestry of " +
                          Class->Name + " has a form text");
    }
    Scope_ = Root;
    AncestorScope_ = AncestorRoot_ = Ancestor;
    TDfmObject Tree = WriteObject(Root, Ancestor, Inherited ? TDfmObjectKind::Inherited : TDfmObjectKind::Object,
                                  Original ? &*Original : nullptr);
    if (Original) Tree.ByteOrderMark = Original->ByteOrderMark;
    Reset();
    return PrintDfmText(Tree);
  } catch (...) {
    Reset();
    throw;
  }
}

// A fresh instance of Class that has read the form text of the nearest class
// from From up (null when none has one), kept for this write.
TComponent* TWriter::Fresh(TClass Class, TClass From, const std::string& What) {
  if (!HasFormText(From)) return nullptr;
  try {
    TOwned<TComponent> Instance(CreateComponent(Class, nullptr));
    Ancestors_.ReadResource(Instance.get(), From);
    Fresh_.push_back(std::move(Instance));
  } catch (const EWriteError&) {
    throw;
  } catch (const Exception& E) {
    throw EWriteError("The form text of " + What + " cannot be read: " + E.Message());
  }
  return Fresh_.back().get();
}

bool TWriter::HasFormText(TClass From) {
  if (!From) return false;
  try {
    return Ancestors_.HasFormText(From);
  } catch (const EReadError& E) {
    throw EWriteError("A form text of the ancestry of " + From->Name + " cannot be read: " + E.Message());
  }
}

TDfmObject TWriter::WriteObject(TComponent* Component, TComponent* Ancestor, TDfmObjectKind Kind,
                                const TDfmObject* Original) {
  if (Ancestor && Ancestor->ClassType() != Component->ClassType())
    throw EWriteError("Component " + Component->GetName() + " is of class " + Component->ClassName() +
                      ", its ancestor's of class " + Ancestor->ClassName() + "; the form text could not say so");
  Component->SetWriting(true);
  Marked_.push_back(Component);
  TDfmObject Obj;
  Obj.Kind = Kind;
  Obj.Name = Component->GetName();
  Obj.ClassName = Component->ClassName();
  // A frame's properties and components are compared and named within it.
  const bool OwnChildren = Component == GetRoot() || IsFrame(Component);
  TComponent* const Saved[] = {Scope_, AncestorScope_, AncestorRoot_};
  std::vector<TComponent*> Written;
  std::vector<TComponent*>* const SavedWritten = Written_;
  if (OwnChildren) {
    Scope_ = Component;
    AncestorScope_ = Ancestor;
    if (Kind != TDfmObjectKind::Inherited) AncestorRoot_ = Ancestor;
    Written_ = &Written;
  }
  auto Restore = [&] {
    std::tie(Scope_, AncestorScope_, AncestorRoot_) = std::tie(Saved[0], Saved[1], Saved[2]);
    Written_ = SavedWritten;
  };
  try {
    WriteProperties(Component, Ancestor, "", Obj.Properties);
    if (Original) KeepOriginal(Obj.Properties, Original->Properties);
    // A form's or frame's children, or the controls a control holds.
    WriteChildren(Component, Ancestor, Original, Scope_ != GetRoot(), Obj);
    if (OwnChildren && Ancestor) CheckAncestorKept();
  } catch (...) {
    Restore();
    throw;
  }
  Restore();
  return Obj;
}

// Each component of the ancestor must be written somewhere in the form or
// frame: the reader makes them all, so one left out would come back.
void TWriter::CheckAncestorKept() {
  std::vector<TComponent*> Theirs;
  CollectTree(AncestorScope_, AncestorScope_, Theirs);
  for (TComponent* A : Theirs) {
    TComponent* Mine = A->GetName().empty() ? nullptr : Scope_->FindComponent(A->GetName());
    if (!Mine || std::find(Written_->begin(), Written_->end(), Mine) == Written_->end())
      throw EWriteError("Component " + (A->GetName().empty() ? "of class " + A->ClassName() : A->GetName()) +
                        " of the ancestor of " + Scope_->ClassName() + " '" + Scope_->GetName() +
                        "' is gone; a form or frame built on an ancestor keeps all of its components");
  }
}

// The children of a form or frame, or the controls a control inside it
// holds. With an ancestor, the reader will have the ancestor's components in
// the ancestor's order (less those that moved to another parent) and append
// new ones and those that moved in; a child that would then stand elsewhere
// than now gets an order index, and an inherited child without differences
// that stayed where it was is left out. Ancestor is Parent's counterpart in
// the ancestor (null for a parent the form added); the components of both
// sides are named within the form or frame being written.
void TWriter::WriteChildren(TComponent* Parent, TComponent* Ancestor, const TDfmObject* Original, bool InFrame,
                            TDfmObject& Out) {
  const std::vector<TComponent*> Children = ChildrenOf(Parent, Scope_);
  std::vector<TComponent*> Order;
  if (Ancestor) {
    for (TComponent* A : ChildrenOf(Ancestor, AncestorScope_)) {
      TComponent* Mine = A->GetName().empty() ? nullptr : Scope_->FindComponent(A->GetName());
      if (Mine && std::find(Children.begin(), Children.end(), Mine) != Children.end()) Order.push_back(Mine);
    }
  }
  const std::vector<TComponent*> Stayed = Order;
  for (std::size_t I = 0; I < Children.size(); ++I) {
    TComponent* C = Children[I];
    if (std::find(Written_->begin(), Written_->end(), C) != Written_->end())
      throw EWriteError("Component " + C->GetName() + " is listed twice among the children of " + Scope_->GetName() +
                        "; a form text holds each component once");
    Written_->push_back(C);
    TComponent* Anc = AncestorScope_ && !C->GetName().empty() ? AncestorScope_->FindComponent(C->GetName()) : nullptr;
    TDfmObjectKind Kind = TDfmObjectKind::Object;
    if (Anc) {
      Kind = TDfmObjectKind::Inherited;
    } else if (InFrame) {
      throw EWriteError("Component " + C->GetName() + " was added to the frame " + Scope_->GetName() +
                        " by code; a frame's block can only change the frame's own components");
    } else if (AncestorScope_ && C->GetName().empty()) {
      throw EWriteError("A component of class " + C->ClassName() + " has no name; a form built on an ancestor names all");
    } else if (IsFrame(C)) {
      Kind = TDfmObjectKind::Inline;
      Anc = Fresh(C->ClassType(), C->ClassType(), "the frame " + C->GetName());
      if (!Anc)
        throw EWriteError("Frame " + C->GetName() + " of class " + C->ClassName() +
                          " has no form text, so it cannot be written inline");
    }
    // Order[0, I) holds Children[0, I) by now; without an ancestor every
    // child is appended where it stands.
    bool Moved = false;
    if (Ancestor) {
      auto Pos = std::find(Order.begin() + static_cast<std::ptrdiff_t>(I), Order.end(), C);
      if (Pos == Order.end()) Pos = Order.insert(Order.end(), C);
      Moved = static_cast<std::size_t>(Pos - Order.begin()) != I;
      if (Moved) {
        Order.erase(Pos);
        Order.insert(Order.begin() + static_cast<std::ptrdiff_t>(I), C);
      }
    }
    const TDfmObject* OriginalChild = FindOriginalChild(Original, C->GetName());
    TDfmObject Node = WriteObject(C, Anc, Kind, OriginalChild);
    const bool Listed = OriginalChild && OriginalChild->Kind == TDfmObjectKind::Inherited;
    const bool Here = std::find(Stayed.begin(), Stayed.end(), C) != Stayed.end();
    if (Kind == TDfmObjectKind::Inherited && Here && Node.Properties.empty() && Node.Children.empty() && !Moved &&
        !Listed)
      continue;
    if (Moved || (OriginalChild && OriginalChild->Index >= 0)) Node.Index = static_cast<int>(I);
    Out.Children.push_back(std::move(Node));
  }
}

void TWriter::WriteProperties(TObject* Instance, TObject* Ancestor, const std::string& Prefix,
                              std::vector<TDfmProperty>& Out) {
  const bool IsComponent = dynamic_cast<TComponent*>(Instance) != nullptr;
  for (const PPropInfo Info : GetPropList(Instance)) {
    // A component's name is written in its object header.
    if (IsComponent && SameIdentifier(Info->Name, "Name")) continue;
    if (!IsStoredProp(Instance, Info)) continue;
    WritePublished(Instance, Ancestor, Info, Prefix, Out);
  }
  if (auto* Persistent = dynamic_cast<TPersistent*>(Instance))
    WriteDefined(Persistent, dynamic_cast<TPersistent*>(Ancestor), Prefix, Out);
}

// The properties DefineProperties declares. With an ancestor, both are asked
// for their values (the descendant also for those it has no data for, when
// the ancestor has), and only those that differ are written.
void TWriter::WriteDefined(TPersistent* Instance, TPersistent* Ancestor, const std::string& Prefix,
                           std::vector<TDfmProperty>& Out) {
  if (!Ancestor) {
    CaptureDefined(Instance, Prefix, {}, Out);
    return;
  }
  std::vector<TDfmProperty> Theirs, Mine;
  CaptureDefined(Ancestor, Prefix, {}, Theirs);
  std::set<std::string> Forced;
  for (const TDfmProperty& P : Theirs) Forced.insert(FoldIdentifier(P.Name));
  TPersistent* SavedAncestor = GetAncestor();
  SetAncestor(Ancestor);
  try {
    CaptureDefined(Instance, Prefix, Forced, Mine);
  } catch (...) {
    SetAncestor(SavedAncestor);
    throw;
  }
  SetAncestor(SavedAncestor);
  for (TDfmProperty& P : Mine) {
    const auto Same = std::find_if(Theirs.begin(), Theirs.end(), [&](const TDfmProperty& T) {
      return SameIdentifier(T.Name, P.Name) && SameDfmValue(T.Value, P.Value);
    });
    if (Same == Theirs.end()) Out.push_back(std::move(P));
  }
}

void TWriter::CaptureDefined(TPersistent* Instance, const std::string& Prefix, const std::set<std::string>& Forced,
                             std::vector<TDfmProperty>& Out) {
  std::vector<TDfmProperty>* SavedOut = std::exchange(DefinedOut_, &Out);
  std::string SavedPrefix = std::exchange(DefinedPrefix_, Prefix);
  const std::set<std::string>* SavedForced = std::exchange(Forced_, &Forced);
  auto Restore = [&] {
    DefinedOut_ = SavedOut;
    DefinedPrefix_ = SavedPrefix;
    Forced_ = SavedForced;
  };
  try {
    Instance->DefineProperties(this);
  } catch (...) {
    Restore();
    throw;
  }
  Restore();
}

void TWriter::WritePublished(TObject* Instance, TObject* Ancestor, PPropInfo Info, const std::string& Prefix,
                             std::vector<TDfmProperty>& Out) {
  std::string Name = Prefix + Info->Name;
  TObject* Obj = Info->Kind() == tkClass ? GetObjectProp(Instance, Info) : nullptr;
  TObject* AncestorObj = Ancestor && Obj ? GetObjectProp(Ancestor, Info) : nullptr;
  if (AncestorObj && AncestorObj->ClassType() != Obj->ClassType()) AncestorObj = nullptr;
  if (Obj) {
    auto* C = dynamic_cast<TComponent*>(Obj);
    const bool Reference = C && !IsSubComponentOf(C, Instance);
    if (auto* Strings = dynamic_cast<TStrings*>(Obj)) {
      // Its own properties first, then its lines as Name.Strings.
      WriteProperties(Strings, AncestorObj, Name + ".", Out);
      Name += ".Strings";
    } else if (!Reference && !dynamic_cast<TCollection*>(Obj)) {
      // A sub-object: its properties under a dotted prefix.
      if (dynamic_cast<TPersistent*>(Obj)) WriteProperties(Obj, AncestorObj, Name + ".", Out);
      return;
    }
  }
  TDfmValue Value;
  if (!Ancestor) {
    // Defaults are left out; -0.0 is not a float default of 0 (bit for bit).
    if (Info->Kind() != tkClass && Info->Kind() != tkMethod && IsDefaultPropValue(Instance, Info)) return;
    if (!ValueOf(Instance, Info, Name, Value)) return;
    // Nothing, or an empty collection or list: the default. Handlers that
    // are not published methods of the root are installed by code, not
    // stored with the form.
    if (Info->Kind() == tkClass && (!Obj || (Value.Kind == TDfmValueKind::Collection && Value.Items.empty()) ||
                                    (Value.Kind == TDfmValueKind::List && Value.Elements.empty())))
      return;
    if (Info->Kind() == tkMethod && (Value.Text.empty() || Value.Text == "nil")) return;
    Out.push_back({Name, std::move(Value), 0});
    return;
  }
  // Compared with the ancestor's value, references and methods named within
  // the form or frame each belongs to.
  TDfmValue Mine, Theirs;
  TComponent* const SavedNaming = Naming_;
  TComponent* const SavedNamingRoot = NamingRoot_;
  auto Restore = [&] {
    Naming_ = SavedNaming;
    NamingRoot_ = SavedNamingRoot;
  };
  try {
    Naming_ = Scope_;
    NamingRoot_ = GetRoot();
    const bool HasMine = ValueOf(Instance, Info, Name, Mine);
    Naming_ = AncestorScope_;
    NamingRoot_ = AncestorRoot_;
    const bool HasTheirs = ValueOf(Ancestor, Info, Name, Theirs);
    Restore();
    if (!HasMine || (HasTheirs && SameDfmValue(Mine, Theirs))) return;
  } catch (...) {
    Restore();
    throw;
  }
  if (!ValueOf(Instance, Info, Name, Value)) return;
  if (Info->Kind() == tkMethod && Value.Text.empty()) return;
  Out.push_back({Name, std::move(Value), 0});
}

// The value of a published property as it is written, default or not. False
// for a property whose kind is not streamed (or a sub-object, written as its
// own properties).
bool TWriter::ValueOf(TObject* Instance, PPropInfo Info, const std::string& Name, TDfmValue& Out) {
  switch (Info->Kind()) {
    case tkClass: {
      TObject* Obj = GetObjectProp(Instance, Info);
      if (!Obj) {
        Out = TDfmValue::OfIdent("nil");
        return true;
      }
      if (auto* C = dynamic_cast<TComponent*>(Obj); C && !IsSubComponentOf(C, Instance)) {
        Out = ReferenceValue(C, Name);
        return true;
      }
      if (auto* Collection = dynamic_cast<TCollection*>(Obj)) {
        std::vector<TDfmItem> Items;
        for (int I = 0; I < Collection->Count(); ++I) {
          TDfmItem Item;
          WriteProperties(Collection->GetItem(I), nullptr, "", Item.Properties);
          Items.push_back(std::move(Item));
        }
        Out = TDfmValue::OfCollection(std::move(Items));
        return true;
      }
      if (auto* Strings = dynamic_cast<TStrings*>(Obj)) {
        std::vector<TDfmValue> Lines;
        for (int I = 0; I < Strings->Count(); ++I) Lines.push_back(TDfmValue::OfString(Strings->Get(I)));
        Out = TDfmValue::OfList(std::move(Lines));
        return true;
      }
      return false;
    }
    case tkMethod: Out = MethodValue(GetMethodProp(Instance, Info)); return true;
    case tkFloat: Out = TDfmValue::OfFloat(GetFloatProp(Instance, Info)); return true;
    case tkInteger:
    case tkInt64: Out = TDfmValue::OfInteger(GetOrdProp(Instance, Info)); return true;
    case tkChar:
    case tkWChar:
    case tkString:
    case tkLString: Out = TDfmValue::OfString(GetStrProp(Instance, Info)); return true;
    case tkWString:
      Out = TDfmValue::OfString(WideFormText(GetWideStrProp(Instance, Info), "Property " + Name));
      return true;
    case tkEnumeration: {
      const std::int64_t Ord = GetOrdProp(Instance, Info);
      std::string Id = GetEnumName(Info->PropType, Ord);
      if (Id.empty()) throw EWriteError("Property " + Name + " holds " + std::to_string(Ord) + ", which has no name");
      Out = TDfmValue::OfIdent(std::move(Id));
      return true;
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
      Out = TDfmValue::OfSet(std::move(Elements));
      return true;
    }
    case tkVariant: Out = VariantToValue(GetVariantProp(Instance, Info)); return true;
    default: return false;
  }
}

// Written: the component's name, dotted through the frames it is on.
// Compared: its path within the form or frame being compared ("^" and the
// path within the root when it lies outside).
TDfmValue TWriter::ReferenceValue(TComponent* Component, const std::string& PropName) const {
  if (!Naming_) return TDfmValue::OfIdent(ReferenceName(Component, PropName));
  std::string Path;
  if (PathWithin(Component, Naming_, Path)) return TDfmValue::OfIdent(Path);
  if (NamingRoot_ && PathWithin(Component, NamingRoot_, Path)) return TDfmValue::OfIdent("^" + Path);
  return TDfmValue::OfIdent("?" + Component->GetNamePath());
}

// Written: the name of a published method of the root, or an empty name for
// a handler installed by code. Compared: the method's name within the form
// or frame being compared.
TDfmValue TWriter::MethodValue(const TMethod& Method) const {
  if (Method.IsNull()) return TDfmValue::OfIdent("nil");
  if (!Naming_) return TDfmValue::OfIdent(MethodName(GetRoot(), Method));
  std::string Id = MethodName(Naming_, Method);
  if (!Id.empty()) return TDfmValue::OfIdent(Id);
  if (NamingRoot_ && !(Id = MethodName(NamingRoot_, Method)).empty()) return TDfmValue::OfIdent("^" + Id);
  return TDfmValue::OfIdent("?");
}

std::string TWriter::ReferenceName(TComponent* Component, const std::string& PropName) const {
  TComponent* Root = GetRoot();
  std::string Path;
  if (!PathWithin(Component, Root, Path))
    throw EWriteError("Property " + PropName + " refers to component '" + Component->GetNamePath() + "', which " +
                      Root->ClassName() + " '" + Root->GetName() + "' does not own; the reference could not be read back");
  for (TComponent* C = Component; C != Root; C = C->Owner())
    if (C->GetName().empty())
      throw EWriteError("Property " + PropName + " refers to an unnamed component, which could not be read back");
  if (Component != Root) return Path;
  if (Root->GetName().empty())
    throw EWriteError("Property " + PropName + " refers to an unnamed component, which could not be read back");
  // A child named like the root would be found first when reading.
  if (Root->FindComponent(Root->GetName()))
    throw EWriteError("Property " + PropName + " refers to the root, whose name one of its components shares");
  return Root->GetName();
}

void TWriter::DefineProperty(const std::string& Name, const TReaderProc&, const TWriterProc& WriteData,
                             bool HasData) {
  if (!WriteData || !DefinedOut_) return;
  if (!HasData && !(Forced_ && Forced_->count(FoldIdentifier(DefinedPrefix_ + Name)))) return;
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
  if (!WriteData || !DefinedOut_) return;
  if (!HasData && !(Forced_ && Forced_->count(FoldIdentifier(DefinedPrefix_ + Name)))) return;
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
