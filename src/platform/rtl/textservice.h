// The one locale-aware text service of the system. 8-bit texts are UTF-8,
// wide texts UTF-16; "characters" are Unicode code points. Comparison and case
// mapping follow the text locale (an ICU locale name), set with SetTextLocale
// or, together with the format settings, SetDefaultLocale.
//
// Case-insensitive comparison is ICU collation at secondary strength (case
// differences ignored, accents significant); case-sensitive comparison is
// collation at tertiary strength with code point order as the last tie-break,
// so only identical texts compare equal. Texts made only of ASCII characters
// are compared and case-mapped without calling ICU, with the same results.
// Collators are cached per thread and locale.
//
// Bytes that are not valid UTF-8 are read as U+FFFD, except the byte FF. In
// comparisons the byte FF and the character DEL (7F) are read as U+FFFF, the
// character that sorts after all others: the upper ends of prefix ranges are
// the prefix padded with them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fyndra {

void SetTextLocale(const std::string& IcuLocale);
std::string TextLocale();
// Changes whenever the text locale is set: what was derived from the locale
// before (case keys, say) may have to be made again.
std::uint64_t TextLocaleGeneration();
// Sets the text locale and the current format settings (sysutils.h) from one
// locale name, e.g. "en_US" or "de_DE".
void SetDefaultLocale(const std::string& Locale);

int AnsiCompareText(std::string_view A, std::string_view B);  // <0, 0, >0, ignoring case
int AnsiCompareStr(std::string_view A, std::string_view B);   // <0, 0, >0, case-sensitive
bool AnsiSameText(std::string_view A, std::string_view B);
bool AnsiSameStr(std::string_view A, std::string_view B);
// The case-insensitive order that stores keep texts in (case-insensitive
// indexes of the client dataset, the case-insensitive collation of SQLite
// tables): the upper-case forms compared ignoring case, exactly
// AnsiCompareText(AnsiUpperCase(A), AnsiUpperCase(B)). A case-insensitive
// test compares a record with its upper-cased criterion in just this way, so
// a key range in this order holds exactly the records such a test accepts.
// It differs from AnsiCompareText where upper case changes more than case:
// here "straße" equals "STRASSE" (the collator alone tells ß from SS) and
// "ı" equals "I".
int AnsiCompareUpperText(std::string_view A, std::string_view B);
int WideCompareUpperText(std::u16string_view A, std::u16string_view B);
// The same order as the ICU locale Locale has it, whatever the current text
// locale is: for an order kept in a file, such as an index built under Locale.
int AnsiCompareUpperTextIn(const std::string& Locale, std::string_view A, std::string_view B);
// Compares exactly the first N characters of each side (fewer when a side is
// shorter), ignoring case.
int AnsiCompareTextN(std::string_view A, std::string_view B, std::size_t N);
// Full mapping: "straße" -> "STRASSE". Upper case maps each character on its
// own (the locale's rules without those that look at the neighbouring
// letters, as Lithuanian and Greek have), so the upper case of a text is the
// upper cases of its characters in a row: a part of a text is a part of it
// in upper case too, and tests that ignore case by upper-casing both sides
// never lose a text they would find respecting case.
std::string AnsiUpperCase(std::string_view S);
// Whether the upper-case form of Text's first characters begins with
// UpperPrefix (an upper-case text): only as many characters are mapped as
// UpperPrefix has bytes, since every character maps to at least one. The
// case-insensitive "starts with" test, in memory and in the engine's SQL.
bool UpperFormStartsWith(std::string_view Text, std::string_view UpperPrefix);
std::string AnsiLowerCase(std::string_view S);
// ASCII-only mappings that leave other characters alone.
std::string UpperCase(std::string_view S);
std::string LowerCase(std::string_view S);
// The same for wide texts.
int WideCompareText(std::u16string_view A, std::u16string_view B);
int WideCompareStr(std::u16string_view A, std::u16string_view B);
std::u16string WideUpperCase(std::u16string_view S);
std::u16string WideLowerCase(std::u16string_view S);

// Case keys for matching character by character ignoring case, as upper
// case compares: Units holds the code points of a text (anything above
// U+10FFFF stands for a byte that is not UTF-8 and stays as it is), and each
// is replaced by its key. A character whose upper case is one character has
// that as its key (a, A -> A; σ, ς, Σ -> Σ); one whose upper case is longer
// (ß -> SS, ﬁ -> FI) has a number from kFirstLongerCaseKey on, the same for
// the same upper case. Two characters have equal keys exactly when their
// upper cases are equal, and a text keeps its number of characters. Keys are
// valid for the current text locale and thread. Returns whether any key
// stands for a longer upper case.
constexpr char32_t kFirstLongerCaseKey = 0x200000;
bool AnsiCaseKeys(std::u32string& Units);

// 1-based character position of the first occurrence of Sub in S; 0 when it
// does not occur or Sub is empty.
int AnsiPos(std::string_view Sub, std::string_view S);

// Remove characters up to and including the blank (code <= 32) from either end.
std::string Trim(std::string_view S);
std::string TrimLeft(std::string_view S);
std::string TrimRight(std::string_view S);

// S between Quote characters, each Quote inside doubled.
std::string AnsiQuotedStr(std::string_view S, char Quote);
// Reads a quoted text from the start of S (doubled quotes become one) and
// returns it; S is advanced past the closing quote. When S does not start with
// Quote the result is empty and S is unchanged; a missing closing quote takes
// the rest of S.
std::string AnsiExtractQuotedStr(std::string& S, char Quote);
// The same without changing S; when S is not quoted, S itself.
std::string AnsiDequotedStr(std::string_view S, char Quote);

std::size_t CharLength(std::string_view S);  // code points
// The first N characters of S (all when shorter).
std::string CharLeft(std::string_view S, std::size_t N);
std::u16string Utf8ToUtf16(std::string_view S);
std::string Utf16ToUtf8(std::u16string_view S);  // lone surrogates become U+FFFD
bool IsAscii(std::string_view S);
// Whether S is well-formed UTF-8 (no stray bytes, overlong forms or surrogates).
bool IsUtf8(std::string_view S);
// Decodes the character at S[Pos] and advances Pos past it. Returns false,
// leaving Pos, when S[Pos] does not start a well-formed UTF-8 character.
bool NextUtf8Char(std::string_view S, std::size_t& Pos, char32_t& C);
void AppendUtf8Char(std::string& Out, char32_t C);

// Identifiers: the names of components, classes and properties. A letter or
// '_' comes first, then letters, digits, '_' and combining marks, by Unicode's
// identifier properties (XID_Start, XID_Continue), so "Кнопка1" and "Größe"
// are identifiers and "1a", "a-b" are not.
bool IsIdentStartChar(char32_t C);
bool IsIdentPartChar(char32_t C);
// Whether S (UTF-8) is one identifier.
bool IsIdentifier(std::string_view S);
// Identifiers are equal without regard to case, by Unicode's simple case
// folding: the same in every locale, so "КНОПКА" names "Кнопка".
bool SameIdentifier(std::string_view A, std::string_view B);
// The folded form that SameIdentifier compares (a key for maps).
std::string FoldIdentifier(std::string_view S);

// Code pages. CodePage is a name ICU knows ("windows-1252", "cp1251",
// "ISO-8859-2", "koi8-r") or a Windows code page number ("1250").
// Converts Text to UTF-8 into Out. Returns false when a byte sequence has no
// character in the code page; ErrorOffset is then where it starts. Raises
// EConvertError when the code page is not known.
bool CodePageToUtf8(std::string_view Text, std::string_view CodePage, std::string& Out, std::size_t& ErrorOffset);
// ICU's name of the converter CodePage stands for; raises EConvertError when
// there is none.
std::string CodePageName(std::string_view CodePage);

// Characters one by one (masked input works position by position): invalid
// UTF-8 bytes become U+FFFD, lone surrogates and values past U+10FFFF too.
std::u32string Utf8ToUtf32(std::string_view S);
std::string Utf32ToUtf8(std::u32string_view S);

// Single characters. A letter is any Unicode letter; the case mappings are the
// simple one-to-one ones (a character whose full mapping has several
// characters, such as the sharp s, keeps its case).
bool IsLetterChar(char32_t C);
char32_t UpperChar(char32_t C);
char32_t LowerChar(char32_t C);

}  // namespace fyndra

namespace fyndra::textservice_detail {
// The ICU collation path without the ASCII shortcut; tests compare the two.
int CollatorCompare(std::string_view A, std::string_view B, bool IgnoreCase);
// Whether the ASCII shortcut is in use for the current text locale.
bool AsciiShortcutActive();
}  // namespace fyndra::textservice_detail
