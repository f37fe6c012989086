// The SQL time stamp record and the variant type that carries it. Values are
// plain records; conversion to and from TDateTime and text lives here.
#pragma once

#include <cstdint>
#include <string>

#include <fyndra/platform/rtl/systypes.h>

namespace fyndra {

class Variant;
struct TFormatSettings;

struct TSQLTimeStamp {
  std::int16_t Year = 0;
  std::uint16_t Month = 0;
  std::uint16_t Day = 0;
  std::uint16_t Hour = 0;
  std::uint16_t Minute = 0;
  std::uint16_t Second = 0;
  std::uint32_t Fractions = 0;  // milliseconds

  friend bool operator==(const TSQLTimeStamp&, const TSQLTimeStamp&) = default;
};

// True when every field is in range (the all-zero stamp counts as valid: it is
// the empty stamp).
bool IsSQLTimeStampValid(const TSQLTimeStamp& TS);
// <0, 0, >0 field by field.
int SQLTimeStampCompare(const TSQLTimeStamp& A, const TSQLTimeStamp& B);

// Raise EConvertError for an invalid stamp.
TDateTime SQLTimeStampToDateTime(const TSQLTimeStamp& TS);
TSQLTimeStamp DateTimeToSQLTimeStamp(TDateTime DateTime);

// Formats with FormatDateTime's specifiers; an empty Format gives the short date,
// the long time and, when non-zero, the milliseconds, so the text reads back
// as the same stamp.
std::string SQLTimeStampToStr(const std::string& Format, const TSQLTimeStamp& TS);
std::string SQLTimeStampToStr(const std::string& Format, const TSQLTimeStamp& TS,
                              const TFormatSettings& Settings);
bool TryStrToSQLTimeStamp(const std::string& S, TSQLTimeStamp& TS);
bool TryStrToSQLTimeStamp(const std::string& S, TSQLTimeStamp& TS, const TFormatSettings& Settings);
TSQLTimeStamp StrToSQLTimeStamp(const std::string& S);  // raises EConvertError
TSQLTimeStamp StrToSQLTimeStamp(const std::string& S, const TFormatSettings& Settings);

// The variant type code of SQL time stamps, registered at start-up.
TVarType VarSQLTimeStamp();
Variant VarSQLTimeStampCreate(const TSQLTimeStamp& TS);
Variant VarSQLTimeStampCreate(TDateTime DateTime);
bool VarIsSQLTimeStamp(const Variant& V);

}  // namespace fyndra
