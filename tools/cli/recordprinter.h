// Prints dataset records in the output formats of the fyndra command.
//
//  table  field names, a rule, one aligned line per record, values as the
//         locale shows them (the way a form's grid would). Null is an empty
//         cell. Control characters and bytes that are not UTF-8 are shown as
//         escapes (\n, \t, \x1b, \u0085), so no value read from a database can
//         move the cursor or reprogram the terminal; texts longer than 30
//         characters are cut with an ellipsis.
//  csv    a header line of field names, then one line per record, lines
//         ending in LF; a value holding a comma, a quote or a line break is
//         quoted with quotes doubled (RFC 4180). Values in a form that does
//         not depend on the locale: dates yyyy-mm-dd, times hh:nn:ss, numbers
//         with a '.', booleans true and false, binary values in hexadecimal;
//         Null is an empty value.
//  json   one object per record, keys the field names, values as for csv but
//         typed: numbers and booleans bare, Null as null, texts escaped as
//         JSON requires (bytes that are not UTF-8 become U+FFFD). A found
//         record is one object (null when none); a screen is an array.
//
// The printer reads the dataset from its current record forward and never
// further than it prints (plus one record, to tell whether more follow).
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include <fyndra/platform/db/dataset.h>

#include "commandline.h"

namespace fyndra::cli {

class TRecordPrinter {
 public:
  TRecordPrinter(TOutputFormat Format, std::ostream& Out) : Format_(Format), Out_(Out) {}

  // The result of a search: the current record when Found, else "no record"
  // (table), the header alone (csv) or null (json).
  void PrintFound(TDataSet* DataSet, bool Found);
  // From the current record on, at most Limit records (Limit >= 1). Returns
  // whether another record follows; the dataset then stands on it.
  bool PrintScreen(TDataSet* DataSet, int Limit);

  // Header and rows in columns two blanks apart, a rule under the header.
  // REQUIRES: the cells hold no control characters (EscapeForTerminal).
  static void PrintColumns(std::ostream& Out, const std::vector<std::string>& Header,
                           const std::vector<std::vector<std::string>>& Rows);

  // The cell texts of one value, exposed for their tests.
  static std::string TableText(TField* Field);
  static std::string PlainText(TField* Field);  // csv and json; "" for Null
  static std::string EscapeForTerminal(std::string_view Text);
  static std::string CsvQuoted(std::string_view Text);
  static std::string JsonQuoted(std::string_view Text);

 private:
  void PrintTable(TDataSet* DataSet, const std::vector<std::vector<std::string>>& Rows);
  void PrintCsvHeader(TDataSet* DataSet);
  void PrintCsvRecord(TDataSet* DataSet);
  void PrintJsonRecord(TDataSet* DataSet, const char* Indent);

  TOutputFormat Format_;
  std::ostream& Out_;
};

}  // namespace fyndra::cli
