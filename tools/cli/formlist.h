// fyndra forms: the form files of a folder, each with its model and what
// the model's dataset reads. A form that cannot be read is listed with the
// reason, so a broken form shows up instead of vanishing from the list.
#pragma once

#include <ostream>
#include <string>

namespace fyndra::cli {

// The folder of the example forms: beside an installed program
// (../share/fyndra/forms), else the source tree's examples/forms.
std::string ExampleFormsFolder();

// Lists the *.dfm files of Folder by name. Raises EToolError(esForm) when
// Folder is not a folder.
void ListForms(const std::string& Folder, std::ostream& Out);

}  // namespace fyndra::cli
