#include <fyndra/dataset/zvtypeinfo.h>

#include <fyndra/platform/rtl/sysutils.h>

namespace fyndra {

PPropInfo GetPropInfo(TPersistent* Instance, std::string_view Name, TTypeKinds Kinds) {
  if (!Instance) return nullptr;
  return GetPropInfo(static_cast<const TObject*>(Instance), Name, Kinds);
}

TPersistent* GetPropertyClass(TPersistent* Instance, std::string_view Name) {
  PPropInfo Info = GetPropInfo(Instance, Name, TTypeKinds{tkClass});
  if (!Info) return nullptr;
  TObject* Object = GetObjectProp(Instance, Info);
  if (!Object) return nullptr;
  auto* Result = dynamic_cast<TPersistent*>(Object);
  if (!Result) throw EInvalidCast("Invalid class typecast: " + std::string(Object->ClassName()) + " is not a TPersistent");
  return Result;
}

std::string GetStringByPropInfo(TPersistent* Instance, PPropInfo PropInfo) {
  return Instance && PropInfo ? GetStrProp(Instance, PropInfo) : std::string();
}

bool GetBooleanByPropInfo(TPersistent* Instance, PPropInfo PropInfo) {
  return Instance && PropInfo && GetOrdProp(Instance, PropInfo) != 0;
}

void SetBooleanByPropInfo(TPersistent* Instance, PPropInfo PropInfo, bool Value) {
  if (Instance && PropInfo) SetOrdProp(Instance, PropInfo, Value ? 1 : 0);
}

TMethod GetMethodByPropInfo(TPersistent* Instance, PPropInfo PropInfo) {
  return Instance && PropInfo ? GetMethodProp(Instance, PropInfo) : TMethod();
}

void SetMethodByPropInfo(TPersistent* Instance, PPropInfo PropInfo, const TMethod& Value) {
  if (Instance && PropInfo) SetMethodProp(Instance, PropInfo, Value);
}

}  // namespace fyndra
