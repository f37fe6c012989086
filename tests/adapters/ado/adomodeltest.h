// Helpers of the ODBC package's tests: a model bound to a dataset through a
// data source, criteria set in one update, and the keys a dataset shows.
#pragma once

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include <fyndra/adapters/ado/zvadomodel.h>
#include <fyndra/platform/db/datasource.h>
#include "platform/ado/adofixture.h"

namespace fyndra::adotest {

// The ID of every record the dataset shows, in ascending order.
inline std::vector<int> Ids(TDataSet* DS) {
  std::vector<int> Out;
  for (DS->First(); !DS->Eof(); DS->Next()) Out.push_back(DS->FieldByName("ID")->AsInteger());
  std::sort(Out.begin(), Out.end());
  return Out;
}

// The message of any exception Action raises, or "<no error>".
inline std::string ErrorOf(const std::function<void()>& Action) {
  try {
    Action();
  } catch (const Exception& E) {
    return E.Message();
  }
  return "<no error>";
}

struct TCriterion {
  std::string Item;
  int Key;
  std::string Value;
  bool CaseInsensitive;
};

// A model of the family bound to a dataset through a data source.
template <class TModel>
struct Bound {
  TOwned<TDataSource> Src = CreateOwned<TDataSource>(nullptr);
  TOwned<TModel> M = CreateOwned<TModel>(nullptr);
  explicit Bound(TDataSet* DS) {
    Src->SetDataSet(DS);
    M->SetName("Model");
    M->SetDataSource(Src.get());
  }
  TzvCompareItem* Item(const std::string& Name) const { return M->GetCompareItems()->FindByName(Name); }
  // Sets the criteria in one update (one apply).
  void Set(const std::vector<TCriterion>& Criteria) const {
    TzvCompareItems* Items = M->GetCompareItems();
    Items->BeginUpdate();
    for (const TCriterion& C : Criteria) {
      TzvCompareItem* I = Item(C.Item);
      I->SetCompareKey(C.Key);
      I->SetOptions(C.CaseInsensitive ? TzvCompareItemOptions{ciCaseInsensitive} : TzvCompareItemOptions{});
      I->SetAsString(C.Value);
    }
    Items->EndUpdate();
  }
};

}  // namespace fyndra::adotest
