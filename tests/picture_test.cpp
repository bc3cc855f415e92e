// The picture holder: choosing the picture class by extension, keeping the
// previous picture after a failed load, and opening files safely.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <jpeglib.h>
#include <jerror.h>

#include "picture_test_helpers.h"
#include "support/JpegMaker.h"
#include "tools/TempDir.h"
#include "toolkit/Image.h"
#include "toolkit/Jpeg.h"
#include "toolkit/Pictures.h"

using namespace jpegmaker;

namespace {

// A picture class of the test's own that only notes which class was chosen.
class TNotedGraphic : public TGraphic {
 public:
  explicit TNotedGraphic(int width) : FWidth(width) {}
  int Width() const override { return FWidth; }
  int Height() const override { return 1; }
  void LoadFromFile(const std::string&) override {}
  void Draw(TCanvas&, int, int) override {}

 private:
  int FWidth;
};

class PictureTest : public testing::Test {
 protected:
  void SetUp() override { RegisterJpegFormat(); }
  std::string GoodJpeg(const std::string& name, int width = 40, int height = 30) {
    WriteFile(Dir / name, MakeJpeg({.Width = width, .Height = height}, Flat({10, 120, 240, 0})));
    return Dir / name;
  }
  TempDir Dir;
};

// JPEG is registered for .jpeg, then .jpg; extensions match without regard
// to case, and the newest registration of one wins.
TEST_F(PictureTest, FormatsAreChosenByExtensionTheNewestFirst) {
  std::vector<std::string> extensions;
  for (const TFileFormat& f : TPicture::FileFormats()) {
    if (f.Description == "JPEG Image File") extensions.push_back(f.Extension);
  }
  EXPECT_EQ(extensions, (std::vector<std::string>{"jpeg", "jpg"}));
  for (int width : {1, 2}) {
    TPicture::RegisterFileFormat(width == 1 ? "tst" : "TST", width == 1 ? "Older" : "Newer", [width] {
      return std::unique_ptr<TGraphic>(std::make_unique<TNotedGraphic>(width));
    });
  }
  TPicture picture;
  picture.LoadFromFile("/nowhere/picture.tSt");
  EXPECT_EQ(picture.Width(), 2);
}

// Files of either extension in any case load as JPEG pictures, each a change
// reported by the image that holds the picture. Refusals come before any
// decoding: the extension, then the file as it is opened (the path
// expanded, its kind or size named), then its data; each keeps the picture
// loaded before and reports no change.
TEST_F(PictureTest, LoadsReplaceThePictureAndRefusalsKeepIt) {
  TImage image(nullptr);
  int changes = 0;
  image.OnChange = [&](TObject* sender) {
    EXPECT_EQ(sender, &image);
    ++changes;
  };
  TPicture& picture = image.Picture();
  TBitmap bitmap(5, 5);
  bitmap.Assign(&picture);
  EXPECT_TRUE(bitmap.Empty());
  const char* names[] = {"a.jpg", "b.JPG", "c.jpeg", "d.Jpeg"};
  for (int i = 0; i < 4; ++i) {
    picture.LoadFromFile(GoodJpeg(names[i], 40 + i, 30));
    EXPECT_EQ(picture.Graphic()->ClassName(), "TJPEGImage") << names[i];
    EXPECT_EQ(picture.Width(), 40 + i);
    EXPECT_EQ(picture.Height(), 30);
  }
  bitmap.Assign(&picture);
  EXPECT_EQ(bitmap.Width(), 43);
  EXPECT_EQ(bitmap.Height(), 30);

  const std::string fifo = Dir / "pipe.jpg";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string folder = Dir.AddDir("folder.jpg");
  ASSERT_EQ(chmod(folder.c_str(), 0), 0);  // its kind names it, whatever its permission bits
  const std::string device = Dir.AddSymlink("zero.jpg", "/dev/zero");
  const std::string big = Dir.AddFile("big.jpg");
  ASSERT_EQ(truncate(big.c_str(), off_t(MaxPictureFileSize) + 1), 0);  // sparse: costs no disk
  const std::string text = Dir.AddFile("text.jpg", "This is not a picture at all.\n");
  // A system file says 4096 bytes and holds a few: the read ends where the data does.
  const std::string shrunk = Dir.AddSymlink("online.jpg", "/sys/devices/system/cpu/online");
  const std::string expanded = (std::filesystem::current_path() / "no-such-file.jpg").string();
  auto open = [](const std::string& f, const std::string& cause) {
    return "Cannot open file \"" + f + "\". " + cause;
  };
  const struct {
    std::string Path, Message;
    bool OpenError;
  } cases[] = {
      {Dir / "scan.PNG", "Unknown picture file extension (.PNG)", false},
      {Dir / "noextension", "Unknown picture file extension (.)", false},
      {"no-such-folder/../no-such-file.jpg", open(expanded, std::strerror(ENOENT)), true},
      {fifo, open(fifo, "It is a named pipe, not a file"), true},  // never blocks
      {folder, open(folder, "It is a folder, not a file"), true},
      {device, open(device, "It is a device, not a file"), true},
      {big, open(big, "The file is larger than 512 MiB"), true},  // unread
      {text, JpegError(JERR_NO_SOI), false},
      {shrunk, JpegError(JERR_NO_SOI), false},
  };
  TGraphic* const before = picture.Graphic();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Path);
    try {
      picture.LoadFromFile(c.Path);
      ADD_FAILURE() << "no error";
    } catch (const EFOpenError& e) {
      EXPECT_TRUE(c.OpenError);
      EXPECT_EQ(e.Message, c.Message);
    } catch (const EInvalidGraphic& e) {
      EXPECT_FALSE(c.OpenError);
      EXPECT_EQ(e.Message, c.Message);
    }
    EXPECT_EQ(picture.Graphic(), before);
    EXPECT_EQ(picture.Width(), 43);
  }
  EXPECT_EQ(changes, 4);
  chmod(folder.c_str(), 0700);
}

std::string gResolvedTo;
std::string ResolveToTestFile(const std::string&) { return gResolvedTo; }

TEST_F(PictureTest, FilesAreOpenedThroughTheInstalledPathResolver) {
  gResolvedTo = GoodJpeg("real.jpg", 24, 12);
  SetPathResolver(ResolveToTestFile);
  TPicture picture;
  EXPECT_NO_THROW(picture.LoadFromFile("/LISTED/AS/THIS.jpg"));
  gResolvedTo = Dir / "gone.jpg";
  const std::string message = ErrorOf([&] { picture.LoadFromFile("/LISTED/AS/OTHER.jpg"); });
  SetPathResolver(nullptr);
  EXPECT_EQ(picture.Width(), 24);
  // The error names the file really opened.
  EXPECT_EQ(message, "Cannot open file \"" + Dir / "gone.jpg" + "\". " + std::string(std::strerror(ENOENT)));
}

}  // namespace
