#include <fyndra/platform/rtl/sysutils.h>

#include <unicode/udat.h>
#include <unicode/udatpg.h>
#include <unicode/unum.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>
#include <memory>
#include <mutex>

#include <fyndra/platform/rtl/decimaltext.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {

namespace {

// ---------------------------------------------------------------- current settings

// Every settings object ever made current stays alive until the process ends,
// so a reference returned by FormatSettings() never dangles even when another
// call replaces the current settings; replacements are rare (start-up, tests).
struct SettingsHolder {
  std::mutex Lock;
  std::vector<std::unique_ptr<const TFormatSettings>> History;
  std::atomic<const TFormatSettings*> Current{nullptr};
};

SettingsHolder& Holder() {
  static SettingsHolder* H = [] {
    auto* P = new SettingsHolder;  // never freed: static destructors elsewhere may format
    P->History.push_back(std::make_unique<const TFormatSettings>(FormatSettingsForLocale(TextLocale())));
    P->Current.store(P->History.back().get());
    return P;
  }();
  return *H;
}

const TFormatSettings& CurrentSettings() { return *Holder().Current.load(std::memory_order_acquire); }

// ---------------------------------------------------------------- ICU helpers

std::string U16ToUtf8(const UChar* S, int32_t Len) {
  return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(S), static_cast<std::size_t>(Len)));
}

std::string DatePattern(UDateFormatStyle TimeStyle, UDateFormatStyle DateStyle, const std::string& Locale) {
  UErrorCode E = U_ZERO_ERROR;
  UDateFormat* F = udat_open(TimeStyle, DateStyle, Locale.c_str(), nullptr, 0, nullptr, 0, &E);
  if (U_FAILURE(E)) return std::string();
  UChar Buf[256];
  int32_t Len = udat_toPattern(F, false, Buf, 256, &E);
  udat_close(F);
  if (U_FAILURE(E)) return std::string();
  return U16ToUtf8(Buf, Len);
}

std::string DateSymbol(UDateFormat* F, UDateFormatSymbolType Type, int32_t Index) {
  UErrorCode E = U_ZERO_ERROR;
  UChar Buf[128];
  int32_t Len = udat_getSymbols(F, Type, Index, Buf, 128, &E);
  if (U_FAILURE(E)) return std::string();
  return U16ToUtf8(Buf, Len);
}

// A one-byte separator from a locale text, or Fallback when it is not ASCII.
char SingleChar(const std::string& S, char Fallback) {
  if (S.size() == 1 && static_cast<unsigned char>(S[0]) < 0x80) return S[0];
  if (S == "\xC2\xA0" || S == "\xE2\x80\xAF" || S == "\xE2\x80\x89") return ' ';
  return Fallback;
}

// Converts an ICU date/time pattern to our specifiers. Short forms force a
// four-digit year so that formatted dates read back unchanged.
std::string ConvertIcuPattern(const std::string& P, char* DateSep, char* TimeSep) {
  std::string R;
  std::size_t I = 0;
  char LastField = 0;
  while (I < P.size()) {
    const char C = P[I];
    if (C == '\'') {
      // Quoted literal; '' is one quote.
      std::size_t J = I + 1;
      std::string Lit;
      while (J < P.size()) {
        if (P[J] == '\'') {
          if (J + 1 < P.size() && P[J + 1] == '\'') {
            Lit.push_back('\'');
            J += 2;
            continue;
          }
          break;
        }
        Lit.push_back(P[J++]);
      }
      if (Lit.empty() && J == I + 1) Lit = "'";
      R += "\"" + Lit + "\"";
      I = J + 1;
      continue;
    }
    if ((C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z')) {
      std::size_t N = 1;
      while (I + N < P.size() && P[I + N] == C) ++N;
      I += N;
      switch (C) {
        case 'y': case 'Y': case 'u': R += "yyyy"; break;
        case 'M': case 'L': R += N >= 4 ? "MMMM" : N == 3 ? "MMM" : N == 2 ? "MM" : "M"; break;
        case 'd': R += N >= 2 ? "dd" : "d"; break;
        case 'E': case 'c': case 'e': R += N >= 4 ? "dddd" : "ddd"; break;
        case 'h': case 'K': R += N >= 2 ? "hh" : "h"; break;
        case 'H': case 'k': R += N >= 2 ? "hh" : "h"; break;
        case 'm': R += N >= 2 ? "nn" : "n"; break;
        case 's': R += N >= 2 ? "ss" : "s"; break;
        case 'a': case 'b': case 'B': R += "AMPM"; break;
        default: break;  // eras, zones and the like are left out
      }
      LastField = C;
      continue;
    }
    // A literal between fields: the separators come from here.
    std::size_t Len = 1;
    const auto UC = static_cast<unsigned char>(C);
    if (UC >= 0xC0) Len = UC >= 0xF0 ? 4 : UC >= 0xE0 ? 3 : 2;
    std::string Lit = P.substr(I, Len);
    I += Len;
    if (Len > 1) {
      // Non-ASCII literals (such as the CJK year and month signs) are kept;
      // special blanks become plain ones.
      const char Blank = SingleChar(Lit, '\0');
      if (Blank == ' ') R.push_back(' ');
      else R += Lit;
      continue;
    }
    char Ch = Lit[0];
    if (DateSep && *DateSep == 0 && (LastField == 'd' || LastField == 'M' || LastField == 'y') && Ch != ' ' && Ch != ',')
      *DateSep = Ch;
    if (TimeSep && *TimeSep == 0 && (LastField == 'h' || LastField == 'H' || LastField == 'K' || LastField == 'k' || LastField == 'm'))
      *TimeSep = Ch;
    if (Ch == '"' || (Ch >= 'a' && Ch <= 'z') || (Ch >= 'A' && Ch <= 'Z')) {
      R.push_back('"');
      R.push_back(Ch);
      R.push_back('"');
    } else {
      R.push_back(Ch);
    }
  }
  // Trim blanks left by removed fields.
  while (!R.empty() && R.back() == ' ') R.pop_back();
  while (!R.empty() && R.front() == ' ') R.erase(0, 1);
  return R;
}

// ---------------------------------------------------------------- date arithmetic

constexpr int kDateDelta = 693594;  // days from 0001-01-01 to 1899-12-30
constexpr std::int64_t kMSecsPerDay = 86400000;

// Days from 0001-01-01 (day 0) for a proleptic Gregorian date.
std::int64_t DaysFromCivil(int Y, int M, int D) {
  static const int Cum[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  const std::int64_t I = Y - 1;
  std::int64_t Days = I * 365 + I / 4 - I / 100 + I / 400 + Cum[M - 1] + D - 1;
  if (M > 2 && IsLeapYear(Y)) ++Days;
  return Days;
}

void CivilFromDays(std::int64_t Days, int& Y, int& M, int& D) {
  // Days since 0001-01-01; shift to the 0000-03-01 epoch of the era algorithm.
  std::int64_t Z = Days + 306;  // 0000-03-01 .. 0001-01-01 is 306 days
  const std::int64_t Era = (Z >= 0 ? Z : Z - 146096) / 146097;
  const std::int64_t Doe = Z - Era * 146097;
  const std::int64_t Yoe = (Doe - Doe / 1460 + Doe / 36524 - Doe / 146096) / 365;
  const std::int64_t Doy = Doe - (365 * Yoe + Yoe / 4 - Yoe / 100);
  const std::int64_t Mp = (5 * Doy + 2) / 153;
  D = static_cast<int>(Doy - (153 * Mp + 2) / 5 + 1);
  M = static_cast<int>(Mp < 10 ? Mp + 3 : Mp - 9);
  Y = static_cast<int>(Yoe + Era * 400 + (M <= 2 ? 1 : 0));
}

// Splits a date-time into whole days (relative to 1899-12-30) and
// milliseconds of the day, carrying a rounded 24:00 into the next day.
void SplitDateTime(TDateTime V, std::int64_t& Day, std::int64_t& MSec) {
  const double Whole = std::trunc(V);
  Day = static_cast<std::int64_t>(Whole);
  MSec = static_cast<std::int64_t>(std::llround(std::fabs(V - Whole) * MSecsPerDay));
  if (MSec >= kMSecsPerDay) {
    MSec -= kMSecsPerDay;
    ++Day;
  }
}

// 0001-01-01 00:00 to 9999-12-31 23:59:59.999; before 1899 the fraction is
// subtracted, so 0001-01-01 12:00 is -693593.5.
bool DateTimeInRange(TDateTime V) { return std::isfinite(V) && V > MinDateTime - 1 && V < 2958466.0; }

// ---------------------------------------------------------------- text helpers

bool StartsWithNoCase(std::string_view S, std::size_t At, std::string_view Word) {
  if (Word.empty() || At + Word.size() > S.size()) return false;
  for (std::size_t K = 0; K < Word.size(); ++K) {
    char A = S[At + K], B = Word[K];
    if (A >= 'a' && A <= 'z') A = static_cast<char>(A - 32);
    if (B >= 'a' && B <= 'z') B = static_cast<char>(B - 32);
    if (A != B) return false;
  }
  return true;
}

std::string_view TrimView(std::string_view S) {
  std::size_t I = 0, N = S.size();
  while (I < N && static_cast<unsigned char>(S[I]) <= ' ') ++I;
  while (N > I && static_cast<unsigned char>(S[N - 1]) <= ' ') --N;
  return S.substr(I, N - I);
}

[[noreturn]] void ConvertFail(const std::string& What, const std::string& S) {
  throw EConvertError("'" + S + "' is not a valid " + What);
}

}  // namespace

// ---------------------------------------------------------------- settings

const TFormatSettings& FormatSettings() { return CurrentSettings(); }

void SetFormatSettings(const TFormatSettings& Settings) {
  auto P = std::make_unique<const TFormatSettings>(Settings);
  SettingsHolder& H = Holder();
  std::lock_guard<std::mutex> Guard(H.Lock);
  H.Current.store(P.get(), std::memory_order_release);
  H.History.push_back(std::move(P));
}

TFormatSettings FormatSettingsForLocale(const std::string& Locale) {
  TFormatSettings S;
  UErrorCode E = U_ZERO_ERROR;
  UNumberFormat* NF = unum_open(UNUM_DECIMAL, nullptr, 0, Locale.c_str(), nullptr, &E);
  if (U_SUCCESS(E)) {
    UChar Buf[64];
    UErrorCode E2 = U_ZERO_ERROR;
    int32_t Len = unum_getSymbol(NF, UNUM_DECIMAL_SEPARATOR_SYMBOL, Buf, 64, &E2);
    if (U_SUCCESS(E2)) S.DecimalSeparator = SingleChar(U16ToUtf8(Buf, Len), '.');
    E2 = U_ZERO_ERROR;
    Len = unum_getSymbol(NF, UNUM_GROUPING_SEPARATOR_SYMBOL, Buf, 64, &E2);
    if (U_SUCCESS(E2)) S.ThousandSeparator = SingleChar(U16ToUtf8(Buf, Len), ' ');
    unum_close(NF);
  }
  if (S.ThousandSeparator == S.DecimalSeparator) S.ThousandSeparator = '\0';
  S.ListSeparator = S.DecimalSeparator == ',' ? ';' : ',';

  E = U_ZERO_ERROR;
  UNumberFormat* CF = unum_open(UNUM_CURRENCY, nullptr, 0, Locale.c_str(), nullptr, &E);
  if (U_SUCCESS(E)) {
    UChar Buf[128];
    UErrorCode E2 = U_ZERO_ERROR;
    int32_t Len = unum_getSymbol(CF, UNUM_CURRENCY_SYMBOL, Buf, 128, &E2);
    if (U_SUCCESS(E2) && Len > 0) S.CurrencyString = U16ToUtf8(Buf, Len);
    S.CurrencyDecimals = static_cast<std::uint8_t>(std::clamp(unum_getAttribute(CF, UNUM_MAX_FRACTION_DIGITS), 0, 18));
    E2 = U_ZERO_ERROR;
    Len = unum_toPattern(CF, false, Buf, 128, &E2);
    if (U_SUCCESS(E2)) {
      std::u16string Pat(reinterpret_cast<const char16_t*>(Buf), static_cast<std::size_t>(Len));
      Pat = Pat.substr(0, Pat.find(u';'));
      const std::size_t Sym = Pat.find(u'\u00A4');
      const std::size_t Num = Pat.find_first_of(u"#0");
      if (Sym != std::u16string::npos && Num != std::u16string::npos) {
        const bool Prefix = Sym < Num;
        bool Space = false;
        if (Prefix && Sym + 1 < Pat.size()) Space = Pat[Sym + 1] != u'#' && Pat[Sym + 1] != u'0';
        if (!Prefix && Sym > 0) Space = Pat[Sym - 1] != u'0' && Pat[Sym - 1] != u'#';
        S.CurrencyFormat = static_cast<std::uint8_t>((Prefix ? 0 : 1) + (Space ? 2 : 0));
        S.NegCurrFormat = Prefix ? (Space ? 9 : 1) : (Space ? 8 : 5);
      }
    }
    unum_close(CF);
  }

  char DateSep = 0, TimeSep = 0;
  std::string Short = DatePattern(UDAT_NONE, UDAT_SHORT, Locale);
  if (!Short.empty()) S.ShortDateFormat = ConvertIcuPattern(Short, &DateSep, nullptr);
  std::string Long = DatePattern(UDAT_NONE, UDAT_FULL, Locale);
  if (!Long.empty()) S.LongDateFormat = ConvertIcuPattern(Long, nullptr, nullptr);
  std::string LongTime = DatePattern(UDAT_MEDIUM, UDAT_NONE, Locale);
  if (!LongTime.empty()) S.LongTimeFormat = ConvertIcuPattern(LongTime, nullptr, &TimeSep);
  std::string ShortTime = DatePattern(UDAT_SHORT, UDAT_NONE, Locale);
  if (!ShortTime.empty()) S.ShortTimeFormat = ConvertIcuPattern(ShortTime, nullptr, nullptr);
  if (DateSep) S.DateSeparator = DateSep;
  if (TimeSep) S.TimeSeparator = TimeSep;

  E = U_ZERO_ERROR;
  UDateFormat* DF = udat_open(UDAT_MEDIUM, UDAT_MEDIUM, Locale.c_str(), nullptr, 0, nullptr, 0, &E);
  if (U_SUCCESS(E)) {
    std::string AM = DateSymbol(DF, UDAT_AM_PMS, 0), PM = DateSymbol(DF, UDAT_AM_PMS, 1);
    if (!AM.empty()) S.TimeAMString = AM;
    if (!PM.empty()) S.TimePMString = PM;
    for (int M = 0; M < 12; ++M) {
      S.LongMonthNames[M] = DateSymbol(DF, UDAT_MONTHS, M);
      S.ShortMonthNames[M] = DateSymbol(DF, UDAT_SHORT_MONTHS, M);
    }
    for (int D = 0; D < 7; ++D) {
      S.LongDayNames[D] = DateSymbol(DF, UDAT_WEEKDAYS, D + 1);
      S.ShortDayNames[D] = DateSymbol(DF, UDAT_SHORT_WEEKDAYS, D + 1);
    }
    udat_close(DF);
  }
  return S;
}

// ---------------------------------------------------------------- dates

TDateTime ComposeDateTime(TDateTime Date, TDateTime Time) {
  return Date < 0 ? Date - Time : Date + Time;
}

bool IsLeapYear(int Year) { return (Year % 4 == 0 && Year % 100 != 0) || Year % 400 == 0; }

int DaysInMonth(int Year, int Month) {
  static const int Days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (Month < 1 || Month > 12) return 0;
  return Month == 2 && IsLeapYear(Year) ? 29 : Days[Month - 1];
}

bool TryEncodeDate(int Year, int Month, int Day, TDateTime& Date) {
  if (Year < 1 || Year > 9999 || Month < 1 || Month > 12 || Day < 1 || Day > DaysInMonth(Year, Month)) return false;
  Date = static_cast<double>(DaysFromCivil(Year, Month, Day) - kDateDelta + 1);
  return true;
}

bool TryEncodeTime(int Hour, int Min, int Sec, int MSec, TDateTime& Time) {
  if (Hour < 0 || Hour > 23 || Min < 0 || Min > 59 || Sec < 0 || Sec > 59 || MSec < 0 || MSec > 999) return false;
  Time = (static_cast<double>(Hour) * 3600000.0 + Min * 60000.0 + Sec * 1000.0 + MSec) / MSecsPerDay;
  return true;
}

TDateTime EncodeDate(int Year, int Month, int Day) {
  TDateTime D;
  if (!TryEncodeDate(Year, Month, Day, D)) throw EConvertError("Invalid argument to date encode");
  return D;
}

TDateTime EncodeTime(int Hour, int Min, int Sec, int MSec) {
  TDateTime T;
  if (!TryEncodeTime(Hour, Min, Sec, MSec, T)) throw EConvertError("Invalid argument to time encode");
  return T;
}

void DecodeDateTime(TDateTime Value, int& Year, int& Month, int& Day, int& Hour, int& Min, int& Sec, int& MSec) {
  if (!DateTimeInRange(Value)) throw EConvertError("Invalid date-time value");
  std::int64_t D, Ms;
  SplitDateTime(Value, D, Ms);
  CivilFromDays(D + kDateDelta - 1, Year, Month, Day);
  Hour = static_cast<int>(Ms / 3600000);
  Min = static_cast<int>(Ms / 60000 % 60);
  Sec = static_cast<int>(Ms / 1000 % 60);
  MSec = static_cast<int>(Ms % 1000);
}

void DecodeDate(TDateTime Date, int& Year, int& Month, int& Day) {
  int H, N, S, Z;
  DecodeDateTime(Date, Year, Month, Day, H, N, S, Z);
}

void DecodeTime(TDateTime Time, int& Hour, int& Min, int& Sec, int& MSec) {
  int Y, M, D;
  DecodeDateTime(Time, Y, M, D, Hour, Min, Sec, MSec);
}

int DayOfWeek(TDateTime Date) {
  std::int64_t D, Ms;
  SplitDateTime(Date, D, Ms);
  // 1899-12-30 was a Saturday (7).
  std::int64_t W = (D + 6) % 7;
  if (W < 0) W += 7;
  return static_cast<int>(W) + 1;
}

TDateTime Now() {
  const auto TP = std::chrono::system_clock::now();
  const std::time_t T = std::chrono::system_clock::to_time_t(TP);
  std::tm Local{};
  localtime_r(&T, &Local);
  const auto Ms = std::chrono::duration_cast<std::chrono::milliseconds>(TP.time_since_epoch()).count() % 1000;
  return ComposeDateTime(EncodeDate(Local.tm_year + 1900, Local.tm_mon + 1, Local.tm_mday),
                         EncodeTime(Local.tm_hour, Local.tm_min, Local.tm_sec, static_cast<int>(Ms)));
}

TDateTime Date() { return std::trunc(Now()); }
TDateTime Time() { const TDateTime N = Now(); return N - std::trunc(N); }

// ---------------------------------------------------------------- integer parsing

namespace {

// Decimal with sign, or hexadecimal ("$FF", "0xFF") read as an unsigned bit
// pattern of Bits bits.
bool ParseInteger(const std::string& Text, int Bits, std::int64_t& Out) {
  std::string_view S = TrimView(Text);
  std::size_t I = 0;
  bool Neg = false;
  if (I < S.size() && (S[I] == '+' || S[I] == '-')) Neg = S[I++] == '-';
  bool Hex = false;
  if (I < S.size() && S[I] == '$') {
    Hex = true;
    ++I;
  } else if (I + 1 < S.size() && S[I] == '0' && (S[I + 1] == 'x' || S[I + 1] == 'X')) {
    Hex = true;
    I += 2;
  }
  if (I == S.size()) return false;
  unsigned __int128 V = 0;
  for (; I < S.size(); ++I) {
    const char C = S[I];
    int Digit;
    if (C >= '0' && C <= '9') Digit = C - '0';
    else if (Hex && C >= 'a' && C <= 'f') Digit = C - 'a' + 10;
    else if (Hex && C >= 'A' && C <= 'F') Digit = C - 'A' + 10;
    else return false;
    V = V * (Hex ? 16 : 10) + static_cast<unsigned>(Digit);
    if (V > (static_cast<unsigned __int128>(1) << 65)) return false;
  }
  if (Hex) {
    const unsigned __int128 Max = Bits == 64 ? static_cast<unsigned __int128>(UINT64_MAX) : 0xFFFFFFFFu;
    if (V > Max) return false;
    std::int64_t Pattern = Bits == 64 ? static_cast<std::int64_t>(static_cast<std::uint64_t>(V))
                                      : static_cast<std::int32_t>(static_cast<std::uint32_t>(V));
    Out = Neg ? static_cast<std::int64_t>(0 - static_cast<std::uint64_t>(Pattern)) : Pattern;
    if (Bits == 32 && Neg && Pattern == INT32_MIN) return false;
    if (Bits == 32) Out = static_cast<std::int32_t>(Out);
    return true;
  }
  const unsigned __int128 Limit = Bits == 64 ? static_cast<unsigned __int128>(INT64_MAX) : INT32_MAX;
  if (V > Limit + (Neg ? 1 : 0)) return false;
  Out = Neg ? static_cast<std::int64_t>(0 - static_cast<std::uint64_t>(V)) : static_cast<std::int64_t>(V);
  return true;
}

}  // namespace

bool TryStrToInt(const std::string& S, std::int32_t& Value) {
  std::int64_t V;
  if (!ParseInteger(S, 32, V)) return false;
  Value = static_cast<std::int32_t>(V);
  return true;
}

bool TryStrToInt64(const std::string& S, std::int64_t& Value) { return ParseInteger(S, 64, Value); }

std::int32_t StrToInt(const std::string& S) {
  std::int32_t V;
  if (!TryStrToInt(S, V)) ConvertFail("integer value", S);
  return V;
}

std::int64_t StrToInt64(const std::string& S) {
  std::int64_t V;
  if (!TryStrToInt64(S, V)) ConvertFail("integer value", S);
  return V;
}

std::int32_t StrToIntDef(const std::string& S, std::int32_t Default) {
  std::int32_t V;
  return TryStrToInt(S, V) ? V : Default;
}

// ---------------------------------------------------------------- floats and currency

bool TryStrToFloat(const std::string& S, double& Value, const TFormatSettings& Settings) {
  std::string_view T = TrimView(S);
  if (StartsWithNoCase(T, 0, "INF") && T.size() == 3) { Value = HUGE_VAL; return true; }
  if (StartsWithNoCase(T, 0, "+INF") && T.size() == 4) { Value = HUGE_VAL; return true; }
  if (StartsWithNoCase(T, 0, "-INF") && T.size() == 4) { Value = -HUGE_VAL; return true; }
  if (StartsWithNoCase(T, 0, "NAN") && T.size() == 3) { Value = std::numeric_limits<double>::quiet_NaN(); return true; }
  decimal::DecimalText D;
  if (!decimal::Scan(T, Settings.DecimalSeparator, true, D)) return false;
  return decimal::ToDouble(D, Value);
}
bool TryStrToFloat(const std::string& S, double& Value) { return TryStrToFloat(S, Value, CurrentSettings()); }

bool TryStrToFloat(const std::string& S, float& Value, const TFormatSettings& Settings) {
  double D;
  if (!TryStrToFloat(S, D, Settings)) return false;
  if (std::isfinite(D) && std::fabs(D) > std::numeric_limits<float>::max()) return false;
  Value = static_cast<float>(D);
  return true;
}
bool TryStrToFloat(const std::string& S, float& Value) { return TryStrToFloat(S, Value, CurrentSettings()); }

bool TryStrToCurr(const std::string& S, Currency& Value, const TFormatSettings& Settings) {
  decimal::DecimalText D;
  std::int64_t Scaled;
  if (!decimal::Scan(S, Settings.DecimalSeparator, true, D) || !decimal::ToScaled(D, 4, Scaled)) return false;
  Value = Currency::FromScaled(Scaled);
  return true;
}
bool TryStrToCurr(const std::string& S, Currency& Value) { return TryStrToCurr(S, Value, CurrentSettings()); }

double StrToFloat(const std::string& S, const TFormatSettings& Settings) {
  double V;
  if (!TryStrToFloat(S, V, Settings)) ConvertFail("floating point value", S);
  return V;
}
double StrToFloat(const std::string& S) { return StrToFloat(S, CurrentSettings()); }

Currency StrToCurr(const std::string& S, const TFormatSettings& Settings) {
  Currency V;
  if (!TryStrToCurr(S, V, Settings)) ConvertFail("currency value", S);
  return V;
}
Currency StrToCurr(const std::string& S) { return StrToCurr(S, CurrentSettings()); }

// ---------------------------------------------------------------- booleans

bool TryStrToBool(const std::string& S, bool& Value, const TFormatSettings& Settings) {
  const std::string_view T = TrimView(S);
  for (const std::string& W : Settings.TrueBoolStrs) {
    if (!W.empty() && AnsiSameText(T, W)) { Value = true; return true; }
  }
  for (const std::string& W : Settings.FalseBoolStrs) {
    if (!W.empty() && AnsiSameText(T, W)) { Value = false; return true; }
  }
  decimal::DecimalText D;
  if (decimal::Scan(T, Settings.DecimalSeparator, true, D)) {
    Value = !D.IsZero();
    return true;
  }
  return false;
}
bool TryStrToBool(const std::string& S, bool& Value) { return TryStrToBool(S, Value, CurrentSettings()); }

bool StrToBool(const std::string& S, const TFormatSettings& Settings) {
  bool V;
  if (!TryStrToBool(S, V, Settings)) ConvertFail("boolean value", S);
  return V;
}
bool StrToBool(const std::string& S) { return StrToBool(S, CurrentSettings()); }

std::string BoolToStr(bool Value, bool UseBoolStrs, const TFormatSettings& Settings) {
  if (!UseBoolStrs) return Value ? "-1" : "0";
  const auto& List = Value ? Settings.TrueBoolStrs : Settings.FalseBoolStrs;
  if (List.empty()) return Value ? "True" : "False";
  return List.front();
}
std::string BoolToStr(bool Value, bool UseBoolStrs) { return BoolToStr(Value, UseBoolStrs, CurrentSettings()); }

// ---------------------------------------------------------------- date and time parsing

namespace {

enum class DateOrder { MDY, DMY, YMD };

DateOrder OrderOf(const std::string& ShortDateFormat) {
  std::string Seen;
  bool InQuote = false;
  char Q = 0;
  for (char C : ShortDateFormat) {
    if (InQuote) {
      if (C == Q) InQuote = false;
      continue;
    }
    if (C == '"' || C == '\'') { InQuote = true; Q = C; continue; }
    char L = static_cast<char>(C | 0x20);
    if ((L == 'd' || L == 'm' || L == 'y') && Seen.find(L) == std::string::npos) Seen.push_back(L);
  }
  if (Seen.rfind("y", 0) == 0) return DateOrder::YMD;
  if (Seen.rfind("d", 0) == 0) return DateOrder::DMY;
  return DateOrder::MDY;
}

bool ReadNumber(std::string_view S, std::size_t& I, int MaxDigits, int& Value, int* Digits = nullptr) {
  std::size_t Start = I;
  long V = 0;
  while (I < S.size() && S[I] >= '0' && S[I] <= '9' && static_cast<int>(I - Start) < MaxDigits) V = V * 10 + (S[I++] - '0');
  if (I == Start) return false;
  if (I < S.size() && S[I] >= '0' && S[I] <= '9') return false;  // too many digits
  Value = static_cast<int>(V);
  if (Digits) *Digits = static_cast<int>(I - Start);
  return true;
}

void SkipBlanks(std::string_view S, std::size_t& I) {
  while (I < S.size() && static_cast<unsigned char>(S[I]) <= ' ') ++I;
}

int CurrentYear() {
  int Y, M, D;
  DecodeDate(Now(), Y, M, D);
  return Y;
}

// Reads a date at S[I..]; I ends after it.
bool ScanDate(std::string_view S, std::size_t& I, const TFormatSettings& F, TDateTime& Out) {
  int N[3];
  int YDigits[3] = {0, 0, 0};
  int Count = 0;
  std::size_t J = I;
  while (Count < 3) {
    if (!ReadNumber(S, J, 4, N[Count], &YDigits[Count])) return false;
    ++Count;
    if (Count < 3 && J < S.size() && S[J] == F.DateSeparator) {
      // Some locales put blanks after the separator ("2021. 3. 4.").
      std::size_t K = J + 1;
      SkipBlanks(S, K);
      if (K < S.size() && S[K] >= '0' && S[K] <= '9') {
        J = K;
        continue;
      }
    }
    break;
  }
  if (Count < 2) return false;
  // A trailing separator belongs to the date ("4.3." or "2021. 3. 4.").
  if (J < S.size() && S[J] == F.DateSeparator) ++J;
  int Y, M, D;
  int YearDigits = 4;
  const DateOrder Order = OrderOf(F.ShortDateFormat);
  if (Count == 2) {
    Y = CurrentYear();
    if (Order == DateOrder::DMY) { D = N[0]; M = N[1]; }
    else { M = N[0]; D = N[1]; }
  } else {
    switch (Order) {
      case DateOrder::MDY: M = N[0]; D = N[1]; Y = N[2]; YearDigits = YDigits[2]; break;
      case DateOrder::DMY: D = N[0]; M = N[1]; Y = N[2]; YearDigits = YDigits[2]; break;
      default: Y = N[0]; M = N[1]; D = N[2]; YearDigits = YDigits[0]; break;
    }
    if (YearDigits <= 2) {
      const int Now = CurrentYear();
      Y += Now / 100 * 100;
      if (F.TwoDigitYearCenturyWindow > 0 && Y > Now + F.TwoDigitYearCenturyWindow) Y -= 100;
    }
  }
  if (!TryEncodeDate(Y, M, D, Out)) return false;
  I = J;
  return true;
}

// Matches an AM/PM marker at S[I]; 1 for AM, 2 for PM, 0 for none.
int ScanAmPm(std::string_view S, std::size_t& I, const TFormatSettings& F) {
  const std::pair<std::string_view, int> Words[] = {
      {F.TimeAMString, 1}, {F.TimePMString, 2}, {"AM", 1}, {"PM", 2}};
  for (const auto& [W, Kind] : Words) {
    if (StartsWithNoCase(S, I, W)) {
      I += W.size();
      return Kind;
    }
  }
  return 0;
}

bool ScanTime(std::string_view S, std::size_t& I, const TFormatSettings& F, TDateTime& Out) {
  std::size_t J = I;
  int AmPm = ScanAmPm(S, J, F);
  if (AmPm) SkipBlanks(S, J);
  int H = 0, Mi = 0, Se = 0, Ms = 0;
  if (!ReadNumber(S, J, 2, H)) return false;
  bool HasSep = false;
  if (J < S.size() && S[J] == F.TimeSeparator) {
    ++J;
    if (!ReadNumber(S, J, 2, Mi)) return false;
    HasSep = true;
    if (J < S.size() && S[J] == F.TimeSeparator) {
      ++J;
      if (!ReadNumber(S, J, 2, Se)) return false;
      if (J < S.size() && (S[J] == '.' || S[J] == F.DecimalSeparator) && J + 1 < S.size() && S[J + 1] >= '0' && S[J + 1] <= '9') {
        ++J;
        int Digits = 0;
        if (!ReadNumber(S, J, 3, Ms, &Digits)) return false;
        for (; Digits < 3; ++Digits) Ms *= 10;
      }
    }
  }
  if (!AmPm) {
    std::size_t K = J;
    SkipBlanks(S, K);
    if (int Kind = ScanAmPm(S, K, F)) {
      AmPm = Kind;
      J = K;
    }
  }
  if (!HasSep && !AmPm) return false;
  if (AmPm) {
    if (H < 1 || H > 12) return false;
    H = H % 12 + (AmPm == 2 ? 12 : 0);
  }
  if (!TryEncodeTime(H, Mi, Se, Ms, Out)) return false;
  I = J;
  return true;
}

bool AtEnd(std::string_view S, std::size_t I) {
  SkipBlanks(S, I);
  return I == S.size();
}

std::string WithMilliseconds(const std::string& Fmt);

// Reads S[I..] as the text FormatDateTime makes from Fmt: fields where the
// format has them, its quoted and plain literals as they stand (a blank matches
// any run of blanks). Locales whose formats carry words ("2023 r."), marks
// (right-to-left marks around separators) or unit signs ("12 h 00 min") give
// texts that the separator-driven scan above cannot read; this reads them
// back. Only whole matches count.
bool MatchFormat(std::string_view S, std::size_t& I, std::string_view Fmt, const TFormatSettings& F,
                 bool& HasDate, TDateTime& Out) {
  int Y = 0, Mo = 0, D = 0, H = 0, Mi = 0, Se = 0, Ms = 0, AmPm = 0, YearDigits = 4;
  bool Date = false;
  // The longest of Names that the text starts with, case-insensitively; its index.
  auto MatchName = [&](std::size_t& J, const std::string* Names, int Count) {
    int Best = -1;
    std::size_t BestLen = 0;
    for (int K = 0; K < Count; ++K)
      if (Names[K].size() > BestLen && StartsWithNoCase(S, J, Names[K])) {
        Best = K;
        BestLen = Names[K].size();
      }
    J += BestLen;
    return Best;
  };
  auto MatchLiteral = [&](std::size_t& J, std::string_view Lit) {
    for (char C : Lit) {
      if (C == ' ') {
        if (J >= S.size() || static_cast<unsigned char>(S[J]) > ' ') return false;
        SkipBlanks(S, J);
      } else {
        if (J >= S.size() || S[J] != C) return false;
        ++J;
      }
    }
    return true;
  };
  std::size_t J = I;
  std::size_t P = 0;
  bool LastWasHour = false;
  while (P < Fmt.size()) {
    const char C = Fmt[P];
    const char L = static_cast<char>((C >= 'A' && C <= 'Z') ? C + 32 : C);
    std::size_t N = 1;
    while (P + N < Fmt.size() && (Fmt[P + N] | 0x20) == L && L >= 'a' && L <= 'z') ++N;
    if (C == '"' || C == '\'') {
      std::size_t E = Fmt.find(C, P + 1);
      if (E == std::string_view::npos) E = Fmt.size();
      if (!MatchLiteral(J, Fmt.substr(P + 1, E - P - 1))) return false;
      P = E + 1;
      continue;
    }
    if (StartsWithNoCase(Fmt, P, "AMPM") || StartsWithNoCase(Fmt, P, "AM/PM") || StartsWithNoCase(Fmt, P, "A/P")) {
      const bool Long = StartsWithNoCase(Fmt, P, "AMPM");
      const std::string Marks[] = {Long ? F.TimeAMString : "AM", Long ? F.TimePMString : "PM", "A", "P"};
      const int K = MatchName(J, Marks, StartsWithNoCase(Fmt, P, "A/P") ? 4 : 2);
      if (K < 0) return false;
      AmPm = K % 2 + 1;
      P += StartsWithNoCase(Fmt, P, "AMPM") ? 4 : StartsWithNoCase(Fmt, P, "AM/PM") ? 5 : 3;
      continue;
    }
    int Digits = 0;
    switch (L) {
      case 'y':
        if (!ReadNumber(S, J, N <= 2 ? 2 : 4, Y, &Digits)) return false;
        YearDigits = Digits;
        Date = true;
        break;
      case 'm':
        if (LastWasHour && N <= 2) {
          if (!ReadNumber(S, J, 2, Mi)) return false;
        } else if (N <= 2) {
          if (!ReadNumber(S, J, 2, Mo)) return false;
          Date = true;
        } else {
          const int K = MatchName(J, N == 3 ? F.ShortMonthNames : F.LongMonthNames, 12);
          if (K < 0) return false;
          Mo = K + 1;
          Date = true;
        }
        break;
      case 'd':
        if (N <= 2) {
          if (!ReadNumber(S, J, 2, D)) return false;
          Date = true;
        } else if (N <= 4) {
          if (MatchName(J, N == 3 ? F.ShortDayNames : F.LongDayNames, 7) < 0) return false;
        } else {
          return false;
        }
        break;
      case 'h':
        if (!ReadNumber(S, J, 2, H)) return false;
        break;
      case 'n':
        if (!ReadNumber(S, J, 2, Mi)) return false;
        break;
      case 's':
        if (!ReadNumber(S, J, 2, Se)) return false;
        break;
      case 'z':
        if (!ReadNumber(S, J, 3, Ms, &Digits)) return false;
        if (N >= 3 && Digits != 3) return false;
        break;
      case 'c':
      case 't':
        return false;  // nested formats are not produced by the locale settings
      case '/':
        if (!MatchLiteral(J, std::string_view(&F.DateSeparator, 1))) return false;
        break;
      case ':':
        if (!MatchLiteral(J, std::string_view(&F.TimeSeparator, 1))) return false;
        break;
      default:
        if (!MatchLiteral(J, Fmt.substr(P, N))) return false;
        break;
    }
    if (L == 'h') LastWasHour = true;
    else if (L != ' ' && L != ':' && !(L >= '0' && L <= '9')) LastWasHour = false;
    P += N;
  }
  if (Date && YearDigits <= 2) {
    const int Now = CurrentYear();
    Y += Now / 100 * 100;
    if (F.TwoDigitYearCenturyWindow > 0 && Y > Now + F.TwoDigitYearCenturyWindow) Y -= 100;
  }
  if (AmPm) {
    if (H < 1 || H > 12) return false;
    H = H % 12 + (AmPm == 2 ? 12 : 0);
  }
  TDateTime DatePart = 0, TimePart = 0;
  if (Date && !TryEncodeDate(Y, Mo, D, DatePart)) return false;
  if (!TryEncodeTime(H, Mi, Se, Ms, TimePart)) return false;
  Out = Date ? ComposeDateTime(DatePart, TimePart) : TimePart;
  HasDate = Date;
  I = J;
  return true;
}

// Reads the whole of S by one of the formats the formatters use: the short
// date (WantDate), the long time with or without milliseconds and the short
// time (WantTime), and the date followed by a blank and a time (both).
bool MatchLocaleFormats(std::string_view S, const TFormatSettings& F, bool WantDate, bool WantTime, TDateTime& Out) {
  const std::string Times[] = {F.LongTimeFormat, WithMilliseconds(F.LongTimeFormat), F.ShortTimeFormat};
  std::vector<std::string> Formats;
  if (WantDate) Formats.push_back(F.ShortDateFormat);
  if (WantTime)
    for (const std::string& T : Times) Formats.push_back(T);
  if (WantDate && WantTime)
    for (const std::string& T : Times) Formats.push_back(F.ShortDateFormat + " " + T);
  for (const std::string& Fmt : Formats) {
    std::size_t I = 0;
    SkipBlanks(S, I);
    bool HasDate = false;
    TDateTime V = 0;
    if (MatchFormat(S, I, Fmt, F, HasDate, V) && AtEnd(S, I)) {
      Out = V;
      return true;
    }
  }
  return false;
}

}  // namespace

bool TryStrToDate(const std::string& S, TDateTime& Value, const TFormatSettings& F) {
  std::string_view T = S;
  std::size_t I = 0;
  SkipBlanks(T, I);
  TDateTime D;
  if (!ScanDate(T, I, F, D) || !AtEnd(T, I)) {
    if (!MatchLocaleFormats(T, F, true, false, D)) return false;
  }
  Value = D;
  return true;
}
bool TryStrToDate(const std::string& S, TDateTime& Value) { return TryStrToDate(S, Value, CurrentSettings()); }

bool TryStrToTime(const std::string& S, TDateTime& Value, const TFormatSettings& F) {
  std::string_view T = S;
  std::size_t I = 0;
  SkipBlanks(T, I);
  TDateTime D;
  if (!ScanTime(T, I, F, D) || !AtEnd(T, I)) {
    if (!MatchLocaleFormats(T, F, false, true, D)) return false;
  }
  Value = D;
  return true;
}
bool TryStrToTime(const std::string& S, TDateTime& Value) { return TryStrToTime(S, Value, CurrentSettings()); }

bool TryStrToDateTime(const std::string& S, TDateTime& Value, const TFormatSettings& F) {
  std::string_view T = S;
  std::size_t I = 0;
  SkipBlanks(T, I);
  TDateTime D = 0, Tm = 0;
  std::size_t J = I;
  if (ScanDate(T, J, F, D)) {
    if (AtEnd(T, J)) {
      Value = D;
      return true;
    }
    if (J < T.size() && static_cast<unsigned char>(T[J]) <= ' ') {
      SkipBlanks(T, J);
      if (ScanTime(T, J, F, Tm) && AtEnd(T, J)) {
        Value = ComposeDateTime(D, Tm);
        return true;
      }
    }
  }
  J = I;
  if (ScanTime(T, J, F, Tm) && AtEnd(T, J)) {
    Value = Tm;
    return true;
  }
  return MatchLocaleFormats(T, F, true, true, Value);
}
bool TryStrToDateTime(const std::string& S, TDateTime& Value) { return TryStrToDateTime(S, Value, CurrentSettings()); }

TDateTime StrToDate(const std::string& S, const TFormatSettings& F) {
  TDateTime V;
  if (!TryStrToDate(S, V, F)) ConvertFail("date", S);
  return V;
}
TDateTime StrToDate(const std::string& S) { return StrToDate(S, CurrentSettings()); }
TDateTime StrToTime(const std::string& S, const TFormatSettings& F) {
  TDateTime V;
  if (!TryStrToTime(S, V, F)) ConvertFail("time", S);
  return V;
}
TDateTime StrToTime(const std::string& S) { return StrToTime(S, CurrentSettings()); }
TDateTime StrToDateTime(const std::string& S, const TFormatSettings& F) {
  TDateTime V;
  if (!TryStrToDateTime(S, V, F)) ConvertFail("date and time", S);
  return V;
}
TDateTime StrToDateTime(const std::string& S) { return StrToDateTime(S, CurrentSettings()); }

// ---------------------------------------------------------------- number formatting

std::string IntToStr(std::int64_t Value) { return std::to_string(Value); }

std::string IntToHex(std::int64_t Value, int Digits) {
  char Buf[32];
  auto R = std::to_chars(Buf, Buf + sizeof Buf, static_cast<std::uint64_t>(Value), 16);
  std::string S(Buf, R.ptr);
  for (char& C : S) C = static_cast<char>(C >= 'a' && C <= 'f' ? C - 32 : C);
  if (static_cast<int>(S.size()) < Digits) S.insert(0, static_cast<std::size_t>(Digits) - S.size(), '0');
  return S;
}

namespace {

// General format with at most Significant digits: fixed between 1E-5 and
// 1E15, scientific ("1.5E20", "1E-7") outside.
std::string GeneralText(decimal::DecimalText D, int Significant, char Sep) {
  if (Significant > 0) decimal::RoundToSignificant(D, Significant);
  std::string R = D.Negative && !D.IsZero() ? "-" : "";
  if (D.IsZero()) return R + "0";
  const int Exp10 = D.IntegerDigits() - 1;  // value = d.ddd * 10^Exp10
  if (Exp10 >= -5 && Exp10 < 15) {
    std::string IntPart, FracPart;
    const int Places = std::max(0, -D.Exponent);
    decimal::SplitFixed(D, Places, IntPart, FracPart);
    R += IntPart;
    if (!FracPart.empty()) {
      R.push_back(Sep);
      R += FracPart;
    }
    return R;
  }
  R.push_back(D.Digits[0]);
  if (D.Digits.size() > 1) {
    R.push_back(Sep);
    R += D.Digits.substr(1);
  }
  return R + "E" + std::to_string(Exp10);
}

std::string NonFinite(double V) {
  if (std::isnan(V)) return "NAN";
  return V < 0 ? "-INF" : "INF";
}

// Fixed text with Places decimals and optional grouping.
std::string FixedText(const decimal::DecimalText& D, int Places, const TFormatSettings& F, bool Group) {
  std::string IntPart, FracPart;
  decimal::SplitFixed(D, Places, IntPart, FracPart);
  const bool AllZero = IntPart == "0" && FracPart.find_first_not_of('0') == std::string::npos;
  std::string R;
  if (D.Negative && !AllZero) R.push_back('-');
  R += Group ? decimal::GroupThousands(IntPart, F.ThousandSeparator) : IntPart;
  if (Places > 0) {
    R.push_back(F.DecimalSeparator);
    R += FracPart;
  }
  return R;
}

std::string CurrencyText(const decimal::DecimalText& D, int Places, const TFormatSettings& F) {
  decimal::DecimalText Abs = D;
  Abs.Negative = false;
  const std::string N = FixedText(Abs, Places, F, true);
  const std::string& C = F.CurrencyString;
  const bool Zero = N.find_first_not_of(std::string{'0', F.DecimalSeparator, F.ThousandSeparator}) == std::string::npos;
  if (!D.Negative || Zero) {
    switch (F.CurrencyFormat) {
      case 1: return N + C;
      case 2: return C + " " + N;
      case 3: return N + " " + C;
      default: return C + N;
    }
  }
  switch (F.NegCurrFormat) {
    case 0: return "(" + C + N + ")";
    case 2: return C + "-" + N;
    case 3: return C + N + "-";
    case 4: return "(" + N + C + ")";
    case 5: return "-" + N + C;
    case 6: return N + "-" + C;
    case 7: return N + C + "-";
    case 8: return "-" + N + " " + C;
    case 9: return "-" + C + " " + N;
    case 10: return N + " " + C + "-";
    case 11: return C + " " + N + "-";
    case 12: return C + " -" + N;
    case 13: return N + "- " + C;
    case 14: return "(" + C + " " + N + ")";
    case 15: return "(" + N + " " + C + ")";
    default: return "-" + C + N;
  }
}

std::string ScientificText(const decimal::DecimalText& In, int Significant, int ExpDigits, char Sep) {
  decimal::DecimalText D = In;
  decimal::RoundToSignificant(D, Significant);
  std::string Digits = D.Digits;
  int Exp10 = D.IsZero() ? 0 : D.IntegerDigits() - 1;
  if (Digits.empty()) Digits.assign(1, '0');
  Digits.resize(static_cast<std::size_t>(std::max(1, Significant)), '0');
  std::string R = In.Negative && !D.IsZero() ? "-" : "";
  R.push_back(Digits[0]);
  if (Digits.size() > 1) {
    R.push_back(Sep);
    R += Digits.substr(1);
  }
  std::string E = std::to_string(std::abs(Exp10));
  if (static_cast<int>(E.size()) < ExpDigits) E.insert(0, static_cast<std::size_t>(ExpDigits) - E.size(), '0');
  return R + "E" + (Exp10 < 0 ? "-" : "+") + E;
}

}  // namespace

std::string FloatToStr(double Value, const TFormatSettings& F) {
  if (!std::isfinite(Value)) return NonFinite(Value);
  return GeneralText(decimal::FromDouble(Value), 0, F.DecimalSeparator);
}
std::string FloatToStr(double Value) { return FloatToStr(Value, CurrentSettings()); }

std::string CurrToStr(Currency Value, const TFormatSettings& F) {
  return GeneralText(decimal::FromScaled(Value.Scaled(), 4), 0, F.DecimalSeparator);
}
std::string CurrToStr(Currency Value) { return CurrToStr(Value, CurrentSettings()); }

// ---------------------------------------------------------------- picture formats

namespace {

struct PictureSection {
  std::string Prefix, Suffix;
  int MinInt = 0;       // '0' placeholders before the point
  int MinFrac = 0;      // up to the last '0' after the point
  int MaxFrac = 0;      // placeholders after the point
  bool Point = false;
  bool Thousands = false;
  bool Scientific = false;
  bool ExpPlus = false;
  char ExpChar = 'E';
  int ExpDigits = 0;
  bool HasDigits = false;
};

std::vector<std::string> SplitSections(const std::string& Fmt) {
  std::vector<std::string> R(1);
  char Q = 0;
  for (char C : Fmt) {
    if (Q) {
      if (C == Q) Q = 0;
    } else if (C == '"' || C == '\'') {
      Q = C;
    } else if (C == ';') {
      R.emplace_back();
      continue;
    }
    R.back().push_back(C);
  }
  return R;
}

PictureSection ParseSection(const std::string& S) {
  PictureSection P;
  std::string* Literal = &P.Prefix;
  bool AfterPoint = false;
  for (std::size_t I = 0; I < S.size(); ++I) {
    const char C = S[I];
    if (C == '"' || C == '\'') {
      std::size_t J = S.find(C, I + 1);
      if (J == std::string::npos) J = S.size();
      *Literal += S.substr(I + 1, J - I - 1);
      I = J;
      continue;
    }
    if (C == '0' || C == '#') {
      P.HasDigits = true;
      Literal = &P.Suffix;
      P.Suffix.clear();
      if (AfterPoint) {
        ++P.MaxFrac;
        if (C == '0') P.MinFrac = P.MaxFrac;
      } else if (C == '0') {
        ++P.MinInt;
      }
      continue;
    }
    if (C == '.' && !AfterPoint) {
      AfterPoint = true;
      P.Point = true;
      continue;
    }
    if (C == ',') {
      P.Thousands = true;
      continue;
    }
    if ((C == 'E' || C == 'e') && I + 1 < S.size() && (S[I + 1] == '+' || S[I + 1] == '-') && P.HasDigits) {
      P.Scientific = true;
      P.ExpChar = C;
      P.ExpPlus = S[I + 1] == '+';
      I += 2;
      while (I < S.size() && S[I] == '0') {
        ++P.ExpDigits;
        ++I;
      }
      --I;
      Literal = &P.Suffix;
      P.Suffix.clear();
      continue;
    }
    if (C == '\\' && I + 1 < S.size()) {
      Literal->push_back(S[++I]);
      continue;
    }
    Literal->push_back(C);
  }
  return P;
}

std::string ApplyPicture(const PictureSection& P, decimal::DecimalText D, bool WithSign, const TFormatSettings& F) {
  std::string Body;
  if (P.Scientific) {
    const int Int = std::max(1, P.MinInt);
    const int Sig = Int + P.MaxFrac;
    decimal::RoundToSignificant(D, Sig);
    int Exp10 = D.IsZero() ? 0 : D.IntegerDigits() - Int;
    std::string Digits = D.Digits;
    Digits.resize(static_cast<std::size_t>(Sig), '0');
    Body = Digits.substr(0, static_cast<std::size_t>(Int));
    std::string Frac = Digits.substr(static_cast<std::size_t>(Int));
    while (static_cast<int>(Frac.size()) > P.MinFrac && !Frac.empty() && Frac.back() == '0') Frac.pop_back();
    if (!Frac.empty()) {
      Body.push_back(F.DecimalSeparator);
      Body += Frac;
    }
    std::string E = std::to_string(std::abs(Exp10));
    if (static_cast<int>(E.size()) < P.ExpDigits) E.insert(0, static_cast<std::size_t>(P.ExpDigits) - E.size(), '0');
    Body += P.ExpChar;
    if (Exp10 < 0) Body += '-';
    else if (P.ExpPlus) Body += '+';
    Body += E;
  } else {
    std::string IntPart, FracPart;
    decimal::SplitFixed(D, P.MaxFrac, IntPart, FracPart);
    while (static_cast<int>(FracPart.size()) > P.MinFrac && FracPart.back() == '0') FracPart.pop_back();
    if (IntPart == "0" && P.MinInt == 0) IntPart.clear();
    if (static_cast<int>(IntPart.size()) < P.MinInt) IntPart.insert(0, static_cast<std::size_t>(P.MinInt) - IntPart.size(), '0');
    if (P.Thousands) IntPart = decimal::GroupThousands(IntPart, F.ThousandSeparator);
    Body = IntPart;
    if (!FracPart.empty()) {
      Body.push_back(F.DecimalSeparator);
      Body += FracPart;
    }
    D.Digits.clear();
    for (char C : IntPart + FracPart) {
      if (C >= '1' && C <= '9') D.Digits = "1";
    }
  }
  const bool Negative = WithSign && D.Negative && (P.Scientific ? !D.IsZero() : !D.Digits.empty());
  return P.Prefix + (Negative ? "-" : "") + Body + P.Suffix;
}

std::string FormatPicture(const std::string& Fmt, const decimal::DecimalText& D, const TFormatSettings& F) {
  std::vector<std::string> Sections = SplitSections(Fmt);
  if (Sections.size() > 3) throw EConvertError("Format '" + Fmt + "' has too many sections");
  PictureSection Pos = ParseSection(Sections[0]);
  if (!Pos.HasDigits && Sections[0].empty()) {
    return GeneralText(D, 15, F.DecimalSeparator);
  }
  if (D.IsZero() && Sections.size() == 3 && !Sections[2].empty()) {
    return ApplyPicture(ParseSection(Sections[2]), D, false, F);
  }
  if (D.Negative && !D.IsZero() && Sections.size() >= 2 && !Sections[1].empty()) {
    decimal::DecimalText Abs = D;
    Abs.Negative = false;
    return ApplyPicture(ParseSection(Sections[1]), Abs, false, F);
  }
  return ApplyPicture(Pos, D, true, F);
}

}  // namespace

std::string FormatFloat(const std::string& Fmt, double Value, const TFormatSettings& F) {
  if (!std::isfinite(Value)) return NonFinite(Value);
  return FormatPicture(Fmt, decimal::FromDouble(Value), F);
}
std::string FormatFloat(const std::string& Fmt, double Value) { return FormatFloat(Fmt, Value, CurrentSettings()); }

std::string FormatCurr(const std::string& Fmt, Currency Value, const TFormatSettings& F) {
  return FormatPicture(Fmt, decimal::FromScaled(Value.Scaled(), 4), F);
}
std::string FormatCurr(const std::string& Fmt, Currency Value) { return FormatCurr(Fmt, Value, CurrentSettings()); }

// ---------------------------------------------------------------- date formatting

namespace {

std::string TwoDigits(int V) {
  std::string S = std::to_string(V);
  return S.size() < 2 ? "0" + S : S;
}

std::string PadDigits(int V, std::size_t N) {
  std::string S = std::to_string(V);
  return S.size() < N ? std::string(N - S.size(), '0') + S : S;
}

// Inserts ".zzz" after the seconds of a time format so that milliseconds are
// not lost.
std::string WithMilliseconds(const std::string& Fmt) {
  char Q = 0;
  for (std::size_t I = 0; I < Fmt.size(); ++I) {
    const char C = Fmt[I];
    if (Q) {
      if (C == Q) Q = 0;
      continue;
    }
    if (C == '"' || C == '\'') {
      Q = C;
      continue;
    }
    if (C == 's' || C == 'S') {
      std::size_t J = I;
      while (J < Fmt.size() && (Fmt[J] == 's' || Fmt[J] == 'S')) ++J;
      return Fmt.substr(0, J) + ".zzz" + Fmt.substr(J);
    }
  }
  return Fmt;
}

struct DateParts {
  int Y, M, D, H, N, S, Z, Dow;
};

void FormatInto(std::string& R, const std::string& Fmt, const DateParts& P, bool HasDate, bool HasTime,
                const TFormatSettings& F, int Depth);

void AppendDefault(std::string& R, const DateParts& P, bool HasDate, bool HasTime, const TFormatSettings& F, int Depth) {
  if (HasDate) FormatInto(R, F.ShortDateFormat, P, true, true, F, Depth + 1);
  if (HasTime) {
    if (HasDate) R.push_back(' ');
    FormatInto(R, P.Z != 0 ? WithMilliseconds(F.LongTimeFormat) : F.LongTimeFormat, P, true, true, F, Depth + 1);
  }
}

void FormatInto(std::string& R, const std::string& Fmt, const DateParts& P, bool HasDate, bool HasTime,
                const TFormatSettings& F, int Depth) {
  if (Depth > 2) return;
  // Whether the format contains an AM/PM specifier, which makes h a 12-hour clock.
  auto HasAmPm = [&]() {
    for (std::size_t K = 0; K < Fmt.size(); ++K) {
      if (StartsWithNoCase(Fmt, K, "AMPM") || StartsWithNoCase(Fmt, K, "AM/PM") || StartsWithNoCase(Fmt, K, "A/P"))
        return true;
    }
    return false;
  };
  const bool Clock12 = HasAmPm();
  bool LastWasHour = false;
  std::size_t I = 0;
  while (I < Fmt.size()) {
    const char C = Fmt[I];
    const char L = static_cast<char>((C >= 'A' && C <= 'Z') ? C + 32 : C);
    std::size_t N = 1;
    while (I + N < Fmt.size() && (Fmt[I + N] | 0x20) == L && L >= 'a' && L <= 'z') ++N;
    if (C == '"' || C == '\'') {
      std::size_t J = Fmt.find(C, I + 1);
      if (J == std::string::npos) J = Fmt.size();
      R += Fmt.substr(I + 1, J - I - 1);
      I = J + 1;
      continue;
    }
    if (StartsWithNoCase(Fmt, I, "AMPM")) {
      R += P.H < 12 ? F.TimeAMString : F.TimePMString;
      I += 4;
      continue;
    }
    if (StartsWithNoCase(Fmt, I, "AM/PM")) {
      std::string T = P.H < 12 ? "am" : "pm";
      if (C == 'A') T = P.H < 12 ? "AM" : "PM";
      R += T;
      I += 5;
      continue;
    }
    if (StartsWithNoCase(Fmt, I, "A/P")) {
      R += C == 'A' ? (P.H < 12 ? "A" : "P") : (P.H < 12 ? "a" : "p");
      I += 3;
      continue;
    }
    switch (L) {
      case 'y':
        R += N <= 2 ? TwoDigits(P.Y % 100) : PadDigits(P.Y, 4);
        break;
      case 'm':
        if (LastWasHour && N <= 2) {
          R += N == 1 ? std::to_string(P.N) : TwoDigits(P.N);
        } else if (N == 1) {
          R += std::to_string(P.M);
        } else if (N == 2) {
          R += TwoDigits(P.M);
        } else if (N == 3) {
          R += F.ShortMonthNames[P.M - 1];
        } else {
          R += F.LongMonthNames[P.M - 1];
        }
        break;
      case 'd':
        if (N == 1) R += std::to_string(P.D);
        else if (N == 2) R += TwoDigits(P.D);
        else if (N == 3) R += F.ShortDayNames[P.Dow - 1];
        else if (N == 4) R += F.LongDayNames[P.Dow - 1];
        else if (N == 5) FormatInto(R, F.ShortDateFormat, P, true, true, F, Depth + 1);
        else FormatInto(R, F.LongDateFormat, P, true, true, F, Depth + 1);
        break;
      case 'h': {
        int H = P.H;
        if (Clock12) H = H % 12 == 0 ? 12 : H % 12;
        R += N == 1 ? std::to_string(H) : TwoDigits(H);
        break;
      }
      case 'n':
        R += N == 1 ? std::to_string(P.N) : TwoDigits(P.N);
        break;
      case 's':
        R += N == 1 ? std::to_string(P.S) : TwoDigits(P.S);
        break;
      case 'z':
        R += N >= 3 ? PadDigits(P.Z, 3) : std::to_string(P.Z);
        break;
      case 't':
        FormatInto(R, N == 1 ? F.ShortTimeFormat : F.LongTimeFormat, P, true, true, F, Depth + 1);
        break;
      case 'c':
        AppendDefault(R, P, HasDate, HasTime, F, Depth);
        break;
      case '/':
        R.push_back(F.DateSeparator);
        break;
      case ':':
        R.push_back(F.TimeSeparator);
        break;
      default:
        R.append(Fmt, I, N);
        break;
    }
    if (L == 'h') LastWasHour = true;
    else if (L != ' ' && L != ':' && !(L >= '0' && L <= '9')) LastWasHour = false;
    I += N;
  }
}

DateParts PartsOf(TDateTime V) {
  DateParts P{};
  DecodeDateTime(V, P.Y, P.M, P.D, P.H, P.N, P.S, P.Z);
  P.Dow = DayOfWeek(V);
  return P;
}

}  // namespace

std::string FormatDateTime(const std::string& Fmt, TDateTime Value, const TFormatSettings& F) {
  const DateParts P = PartsOf(Value);
  std::string R;
  const bool HasDate = std::trunc(Value) != 0;
  const bool HasTime = P.H != 0 || P.N != 0 || P.S != 0 || P.Z != 0;
  if (Fmt.empty()) {
    AppendDefault(R, P, HasDate || !HasTime, HasTime, F, 0);
  } else {
    FormatInto(R, Fmt, P, HasDate || !HasTime, HasTime, F, 0);
  }
  return R;
}
std::string FormatDateTime(const std::string& Fmt, TDateTime Value) {
  return FormatDateTime(Fmt, Value, CurrentSettings());
}

std::string DateToStr(TDateTime Value, const TFormatSettings& F) { return FormatDateTime(F.ShortDateFormat, Value, F); }
std::string DateToStr(TDateTime Value) { return DateToStr(Value, CurrentSettings()); }

std::string TimeToStr(TDateTime Value, const TFormatSettings& F) {
  const DateParts P = PartsOf(Value);
  std::string R;
  FormatInto(R, P.Z != 0 ? WithMilliseconds(F.LongTimeFormat) : F.LongTimeFormat, P, true, true, F, 0);
  return R;
}
std::string TimeToStr(TDateTime Value) { return TimeToStr(Value, CurrentSettings()); }

std::string DateTimeToStr(TDateTime Value, const TFormatSettings& F) { return FormatDateTime("", Value, F); }
std::string DateTimeToStr(TDateTime Value) { return DateTimeToStr(Value, CurrentSettings()); }

// ---------------------------------------------------------------- Format

namespace {

[[noreturn]] void BadFormat(std::string_view Fmt) {
  throw EConvertError("Format '" + std::string(Fmt) + "' invalid or incompatible with argument");
}

bool IsIntegerType(TVarType T) {
  switch (T) {
    case varSmallint: case varInteger: case varShortInt: case varByte: case varWord:
    case varLongWord: case varInt64:
      return true;
    default:
      return false;
  }
}

decimal::DecimalText NumberOf(const Variant& V, std::string_view Fmt) {
  const TVarType T = V.VarType() & varTypeMask;
  if (IsIntegerType(T)) return decimal::FromInt(V.RawInt());
  switch (T) {
    case varSingle: case varDouble: case varDate:
      if (!std::isfinite(V.RawDouble())) BadFormat(Fmt);
      return decimal::FromDouble(V.RawDouble());
    case varCurrency:
      return decimal::FromScaled(V.RawInt(), 4);
    default:
      break;
  }
  if (T == varFMTBcdCode) {
    decimal::DecimalText D;
    if (decimal::Scan(BcdToStr(V.RawBcd(), TFormatSettings{}), '.', false, D)) return D;
  }
  BadFormat(Fmt);
}

}  // namespace

std::string Format(std::string_view Fmt, std::span<const Variant> Args, const TFormatSettings& F) {
  std::string R;
  std::size_t ArgIndex = 0;
  std::size_t I = 0;
  auto NextArg = [&]() -> const Variant& {
    if (ArgIndex >= Args.size()) BadFormat(Fmt);
    return Args[ArgIndex++];
  };
  auto ReadCount = [&](int& Out) -> bool {
    if (I < Fmt.size() && Fmt[I] == '*') {
      ++I;
      const Variant& A = NextArg();
      if (!IsIntegerType(A.VarType() & varTypeMask)) BadFormat(Fmt);
      Out = static_cast<int>(std::clamp<std::int64_t>(A.RawInt(), -1, 100000));
      return true;
    }
    std::size_t Start = I;
    long V = 0;
    while (I < Fmt.size() && Fmt[I] >= '0' && Fmt[I] <= '9') {
      V = V * 10 + (Fmt[I++] - '0');
      if (V > 100000) BadFormat(Fmt);
    }
    if (I == Start) return false;
    Out = static_cast<int>(V);
    return true;
  };
  while (I < Fmt.size()) {
    const char C = Fmt[I++];
    if (C != '%') {
      R.push_back(C);
      continue;
    }
    if (I >= Fmt.size()) BadFormat(Fmt);
    if (Fmt[I] == '%') {
      R.push_back('%');
      ++I;
      continue;
    }
    // [index ":"] ["-"] [width] ["." precision] type
    int First = -1;
    std::size_t Save = I;
    if (I < Fmt.size() && Fmt[I] >= '0' && Fmt[I] <= '9' && ReadCount(First) && I < Fmt.size() && Fmt[I] == ':') {
      ++I;
      if (First < 0 || static_cast<std::size_t>(First) >= Args.size()) BadFormat(Fmt);
      ArgIndex = static_cast<std::size_t>(First);
    } else {
      I = Save;
    }
    bool Left = false;
    if (I < Fmt.size() && Fmt[I] == '-') {
      Left = true;
      ++I;
    }
    int Width = -1, Prec = -1;
    ReadCount(Width);
    if (I < Fmt.size() && Fmt[I] == '.') {
      ++I;
      if (!ReadCount(Prec)) BadFormat(Fmt);
    }
    if (I >= Fmt.size()) BadFormat(Fmt);
    const char Type = static_cast<char>(Fmt[I++] | 0x20);
    const Variant& A = NextArg();
    const TVarType T = A.VarType() & varTypeMask;
    std::string Text;
    switch (Type) {
      case 'd': case 'u': case 'x': {
        if (!IsIntegerType(T)) BadFormat(Fmt);
        std::int64_t V = A.RawInt();
        const bool Wide = T == varInt64;
        if (Type == 'd') {
          std::string Digits = V < 0 ? std::to_string(0 - static_cast<std::uint64_t>(V)) : std::to_string(V);
          if (Prec > static_cast<int>(Digits.size())) Digits.insert(0, static_cast<std::size_t>(Prec) - Digits.size(), '0');
          Text = (V < 0 ? "-" : "") + Digits;
        } else {
          const std::uint64_t U = Wide ? static_cast<std::uint64_t>(V) : static_cast<std::uint32_t>(V);
          if (Type == 'u') {
            Text = std::to_string(U);
            if (Prec > static_cast<int>(Text.size())) Text.insert(0, static_cast<std::size_t>(Prec) - Text.size(), '0');
          } else {
            Text = IntToHex(static_cast<std::int64_t>(U), std::max(Prec, 0));
          }
        }
        break;
      }
      case 'e': case 'f': case 'g': case 'n': case 'm': {
        if (T == varDouble || T == varSingle) {
          if (!std::isfinite(A.RawDouble())) {
            Text = NonFinite(A.RawDouble());
            break;
          }
        }
        const decimal::DecimalText D = NumberOf(A, Fmt);
        if (Type == 'e') Text = ScientificText(D, Prec < 0 ? 15 : std::clamp(Prec, 1, 18), 3, F.DecimalSeparator);
        else if (Type == 'f') Text = FixedText(D, Prec < 0 ? 2 : std::min(Prec, 18), F, false);
        else if (Type == 'n') Text = FixedText(D, Prec < 0 ? 2 : std::min(Prec, 18), F, true);
        else if (Type == 'm') Text = CurrencyText(D, Prec < 0 ? F.CurrencyDecimals : std::min(Prec, 18), F);
        else Text = GeneralText(D, Prec <= 0 ? 15 : std::min(Prec, 18), F.DecimalSeparator);
        break;
      }
      case 's': {
        if (A.IsArray()) BadFormat(Fmt);
        Text = VarToStr(A);
        if (Prec >= 0) Text = CharLeft(Text, static_cast<std::size_t>(Prec));
        break;
      }
      case 'p': {
        if (!IsIntegerType(T)) BadFormat(Fmt);
        Text = IntToHex(A.RawInt(), 16);
        break;
      }
      default:
        BadFormat(Fmt);
    }
    const std::size_t Len = CharLength(Text);
    if (Width > 0 && static_cast<std::size_t>(Width) > Len) {
      const std::string Pad(static_cast<std::size_t>(Width) - Len, ' ');
      Text = Left ? Text + Pad : Pad + Text;
    }
    R += Text;
  }
  return R;
}

std::string Format(std::string_view Fmt, std::span<const Variant> Args) {
  return Format(Fmt, Args, CurrentSettings());
}

std::string Format(std::string_view Fmt, std::initializer_list<Variant> Args) {
  return Format(Fmt, std::span<const Variant>(Args.begin(), Args.size()), CurrentSettings());
}

}  // namespace fyndra
