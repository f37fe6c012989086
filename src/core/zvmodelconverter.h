// Conversion of a variant (typically the text a user typed) to the variant
// type of a compare item, without raising; classification of the text types;
// padding texts for index range bounds. Free functions, no state.
#pragma once

#include <string>

#include <fyndra/platform/rtl/systypes.h>
#include <fyndra/platform/rtl/variants.h>

namespace fyndra {

// True when the type, with its array and by-reference flags masked off, is
// varOleStr or varString. varStrArg is not a text type here.
bool VarTypeIsStr(TVarType VarType);

// Converts Source to VarType into Dest and tells whether that worked; never
// raises. An empty text means "no value" for every type that is not a text
// type and gives Null; Null gives the empty text for the text types and Null
// otherwise; Empty and the interface types never convert. Texts are parsed
// with the current locale's rules, unchanged (no trimming). When the result is
// false Dest holds nothing usable.
bool TryVarToVar(const Variant& Source, Variant& Dest, TVarType VarType);

// Count copies of the byte Ch; empty when Count is 0 or negative. Ch is a raw
// byte: padding with 0x7F or 0xFF makes a text that sorts after every text
// with the same beginning.
std::string AddChar(char Ch, int Count);

// Count copies of the UTF-16 unit Ch; empty when Count is 0 or negative.
std::u16string AddWideChar(char16_t Ch, int Count);

}  // namespace fyndra
