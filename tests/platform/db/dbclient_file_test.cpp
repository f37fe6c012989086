// Client dataset files that a load refuses: damaged, hand-made or hostile
// files with a valid checksum. Whatever is refused leaves the dataset as it
// was; every size, count and counter read from a file is checked before use.
#include <fyndra/platform/db/dbclient.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

#include "dbtest.h"

namespace fyndra::test {
namespace {

// CRC-32 (IEEE), as the file's last four bytes hold it.
std::uint32_t Crc32(std::string_view Data) {
  std::uint32_t Crc = 0xFFFFFFFFu;
  for (unsigned char C : Data) {
    Crc ^= C;
    for (int K = 0; K < 8; ++K) Crc = (Crc & 1) ? 0xEDB88320u ^ (Crc >> 1) : Crc >> 1;
  }
  return ~Crc;
}

// Puts a valid checksum at the end of a file made or changed by hand.
void Reseal(std::string& File) {
  if (File.size() < 4) return;
  const std::uint32_t Crc = Crc32(std::string_view(File).substr(0, File.size() - 4));
  std::memcpy(File.data() + File.size() - 4, &Crc, 4);
}

template <class T>
void PutAt(std::string& File, std::size_t At, T V) {
  std::memcpy(File.data() + At, &V, sizeof V);
}

std::string Saved(TDataSet* DS) {
  std::ostringstream Out;
  static_cast<TCustomClientDataSet*>(DS)->SaveToStream(Out);
  return Out.str();
}

// Where the size field of the definition of Name sits in a file: the name is
// stored as its length and bytes, then a type byte and the size.
std::size_t SizeOffset(const std::string& File, const std::string& Name) {
  std::string Key(4, '\0');
  const auto Len = static_cast<std::uint32_t>(Name.size());
  std::memcpy(Key.data(), &Len, 4);
  Key += Name;
  const std::size_t At = File.find(Key);
  EXPECT_NE(At, std::string::npos) << Name;
  return At + Key.size() + 1;
}

// Files whose checksum is right and whose content is not: each is refused
// with a message that says why, and the dataset loading it keeps its
// definitions, indexes, order, records and position.
TEST(ClientFileChecks, RefusedFilesLeaveTheDataSetExactlyAsItWas) {
  TPeople Source(FivePeople());
  Source->AddIndex("ByName", "NAME", {});
  const std::string Good = Saved(Source.DS.get());
  auto Patched = [&](auto Change) {
    std::string F = Good;
    Change(F);
    Reseal(F);
    return F;
  };
  // Renames the field in the index definition to one the file lacks.
  auto IndexOnMissingField = Patched([](std::string& F) {
    const std::size_t At = F.rfind(std::string("\4\0\0\0NAME", 8));
    F.replace(At + 4, 4, "NAMX");
  });
  TPeople Twins({{1, "Same", "A", 1}, {2, "Same", "B", 2}});
  Twins->AddIndex("ByName", "NAME", {});
  std::string UniqueBroken = Saved(Twins.DS.get());
  {
    // The options byte follows the index's four strings.
    const std::size_t At = UniqueBroken.find(std::string("\6\0\0\0ByName", 10));
    std::size_t P = At;
    for (int K = 0; K < 4; ++K) {
      std::uint32_t Len;
      std::memcpy(&Len, UniqueBroken.data() + P, 4);
      P += 4 + Len;
    }
    UniqueBroken[P] = char(1u << ixUnique);
    Reseal(UniqueBroken);
  }
  const struct {
    const char* What;
    std::string Data;
    const char* Says;
  } Cases[] = {
      {"index on a missing field", IndexOnMissingField, "NAMX"},
      {"unique index the records break", UniqueBroken, "ByName"},
      {"text size near 2^29", Patched([&](std::string& F) { PutAt(F, SizeOffset(F, "NAME"), std::int32_t(1) << 29); }),
       "size"},
      {"text size at the int limit",
       Patched([&](std::string& F) { PutAt(F, SizeOffset(F, "CITY"), std::int32_t(0x7FFFFFFF)); }), "size"},
      {"negative size", Patched([&](std::string& F) { PutAt(F, SizeOffset(F, "NAME"), std::int32_t(-1)); }), "size"},
      {"field count beyond the limit", Patched([](std::string& F) { PutAt(F, 12, std::uint32_t(0xFFFFFFFF)); }),
       "field count"},
      {"record count beyond the data",
       Patched([&](std::string& F) {
         const std::size_t At = F.find(std::string("\5\0\0\0\0\0\0\0", 8), F.find("ByName"));
         PutAt(F, At, std::uint64_t(1) << 62);
       }),
       "record count"},
      {"text longer than its field",
       Patched([&](std::string& F) { PutAt(F, SizeOffset(F, "NAME"), std::int32_t(2)); }), "NAME"},
      {"unknown index options",
       Patched([](std::string& F) {
         const std::size_t At = F.find(std::string("\6\0\0\0ByName", 10));
         F[At + 10 + (4 + 4) + 4 + 4] = char(0xC0);
       }),
       "options"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.What);
    TTarget T;
    const TLook Before = LookAt(T.P.DS.get());
    std::istringstream In(C.Data);
    try {
      T->LoadFromStream(In);
      ADD_FAILURE() << "the file was taken";
    } catch (const EDatabaseError& E) {
      EXPECT_NE(E.Message().find(C.Says), std::string::npos) << E.Message();
    }
    ExpectUnchangedAndUsable(T, Before);
  }
  // The good file still loads into the same kind of target.
  TTarget T;
  std::istringstream In(Good);
  T->LoadFromStream(In);
  EXPECT_EQ(T->RecordCount(), 5);
  EXPECT_EQ(T->GetIndexFieldNames(), "NAME");
}

// A file read while opening: the open fails and the dataset keeps no storage
// and its own definitions; a good file opens afterwards.
TEST(ClientFileChecks, AFileRefusedWhileOpeningLeavesNothingBehind) {
  TPeople Source(FivePeople());
  std::string File = Saved(Source.DS.get());
  PutAt(File, SizeOffset(File, "NAME"), std::int32_t(1) << 29);
  Reseal(File);
  const std::string Path = ::testing::TempDir() + "refused-open.fcds";
  {
    std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
    Out << File;
  }
  auto DS = CreateOwned<TClientDataSet>(nullptr);
  DS->GetFieldDefs()->Add("OWN", ftInteger);
  DS->SetFileName(Path);
  EXPECT_THROW(DS->Open(), EDatabaseError);
  EXPECT_FALSE(DS->GetActive());
  ASSERT_EQ(DS->GetFieldDefs()->Count(), 1);
  EXPECT_EQ(DS->GetFieldDefs()->GetItem(0)->GetName(), "OWN");
  {
    std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
    Out << Saved(Source.DS.get());
  }
  DS->Open();  // nothing of the refused file was kept: the file is read again
  EXPECT_EQ(DS->RecordCount(), 5);
  std::remove(Path.c_str());
}

// An open that fails for a reason of the application's (here an event
// handler) after a good file was read: the dataset goes back to its records.
TEST(ClientFileChecks, AnOpenRefusedAfterTheFileWasReadPutsTheOldStateBack) {
  TPeople Source({{7, "Other", "X", 1}});
  const std::string File = Saved(Source.DS.get());
  TTarget T;
  const TLook Before = LookAt(T.P.DS.get());
  bool Refuse = true;
  T->AfterOpen = TDataSetNotifyEvent::FromCallable([&Refuse](TDataSet*) {
    if (Refuse) {
      Refuse = false;
      DatabaseError("not now");
    }
  });
  std::istringstream In(File);
  EXPECT_THROW(T->LoadFromStream(In), EDatabaseError);
  EXPECT_EQ(LookAt(T.P.DS.get()), Before);
}

// Auto-increment numbering ends at the largest 32-bit value: the file that
// holds it loads, the next insert is refused, and nothing overflows.
TEST(ClientFileChecks, AutoIncrementStopsAtTheLargestValue) {
  auto DS = CreateOwned<TClientDataSet>(nullptr);
  DS->GetFieldDefs()->Add("AI", ftAutoInc);
  DS->GetFieldDefs()->Add("S", ftString, 5);
  DS->CreateDataSet();
  DS->AppendRecord({Variant(std::int32_t(2147483646)), Variant("a")});
  DS->AppendRecord({Null(), Variant("b")});  // numbered 2147483647
  EXPECT_EQ(DS->FieldByName("AI")->AsInteger(), 2147483647);
  try {
    DS->AppendRecord({Null(), Variant("c")});
    ADD_FAILURE() << "a value beyond the range was given";
  } catch (const EDatabaseError& E) {
    EXPECT_NE(E.Message().find("AI"), std::string::npos) << E.Message();
  }
  DS->Cancel();
  EXPECT_EQ(DS->RecordCount(), 2);
  // Through a file: the largest value read from it leaves no room either.
  std::istringstream In(Saved(DS.get()));
  auto Back = CreateOwned<TClientDataSet>(nullptr);
  Back->LoadFromStream(In);
  EXPECT_EQ(Back->RecordCount(), 2);
  EXPECT_THROW(Back->AppendRecord({Null(), Variant("c")}), EDatabaseError);
  Back->Cancel();
  Back->AppendRecord({Variant(std::int32_t(-5)), Variant("d")});  // a value given is still taken
  EXPECT_EQ(Back->RecordCount(), 3);
}

// Sizes a file cannot hold are refused when saving, not found out on loading.
TEST(ClientFileChecks, SavingRefusesSizesAFileCannotHold) {
  auto DS = CreateOwned<TClientDataSet>(nullptr);
  // A text wider than a file holds cannot even be defined.
  EXPECT_THROW(DS->GetFieldDefs()->Add("S", ftString, (1 << 20) + 1), EDatabaseError);
  // More decimals than a file keeps for a BCD field.
  DS->GetFieldDefs()->Add("B", ftBCD, 5);
  DS->CreateDataSet();
  std::ostringstream Out;
  EXPECT_THROW(DS->SaveToStream(Out), EDatabaseError);
}

// Mutated files with their checksum made right again, so every mutation is
// read past the checksum: a load either succeeds, and then every value of
// every record can be read in every order, or is refused with
// EDatabaseError and the target keeps its records.
TEST(ClientFileChecks, FuzzedFilesAreReadOrRefusedCleanly) {
  std::vector<std::string> Seeds;
  {
    TPeople P(FivePeople());
    P->AddIndex("ByName", "NAME", {ixCaseInsensitive});
    P->AddIndex("ByCityDesc", "CITY;ID", {ixUnique}, "CITY");
    Seeds.push_back(Saved(P.DS.get()));
  }
  {
    auto DS = CreateOwned<TClientDataSet>(nullptr);
    auto* D = DS->GetFieldDefs();
    D->Add("AI", ftAutoInc);
    D->Add("B", ftBoolean);
    D->Add("D", ftDate);
    D->Add("DT", ftDateTime);
    D->Add("TS", ftTimeStamp);
    D->Add("FB", ftFMTBcd, 4);
    D->Add("BCD", ftBCD, 2);
    D->Add("WS", ftWideString, 6);
    D->Add("VB", ftVarBytes, 4);
    D->Add("M", ftMemo);
    D->Add("W", ftWord);
    D->Add("FC", ftFixedChar, 3);
    DS->CreateDataSet();
    DS->AppendRecord({Null(), Variant(true), Variant::FromDateTime(EncodeDate(2020, 2, 29)),
                      Variant::FromDateTime(45000.5), VarSQLTimeStampCreate(TSQLTimeStamp{2022, 5, 6, 7, 8, 9, 10}),
                      Variant("-12.5"), Variant("3.25"), Variant(std::u16string(u"\u00e4x")), Variant("ab"),
                      Variant("memo"), Variant(std::int32_t(65535)), Variant("xyz")});
    DS->AppendRecord({Variant(std::int32_t(2147483647))});
    DS->AddIndex("ByTS", "TS;AI", {ixDescending});
    Seeds.push_back(Saved(DS.get()));
  }
  const std::int64_t Interesting[] = {0, 1, -1, 2, 255, 256, 65535, 0x7FFFFFFF, -0x7FFFFFFF - 1, 1 << 29, 1 << 20,
                                      (1 << 20) + 1, 4096, 4097, 0xFFFFFFFFLL};
  std::mt19937 Rng(20261208);
  auto Pick = [&Rng](std::size_t N) { return std::uniform_int_distribution<std::size_t>(0, N - 1)(Rng); };
  TPeople Target(FivePeople());
  int Loaded = 0, Refused = 0, Runs = 0;
  const auto Start = std::chrono::steady_clock::now();
  for (; Runs < 6000 && std::chrono::steady_clock::now() - Start < std::chrono::seconds(4); ++Runs) {
    std::string F = Seeds[Pick(Seeds.size())];
    for (int M = 1 + int(Pick(3)); M > 0; --M) {
      const std::size_t At = 8 + Pick(F.size() - 12);  // past the magic, before the checksum
      switch (Pick(6)) {
        case 0: F[At] = char(F[At] ^ (1 << Pick(8))); break;
        case 1: F[At] = char(Pick(256)); break;
        case 2:
          if (At + 4 <= F.size() - 4) PutAt(F, At, std::int32_t(Interesting[Pick(std::size(Interesting))]));
          break;
        case 3: F.insert(At, 1 + Pick(4), char(Pick(256))); break;
        case 4: F.erase(At, std::min<std::size_t>(1 + Pick(8), F.size() - 4 - At)); break;
        default: F.resize(std::max<std::size_t>(20, At)); F.append(4, '\0'); break;
      }
    }
    Reseal(F);
    std::istringstream In(F);
    try {
      Target->LoadFromStream(In);
    } catch (const EDatabaseError&) {
      ++Refused;
      ASSERT_TRUE(Target->GetActive());
      continue;
    }
    ++Loaded;
    // Every value of every record, in every order the file describes.
    for (int I = -1; I < Target->GetIndexDefs()->Count(); ++I) {
      if (I >= 0) {
        TIndexDef* D = Target->GetIndexDefs()->GetItem(I);
        if (D->GetName().empty() || D->GetOptions().Contains(ixExpression)) continue;
        Target->SetIndexName(D->GetName());
      }
      for (Target->First(); !Target->Eof(); Target->Next())
        for (TField* Field : Target->Fields()) {
          (void)Field->AsString();
          (void)Field->GetAsVariant();
        }
    }
    Target->SetIndexName("");
    // Taken files stay loaded: reload the target's own kind of records.
    std::istringstream Back(Seeds[0]);
    Target->LoadFromStream(Back);
  }
  std::printf("client dataset files: %d mutated, %d loaded, %d refused\n", Runs, Loaded, Refused);
  EXPECT_GT(Loaded, 20);
  EXPECT_GT(Refused, Runs / 4);
  EXPECT_EQ(Target->RecordCount(), 5);
}

}  // namespace
}  // namespace fyndra::test
