// PPMd variant I revision 1 (method 98). The entry starts with two bytes of
// parameters (model order - 1 in bits 0-3, memory in MiB - 1 in bits 4-11,
// restoration method in bits 12-15), then a range-coded symbol stream. The
// model lives in an arena of the given size, addressed by 32-bit offsets; it
// must evolve exactly as the encoder's did, memory exhaustion included.
#include <algorithm>
#include <array>
#include <cstring>

#include "transfer/zip/lz_support.h"
#include "transfer/zip/own_decoders.h"
#include "transfer/zip/sized_decoder.h"

namespace zephora::zip {
namespace {

// A unit of the arena holds one context or two states.
constexpr std::uint32_t kUnitSize = 12;
constexpr std::uint32_t kStateSize = 6;
constexpr int kIndexCount = 38;
constexpr int kMaxFreq = 124;
constexpr int kIntervalBits = 7;
constexpr int kPeriodBits = 7;
constexpr std::uint32_t kBinScale = 1u << 14;
constexpr std::uint32_t kTop = 1u << 24;
constexpr std::uint32_t kBottom = 1u << 15;
constexpr std::uint32_t kEmptyNode = 0xFFFFFFFFu;
constexpr std::array<std::uint16_t, 8> kInitBinEscape = {0x3CDD, 0x1F3F, 0x59BF, 0x48F3,
                                                         0x64A1, 0x5ABC, 0x6632, 0x6051};
constexpr std::array<std::uint8_t, 16> kExpEscape = {25, 14, 9, 7, 5, 5, 4, 4,
                                                     4,  3,  3, 3, 2, 2, 2, 2};

// Secondary escape estimation: an adaptive escape frequency.
struct See {
  std::uint16_t summ = 0;
  std::uint8_t shift = 0;
  std::uint8_t count = 0;

  std::uint32_t Mean() {
    const std::uint32_t r = summ >> shift;
    summ = static_cast<std::uint16_t>(summ - r);
    return r + (r == 0);
  }
  void Update() {
    if (shift < kPeriodBits && --count == 0) {
      summ = static_cast<std::uint16_t>(summ << 1);
      count = static_cast<std::uint8_t>(3 << shift++);
    }
  }
};

// Fixed tables of the model.
struct Tables {
  std::array<std::uint8_t, kIndexCount> indexToUnits{};
  std::array<std::uint8_t, 128> unitsToIndex{};
  std::array<std::uint8_t, 256> statsToBinIndex{};
  std::array<std::uint8_t, 260> statsToIndex{};

  Tables() {
    for (int i = 0, k = 0; i < kIndexCount; ++i) {
      int step = i >= 12 ? 4 : (i >> 2) + 1;
      while (step-- > 0)
        unitsToIndex[k++] = static_cast<std::uint8_t>(i);
      indexToUnits[i] = static_cast<std::uint8_t>(k);
    }
    statsToBinIndex[0] = 0;
    statsToBinIndex[1] = 2;
    for (int i = 2; i < 11; ++i)
      statsToBinIndex[i] = 4;
    for (int i = 11; i < 256; ++i)
      statsToBinIndex[i] = 6;
    int i = 0;
    for (; i < 5; ++i)
      statsToIndex[i] = static_cast<std::uint8_t>(i);
    for (int m = i, k = 1; i < 260; ++i) {
      statsToIndex[i] = static_cast<std::uint8_t>(m);
      if (--k == 0)
        k = ++m - 4;
    }
  }
};

const Tables& ModelTables() {
  static const Tables tables;
  return tables;
}

// The context model and range decoder. Offsets into the arena stand for
// pointers; 0 is null (the arena starts with 1 to 4 bytes of alignment).
// Context (12 bytes): NumStats (symbols - 1), Flags, SummFreq (u16), Stats,
// Suffix; a context of one symbol keeps that state at offset 2 instead.
// State (kStateSize = 6 bytes): Symbol, Freq, Successor. A successor at or
// above UnitsStart is the context one order up; below it, it points into the
// text of symbols seen, from which that context is made when it is needed;
// 0 means none yet.
class PpmdModel {
 public:
  PpmdModel(int maxOrder, std::uint32_t memorySize)
      : t_(ModelTables()),
        size_(memorySize),
        alignOffset_(4 - (memorySize & 3)),
        arena_(new std::uint8_t[alignOffset_ + memorySize + kUnitSize]()),
        maxOrder_(maxOrder) {
    RestartModel();
  }

  // The range decoder reads through this; past the end it gets zeros.
  struct Source {
    const std::uint8_t* bytes = nullptr;
    std::size_t size = 0;
    std::size_t position = 0;
    std::size_t overrun = 0;
    std::uint8_t Next() {
      if (position < size)
        return bytes[position++];
      ++overrun;
      return 0;
    }
  };

  void StartRangeDecoder(Source& source) {
    low_ = 0;
    range_ = 0xFFFFFFFFu;
    code_ = 0;
    for (int i = 0; i < 4; ++i)
      code_ = code_ << 8 | source.Next();
  }

  // The next symbol, -1 at the end mark, -2 on damaged data.
  int DecodeSymbol(Source& source);

 private:
  // ---- arena access
  std::uint8_t& Byte(std::uint32_t at) { return arena_[at]; }
  std::uint16_t Get16(std::uint32_t at) const {
    std::uint16_t v;
    std::memcpy(&v, &arena_[at], 2);
    return v;
  }
  void Set16(std::uint32_t at, std::uint32_t v) {
    const auto value = static_cast<std::uint16_t>(v);
    std::memcpy(&arena_[at], &value, 2);
  }
  std::uint32_t Get32(std::uint32_t at) const {
    std::uint32_t v;
    std::memcpy(&v, &arena_[at], 4);
    return v;
  }
  void Set32(std::uint32_t at, std::uint32_t v) { std::memcpy(&arena_[at], &v, 4); }

  std::uint8_t& NumStats(std::uint32_t c) { return arena_[c]; }
  std::uint8_t& Flags(std::uint32_t c) { return arena_[c + 1]; }
  std::uint32_t SummFreq(std::uint32_t c) const { return Get16(c + 2); }
  void SetSummFreq(std::uint32_t c, std::uint32_t v) { Set16(c + 2, v); }
  std::uint32_t Stats(std::uint32_t c) const { return Get32(c + 4); }
  void SetStats(std::uint32_t c, std::uint32_t v) { Set32(c + 4, v); }
  std::uint32_t Suffix(std::uint32_t c) const { return Get32(c + 8); }
  void SetSuffix(std::uint32_t c, std::uint32_t v) { Set32(c + 8, v); }
  static std::uint32_t OneState(std::uint32_t c) { return c + 2; }

  std::uint8_t& Symbol(std::uint32_t s) { return arena_[s]; }
  std::uint8_t& Freq(std::uint32_t s) { return arena_[s + 1]; }
  std::uint32_t Successor(std::uint32_t s) const { return Get32(s + 2); }
  void SetSuccessor(std::uint32_t s, std::uint32_t v) { Set32(s + 2, v); }
  void CopyState(std::uint32_t to, std::uint32_t from) {
    std::memmove(&arena_[to], &arena_[from], kStateSize);
  }
  void SwapStates(std::uint32_t a, std::uint32_t b) {
    std::uint8_t tmp[kStateSize];
    std::memcpy(tmp, &arena_[a], kStateSize);
    std::memcpy(&arena_[a], &arena_[b], kStateSize);
    std::memcpy(&arena_[b], tmp, kStateSize);
  }

  // ---- memory allocator: free lists of blocks of 1 to 128 units
  std::uint32_t IndexToUnits(unsigned index) const { return t_.indexToUnits[index]; }
  unsigned UnitsToIndex(std::uint32_t units) const { return t_.unitsToIndex[units - 1]; }
  void InsertNode(std::uint32_t node, unsigned index);
  std::uint32_t RemoveNode(unsigned index);
  void SplitBlock(std::uint32_t block, unsigned oldIndex, unsigned newIndex);
  void GlueFreeBlocks();
  std::uint32_t AllocUnitsRare(unsigned index);
  std::uint32_t AllocUnits(unsigned index);
  std::uint32_t AllocContext();
  std::uint32_t ShrinkUnits(std::uint32_t block, std::uint32_t oldUnits, std::uint32_t newUnits);

  // ---- model
  void RestartModel();
  void Rescale();
  void NextContext();
  void Update1();
  void Update1First();
  void Update2();
  void UpdateBin();
  std::uint32_t CreateSuccessors(bool skip, std::uint32_t s1, std::uint32_t c);
  std::uint32_t ReduceOrder(std::uint32_t s1, std::uint32_t c);
  void UpdateModel();
  See* MakeEscFreq(unsigned masked, std::uint32_t& escFreq);
  // Finds `symbol` among the states of context `c`; 0 (and damage) if absent.
  std::uint32_t FindState(std::uint32_t c, std::uint8_t symbol);

  // ---- range decoder
  std::uint32_t Threshold(std::uint32_t total) {
    range_ /= total;
    if (range_ == 0) {
      damaged_ = true;
      return 0;
    }
    return code_ / range_;
  }
  void Consume(Source& source, std::uint32_t start, std::uint32_t size) {
    start *= range_;
    low_ += start;
    code_ -= start;
    range_ *= size;
    while ((low_ ^ (low_ + range_)) < kTop ||
           (range_ < kBottom && ((range_ = (0 - low_) & (kBottom - 1)), true))) {
      if (range_ == 0) {
        damaged_ = true;
        return;
      }
      code_ = code_ << 8 | source.Next();
      range_ <<= 8;
      low_ <<= 8;
    }
  }

  const Tables& t_;
  const std::uint32_t size_;
  const std::uint32_t alignOffset_;
  std::unique_ptr<std::uint8_t[]> arena_;
  const int maxOrder_;

  std::uint32_t low_ = 0;
  std::uint32_t range_ = 0;
  std::uint32_t code_ = 0;

  std::uint32_t minContext_ = 0;
  std::uint32_t maxContext_ = 0;
  std::uint32_t foundState_ = 0;
  int orderFall_ = 0;
  int initEsc_ = 0;
  int prevSuccess_ = 0;
  std::int32_t runLength_ = 0;
  std::int32_t initRunLength_ = 0;
  bool damaged_ = false;

  std::uint32_t glueCount_ = 0;
  std::uint32_t text_ = 0;
  std::uint32_t unitsStart_ = 0;
  std::uint32_t loUnit_ = 0;
  std::uint32_t hiUnit_ = 0;
  std::array<std::uint32_t, kIndexCount> freeList_{};
  std::array<std::uint32_t, kIndexCount> stamps_{};

  See dummySee_;
  std::array<std::array<See, 32>, 24> see_{};
  std::array<std::array<std::uint16_t, 64>, 25> binSumm_{};
  std::array<std::uint8_t, 256> charMask_{};
};

// ------------------------------------------------------------------ allocator

void PpmdModel::InsertNode(std::uint32_t node, unsigned index) {
  Set32(node, kEmptyNode);
  Set32(node + 4, freeList_[index]);
  Set32(node + 8, IndexToUnits(index));
  freeList_[index] = node;
  ++stamps_[index];
}

std::uint32_t PpmdModel::RemoveNode(unsigned index) {
  const std::uint32_t node = freeList_[index];
  freeList_[index] = Get32(node + 4);
  --stamps_[index];
  return node;
}

void PpmdModel::SplitBlock(std::uint32_t block, unsigned oldIndex, unsigned newIndex) {
  const std::uint32_t units = IndexToUnits(oldIndex) - IndexToUnits(newIndex);
  block += IndexToUnits(newIndex) * kUnitSize;
  unsigned index = UnitsToIndex(units);
  if (IndexToUnits(index) != units) {
    const std::uint32_t k = IndexToUnits(--index);
    InsertNode(block + k * kUnitSize, units - k - 1);
  }
  InsertNode(block, index);
}

void PpmdModel::GlueFreeBlocks() {
  // Joins neighbouring free blocks, then sorts them into the lists again.
  std::uint32_t head = 0;
  std::uint32_t* previous = &head;
  bool previousIsHead = true;
  std::uint32_t previousNode = 0;
  glueCount_ = 1 << 13;
  stamps_.fill(0);
  // The root context sits in the top unit, so only LoUnit needs a guard.
  if (loUnit_ != hiUnit_)
    Set32(loUnit_, 0);
  for (unsigned i = 0; i < kIndexCount; ++i) {
    std::uint32_t next = freeList_[i];
    freeList_[i] = 0;
    while (next != 0) {
      const std::uint32_t node = next;
      if (Get32(node + 8) != 0) {
        if (previousIsHead) {
          *previous = node;
        } else {
          Set32(previousNode + 4, node);
        }
        previousIsHead = false;
        previousNode = node;
        for (;;) {
          const std::uint32_t neighbour = node + Get32(node + 8) * kUnitSize;
          if (Get32(neighbour) != kEmptyNode)
            break;
          Set32(node + 8, Get32(node + 8) + Get32(neighbour + 8));
          Set32(neighbour + 8, 0);
        }
      }
      next = Get32(node + 4);
    }
  }
  if (previousIsHead) {
    *previous = 0;
  } else {
    Set32(previousNode + 4, 0);
  }
  while (head != 0) {
    std::uint32_t node = head;
    head = Get32(node + 4);
    std::uint32_t units = Get32(node + 8);
    if (units == 0)
      continue;
    for (; units > 128; units -= 128, node += 128 * kUnitSize)
      InsertNode(node, kIndexCount - 1);
    unsigned index = UnitsToIndex(units);
    if (IndexToUnits(index) != units) {
      const std::uint32_t k = IndexToUnits(--index);
      InsertNode(node + k * kUnitSize, units - k - 1);
    }
    InsertNode(node, index);
  }
}

std::uint32_t PpmdModel::AllocUnitsRare(unsigned index) {
  if (glueCount_ == 0) {
    GlueFreeBlocks();
    if (freeList_[index] != 0)
      return RemoveNode(index);
  }
  unsigned i = index;
  do {
    if (++i == kIndexCount) {
      const std::uint32_t bytes = IndexToUnits(index) * kUnitSize;
      --glueCount_;
      if (unitsStart_ - text_ > bytes) {
        unitsStart_ -= bytes;
        return unitsStart_;
      }
      return 0;
    }
  } while (freeList_[i] == 0);
  const std::uint32_t block = RemoveNode(i);
  SplitBlock(block, i, index);
  return block;
}

std::uint32_t PpmdModel::AllocUnits(unsigned index) {
  if (freeList_[index] != 0)
    return RemoveNode(index);
  const std::uint32_t bytes = IndexToUnits(index) * kUnitSize;
  if (bytes <= hiUnit_ - loUnit_) {
    const std::uint32_t block = loUnit_;
    loUnit_ += bytes;
    return block;
  }
  return AllocUnitsRare(index);
}

std::uint32_t PpmdModel::AllocContext() {
  if (hiUnit_ != loUnit_)
    return hiUnit_ -= kUnitSize;
  if (freeList_[0] != 0)
    return RemoveNode(0);
  return AllocUnitsRare(0);
}

std::uint32_t PpmdModel::ShrinkUnits(std::uint32_t block, std::uint32_t oldUnits,
                                     std::uint32_t newUnits) {
  const unsigned i0 = UnitsToIndex(oldUnits);
  const unsigned i1 = UnitsToIndex(newUnits);
  if (i0 == i1)
    return block;
  if (freeList_[i1] != 0) {
    const std::uint32_t moved = RemoveNode(i1);
    std::memmove(&arena_[moved], &arena_[block], newUnits * kUnitSize);
    InsertNode(block, i0);
    return moved;
  }
  SplitBlock(block, i0, i1);
  return block;
}

// ---------------------------------------------------------------------- model

void PpmdModel::RestartModel() {
  freeList_.fill(0);
  stamps_.fill(0);
  text_ = alignOffset_;
  hiUnit_ = text_ + size_;
  loUnit_ = unitsStart_ = hiUnit_ - size_ / 8 / kUnitSize * 7 * kUnitSize;
  glueCount_ = 0;

  orderFall_ = maxOrder_;
  runLength_ = initRunLength_ = -(maxOrder_ < 12 ? maxOrder_ : 12) - 1;
  prevSuccess_ = 0;

  hiUnit_ -= kUnitSize;
  minContext_ = maxContext_ = hiUnit_;
  SetSuffix(minContext_, 0);
  NumStats(minContext_) = 255;
  Flags(minContext_) = 0;
  SetSummFreq(minContext_, 256 + 1);
  foundState_ = loUnit_;
  SetStats(minContext_, foundState_);
  loUnit_ += 256 / 2 * kUnitSize;
  for (std::uint32_t i = 0; i < 256; ++i) {
    const std::uint32_t s = foundState_ + i * kStateSize;
    Symbol(s) = static_cast<std::uint8_t>(i);
    Freq(s) = 1;
    SetSuccessor(s, 0);
  }

  for (unsigned i = 0, m = 0; m < 25; ++m) {
    while (t_.statsToIndex[i] == m)
      ++i;
    for (unsigned k = 0; k < 8; ++k) {
      const auto value = static_cast<std::uint16_t>(kBinScale - kInitBinEscape[k] / (i + 1));
      for (unsigned r = 0; r < 64; r += 8)
        binSumm_[m][k + r] = value;
    }
  }
  for (unsigned i = 0, m = 0; m < 24; ++m) {
    while (t_.statsToIndex[i + 3] == m + 3)
      ++i;
    for (See& see : see_[m]) {
      see.shift = kPeriodBits - 4;
      see.summ = static_cast<std::uint16_t>((2 * i + 5) << see.shift);
      see.count = 7;
    }
  }
  dummySee_.shift = kPeriodBits;
  dummySee_.summ = 0;
  dummySee_.count = 64;
}

std::uint32_t PpmdModel::FindState(std::uint32_t c, std::uint8_t symbol) {
  if (NumStats(c) == 0) {
    if (Symbol(OneState(c)) == symbol)
      return OneState(c);
  } else {
    const std::uint32_t stats = Stats(c);
    for (std::uint32_t i = 0; i <= NumStats(c); ++i) {
      if (Symbol(stats + i * kStateSize) == symbol)
        return stats + i * kStateSize;
    }
  }
  damaged_ = true;
  return 0;
}

// Halves the counts of the current context once one grows too large, so that
// they stay in range and older statistics weigh less; states that fall to
// zero are dropped (only at the longest order, where counts may reach zero).
void PpmdModel::Rescale() {
  const std::uint32_t stats = Stats(minContext_);
  std::uint32_t s = foundState_;
  // The found state moves to the front.
  if (s != stats) {
    std::uint8_t tmp[kStateSize];
    std::memcpy(tmp, &arena_[s], kStateSize);
    for (; s != stats; s -= kStateSize)
      CopyState(s, s - kStateSize);
    std::memcpy(&arena_[s], tmp, kStateSize);
  }
  std::uint32_t escFreq = SummFreq(minContext_) - Freq(s);
  Freq(s) = static_cast<std::uint8_t>(Freq(s) + 4);
  const unsigned adder = orderFall_ != 0 ? 1 : 0;
  Freq(s) = static_cast<std::uint8_t>((Freq(s) + adder) >> 1);
  std::uint32_t sumFreq = Freq(s);

  unsigned i = NumStats(minContext_);
  do {
    s += kStateSize;
    escFreq -= Freq(s);
    Freq(s) = static_cast<std::uint8_t>((Freq(s) + adder) >> 1);
    sumFreq += Freq(s);
    // Halving may reorder: keep the states sorted, most frequent first.
    if (Freq(s) > Freq(s - kStateSize)) {
      std::uint32_t s1 = s;
      std::uint8_t tmp[kStateSize];
      std::memcpy(tmp, &arena_[s1], kStateSize);
      do {
        CopyState(s1, s1 - kStateSize);
        s1 -= kStateSize;
      } while (s1 != stats && tmp[1] > Freq(s1 - kStateSize));
      std::memcpy(&arena_[s1], tmp, kStateSize);
    }
  } while (--i != 0);

  if (Freq(s) == 0) {
    const unsigned numStats = NumStats(minContext_);
    i = 0;
    do {
      ++i;
      s -= kStateSize;
    } while (Freq(s) == 0);
    escFreq += i;
    NumStats(minContext_) = static_cast<std::uint8_t>(numStats - i);
    // One state left: the context becomes a binary one, its state kept
    // inside the context and its count scaled by what the escapes held.
    if (NumStats(minContext_) == 0) {
      std::uint8_t tmp[kStateSize];
      std::memcpy(tmp, &arena_[stats], kStateSize);
      unsigned freq = (2 * tmp[1] + escFreq - 1) / escFreq;
      if (freq > kMaxFreq / 3)
        freq = kMaxFreq / 3;
      tmp[1] = static_cast<std::uint8_t>(freq);
      InsertNode(stats, UnitsToIndex((numStats + 2) >> 1));
      Flags(minContext_) =
          static_cast<std::uint8_t>((Flags(minContext_) & 0x10) + 0x08 * (tmp[0] >= 0x40));
      foundState_ = OneState(minContext_);
      std::memcpy(&arena_[foundState_], tmp, kStateSize);
      return;
    }
    const std::uint32_t n0 = (numStats + 2) >> 1;
    const std::uint32_t n1 = (NumStats(minContext_) + 2u) >> 1;
    if (n0 != n1)
      SetStats(minContext_, ShrinkUnits(stats, n0, n1));
    Flags(minContext_) = static_cast<std::uint8_t>(Flags(minContext_) & ~0x08);
    const std::uint32_t kept = Stats(minContext_);
    for (unsigned k = 0; k <= NumStats(minContext_); ++k) {
      if (Symbol(kept + k * kStateSize) >= 0x40)
        Flags(minContext_) |= 0x08;
    }
  }
  SetSummFreq(minContext_, sumFreq + escFreq - (escFreq >> 1));
  Flags(minContext_) |= 0x04;
  foundState_ = Stats(minContext_);
}

// Makes the contexts one order up that the found symbol leads to, for every
// shorter context whose state still points into the text at the same place.
// Each new context starts with one state: the symbol that followed there in
// the text, its count guessed from how often it follows in context `c`.
std::uint32_t PpmdModel::CreateSuccessors(bool skip, std::uint32_t s1, std::uint32_t c) {
  const std::uint32_t upBranch = Successor(foundState_);
  const std::uint8_t foundSymbol = Symbol(foundState_);
  std::array<std::uint32_t, 64 + 1> ps{};
  unsigned count = 0;
  if (!skip)
    ps[count++] = foundState_;
  while (Suffix(c) != 0) {
    c = Suffix(c);
    std::uint32_t s;
    if (s1 != 0) {
      s = s1;
      s1 = 0;
    } else if (NumStats(c) != 0) {
      s = FindState(c, foundSymbol);
      if (s == 0)
        return 0;
      if (Freq(s) < kMaxFreq - 9) {
        ++Freq(s);
        SetSummFreq(c, SummFreq(c) + 1);
      }
    } else {
      s = OneState(c);
      Freq(s) =
          static_cast<std::uint8_t>(Freq(s) + (NumStats(Suffix(c)) == 0 && Freq(s) < 24 ? 1 : 0));
    }
    const std::uint32_t successor = Successor(s);
    if (successor != upBranch) {
      c = successor;
      if (count == 0)
        return c;
      break;
    }
    if (count >= ps.size()) {
      damaged_ = true;
      return 0;
    }
    ps[count++] = s;
  }

  std::uint8_t up[kStateSize];
  up[0] = Byte(upBranch);
  std::uint32_t upSuccessor = upBranch + 1;
  std::memcpy(up + 2, &upSuccessor, 4);
  const auto flags =
      static_cast<std::uint8_t>(0x10 * (foundSymbol >= 0x40) + 0x08 * (up[0] >= 0x40));
  if (NumStats(c) == 0) {
    up[1] = Freq(OneState(c));
  } else {
    const std::uint32_t s = FindState(c, up[0]);
    if (s == 0)
      return 0;
    const std::uint32_t cf = Freq(s) - 1u;
    const std::uint32_t s0 = SummFreq(c) - NumStats(c) - cf;
    std::uint32_t freq = 0;
    if (2 * cf <= s0) {
      freq = 5 * cf > s0 ? 1 : 0;
    } else {
      freq = s0 == 0 ? 0 : (cf + 2 * s0 - 3) / s0;
    }
    up[1] = static_cast<std::uint8_t>(1 + freq);
  }
  do {
    const std::uint32_t c1 = AllocContext();
    if (c1 == 0)
      return 0;
    NumStats(c1) = 0;
    Flags(c1) = flags;
    std::memcpy(&arena_[OneState(c1)], up, kStateSize);
    SetSuffix(c1, c);
    SetSuccessor(ps[--count], c1);
    c = c1;
  } while (count != 0);
  return c;
}

// The found state has no successor yet: point it, and the symbol's states in
// the shorter contexts that lack one too, at the text being written, so that
// the longer contexts can be made from the text once the symbol recurs.
std::uint32_t PpmdModel::ReduceOrder(std::uint32_t s1, std::uint32_t c) {
  std::uint32_t s = 0;
  const std::uint32_t c1 = c;
  const std::uint32_t upBranch = text_;
  const std::uint8_t foundSymbol = Symbol(foundState_);
  SetSuccessor(foundState_, upBranch);
  ++orderFall_;
  for (;;) {
    if (s1 != 0) {
      c = Suffix(c);
      s = s1;
      s1 = 0;
    } else {
      if (Suffix(c) == 0)
        return c;
      c = Suffix(c);
      if (NumStats(c) != 0) {
        s = FindState(c, foundSymbol);
        if (s == 0)
          return 0;
        if (Freq(s) < kMaxFreq - 9) {
          Freq(s) = static_cast<std::uint8_t>(Freq(s) + 2);
          SetSummFreq(c, SummFreq(c) + 2);
        }
      } else {
        s = OneState(c);
        if (Freq(s) < 32)
          ++Freq(s);
      }
    }
    if (Successor(s) != 0)
      break;
    SetSuccessor(s, upBranch);
    ++orderFall_;
  }
  if (Successor(s) <= upBranch) {
    const std::uint32_t saved = foundState_;
    foundState_ = s;
    const std::uint32_t successor = CreateSuccessors(false, 0, c);
    SetSuccessor(s, successor);
    foundState_ = saved;
  }
  if (orderFall_ == 1 && c1 == maxContext_) {
    SetSuccessor(foundState_, Successor(s));
    --text_;
  }
  return Successor(s);
}

// Teaches the model the symbol just decoded, exactly as the encoder's model
// learnt it: the shorter context counts it too, the contexts that escaped
// past it gain it as a new state, and the next context is made or found.
// When the arena runs out the model restarts, as the encoder's did.
void PpmdModel::UpdateModel() {
  std::uint32_t fSuccessor = Successor(foundState_);
  const unsigned fFreq = Freq(foundState_);
  const std::uint8_t fSymbol = Symbol(foundState_);
  std::uint32_t s = 0;

  // While the symbol is still rare here, the suffix context counts it too,
  // so that the shorter context keeps up with what the longer ones see.
  if (fFreq < kMaxFreq / 4 && Suffix(minContext_) != 0) {
    const std::uint32_t c = Suffix(minContext_);
    if (NumStats(c) == 0) {
      s = OneState(c);
      if (Freq(s) < 32)
        ++Freq(s);
    } else {
      s = Stats(c);
      if (Symbol(s) != fSymbol) {
        s = FindState(c, fSymbol);
        if (s == 0)
          return;
        if (Freq(s) >= Freq(s - kStateSize)) {
          SwapStates(s, s - kStateSize);
          s -= kStateSize;
        }
      }
      if (Freq(s) < kMaxFreq - 9) {
        Freq(s) = static_cast<std::uint8_t>(Freq(s) + 2);
        SetSummFreq(c, SummFreq(c) + 2);
      }
    }
  }

  // Found at the longest order, its successor still in the text: make the
  // context it leads to. No context escaped past it, so none gains a state.
  if (orderFall_ == 0 && fSuccessor != 0) {
    const std::uint32_t cs = CreateSuccessors(true, s, minContext_);
    if (cs == 0) {
      RestartModel();
      return;
    }
    SetSuccessor(foundState_, cs);
    maxContext_ = cs;
    return;
  }

  // The text grows up towards the units; where they meet, memory is full.
  Byte(text_++) = fSymbol;
  std::uint32_t successor = text_;
  if (text_ >= unitsStart_) {
    RestartModel();
    return;
  }

  if (fSuccessor == 0) {
    const std::uint32_t cs = ReduceOrder(s, minContext_);
    if (cs == 0) {
      RestartModel();
      return;
    }
    fSuccessor = cs;
  } else if (fSuccessor < unitsStart_) {
    const std::uint32_t cs = CreateSuccessors(false, s, minContext_);
    if (cs == 0) {
      RestartModel();
      return;
    }
    fSuccessor = cs;
  }

  // When the next context is of the longest order, the new states lead to
  // it directly rather than into the text.
  if (--orderFall_ == 0) {
    successor = fSuccessor;
    text_ -= (maxContext_ != minContext_) ? 1 : 0;
  }

  // Every context from the longest down to the one that held the symbol
  // escaped past it: each gains a state for it, whose count is guessed from
  // the symbol's share of the context where it was found.
  const unsigned ns = NumStats(minContext_);
  const std::uint32_t s0 = SummFreq(minContext_) - ns - fFreq;
  const auto flag = static_cast<std::uint8_t>(0x08 * (fSymbol >= 0x40));

  for (std::uint32_t c = maxContext_; c != minContext_; c = Suffix(c)) {
    const unsigned ns1 = NumStats(c);
    if (ns1 != 0) {
      if ((ns1 & 1) != 0) {
        // The states fill their units: move to a block one unit larger.
        const std::uint32_t oldUnits = (ns1 + 1) >> 1;
        const unsigned i = UnitsToIndex(oldUnits);
        if (i != UnitsToIndex(oldUnits + 1)) {
          const std::uint32_t block = AllocUnits(i + 1);
          if (block == 0) {
            RestartModel();
            return;
          }
          const std::uint32_t old = Stats(c);
          std::memmove(&arena_[block], &arena_[old], oldUnits * kUnitSize);
          InsertNode(old, i);
          SetStats(c, block);
        }
      }
      SetSummFreq(c, SummFreq(c) + ((3 * ns1 + 1 < ns) ? 1 : 0));
    } else {
      // A binary context gets a list of states in a unit of its own.
      const std::uint32_t block = AllocUnits(0);
      if (block == 0) {
        RestartModel();
        return;
      }
      CopyState(block, OneState(c));
      SetStats(c, block);
      if (Freq(block) < kMaxFreq / 4 - 1) {
        Freq(block) = static_cast<std::uint8_t>(Freq(block) << 1);
      } else {
        Freq(block) = kMaxFreq - 4;
      }
      SetSummFreq(c, Freq(block) + initEsc_ + (ns > 2 ? 1 : 0));
    }
    std::uint32_t cf = 2 * fFreq * (SummFreq(c) + 6);
    const std::uint32_t sf = s0 + SummFreq(c);
    if (cf < 6 * sf) {
      cf = 1 + (cf > sf ? 1 : 0) + (cf >= 4 * sf ? 1 : 0);
      SetSummFreq(c, SummFreq(c) + 4);
    } else {
      cf = 4 + (cf > 9 * sf ? 1 : 0) + (cf > 12 * sf ? 1 : 0) + (cf > 15 * sf ? 1 : 0);
      SetSummFreq(c, SummFreq(c) + cf);
    }
    const std::uint32_t added = Stats(c) + (ns1 + 1) * kStateSize;
    SetSuccessor(added, successor);
    Symbol(added) = fSymbol;
    Freq(added) = static_cast<std::uint8_t>(cf);
    Flags(c) |= flag;
    NumStats(c) = static_cast<std::uint8_t>(ns1 + 1);
  }
  maxContext_ = minContext_ = fSuccessor;
}

// Moves on to the context after the symbol: straight there when it exists
// at the longest order, else through a model update that makes it.
void PpmdModel::NextContext() {
  const std::uint32_t c = Successor(foundState_);
  if (orderFall_ == 0 && c > text_) {
    minContext_ = maxContext_ = c;
  } else {
    UpdateModel();
    minContext_ = maxContext_;
  }
}

// A symbol found further down the list: its count grows, and it moves up
// past a less frequent neighbour, so that frequent symbols are found first.
void PpmdModel::Update1() {
  std::uint32_t s = foundState_;
  Freq(s) = static_cast<std::uint8_t>(Freq(s) + 4);
  SetSummFreq(minContext_, SummFreq(minContext_) + 4);
  if (Freq(s) > Freq(s - kStateSize)) {
    SwapStates(s, s - kStateSize);
    foundState_ = s -= kStateSize;
    if (Freq(s) > kMaxFreq)
      Rescale();
  }
  NextContext();
}

// The most frequent symbol came: a success when it held half the count or
// more, which the binary contexts' estimates take into account.
void PpmdModel::Update1First() {
  prevSuccess_ = 2u * Freq(foundState_) >= SummFreq(minContext_) ? 1 : 0;
  runLength_ += prevSuccess_;
  SetSummFreq(minContext_, SummFreq(minContext_) + 4);
  Freq(foundState_) = static_cast<std::uint8_t>(Freq(foundState_) + 4);
  if (Freq(foundState_) > kMaxFreq)
    Rescale();
  NextContext();
}

// A symbol found after escaping: the run of successes ends.
void PpmdModel::Update2() {
  SetSummFreq(minContext_, SummFreq(minContext_) + 4);
  Freq(foundState_) = static_cast<std::uint8_t>(Freq(foundState_) + 4);
  if (Freq(foundState_) > kMaxFreq)
    Rescale();
  runLength_ = initRunLength_;
  UpdateModel();
  minContext_ = maxContext_;
}

// The symbol of a binary context came: its count grows up to a bound.
void PpmdModel::UpdateBin() {
  Freq(foundState_) = static_cast<std::uint8_t>(Freq(foundState_) + (Freq(foundState_) < 196));
  prevSuccess_ = 1;
  ++runLength_;
  NextContext();
}

See* PpmdModel::MakeEscFreq(unsigned masked, std::uint32_t& escFreq) {
  const unsigned numStats = NumStats(minContext_);
  if (numStats == 0xFF) {
    escFreq = 1;
    return &dummySee_;
  }
  See* see = &see_[t_.statsToIndex[numStats + 2] - 3]
                  [(SummFreq(minContext_) > 11 * (numStats + 1) ? 1 : 0) +
                   2 * (2 * numStats < NumStats(Suffix(minContext_)) + masked ? 1 : 0) +
                   Flags(minContext_)];
  escFreq = see->Mean();
  return see;
}

int PpmdModel::DecodeSymbol(Source& source) {
  if (NumStats(minContext_) != 0) {
    std::uint32_t s = Stats(minContext_);
    const std::uint32_t count = Threshold(SummFreq(minContext_));
    std::uint32_t hiCnt = Freq(s);
    if (damaged_)
      return -2;
    if (count < hiCnt) {
      Consume(source, 0, Freq(s));
      foundState_ = s;
      const int symbol = Symbol(s);
      Update1First();
      return damaged_ ? -2 : symbol;
    }
    prevSuccess_ = 0;
    for (unsigned i = NumStats(minContext_); i != 0; --i) {
      s += kStateSize;
      hiCnt += Freq(s);
      if (hiCnt > count) {
        Consume(source, hiCnt - Freq(s), Freq(s));
        foundState_ = s;
        const int symbol = Symbol(s);
        Update1();
        return damaged_ ? -2 : symbol;
      }
    }
    if (count >= SummFreq(minContext_))
      return -2;
    Consume(source, hiCnt, SummFreq(minContext_) - hiCnt);
    charMask_.fill(0xFF);
    const std::uint32_t stats = Stats(minContext_);
    for (unsigned i = 0; i <= NumStats(minContext_); ++i)
      charMask_[Symbol(stats + i * kStateSize)] = 0;
  } else {
    const std::uint32_t one = OneState(minContext_);
    std::uint16_t& prob = binSumm_[t_.statsToIndex[Freq(one) - 1]]
                                  [t_.statsToBinIndex[NumStats(Suffix(minContext_))] +
                                   prevSuccess_ + Flags(minContext_) + (runLength_ < 0 ? 0x20 : 0)];
    range_ >>= 14;
    if (range_ == 0)
      return -2;
    if (code_ / range_ < prob) {
      Consume(source, 0, prob);
      prob = static_cast<std::uint16_t>(prob + (1 << kIntervalBits) - ((prob + 32) >> 7));
      foundState_ = one;
      const int symbol = Symbol(one);
      UpdateBin();
      return damaged_ ? -2 : symbol;
    }
    Consume(source, prob, kBinScale - prob);
    prob = static_cast<std::uint16_t>(prob - ((prob + 32) >> 7));
    initEsc_ = kExpEscape[prob >> 10];
    charMask_.fill(0xFF);
    charMask_[Symbol(one)] = 0;
    prevSuccess_ = 0;
  }
  for (;;) {
    if (damaged_)
      return -2;
    const unsigned masked = NumStats(minContext_);
    do {
      ++orderFall_;
      if (Suffix(minContext_) == 0)
        return -1;
      minContext_ = Suffix(minContext_);
    } while (NumStats(minContext_) == masked);
    if (NumStats(minContext_) < masked)
      return -2;

    std::array<std::uint32_t, 256> ps;
    std::uint32_t hiCnt = 0;
    std::uint32_t s = Stats(minContext_);
    const unsigned unmasked = NumStats(minContext_) - masked;
    unsigned found = 0;
    for (unsigned i = 0; i <= NumStats(minContext_) && found < unmasked; ++i, s += kStateSize) {
      if (charMask_[Symbol(s)] != 0) {
        hiCnt += Freq(s);
        ps[found++] = s;
      }
    }
    if (found != unmasked)
      return -2;
    std::uint32_t freqSum = 0;
    See* see = MakeEscFreq(masked, freqSum);
    freqSum += hiCnt;
    const std::uint32_t count = Threshold(freqSum);
    if (damaged_)
      return -2;
    if (count < hiCnt) {
      unsigned k = 0;
      hiCnt = 0;
      while ((hiCnt += Freq(ps[k])) <= count)
        ++k;
      s = ps[k];
      Consume(source, hiCnt - Freq(s), Freq(s));
      see->Update();
      foundState_ = s;
      const int symbol = Symbol(s);
      Update2();
      return damaged_ ? -2 : symbol;
    }
    if (count >= freqSum)
      return -2;
    Consume(source, hiCnt, freqSum - hiCnt);
    see->summ = static_cast<std::uint16_t>(see->summ + freqSum);
    for (unsigned k = 0; k < found; ++k)
      charMask_[Symbol(ps[k])] = 0;
  }
}

// ------------------------------------------------------------------- decoder

// Bytes one symbol may need at most: a range decoder step per order plus
// one, each reading at most four bytes.
constexpr std::size_t kSymbolLookahead = 4 * (16 + 2);

enum class Mode {
  Parameters,  // the two bytes of order, memory size and restoration method
  RangeStart,  // the range decoder's first four bytes
  Symbols,     // one decoded byte per symbol
  Done,        // the uncompressed size is reached
};

class PpmdDecoder final : public SizedDecoder<Mode> {
 public:
  explicit PpmdDecoder(const DecoderParams& params) : SizedDecoder(params, Mode::Parameters) {}

  DecodeResult Decode(std::span<const std::uint8_t> input, bool inputEnd,
                      std::span<std::uint8_t> output) override;

 private:
  std::uint64_t written_ = 0;
  std::unique_ptr<PpmdModel> model_;
  // Input waits here until a whole symbol's worth is at hand.
  std::array<std::uint8_t, 2 * kSymbolLookahead> buffer_{};
  std::size_t buffered_ = 0;
  std::uint64_t offset_ = 0;  // stream offset of buffer_[0]
};

DecodeResult PpmdDecoder::Decode(std::span<const std::uint8_t> input, bool inputEnd,
                                 std::span<std::uint8_t> output) {
  Cursor cursor{input, output};
  for (;;) {
    if (mode_ == Mode::Done)
      return {cursor.consumed, cursor.produced, DecodeStatus::Done};
    const std::size_t take = std::min(buffer_.size() - buffered_, cursor.InputLeft());
    // An empty span may have no storage at all.
    if (take > 0)
      std::memcpy(buffer_.data() + buffered_, input.data() + cursor.consumed, take);
    buffered_ += take;
    cursor.consumed += take;
    const std::size_t need = mode_ == Mode::Parameters   ? 2
                             : mode_ == Mode::RangeStart ? 4
                                                         : kSymbolLookahead;
    if (buffered_ < need && !inputEnd)
      return {cursor.consumed, cursor.produced, DecodeStatus::Ok};
    if (mode_ == Mode::Symbols && cursor.Room() == 0) {
      return {cursor.consumed, cursor.produced, DecodeStatus::Ok};
    }
    PpmdModel::Source source{buffer_.data(), buffered_};
    switch (mode_) {
      case Mode::Parameters: {
        if (buffered_ < 2)
          return Fail(AtOffset("PPMd data ends early", offset_ + buffered_));
        const unsigned parameters = buffer_[0] | buffer_[1] << 8;
        const int order = static_cast<int>(parameters & 0x0F) + 1;
        const std::uint32_t megabytes = ((parameters >> 4) & 0xFF) + 1;
        const unsigned restoration = parameters >> 12;
        if (order < 2 || restoration > 1)
          return Fail(AtOffset("Invalid PPMd parameters", 0));
        if (restoration != 0) {
          return Fail(AtOffset("Unsupported PPMd restoration method", 1));
        }
        model_ = std::make_unique<PpmdModel>(order, megabytes << 20);
        source.position = 2;
        mode_ = Mode::RangeStart;
        break;
      }
      case Mode::RangeStart:
        model_->StartRangeDecoder(source);
        mode_ = Mode::Symbols;
        break;
      case Mode::Symbols: {
        const int symbol = model_->DecodeSymbol(source);
        if (symbol < 0) {
          return Fail(
              AtOffset(symbol == -1 ? "PPMd data ends before the entry's end" : "Invalid PPMd data",
                       offset_ + source.position));
        }
        cursor.output[cursor.produced++] = static_cast<std::uint8_t>(symbol);
        if (++written_ == size_)
          mode_ = Mode::Done;
        break;
      }
      case Mode::Done:
        break;
    }
    // Four bytes past the end are the range decoder's look-ahead; more means
    // the stream was cut short.
    if (source.overrun > 4) {
      return Fail(AtOffset("PPMd data ends early", offset_ + buffered_));
    }
    std::memmove(buffer_.data(), buffer_.data() + source.position, buffered_ - source.position);
    buffered_ -= source.position;
    offset_ += source.position;
  }
}

}  // namespace

std::unique_ptr<Decoder> MakePpmdDecoder(const DecoderParams& params) {
  return std::make_unique<PpmdDecoder>(params);
}

}  // namespace zephora::zip
