// A query form read from DFM text for the fyndra command: the components of a
// form or data module, the one find or filter model among them, the dataset
// that model is bound to, and the database file that dataset reads.
//
// Reading opens nothing: the form's own Connected and Active flags are taken
// off the parsed text before any component is made, and Open() opens, read-
// only, what the form would have opened, the model's dataset last. So the
// database file can be replaced (--db) before anything touches it, and no
// property of a form can make the command write to a database: every
// database is opened with READONLY=TRUE (never CREATE), every dataset is
// read-only, and a client dataset's file is only read.
//
// Relative file names in a form (a database's DatabaseName, a client
// dataset's FileName) are taken relative to the folder of the form file, so a
// form finds its data wherever it is run from.
//
// Ownership: TQueryForm owns the root component, which owns the rest.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <fyndra/dataset/zvdbbasemodel.h>
#include <fyndra/platform/classes/classes.h>
#include <fyndra/platform/db/dataset.h>

namespace fyndra::cli {

class TQueryForm {
 public:
  // Reads the form file at Path, in CodePage when it is saved in an 8-bit
  // encoding (empty: UTF-8); ModelName chooses among several models (empty:
  // the form must hold exactly one). Raises EToolError(esForm) when the file
  // cannot be read or is malformed (the reader's message with its line), or
  // when there is no model, or no dataset bound to it; EToolError(esUsage)
  // when CodePage names no code page form text can be read in.
  TQueryForm(const std::string& Path, const std::string& ModelName, const std::string& CodePage = "");
  ~TQueryForm();
  TQueryForm(const TQueryForm&) = delete;
  TQueryForm& operator=(const TQueryForm&) = delete;

  // Makes the model's dataset read the database file Path (relative to the
  // working folder) instead of the one the form names; the other datasets
  // of that database follow it. REQUIRES: not opened yet.
  void SetDatabasePath(const std::string& Path);
  // The database file the model's dataset reads; empty when it reads none.
  std::string GetDatabasePath() const;

  // Opens read-only the databases and datasets the form marks as connected
  // or active, then the model's dataset. EToolError(esDatabase) when one
  // cannot be opened; EToolError(esForm) when the model refuses the dataset.
  void Open();

  const std::string& GetPath() const { return Path_; }
  TComponent* GetRoot() const { return Root_.get(); }
  TzvDBBaseModel* GetModel() const { return Model_; }
  TDataSet* GetDataSet() const { return DataSet_; }
  bool IsFindModel() const;
  // One line: the model, its kind and what its dataset reads, as in
  // "find model FindCustomers on table customers (index customers_name)".
  std::string Describe() const;

 private:
  std::string Path_;
  TOwned<TComponent> Root_;
  TzvDBBaseModel* Model_ = nullptr;
  TDataSet* DataSet_ = nullptr;
  // Names of the components the form marks Connected = True or Active = True.
  std::vector<std::string> ToOpen_;
};

// Registers the component classes that forms may name (data sources and
// the find and filter models); the database families register their own.
void RegisterFormClasses();

}  // namespace fyndra::cli
