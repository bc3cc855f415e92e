// The selection store: a resizable array of bits with valid indexes 0..Size.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>

#include "lib/Tesk_dstruct.h"

// Allocation failure on demand: the next allocation of exactly this many
// bytes throws, as the heap would when exhausted.
static std::size_t FailNextAllocationOf = 0;

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

// Indexes outside 0..Size are ignored, also where their byte exists; Clear
// clears the spare bits of a kept byte too.
TEST(BitFld, FreshStoreHoldsBitsZeroTo1000AllClearSetClearAndToggle) {
  TBitFld b(nullptr);
  EXPECT_EQ(b.Size(), 1000);
  EXPECT_EQ(b.ByteCount(), 127);
  EXPECT_EQ(b.ClassName(), "TBitFld");
  b.SetBit(1001, true);  // byte 125 exists, but the bit is out of range
  b.SetBit(-1, true);
  b.ToggleBit(1001);
  b.ToggleBit(-8);
  EXPECT_FALSE(b.Bit(1001) || b.Bit(-1) || b.Bit(1 << 30));
  b.SetSize(1007);  // the spare bits of byte 125 come into range: still clear
  EXPECT_EQ(CountSetBits(b), 0);
  for (int i : {0, 7, 8, 1000}) b.SetBit(i, true);
  b.ToggleBit(9);
  b.ToggleBit(8);
  b.SetBit(7, false);
  EXPECT_TRUE(b.Bit(0) && b.Bit(9) && b.Bit(1000));
  EXPECT_EQ(CountSetBits(b), 3);
  b.SetBit(15, true);
  b.SetSize(10);  // 15 now a spare bit of a kept byte
  b.Clear();
  b.SetSize(20);
  EXPECT_EQ(CountSetBits(b), 0);
}

// The store is always Size div 8 + 2 bytes; a negative or unchanged size is
// ignored. Shrinking keeps the bytes that remain with their spare bits, which
// come back when the store grows again; dropped bytes come back clear.
TEST(BitFld, SetSizeKeepsSizeDiv8Plus2BytesAndTheirBits) {
  struct Case {
    int size, wantSize, wantBytes;
  };
  const Case cases[] = {{0, 0, 2},   {-5, 1000, 127}, {1000, 1000, 127}, {10, 10, 3},
                        {40, 40, 7}, {983, 983, 124}, {5000, 5000, 627}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    TBitFld b(nullptr);
    b.SetBit(15, true);
    b.SetBit(999, true);  // byte 124
    b.SetSize(c.size);
    EXPECT_EQ(b.Size(), c.wantSize);
    EXPECT_EQ(b.ByteCount(), c.wantBytes);
    EXPECT_EQ(b.Bit(15), c.wantSize >= 15);
    b.SetBit(c.wantSize + 1, true);  // out of range: ignored
    EXPECT_FALSE(b.Bit(c.wantSize + 1));
    b.SetSize(1000);
    EXPECT_TRUE(b.Bit(15));
    EXPECT_EQ(b.Bit(999), c.wantBytes > 124);
    EXPECT_EQ(CountSetBits(b), c.wantBytes > 124 ? 2 : 1);
  }
}

// The copy is byte for byte; a store is freed with its owner.
TEST(BitFld, AssignCopiesSizeAndEveryByteSpareBitsIncluded) {
  TBitFld source(nullptr);
  source.SetBit(3, true);
  source.SetBit(15, true);
  source.SetSize(10);  // bit 15 now rides in a spare bit
  auto* owner = new TComponent(nullptr);
  auto* dest = new TBitFld(owner, "Sel");
  EXPECT_EQ(owner->ComponentCount(), 1);
  EXPECT_EQ(dest->Owner(), owner);
  dest->SetBit(700, true);
  dest->Assign(&source);
  EXPECT_EQ(dest->Size(), 10);
  EXPECT_EQ(dest->ByteCount(), 3);
  EXPECT_TRUE(dest->Bit(3));
  dest->SetSize(20);
  EXPECT_TRUE(dest->Bit(15));
  EXPECT_EQ(CountSetBits(*dest), 2);
  delete owner;  // the sanitizer build reports a leak or double free here
}

// The store's error, which the library's root catches too.
TEST(BitFld, OutOfMemoryInConstructorNamesTheComponent) {
  for (const std::string name : {"Selection1", ""}) {
    FailNextAllocationOf = 127;
    try {
      TBitFld b(nullptr, name);
      ADD_FAILURE() << "no error";
    } catch (const ETeskError& e) {
      EXPECT_TRUE(dynamic_cast<const ETeskDStructError*>(&e));
      EXPECT_EQ(e.Message, "Component \"" + name + "\": not enough memory on heap");
    }
  }
}

}  // namespace
