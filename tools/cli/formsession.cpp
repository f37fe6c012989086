#include "formsession.h"

#include <algorithm>
#include <cmath>

#include <fyndra/core/zvcomparemodels.h>
#include <fyndra/core/zvmodelconsts.h>
#include <fyndra/core/zvmodelconverter.h>
#include <fyndra/dataset/zvbdemodel.h>
#include <fyndra/platform/bde/bdedataset.h>
#include <fyndra/platform/db/dbtypes.h>
#include <fyndra/platform/db/fields.h>
#include <fyndra/platform/rtl/fmtbcd.h>
#include <fyndra/platform/rtl/sysutils.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra::cli {
namespace {

std::string Quoted(const std::string& Text) { return TRecordPrinter::EscapeForTerminal(AnsiQuotedStr(Text, '"')); }

std::string FieldTypeText(TzvCompareItem* Item) {
  auto* FieldItem = dynamic_cast<TzvFieldItem*>(Item);
  TField* Field = FieldItem ? FieldItem->GetField() : nullptr;
  if (!Field) return "-";
  switch (Field->GetDataType()) {
    case ftString: case ftWideString: case ftFixedChar: case ftGuid: return "text";
    case ftMemo: case ftFmtMemo: return "memo";
    case ftSmallint: case ftInteger: case ftWord: case ftLargeint: case ftAutoInc: return "integer";
    case ftFloat: return "float";
    case ftCurrency: return "currency";
    case ftBCD: case ftFMTBcd: return "decimal";
    case ftBoolean: return "boolean";
    case ftDate: return "date";
    case ftTime: return "time";
    case ftDateTime: case ftTimeStamp: return "date-time";
    default: return "other";
  }
}

// A parameter value in a form that does not depend on the locale: as a SQL
// literal (Json false) or as a JSON value. Dates are written as the engine
// binds a parameter of Type: a date alone, a time alone, or both.
std::string ParamValueText(const Variant& V, TFieldType Type, bool Json) {
  static const TFormatSettings Invariant;
  auto Quote = [Json](const std::string& Text) {
    return Json ? TRecordPrinter::JsonQuoted(Text) : AnsiQuotedStr(Text, '\'');
  };
  auto DateText = [&](TDateTime Value) {
    const char* Format = Type == ftDate ? "yyyy-mm-dd" : Type == ftTime ? "hh:nn:ss" : "yyyy-mm-dd hh:nn:ss";
    return Quote(FormatDateTime(Format, Value, Invariant));
  };
  switch (V.VarType()) {
    case varEmpty: case varNull: return Json ? "null" : "NULL";
    case varBoolean: return V.AsBoolean() ? (Json ? "true" : "TRUE") : (Json ? "false" : "FALSE");
    case varSingle: case varDouble: {
      const double D = V.AsDouble();
      // JSON has no spelling for the values beyond the finite numbers.
      if (Json && !std::isfinite(D)) return TRecordPrinter::JsonQuoted(FloatToStr(D, Invariant));
      return FloatToStr(D, Invariant);
    }
    case varSmallint: case varInteger: case varShortInt: case varByte: case varWord: case varLongWord:
    case varInt64: return VarToStr(V);
    case varCurrency: return CurrToStr(V.AsCurrency(), Invariant);
    case varDate: return DateText(V.AsDateTime());
    case varString: case varOleStr: return Quote(V.AsString());
    default: break;
  }
  if (VarIsFMTBcd(V)) {
    std::string Text = V.AsString();
    for (char& C : Text)
      if (C == FormatSettings().DecimalSeparator) C = '.';
    return Text;
  }
  if (V.VarType() == varSQLTimeStampCode) return DateText(SQLTimeStampToDateTime(V.AsSQLTimeStamp()));
  return Quote(VarToStr(V));
}

bool IsNullTest(TzvCompareModelList* List, std::int32_t Key) {
  const TzvCompareModelItem Entry = List->Get(Key);
  if (!Entry.ModelClass) return false;
  TOwned<TzvCompareModel> Probe(Entry.ModelClass());
  return dynamic_cast<TzvNullCompareModel*>(Probe.get()) != nullptr;
}

// Sets Action's changes of the items as one change: one notification, so
// with AutoUpdate at most one apply.
template <class F>
void Batch(TzvCompareItems* Items, F&& Action) {
  Items->BeginUpdate();
  try {
    Action();
  } catch (...) {
    Items->EndUpdate();
    throw;
  }
  Items->EndUpdate();
}

}  // namespace

TFormSession::TFormSession(TQueryForm& Form, const TRunOptions& Options, int Limit, std::ostream& Out,
                           std::ostream& Err)
    : Form_(Form),
      Model_(Form.GetModel()),
      Options_(Options),
      Limit_(Limit),
      Out_(Out),
      Err_(Err),
      Printer_(Options.Format, Out) {
  PreviousHandler_ = SetShowMessageHandler([this](const std::string& Text) { Messages_.push_back(Text); });
  try {
    // The session applies the model itself, once per line, so that it knows
    // what each search found.
    if (Form_.IsFindModel()) Model_->GetOptions()->SetAutoUpdate(false);
    TzvCompareItems* Items = Model_->GetCompareItems();
    for (const std::string& Name : Options.CaseInsensitive) SetCaseOption(Name, true);
    for (const std::string& Name : Options.CaseSensitive) SetCaseOption(Name, false);
    for (int I = 0; I < Items->Count(); ++I)
      if (Items->GetItem(I)->GetOptions().Contains(ciCompareIfEmpty)) CompareIfEmpty_.push_back(Items->GetItem(I));
    if (Options.Expression) Model_->SetExpression(*Options.Expression);
    // The command is there to filter: a filter model that the form leaves
    // switched off (for a check box of the form to switch on) is switched on.
    if (auto* Filter = dynamic_cast<TzvCustomDBFilterModel*>(Model_); Filter && !Filter->GetFiltered())
      Filter->SetFiltered(true);
  } catch (const Exception& E) {
    SetShowMessageHandler(std::move(PreviousHandler_));
    if (auto* Tool = dynamic_cast<const EToolError*>(&E)) throw *Tool;
    throw EToolError(esCriterion, E.Message());
  }
}

TFormSession::~TFormSession() { SetShowMessageHandler(std::move(PreviousHandler_)); }

void TFormSession::SetCaseOption(const std::string& ItemName, bool Insensitive) {
  TzvCompareItem* Item = Model_->GetCompareItems()->FindByName(ItemName);
  TzvCompareItemOptions Set = Item->GetOptions();
  if (Insensitive) Set.Include(ciCaseInsensitive);
  else Set.Exclude(ciCaseInsensitive);
  Item->SetOptions(Set);
}

std::string TFormSession::HelpText() {
  return "  ITEM=TEXT            set the item (an empty TEXT clears it)\n"
         "  ITEM:OPERATOR=TEXT   choose the item's operator (its number or caption) too\n"
         "  next                 find model: the next matching record;\n"
         "                       filter model: the next screen of records\n"
         "  first                search again from the first record (the first screen)\n"
         "  clear                clear every item\n"
         "  items                list the items: field, type, operator, case, value\n"
         "  operators            list the operators\n"
         "  sql                  the query's SQL text and its parameter values\n"
         "  help                 this list\n";
}

bool TFormSession::IsCommand(const std::string& Text) {
  for (const char* Command : {"next", "first", "clear", "items", "operators", "sql", "help"})
    if (Text == Command) return true;
  return false;
}

void TFormSession::Guarded(const std::function<void()>& Action) {
  try {
    Action();
  } catch (const EToolError&) {
    throw;
  } catch (const EDatabaseError& E) {
    throw EToolError(esDatabase, E.Message());
  } catch (const Exception& E) {
    throw EToolError(esCriterion, E.Message());
  }
  Out_.flush();
}

void TFormSession::Execute(const std::string& Line) {
  std::string Raw = Line;
  if (!Raw.empty() && Raw.back() == '\r') Raw.pop_back();
  const std::string Text = Trim(Raw);
  if (Text.empty() || Text[0] == '#') return;
  if (Echo_) Out_ << "> " << TRecordPrinter::EscapeForTerminal(Text) << '\n';
  Guarded([&] {
    if (Text == "next") {
      if (Form_.IsFindModel()) Search(false);
      else Screen(false);
    } else if (Text == "first") {
      if (Form_.IsFindModel()) Search(true);
      else Screen(true);
    } else if (Text == "clear") {
      Batch(Model_->GetCompareItems(), [&] { Model_->GetCompareItems()->ClearValues(); });
      Changed();
    } else if (Text == "items") {
      ListItems();
    } else if (Text == "operators") {
      ListOperators();
    } else if (Text == "sql") {
      PrintSQL();
    } else if (Text == "help") {
      Out_ << HelpText();
    } else if (Options_.TypeCharacters) {
      TypeCriterion(ParseCriterion(Raw));
    } else {
      SetCriteria({ParseCriterion(Raw)});
    }
  });
}

void TFormSession::ExecuteSteps(const std::vector<std::string>& Steps) {
  // Each result is told from the next by the step that led to it, when there
  // is more than one (in the table format; data formats stay bare).
  int Results = 0;
  for (std::size_t I = 0; I < Steps.size(); ++I)
    if (IsCommand(Trim(Steps[I])) || I == 0 || IsCommand(Trim(Steps[I - 1]))) ++Results;
  Echo_ = Options_.Format == TOutputFormat::Table && Results > 1;
  for (std::size_t I = 0; I < Steps.size();) {
    const std::string Text = Trim(Steps[I]);
    if (Options_.TypeCharacters || IsCommand(Text) || Text.empty() || Text[0] == '#') {
      Execute(Steps[I++]);
      continue;
    }
    std::vector<std::string> Group;
    for (; I < Steps.size() && !IsCommand(Trim(Steps[I])); ++I) Group.push_back(Steps[I]);
    if (Echo_) {
      std::string Line;
      for (const std::string& Step : Group) {
        if (!Line.empty()) Line += ' ';
        Line += Trim(Step);
      }
      Out_ << "> " << TRecordPrinter::EscapeForTerminal(Line) << '\n';
    }
    Guarded([&] {
      std::vector<TCriterion> Criteria;
      for (const std::string& Step : Group) Criteria.push_back(ParseCriterion(Step));
      SetCriteria(Criteria);
    });
  }
}

TFormSession::TCriterion TFormSession::ParseCriterion(const std::string& Line) const {
  const std::size_t Equal = Line.find('=');
  const std::string Left = Equal == std::string::npos ? std::string() : Trim(Line.substr(0, Equal));
  if (Left.empty())
    throw EToolError(esCriterion, "not a criterion or command: " + Quoted(Trim(Line)) + " (help lists them)");
  TCriterion C;
  C.Value = Line.substr(Equal + 1);  // as an edit holds it, blanks included
  C.Item = Left;
  // An item whose name holds a colon is taken whole; otherwise the first
  // colon separates the operator (captions may hold colons themselves).
  if (!Model_->GetCompareItems()->FindItem(Left)) {
    if (const std::size_t Colon = Left.find(':'); Colon != std::string::npos) {
      C.Item = Trim(Left.substr(0, Colon));
      C.Operator = Trim(Left.substr(Colon + 1));
    }
  }
  return C;
}

std::int32_t TFormSession::FindOperator(const std::string& Text) const {
  TzvCompareModelList* List = Model_->GetCompareModelList();
  std::int32_t Number = -1;
  const bool IsNumber = !Text.empty() && Text.find_first_not_of("0123456789") == std::string::npos &&
                        TryStrToInt(Text, Number);
  for (int I = 0; I < List->GetCount(); ++I)
    if ((IsNumber && List->GetKey(I) == Number) || (!IsNumber && AnsiSameText(List->GetValue(I).Caption, Text)))
      return List->GetKey(I);
  throw EToolError(esCriterion, "no operator " + Quoted(Text) + " (operators lists them)");
}

bool TFormSession::Prepare(const TCriterion& Criterion, const std::string& Text, bool Typing, TEntry& Entry) {
  Entry.Item = Model_->GetCompareItems()->FindByName(Criterion.Item);
  Entry.Key = Criterion.Operator.empty() ? Entry.Item->GetCompareKey() : FindOperator(Criterion.Operator);
  TzvCompareModelList* List = Model_->GetCompareModelList();
  if (List->FindItem(Entry.Key) < 0) zvBaseModelErrorFmt(LoadResString(SCompareModelError), {Entry.Key}, Model_);
  Entry.NullTest = IsNullTest(List, Entry.Key);
  Entry.Value = Null();
  if (!Entry.NullTest && !Text.empty() && !TryVarToVar(Variant(Text), Entry.Value, Entry.Item->GetDataType())) {
    if (Typing) return false;
    // The model's own message for a value its item cannot take.
    zvBaseModelErrorFmt(LoadResString(SInvalidItemValue), {Text, Entry.Item->GetDisplayLabel()});
  }
  return true;
}

void TFormSession::Enter(const std::vector<TEntry>& Entries) {
  Batch(Model_->GetCompareItems(), [&] {
    for (const TEntry& E : Entries) {
      if (E.Key != E.Item->GetCompareKey()) E.Item->SetCompareKey(E.Key);
      // A null test compares although its item holds no value; other
      // operators compare empty items only when the form says so.
      TzvCompareItemOptions Set = E.Item->GetOptions();
      const bool FormCompares =
          std::find(CompareIfEmpty_.begin(), CompareIfEmpty_.end(), E.Item) != CompareIfEmpty_.end();
      if (E.NullTest || FormCompares) Set.Include(ciCompareIfEmpty);
      else Set.Exclude(ciCompareIfEmpty);
      if (Set != E.Item->GetOptions()) E.Item->SetOptions(Set);
      E.Item->SetAsVariant(E.Value);
    }
  });
}

void TFormSession::SetCriteria(const std::vector<TCriterion>& Criteria) {
  // Every criterion is checked and converted before any is set, so a refused
  // one changes nothing.
  std::vector<TEntry> Entries(Criteria.size());
  for (std::size_t I = 0; I < Criteria.size(); ++I) Prepare(Criteria[I], Criteria[I].Value, false, Entries[I]);
  Enter(Entries);
  Changed();
}

void TFormSession::TypeCriterion(const TCriterion& Criterion) {
  const std::size_t Length = CharLength(Criterion.Value);
  if (Length == 0) {
    SetCriteria({Criterion});
    return;
  }
  // Character by character, as a user types: a prefix that is not a valid
  // value yet (half a date) is not taken, and the item keeps its value.
  for (std::size_t N = 1; N <= Length; ++N) {
    const std::string Prefix = CharLeft(Criterion.Value, N);
    if (Options_.Format == TOutputFormat::Table) Out_ << Criterion.Item << "=" << Quoted(Prefix) << '\n';
    TEntry Entry;
    if (Prepare(Criterion, Prefix, N < Length, Entry)) {
      Enter({Entry});
      Changed();
    } else if (Options_.Format == TOutputFormat::Table) {
      Out_ << "  (not a valid value yet)\n";
    }
  }
}

void TFormSession::Changed() {
  if (Form_.IsFindModel()) {
    Search(static_cast<TzvCustomDBFindModel*>(Model_)->GetOptions()->GetRestart());
    return;
  }
  // A filter model follows its items by itself (AutoUpdate); one that waits
  // for the form's button is applied here, as that button would.
  if (!Model_->GetOptions()->GetAutoUpdate()) Model_->Apply();
  Screen(true);
}

void TFormSession::PrintMessages() {
  std::ostream& To = Options_.Format == TOutputFormat::Table ? Out_ : Err_;
  for (const std::string& Message : Messages_) To << "message: " << Quoted(Message) << '\n';
  Messages_.clear();
}

void TFormSession::Search(bool Restart) {
  TzvFindOptions* Find = static_cast<TzvCustomDBFindModel*>(Model_)->GetOptions();
  const bool Saved = Find->GetRestart();
  Find->SetRestart(Restart);
  Messages_.clear();
  bool Found = false;
  try {
    Found = Model_->Apply();
  } catch (...) {
    Find->SetRestart(Saved);
    Messages_.clear();
    throw;
  }
  Find->SetRestart(Saved);
  LastFound_ = Found;
  PrintMessages();
  Printer_.PrintFound(Form_.GetDataSet(), Found);
}

void TFormSession::Screen(bool FromFirst) {
  TDataSet* DataSet = Form_.GetDataSet();
  if (FromFirst) {
    DataSet->First();
    ScreenEnded_ = false;
  } else if (ScreenEnded_) {
    if (Options_.Format == TOutputFormat::Table) Out_ << "(no more records)\n";
    return;
  }
  PrintMessages();
  LastFound_ = !DataSet->IsEmpty();
  const bool More = Printer_.PrintScreen(DataSet, Limit_);
  ScreenEnded_ = !More;
  if (More && Options_.Format == TOutputFormat::Table) Out_ << "(more records follow: next shows them)\n";
}

void TFormSession::ListItems() {
  TzvCompareItems* Items = Model_->GetCompareItems();
  std::vector<std::vector<std::string>> Rows;
  for (int I = 0; I < Items->Count(); ++I) {
    TzvCompareItem* Item = Items->GetItem(I);
    const bool Text = VarTypeIsStr(Item->GetDataType());
    Rows.push_back({TRecordPrinter::EscapeForTerminal(Item->GetName()),
                    TRecordPrinter::EscapeForTerminal(Item->GetFieldName()), FieldTypeText(Item),
                    Model_->GetCompareModelList()->Get(Item->GetCompareKey()).Caption,
                    !Text ? "" : Item->GetOptions().Contains(ciCaseInsensitive) ? "ignored" : "matters",
                    Item->IsEmpty() ? "" : Quoted(Item->GetAsString())});
  }
  TRecordPrinter::PrintColumns(Out_, {"item", "field", "type", "operator", "case", "value"}, Rows);
}

void TFormSession::ListOperators() {
  TzvCompareModelList* List = Model_->GetCompareModelList();
  for (int I = 0; I < List->GetCount(); ++I)
    Out_ << (List->GetKey(I) < 10 ? "   " : "  ") << List->GetKey(I) << "  " << List->GetValue(I).Caption << '\n';
  Out_ << "A comparison reads from the value entered towards the record: \"greater\" finds\n"
          "a record whose field is less than the value, \"less\" one whose field is greater.\n";
}

std::string TFormSession::SQLRefusal() const {
  const std::string Model = Model_->GetName();
  const std::string DataSet = Form_.GetDataSet()->GetName();
  auto* Filter = dynamic_cast<TzvCustomDBFilterModel*>(Model_);
  if (!Filter)
    return Model + " rewrites no SQL: it is a find model, which moves to the matching record of " + DataSet;
  if (Filter->IsSQLWhere() && dynamic_cast<TQuery*>(Form_.GetDataSet())) return std::string();
  const char* ByRecord = "; it filters the records one by one";
  if (!Filter->GetOptions()->GetSQLWhere())
    return Model + " rewrites no SQL: its Options.SQLWhere is False" + ByRecord;
  if (dynamic_cast<TQuery*>(Form_.GetDataSet()))
    return Model + " rewrites no SQL: a " + Model_->ClassName() + " does not rewrite a query's text (a " +
           TzvBdeFilterModel::StaticClass()->Name + " does)" + ByRecord;
  return Model + " rewrites no SQL: " + DataSet + " (" + Form_.GetDataSet()->ClassName() +
         ") is not a query" + ByRecord;
}

void TFormSession::PrintSQL() {
  if (const std::string Refusal = SQLRefusal(); !Refusal.empty()) throw EToolError(esCriterion, Refusal);
  auto* Query = static_cast<TQuery*>(Form_.GetDataSet());  // SQLRefusal made sure
  const std::string SQL = Query->GetSQL()->GetText();
  TParams* Params = Query->GetParams();
  if (Options_.Format == TOutputFormat::Json) {
    std::string Text = "{\"sql\": " + TRecordPrinter::JsonQuoted(SQL) + ", \"parameters\": {";
    for (int I = 0; I < Params->Count(); ++I) {
      TParam* P = Params->GetItem(I);
      Text += (I ? ", " : "") + TRecordPrinter::JsonQuoted(P->GetName()) + ": " +
              ParamValueText(P->GetValue(), P->GetDataType(), true);
    }
    Out_ << Text << "}}\n";
    return;
  }
  std::size_t Start = 0;
  while (Start < SQL.size()) {
    std::size_t End = SQL.find('\n', Start);
    if (End == std::string::npos) End = SQL.size();
    std::string Line = SQL.substr(Start, End - Start);
    if (!Line.empty() && Line.back() == '\r') Line.pop_back();
    Out_ << TRecordPrinter::EscapeForTerminal(Line) << '\n';
    Start = End + 1;
  }
  for (int I = 0; I < Params->Count(); ++I) {
    TParam* P = Params->GetItem(I);
    Out_ << "-- :" << TRecordPrinter::EscapeForTerminal(P->GetName()) << " = "
         << TRecordPrinter::EscapeForTerminal(ParamValueText(P->GetValue(), P->GetDataType(), false)) << '\n';
  }
}

}  // namespace fyndra::cli
