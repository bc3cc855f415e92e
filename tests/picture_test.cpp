// The picture holder: choosing the picture class by extension, keeping the
// previous picture after a failed load, and opening files safely.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

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

TGraphicFactory NotedFactory(int width) {
  return [width] { return std::unique_ptr<TGraphic>(std::make_unique<TNotedGraphic>(width)); };
}

std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.Message;
  }
  return "(no error)";
}

class PictureTest : public testing::Test {
 protected:
  void SetUp() override { RegisterJpegFormat(); }
  std::string GoodJpeg(const std::string& name, int width = 40, int height = 30) {
    Options o;
    o.Width = width;
    o.Height = height;
    WriteFile(Dir / name, MakeJpeg(o, Flat({10, 120, 240, 0})));
    return Dir / name;
  }
  TempDir Dir;
};

TEST_F(PictureTest, JpegFormatIsRegisteredForJpegThenJpg) {
  std::vector<std::string> extensions;
  for (const TFileFormat& f : TPicture::FileFormats()) {
    if (f.Description == "JPEG Image File") extensions.push_back(f.Extension);
  }
  EXPECT_EQ(extensions, (std::vector<std::string>{"jpeg", "jpg"}));
}

TEST_F(PictureTest, ExtensionsMatchWithoutRegardToCaseAndTheNewestRegistrationWins) {
  TPicture::RegisterFileFormat("tst", "Older", NotedFactory(1));
  TPicture::RegisterFileFormat("TST", "Newer", NotedFactory(2));
  TPicture picture;
  picture.LoadFromFile("/nowhere/picture.tSt");
  EXPECT_EQ(picture.Width(), 2);
}

TEST_F(PictureTest, JpgAndJpegFilesOfAnyCaseLoadAsJpegPictures) {
  for (const char* name : {"a.jpg", "b.JPG", "c.jpeg", "d.Jpeg"}) {
    TPicture picture;
    picture.LoadFromFile(GoodJpeg(name));
    EXPECT_EQ(picture.Graphic()->ClassName(), "TJPEGImage") << name;
    EXPECT_EQ(picture.Width(), 40);
    EXPECT_EQ(picture.Height(), 30);
  }
}

// Refusals before any decoding: the extension, then the file as it is opened
// (the path expanded, its kind or size named).
TEST_F(PictureTest, LoadErrorsNameTheExtensionOrTheFileAndItsCause) {
  const std::string fifo = Dir / "pipe.jpg";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string folder = Dir.AddDir("folder.jpg");
  const std::string device = Dir.AddSymlink("zero.jpg", "/dev/zero");
  const std::string big = Dir.AddFile("big.jpg");
  ASSERT_EQ(truncate(big.c_str(), off_t(MaxPictureFileSize) + 1), 0);  // sparse: costs no disk
  const std::string expanded = (std::filesystem::current_path() / "no-such-file.jpg").string();
  auto open = [](const std::string& f, const std::string& cause) {
    return "Cannot open file \"" + f + "\". " + cause;
  };
  struct Case {
    std::string path, message;
    bool openError;
  };
  const Case cases[] = {
      {Dir / "scan.PNG", "Unknown picture file extension (.PNG)", false},
      {Dir / "noextension", "Unknown picture file extension (.)", false},
      {"no-such-folder/../no-such-file.jpg", open(expanded, std::strerror(ENOENT)), true},
      {fifo, open(fifo, "It is a named pipe, not a file"), true},  // never blocks
      {folder, open(folder, "It is a folder, not a file"), true},
      {device, open(device, "It is a device, not a file"), true},
      {big, open(big, "The file is larger than 512 MiB"), true},  // unread
  };
  for (const Case& c : cases) {
    TPicture picture;
    try {
      picture.LoadFromFile(c.path);
      ADD_FAILURE() << "no error for " << c.path;
    } catch (const EFOpenError& e) {
      EXPECT_TRUE(c.openError) << c.path;
      EXPECT_EQ(e.Message, c.message);
    } catch (const EInvalidGraphic& e) {
      EXPECT_FALSE(c.openError) << c.path;
      EXPECT_EQ(e.Message, c.message);
    }
  }
}

TEST_F(PictureTest, FailedLoadsKeepThePreviousPicture) {
  TPicture picture;
  int changes = 0;
  picture.OnChange = [&](TObject*) { ++changes; };
  picture.LoadFromFile(GoodJpeg("good.jpg", 40, 30));
  TGraphic* const before = picture.Graphic();
  const std::string notJpeg = Dir.AddFile("text.jpg", "This is not a picture at all.\n");
  EXPECT_THROW(picture.LoadFromFile(notJpeg), EInvalidGraphic);
  EXPECT_THROW(picture.LoadFromFile(Dir / "missing.jpg"), EFOpenError);
  EXPECT_THROW(picture.LoadFromFile(Dir / "x.gif"), EInvalidGraphic);
  EXPECT_EQ(picture.Graphic(), before);
  EXPECT_EQ(picture.Width(), 40);
  EXPECT_EQ(changes, 1);
}

TEST_F(PictureTest, AssigningThePictureToABitmapGivesItsPixels) {
  TPicture picture;
  TBitmap bitmap(5, 5);
  bitmap.Assign(&picture);
  EXPECT_TRUE(bitmap.Empty());
  picture.LoadFromFile(GoodJpeg("good.jpg", 40, 30));
  bitmap.Assign(&picture);
  EXPECT_EQ(bitmap.Width(), 40);
  EXPECT_EQ(bitmap.Height(), 30);
}

std::string gResolvedTo;
std::string ResolveToTestFile(const std::string&) { return gResolvedTo; }

TEST_F(PictureTest, FilesAreOpenedThroughTheInstalledPathResolver) {
  gResolvedTo = GoodJpeg("real.jpg", 24, 12);
  SetPathResolver(ResolveToTestFile);
  TPicture picture;
  EXPECT_NO_THROW(picture.LoadFromFile("/LISTED/AS/THIS.jpg"));
  gResolvedTo = Dir / "gone.jpg";
  const std::string message = MessageOf([&] { picture.LoadFromFile("/LISTED/AS/OTHER.jpg"); });
  SetPathResolver(nullptr);
  EXPECT_EQ(picture.Width(), 24);
  // The error names the file really opened.
  EXPECT_EQ(message, "Cannot open file \"" + Dir / "gone.jpg" + "\". " + std::string(std::strerror(ENOENT)));
}

TEST_F(PictureTest, ImageReportsEachNewPicture) {
  TImage image(nullptr);
  int changes = 0;
  image.OnChange = [&](TObject* sender) {
    EXPECT_EQ(sender, &image);
    ++changes;
  };
  image.Picture().LoadFromFile(GoodJpeg("good.jpg"));
  EXPECT_THROW(image.Picture().LoadFromFile(Dir / "missing.jpg"), EFOpenError);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(image.Picture().Width(), 40);
}

}  // namespace
