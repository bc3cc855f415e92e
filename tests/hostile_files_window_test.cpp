// Names ending in .jpg that are no regular files, files that change between
// the scan and the paint, and a folder removed while it is listed, met by
// the browser window. Each must give one clear text in the error sink (or the
// picture as it now is), never block, never show another file's picture,
// and leave the program able to go on.
#include <fcntl.h>
#include <sys/fsuid.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>  // jpeglib.h needs FILE
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>

#include <jpeglib.h>
#include <jerror.h>

#include "support/BrowserTest.h"
#include "support/Unprivileged.h"

using namespace jpegmaker;
using namespace browsertest;
namespace fs = std::filesystem;

namespace {

std::string Cause(int error) { return std::strerror(error); }

// A socket bound to path; it stays in the folder after the descriptor closes.
void MakeSocket(const std::string& path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(path.size(), sizeof(address.sun_path));
  std::strcpy(address.sun_path, path.c_str());
  EXPECT_EQ(bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0) << Cause(errno);
  close(fd);
}

// A folder "kinds" holding x.jpg of the kind the case makes. Make returns
// the cause the open error names (or, with WholeText, the whole error text),
// or "" when the scan must not list it.
struct KindCase {
  const char* Name;
  std::function<std::string(const std::string& folder)> Make;
  bool WholeText = false;
};

void PrintTo(const KindCase& c, std::ostream* os) { *os << c.Name; }

const std::string kNoRegularFile = "It is not a regular file";
const std::string kNamedPipe = "It is a named pipe, not a file";
const std::string kDevice = "It is a device, not a file";
const std::string kFolder = "It is a folder, not a file";
const std::string kSkip = "(skip)";

const KindCase kKinds[] = {
    {"NamedPipe",
     [](const std::string& d) {
       EXPECT_EQ(mkfifo((d + "/x.jpg").c_str(), 0644), 0);
       return kNamedPipe;
     }},
    {"LinkToNamedPipe",
     [](const std::string& d) {
       EXPECT_EQ(mkfifo((d + "/pipe").c_str(), 0644), 0);
       fs::create_symlink("pipe", d + "/x.jpg");
       return kNamedPipe;
     }},
    {"Socket",
     [](const std::string& d) {
       MakeSocket(d + "/x.jpg");
       return kNoRegularFile;
     }},
    {"LinkToSocket",
     [](const std::string& d) {
       MakeSocket(d + "/socket");
       fs::create_symlink(d + "/socket", d + "/x.jpg");
       return kNoRegularFile;
     }},
    {"Device",
     [](const std::string& d) {
       if (mknod((d + "/x.jpg").c_str(), S_IFCHR | 0644, makedev(1, 5)) != 0) return kSkip;  // no right to
       return kDevice;
     }},
    {"LinkToDevice",
     [](const std::string& d) {
       fs::create_symlink("/dev/zero", d + "/x.jpg");
       return kDevice;
     }},
    {"Folder",
     [](const std::string& d) {
       fs::create_directory(d + "/x.jpg");
       return std::string();
     }},
    {"LinkToFolder",
     [](const std::string& d) {
       fs::create_directory(d + "/sub");
       fs::create_symlink("sub", d + "/x.jpg");
       return std::string();
     }},
    {"LinkToNothing",
     [](const std::string& d) {
       fs::create_symlink("missing.jpg", d + "/x.jpg");
       return Cause(ENOENT);
     }},
    {"LinkToItself",
     [](const std::string& d) {
       fs::create_symlink("x.jpg", d + "/x.jpg");
       return Cause(ELOOP);
     }},
    // Its size says 0 however much it would give: it is read as empty.
    {"LinkToAKernelFile",
     [](const std::string& d) {
       fs::create_symlink("/proc/self/stat", d + "/x.jpg");
       return "JPEG error #" + std::to_string(JERR_INPUT_EMPTY) + ".";
     },
     true},
    // Sparse: it costs no disk, and must cost no memory either.
    {"Sparse8GiB",
     [](const std::string& d) {
       WriteFile(d + "/x.jpg", {});
       EXPECT_EQ(truncate((d + "/x.jpg").c_str(), off_t(8) << 30), 0);
       return std::string("The file is larger than 512 MiB");
     }},
};

class FileKindTest : public BrowserTest, public testing::WithParamInterface<KindCase> {};

TEST_P(FileKindTest, IsRefusedAtOnceWithItsKindNamed) {
  const std::string good = ExtractFilePath(WritePicture("good/green.jpg", kGreen));
  const std::string kinds = Dir.AddDir("kinds");
  const std::string cause = GetParam().Make(kinds);
  if (cause == kSkip) GTEST_SKIP() << "cannot make a device node here";
  Open();
  ASSERT_TRUE(Choose(good));
  ClickSlide(1);
  const TGraphic* goodPicture = Window->LargeImg->Picture().Graphic();
  ASSERT_TRUE(Errors.empty()) << Errors.front();

  const std::size_t heapBefore = LiveHeapBytes();
  ASSERT_TRUE(Choose(kinds));
  const TStringList& list = *Window->FileList();
  if (cause.empty()) {
    EXPECT_EQ(list.Count(), 0);
    EXPECT_FALSE(Window->Thumbs1->Visible());
    EXPECT_TRUE(Errors.empty()) << Errors.front();
    return;
  }
  ASSERT_EQ(list.Count(), 1);
  const std::string text = GetParam().WholeText ? cause : OpenErrorText(kinds + "/x.jpg", cause);
  ASSERT_FALSE(Errors.empty());
  for (const std::string& e : Errors) EXPECT_EQ(e, text);

  Errors.clear();
  ClickSlide(1);  // the click's repaint, then its load
  EXPECT_EQ(Errors, std::vector<std::string>(2, text));
  EXPECT_EQ(Window->LargeImg->Picture().Graphic(), goodPicture);
  EXPECT_LT(LiveHeapBytes(), heapBefore + (16u << 20)) << "nothing of the file may have been read";

  Errors.clear();
  ASSERT_TRUE(Choose(good));
  EXPECT_TRUE(Errors.empty()) << Errors.front();
  EXPECT_TRUE(Near(GridPixel(InsideSlide(1)), kGreen));
}

INSTANTIATE_TEST_SUITE_P(Kinds, FileKindTest, testing::ValuesIn(kKinds),
                         [](const auto& info) { return std::string(info.param.Name); });

// A folder "changing" holds x.jpg, red, when it is listed and painted; then
// the case changes the file and the grid paints again and the slide is
// clicked. Text is the cause of an open error, a whole error text, or ""
// for a file that still shows a picture.
struct ChangeCase {
  const char* Name;
  std::function<void(const std::string& file)> Change;
  std::function<std::string(const std::string& file)> Text;
  std::optional<Rgb> Shown = std::nullopt;
  bool Unprivileged = false;
};

void PrintTo(const ChangeCase& c, std::ostream* os) { *os << c.Name; }

std::string JpegError(int code) { return "JPEG error #" + std::to_string(code) + "."; }

std::function<std::string(const std::string&)> OpenError(const std::string& cause) {
  return [cause](const std::string& file) { return OpenErrorText(file, cause); };
}

std::function<std::string(const std::string&)> Whole(const std::string& text) {
  return [text](const std::string&) { return text; };
}

void ReplaceWith(const std::string& file, const Bytes& bytes) {
  WriteFile(file + ".new", bytes);
  fs::rename(file + ".new", file);
}

const ChangeCase kChanges[] = {
    {"Deleted", [](const std::string& f) { fs::remove(f); }, OpenError(Cause(ENOENT))},
    {"TruncatedToNothing", [](const std::string& f) { fs::resize_file(f, 0); }, Whole(JpegError(JERR_INPUT_EMPTY))},
    {"CutInItsData",
     [](const std::string& f) {
       const Bytes b = ReadFile(f);
       fs::resize_file(f, FindMarker(b, 0xDA) + (b.size() - FindMarker(b, 0xDA)) / 2);
     },
     Whole("")},
    {"ReplacedByAnotherPicture", [](const std::string& f) { ReplaceWith(f, FlatJpeg(kBlue)); }, Whole(""), kBlue},
    {"ReplacedByText",
     [](const std::string& f) {
       ReplaceWith(f, {'h', 'e', 'l', 'l', 'o'});
     },
     Whole(JpegError(JERR_NO_SOI))},
    {"ReplacedByFolder",
     [](const std::string& f) {
       fs::remove(f);
       fs::create_directory(f);
     },
     OpenError(kFolder)},
    {"ReplacedByNamedPipe",
     [](const std::string& f) {
       fs::remove(f);
       mkfifo(f.c_str(), 0644);
     },
     OpenError(kNamedPipe)},
    {"ReplacedByLinkToDevice",
     [](const std::string& f) {
       fs::remove(f);
       fs::create_symlink("/dev/urandom", f);
     },
     OpenError(kDevice)},
    {"MadeUnreadable", [](const std::string& f) { chmod(f.c_str(), 0); }, OpenError(Cause(EACCES)), std::nullopt,
     true},
};

class ChangedFileTest : public BrowserTest, public testing::WithParamInterface<ChangeCase> {};

TEST_P(ChangedFileTest, NextPaintAndClickReportTheFileAsItNowIs) {
  const ChangeCase& c = GetParam();
  const std::string good = ExtractFilePath(WritePicture("good/green.jpg", kGreen));
  const std::string file = WritePicture("changing/x.jpg", kRed);
  // Others may look into the folders, so that only the file's own bits count.
  fs::permissions(Dir.Path(), fs::perms(0755));
  fs::permissions(ExtractFilePath(file), fs::perms(0755));
  Open();
  ASSERT_TRUE(Choose(good));
  ClickSlide(1);
  const TGraphic* goodPicture = Window->LargeImg->Picture().Graphic();
  ASSERT_TRUE(Choose(ExtractFilePath(file)));
  ASSERT_TRUE(Near(GridPixel(InsideSlide(1)), kRed));
  ASSERT_TRUE(Errors.empty()) << Errors.front();
  c.Change(file);
  const std::string text = c.Text(file);
  {
    std::optional<UnprivilegedFileAccess> asUser;
    if (c.Unprivileged) asUser.emplace();
    RepaintGrid();
    ClickSlide(1);  // the click's repaint, then its load
  }
  if (text.empty()) {
    EXPECT_TRUE(Errors.empty()) << Errors.front();
    EXPECT_NE(Window->LargeImg->Picture().Graphic(), goodPicture);
    if (c.Shown) {
      const QImage view = LargeView();
      EXPECT_TRUE(Near(RgbAt(view, view.width() / 2, view.height() / 2), *c.Shown));
    }
  } else {
    EXPECT_EQ(Errors, (std::vector<std::string>(3, text)));
    EXPECT_EQ(Window->LargeImg->Picture().Graphic(), goodPicture);
  }

  Errors.clear();
  ASSERT_TRUE(Choose(good));
  EXPECT_TRUE(Errors.empty()) << Errors.front();
  EXPECT_TRUE(Near(GridPixel(InsideSlide(1)), kGreen));
}

INSTANTIATE_TEST_SUITE_P(Changes, ChangedFileTest, testing::ValuesIn(kChanges),
                         [](const auto& info) { return std::string(info.param.Name); });

using ChangingFolderTest = BrowserTest;

// The large view holds the file's bytes from the click on: it decodes them
// at its first draw, also when the file has gone meanwhile, and whatever
// happens to the file later it keeps showing that picture.
TEST_F(ChangingFolderTest, LargeViewKeepsThePictureItLoadedWhateverBecomesOfTheFile) {
  const std::string file = WritePicture("pics/x.jpg", kRed);
  Open();
  ASSERT_TRUE(Choose(ExtractFilePath(file)));
  Click(Window->Thumbs1Host, InsideSlide(1));  // no event processed: the view has not drawn yet
  fs::remove(file);
  QImage view = LargeView();
  EXPECT_TRUE(Near(RgbAt(view, 310, 294), kRed));

  WriteFile(file, {'n', 'o'});
  view = LargeView();
  EXPECT_TRUE(Near(RgbAt(view, 310, 294), kRed));
  EXPECT_TRUE(Errors.empty()) << Errors.front();
}

// Names that differ only in case are different files here. A listed file
// that has gone must be reported, not replaced by its twin in the same
// folder or by a file of the same name in a folder whose name differs only
// in case.
TEST_F(ChangingFolderTest, VanishedFileIsNeverReplacedByAFileWhoseNameDiffersInCase) {
  const std::string twin = WritePicture("twins/twin.jpg", kRed);
  WritePicture("twins/TWIN.jpg", kBlue);
  const std::string same = WritePicture("case/same.jpg", kRed);
  WritePicture("CASE/same.jpg", kBlue);
  Open();

  ASSERT_TRUE(Choose(ExtractFilePath(twin)));
  ASSERT_EQ(Window->FileList()->Count(), 2);
  const int k = ExtractFileName((*Window->FileList())[0]) == "twin.jpg" ? 1 : 2;
  fs::remove(twin);
  RepaintGrid();
  ClickSlide(k);  // the click's repaint, then its load
  EXPECT_EQ(Errors, (std::vector<std::string>(3, OpenErrorText(twin, Cause(ENOENT)))));
  EXPECT_EQ(Window->LargeImg->Picture().Graphic(), nullptr);

  // Both folders were listed, the other one first.
  Errors.clear();
  ASSERT_TRUE(Choose(Dir / "CASE"));
  ASSERT_TRUE(Choose(ExtractFilePath(same)));
  ASSERT_EQ(Window->FileList()->Count(), 1);
  fs::remove(same);
  RepaintGrid();
  ClickSlide(1);
  EXPECT_EQ(Errors, (std::vector<std::string>(3, OpenErrorText(same, Cause(ENOENT)))));
  EXPECT_EQ(Window->LargeImg->Picture().Graphic(), nullptr);
}

TEST_F(ChangingFolderTest, FolderRemovedWhileListedReportsItsFilesAndListsAsEmptyWhenClickedAgain) {
  const std::string folder = ExtractFilePath(WritePicture("going/a.jpg", kRed));
  WritePicture("going/b.jpg", kRed);
  WritePicture("going/c.jpg", kRed);
  const std::string good = ExtractFilePath(WritePicture("good/green.jpg", kGreen));
  Open();
  ASSERT_TRUE(Choose(folder));
  ClickSlide(1);
  const TGraphic* shown = Window->LargeImg->Picture().Graphic();
  ASSERT_NE(shown, nullptr);
  const std::vector<std::string> list = Window->FileList()->Items();

  fs::remove_all(folder);
  RepaintGrid();
  ClickSlide(2);
  // Each paint reports its first failure, slide 1's; the click's load slide 2's.
  const auto gone = [&](int i) { return OpenErrorText(folder + ExtractFileName(list[size_t(i)]), Cause(ENOENT)); };
  EXPECT_EQ(Errors, (std::vector<std::string>{gone(0), gone(0), gone(1)}));
  EXPECT_EQ(Window->LargeImg->Picture().Graphic(), shown);
  EXPECT_TRUE(Near(RgbAt(LargeView(), 310, 294), kRed));

  // The tree does not watch the file system: its node for the folder stays
  // selected, and clicking it lists nothing.
  Errors.clear();
  Application.Guard([this] { Window->ShellTreeView1Click(Window.get()); });
  EXPECT_EQ(Window->FileList()->Count(), 0);
  EXPECT_FALSE(Window->Thumbs1->Visible());
  EXPECT_TRUE(Errors.empty()) << Errors.front();

  ASSERT_TRUE(Choose(good));
  EXPECT_TRUE(Window->Thumbs1->Visible());
  EXPECT_TRUE(Near(GridPixel(InsideSlide(1)), kGreen));
  EXPECT_TRUE(Errors.empty()) << Errors.front();
}

}  // namespace
