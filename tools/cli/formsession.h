// One run of a query form on the terminal: what a user of the desktop form
// does with its controls, as lines of text. A criterion line sets one item of
// the model as typing into the control bound to it would (the text converted
// to the item's type; an operator chosen first when the line names one), and
// the model applies itself once; then the result is printed: the record a
// find model moved to, or the first screen of the records a filter model
// leaves in its dataset.
//
//   ITEM=TEXT             set the item (an empty TEXT clears it)
//   ITEM:OPERATOR=TEXT    choose the item's operator (its number or caption) too
//   next                  find model: the next matching record;
//                         filter model: the next screen of records
//   first                 search again from the first record / the first screen
//   clear                 clear every item
//   items                 the items: field, type, operator, case, value
//   operators             the operators' numbers and captions
//   sql                   the query's SQL text and its parameter values
//   help                  this list
//
// Ownership: the session uses the form and the streams it is given; it
// installs its own not-found message handler for its lifetime and puts the
// previous one back.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include <fyndra/platform/rtl/dialogs.h>
#include <fyndra/platform/rtl/variants.h>

#include "commandline.h"
#include "queryform.h"
#include "recordprinter.h"
#include "toolerror.h"

namespace fyndra::cli {

class TFormSession {
 public:
  // REQUIRES: Form is open. Applies the options that shape the model
  // (--case-insensitive, --case-sensitive, --expression); raises EToolError
  // (esCriterion) when one names an unknown item or a bad expression.
  // Results go to Out; the form's not-found messages go there too in the
  // table format, and to Err in the csv and json formats (so the data stays
  // well-formed).
  TFormSession(TQueryForm& Form, const TRunOptions& Options, int Limit, std::ostream& Out, std::ostream& Err);
  ~TFormSession();
  TFormSession(const TFormSession&) = delete;
  TFormSession& operator=(const TFormSession&) = delete;

  // Runs one line (a criterion or a command); blank lines and lines starting
  // with '#' do nothing. Raises EToolError(esCriterion) for a line the form
  // refuses, EToolError(esDatabase) when the dataset fails; the session stays
  // usable either way.
  void Execute(const std::string& Line);
  // Runs the steps of a command line: criteria given one after another are
  // set together, as one change with one result (with --type, one after
  // another as typed); each command runs on its own. With more than one
  // result, the table format echoes the step before each.
  void ExecuteSteps(const std::vector<std::string>& Steps);
  // Prints the query's SQL text, as the filter model rewrote it, and its
  // parameter values (--sql, sql). EToolError(esCriterion) with SQLRefusal()
  // when the model rewrites no SQL.
  void PrintSQL();
  // Why the model rewrites no SQL (a find model; a filter model whose
  // dataset takes no SQL text or whose Options.SQLWhere is off), as one
  // line; empty when it rewrites its query's text.
  std::string SQLRefusal() const;
  // Whether the last search found a record (find) or left records (filter).
  bool LastFound() const { return LastFound_; }
  // Echo each line of Execute before its result ("> LINE").
  void SetEcho(bool Value) { Echo_ = Value; }

  static std::string HelpText();
  // Whether Text (trimmed) is one of the commands rather than a criterion.
  static bool IsCommand(const std::string& Text);

 private:
  struct TCriterion {
    std::string Item;
    std::string Operator;  // empty: keep the item's operator
    std::string Value;
  };
  TCriterion ParseCriterion(const std::string& Line) const;
  // A criterion checked and converted, ready to be set.
  struct TEntry {
    TzvCompareItem* Item = nullptr;
    std::int32_t Key = 0;
    bool NullTest = false;
    Variant Value;
  };
  void Guarded(const std::function<void()>& Action);
  void SetCriteria(const std::vector<TCriterion>& Criteria);
  void TypeCriterion(const TCriterion& Criterion);
  // False (when Typing) for a text that is not a valid value yet; raises the
  // model's own message otherwise.
  bool Prepare(const TCriterion& Criterion, const std::string& Text, bool Typing, TEntry& Entry);
  void Enter(const std::vector<TEntry>& Entries);
  std::int32_t FindOperator(const std::string& Text) const;
  void Changed();
  void Search(bool Restart);
  void Screen(bool FromFirst);
  void ListItems();
  void ListOperators();
  void SetCaseOption(const std::string& ItemName, bool Insensitive);
  void PrintMessages();

  TQueryForm& Form_;
  TzvDBBaseModel* Model_;
  const TRunOptions& Options_;
  int Limit_;
  std::ostream& Out_;
  std::ostream& Err_;
  TRecordPrinter Printer_;
  TShowMessageHandler PreviousHandler_;
  std::vector<std::string> Messages_;
  bool LastFound_ = true;
  bool ScreenEnded_ = false;  // the last screen reached the end of the records
  bool Echo_ = false;
  // Items whose options the form set to compare even when empty; the null
  // tests need that option, other operators get the form's setting back.
  std::vector<TzvCompareItem*> CompareIfEmpty_;
};

}  // namespace fyndra::cli
