// Exceptions, locale-dependent format settings, the Format function, number and
// date parsers and formatters, and date arithmetic of the runtime layer.
//
// The process has one current TFormatSettings, taken from the user's locale at
// start-up (LC_ALL, LC_MESSAGES or LANG; "en_US" when none is set) and
// replaceable with SetFormatSettings or SetDefaultLocale (textservice.h). Every
// parser and formatter takes an optional TFormatSettings; without it the
// current settings apply. Formatters produce text that their parsers read back
// as the same value.
#pragma once

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <fyndra/platform/rtl/systypes.h>
#include <fyndra/platform/rtl/variants.h>

namespace fyndra {

class Exception : public std::exception {
 public:
  explicit Exception(std::string Message) : fMessage(std::move(Message)) {}
  const std::string& Message() const noexcept { return fMessage; }
  void SetMessage(std::string Message) { fMessage = std::move(Message); }
  const char* what() const noexcept override { return fMessage.c_str(); }

 private:
  std::string fMessage;
};

class EConvertError : public Exception { public: using Exception::Exception; };
class EVariantError : public Exception { public: using Exception::Exception; };
class EVariantTypeCastError : public EVariantError { public: using EVariantError::EVariantError; };
class EOverflow : public Exception { public: using Exception::Exception; };
class ERangeError : public Exception { public: using Exception::Exception; };
class EZeroDivide : public Exception { public: using Exception::Exception; };
class EListError : public Exception { public: using Exception::Exception; };
// A checked cast of an object to a class it does not belong to.
class EInvalidCast : public Exception { public: using Exception::Exception; };

struct TFormatSettings {
  // CurrencyFormat: 0 "$1", 1 "1$", 2 "$ 1", 3 "1 $".
  // NegCurrFormat:  0 "($1)", 1 "-$1", 2 "$-1", 3 "$1-", 4 "(1$)", 5 "-1$",
  //                 6 "1-$", 7 "1$-", 8 "-1 $", 9 "-$ 1", 10 "1 $-", 11 "$ 1-",
  //                 12 "$ -1", 13 "1- $", 14 "($ 1)", 15 "(1 $)".
  std::uint8_t CurrencyFormat = 0;
  std::uint8_t NegCurrFormat = 1;
  std::uint8_t CurrencyDecimals = 2;
  char DecimalSeparator = '.';
  char ThousandSeparator = ',';  // '\0' when the locale groups with no character
  char DateSeparator = '/';
  char TimeSeparator = ':';
  char ListSeparator = ',';
  std::string CurrencyString = "$";
  // Date and time formats use FormatDateTime's specifiers. In ShortDateFormat
  // the order of d, M and y also tells the parser the order of the fields.
  std::string ShortDateFormat = "M/d/yyyy";
  std::string LongDateFormat = "dddd, MMMM d, yyyy";
  std::string ShortTimeFormat = "h:nn AMPM";
  std::string LongTimeFormat = "h:nn:ss AMPM";
  std::string TimeAMString = "AM";
  std::string TimePMString = "PM";
  std::string ShortMonthNames[12];
  std::string LongMonthNames[12];
  std::string ShortDayNames[7];  // Sunday first
  std::string LongDayNames[7];
  // Texts accepted by TryStrToBool besides numbers; the first of each is what
  // BoolToStr(b, true) produces.
  std::vector<std::string> TrueBoolStrs{"True"};
  std::vector<std::string> FalseBoolStrs{"False"};
  // Two-digit years within this many years after the current one belong to this
  // century, others to the previous one.
  int TwoDigitYearCenturyWindow = 50;
};

// The process' current settings.
const TFormatSettings& FormatSettings();
void SetFormatSettings(const TFormatSettings& Settings);
// Settings derived from an ICU locale name ("en_US", "de_DE", "fr_FR").
TFormatSettings FormatSettingsForLocale(const std::string& Locale);

// Format(Fmt, Args): "%" [index ":"] ["-"] [width] ["." precision] type, with
// width and precision as digits or "*" (taken from the arguments). Types:
// d (decimal), u (unsigned), x (hexadecimal), e (scientific), f (fixed),
// g (general), n (fixed with thousands), m (money), s (text of any value).
// "%%" is one percent sign. Raises EConvertError on a bad format, a missing
// argument or an argument that does not fit the type.
std::string Format(std::string_view Fmt, std::initializer_list<Variant> Args);
std::string Format(std::string_view Fmt, std::span<const Variant> Args);
std::string Format(std::string_view Fmt, std::span<const Variant> Args, const TFormatSettings& Settings);

// ----- parsers: surrounding blanks are skipped; an empty or blank text fails.
// Integers: optional sign, decimal digits, or hexadecimal after "$" or "0x".
bool TryStrToInt(const std::string& S, std::int32_t& Value);
bool TryStrToInt64(const std::string& S, std::int64_t& Value);
// Floats: sign, digits with the decimal separator, exponent; also INF, -INF, NAN.
bool TryStrToFloat(const std::string& S, double& Value);
bool TryStrToFloat(const std::string& S, double& Value, const TFormatSettings& Settings);
bool TryStrToFloat(const std::string& S, float& Value);
bool TryStrToFloat(const std::string& S, float& Value, const TFormatSettings& Settings);
// Currency: like floats, without INF/NAN, rounded half away to four places.
bool TryStrToCurr(const std::string& S, Currency& Value);
bool TryStrToCurr(const std::string& S, Currency& Value, const TFormatSettings& Settings);
// Dates: the fields of ShortDateFormat in its order, split by DateSeparator;
// a missing year is the current one, two-digit years use the century window.
bool TryStrToDate(const std::string& S, TDateTime& Value);
bool TryStrToDate(const std::string& S, TDateTime& Value, const TFormatSettings& Settings);
// Times: h[:n[:s[.zzz]]] with an optional AM/PM text.
bool TryStrToTime(const std::string& S, TDateTime& Value);
bool TryStrToTime(const std::string& S, TDateTime& Value, const TFormatSettings& Settings);
// A date, a time, or a date followed by blanks and a time.
bool TryStrToDateTime(const std::string& S, TDateTime& Value);
bool TryStrToDateTime(const std::string& S, TDateTime& Value, const TFormatSettings& Settings);
// The TrueBoolStrs/FalseBoolStrs (ignoring case) or a number (zero is false).
bool TryStrToBool(const std::string& S, bool& Value);
bool TryStrToBool(const std::string& S, bool& Value, const TFormatSettings& Settings);

// Raising forms: EConvertError with the offending text in the message.
std::int32_t StrToInt(const std::string& S);
std::int64_t StrToInt64(const std::string& S);
std::int32_t StrToIntDef(const std::string& S, std::int32_t Default);
double StrToFloat(const std::string& S);
double StrToFloat(const std::string& S, const TFormatSettings& Settings);
Currency StrToCurr(const std::string& S);
Currency StrToCurr(const std::string& S, const TFormatSettings& Settings);
TDateTime StrToDate(const std::string& S);
TDateTime StrToDate(const std::string& S, const TFormatSettings& Settings);
TDateTime StrToTime(const std::string& S);
TDateTime StrToTime(const std::string& S, const TFormatSettings& Settings);
TDateTime StrToDateTime(const std::string& S);
TDateTime StrToDateTime(const std::string& S, const TFormatSettings& Settings);
bool StrToBool(const std::string& S);
bool StrToBool(const std::string& S, const TFormatSettings& Settings);

// ----- formatters
std::string IntToStr(std::int64_t Value);
std::string IntToHex(std::int64_t Value, int Digits);
// The shortest text that reads back as the same double ("1.5", "1E20", "INF").
std::string FloatToStr(double Value);
std::string FloatToStr(double Value, const TFormatSettings& Settings);
std::string CurrToStr(Currency Value);  // "12.5": no symbol, no grouping
std::string CurrToStr(Currency Value, const TFormatSettings& Settings);
std::string DateToStr(TDateTime Value);
std::string DateToStr(TDateTime Value, const TFormatSettings& Settings);
std::string TimeToStr(TDateTime Value);  // LongTimeFormat, milliseconds when non-zero
std::string TimeToStr(TDateTime Value, const TFormatSettings& Settings);
// The date (unless it is 1899-12-30) and the time (unless midnight).
std::string DateTimeToStr(TDateTime Value);
std::string DateTimeToStr(TDateTime Value, const TFormatSettings& Settings);
std::string BoolToStr(bool Value, bool UseBoolStrs = false);  // "-1"/"0" or the bool texts
std::string BoolToStr(bool Value, bool UseBoolStrs, const TFormatSettings& Settings);
// Picture formats: sections "positive;negative;zero" of 0 # . , E+ E- e+ e-
// and quoted literals.
std::string FormatFloat(const std::string& Fmt, double Value);
std::string FormatFloat(const std::string& Fmt, double Value, const TFormatSettings& Settings);
std::string FormatCurr(const std::string& Fmt, Currency Value);
std::string FormatCurr(const std::string& Fmt, Currency Value, const TFormatSettings& Settings);
// d dd ddd dddd ddddd(short date) dddddd(long date) m mm mmm mmmm yy yyyy
// h hh n nn s ss z zzz t tt c am/pm a/p ampm / : "..." '...'
std::string FormatDateTime(const std::string& Fmt, TDateTime Value);
std::string FormatDateTime(const std::string& Fmt, TDateTime Value, const TFormatSettings& Settings);

// ----- dates
constexpr double MSecsPerDay = 86400000.0;
constexpr double MinDateTime = -693593.0;            // 0001-01-01
constexpr double MaxDateTime = 2958465.99999999;     // 9999-12-31 23:59:59.999

bool IsLeapYear(int Year);
int DaysInMonth(int Year, int Month);
bool TryEncodeDate(int Year, int Month, int Day, TDateTime& Date);
bool TryEncodeTime(int Hour, int Min, int Sec, int MSec, TDateTime& Time);
TDateTime EncodeDate(int Year, int Month, int Day);  // raises EConvertError
TDateTime EncodeTime(int Hour, int Min, int Sec, int MSec);
void DecodeDate(TDateTime Date, int& Year, int& Month, int& Day);
void DecodeTime(TDateTime Time, int& Hour, int& Min, int& Sec, int& MSec);
void DecodeDateTime(TDateTime Value, int& Year, int& Month, int& Day, int& Hour, int& Min,
                    int& Sec, int& MSec);
int DayOfWeek(TDateTime Date);  // 1 = Sunday
// Date plus a time of day, also for dates before 1899-12-30 (where the time
// is subtracted from the negative day number).
TDateTime ComposeDateTime(TDateTime Date, TDateTime Time);
TDateTime Date();
TDateTime Time();
TDateTime Now();

}  // namespace fyndra
