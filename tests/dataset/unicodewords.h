// Helpers of the randomised Unicode tests of key searches and ranges: names
// built from the letters whose case mapping is hard, criteria typed from them
// in every case, and a find that records every record it visits.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <fyndra/core/zvcomparemodels.h>
#include <fyndra/dataset/zvdbbasemodel.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra::unicodewords {

// Count names: the cases named by users first (Straße next to Strasser and
// STRASSE, accented letters in both cases, dotted and dotless i), then names
// of one to five letters whose upper case is longer (ß, ﬁ), dotted and
// dotless i, the Greek sigmas, accented letters in both cases, a CJK
// character and the characters a prefix range's end is padded against.
inline std::vector<std::string> Names(std::mt19937& Rng, std::size_t Count) {
  const std::vector<std::string> Letters = {"a", "A", "e", "é", "É", "i", "I", "İ", "ı", "s", "S", "ß", "ẞ",
                                            "ﬁ", "ü", "Ü", "ö", "Ö", "σ", "Σ", "ς", "字", "z", " ", "~"};
  std::vector<std::string> Out = {"Anna", "Straße", "Strasser", "STRASSE", "zéß", "Émile", "Ölaf", "élan",
                                  "ırmak", "IRMA", "İzmir"};
  std::uniform_int_distribution<std::size_t> Len(1, 5), Pick(0, Letters.size() - 1);
  while (Out.size() < Count) {
    std::string N;
    for (std::size_t K = Len(Rng); K > 0; --K) N += Letters[Pick(Rng)];
    Out.push_back(N);
  }
  return Out;
}

// What a user types: prefixes of the names, as they are, in upper and in
// lower case, and the cases users named.
inline std::vector<std::string> Criteria(std::mt19937& Rng, const std::vector<std::string>& Names, int Count) {
  std::vector<std::string> Out;
  for (int K = 0; K < Count; ++K) {
    const std::string& N = Names[std::uniform_int_distribution<std::size_t>(0, Names.size() - 1)(Rng)];
    std::string P = CharLeft(N, std::uniform_int_distribution<std::size_t>(1, CharLength(N))(Rng));
    if (K % 3 == 1) P = AnsiUpperCase(P);
    if (K % 3 == 2) P = AnsiLowerCase(P);
    Out.push_back(P);
  }
  Out.insert(Out.end(), {"stras", "straß", "STRASSE", "zéß", "é", "É", "i", "I", "ı", "σ", "ς"});
  return Out;
}

// Runs Body(Criterion, CaseInsensitive, CompareKey) with Item set to each
// criterion, ignoring case and not, with each of Keys ("starts with" and
// "equal" unless told).
template <class TBody>
void ForEachCriterion(TzvCompareItem* Item, const std::vector<std::string>& Criteria, TBody Body,
                      const std::vector<std::int32_t>& Keys = {ckStarts, ckEqual}) {
  for (bool CaseInsensitive : {true, false}) {
    Item->SetOptions(CaseInsensitive ? TzvCompareItemOptions{ciConvertValue, ciCaseInsensitive}
                                     : TzvCompareItemOptions{ciConvertValue});
    for (std::int32_t Key : Keys) {
      Item->SetCompareKey(Key);
      for (const std::string& C : Criteria) {
        SCOPED_TRACE("'" + C + "' ci " + std::to_string(CaseInsensitive) + " key " + std::to_string(Key));
        Item->SetAsString(C);
        Body(C, CaseInsensitive, Key);
      }
    }
  }
}

// Every record a find visits, first and then each next, by the integer field
// Id, with the index in use or not; UsedIndex tells whether the first find
// started with a key search.
inline std::vector<int> FindAll(TzvCustomDBFindModel* Find, TDataSet* DS, bool Optimization, bool& UsedIndex,
                                const char* Id = "id") {
  Find->GetOptions()->SetOptimization(Optimization);
  Find->GetOptions()->SetRestart(true);
  std::vector<int> Out;
  UsedIndex = false;
  if (Find->Apply()) {
    UsedIndex = Find->GetIndexModel()->GetIndexState() == isNearest;
    Find->GetOptions()->SetRestart(false);
    do {
      Out.push_back(DS->FieldByName(Id)->AsInteger());
    } while (Find->Apply());
  }
  return Out;
}

}  // namespace fyndra::unicodewords
