// Prefix, suffix and containment tests on UTF-8 texts, each in a form that
// ignores letter case (names ending in Text) and one that respects it (names
// ending in Str). The text operators of the compare models call them once per
// record, so they work on the caller's strings without copying where they can.
//
// Lengths are counted in characters (Unicode code points). Case-insensitive
// comparison and case mapping go through the platform text service and so
// follow its current locale. The functions are stateless and never raise.
#pragma once

#include <string>

namespace fyndra {

// Ignoring case, texts are compared in their upper-case forms (the text
// service's full mapping), character for character, as SQL's UPPER( F )
// LIKE does: "STRASSE" starts "Straße 5", while a control character or
// another spelling of an accent makes a difference.

// True when the upper-case form of Text starts with that of SubText. An
// empty SubText starts every text.
bool AnsiStartsText(const std::string& SubText, const std::string& Text);

// True when the upper-case form of Text ends with that of SubText. An empty
// SubText ends every text.
bool AnsiEndsText(const std::string& SubText, const std::string& Text);

// AnsiStartsText and AnsiEndsText for a SubText that is in its upper-case
// form (AnsiUpperCase) already, as the text operators prepare their criterion
// once per change: only the part of Text that can matter is mapped.
bool AnsiStartsUpperText(const std::string& UpperSubText, const std::string& Text);
bool AnsiEndsUpperText(const std::string& UpperSubText, const std::string& Text);

// True when the first characters of Text (all of it when Text is shorter)
// equal SubText by the locale's case-sensitive equality.
bool AnsiStartsStr(const std::string& SubText, const std::string& Text);

// True when the last characters of Text equal SubText by the locale's
// case-sensitive equality; a SubText longer than Text never ends it.
bool AnsiEndsStr(const std::string& SubText, const std::string& Text);

// Note the argument order of the containment tests: whole text first.
// True when the upper-case form of SubText occurs in the upper-case form of
// Text. An empty SubText is contained in no text.
bool AnsiContainsText(const std::string& Text, const std::string& SubText);

// True when SubText occurs in Text. An empty SubText is contained in no text.
bool AnsiContainsStr(const std::string& Text, const std::string& SubText);

// Whether the whole Text matches the whole Pattern: '*' stands for any run of
// characters (also none), '?' for exactly one character, every other
// character for itself. Ignoring case, a text matches when either
//  - its characters match the pattern's one for one by case keys
//    (AnsiCaseKeys: equal upper cases), '?' taking one character of Text:
//    "stra?e" matches "STRAßE"; or
//  - its upper-case form matches that of the pattern, as SQL's
//    UPPER( F ) LIKE does: "*SS*" matches "straße".
// The two differ only where a character's upper case is longer than one
// character. A text matches whatever it matches respecting case.
//
// The parts between stars are placed one after another at their leftmost
// occurrence, which is where a part of fixed length leaves the most room to
// the parts after it. A part is found by a linear search when it has no '?'
// and by a bit-parallel one (64 pattern characters a step) when it has, so a
// match costs about len(Text) for patterns without '?' and at most
// len(Text) * len(Pattern) / 64 steps with them, whatever the input.
bool MatchWildcards(const std::string& Text, const std::string& Pattern, bool IgnoreCase);

// Byte offset of the character with the zero-based index CharIndex in the
// UTF-8 text S; S.size() when S has no more characters than that.
std::size_t Utf8CharOffset(const std::string& S, std::size_t CharIndex);

}  // namespace fyndra
