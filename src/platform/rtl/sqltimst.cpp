#include <fyndra/platform/rtl/sqltimst.h>

#include <fyndra/platform/rtl/sysutils.h>
#include <fyndra/platform/rtl/variants.h>

namespace fyndra {

namespace {
bool IsEmptyStamp(const TSQLTimeStamp& TS) { return TS == TSQLTimeStamp{}; }
}  // namespace

bool IsSQLTimeStampValid(const TSQLTimeStamp& TS) {
  if (IsEmptyStamp(TS)) return true;
  return TS.Year >= 1 && TS.Year <= 9999 && TS.Month >= 1 && TS.Month <= 12 && TS.Day >= 1 &&
         TS.Day <= DaysInMonth(TS.Year, TS.Month) && TS.Hour < 24 && TS.Minute < 60 && TS.Second < 60 &&
         TS.Fractions < 1000;
}

int SQLTimeStampCompare(const TSQLTimeStamp& A, const TSQLTimeStamp& B) {
  const long long KA[] = {A.Year, A.Month, A.Day, A.Hour, A.Minute, A.Second, A.Fractions};
  const long long KB[] = {B.Year, B.Month, B.Day, B.Hour, B.Minute, B.Second, B.Fractions};
  for (int I = 0; I < 7; ++I) {
    if (KA[I] != KB[I]) return KA[I] < KB[I] ? -1 : 1;
  }
  return 0;
}

TDateTime SQLTimeStampToDateTime(const TSQLTimeStamp& TS) {
  if (IsEmptyStamp(TS)) return 0;
  if (!IsSQLTimeStampValid(TS)) throw EConvertError("Invalid SQL time stamp");
  const TDateTime D = EncodeDate(TS.Year, TS.Month, TS.Day);
  const TDateTime T = EncodeTime(TS.Hour, TS.Minute, TS.Second, static_cast<int>(TS.Fractions));
  return D < 0 ? D - T : D + T;
}

TSQLTimeStamp DateTimeToSQLTimeStamp(TDateTime DateTime) {
  int Y, M, D, H, N, S, Z;
  DecodeDateTime(DateTime, Y, M, D, H, N, S, Z);
  TSQLTimeStamp TS;
  TS.Year = static_cast<std::int16_t>(Y);
  TS.Month = static_cast<std::uint16_t>(M);
  TS.Day = static_cast<std::uint16_t>(D);
  TS.Hour = static_cast<std::uint16_t>(H);
  TS.Minute = static_cast<std::uint16_t>(N);
  TS.Second = static_cast<std::uint16_t>(S);
  TS.Fractions = static_cast<std::uint32_t>(Z);
  return TS;
}

std::string SQLTimeStampToStr(const std::string& Format, const TSQLTimeStamp& TS, const TFormatSettings& Settings) {
  if (IsEmptyStamp(TS)) return std::string();
  return FormatDateTime(Format, SQLTimeStampToDateTime(TS), Settings);
}
std::string SQLTimeStampToStr(const std::string& Format, const TSQLTimeStamp& TS) {
  return SQLTimeStampToStr(Format, TS, FormatSettings());
}

bool TryStrToSQLTimeStamp(const std::string& S, TSQLTimeStamp& TS, const TFormatSettings& Settings) {
  TDateTime D;
  if (!TryStrToDateTime(S, D, Settings)) return false;
  TS = DateTimeToSQLTimeStamp(D);
  return true;
}
bool TryStrToSQLTimeStamp(const std::string& S, TSQLTimeStamp& TS) {
  return TryStrToSQLTimeStamp(S, TS, FormatSettings());
}

TSQLTimeStamp StrToSQLTimeStamp(const std::string& S, const TFormatSettings& Settings) {
  TSQLTimeStamp TS;
  if (!TryStrToSQLTimeStamp(S, TS, Settings)) throw EConvertError("'" + S + "' is not a valid SQL time stamp");
  return TS;
}
TSQLTimeStamp StrToSQLTimeStamp(const std::string& S) { return StrToSQLTimeStamp(S, FormatSettings()); }

TVarType VarSQLTimeStamp() { return varSQLTimeStampCode; }
Variant VarSQLTimeStampCreate(const TSQLTimeStamp& TS) { return Variant(TS); }
Variant VarSQLTimeStampCreate(TDateTime DateTime) { return Variant(DateTimeToSQLTimeStamp(DateTime)); }
bool VarIsSQLTimeStamp(const Variant& V) { return (V.VarType() & varTypeMask) == varSQLTimeStampCode; }

}  // namespace fyndra
