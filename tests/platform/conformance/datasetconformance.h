// The dataset conformance suite: one set of tests that every dataset family
// passes — navigation and Eof/Bof, bookmarks, Locate and Lookup, filters,
// editing, the notifications of opening, closing and moving, key search and
// ranges with their shared rules.
//
// Each family joins by adding ONE fixture file to this folder (see
// clientfamily.cpp, bdefamily.cpp):
//   1. derive from TFamily and make, in Make(), a closed dataset named
//      "People" over the rows given, with the fields ID (integer), NAME (text
//      of 20), CITY (text of 20) and AMOUNT (float), in ID order, and the
//      indexes of TOrder (UseOrder selects one on the open dataset);
//   2. declare in Lacks() every feature the family cannot offer, with the
//      reason: its tests are then skipped with that reason, never silently;
//   3. for a family with key search, return a TKeyedAccessOf<YourDataSet> from
//      Keyed(), which calls the key-search methods the family publishes;
//   4. register it with CONFORMANCE_FAMILY(Name, FactoryFunction);
//   5. link the family's library to conformance_tests in tests/CMakeLists.txt.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <fyndra/platform/db/dataset.h>
#include <fyndra/platform/db/keysearch.h>

namespace fyndra::conformance {

// One record of the standard data; a null City stands for Null.
struct TPerson {
  int Id;
  const char* Name;
  const char* City;
  double Amount;
};

// The six records most tests use: two cities that differ only in case, a
// Null city, and amounts in ID order.
inline std::vector<TPerson> People() {
  return {{1, "Anna", "Berlin", 10.5}, {2, "Bert", "Paris", 20},  {3, "Carl", "berlin", 30},
          {4, "Dora", nullptr, 40},    {5, "Emil", "Rome", 50},   {6, "Abel", "Berlin", 60}};
}

// The indexes every keyed family offers, over the standard fields.
enum TOrder {
  orId,            // ID, unique
  orName,          // NAME
  orCityName,      // CITY without regard to case, then NAME
  orAmountDesc,    // AMOUNT descending
};

enum TFeature {
  cfEditing,    // Append, Edit, Post, Delete store the record
  cfKeySearch,  // SetKey … FindNearest on the current index
  cfRanges,     // SetRangeStart … CancelRange on the current index
};

// The key-search methods a family publishes, reached through its own class.
class TKeyedAccess {
 public:
  virtual ~TKeyedAccess() = default;
  virtual void SetKey() = 0;
  virtual void EditKey() = 0;
  virtual bool GotoKey() = 0;
  virtual void GotoNearest() = 0;
  virtual bool FindKey(std::initializer_list<Variant> Values) = 0;
  virtual bool FindKey(const std::vector<Variant>& Values) = 0;
  virtual void FindNearest(std::initializer_list<Variant> Values) = 0;
  virtual void FindNearest(const std::vector<Variant>& Values) = 0;
  virtual void SetRangeStart() = 0;
  virtual void SetRangeEnd() = 0;
  virtual void EditRangeStart() = 0;
  virtual void EditRangeEnd() = 0;
  virtual void ApplyRange() = 0;
  virtual void CancelRange() = 0;
  virtual void SetRange(const std::vector<Variant>& Start, const std::vector<Variant>& End) = 0;
  virtual bool GetRanged() const = 0;
  virtual int IndexFieldCount() const = 0;
  virtual TField* GetIndexField(int Index) const = 0;
};

template <class T>
class TKeyedAccessOf : public TKeyedAccess {
 public:
  explicit TKeyedAccessOf(T* DataSet) : DS_(DataSet) {}
  void SetKey() override { DS_->SetKey(); }
  void EditKey() override { DS_->EditKey(); }
  bool GotoKey() override { return DS_->GotoKey(); }
  void GotoNearest() override { DS_->GotoNearest(); }
  bool FindKey(std::initializer_list<Variant> V) override { return DS_->FindKey(V); }
  bool FindKey(const std::vector<Variant>& V) override { return DS_->FindKey(V); }
  void FindNearest(std::initializer_list<Variant> V) override { DS_->FindNearest(V); }
  void FindNearest(const std::vector<Variant>& V) override { DS_->FindNearest(V); }
  void SetRangeStart() override { DS_->SetRangeStart(); }
  void SetRangeEnd() override { DS_->SetRangeEnd(); }
  void EditRangeStart() override { DS_->EditRangeStart(); }
  void EditRangeEnd() override { DS_->EditRangeEnd(); }
  void ApplyRange() override { DS_->ApplyRange(); }
  void CancelRange() override { DS_->CancelRange(); }
  void SetRange(const std::vector<Variant>& S, const std::vector<Variant>& E) override { DS_->SetRange(S, E); }
  bool GetRanged() const override { return DS_->GetRanged(); }
  int IndexFieldCount() const override { return DS_->IndexFieldCount(); }
  TField* GetIndexField(int Index) const override { return DS_->GetIndexField(Index); }

 private:
  T* DS_;
};

// One dataset family under test. The family object owns everything it makes.
class TFamily {
 public:
  virtual ~TFamily() = default;
  // A closed dataset over Rows (see the header comment); the family owns it.
  virtual TDataSet* Make(const std::vector<TPerson>& Rows) = 0;
  // Why the family cannot offer Feature; empty when it can.
  virtual std::string Lacks(TFeature Feature) const = 0;
  // Orders the open dataset by one of the standard indexes (keyed families).
  virtual void UseOrder(TDataSet* DataSet, TOrder Order) = 0;
  // The family's key-search methods on DataSet (keyed families).
  virtual std::unique_ptr<TKeyedAccess> Keyed(TDataSet* DataSet) = 0;
};

struct TFamilyEntry {
  std::string Name;
  std::function<std::unique_ptr<TFamily>()> Make;
  friend void PrintTo(const TFamilyEntry& E, std::ostream* Out) { *Out << E.Name; }
};

// The test fixture of every conformance test.
class DataSetConformance : public ::testing::TestWithParam<TFamilyEntry> {
 protected:
  void SetUp() override;
  // The family's dataset over Rows, open, on its first record.
  TDataSet* Open(const std::vector<TPerson>& Rows = People());
  int Id() const;
  // IDs in the order the dataset delivers them from its first record.
  std::vector<int> Ids() const;
  // IDs read backwards from the last record.
  std::vector<int> IdsBackwards() const;

  std::unique_ptr<TFamily> Family;
  TDataSet* DS = nullptr;
};

// Skips the rest of the test, with the family's reason, when it cannot offer
// Feature.
#define CONFORMANCE_REQUIRE(Feature)                                                      \
  do {                                                                                    \
    const std::string Why_ = Family->Lacks(Feature);                                      \
    if (!Why_.empty()) GTEST_SKIP() << GetParam().Name << " does not offer this: " << Why_; \
  } while (0)

#define CONFORMANCE_FAMILY(FamilyName, Factory)                                                            \
  INSTANTIATE_TEST_SUITE_P(FamilyName, DataSetConformance,                                                 \
                           ::testing::Values(::fyndra::conformance::TFamilyEntry{#FamilyName, Factory}), \
                           [](const auto& Info) { return Info.param.Name; })

}  // namespace fyndra::conformance
