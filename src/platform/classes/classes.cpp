#include <fyndra/platform/classes/classes.h>

#include <algorithm>
#include <utility>
#include <cctype>
#include <numeric>

#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {

namespace {

bool SameIdent(std::string_view A, std::string_view B) { return SameIdentifier(A, B); }

[[noreturn]] void ListIndexError(int Index) {
  throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
}

}  // namespace

// ---------------------------------------------------------------------------
// TPersistent

FYNDRA_IMPLEMENT_CLASS(TPersistent)

void TPersistent::Assign(TPersistent* Source) {
  if (!Source) AssignError(nullptr);
  Source->AssignTo(this);
}

void TPersistent::AssignTo(TPersistent* Dest) { Dest->AssignError(this); }

void TPersistent::AssignError(TPersistent* Source) {
  std::string SourceName = Source ? Source->ClassName() : "nil";
  throw EConvertError("Cannot assign a " + SourceName + " to a " + ClassName());
}

TPersistent* TPersistent::GetOwner() { return nullptr; }

std::string TPersistent::GetNamePath() {
  std::string Result = ClassName();
  if (TPersistent* Owner = GetOwner()) {
    std::string S = Owner->GetNamePath();
    if (!S.empty()) Result = S + "." + Result;
  }
  return Result;
}

void TPersistent::DefineProperties(TFiler*) {}

// ---------------------------------------------------------------------------
// TComponent

FYNDRA_PUBLISHED(TComponent, P) {
  // The name is streamed in the object's header, not as a property.
  P.Property("Name", &TComponent::GetName, &TComponent::SetName).Stored(false);
  P.Property("Tag", &TComponent::GetTag, &TComponent::SetTag).Default(0);
}

bool IsValidIdent(std::string_view Ident) { return IsIdentifier(Ident); }

TComponent::~TComponent() {
  // A plain delete: do the bookkeeping that Free does in BeforeDestruction.
  Destroying();
  ReleaseAll();
}

void TComponent::AfterConstruction() {
  TPersistent::AfterConstruction();
  if (TComponent* Owner = PendingOwner_) {
    PendingOwner_ = nullptr;
    Owner->InsertComponent(this);
  }
}

void TComponent::BeforeDestruction() {
  ReleaseAll();
  TPersistent::BeforeDestruction();
}

void TComponent::Destroying() {
  if (State_.Contains(csDestroying)) return;
  State_.Include(csDestroying);
  for (TComponent* C : Components_) C->Destroying();
}

void TComponent::ReleaseAll() {
  if (Released_) return;
  Released_ = true;
  // Tell every linked component, unlinking first so that a Notification
  // override that does not call the inherited one cannot loop.
  while (!FreeNotifies_.empty()) {
    TComponent* C = FreeNotifies_.back();
    FreeNotifies_.pop_back();
    C->RemoveNotification(this);
    C->Notification(this, opRemove);
  }
  DestroyComponents();
  if (Owner_) Owner_->RemoveComponent(this);
  PendingOwner_ = nullptr;
}

void TComponent::SetName(const std::string& NewName) {
  if (Name_ == NewName) return;
  if (!NewName.empty() && !IsValidIdent(NewName))
    throw EComponentError("\"" + NewName + "\" is not a valid component name");
  if (Owner_)
    Owner_->ValidateRename(this, Name_, NewName);
  else
    ValidateRename(nullptr, Name_, NewName);
  Name_ = NewName;
  NameKey_ = FoldIdentifier(NewName);
}

void TComponent::ValidateRename(TComponent* Component, const std::string& CurName, const std::string& NewName) {
  if (Component && !SameIdent(CurName, NewName) && Component->Owner_ == this && FindComponent(NewName))
    throw EComponentError("A component named " + NewName + " already exists");
}

void TComponent::ValidateInsert(TComponent*) {}

TComponent* TComponent::GetComponent(int Index) const {
  if (Index < 0 || Index >= ComponentCount()) ListIndexError(Index);
  return Components_[static_cast<std::size_t>(Index)];
}

int TComponent::GetComponentIndex() const {
  if (!Owner_) return -1;
  auto It = std::find(Owner_->Components_.begin(), Owner_->Components_.end(), this);
  return static_cast<int>(It - Owner_->Components_.begin());
}

void TComponent::SetComponentIndex(int Value) {
  if (!Owner_) return;
  auto& List = Owner_->Components_;
  int Cur = GetComponentIndex();
  int Last = static_cast<int>(List.size()) - 1;
  Value = std::clamp(Value, 0, Last);
  if (Cur == Value) return;
  List.erase(List.begin() + Cur);
  List.insert(List.begin() + Value, this);
}

TComponent* TComponent::FindComponent(std::string_view Name) const {
  if (Name.empty()) return nullptr;
  const std::string Key = FoldIdentifier(Name);
  for (TComponent* C : Components_)
    if (C->NameKey_ == Key) return C;
  return nullptr;
}

void TComponent::InsertComponent(TComponent* Component) {
  if (!Component) return;
  if (Component->Owner_ == this) return;
  // An ownership cycle would make every notification and the owner's freeing
  // run round the cycle for ever.
  for (TComponent* O = this; O; O = O->Owner_)
    if (O == Component)
      throw EComponentError("Component " + (Component->Name_.empty() ? Component->ClassName() : Component->Name_) +
                            " cannot be owned by itself or by a component it owns");
  ValidateInsert(Component);
  ValidateRename(Component, "", Component->Name_);
  // Checked before leaving the old owner, so a refused insert changes nothing.
  if (!Component->Name_.empty() && FindComponent(Component->Name_))
    throw EComponentError("A component named " + Component->Name_ + " already exists");
  if (Component->Owner_) Component->Owner_->RemoveComponent(Component);
  Insert(Component);
  if (State_.Contains(csDesigning)) Component->SetDesigning(true);
  Notification(Component, opInsert);
}

void TComponent::RemoveComponent(TComponent* Component) {
  if (!Component || Component->Owner_ != this) return;
  // Free notifications asked between Component and its siblings were covered
  // by this owner's removal notices. A component that lives on elsewhere needs
  // real links instead, or its reference to a former sibling would dangle
  // when that sibling is freed. (Siblings that refer to Component let go of
  // it on the opRemove notice below.)
  std::vector<TComponent*> Siblings = std::exchange(Component->SiblingLinks_, {});
  for (TComponent* S : Siblings) std::erase(S->SiblingLinks_, Component);
  Notification(Component, opRemove);
  // A component that is being freed (itself or with this owner) needs no links.
  if (!Component->Released_ && !Component->State_.Contains(csDestroying)) {
    for (TComponent* S : Siblings) {
      // Skip a sibling freed or removed by a Notification override.
      if (std::find(Components_.begin(), Components_.end(), S) == Components_.end() || S->Released_ ||
          S->State_.Contains(csDestroying))
        continue;
      if (std::find(Component->FreeNotifies_.begin(), Component->FreeNotifies_.end(), S) ==
          Component->FreeNotifies_.end())
        Component->FreeNotifies_.push_back(S);
      if (std::find(S->FreeNotifies_.begin(), S->FreeNotifies_.end(), Component) == S->FreeNotifies_.end())
        S->FreeNotifies_.push_back(Component);
    }
  }
  Remove(Component);
}

void TComponent::Insert(TComponent* Component) {
  Components_.push_back(Component);
  Component->Owner_ = this;
}

void TComponent::Remove(TComponent* Component) {
  // Searched from the end: an owner frees its components last first.
  auto It = std::find(Components_.rbegin(), Components_.rend(), Component);
  if (It != Components_.rend()) Components_.erase(std::next(It).base());
  Component->Owner_ = nullptr;
}

void TComponent::DestroyComponents() {
  // Last first. Every removal is announced to the owner tree, so that a
  // component referring to a sibling never keeps a pointer to a freed one.
  while (!Components_.empty()) {
    TComponent* C = Components_.back();
    RemoveComponent(C);
    if (C->Owner_ == this) Remove(C);  // a Notification override may have refused
    C->Free();
  }
}

void TComponent::SetSubComponent(bool Value) {
  if (Value)
    Style_.Include(csSubComponent);
  else
    Style_.Exclude(csSubComponent);
}

void TComponent::FreeNotification(TComponent* Component) {
  if (!Component || Component == this) return;
  // Components of one owner hear of each other's removal from the owner.
  if (!Owner_ || Component->Owner_ != Owner_) {
    if (std::find(FreeNotifies_.begin(), FreeNotifies_.end(), Component) == FreeNotifies_.end()) {
      FreeNotifies_.push_back(Component);
      Component->FreeNotification(this);
    }
  } else if (std::find(SiblingLinks_.begin(), SiblingLinks_.end(), Component) == SiblingLinks_.end()) {
    SiblingLinks_.push_back(Component);
    Component->SiblingLinks_.push_back(this);
  }
  State_.Include(csFreeNotification);
}

void TComponent::RemoveFreeNotification(TComponent* Component) {
  if (!Component) return;
  RemoveNotification(Component);
  Component->RemoveNotification(this);
  std::erase(SiblingLinks_, Component);
  std::erase(Component->SiblingLinks_, this);
}

void TComponent::RemoveNotification(TComponent* Component) {
  auto It = std::find(FreeNotifies_.begin(), FreeNotifies_.end(), Component);
  if (It != FreeNotifies_.end()) FreeNotifies_.erase(It);
}

void TComponent::Notification(TComponent* Component, TOperation Operation) {
  if (Operation == opRemove && Component) RemoveFreeNotification(Component);
  // Owned components may be removed by the calls; walk down from the end and
  // re-clamp the index, so each remaining component is told once.
  int I = ComponentCount() - 1;
  while (I >= 0) {
    Components_[static_cast<std::size_t>(I)]->Notification(Component, Operation);
    --I;
    if (I >= ComponentCount()) I = ComponentCount() - 1;
  }
}

void TComponent::BeginLoading() {
  State_.Include(csLoading);
  State_.Include(csReading);
}

void TComponent::EndReading() { State_.Exclude(csReading); }

void TComponent::EndLoading() {
  State_.Exclude(csReading);
  Loaded();
}

void TComponent::Loaded() { State_.Exclude(csLoading); }

void TComponent::SetWriting(bool Value) {
  if (Value)
    State_.Include(csWriting);
  else
    State_.Exclude(csWriting);
}

void TComponent::SetDesigning(bool Value, bool SetChildren) {
  if (Value)
    State_.Include(csDesigning);
  else
    State_.Exclude(csDesigning);
  if (SetChildren)
    for (TComponent* C : Components_) C->SetDesigning(Value, true);
}

void TComponent::SetUpdating(bool Value) {
  if (Value)
    State_.Include(csUpdating);
  else
    State_.Exclude(csUpdating);
}

void TComponent::SetAncestor(bool Value) {
  if (Value)
    State_.Include(csAncestor);
  else
    State_.Exclude(csAncestor);
  for (TComponent* C : Components_) C->SetAncestor(Value);
}

void TComponent::GetChildren(const std::function<void(TComponent*)>& Proc, TComponent*) {
  std::vector<TComponent*> List = Components_;  // Proc may create components
  for (TComponent* C : List)
    if (!C->Style_.Contains(csSubComponent)) Proc(C);
}

void TComponent::SetInline(bool Value) {
  if (Value)
    State_.Include(csInline);
  else
    State_.Exclude(csInline);
}

void TComponent::SetChildOrder(TComponent* Child, int Order) {
  std::vector<TComponent*> Children;
  GetChildren([&](TComponent* C) { Children.push_back(C); }, this);
  const auto Self = std::find(Children.begin(), Children.end(), Child);
  if (Self == Children.end() || Child->Owner_ != this || Order < 0) return;
  // Taking the owner-list place of the child listed at Order puts Child at
  // that position among the listed ones, whether it moves up or down.
  const std::size_t Target = std::min(static_cast<std::size_t>(Order), Children.size() - 1);
  Child->SetComponentIndex(Children[Target]->GetComponentIndex());
}

TComponent* CreateComponent(TClass Class, TComponent* Owner) {
  if (!Class || !Class->InheritsFrom(TComponent::StaticClass()))
    throw EComponentError("Class " + (Class ? Class->Name : std::string("nil")) + " is not a component class");
  return static_cast<TComponent*>(Class->CreateInstance(Owner));
}

// ---------------------------------------------------------------------------
// TCollectionItem

FYNDRA_IMPLEMENT_CLASS(TCollectionItem)

TCollectionItem::~TCollectionItem() {
  if (Collection_) {
    try {
      Collection_->RemoveItem(this);
    } catch (...) {
      // A destructor cannot raise; the item has left the collection regardless.
    }
  }
}

void TCollectionItem::AfterConstruction() {
  TPersistent::AfterConstruction();
  if (TCollection* C = PendingCollection_) {
    PendingCollection_ = nullptr;
    SetCollection(C);
  }
}

void TCollectionItem::BeforeDestruction() {
  SetCollection(nullptr);
  TPersistent::BeforeDestruction();
}

void TCollectionItem::SetCollection(TCollection* Value) {
  if (Collection_ == Value) return;
  if (Value && !InheritsFrom(Value->ItemClass_))
    throw EComponentError("Cannot add a " + ClassName() + " to a collection of " +
                          (Value->ItemClass_ ? Value->ItemClass_->Name : std::string("nil")));
  if (Collection_) Collection_->RemoveItem(this);
  if (Value) Value->InsertItem(this);
}

int TCollectionItem::GetIndex() const {
  if (!Collection_) return -1;
  const auto& L = Collection_->Items_;
  return static_cast<int>(std::find(L.begin(), L.end(), this) - L.begin());
}

void TCollectionItem::SetIndex(int Value) {
  int Cur = GetIndex();
  if (Cur < 0 || Cur == Value) return;
  auto& L = Collection_->Items_;
  if (Value < 0 || Value >= static_cast<int>(L.size())) ListIndexError(Value);
  L.erase(L.begin() + Cur);
  L.insert(L.begin() + Value, this);
  Changed(true);
}

std::string TCollectionItem::GetDisplayName() const { return ClassName(); }

void TCollectionItem::SetDisplayName(const std::string&) { Changed(false); }

std::string TCollectionItem::GetNamePath() {
  if (!Collection_) return ClassName();
  return Collection_->GetNamePath() + "[" + std::to_string(GetIndex()) + "]";
}

TPersistent* TCollectionItem::GetOwner() { return Collection_; }

void TCollectionItem::Changed(bool AllItems) {
  if (Collection_ && Collection_->UpdateCount_ == 0) Collection_->Update(AllItems ? nullptr : this);
}

// ---------------------------------------------------------------------------
// TCollection

FYNDRA_IMPLEMENT_CLASS(TCollection)
FYNDRA_IMPLEMENT_CLASS(TOwnedCollection)

TCollection::~TCollection() {
  // A plain delete: the collection is no longer whole, so the items are
  // deleted without their dying work (which may call back into it).
  UpdateCount_ = 1;
  while (!Items_.empty()) {
    TCollectionItem* Item = Items_.back();
    Items_.pop_back();
    Item->Collection_ = nullptr;
    delete Item;
  }
}

void TCollection::BeforeDestruction() {
  UpdateCount_ = 1;  // no Update from here on
  Clear();
  TPersistent::BeforeDestruction();
}

TCollectionItem* TCollection::Add() {
  if (!ItemClass_) throw EComponentError("Collection " + ClassName() + " has no item class");
  TObject* Obj = ItemClass_->CreateInstance(this);
  auto* Item = dynamic_cast<TCollectionItem*>(Obj);
  if (!Item) {
    fyndra::Free(Obj);
    throw EComponentError("Class " + ItemClass_->Name + " is not a collection item class");
  }
  return Item;
}

TCollectionItem* TCollection::Insert(int Index) {
  if (Index < 0 || Index > Count()) ListIndexError(Index);
  TCollectionItem* Item = Add();
  Item->SetIndex(Index);
  return Item;
}

void TCollection::Delete(int Index) {
  TCollectionItem* Item = GetItem(Index);
  Notify(Item, cnDeleting);
  Item->Free();
}

void TCollection::Clear() {
  if (Items_.empty()) return;
  BeginUpdate();
  try {
    while (!Items_.empty()) Items_.back()->Free();
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TCollection::BeginUpdate() { ++UpdateCount_; }

void TCollection::EndUpdate() {
  if (UpdateCount_ > 0) --UpdateCount_;
  Changed();
}

TCollectionItem* TCollection::GetItem(int Index) const {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
  return Items_[static_cast<std::size_t>(Index)];
}

void TCollection::SetItem(int Index, TCollectionItem* Value) { GetItem(Index)->Assign(Value); }

TCollectionItem* TCollection::FindItemID(int ID) const {
  for (TCollectionItem* Item : Items_)
    if (Item->ID_ == ID) return Item;
  return nullptr;
}

void TCollection::Assign(TPersistent* Source) {
  auto* Other = dynamic_cast<TCollection*>(Source);
  if (!Other) {
    TPersistent::Assign(Source);
    return;
  }
  if (Other == this) return;
  BeginUpdate();
  try {
    Clear();
    for (TCollectionItem* Item : Other->Items_) Add()->Assign(Item);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

std::string TCollection::GetPropName() {
  TPersistent* Owner = GetOwner();
  if (!Owner) return {};
  for (PPropInfo P : GetPropList(Owner))
    if (P->Kind() == tkClass && GetObjectProp(Owner, P) == this) return P->Name;
  return {};
}

std::string TCollection::GetNamePath() {
  std::string Result = ClassName();
  TPersistent* Owner = GetOwner();
  if (!Owner) return Result;
  std::string S = Owner->GetNamePath();
  if (S.empty()) return Result;
  std::string Prop = GetPropName();
  if (Prop.empty()) return Result;
  return S + "." + Prop;
}

void TCollection::Changed() {
  if (UpdateCount_ == 0) Update(nullptr);
}

void TCollection::Update(TCollectionItem*) {}

void TCollection::Notify(TCollectionItem*, TCollectionNotification) {}

void TCollection::InsertItem(TCollectionItem* Item) {
  Items_.push_back(Item);
  Item->Collection_ = this;
  Item->ID_ = NextID_++;
  Notify(Item, cnAdded);
  Changed();
}

void TCollection::RemoveItem(TCollectionItem* Item) {
  Notify(Item, cnExtracting);
  // Searched from the end: Clear and destruction remove the last item first.
  auto It = std::find(Items_.rbegin(), Items_.rend(), Item);
  if (It != Items_.rend()) Items_.erase(std::next(It).base());
  Item->Collection_ = nullptr;
  Changed();
}

// ---------------------------------------------------------------------------
// TStrings

FYNDRA_IMPLEMENT_CLASS(TStrings)

void TStrings::Put(int Index, const std::string& S) {
  TObject* Object = GetObject(Index);
  Delete(Index);
  InsertObject(Index, S, Object);
}

TObject* TStrings::GetObject(int) const { return nullptr; }

void TStrings::PutObject(int, TObject*) {}

int TStrings::Add(const std::string& S) {
  int Result = GetCount();
  Insert(Result, S);
  return Result;
}

int TStrings::AddObject(const std::string& S, TObject* Object) {
  int Result = Add(S);
  PutObject(Result, Object);
  return Result;
}

void TStrings::AddStrings(const TStrings& Strings) {
  BeginUpdate();
  try {
    for (int I = 0; I < Strings.GetCount(); ++I) AddObject(Strings.Get(I), Strings.GetObject(I));
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStrings::InsertObject(int Index, const std::string& S, TObject* Object) {
  Insert(Index, S);
  PutObject(Index, Object);
}

void TStrings::Move(int CurIndex, int NewIndex) {
  if (CurIndex == NewIndex) return;
  if (NewIndex < 0 || NewIndex >= GetCount()) ListIndexError(NewIndex);
  BeginUpdate();
  try {
    std::string S = Get(CurIndex);
    TObject* Object = GetObject(CurIndex);
    Delete(CurIndex);
    InsertObject(NewIndex, S, Object);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStrings::Exchange(int Index1, int Index2) {
  BeginUpdate();
  try {
    std::string S = Get(Index1);
    TObject* Object = GetObject(Index1);
    Put(Index1, Get(Index2));
    PutObject(Index1, GetObject(Index2));
    Put(Index2, S);
    PutObject(Index2, Object);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

int TStrings::IndexOf(const std::string& S) const {
  for (int I = 0; I < GetCount(); ++I)
    if (CompareStrings(Get(I), S) == 0) return I;
  return -1;
}

int TStrings::IndexOfObject(const TObject* Object) const {
  for (int I = 0; I < GetCount(); ++I)
    if (GetObject(I) == Object) return I;
  return -1;
}

int TStrings::IndexOfName(const std::string& Name) const {
  for (int I = 0; I < GetCount(); ++I) {
    std::string S = Get(I);
    std::size_t P = S.find('=');
    if (P != std::string::npos && CompareStrings(S.substr(0, P), Name) == 0) return I;
  }
  return -1;
}

std::string TStrings::GetName(int Index) const {
  std::string S = Get(Index);
  std::size_t P = S.find('=');
  return P == std::string::npos ? std::string() : S.substr(0, P);
}

std::string TStrings::GetValueFromIndex(int Index) const {
  std::string S = Get(Index);
  std::size_t P = S.find('=');
  return P == std::string::npos ? std::string() : S.substr(P + 1);
}

std::string TStrings::GetValue(const std::string& Name) const {
  int I = IndexOfName(Name);
  return I < 0 ? std::string() : GetValueFromIndex(I);
}

void TStrings::SetValue(const std::string& Name, const std::string& Value) {
  int I = IndexOfName(Name);
  if (!Value.empty()) {
    if (I < 0)
      Add(Name + "=" + Value);
    else
      Put(I, Name + "=" + Value);
  } else if (I >= 0) {
    Delete(I);
  }
}

std::string TStrings::GetText() const {
  std::string R;
  for (int I = 0; I < GetCount(); ++I) {
    R += Get(I);
    R += '\n';
  }
  return R;
}

void TStrings::SetText(const std::string& Value) {
  BeginUpdate();
  try {
    Clear();
    std::size_t P = 0;
    while (P < Value.size()) {
      std::size_t E = Value.find_first_of("\r\n", P);
      if (E == std::string::npos) {
        Add(Value.substr(P));
        break;
      }
      Add(Value.substr(P, E - P));
      P = E + ((Value[E] == '\r' && E + 1 < Value.size() && Value[E + 1] == '\n') ? 2 : 1);
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

std::string TStrings::Quoted(const std::string& S, char Delimiter) const {
  bool NeedsQuote = false;
  for (char C : S) {
    auto U = static_cast<unsigned char>(C);
    if (U <= ' ' || C == QuoteChar_ || C == Delimiter) {
      NeedsQuote = true;
      break;
    }
  }
  if (!NeedsQuote) return S;
  std::string R(1, QuoteChar_);
  for (char C : S) {
    R += C;
    if (C == QuoteChar_) R += C;
  }
  R += QuoteChar_;
  return R;
}

std::string TStrings::GetDelimitedText() const {
  int N = GetCount();
  if (N == 1 && Get(0).empty()) return std::string(2, QuoteChar_);
  std::string R;
  for (int I = 0; I < N; ++I) {
    if (I > 0) R += Delimiter_;
    R += Quoted(Get(I), Delimiter_);
  }
  return R;
}

void TStrings::SetDelimitedText(const std::string& Value) {
  auto IsBlank = [](char C) {
    auto U = static_cast<unsigned char>(C);
    return U >= 1 && U <= ' ';
  };
  BeginUpdate();
  try {
    Clear();
    std::size_t P = 0, N = Value.size();
    while (P < N && IsBlank(Value[P])) ++P;
    while (P < N) {
      std::string S;
      if (Value[P] == QuoteChar_) {
        ++P;
        while (P < N) {
          if (Value[P] == QuoteChar_) {
            if (P + 1 < N && Value[P + 1] == QuoteChar_) {
              S += QuoteChar_;
              P += 2;
              continue;
            }
            ++P;
            break;
          }
          S += Value[P++];
        }
      } else {
        std::size_t Start = P;
        while (P < N && static_cast<unsigned char>(Value[P]) > ' ' && Value[P] != Delimiter_) ++P;
        S = Value.substr(Start, P - Start);
      }
      Add(S);
      while (P < N && IsBlank(Value[P])) ++P;
      if (P < N && Value[P] == Delimiter_) {
        if (P + 1 == N) Add("");
        do {
          ++P;
        } while (P < N && IsBlank(Value[P]));
      }
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

std::string TStrings::GetCommaText() const {
  if (Delimiter_ == ',' && QuoteChar_ == '"') return GetDelimitedText();
  TStringList Copy;
  Copy.AddStrings(*this);
  return Copy.GetDelimitedText();
}

void TStrings::SetCommaText(const std::string& Value) {
  char D = Delimiter_, Q = QuoteChar_;
  Delimiter_ = ',';
  QuoteChar_ = '"';
  try {
    SetDelimitedText(Value);
  } catch (...) {
    Delimiter_ = D;
    QuoteChar_ = Q;
    throw;
  }
  Delimiter_ = D;
  QuoteChar_ = Q;
}

void TStrings::BeginUpdate() {
  if (UpdateCount_ == 0) SetUpdateState(true);
  ++UpdateCount_;
}

void TStrings::EndUpdate() {
  if (UpdateCount_ == 0) return;
  --UpdateCount_;
  if (UpdateCount_ == 0) SetUpdateState(false);
}

bool TStrings::Equals(const TStrings& Other) const {
  if (GetCount() != Other.GetCount()) return false;
  for (int I = 0; I < GetCount(); ++I)
    if (Get(I) != Other.Get(I)) return false;
  return true;
}

void TStrings::Assign(TPersistent* Source) {
  auto* Other = dynamic_cast<TStrings*>(Source);
  if (!Other) {
    TPersistent::Assign(Source);
    return;
  }
  if (Other == this) return;
  BeginUpdate();
  try {
    Clear();
    Delimiter_ = Other->Delimiter_;
    QuoteChar_ = Other->QuoteChar_;
    AddStrings(*Other);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

int TStrings::CompareStrings(const std::string& S1, const std::string& S2) const { return AnsiCompareText(S1, S2); }

void TStrings::SetUpdateState(bool) {}

// ---------------------------------------------------------------------------
// TStringList

FYNDRA_IMPLEMENT_CLASS(TStringList)

void TStringList::CheckIndex(int Index) const {
  if (Index < 0 || Index >= GetCount()) ListIndexError(Index);
}

std::string TStringList::Get(int Index) const {
  CheckIndex(Index);
  return Items_[static_cast<std::size_t>(Index)].S;
}

void TStringList::Put(int Index, const std::string& S) {
  if (Sorted_) throw EStringListError("Operation not allowed on sorted list");
  CheckIndex(Index);
  Changing();
  Items_[static_cast<std::size_t>(Index)].S = S;
  Changed();
}

TObject* TStringList::GetObject(int Index) const {
  CheckIndex(Index);
  return Items_[static_cast<std::size_t>(Index)].Object;
}

void TStringList::PutObject(int Index, TObject* Object) {
  CheckIndex(Index);
  Changing();
  Items_[static_cast<std::size_t>(Index)].Object = Object;
  Changed();
}

int TStringList::Add(const std::string& S) {
  int Index = GetCount();
  if (Sorted_ && Find(S, Index)) {
    switch (Duplicates_) {
      case dupIgnore:
        return Index;
      case dupError:
        throw EStringListError("String list does not allow duplicates");
      case dupAccept:
        break;
    }
  }
  InsertItem(Index, S, nullptr);
  return Index;
}

void TStringList::Insert(int Index, const std::string& S) {
  if (Sorted_) throw EStringListError("Operation not allowed on sorted list");
  if (Index < 0 || Index > GetCount()) ListIndexError(Index);
  InsertItem(Index, S, nullptr);
}

void TStringList::InsertItem(int Index, const std::string& S, TObject* Object) {
  Changing();
  Items_.insert(Items_.begin() + Index, TItem{S, Object});
  Changed();
}

void TStringList::Delete(int Index) {
  CheckIndex(Index);
  Changing();
  Items_.erase(Items_.begin() + Index);
  Changed();
}

void TStringList::Clear() {
  if (Items_.empty()) return;
  Changing();
  Items_.clear();
  Changed();
}

void TStringList::Exchange(int Index1, int Index2) {
  CheckIndex(Index1);
  CheckIndex(Index2);
  Changing();
  std::swap(Items_[static_cast<std::size_t>(Index1)], Items_[static_cast<std::size_t>(Index2)]);
  Changed();
}

int TStringList::IndexOf(const std::string& S) const {
  if (!Sorted_) return TStrings::IndexOf(S);
  int Index = 0;
  return Find(S, Index) ? Index : -1;
}

bool TStringList::Find(const std::string& S, int& Index) const {
  // The first position whose string is not less than S.
  int L = 0, H = GetCount();
  while (L < H) {
    int M = L + (H - L) / 2;
    if (CompareStrings(Items_[static_cast<std::size_t>(M)].S, S) < 0)
      L = M + 1;
    else
      H = M;
  }
  Index = L;
  return L < GetCount() && CompareStrings(Items_[static_cast<std::size_t>(L)].S, S) == 0;
}

void TStringList::Sort() {
  CustomSort([](TStringList& List, int A, int B) { return List.CompareStrings(List.Items_[A].S, List.Items_[B].S); });
}

void TStringList::CustomSort(const std::function<int(TStringList&, int, int)>& Compare) {
  if (GetCount() < 2) return;
  std::vector<int> Order(Items_.size());
  std::iota(Order.begin(), Order.end(), 0);
  // The comparison sees the list as it was: positions are the original ones.
  std::stable_sort(Order.begin(), Order.end(), [&](int A, int B) { return Compare(*this, A, B) < 0; });
  std::vector<TItem> Sorted;
  Sorted.reserve(Items_.size());
  for (int I : Order) Sorted.push_back(Items_[static_cast<std::size_t>(I)]);
  Changing();
  Items_ = std::move(Sorted);
  Changed();
}

void TStringList::SetSorted(bool Value) {
  if (Sorted_ == Value) return;
  if (Value) Sort();
  Sorted_ = Value;
}

void TStringList::SetCaseSensitive(bool Value) {
  if (CaseSensitive_ == Value) return;
  CaseSensitive_ = Value;
  if (Sorted_) Sort();
}

int TStringList::CompareStrings(const std::string& S1, const std::string& S2) const {
  return CaseSensitive_ ? AnsiCompareStr(S1, S2) : AnsiCompareText(S1, S2);
}

void TStringList::SetUpdateState(bool Updating) {
  if (Updating)
    Changing();
  else
    Changed();
}

void TStringList::Changed() {
  if (GetUpdateCount() == 0 && OnChange_) OnChange_(this);
}

void TStringList::Changing() {
  if (GetUpdateCount() == 0 && OnChanging_) OnChanging_(this);
}

// ---------------------------------------------------------------------------
// TList and TStack

void TList::CheckIndex(int Index) const {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
}

void* TList::Get(int Index) const {
  CheckIndex(Index);
  return Items_[static_cast<std::size_t>(Index)];
}

void TList::Put(int Index, void* Item) {
  CheckIndex(Index);
  Items_[static_cast<std::size_t>(Index)] = Item;
}

int TList::Add(void* Item) {
  Items_.push_back(Item);
  return Count() - 1;
}

void TList::Insert(int Index, void* Item) {
  if (Index < 0 || Index > Count()) ListIndexError(Index);
  Items_.insert(Items_.begin() + Index, Item);
}

void TList::Delete(int Index) {
  CheckIndex(Index);
  Items_.erase(Items_.begin() + Index);
}

int TList::Remove(void* Item) {
  int I = IndexOf(Item);
  if (I >= 0) Delete(I);
  return I;
}

void* TList::Extract(void* Item) {
  int I = IndexOf(Item);
  if (I < 0) return nullptr;
  Delete(I);
  return Item;
}

int TList::IndexOf(const void* Item) const {
  auto It = std::find(Items_.begin(), Items_.end(), Item);
  return It == Items_.end() ? -1 : static_cast<int>(It - Items_.begin());
}

void TList::Move(int CurIndex, int NewIndex) {
  if (CurIndex == NewIndex) return;
  CheckIndex(CurIndex);
  CheckIndex(NewIndex);
  void* Item = Items_[static_cast<std::size_t>(CurIndex)];
  Items_.erase(Items_.begin() + CurIndex);
  Items_.insert(Items_.begin() + NewIndex, Item);
}

void TList::Exchange(int Index1, int Index2) {
  CheckIndex(Index1);
  CheckIndex(Index2);
  std::swap(Items_[static_cast<std::size_t>(Index1)], Items_[static_cast<std::size_t>(Index2)]);
}

void* TList::First() const { return Get(0); }

void* TList::Last() const { return Get(Count() - 1); }

void* TStack::Pop() {
  if (Items_.empty()) return nullptr;
  void* Item = Items_.back();
  Items_.pop_back();
  return Item;
}

}  // namespace fyndra
