// A folder of 100,000 pictures (hard links to four small ones, so it costs
// no disk): listed whole, its last slide reachable with the scroll bar, and
// the memory of scrolling through it bounded by what is in view.
#include <unistd.h>

#include <cstdio>

#include "support/BrowserTest.h"

using namespace jpegmaker;
using namespace browsertest;

namespace {

constexpr int kCount = 100000;
const Rgb kColours[4] = {kRed, kGreen, kBlue, kYellow};

class HugeFolderTest : public BrowserTest {
 protected:
  // p000000.jpg .. : picture i has colour i % 4. A file takes at most 65000
  // links on common file systems, hence four originals; where the file
  // system takes none, copies do.
  std::string MakeHugeFolder() {
    std::string originals[4];
    Bytes pictures[4];
    for (int c = 0; c < 4; ++c) {
      originals[c] = WritePicture("src/" + std::to_string(c), kColours[c]);
      pictures[c] = ReadFile(originals[c]);
    }
    const std::string folder = Dir.AddDir("huge");
    char name[32];
    for (int i = 0; i < kCount; ++i) {
      std::snprintf(name, sizeof name, "/p%06d.jpg", i);
      if (link(originals[i % 4].c_str(), (folder + name).c_str()) != 0) WriteFile(folder + name, pictures[i % 4]);
    }
    return folder;
  }

  // The colour of the picture of slide k, from its file's name.
  Rgb ColourOfSlide(int k) const {
    const std::string name = ExtractFileName((*Window->FileList())[k - 1]);
    return kColours[std::stoi(name.substr(1, 6)) % 4];
  }

  void ScrollTo(int position) {
    Requested.clear();
    Window->SBarThumbs->setValue(position);
  }

  std::vector<int> Requested;
};

TEST_F(HugeFolderTest, EveryPictureIsListedTheLastIsReachableAndScrollingCostsNoMoreMemory) {
  const std::string folder = MakeHugeFolder();
  Open();
  const std::size_t heapBeforeListing = LiveHeapBytes();
  ASSERT_TRUE(Choose(folder));
  const TStringList& list = *Window->FileList();
  ASSERT_EQ(list.Count(), kCount);
  // Names of 41 bytes or so, held once each.
  EXPECT_LT(LiveHeapBytes(), heapBeforeListing + std::size_t(kCount) * 256);
  EXPECT_EQ(Window->Thumbs1->Max(), kCount);
  EXPECT_EQ(Window->SBarThumbs->maximum(), kCount);
  EXPECT_TRUE(Window->Thumbs1->Visible());
  const TImageRequestEvent answer = Window->Thumbs1->OnImageRequest;
  Window->Thumbs1->OnImageRequest = [&](TObject* sender, int id, auto& how, int& mark, TBitmap*& buffer) {
    Requested.push_back(id);
    answer(sender, id, how, mark, buffer);
  };

  // The bar's last position puts the row of the last slide at the top, half
  // of it scrolled away, as the last slide is the second of its row.
  ScrollTo(kCount);
  EXPECT_DOUBLE_EQ(Window->Thumbs1->ScrollPosition(), kCount - 0.5);
  EXPECT_EQ(Requested, (std::vector<int>{kCount - 1, kCount}));
  // Slide 100000's box begins 68 rows above the grid (origin y 12 - 68), its
  // picture 22 rows lower: grid row 30 is inside it, below the top band.
  const QPoint lastSlide(77 + 136, 30);
  EXPECT_TRUE(Near(GridPixel(lastSlide), ColourOfSlide(kCount)));
  Click(Window->Thumbs1Host, lastSlide);
  EXPECT_TRUE(Window->Thumbs1->Selection().Bit(kCount - 1));
  EXPECT_TRUE(Near(RgbAt(LargeView(), 310, 294), ColourOfSlide(kCount)));

  ScrollTo(0);
  EXPECT_DOUBLE_EQ(Window->Thumbs1->ScrollPosition(), 1.0);
  EXPECT_EQ(Requested, (std::vector<int>{1, 3, 5, 7, 2, 4, 6, 8}));
  EXPECT_TRUE(Near(GridPixel(InsideSlide(1)), ColourOfSlide(1)));

  // Across the whole range and back: what a paint holds is freed with it.
  for (int i = 0; i < 40; ++i) ScrollTo(1 + i * 2459);
  const std::size_t heapScrolling = LiveHeapBytes();
  for (int i = 0; i < 400; ++i) ScrollTo(i % 2 ? kCount - i * 241 : 1 + i * 249);
  EXPECT_LT(LiveHeapBytes(), heapScrolling + (2u << 20));
  EXPECT_TRUE(Errors.empty()) << Errors.front();
}

}  // namespace
