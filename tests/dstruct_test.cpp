// The selection store: a resizable array of bits with valid indexes 0..Size.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "lib/Tesk_dstruct.h"

// Allocation failure on demand: the next allocation of exactly this many
// bytes throws, as the heap would when exhausted.
namespace {
std::size_t FailNextAllocationOf = 0;
}

// The replaced allocator pairs malloc with free by design.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t n) {
  if (n != 0 && n == FailNextAllocationOf) {
    FailNextAllocationOf = 0;
    throw std::bad_alloc();
  }
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

int CountSetBits(const TBitFld& b) {
  int n = 0;
  for (int i = 0; i <= b.Size(); ++i) n += b.Bit(i) ? 1 : 0;
  return n;
}

TEST(BitFld, FreshStoreHoldsBitsZeroTo1000AllClear) {
  TBitFld b(nullptr);
  EXPECT_EQ(b.Size(), 1000);
  EXPECT_EQ(b.ByteCount(), 127);
  EXPECT_EQ(CountSetBits(b), 0);
  EXPECT_FALSE(b.Bit(1000));
  b.SetBit(1000, true);
  EXPECT_TRUE(b.Bit(1000));
  EXPECT_EQ(b.ClassName(), "TBitFld");
}

TEST(BitFld, IndexesOutsideZeroToSizeAreIgnored) {
  TBitFld b(nullptr);
  b.SetBit(1001, true);  // byte 125 exists, but the bit is out of range
  b.SetBit(-1, true);
  b.ToggleBit(1001);
  b.ToggleBit(-8);
  EXPECT_FALSE(b.Bit(1001));
  EXPECT_FALSE(b.Bit(-1));
  EXPECT_FALSE(b.Bit(1 << 30));
  EXPECT_EQ(CountSetBits(b), 0);
  b.SetSize(1007);  // the spare bits of byte 125 come into range: still clear
  EXPECT_EQ(CountSetBits(b), 0);
}

TEST(BitFld, SetClearToggleAndClearAll) {
  TBitFld b(nullptr);
  b.SetBit(0, true);
  b.SetBit(7, true);
  b.SetBit(8, true);
  b.ToggleBit(9);
  b.ToggleBit(8);
  b.SetBit(7, false);
  EXPECT_TRUE(b.Bit(0));
  EXPECT_FALSE(b.Bit(7));
  EXPECT_FALSE(b.Bit(8));
  EXPECT_TRUE(b.Bit(9));
  EXPECT_EQ(CountSetBits(b), 2);
  b.Clear();
  EXPECT_EQ(CountSetBits(b), 0);
}

TEST(BitFld, SizeZeroHasTwoBytesAndOneValidIndex) {
  TBitFld b(nullptr);
  b.SetSize(0);
  EXPECT_EQ(b.Size(), 0);
  EXPECT_EQ(b.ByteCount(), 2);
  b.SetBit(0, true);
  b.SetBit(1, true);
  EXPECT_TRUE(b.Bit(0));
  EXPECT_FALSE(b.Bit(1));
}

TEST(BitFld, NegativeOrUnchangedSizeIsIgnored) {
  TBitFld b(nullptr);
  b.SetBit(500, true);
  b.SetSize(-5);
  EXPECT_EQ(b.Size(), 1000);
  EXPECT_EQ(b.ByteCount(), 127);
  b.SetSize(1000);
  EXPECT_EQ(b.ByteCount(), 127);
  EXPECT_TRUE(b.Bit(500));
}

TEST(BitFld, ShrinkKeepsSpareBitsThatReturnWhenGrowing) {
  TBitFld b(nullptr);
  b.SetBit(15, true);
  b.SetSize(10);
  EXPECT_EQ(b.ByteCount(), 3);
  EXPECT_FALSE(b.Bit(15));
  b.SetSize(20);
  EXPECT_TRUE(b.Bit(15));
}

TEST(BitFld, GrowKeepsBitsAndAddsClearBytes) {
  TBitFld b(nullptr);
  b.SetBit(999, true);
  b.SetSize(5000);
  EXPECT_EQ(b.ByteCount(), 5000 / 8 + 2);
  EXPECT_TRUE(b.Bit(999));
  EXPECT_EQ(CountSetBits(b), 1);
  b.SetSize(40);
  EXPECT_EQ(b.ByteCount(), 7);
}

TEST(BitFld, ClearAlsoClearsBitsBeyondSize) {
  TBitFld b(nullptr);
  b.SetBit(15, true);
  b.SetSize(10);
  b.Clear();
  b.SetSize(20);
  EXPECT_FALSE(b.Bit(15));
}

TEST(BitFld, AssignCopiesSizeAndEveryByteSpareBitsIncluded) {
  TBitFld source(nullptr);
  source.SetBit(3, true);
  source.SetBit(15, true);
  source.SetSize(10);  // bit 15 now rides in a spare bit
  TBitFld dest(nullptr);
  dest.SetBit(700, true);
  dest.Assign(&source);
  EXPECT_EQ(dest.Size(), 10);
  EXPECT_EQ(dest.ByteCount(), 3);
  EXPECT_TRUE(dest.Bit(3));
  dest.SetSize(20);
  EXPECT_TRUE(dest.Bit(15));
  EXPECT_EQ(CountSetBits(dest), 2);
}

TEST(BitFld, OutOfMemoryInConstructorNamesTheComponent) {
  FailNextAllocationOf = 127;
  try {
    TBitFld b(nullptr, "Selection1");
    FAIL() << "no error";
  } catch (const ETeskDStructError& e) {
    EXPECT_EQ(e.Message, "Component \"Selection1\": not enough memory on heap");
  }
  FailNextAllocationOf = 127;
  try {
    TBitFld b(nullptr);
    FAIL() << "no error";
  } catch (const ETeskError& e) {  // the library's root catches it too
    EXPECT_STREQ(e.what(), "Component \"\": not enough memory on heap");
  }
}

TEST(BitFld, FreedWithItsOwner) {
  auto* owner = new TComponent(nullptr);
  auto* b = new TBitFld(owner, "Sel");
  EXPECT_EQ(owner->ComponentCount(), 1);
  EXPECT_EQ(b->Owner(), owner);
  delete owner;  // the sanitizer build reports a leak or double free here
}

}  // namespace
