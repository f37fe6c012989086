#include <fyndra/platform/db/clientstore.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include <fyndra/platform/db/fields.h>
#include <fyndra/platform/rtl/fmtbcd.h>
#include <fyndra/platform/rtl/sqltimst.h>
#include <fyndra/platform/rtl/sysutils.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra::cds {

namespace {

std::uint32_t WidthOf(TColKind K) {  // bytes of a value within the row
  switch (K) {
    case TColKind::I16: case TColKind::U16: return 2;
    case TColKind::I32: return 4;
    case TColKind::Bool: return 1;
    case TColKind::I64: case TColKind::Double: case TColKind::Curr: return 8;
    case TColKind::TimeStamp: return sizeof(TSQLTimeStamp);
    case TColKind::Bcd: return sizeof(TBcd);
    case TColKind::Text: case TColKind::Wide: case TColKind::Bytes: return sizeof(TVarRef);
  }
  return 0;
}

bool IsVar(TColKind K) { return K == TColKind::Text || K == TColKind::Wide || K == TColKind::Bytes; }

template <class T>
T Load(const std::uint8_t* P) {
  T V;
  std::memcpy(&V, P, sizeof V);
  return V;
}

template <class T>
void Store(std::uint8_t* P, T V) {
  std::memcpy(P, &V, sizeof V);
}

template <class T>
int Cmp(T A, T B) {
  return A < B ? -1 : (B < A ? 1 : 0);
}

// A wide value as the row holds it (UTF-16 code units) as a wide text.
std::u16string WideOf(std::string_view Bytes) {
  std::u16string W(Bytes.size() / 2, u'\0');
  std::memcpy(W.data(), Bytes.data(), W.size() * 2);
  return W;
}

}  // namespace

TColKind KindOfType(TFieldType Type) {
  switch (Type) {
    case ftString: case ftFixedChar: case ftGuid: case ftMemo: case ftFmtMemo: return TColKind::Text;
    case ftWideString: return TColKind::Wide;
    case ftSmallint: return TColKind::I16;
    case ftWord: return TColKind::U16;
    case ftInteger: case ftAutoInc: return TColKind::I32;
    case ftLargeint: return TColKind::I64;
    case ftBoolean: return TColKind::Bool;
    case ftFloat: case ftCurrency: case ftDate: case ftTime: case ftDateTime: return TColKind::Double;
    case ftBCD: return TColKind::Curr;
    case ftTimeStamp: return TColKind::TimeStamp;
    case ftFMTBcd: return TColKind::Bcd;
    case ftBlob: case ftGraphic: case ftBytes: case ftVarBytes: case ftTypedBinary: return TColKind::Bytes;
    default:
      throw EDatabaseError(Format("Field type %s cannot be stored in a client dataset",
                                  {std::string(FieldTypeName(Type))}));
  }
}

// ---------------------------------------------------------------- TRowView

std::string_view TRowView::Var(int Col) const {
  if (Vars_) return (*Vars_)[std::size_t(Col)];
  return Store_->HeapText(Load<TVarRef>(Fixed(Col)));
}

// ---------------------------------------------------------------- TRecordStore

void TRecordStore::Define(std::vector<TColumn> Columns) {
  Columns_ = std::move(Columns);
  std::uint32_t Offset = std::uint32_t((Columns_.size() + 1 + 7) / 8);
  for (TColumn& C : Columns_) {
    C.Kind = KindOfType(C.Type);
    C.Width = WidthOf(C.Kind);
    C.Offset = Offset;
    Offset += C.Width;
  }
  RowSize_ = Offset;
  Clear();
}

int TRecordStore::IndexOfColumn(std::string_view Name) const {
  for (std::size_t I = 0; I < Columns_.size(); ++I)
    if (AnsiSameText(Columns_[I].Name, Name)) return int(I);
  return -1;
}

void TRecordStore::Clear() {
  Rows_.clear();
  Rows_.shrink_to_fit();
  Heap_.clear();
  Heap_.shrink_to_fit();
  Garbage_ = 0;
  Live_ = 0;
}

void TRecordStore::Reserve(std::size_t Rows, std::size_t HeapBytes) {
  Rows_.reserve(Rows * RowSize_);
  Heap_.reserve(HeapBytes);
}

namespace {

// Grows V to hold Extra more elements by a quarter at a time: the storage is
// meant to stay close to the size of its values, not double it.
template <class V>
void GrowFor(V& Vec, std::size_t Extra) {
  std::size_t Need = Vec.size() + Extra;
  if (Need <= Vec.capacity()) return;
  Vec.reserve(std::max(Need, Vec.capacity() + Vec.capacity() / 4 + 64));
}

std::size_t VarIntSize(std::size_t N) {
  std::size_t K = 1;
  while (N >= 0x80) {
    N >>= 7;
    ++K;
  }
  return K;
}

}  // namespace

std::string_view TRecordStore::HeapText(TVarRef Ref) const {
  std::size_t P = Ref, Len = 0;
  for (int Shift = 0;; Shift += 7) {
    std::uint8_t B = std::uint8_t(Heap_[P++]);
    Len |= std::size_t(B & 0x7F) << Shift;
    if (!(B & 0x80)) break;
  }
  return {Heap_.data() + P, Len};
}

TVarRef TRecordStore::PutVar(std::string_view Bytes) {
  TVarRef R = TVarRef(Heap_.size());
  GrowFor(Heap_, VarIntSize(Bytes.size()) + Bytes.size());
  std::size_t N = Bytes.size();
  do {
    std::uint8_t B = std::uint8_t(N & 0x7F);
    N >>= 7;
    Heap_.push_back(char(N ? (B | 0x80) : B));
  } while (N);
  Heap_.insert(Heap_.end(), Bytes.begin(), Bytes.end());
  return R;
}

void TRecordStore::CopyIn(std::uint8_t* Row, const TRowImage& Image) {
  std::size_t Need = 0;
  for (std::size_t C = 0; C < Columns_.size(); ++C)
    if (IsVar(Columns_[C].Kind) && !Image.IsNull(int(C))) Need += Image.Vars()[C].size() + 5;
  if (Heap_.size() + Need > std::numeric_limits<std::uint32_t>::max())
    throw EDatabaseError("Client dataset storage is full (text values exceed 4 GB)");
  std::memcpy(Row, Image.Row().data(), RowSize_);
  Row[0] &= std::uint8_t(~1u);
  for (std::size_t C = 0; C < Columns_.size(); ++C) {
    const TColumn& Col = Columns_[C];
    if (!IsVar(Col.Kind)) continue;
    TVarRef R = 0;
    if (!Image.IsNull(int(C))) R = PutVar(Image.Vars()[C]);
    Store(Row + Col.Offset, R);
  }
}

std::uint32_t TRecordStore::AddRow(const TRowImage& Image) {
  if (SlotCount() >= std::numeric_limits<std::uint32_t>::max() - 1)
    throw EDatabaseError("Client dataset storage is full (too many records)");
  std::size_t Old = Rows_.size();
  GrowFor(Rows_, RowSize_);
  Rows_.resize(Old + RowSize_);
  try {
    CopyIn(Rows_.data() + Old, Image);
  } catch (...) {
    Rows_.resize(Old);
    throw;
  }
  ++Live_;
  return std::uint32_t(Old / RowSize_);
}

void TRecordStore::WriteRow(std::uint32_t Slot, const TRowImage& Image) {
  std::uint8_t* Row = Rows_.data() + std::size_t(Slot) * RowSize_;
  std::size_t Old = 0;
  TRowView View(Row, this, nullptr);
  for (std::size_t C = 0; C < Columns_.size(); ++C)
    if (IsVar(Columns_[C].Kind) && !View.IsNull(int(C))) Old += View.Var(int(C)).size() + 1;
  CopyIn(Row, Image);
  Garbage_ += Old;
}

void TRecordStore::DeleteRow(std::uint32_t Slot) {
  std::uint8_t* Row = Rows_.data() + std::size_t(Slot) * RowSize_;
  if (Row[0] & 1u) return;
  TRowView View(Row, this, nullptr);
  for (std::size_t C = 0; C < Columns_.size(); ++C)
    if (IsVar(Columns_[C].Kind) && !View.IsNull(int(C))) Garbage_ += View.Var(int(C)).size() + 1;
  Row[0] |= 1u;
  --Live_;
}

void TRecordStore::CompactHeap() {
  std::vector<char> Old;
  Old.swap(Heap_);
  Heap_.reserve(Old.size() - std::min(Garbage_, Old.size()));
  std::vector<char> Keep;
  for (std::uint32_t S = 0; S < SlotCount(); ++S) {
    std::uint8_t* Row = Rows_.data() + std::size_t(S) * RowSize_;
    if (Row[0] & 1u) continue;
    for (std::size_t C = 0; C < Columns_.size(); ++C) {
      const TColumn& Col = Columns_[C];
      if (!IsVar(Col.Kind) || (Row[(C + 1) >> 3] >> ((C + 1) & 7) & 1u)) continue;
      Old.swap(Heap_);
      std::string_view V = HeapText(Load<TVarRef>(Row + Col.Offset));
      Keep.assign(V.begin(), V.end());
      Old.swap(Heap_);
      Store(Row + Col.Offset, PutVar(std::string_view(Keep.data(), Keep.size())));
    }
  }
  Garbage_ = 0;
}

// ---------------------------------------------------------------- TRowImage

void TRowImage::Reset(const TRecordStore& S) {
  Row_.assign(S.RowSize(), 0);
  for (int C = 0; C < S.ColumnCount(); ++C) SetNull(C, true);
  Vars_.assign(std::size_t(S.ColumnCount()), std::string());
}

void TRowImage::LoadFrom(const TRecordStore& S, std::uint32_t Slot) {
  const std::uint8_t* Row = S.Row(Slot);
  Row_.assign(Row, Row + S.RowSize());
  Vars_.assign(std::size_t(S.ColumnCount()), std::string());
  TRowView V = S.View(Slot);
  for (int C = 0; C < S.ColumnCount(); ++C)
    if (IsVar(S.Columns()[std::size_t(C)].Kind) && !V.IsNull(C)) Vars_[std::size_t(C)].assign(V.Var(C));
}

void TRowImage::SetNull(int Col, bool Null) {
  std::uint8_t& B = Row_[std::size_t(Col + 1) >> 3];
  std::uint8_t Bit = std::uint8_t(1u << ((Col + 1) & 7));
  if (Null) B |= Bit;
  else B &= std::uint8_t(~Bit);
}

// ---------------------------------------------------------------- value exchange

Variant ReadVariant(const TColumn& C, const TRowView& Row, int Col) {
  if (Row.IsNull(Col)) return Null();
  const std::uint8_t* P = Row.Fixed(Col);
  switch (C.Kind) {
    case TColKind::I16: return Variant::MakeInt(varSmallint, Load<std::int16_t>(P));
    case TColKind::U16: return Variant::MakeInt(varWord, Load<std::uint16_t>(P));
    case TColKind::I32: return Variant(Load<std::int32_t>(P));
    case TColKind::I64: return Variant(Load<std::int64_t>(P));
    case TColKind::Bool: return Variant(P[0] != 0);
    case TColKind::Double:
      if (C.Type == ftDate || C.Type == ftTime || C.Type == ftDateTime) return Variant::FromDateTime(Load<double>(P));
      if (C.Type == ftCurrency) return Variant(Currency(Load<double>(P)));
      return Variant(Load<double>(P));
    case TColKind::Curr: return Variant(Currency::FromScaled(Load<std::int64_t>(P)));
    case TColKind::TimeStamp: return VarSQLTimeStampCreate(Load<TSQLTimeStamp>(P));
    case TColKind::Bcd: return VarFMTBcdCreate(Load<TBcd>(P));
    case TColKind::Text: return Variant(std::string(Row.Var(Col)));
    case TColKind::Bytes: return Variant(std::string(Row.Var(Col)));
    case TColKind::Wide: {
      std::string_view B = Row.Var(Col);
      std::u16string W(B.size() / 2, u'\0');
      std::memcpy(W.data(), B.data(), W.size() * 2);
      return Variant(std::move(W));
    }
  }
  return Null();
}

void WriteVariant(const TColumn& C, TRowImage& Image, int Col, const Variant& V) {
  if (V.IsNull() || V.IsEmpty()) {
    Image.SetNull(Col, true);
    return;
  }
  std::uint8_t* P = Image.Fixed(C);
  switch (C.Kind) {
    case TColKind::I16: Store(P, std::int16_t(V.AsInteger())); break;
    case TColKind::U16: Store(P, std::uint16_t(V.AsInteger())); break;
    case TColKind::I32: Store(P, V.AsInteger()); break;
    case TColKind::I64: Store(P, V.AsInt64()); break;
    case TColKind::Bool: P[0] = V.AsBoolean() ? 1 : 0; break;
    case TColKind::Double:
      Store(P, (C.Type == ftDate || C.Type == ftTime || C.Type == ftDateTime) ? VarToDateTime(V) : V.AsDouble());
      break;
    case TColKind::Curr: Store(P, V.AsCurrency().Scaled()); break;
    case TColKind::TimeStamp: Store(P, V.AsSQLTimeStamp()); break;
    case TColKind::Bcd: Store(P, V.AsBcd()); break;
    case TColKind::Text: case TColKind::Bytes: Image.SetVar(Col, VarToStr(V)); break;
    case TColKind::Wide: {
      std::u16string W = VarToWideStr(V);
      Image.SetVar(Col, std::string_view(reinterpret_cast<const char*>(W.data()), W.size() * 2));
      break;
    }
  }
  Image.SetNull(Col, false);
}

bool ReadNativeValue(const TColumn& C, const TRowView& Row, int Col, void* Buffer) {
  if (Row.IsNull(Col)) return false;
  if (!Buffer) return true;
  const std::uint8_t* P = Row.Fixed(Col);
  switch (C.Kind) {
    case TColKind::Bool: {
      std::uint16_t V = P[0];
      std::memcpy(Buffer, &V, 2);
      return true;
    }
    case TColKind::Text: {
      std::string_view S = Row.Var(Col);
      if (FixedText(C.Type)) {
        TextToNative(S, C.Size, C.Name, nullptr, Buffer);
      } else {
        static_cast<std::string*>(Buffer)->assign(S);
      }
      return true;
    }
    case TColKind::Bytes:
      static_cast<std::string*>(Buffer)->assign(Row.Var(Col));
      return true;
    case TColKind::Wide: {
      std::string_view B = Row.Var(Col);
      auto* W = static_cast<std::u16string*>(Buffer);
      W->assign(B.size() / 2, u'\0');
      std::memcpy(W->data(), B.data(), W->size() * 2);
      return true;
    }
    default:
      // Constant-size copies of the common widths compile to plain moves.
      switch (C.Width) {
        case 2: std::memcpy(Buffer, P, 2); break;
        case 4: std::memcpy(Buffer, P, 4); break;
        case 8: std::memcpy(Buffer, P, 8); break;
        default: std::memcpy(Buffer, P, C.Width);
      }
      return true;
  }
}

void WriteNative(const TColumn& C, TRowImage& Image, int Col, const void* Buffer) {
  if (!Buffer) {
    Image.SetNull(Col, true);
    return;
  }
  std::uint8_t* P = Image.Fixed(C);
  switch (C.Kind) {
    case TColKind::Bool: {
      std::uint16_t V;
      std::memcpy(&V, Buffer, 2);
      P[0] = V ? 1 : 0;
      break;
    }
    case TColKind::Text:
      if (FixedText(C.Type)) {
        const char* S = static_cast<const char*>(Buffer);
        Image.SetVar(Col, std::string_view(S, strnlen(S, std::size_t(StringBufferSize(C.Size) - 1))));
      } else {
        Image.SetVar(Col, *static_cast<const std::string*>(Buffer));
      }
      break;
    case TColKind::Bytes:
      Image.SetVar(Col, *static_cast<const std::string*>(Buffer));
      break;
    case TColKind::Wide: {
      const auto& W = *static_cast<const std::u16string*>(Buffer);
      Image.SetVar(Col, std::string_view(reinterpret_cast<const char*>(W.data()), W.size() * 2));
      break;
    }
    default:
      std::memcpy(P, Buffer, C.Width);
  }
  Image.SetNull(Col, false);
}

// ---------------------------------------------------------------- comparing keys

int CompareKeyPart(const TRecordStore& S, const TKeyPart& Part, const TRowView& A, const TRowView& B) {
  const int Col = Part.Col;
  const bool AN = A.IsNull(Col), BN = B.IsNull(Col);
  int R;
  if (AN || BN) {
    R = AN && BN ? 0 : (AN ? -1 : 1);  // Null first
  } else {
    const TColumn& C = S.Columns()[std::size_t(Col)];
    const std::uint8_t* PA = A.Fixed(Col);
    const std::uint8_t* PB = B.Fixed(Col);
    switch (C.Kind) {
      case TColKind::I16: R = Cmp(Load<std::int16_t>(PA), Load<std::int16_t>(PB)); break;
      case TColKind::U16: R = Cmp(Load<std::uint16_t>(PA), Load<std::uint16_t>(PB)); break;
      case TColKind::I32: R = Cmp(Load<std::int32_t>(PA), Load<std::int32_t>(PB)); break;
      case TColKind::I64: case TColKind::Curr: R = Cmp(Load<std::int64_t>(PA), Load<std::int64_t>(PB)); break;
      case TColKind::Bool: R = Cmp(PA[0], PB[0]); break;
      case TColKind::Double: R = Cmp(Load<double>(PA), Load<double>(PB)); break;
      case TColKind::TimeStamp: R = SQLTimeStampCompare(Load<TSQLTimeStamp>(PA), Load<TSQLTimeStamp>(PB)); break;
      case TColKind::Bcd: R = BcdCompare(Load<TBcd>(PA), Load<TBcd>(PB)); break;
      case TColKind::Text:
        R = Part.CaseInsensitive ? AnsiCompareUpperText(A.Var(Col), B.Var(Col))
                                 : AnsiCompareStr(A.Var(Col), B.Var(Col));
        break;
      case TColKind::Wide: {
        const std::u16string WA = WideOf(A.Var(Col)), WB = WideOf(B.Var(Col));
        R = Part.CaseInsensitive ? WideCompareUpperText(WA, WB) : WideCompareStr(WA, WB);
        break;
      }
      case TColKind::Bytes: R = A.Var(Col).compare(B.Var(Col)); break;
      default: R = 0;
    }
    R = R < 0 ? -1 : (R > 0 ? 1 : 0);
  }
  return Part.Descending ? -R : R;
}

int CompareKeys(const TRecordStore& S, const std::vector<TKeyPart>& Keys, const TRowView& A, const TRowView& B,
                int Count) {
  std::size_t N = Count < 0 ? Keys.size() : std::min(Keys.size(), std::size_t(Count));
  for (std::size_t I = 0; I < N; ++I)
    if (int R = CompareKeyPart(S, Keys[I], A, B)) return R;
  return 0;
}

namespace {

// Between rows of equal keys: the texts of the case-insensitive parts that
// differ in more than case ("Straße", "STRASSE") by the texts themselves,
// ignoring case.
int CompareCaseTies(const TRecordStore& S, const std::vector<TKeyPart>& Keys, const TRowView& A,
                    const TRowView& B) {
  for (const TKeyPart& Part : Keys) {
    const int Col = Part.Col;
    if (!Part.CaseInsensitive || A.IsNull(Col) || B.IsNull(Col)) continue;
    int R;
    switch (S.Columns()[std::size_t(Col)].Kind) {
      case TColKind::Text: R = AnsiCompareText(A.Var(Col), B.Var(Col)); break;
      case TColKind::Wide: R = WideCompareText(WideOf(A.Var(Col)), WideOf(B.Var(Col))); break;
      default: R = 0;
    }
    if (R != 0) return (R < 0) != Part.Descending ? -1 : 1;
  }
  return 0;
}

}  // namespace

int CompareRows(const TRecordStore& S, const std::vector<TKeyPart>& Keys, const TRowView& A, const TRowView& B) {
  if (int R = CompareKeys(S, Keys, A, B)) return R;
  return CompareCaseTies(S, Keys, A, B);
}

// ---------------------------------------------------------------- TRecordIndex

void TRecordIndex::Build(const TRecordStore& S) {
  Order.clear();
  Order.reserve(S.LiveCount());
  for (std::uint32_t Slot = 0; Slot < S.SlotCount(); ++Slot)
    if (!S.IsDeleted(Slot)) Order.push_back(Slot);
  SlotSorted = true;
  if (!Keyed()) return;
  // A sort compares each row about 2 log2(n) times: the upper-case forms of
  // the case-insensitive texts are made once per row, not per comparison
  // (AnsiCompareUpperText is AnsiCompareText of the upper-case forms).
  struct TUpperForms {
    std::string Text;                 // the forms one after another
    std::vector<std::size_t> Start;   // by slot: where a row's form starts; the next slot's start ends it
    std::string_view Of(std::uint32_t Slot) const { return {Text.data() + Start[Slot], Start[Slot + 1] - Start[Slot]}; }
  };
  std::vector<TUpperForms> Upper(Keys.size());
  for (std::size_t P = 0; P < Keys.size(); ++P) {
    const int Col = Keys[P].Col;
    if (!Keys[P].CaseInsensitive || S.Columns()[std::size_t(Col)].Kind != TColKind::Text) continue;
    TUpperForms& U = Upper[P];
    U.Start.reserve(std::size_t(S.SlotCount()) + 1);
    for (std::uint32_t Slot = 0; Slot < S.SlotCount(); ++Slot) {
      U.Start.push_back(U.Text.size());
      const TRowView Row = S.View(Slot);
      if (!S.IsDeleted(Slot) && !Row.IsNull(Col)) U.Text += AnsiUpperCase(Row.Var(Col));
    }
    U.Start.push_back(U.Text.size());
  }
  std::stable_sort(Order.begin(), Order.end(), [&](std::uint32_t A, std::uint32_t B) {
    const TRowView VA = S.View(A), VB = S.View(B);
    for (std::size_t P = 0; P < Keys.size(); ++P) {
      const TKeyPart& Part = Keys[P];
      int R;
      if (Upper[P].Start.empty() || VA.IsNull(Part.Col) || VB.IsNull(Part.Col)) {
        R = CompareKeyPart(S, Part, VA, VB);
      } else {
        R = AnsiCompareText(Upper[P].Of(A), Upper[P].Of(B));
        R = R == 0 ? 0 : ((R < 0) != Part.Descending ? -1 : 1);
      }
      if (R != 0) return R < 0;
    }
    return CompareCaseTies(S, Keys, VA, VB) < 0;
  });
}

namespace {

// The first position of Order whose row compares (by Compare against the
// sought one) at or after it, or after it with Upper.
template <class TCompare>
std::size_t Partition(const std::vector<std::uint32_t>& Order, bool Upper, TCompare Compare) {
  std::size_t Lo = 0, Hi = Order.size();
  while (Lo < Hi) {
    std::size_t Mid = Lo + (Hi - Lo) / 2;
    int R = Compare(Order[Mid]);
    if (Upper ? R <= 0 : R < 0) Lo = Mid + 1;
    else Hi = Mid;
  }
  return Lo;
}

}  // namespace

std::size_t TRecordIndex::Bound(const TRecordStore& S, const TRowView& Key, int Count, bool Upper) const {
  return Partition(Order, Upper,
                   [&](std::uint32_t Slot) { return CompareKeys(S, Keys, S.View(Slot), Key, Count); });
}

std::size_t TRecordIndex::RowBound(const TRecordStore& S, const TRowView& Row, bool Upper) const {
  return Partition(Order, Upper, [&](std::uint32_t Slot) { return CompareRows(S, Keys, S.View(Slot), Row); });
}

std::size_t TRecordIndex::PositionOf(const TRecordStore& S, std::uint32_t Slot) const {
  if (!Keyed()) {
    if (SlotSorted) {
      auto It = std::lower_bound(Order.begin(), Order.end(), Slot);
      return It != Order.end() && *It == Slot ? std::size_t(It - Order.begin()) : npos;
    }
    auto It = std::find(Order.begin(), Order.end(), Slot);
    return It == Order.end() ? npos : std::size_t(It - Order.begin());
  }
  TRowView Row = S.View(Slot);
  std::size_t P = RowBound(S, Row, false);
  for (; P < Order.size(); ++P) {
    if (Order[P] == Slot) return P;
    if (CompareRows(S, Keys, S.View(Order[P]), Row) != 0) break;
  }
  return npos;
}

void TRecordIndex::Append(std::uint32_t Slot) {
  GrowFor(Order, 1);
  Order.push_back(Slot);
}

std::size_t TRecordIndex::InsertSorted(const TRecordStore& S, std::uint32_t Slot) {
  std::size_t P = Keyed() ? RowBound(S, S.View(Slot), true) : Order.size();
  GrowFor(Order, 1);
  Order.insert(Order.begin() + std::ptrdiff_t(P), Slot);
  return P;
}

std::size_t TRecordIndex::FindDuplicate(const TRecordStore& S, const TRowView& Row, std::uint32_t Except) const {
  for (std::size_t P = RowBound(S, Row, false); P < Order.size(); ++P) {
    if (CompareRows(S, Keys, S.View(Order[P]), Row) != 0) break;
    if (Order[P] != Except) return P;
  }
  return npos;
}

}  // namespace fyndra::cds
