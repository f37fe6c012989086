#include <fyndra/platform/db/indexdefs.h>

#include <vector>

#include <fyndra/platform/db/dbtypes.h>
#include <fyndra/platform/rtl/sysutils.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {
namespace {

// Splits a semicolon-separated field list; empty entries are dropped.
std::vector<std::string> SplitFields(const std::string& List) {
  std::vector<std::string> Out;
  std::size_t Start = 0;
  while (Start <= List.size()) {
    std::size_t End = List.find(';', Start);
    if (End == std::string::npos) End = List.size();
    if (End > Start) Out.push_back(List.substr(Start, End - Start));
    Start = End + 1;
  }
  return Out;
}

bool ListHas(const std::string& List, const std::string& Name) {
  for (const std::string& F : SplitFields(List))
    if (AnsiSameText(F, Name)) return true;
  return false;
}

// The component that owns a collection, for the name prefix of its messages.
const TComponent* OwningComponent(const TOwnedCollection& Collection) {
  return dynamic_cast<const TComponent*>(const_cast<TOwnedCollection&>(Collection).GetOwner());
}

}  // namespace

FYNDRA_PUBLISHED(TIndexDef, P) {
  P.Property("Name", &TIndexDef::GetName, &TIndexDef::SetName);
  P.Property("Fields", &TIndexDef::GetFields, &TIndexDef::SetFields);
  P.Property("CaseInsFields", &TIndexDef::GetCaseInsFields, &TIndexDef::SetCaseInsFields);
  P.Property("DescFields", &TIndexDef::GetDescFields, &TIndexDef::SetDescFields);
  P.Property("Expression", &TIndexDef::GetExpression, &TIndexDef::SetExpression);
  P.Property("Options", &TIndexDef::GetOptions, &TIndexDef::SetOptions).Default(TIndexOptions{});
}
FYNDRA_IMPLEMENT_CLASS(TIndexDefs)

TIndexDef::TIndexDef(TCollection* Collection) : TCollectionItem(Collection) {}

void TIndexDef::SetName(const std::string& Value) { Name_ = Value; }
void TIndexDef::SetFields(const std::string& Value) { Fields_ = Value; }
void TIndexDef::SetCaseInsFields(const std::string& Value) { CaseInsFields_ = Value; }
void TIndexDef::SetDescFields(const std::string& Value) { DescFields_ = Value; }
void TIndexDef::SetExpression(const std::string& Value) { Expression_ = Value; }
void TIndexDef::SetOptions(TIndexOptions Value) { Options_ = Value; }

bool TIndexDef::IsCaseInsensitiveField(const std::string& FieldName) const {
  if (!CaseInsFields_.empty()) return ListHas(CaseInsFields_, FieldName);
  return Options_.Contains(ixCaseInsensitive) && ListHas(Fields_, FieldName);
}

bool TIndexDef::IsDescendingField(const std::string& FieldName) const {
  if (!DescFields_.empty()) return ListHas(DescFields_, FieldName);
  return Options_.Contains(ixDescending) && ListHas(Fields_, FieldName);
}

void TIndexDef::Assign(TPersistent* Source) {
  if (auto* Other = dynamic_cast<TIndexDef*>(Source)) {
    Name_ = Other->Name_;
    Fields_ = Other->Fields_;
    CaseInsFields_ = Other->CaseInsFields_;
    DescFields_ = Other->DescFields_;
    Expression_ = Other->Expression_;
    Options_ = Other->Options_;
    return;
  }
  TCollectionItem::Assign(Source);
}

std::string TIndexDef::GetDisplayName() const {
  return Name_.empty() ? TCollectionItem::GetDisplayName() : Name_;
}

TIndexDefs::TIndexDefs(TPersistent* Owner) : TOwnedCollection(Owner, TIndexDef::StaticClass()) {}

TIndexDef* TIndexDefs::GetItem(int Index) const {
  return static_cast<TIndexDef*>(TOwnedCollection::GetItem(Index));
}

TIndexDef* TIndexDefs::AddIndexDef() { return static_cast<TIndexDef*>(TOwnedCollection::Add()); }

void TIndexDefs::Add(const std::string& Name, const std::string& Fields, TIndexOptions Options) {
  TIndexDef* Def = AddIndexDef();
  Def->SetName(Name);
  Def->SetFields(Fields);
  Def->SetOptions(Options);
}

int TIndexDefs::IndexOf(const std::string& Name) const {
  for (int I = 0; I < Count(); ++I)
    if (AnsiSameText(GetItem(I)->GetName(), Name)) return I;
  return -1;
}

TIndexDef* TIndexDefs::Find(const std::string& Name) const {
  int I = IndexOf(Name);
  if (I < 0) DatabaseError(Format(dbmsg::SIndexNotFound, {Name}), OwningComponent(*this));
  return GetItem(I);
}

TIndexDef* TIndexDefs::GetIndexForFields(const std::string& Fields, bool CaseInsensitive) const {
  const std::vector<std::string> Wanted = SplitFields(Fields);
  if (Wanted.empty()) return nullptr;
  // An index fits when its key starts with the wanted fields and treats each of
  // them with the wanted case rule; an index whose key is exactly those fields
  // is preferred over a longer one.
  TIndexDef* Prefix = nullptr;
  for (int I = 0; I < Count(); ++I) {
    TIndexDef* Def = GetItem(I);
    if (Def->GetOptions().Contains(ixExpression)) continue;
    const std::vector<std::string> Key = SplitFields(Def->GetFields());
    if (Key.size() < Wanted.size()) continue;
    bool Fits = true;
    for (std::size_t F = 0; F < Wanted.size() && Fits; ++F)
      Fits = AnsiSameText(Key[F], Wanted[F]) && Def->IsCaseInsensitiveField(Key[F]) == CaseInsensitive;
    if (!Fits) continue;
    if (Key.size() == Wanted.size()) return Def;
    if (!Prefix) Prefix = Def;
  }
  return Prefix;
}

TIndexDef* TIndexDefs::FindIndexForFields(const std::string& Fields) const {
  if (TIndexDef* Def = GetIndexForFields(Fields, false)) return Def;
  if (TIndexDef* Def = GetIndexForFields(Fields, true)) return Def;
  DatabaseError(Format(dbmsg::SNoIndexForFields, {Fields}), OwningComponent(*this));
}

void TIndexDefs::Update() {
  if (Updater_) Updater_(*this);
  Updated_ = true;
}

}  // namespace fyndra
