// fyndra-findcustomers: a query form on the terminal over the sample database.
//
// The program is what a desktop find form does, without the windows: a
// database, a dataset on its customers (a table ordered by an index, or a
// query), a data source, and a find model bound to that source. Every field of
// the customers gives the model one criterion (an item). A line such as
// "name=mü" is what a user typing into the edit bound to the item "name" would
// cause: the text is converted to the item's type as an edit control converts
// it (a text that does not convert is not taken), the item takes the value,
// the model applies itself and the dataset moves to the first matching record.
// The program then prints that record. The not-found message reaches the user
// through the message handler that the program installs.
//
//   fyndra-findcustomers [options] [CRITERION | COMMAND]...
//
// Criteria and commands come from the arguments, else from standard input, one
// per line; without either (standard input empty, or --demo) a short built-in
// demonstration runs. The database file is generated first when it is missing.
//
// Ownership: the form object owns the database, the dataset, the data source
// and the model (declared in that order, so they are freed in reverse order,
// the model first); the previous message handler is put back when it goes.
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <initializer_list>
#include <iostream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <fyndra/core/zvmodelconverter.h>
#include <fyndra/dataset/zvdbbasemodel.h>
#include <fyndra/platform/bde/bdedataset.h>
#include <fyndra/platform/bde/database.h>
#include <fyndra/platform/bde/sampledb.h>
#include <fyndra/platform/bde/table.h>
#include <fyndra/platform/db/datasource.h>
#include <fyndra/platform/rtl/dialogs.h>
#include <fyndra/platform/rtl/textservice.h>

namespace {

using namespace fyndra;

constexpr const char* kProgram = "fyndra-findcustomers";

struct TArguments {
  std::string DatabasePath = "sample.db";
  std::int64_t Customers = 20000;
  bool UseQuery = false;
  std::string IndexName = "customers_name";
  bool TypeCharacters = false;
  bool Demo = false;
  bool Quiet = false;
  std::vector<std::string> Lines;
};

void PrintUsage(std::FILE* Out) {
  std::fprintf(Out,
               "usage: %s [options] [CRITERION | COMMAND]...\n"
               "\n"
               "A query form on the customers of a sample database. Each CRITERION sets one\n"
               "item of the find model, as typing into its edit would, and shows the record\n"
               "the find model moved to. Without arguments, the lines of standard input are\n"
               "read; with none there (or with --demo), a short demonstration runs.\n"
               "\n"
               "  FIELD=TEXT            set the item of FIELD (empty TEXT clears it)\n"
               "  FIELD:OPERATOR=TEXT   choose the item's operator (number or caption) too\n"
               "  next                  move to the next record that matches\n"
               "  first                 search again from the first record\n"
               "  clear                 clear every item\n"
               "  items                 list the items, their types, operators and values\n"
               "  operators             list the operators\n"
               "\n"
               "Values are read as a form's edit reads them: numbers and dates in the format\n"
               "of the current locale (LC_ALL, LC_MESSAGES, LANG); text criteria ignore case.\n"
               "\n"
               "options:\n"
               "  --db FILE         the database (default sample.db; generated when missing)\n"
               "  --customers N     customers to generate when the file is missing (default 20000)\n"
               "  --index NAME      the index that orders the customers table (default\n"
               "                    customers_name; an empty name orders by the row id)\n"
               "  --query           search a query (ordered by name) instead of the table\n"
               "  --type            enter each text character by character, showing the\n"
               "                    record found after each character\n"
               "  --demo            run the demonstration\n"
               "  --quiet           no timings (output that repeats exactly)\n"
               "  --help            this text\n",
               kProgram);
}

// Parses a non-negative count; false for anything else.
bool ParseCount(const std::string& Text, std::int64_t& Out) {
  if (Text.empty()) return false;
  char* End = nullptr;
  errno = 0;
  const long long Value = std::strtoll(Text.c_str(), &End, 10);
  if (errno != 0 || *End != '\0' || Value < 0) return false;
  Out = Value;
  return true;
}

// 0: parsed; 1: stop with success (help); 2: usage error.
int ParseArguments(int argc, char** argv, TArguments& Args) {
  for (int I = 1; I < argc; ++I) {
    const std::string Arg = argv[I];
    auto Value = [&](std::string& Out) {
      if (I + 1 >= argc) return false;
      Out = argv[++I];
      return true;
    };
    std::string Text;
    if (Arg == "--help" || Arg == "-h") {
      PrintUsage(stdout);
      return 1;
    } else if (Arg == "--db") {
      if (!Value(Args.DatabasePath) || Args.DatabasePath.empty()) return 2;
    } else if (Arg == "--customers") {
      if (!Value(Text) || !ParseCount(Text, Args.Customers)) return 2;
    } else if (Arg == "--index") {
      if (!Value(Args.IndexName)) return 2;
    } else if (Arg == "--query") {
      Args.UseQuery = true;
    } else if (Arg == "--type") {
      Args.TypeCharacters = true;
    } else if (Arg == "--demo") {
      Args.Demo = true;
    } else if (Arg == "--quiet") {
      Args.Quiet = true;
    } else if (Arg.size() > 1 && Arg[0] == '-' && Arg[1] == '-') {
      return 2;
    } else {
      Args.Lines.push_back(Arg);
    }
  }
  return 0;
}

// Writes the sample database to a temporary name and renames it into place,
// so that an interrupted run never leaves a partial file behind for the next.
void GenerateDatabase(const std::string& Path, std::int64_t Customers) {
  std::fprintf(stderr, "%s: generating %lld customers into %s\n", kProgram, static_cast<long long>(Customers),
               Path.c_str());
  const std::string Temporary = Path + ".part";
  TSampleDatabaseOptions Options;
  Options.Customers = Customers;
  try {
    GenerateSampleDatabase(Temporary, Options);
  } catch (...) {
    std::error_code Ignored;
    std::filesystem::remove(Temporary, Ignored);
    throw;
  }
  std::filesystem::rename(Temporary, Path);
}

// The pieces one after another. (Building texts by appending also keeps an
// optimising compiler's overlap check quiet, which misreads literal + string.)
std::string Concat(std::initializer_list<std::string_view> Pieces) {
  std::string Out;
  for (std::string_view Piece : Pieces) Out.append(Piece);
  return Out;
}

// A text cut to at most Max characters (code points, never inside one).
std::string Shortened(const std::string& Text, std::size_t Max) {
  if (CharLength(Text) <= Max) return Text;
  return CharLeft(Text, Max - 1) + "\xE2\x80\xA6";  // U+2026, an ellipsis
}

class TQueryForm {
 public:
  explicit TQueryForm(const TArguments& Args) : Args_(Args) {
    PreviousHandler_ = SetShowMessageHandler([this](const std::string& Text) {
      ++Messages_;
      std::printf("  message: \"%s\"\n", Text.c_str());
    });
  }
  ~TQueryForm() { SetShowMessageHandler(std::move(PreviousHandler_)); }
  TQueryForm(const TQueryForm&) = delete;
  TQueryForm& operator=(const TQueryForm&) = delete;

  void Open() {
    Database_->SetDatabaseName(Args_.DatabasePath);
    Database_->GetParams()->Add("READONLY=TRUE");
    Database_->Open();
    if (Args_.UseQuery) {
      auto Query = CreateOwned<TQuery>(static_cast<TComponent*>(nullptr));
      Query->SetDatabase(Database_.get());
      Query->GetSQL()->SetText("SELECT * FROM customers ORDER BY name, id");
      DataSet_ = std::move(Query);
    } else {
      auto Table = CreateOwned<TTable>(static_cast<TComponent*>(nullptr));
      Table->SetDatabase(Database_.get());
      Table->SetTableName("customers");
      Table->SetIndexName(Args_.IndexName);
      DataSet_ = std::move(Table);
    }
    DataSet_->SetName("Customers");
    Source_->SetDataSet(DataSet_.get());
    Model_->SetName("FindCustomers");
    Model_->GetMessageOptions()->SetShowMessage(true);
    Model_->GetOptions()->SetAutoUpdate(true);
    Model_->SetDataSource(Source_.get());
    // Opening the dataset makes the model active: it builds one item per field.
    DataSet_->Open();
    RecordCount_ = DataSet_->GetRecordCount();
    std::printf("%s: %d customers in %s, %s; items:", kProgram, RecordCount_, Args_.DatabasePath.c_str(),
                Args_.UseQuery ? "query ordered by name"
                : Args_.IndexName.empty() ? "table in row order"
                                          : Concat({"table ordered by index ", Args_.IndexName}).c_str());
    TzvCompareItems* Items = Model_->GetCompareItems();
    for (int I = 0; I < Items->Count(); ++I) std::printf(" %s", Items->GetItem(I)->GetName().c_str());
    std::printf("\n");
  }

  // Runs one criterion or command; false (with the reason on standard error)
  // when it was refused. The model stays usable either way.
  bool Execute(const std::string& Line) {
    // Commands and names ignore surrounding blanks; a value keeps them.
    std::string Raw = Line;
    if (!Raw.empty() && Raw.back() == '\r') Raw.pop_back();
    const std::string Text = Trim(Raw);
    if (Text.empty() || Text[0] == '#') return true;
    try {
      if (Text == "next") return Search(false, "next");
      if (Text == "first") return Search(true, "first");
      if (Text == "clear") {
        Timed("clear", [&] { Model_->GetCompareItems()->ClearValues(); });
        return true;
      }
      if (Text == "items") return ListItems();
      if (Text == "operators") return ListOperators();
      if (Text == "help") {
        PrintUsage(stdout);
        return true;
      }
      const std::size_t Equal = Raw.find('=');
      if (Equal == std::string::npos) {
        std::fprintf(stderr, "%s: not a criterion or command: %s\n", kProgram, Text.c_str());
        return false;
      }
      std::string Name = Trim(Raw.substr(0, Equal));
      std::string Operator;
      if (const std::size_t Colon = Name.find(':'); Colon != std::string::npos) {
        Operator = Trim(Name.substr(Colon + 1));
        Name = Trim(Name.substr(0, Colon));
      }
      // The value is taken as given (blanks included), as an edit holds it.
      const std::string Value = Raw.substr(Equal + 1);
      TzvCompareItem* Item = Model_->GetCompareItems()->FindByName(Name);
      std::int32_t Key = Item->GetCompareKey();
      if (!Operator.empty() && !FindOperator(Operator, Key)) return false;
      const std::size_t Length = CharLength(Value);
      if (!Args_.TypeCharacters || Length == 0) return Enter(Item, Value, Key);
      bool Ok = true;
      for (std::size_t N = 1; N <= Length; ++N) Ok = Enter(Item, CharLeft(Value, N), Key) && Ok;
      return Ok;
    } catch (const std::exception& E) {
      std::fprintf(stderr, "%s: %s\n", kProgram, E.what());
      return false;
    }
  }

  // Types the name of a customer from the database character by character,
  // then walks through the customers of that name, narrows them by city, and
  // types a character that no name continues with.
  bool Demonstrate() {
    const std::string Name = PickNonAsciiName();
    if (Name.empty()) {
      std::printf("The database has no customers.\n");
      return Execute("name=a");
    }
    const std::string Typed = AnsiLowerCase(Name);
    std::printf("\nTyping \"%s\" into the name item, one character at a time:\n", Typed.c_str());
    bool Ok = true;
    const std::size_t Length = CharLength(Typed);
    for (std::size_t N = 1; N <= Length; ++N) Ok = Execute(Concat({"name=", CharLeft(Typed, N)})) && Ok;
    std::printf("\nThe next customers of that name:\n");
    Ok = Execute("next") && Ok;
    Ok = Execute("next") && Ok;
    const std::string City = DataSet_->FieldByName("city")->AsString();
    std::printf("\nNarrowing by the city of the customer shown (both criteria must agree):\n");
    Ok = Execute(Concat({"city=", City})) && Ok;
    std::printf("\nA name no customer has (the model shows its message and moves to the last record):\n");
    Ok = Execute(Concat({"name=", Typed, "q"})) && Ok;
    std::printf("\nBack to a name that exists, and a city given by its ending only:\n");
    Ok = Execute(Concat({"name=", Typed})) && Ok;
    Ok = Execute(Concat({"city:ends on=", CharRight(City, 3)})) && Ok;
    std::printf("\nClearing the criteria:\n");
    Ok = Execute("clear") && Ok;
    return Ok;
  }

  int Messages() const { return Messages_; }

 private:
  // Converts Text to the item's type as an edit control does and sets it,
  // with the operator Key, as one change (one apply); a text that does not
  // convert (yet) is not taken and the item keeps its value.
  bool Enter(TzvCompareItem* Item, const std::string& Text, std::int32_t Key) {
    std::string Step = Item->GetName();
    if (Key != Item->GetCompareKey()) Step = Concat({Step, ":", Model_->GetCompareModelList()->Get(Key).Caption});
    Step = Concat({Step, "=", AnsiQuotedStr(Text, '"')});
    Variant Value;
    if (!TryVarToVar(Variant(Text), Value, Item->GetDataType())) {
      std::printf("%s\n  (not a valid %s value; the item keeps \"%s\")\n", Step.c_str(),
                  FieldTypeText(Item).c_str(), Item->GetAsString().c_str());
      // Half-typed input is expected while typing; a finished entry is not.
      return Args_.TypeCharacters;
    }
    Timed(Step, [&] {
      TzvCompareItems* Items = Model_->GetCompareItems();
      Items->BeginUpdate();
      try {
        if (Key != Item->GetCompareKey()) Item->SetCompareKey(Key);
        Item->SetAsVariant(Value);
      } catch (...) {
        Items->EndUpdate();
        throw;
      }
      Items->EndUpdate();
    });
    return true;
  }

  bool Search(bool Restart, const std::string& Step) {
    TzvFindOptions* Options = Model_->GetOptions();
    const bool Saved = Options->GetRestart();
    Options->SetRestart(Restart);
    try {
      Timed(Step, [&] { Model_->Apply(); });
    } catch (...) {
      Options->SetRestart(Saved);
      throw;
    }
    Options->SetRestart(Saved);
    return true;
  }

  // The key of the operator given by its number or caption (any case).
  bool FindOperator(const std::string& Operator, std::int32_t& Key) {
    TzvCompareModelList* List = Model_->GetCompareModelList();
    std::int64_t Number = -1;
    const bool IsNumber = ParseCount(Operator, Number);
    for (int I = 0; I < List->GetCount(); ++I) {
      if ((IsNumber && List->GetKey(I) == Number) ||
          (!IsNumber && AnsiSameText(List->GetValue(I).Caption, Operator))) {
        Key = List->GetKey(I);
        return true;
      }
    }
    std::fprintf(stderr, "%s: no operator \"%s\" (see: operators)\n", kProgram, Operator.c_str());
    return false;
  }

  bool ListItems() {
    TzvCompareItems* Items = Model_->GetCompareItems();
    for (int I = 0; I < Items->Count(); ++I) {
      TzvCompareItem* Item = Items->GetItem(I);
      std::printf("  %-8s %-10s %-28s %s\n", Item->GetName().c_str(), FieldTypeText(Item).c_str(),
                  Model_->GetCompareModelList()->Get(Item->GetCompareKey()).Caption.c_str(),
                  Item->IsEmpty() ? "" : AnsiQuotedStr(Item->GetAsString(), '"').c_str());
    }
    return true;
  }

  bool ListOperators() {
    TzvCompareModelList* List = Model_->GetCompareModelList();
    for (int I = 0; I < List->GetCount(); ++I)
      std::printf("  %2d  %s\n", List->GetKey(I), List->GetValue(I).Caption.c_str());
    std::printf("The comparisons read from the entered value towards the record: \"greater\"\n"
                "finds a record whose field is less than the value, \"less\" one whose field is greater.\n");
    return true;
  }

  std::string FieldTypeText(TzvCompareItem* Item) const {
    auto* FieldItem = dynamic_cast<TzvFieldItem*>(Item);
    TField* Field = FieldItem ? FieldItem->GetField() : nullptr;
    return Field ? FieldTypeName(Field->GetDataType()) : "?";
  }

  static std::string FieldTypeName(TFieldType Type) {
    switch (Type) {
      case ftString: case ftWideString: case ftFixedChar: return "text";
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

  // Runs Action (one change of the form), then prints the record the dataset
  // stands on, with the time the change took.
  template <class F>
  void Timed(const std::string& Step, F&& Action) {
    const int MessagesBefore = Messages_;
    const auto Start = std::chrono::steady_clock::now();
    std::printf("%s\n", Step.c_str());
    std::fflush(stdout);
    Action();
    const auto Elapsed = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - Start);
    std::string Line = Concat({"  -> ", RecordText()});
    if (Messages_ != MessagesBefore) Line += "  (not found)";
    if (!Args_.Quiet) {
      char Time[32];
      std::snprintf(Time, sizeof Time, "  [%.1f ms]", Elapsed.count());
      Line += Time;
    }
    std::printf("%s\n", Line.c_str());
  }

  std::string RecordText() const {
    if (DataSet_->IsEmpty()) return "no record";
    const int RecNo = DataSet_->GetRecNo();
    std::string Text = Concat({"record ", RecNo > 0 ? std::to_string(RecNo) : std::string("?"), " of ",
                               std::to_string(RecordCount_), ":"});
    for (TField* Field : DataSet_->Fields()) {
      Text += ' ';
      Text += Field->GetFieldName();
      Text += '=';
      if (Field->IsNull())
        Text += "(null)";
      else if (DataTypeIsStr(Field->GetDataType()))
        Text += AnsiQuotedStr(Shortened(Field->AsString(), 24), '"');
      else
        Text += Field->AsString();
    }
    return Text;
  }

  // The name of a customer about two thirds into the order whose name has a
  // letter outside ASCII (the first one there when none has); the dataset is
  // back on its first record afterwards. Empty for an empty dataset.
  std::string PickNonAsciiName() {
    DataSet_->First();
    if (DataSet_->IsEmpty()) return std::string();
    DataSet_->MoveBy(RecordCount_ * 2 / 3);
    TField* Field = DataSet_->FieldByName("name");
    std::string Name = Field->AsString();
    for (int Tries = 0; Tries < 1000 && !DataSet_->Eof() && IsAscii(Field->AsString()); ++Tries) DataSet_->Next();
    if (!DataSet_->Eof() && !IsAscii(Field->AsString())) Name = Field->AsString();
    DataSet_->First();
    return Name;
  }

  static std::string CharRight(const std::string& Text, std::size_t N) {
    const std::size_t Length = CharLength(Text);
    if (Length <= N) return Text;
    return Text.substr(CharLeft(Text, Length - N).size());
  }

  const TArguments& Args_;
  TShowMessageHandler PreviousHandler_;
  int Messages_ = 0;
  int RecordCount_ = 0;
  TOwned<TDatabase> Database_ = CreateOwned<TDatabase>(static_cast<TComponent*>(nullptr));
  TOwned<TDataSet> DataSet_;
  TOwned<TDataSource> Source_ = CreateOwned<TDataSource>(nullptr);
  TOwned<TzvDBFindModel> Model_ = CreateOwned<TzvDBFindModel>(static_cast<TComponent*>(nullptr));
};

}  // namespace

int main(int argc, char** argv) {
  TArguments Args;
  switch (ParseArguments(argc, argv, Args)) {
    case 1: return 0;
    case 2: PrintUsage(stderr); return 2;
    default: break;
  }
  try {
    if (!std::filesystem::exists(Args.DatabasePath)) GenerateDatabase(Args.DatabasePath, Args.Customers);
    TQueryForm Form(Args);
    Form.Open();
    bool Ok = true;
    bool Ran = false;
    if (!Args.Lines.empty() || Args.Demo) {
      for (const std::string& Line : Args.Lines) Ok = Form.Execute(Line) && Ok;
      Ran = !Args.Lines.empty();
    } else {
      const bool Interactive = isatty(STDIN_FILENO) != 0;
      std::string Line;
      if (Interactive) std::printf("Enter criteria (FIELD=TEXT), next, first, clear, items, help; end with Ctrl-D.\n> ");
      std::fflush(stdout);
      while (std::getline(std::cin, Line)) {
        Ran = true;
        Ok = Form.Execute(Line) && Ok;
        if (Interactive) std::printf("> ");
        std::fflush(stdout);
      }
      if (Interactive) std::printf("\n");
      Ran = Ran || Interactive;
    }
    if (Args.Demo || !Ran) Ok = Form.Demonstrate() && Ok;
    return Ok ? 0 : 1;
  } catch (const std::exception& E) {
    std::fprintf(stderr, "%s: %s\n", kProgram, E.what());
    return 1;
  }
}
