// Free functions over the published properties of an object, found by name
// and kind at run time. The generic filter model reaches a dataset's Filtered
// and OnFilterRecord through them, so that it serves any dataset class that
// publishes the two properties, whatever its family.
//
// Every function tolerates a null property information (and a null instance):
// reading then gives the empty value of its kind, writing does nothing. The
// property information returned by GetPropInfo lives as long as the process.
#pragma once

#include <string>
#include <string_view>

#include <fyndra/platform/classes/classes.h>
#include <fyndra/platform/classes/typinfo.h>

namespace fyndra {

// The published property Name (without regard to case) of the instance's
// class, or null when there is none or its kind is not among Kinds.
PPropInfo GetPropInfo(TPersistent* Instance, std::string_view Name, TTypeKinds Kinds);

// The object held by the class-typed property Name, as a TPersistent; null
// when the instance has no such property or the property holds nothing.
// Raises EInvalidCast when it holds an object that is not a TPersistent.
TPersistent* GetPropertyClass(TPersistent* Instance, std::string_view Name);

// The text value; empty without the property.
std::string GetStringByPropInfo(TPersistent* Instance, PPropInfo PropInfo);
// The ordinal value taken as a boolean; false without the property.
bool GetBooleanByPropInfo(TPersistent* Instance, PPropInfo PropInfo);
void SetBooleanByPropInfo(TPersistent* Instance, PPropInfo PropInfo, bool Value);
// The handler of an event property; the null method without the property.
TMethod GetMethodByPropInfo(TPersistent* Instance, PPropInfo PropInfo);
void SetMethodByPropInfo(TPersistent* Instance, PPropInfo PropInfo, const TMethod& Value);

}  // namespace fyndra
