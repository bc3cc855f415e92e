// Assignment between classes that cannot copy each other: the toolkit's
// assignment error, naming the source ("nil" for none) and the destination,
// for every class of the library and the bitmap, both ways round.
#include <gtest/gtest.h>

#include <tuple>

#include "lib/Tesk_Thumbnails.h"
#include "lib/Tesk_dstruct.h"
#include "toolkit/SysUtils.h"

namespace {

TEST(Assign, BetweenUnrelatedClassesRaisesTheAssignmentErrorAndChangesNothing) {
  TThumbnails grid(nullptr);
  TBitFld bits(nullptr);
  TBitmap bitmap(3, 2);
  TStringList list;
  const std::tuple<TPersistent*, const TPersistent*, const char*> cases[] = {
      {&grid, &bits, "Cannot assign a TBitFld to a TThumbnails"},
      {&bits, &grid, "Cannot assign a TThumbnails to a TBitFld"},
      {&grid, nullptr, "Cannot assign a nil to a TThumbnails"},
      {&bits, &list, "Cannot assign a TStringList to a TBitFld"},
      {&list, &bits, "Cannot assign a TBitFld to a TStringList"},
      {&bits, nullptr, "Cannot assign a nil to a TBitFld"},
      {&bitmap, &list, "Cannot assign a TStringList to a TBitmap"},
  };
  for (const auto& [dest, source, message] : cases) {
    try {
      dest->Assign(source);
      ADD_FAILURE() << "no error: " << message;
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message, message);
    }
  }
  EXPECT_EQ(bits.Size(), 1000);
  EXPECT_EQ(grid.Max(), 100);
  EXPECT_EQ(bitmap.Width(), 3);
}

}  // namespace
