#include "queryform.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <sstream>

#include <fyndra/adapters/client/zvclientmodel.h>
#include <fyndra/controls/zvmodelqdbctrls.h>
#include <fyndra/controls/zvmodelqmask.h>
#include <fyndra/controls/zvmodelqstdctrls.h>
#include <fyndra/core/zvbasemodel.h>
#include <fyndra/dataset/zvbdemodel.h>
#include <fyndra/platform/bde/bdedataset.h>
#include <fyndra/platform/bde/database.h>
#include <fyndra/platform/bde/table.h>
#include <fyndra/platform/classes/datamodule.h>
#include <fyndra/platform/controls/buttons.h>
#include <fyndra/platform/controls/extctrls.h>
#include <fyndra/platform/controls/forms.h>
#include <fyndra/platform/controls/mask.h>
#include <fyndra/platform/db/datasource.h>
#include <fyndra/platform/db/dbclient.h>
#include <fyndra/platform/dbctrls/dbgrids.h>
#include <fyndra/platform/streaming/filer.h>
#include <fyndra/platform/rtl/textservice.h>

#include "toolerror.h"

namespace fyndra::cli {
namespace {

namespace fs = std::filesystem;

std::string ReadFileText(const std::string& Path) {
  std::error_code Error;
  if (fs::is_directory(Path, Error)) throw EToolError(esForm, "cannot read form '" + Path + "': it is a folder");
  std::ifstream In(Path, std::ios::binary);
  if (!In) throw EToolError(esForm, "cannot read form '" + Path + "': " + std::strerror(errno));
  std::ostringstream Text;
  Text << In.rdbuf();
  if (In.bad()) throw EToolError(esForm, "cannot read form '" + Path + "': " + std::strerror(errno));
  return Text.str();
}

bool ClassInherits(const std::string& Name, TClass Base) {
  const TClass Class = GetClass(Name);
  return Class && Class->InheritsFrom(Base);
}

// Takes the Connected flags of databases and the Active flags of datasets off
// the tree (at any depth), and notes the names of the components whose flag
// was True, in the order the reader creates them.
void TakeOffOpenFlags(TDfmObject& Object, std::vector<std::string>& ToOpen) {
  const char* Flag = ClassInherits(Object.ClassName, TDatabase::StaticClass())  ? "Connected"
                     : ClassInherits(Object.ClassName, TDataSet::StaticClass()) ? "Active"
                                                                                 : nullptr;
  if (Flag) {
    auto& Props = Object.Properties;
    for (auto It = Props.begin(); It != Props.end();) {
      if (!AnsiSameText(It->Name, Flag)) {
        ++It;
        continue;
      }
      if (It->Value.Kind == TDfmValueKind::Ident && AnsiSameText(It->Value.Text, "True")) ToOpen.push_back(Object.Name);
      It = Props.erase(It);
    }
  }
  for (TDfmObject& Child : Object.Children) TakeOffOpenFlags(Child, ToOpen);
}

// Every component the root owns, the root first.
std::vector<TComponent*> Components(TComponent* Root) {
  std::vector<TComponent*> All{Root};
  for (int I = 0; I < Root->ComponentCount(); ++I) All.push_back(Root->GetComponent(I));
  return All;
}

std::string Absolute(const std::string& Name, const fs::path& Folder) {
  if (Name.empty() || Name == ":memory:" || fs::path(Name).is_absolute()) return Name;
  return (Folder / Name).lexically_normal().string();
}

// Renames Database to NewName, and with it every dataset of the form that
// names it (datasets find their database by its name).
void RenameDatabase(TComponent* Root, TDatabase* Database, const std::string& NewName) {
  const std::string Old = Database->GetDatabaseName();
  if (Old == NewName) return;
  for (TComponent* C : Components(Root))
    if (auto* DS = dynamic_cast<TBDEDataSet*>(C); DS && DS->GetDatabaseName() == Old) DS->SetDatabaseName(NewName);
  Database->SetDatabaseName(NewName);
}

std::string ComponentLabel(const TComponent* C) {
  return C->GetName().empty() ? C->ClassName() : C->GetName();
}

// The model's dataset's database component; raises esForm when the dataset
// names a database the form does not hold.
TDatabase* DatabaseOf(TBDEDataSet* DataSet) {
  TDatabase* Database = DataSet->GetDatabase();
  if (!Database) {
    if (DataSet->GetDatabaseName().empty())
      throw EToolError(esForm, ComponentLabel(DataSet) + " names no database");
    throw EToolError(esForm, ComponentLabel(DataSet) + " names the database '" + DataSet->GetDatabaseName() +
                                 "', which the form does not hold");
  }
  return Database;
}

}  // namespace

void RegisterFormClasses() {
  RegisterClasses({TDataModule::StaticClass(), TDataSource::StaticClass(), TzvDBFindModel::StaticClass(),
                   TzvDBFilterModel::StaticClass(), TzvBdeFindModel::StaticClass(),
                   TzvBdeFilterModel::StaticClass(), TzvClientFindModel::StaticClass(),
                   TzvClientFilterModel::StaticClass()});
  // Windows with bound edits and a grid are read too: their controls run
  // headless here and the command drives the model itself.
  RegisterClasses({TForm::StaticClass(), TPanel::StaticClass(), TLabel::StaticClass(), TButton::StaticClass(),
                   TSpeedButton::StaticClass(), TEdit::StaticClass(), TMaskEdit::StaticClass(),
                   TDBGrid::StaticClass(), clx::TzvModelEdit::StaticClass(), clx::TzvModelMaskEdit::StaticClass(),
                   clx::TzvDBModelEdit::StaticClass(), clx::TzvDBModelListBox::StaticClass(),
                   clx::TzvDBModelComboBox::StaticClass(), clx::TzvDBModelCheckBox::StaticClass(),
                   clx::TzvDBModelRadioGroup::StaticClass(), clx::TzvDBModelLookupListBox::StaticClass(),
                   clx::TzvDBModelLookupComboBox::StaticClass()});
}

TQueryForm::TQueryForm(const std::string& Path, const std::string& ModelName, const std::string& CodePage)
    : Path_(Path) {
  RegisterFormClasses();
  try {
    CheckDfmCodePage(CodePage);
  } catch (const EReadError& E) {
    throw EToolError(esUsage, "--codepage: " + E.Message());
  }
  const std::string Text = ReadFileText(Path);
  const fs::path Folder = fs::absolute(fs::path(Path)).parent_path();
  try {
    TDfmReadOptions ReadOptions;
    ReadOptions.CodePage = CodePage;
    TDfmObject Tree = ParseDfmText(Text, ReadOptions);
    TakeOffOpenFlags(Tree, ToOpen_);
    TFormTextOptions FormOptions;
    FormOptions.CodePage = CodePage;
    FormOptions.Folders = {Folder.string()};
    Root_.reset(ReadComponentFromTree(Tree, nullptr, FormOptions));
  } catch (const EReadError& E) {
    throw EToolError(esForm, Path + ": " + E.Message());
  }

  // Nothing may be written: every database read-only, every dataset too.
  // File names relative to the form's folder.
  for (TComponent* C : Components(Root_.get())) {
    if (auto* Database = dynamic_cast<TDatabase*>(C)) {
      TStrings* Params = Database->GetParams();
      Params->SetValue("CREATE", "");
      Params->SetValue("READONLY", "TRUE");
      RenameDatabase(Root_.get(), Database, Absolute(Database->GetDatabaseName(), Folder));
    } else if (auto* Client = dynamic_cast<TCustomClientDataSet*>(C)) {
      Client->SetFileName(Absolute(Client->GetFileName(), Folder));
    }
    if (auto* DS = dynamic_cast<TDataSet*>(C)) DS->SetReadOnly(true);
  }

  // The model: the one named, or the only one.
  std::vector<TzvDBBaseModel*> Models;
  for (TComponent* C : Components(Root_.get()))
    if (auto* M = dynamic_cast<TzvDBBaseModel*>(C)) Models.push_back(M);
  if (!ModelName.empty()) {
    Model_ = dynamic_cast<TzvDBBaseModel*>(Root_->FindComponent(ModelName));
    if (!Model_) throw EToolError(esForm, Path + ": the form has no find or filter model named '" + ModelName + "'");
  } else if (Models.empty()) {
    throw EToolError(esForm, Path + ": the form has no find or filter model");
  } else if (Models.size() > 1) {
    std::string Names;
    for (TzvDBBaseModel* M : Models) Names += (Names.empty() ? "" : ", ") + ComponentLabel(M);
    throw EToolError(esForm, Path + ": the form has " + std::to_string(Models.size()) + " models (" + Names +
                                 "); choose one with --model NAME");
  } else {
    Model_ = Models.front();
  }
  TDataSource* Source = Model_->GetDataSource();
  if (!Source) throw EToolError(esForm, Path + ": model " + ComponentLabel(Model_) + " has no data source");
  DataSet_ = Source->GetDataSet();
  if (!DataSet_)
    throw EToolError(esForm, Path + ": data source " + ComponentLabel(Source) + " of model " +
                                 ComponentLabel(Model_) + " has no dataset");
}

TQueryForm::~TQueryForm() = default;

bool TQueryForm::IsFindModel() const { return dynamic_cast<TzvCustomDBFindModel*>(Model_) != nullptr; }

void TQueryForm::SetDatabasePath(const std::string& Path) {
  if (auto* BDE = dynamic_cast<TBDEDataSet*>(DataSet_)) {
    RenameDatabase(Root_.get(), DatabaseOf(BDE), Path);
  } else if (auto* Client = dynamic_cast<TCustomClientDataSet*>(DataSet_)) {
    Client->SetFileName(Path);
  } else {
    throw EToolError(esForm, "--db: " + ComponentLabel(DataSet_) + " (" + DataSet_->ClassName() +
                                 ") reads no database file");
  }
}

std::string TQueryForm::GetDatabasePath() const {
  if (auto* BDE = dynamic_cast<TBDEDataSet*>(DataSet_)) {
    TDatabase* Database = BDE->GetDatabase();
    return Database ? Database->GetDatabaseName() : std::string();
  }
  if (auto* Client = dynamic_cast<TCustomClientDataSet*>(DataSet_)) return Client->GetFileName();
  return std::string();
}

void TQueryForm::Open() {
  // A missing file is named plainly rather than by the engine's wording.
  auto RequireFile = [](const std::string& File) {
    std::error_code Error;
    if (!File.empty() && File != ":memory:" && !fs::exists(File, Error))
      throw EToolError(esDatabase, "cannot open database '" + File + "': no such file");
  };
  std::function<void(TComponent*)> OpenOne = [&](TComponent* C) {
    try {
      if (auto* Database = dynamic_cast<TDatabase*>(C)) {
        if (Database->GetConnected()) return;
        RequireFile(Database->GetDatabaseName());
        Database->Open();
      } else if (auto* DS = dynamic_cast<TDataSet*>(C)) {
        if (DS->GetActive()) return;
        // The database first, so that its failure is told as its own.
        if (auto* BDE = dynamic_cast<TBDEDataSet*>(DS)) OpenOne(DatabaseOf(BDE));
        else if (auto* Client = dynamic_cast<TCustomClientDataSet*>(DS)) RequireFile(Client->GetFileName());
        DS->Open();
      }
    } catch (const EToolError&) {
      throw;
    } catch (const EzvBaseModelError& E) {
      throw EToolError(esForm, Path_ + ": " + E.Message());
    } catch (const Exception& E) {
      // The platform's message names the component and the file; the line
      // names them once.
      std::string Message = E.Message();
      auto Strip = [&](const std::string& Prefix) {
        if (!Prefix.empty() && Message.rfind(Prefix + ": ", 0) == 0) Message.erase(0, Prefix.size() + 2);
      };
      Strip(C->GetName());
      if (auto* Database = dynamic_cast<TDatabase*>(C)) {
        Strip(Database->GetDatabaseName());
        throw EToolError(esDatabase, "cannot open database '" + Database->GetDatabaseName() + "': " + Message);
      }
      throw EToolError(esDatabase, "cannot open " + ComponentLabel(C) + ": " + Message);
    }
  };
  for (const std::string& Name : ToOpen_)
    if (TComponent* C = Name.empty() ? nullptr : Root_->FindComponent(Name)) OpenOne(C);
  OpenOne(DataSet_);
}

std::string TQueryForm::Describe() const {
  std::string Text = (IsFindModel() ? "find model " : "filter model ") + ComponentLabel(Model_) + " on ";
  if (auto* Table = dynamic_cast<TTable*>(DataSet_)) {
    Text += "table " + Table->GetTableName();
    if (!Table->GetIndexName().empty()) Text += " (index " + Table->GetIndexName() + ")";
    else if (!Table->GetIndexFieldNames().empty()) Text += " (ordered by " + Table->GetIndexFieldNames() + ")";
  } else if (dynamic_cast<TQuery*>(DataSet_)) {
    Text += "query " + ComponentLabel(DataSet_);
  } else if (auto* Client = dynamic_cast<TCustomClientDataSet*>(DataSet_)) {
    Text += "client dataset " + ComponentLabel(DataSet_);
    if (!Client->GetIndexName().empty()) Text += " (index " + Client->GetIndexName() + ")";
  } else {
    Text += ComponentLabel(DataSet_) + " (" + DataSet_->ClassName() + ")";
  }
  return Text;
}

}  // namespace fyndra::cli
