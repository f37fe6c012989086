#include "formlist.h"

#include <algorithm>
#include <filesystem>
#include <new>
#include <system_error>
#include <vector>

#include "queryform.h"
#include "recordprinter.h"
#include "toolerror.h"

namespace fyndra::cli {

namespace fs = std::filesystem;

std::string ExampleFormsFolder() {
  std::error_code Error;
  const fs::path Program = fs::read_symlink("/proc/self/exe", Error);
  if (!Error) {
    const fs::path Installed = Program.parent_path() / ".." / "share" / "fyndra" / "forms";
    if (fs::is_directory(Installed, Error)) return Installed.lexically_normal().string();
  }
  return FYNDRA_SOURCE_FORMS;
}

void ListForms(const std::string& Folder, std::ostream& Out) {
  std::error_code Error;
  if (!fs::is_directory(Folder, Error)) throw EToolError(esForm, "cannot list forms in '" + Folder + "': not a folder");
  std::vector<fs::path> Files;
  for (const fs::directory_entry& Entry : fs::directory_iterator(Folder, Error))
    if (Entry.path().extension() == ".dfm") Files.push_back(Entry.path());
  std::sort(Files.begin(), Files.end());
  std::vector<std::vector<std::string>> Rows;
  for (const fs::path& File : Files) {
    std::string What, Database;
    try {
      TQueryForm Form(File.string(), "");
      What = Form.Describe();
      Database = Form.GetDatabasePath();
      if (!Database.empty()) {
        Database = fs::path(Database).lexically_proximate(fs::current_path()).string();
        if (!fs::exists(Form.GetDatabasePath(), Error)) Database += " (not there yet)";
      }
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const std::exception& E) {
      What = std::string("cannot be used: ") + E.what();
    }
    Rows.push_back({TRecordPrinter::EscapeForTerminal(File.filename().string()),
                    TRecordPrinter::EscapeForTerminal(What), TRecordPrinter::EscapeForTerminal(Database)});
  }
  const std::string Shown = fs::path(Folder).lexically_proximate(fs::current_path()).string();
  Out << "Forms in " << TRecordPrinter::EscapeForTerminal(Shown) << ":\n";
  if (Rows.empty()) {
    Out << "(none)\n";
    return;
  }
  TRecordPrinter::PrintColumns(Out, {"form", "model", "reads"}, Rows);
  Out << "Run one with: fyndra run " << TRecordPrinter::EscapeForTerminal((fs::path(Shown) / "FORM.dfm").string())
      << " [CRITERION...] (fyndra --help says more)\n";
}

}  // namespace fyndra::cli
