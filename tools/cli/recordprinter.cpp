#include "recordprinter.h"

#include <cmath>
#include <cstdio>

#include <fyndra/platform/db/fields.h>
#include <fyndra/platform/rtl/fmtbcd.h>
#include <fyndra/platform/rtl/sysutils.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra::cli {
namespace {

constexpr std::size_t kMaxCell = 30;

// The next code point of Text at Pos, advancing Pos; false (Pos past one
// byte) for a byte that does not start a well-formed UTF-8 sequence.
bool NextCodePoint(std::string_view Text, std::size_t& Pos, char32_t& CodePoint) {
  const auto Byte = [&](std::size_t I) { return static_cast<unsigned char>(Text[I]); };
  const unsigned char Lead = Byte(Pos);
  int Length = Lead < 0x80 ? 1 : (Lead >> 5) == 0x6 ? 2 : (Lead >> 4) == 0xE ? 3 : (Lead >> 3) == 0x1E ? 4 : 0;
  if (Length == 0 || Pos + Length > Text.size()) {
    ++Pos;
    return false;
  }
  char32_t C = Length == 1 ? Lead : Lead & (0x7F >> Length);
  for (int I = 1; I < Length; ++I) {
    if ((Byte(Pos + I) & 0xC0) != 0x80) {
      ++Pos;
      return false;
    }
    C = (C << 6) | (Byte(Pos + I) & 0x3F);
  }
  static constexpr char32_t Least[] = {0, 0, 0x80, 0x800, 0x10000};
  if (C < Least[Length] || C > 0x10FFFF || (C >= 0xD800 && C <= 0xDFFF)) {
    ++Pos;
    return false;
  }
  Pos += Length;
  CodePoint = C;
  return true;
}

std::string Hex(unsigned Value, int Digits) {
  char Buffer[16];
  std::snprintf(Buffer, sizeof Buffer, "%0*x", Digits, Value);
  return Buffer;
}

// Formats that do not depend on the locale.
const TFormatSettings& Invariant() {
  static const TFormatSettings Settings;
  return Settings;
}

std::string DateTimeText(TFieldType Type, TDateTime Value) {
  int H = 0, N = 0, S = 0, Ms = 0;
  DecodeTime(Value, H, N, S, Ms);
  const std::string Time = FormatDateTime(Ms ? "hh:nn:ss.zzz" : "hh:nn:ss", Value, Invariant());
  if (Type == ftTime) return Time;
  const std::string Date = FormatDateTime("yyyy-mm-dd", Value, Invariant());
  return Type == ftDate ? Date : Date + " " + Time;
}

bool IsBinary(TFieldType Type) {
  switch (Type) {
    case ftBytes: case ftVarBytes: case ftBlob: case ftGraphic: case ftTypedBinary:
    case ftParadoxOle: case ftDBaseOle: case ftOraBlob:
      return true;
    default:
      return false;
  }
}

// How a value is written in JSON: bare (numbers, booleans) or quoted.
bool IsBare(TField* Field) {
  switch (Field->GetDataType()) {
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: case ftLargeint:
    case ftBoolean: case ftCurrency: case ftBCD: case ftFMTBcd:
      return true;
    case ftFloat:
      return std::isfinite(Field->AsFloat());
    default:
      return false;
  }
}

// Decimal text with exactly Scale places where only zeros go or come: a
// NUMERIC(12,2) value reads 12.50, never 12.5000 or 12.5.
std::string WithScale(std::string Text, int Scale, char Separator) {
  if (Scale <= 0 || Text.find_first_not_of("-+0123456789" + std::string(1, Separator)) != std::string::npos)
    return Text;
  std::size_t Point = Text.find(Separator);
  if (Point == std::string::npos) {
    Point = Text.size();
    Text += Separator;
  }
  std::size_t Places = Text.size() - Point - 1;
  while (Places > std::size_t(Scale) && Text.back() == '0') {
    Text.pop_back();
    --Places;
  }
  if (Places < std::size_t(Scale)) Text.append(std::size_t(Scale) - Places, '0');
  return Text;
}

bool IsDecimal(TFieldType Type) { return Type == ftBCD || Type == ftFMTBcd; }

std::vector<std::string> TableRow(TDataSet* DataSet) {
  std::vector<std::string> Row;
  for (TField* Field : DataSet->Fields()) Row.push_back(TRecordPrinter::TableText(Field));
  return Row;
}

}  // namespace

std::string TRecordPrinter::EscapeForTerminal(std::string_view Text) {
  std::string Out;
  std::size_t Pos = 0;
  while (Pos < Text.size()) {
    const std::size_t Start = Pos;
    char32_t C = 0;
    if (!NextCodePoint(Text, Pos, C)) {
      Out += "\\x" + Hex(static_cast<unsigned char>(Text[Start]), 2);
    } else if (C == '\n') {
      Out += "\\n";
    } else if (C == '\t') {
      Out += "\\t";
    } else if (C == '\r') {
      Out += "\\r";
    } else if (C < 0x20 || C == 0x7F) {
      Out += "\\x" + Hex(C, 2);
    } else if (C >= 0x80 && C < 0xA0) {
      Out += "\\u" + Hex(C, 4);
    } else {
      Out.append(Text.substr(Start, Pos - Start));
    }
  }
  return Out;
}

std::string TRecordPrinter::CsvQuoted(std::string_view Text) {
  if (Text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(Text);
  std::string Out = "\"";
  for (char C : Text) {
    if (C == '"') Out += '"';
    Out += C;
  }
  return Out + "\"";
}

std::string TRecordPrinter::JsonQuoted(std::string_view Text) {
  std::string Out = "\"";
  std::size_t Pos = 0;
  while (Pos < Text.size()) {
    const std::size_t Start = Pos;
    char32_t C = 0;
    const bool Valid = NextCodePoint(Text, Pos, C);
    if (!Valid) {
      Out += "\xEF\xBF\xBD";  // U+FFFD for a byte that is not UTF-8
      continue;
    }
    switch (C) {
      case '"': Out += "\\\""; break;
      case '\\': Out += "\\\\"; break;
      case '\n': Out += "\\n"; break;
      case '\r': Out += "\\r"; break;
      case '\t': Out += "\\t"; break;
      case '\b': Out += "\\b"; break;
      case '\f': Out += "\\f"; break;
      default:
        // Line and paragraph separators are escaped too, so the text is
        // also safe inside JavaScript.
        if (C < 0x20 || C == 0x2028 || C == 0x2029) Out += "\\u" + Hex(C, 4);
        else Out.append(Text.substr(Start, Pos - Start));
    }
  }
  return Out + "\"";
}

std::string TRecordPrinter::TableText(TField* Field) {
  if (Field->IsNull()) return std::string();
  if (IsBinary(Field->GetDataType())) {
    std::string Text = "(";
    Text += std::to_string(Field->AsString().size());
    return Text += " bytes)";
  }
  std::string Text = Field->GetDisplayText();
  auto* Numeric = dynamic_cast<TNumericField*>(Field);
  if (IsDecimal(Field->GetDataType()) && Numeric && Numeric->GetDisplayFormat().empty())
    Text = WithScale(Text, Field->GetSize(), FormatSettings().DecimalSeparator);
  if (CharLength(Text) > kMaxCell) Text = CharLeft(Text, kMaxCell - 1) + "\xE2\x80\xA6";  // U+2026
  return EscapeForTerminal(Text);
}

std::string TRecordPrinter::PlainText(TField* Field) {
  if (Field->IsNull()) return std::string();
  const TFieldType Type = Field->GetDataType();
  switch (Type) {
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: case ftLargeint:
      return IntToStr(Field->GetAsLargeInt());
    case ftBoolean:
      return Field->AsBoolean() ? "true" : "false";
    case ftFloat: {
      const double V = Field->AsFloat();
      if (std::isnan(V)) return "NaN";
      if (std::isinf(V)) return V > 0 ? "Infinity" : "-Infinity";
      return FloatToStr(V, Invariant());
    }
    case ftCurrency:
      return CurrToStr(Field->AsCurrency(), Invariant());
    case ftBCD: case ftFMTBcd:
      return WithScale(BcdToStr(Field->GetAsBCD(), Invariant()), Field->GetSize(), '.');
    case ftDate: case ftTime: case ftDateTime: case ftTimeStamp:
      return DateTimeText(Type, Field->AsDateTime());
    default:
      break;
  }
  if (IsBinary(Type)) {
    std::string Out;
    for (unsigned char C : Field->AsString()) Out += Hex(C, 2);
    return Out;
  }
  return Field->AsString();
}

void TRecordPrinter::PrintColumns(std::ostream& Out, const std::vector<std::string>& Header,
                                  const std::vector<std::vector<std::string>>& Rows) {
  std::vector<std::size_t> Widths;
  for (const std::string& Name : Header) Widths.push_back(CharLength(Name));
  for (const auto& Row : Rows)
    for (std::size_t I = 0; I < Row.size() && I < Widths.size(); ++I)
      Widths[I] = std::max(Widths[I], CharLength(Row[I]));
  auto Line = [&](const std::vector<std::string>& Cells) {
    std::string Text;
    for (std::size_t I = 0; I < Cells.size() && I < Widths.size(); ++I) {
      if (I > 0) Text += "  ";
      Text += Cells[I];
      if (I + 1 < Cells.size()) Text.append(Widths[I] - CharLength(Cells[I]), ' ');
    }
    // No blanks at the end of a line, even when the last cells are empty.
    Text.erase(Text.find_last_not_of(' ') + 1);
    Out << Text << '\n';
  };
  Line(Header);
  std::string Rule;
  for (std::size_t I = 0; I < Widths.size(); ++I) Rule += (I > 0 ? "  " : "") + std::string(Widths[I], '-');
  Out << Rule << '\n';
  for (const auto& Row : Rows) Line(Row);
}

void TRecordPrinter::PrintTable(TDataSet* DataSet, const std::vector<std::vector<std::string>>& Rows) {
  std::vector<std::string> Header;
  for (TField* Field : DataSet->Fields()) Header.push_back(EscapeForTerminal(Field->GetFieldName()));
  PrintColumns(Out_, Header, Rows);
}

void TRecordPrinter::PrintCsvHeader(TDataSet* DataSet) {
  std::string Text;
  for (TField* Field : DataSet->Fields()) {
    if (!Text.empty()) Text += ',';
    Text += CsvQuoted(Field->GetFieldName());
  }
  Out_ << Text << '\n';
}

void TRecordPrinter::PrintCsvRecord(TDataSet* DataSet) {
  std::string Text;
  bool First = true;
  for (TField* Field : DataSet->Fields()) {
    if (!First) Text += ',';
    First = false;
    Text += CsvQuoted(PlainText(Field));
  }
  Out_ << Text << '\n';
}

void TRecordPrinter::PrintJsonRecord(TDataSet* DataSet, const char* Indent) {
  std::string Text = std::string(Indent) + "{";
  bool First = true;
  for (TField* Field : DataSet->Fields()) {
    Text += First ? "" : ", ";
    First = false;
    Text += JsonQuoted(Field->GetFieldName()) + ": ";
    if (Field->IsNull()) Text += "null";
    else if (IsBare(Field)) Text += PlainText(Field);
    else Text += JsonQuoted(PlainText(Field));
  }
  Out_ << Text << "}";
}

void TRecordPrinter::PrintFound(TDataSet* DataSet, bool Found) {
  Found = Found && !DataSet->IsEmpty();
  switch (Format_) {
    case TOutputFormat::Table:
      if (Found) PrintTable(DataSet, {TableRow(DataSet)});
      else Out_ << "(no record)\n";
      break;
    case TOutputFormat::Csv:
      PrintCsvHeader(DataSet);
      if (Found) PrintCsvRecord(DataSet);
      break;
    case TOutputFormat::Json:
      if (Found) PrintJsonRecord(DataSet, "");
      else Out_ << "null";
      Out_ << '\n';
      break;
  }
  Out_.flush();
}

bool TRecordPrinter::PrintScreen(TDataSet* DataSet, int Limit) {
  int Count = 0;
  std::vector<std::vector<std::string>> Rows;
  if (Format_ == TOutputFormat::Csv) PrintCsvHeader(DataSet);
  if (Format_ == TOutputFormat::Json) Out_ << "[";
  for (; !DataSet->Eof() && !DataSet->IsEmpty() && Count < Limit; ++Count, DataSet->Next()) {
    switch (Format_) {
      case TOutputFormat::Table: Rows.push_back(TableRow(DataSet)); break;
      case TOutputFormat::Csv: PrintCsvRecord(DataSet); break;
      case TOutputFormat::Json:
        Out_ << (Count ? ",\n" : "\n");
        PrintJsonRecord(DataSet, "  ");
        break;
    }
  }
  const bool More = !DataSet->Eof() && !DataSet->IsEmpty();
  if (Format_ == TOutputFormat::Table) {
    PrintTable(DataSet, Rows);
    if (Rows.empty()) Out_ << "(no records)\n";
  }
  if (Format_ == TOutputFormat::Json) Out_ << (Count ? "\n]\n" : "]\n");
  Out_.flush();
  return More;
}

}  // namespace fyndra::cli
