// Storage of the in-memory client dataset: compact rows and sorted indexes.
//
// TRecordStore keeps every record as one fixed-size row in a single byte
// array: a header byte holding the deleted mark, a null bit per column, then
// each column's fixed value (numbers at their native width; texts, wide texts
// and byte values as a 4-byte offset into one shared text heap, where the
// value's length precedes its bytes). Records
// are numbered by slot; slots are never reused, so a slot identifies a record
// for the life of the store (bookmarks rest on this).
//
// A TRecordIndex is a sorted vector of slots with its key description; the
// default order (no key) is the order of insertion. Indexes are maintained
// by the client dataset as records are posted and deleted.
//
// A TRowImage is a detached copy of one row (for editing and key buffers) that
// owns its variable-size values.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <fyndra/platform/db/dbtypes.h>
#include <fyndra/platform/rtl/variants.h>

namespace fyndra::cds {

enum class TColKind : std::uint8_t { I16, U16, I32, I64, Bool, Double, Curr, TimeStamp, Bcd, Text, Wide, Bytes };

struct TColumn {
  std::string Name;
  TFieldType Type = ftUnknown;
  int Size = 0;
  TColKind Kind = TColKind::I32;
  std::uint32_t Offset = 0;  // of the value within the row
  std::uint32_t Width = 0;   // bytes within the row
};

TColKind KindOfType(TFieldType Type);  // raises EDatabaseError for unsupported types
// Texts kept in a field's fixed buffer (char[StringBufferSize(Size)]); the
// other texts are exchanged as std::string objects.
inline bool FixedText(TFieldType T) { return T == ftString || T == ftFixedChar || T == ftGuid; }

// A variable-size value is held in the text heap as its length (LEB128) and
// its bytes; the row holds the 4-byte offset of that entry.
using TVarRef = std::uint32_t;

class TRecordStore;

// Read access to one row, in the store or in an image.
class TRowView {
 public:
  TRowView() = default;
  TRowView(const std::uint8_t* Row, const TRecordStore* Store, const std::vector<std::string>* Vars)
      : Row_(Row), Store_(Store), Vars_(Vars) {}
  bool IsNull(int Col) const { return (Row_[(Col + 1) >> 3] >> ((Col + 1) & 7) & 1u) != 0; }
  const std::uint8_t* Fixed(int Col) const;
  std::string_view Var(int Col) const;
  bool Valid() const { return Row_ != nullptr; }

 private:
  const std::uint8_t* Row_ = nullptr;
  const TRecordStore* Store_ = nullptr;
  const std::vector<std::string>* Vars_ = nullptr;
};

class TRecordStore {
 public:
  void Define(std::vector<TColumn> Columns);
  const std::vector<TColumn>& Columns() const { return Columns_; }
  int ColumnCount() const { return int(Columns_.size()); }
  int IndexOfColumn(std::string_view Name) const;  // -1 when absent (case-insensitive)
  std::uint32_t RowSize() const { return RowSize_; }
  std::uint32_t SlotCount() const { return std::uint32_t(Rows_.size() / (RowSize_ ? RowSize_ : 1)); }
  std::uint32_t LiveCount() const { return Live_; }
  bool IsDeleted(std::uint32_t Slot) const { return Row(Slot)[0] & 1u; }
  const std::uint8_t* Row(std::uint32_t Slot) const { return Rows_.data() + std::size_t(Slot) * RowSize_; }
  TRowView View(std::uint32_t Slot) const { return TRowView(Row(Slot), this, nullptr); }
  std::string_view HeapText(TVarRef Ref) const;

  // Appends a row holding Image's values; returns its slot.
  std::uint32_t AddRow(const class TRowImage& Image);
  // Replaces the values of Slot with Image's.
  void WriteRow(std::uint32_t Slot, const class TRowImage& Image);
  void DeleteRow(std::uint32_t Slot);
  void Clear();
  void Reserve(std::size_t Rows, std::size_t HeapBytes);
  // Bytes held (rows, heap and their spare capacity).
  std::size_t BytesUsed() const { return Rows_.capacity() + Heap_.capacity(); }
  // Copies live rows into a fresh heap, dropping text of edited and deleted
  // records. Slots are kept.
  void CompactHeap();
  std::size_t HeapGarbage() const { return Garbage_; }

 private:
  friend class TRowImage;
  TVarRef PutVar(std::string_view Bytes);
  void CopyIn(std::uint8_t* Row, const TRowImage& Image);
  std::vector<TColumn> Columns_;
  std::uint32_t RowSize_ = 0;
  std::vector<std::uint8_t> Rows_;
  std::vector<char> Heap_;
  std::size_t Garbage_ = 0;
  std::uint32_t Live_ = 0;
};

inline const std::uint8_t* TRowView::Fixed(int Col) const {
  return Row_ + Store_->Columns()[std::size_t(Col)].Offset;
}

// A row outside the store: what an edit, an insert or a key buffer holds.
class TRowImage {
 public:
  void Reset(const TRecordStore& Store);  // all columns Null
  void LoadFrom(const TRecordStore& Store, std::uint32_t Slot);
  TRowView View(const TRecordStore& Store) const { return TRowView(Row_.data(), &Store, &Vars_); }
  bool IsNull(int Col) const { return (Row_[(Col + 1) >> 3] >> ((Col + 1) & 7) & 1u) != 0; }
  void SetNull(int Col, bool Null);
  std::uint8_t* Fixed(const TColumn& C) { return Row_.data() + C.Offset; }
  void SetVar(int Col, std::string_view Bytes) { Vars_[std::size_t(Col)].assign(Bytes); }
  const std::vector<std::uint8_t>& Row() const { return Row_; }
  const std::vector<std::string>& Vars() const { return Vars_; }
  bool Empty() const { return Row_.empty(); }

 private:
  std::vector<std::uint8_t> Row_;
  std::vector<std::string> Vars_;
};

// Value of column Col of a row as a variant (Null for a null value).
Variant ReadVariant(const TColumn& C, const TRowView& Row, int Col);
// Writes V into Image's column Col (Null/Empty sets Null). Raises EConvertError
// or EVariantTypeCastError when V does not convert.
void WriteVariant(const TColumn& C, TRowImage& Image, int Col, const Variant& V);
// Copies the field-native buffer (see fields.h) of column Col into/out of a row.
bool ReadNativeValue(const TColumn& C, const TRowView& Row, int Col, void* Buffer);
// The numbers, the common case of a scan, are copied here without a call.
inline bool ReadNative(const TColumn& C, const TRowView& Row, int Col, void* Buffer) {
  if (Row.IsNull(Col)) return false;
  if (!Buffer) return true;
  switch (C.Kind) {
    case TColKind::I16: case TColKind::U16: std::memcpy(Buffer, Row.Fixed(Col), 2); return true;
    case TColKind::I32: std::memcpy(Buffer, Row.Fixed(Col), 4); return true;
    case TColKind::I64: case TColKind::Double: case TColKind::Curr: std::memcpy(Buffer, Row.Fixed(Col), 8); return true;
    default: return ReadNativeValue(C, Row, Col, Buffer);
  }
}
void WriteNative(const TColumn& C, TRowImage& Image, int Col, const void* Buffer);

struct TKeyPart {
  int Col = 0;
  bool Descending = false;
  bool CaseInsensitive = false;
};

// Compares column values of two rows by one key part, in key order; Null
// first. A case-insensitive text part compares the upper-case forms ignoring
// case (AnsiCompareUpperText): the comparison of the case-insensitive record
// tests, which compare a record with the upper case of what was typed, so
// that the keys equal to a criterion and the keys that begin with it are the
// records those tests accept ("straße" equals "STRASSE", "ırmak" "IRMAK").
// A key search and a range compare by this.
int CompareKeyPart(const TRecordStore& Store, const TKeyPart& Part, const TRowView& A, const TRowView& B);
// Compares the first Count key parts (all when Count < 0).
int CompareKeys(const TRecordStore& Store, const std::vector<TKeyPart>& Keys, const TRowView& A,
                const TRowView& B, int Count = -1);
// The order of the rows in an index: by CompareKeys, then rows whose keys
// are equal by the texts of their case-insensitive parts compared ignoring
// case alone (AnsiCompareText). Only rows equal in both hold the same key of
// a unique index: it refuses "Anna" next to "ANNA", as it always did, and
// keeps accepting "Straße" next to "STRASSE" and "ırmak" next to "IRMAK",
// which files saved before may hold. Every run of rows equal by CompareKeys
// on some leading parts stays in one piece, which key searches rely on.
int CompareRows(const TRecordStore& Store, const std::vector<TKeyPart>& Keys, const TRowView& A,
                const TRowView& B);

class TRecordIndex {
 public:
  std::string Name;
  std::string FieldNames;  // as given, for IndexFieldNames and messages
  std::vector<TKeyPart> Keys;  // empty: insertion order
  bool Unique = false;
  bool Primary = false;
  std::vector<std::uint32_t> Order;
  // True while the insertion order is ascending by slot (nothing was inserted
  // in the middle), so that an unkeyed index can still binary-search a slot.
  bool SlotSorted = true;

  bool Keyed() const { return !Keys.empty(); }
  // Rebuilds Order from every live slot.
  void Build(const TRecordStore& Store);
  // First position whose key is >= Key (on Count parts, by CompareKeys), or
  // > Key with Upper.
  std::size_t Bound(const TRecordStore& Store, const TRowView& Key, int Count, bool Upper) const;
  // The same for a whole row, by CompareRows.
  std::size_t RowBound(const TRecordStore& Store, const TRowView& Row, bool Upper) const;
  // Position of Slot (whose row holds the key it was sorted by); npos when absent.
  std::size_t PositionOf(const TRecordStore& Store, std::uint32_t Slot) const;
  // Appends Slot at the end (growing the vector by a quarter at a time).
  void Append(std::uint32_t Slot);
  // Inserts Slot at its key position (after equal keys).
  std::size_t InsertSorted(const TRecordStore& Store, std::uint32_t Slot);
  // A slot other than Except with the same key as Row; npos when none.
  std::size_t FindDuplicate(const TRecordStore& Store, const TRowView& Row, std::uint32_t Except) const;
  static constexpr std::size_t npos = std::size_t(-1);
};

}  // namespace fyndra::cds
