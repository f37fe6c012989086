#include <fyndra/platform/classes/system.h>

#include <algorithm>
#include <cctype>
#include <map>

#include <fyndra/platform/classes/classes.h>
#include <fyndra/platform/classes/typinfo.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {

// ---------------------------------------------------------------------------
// TObject

TObject::~TObject() = default;

TClass TObject::StaticClass() {
  static const std::unique_ptr<TClassInfo> Info =
      detail::MakeClassInfo("TObject", nullptr, nullptr, [](TPropTable&) {});
  return Info.get();
}

void TObject::PublishProperties(TPublisher<TObject>&) {}

TClass TObject::ClassType() const { return StaticClass(); }

const std::string& TObject::ClassName() const { return ClassType()->Name; }

TClass TObject::ClassParent() const { return ClassType()->Parent; }

bool TObject::InheritsFrom(TClass Class) const { return ClassType()->InheritsFrom(Class); }

void TObject::Free() { fyndra::Free(this); }

void Free(TObject* Obj) {
  if (!Obj) return;
  Obj->Destroying();
  Obj->BeforeDestruction();
  delete Obj;
}

// ---------------------------------------------------------------------------
// TClassInfo

bool TClassInfo::InheritsFrom(TClass Class) const {
  for (TClass C = this; C; C = C->Parent)
    if (C == Class) return true;
  return false;
}

TObject* TClassInfo::CreateInstance(TObject* Arg) const {
  if (!Construct) throw EComponentError("Cannot create an instance of class " + Name);
  return Construct(Arg);
}

const TPropTable& TClassInfo::Properties() const {
  std::call_once(PropsOnce, [this] {
    auto Table = std::make_shared<TPropTable>();
    if (Parent) *Table = Parent->Properties();  // shares the parent's entries
    if (Publish) Publish(*Table);
    for (std::size_t I = 0; I < Table->List.size(); ++I) {
      // The parent's entries are shared; NameIndex is per position, so copy
      // an entry whose position differs.
      if (Table->List[I]->NameIndex != static_cast<int>(I)) {
        auto Copy = std::make_shared<TPropInfo>(*Table->List[I]);
        Copy->NameIndex = static_cast<int>(I);
        Table->List[I] = Copy;
      }
    }
    Props = Table;
  });
  return *Props;
}

namespace detail {

std::unique_ptr<TClassInfo> MakeClassInfo(const char* Name, TClass Parent, TConstructProc Construct,
                                          void (*Publish)(TPropTable&)) {
  auto Info = std::make_unique<TClassInfo>();
  Info->Name = Name;
  Info->Parent = Parent;
  Info->Construct = Construct;
  Info->Publish = Publish;
  return Info;
}

TObject* CheckedConstructArg(TObject* Arg, TClass Expected, TClass Creating) {
  if (Arg && !Arg->InheritsFrom(Expected))
    throw EComponentError("Cannot create " + Creating->Name + ": " + Arg->ClassName() + " is not a " +
                          Expected->Name);
  return Arg;
}

}  // namespace detail

// ---------------------------------------------------------------------------
// The class registry

namespace {

// Class names are identifiers: equal without regard to case.
std::string NameKey(std::string_view S) { return FoldIdentifier(S); }

struct TRegistry {
  std::mutex Lock;
  std::map<std::string, TClass> Classes;
};

TRegistry& Registry() {
  static TRegistry R;
  return R;
}

}  // namespace

void RegisterClass(TClass Class) {
  if (!Class) return;
  TRegistry& R = Registry();
  std::lock_guard<std::mutex> Guard(R.Lock);
  auto [It, Inserted] = R.Classes.emplace(NameKey(Class->Name), Class);
  if (!Inserted && It->second != Class) throw EFilerError("A class named " + Class->Name + " already exists");
}

void RegisterClasses(std::initializer_list<TClass> Classes) {
  for (TClass C : Classes) RegisterClass(C);
}

void UnRegisterClass(TClass Class) {
  if (!Class) return;
  TRegistry& R = Registry();
  std::lock_guard<std::mutex> Guard(R.Lock);
  auto It = R.Classes.find(NameKey(Class->Name));
  if (It != R.Classes.end() && It->second == Class) R.Classes.erase(It);
}

TClass GetClass(std::string_view Name) {
  TRegistry& R = Registry();
  std::lock_guard<std::mutex> Guard(R.Lock);
  auto It = R.Classes.find(NameKey(Name));
  return It == R.Classes.end() ? nullptr : It->second;
}

TClass FindClass(std::string_view Name) {
  TClass C = GetClass(Name);
  if (!C) throw EClassNotFound("Class " + std::string(Name) + " not found");
  return C;
}

TObject* CreateObjectByName(std::string_view Name, TObject* Arg) { return FindClass(Name)->CreateInstance(Arg); }

}  // namespace fyndra
