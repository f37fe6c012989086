#include <fyndra/core/zvmodelconverter.h>

#include <cstdint>

#include <fyndra/platform/rtl/fmtbcd.h>
#include <fyndra/platform/rtl/sqltimst.h>
#include <fyndra/platform/rtl/sysutils.h>

namespace fyndra {

namespace {

constexpr TVarType kTypeMask = 0x0FFF;

bool IsTextSourceType(TVarType T) {
  return T == varOleStr || T == varStrArg || T == varString;
}

// The text branch: Source is one of the text types.
bool TextToVar(const Variant& Source, Variant& Dest, TVarType VarType) {
  const std::string Text = Source.AsString();
  if (Text.empty() && !VarTypeIsStr(VarType)) {
    Dest = Null();
    return true;
  }
  const TVarType Target = VarType & kTypeMask;
  switch (Target) {
    case varEmpty:
    case varDispatch:
    case varError:
    case varUnknown:
      return false;
    case varSmallint:
    case varInteger:
    case varShortInt: {
      // The narrower types are not range-checked: the value stays an integer.
      std::int32_t V = 0;
      if (!TryStrToInt(Text, V)) return false;
      Dest = Variant(V);
      return true;
    }
    case varByte:
    case varWord:
    case varLongWord: {
      // The unsigned types read the unsigned 32-bit range, so that every
      // value of a 32-bit unsigned field can be typed; a negative text fits
      // none of them. Values of the signed range stay integers, as for the
      // signed types; the rest become unsigned 32-bit values.
      std::int64_t V = 0;
      if (!TryStrToInt64(Text, V) || V < 0 || V > std::int64_t{UINT32_MAX}) return false;
      if (V <= INT32_MAX)
        Dest = Variant(static_cast<std::int32_t>(V));
      else
        Dest = Variant(static_cast<std::uint32_t>(V));
      return true;
    }
    case varSingle: {
      float V = 0;
      if (!TryStrToFloat(Text, V)) return false;
      Dest = Variant(static_cast<double>(V));
      return true;
    }
    case varDouble: {
      double V = 0;
      if (!TryStrToFloat(Text, V)) return false;
      Dest = Variant(V);
      return true;
    }
    case varCurrency: {
      Currency V;
      if (!TryStrToCurr(Text, V)) return false;
      Dest = Variant(V);
      return true;
    }
    case varDate: {
      TDateTime V = 0;
      if (!TryStrToDateTime(Text, V)) return false;
      Dest = Variant::FromDateTime(V);
      return true;
    }
    case varBoolean: {
      bool V = false;
      if (!TryStrToBool(Text, V)) return false;
      Dest = Variant(V);
      return true;
    }
    case varInt64: {
      std::int64_t V = 0;
      if (!TryStrToInt64(Text, V)) return false;
      Dest = Variant(V);
      return true;
    }
    default:
      break;
  }
  if (Target == (VarSQLTimeStamp() & kTypeMask)) {
    TSQLTimeStamp V{};
    if (!TryStrToSQLTimeStamp(Text, V)) return false;
    Dest = VarSQLTimeStampCreate(V);
    return true;
  }
  if (Target == (VarFMTBcd() & kTypeMask)) {
    TBcd V{};
    if (!TryStrToBcd(Text, V)) return false;
    Dest = VarFMTBcdCreate(V);
    return true;
  }
  Dest = VarAsType(Source, VarType);
  return true;
}

}  // namespace

bool VarTypeIsStr(TVarType VarType) {
  const TVarType T = VarType & kTypeMask;
  return T == varOleStr || T == varString;
}

bool TryVarToVar(const Variant& Source, Variant& Dest, TVarType VarType) {
  Dest = Unassigned();
  try {
    const TVarType SourceType = Source.VarType() & kTypeMask;
    switch (SourceType) {
      case varEmpty:
      case varDispatch:
      case varError:
      case varUnknown:
        return false;
      case varNull:
        if (IsTextSourceType(VarType & kTypeMask))
          Dest = Variant(std::string());
        else
          Dest = Null();
        return true;
      default:
        break;
    }
    if (IsTextSourceType(SourceType)) {
      if (!TextToVar(Source, Dest, VarType)) {
        Dest = Unassigned();
        return false;
      }
      return true;
    }
    Dest = VarAsType(Source, VarType);
    return true;
  } catch (const std::exception&) {
    // Whatever the conversion raised (a cast error, an overflow) is reported
    // through the result, as callers use this on every keystroke.
    Dest = Unassigned();
    return false;
  }
}

std::string AddChar(char Ch, int Count) {
  return Count > 0 ? std::string(static_cast<std::size_t>(Count), Ch) : std::string();
}

std::u16string AddWideChar(char16_t Ch, int Count) {
  return Count > 0 ? std::u16string(static_cast<std::size_t>(Count), Ch) : std::u16string();
}

}  // namespace fyndra
