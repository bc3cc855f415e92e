// Names ending in .jpg that are no regular files, files that change between
// the scan and the paint, and a folder removed while it is listed, met by
// the browser window. Each must give one clear text in the error sink (or the
// picture as it now is), never block, never show another file's picture,
// and leave the program able to go on.
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
std::string JpegError(int code) { return "JPEG error #" + std::to_string(code) + "."; }

// A socket bound to path; it stays in the folder after the descriptor closes.
void MakeSocket(const std::string& path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(path.size(), sizeof(address.sun_path));
  std::strcpy(address.sun_path, path.c_str());
  EXPECT_EQ(bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0) << Cause(errno);
  close(fd);
}

void ReplaceWith(const std::string& file, const Bytes& bytes) {
  WriteFile(file + ".new", bytes);
  fs::rename(file + ".new", file);
}

void CutInItsData(const std::string& f) {
  const Bytes b = ReadFile(f);
  fs::resize_file(f, FindMarker(b, 0xDA) + (b.size() - FindMarker(b, 0xDA)) / 2);
}

// Sparse: it costs no disk, and must cost no memory either.
void MakeSparse8GiB(const std::string& f) {
  WriteFile(f, {});
  EXPECT_EQ(truncate(f.c_str(), off_t(8) << 30), 0);
}

// x.jpg in a folder of its own, made what the row says before the folder is
// listed, or after it was listed and painted as a red picture. Text is the
// cause its open error names, a whole "JPEG error #" text, kNotListed,
// kVanished, or "" when it shows a picture.
enum class When { BeforeListing, AfterPaint };
using Maker = std::function<void(const std::string& file)>;

struct FileCase {
  const char* Name;
  When Made;
  Maker Make;
  std::string Text;
  std::optional<Rgb> Shown = std::nullopt;
  bool Unprivileged = false;
};

void PrintTo(const FileCase& c, std::ostream* os) { *os << c.Name; }

constexpr When kBefore = When::BeforeListing, kAfter = When::AfterPaint;
const std::string kNotListed = "(not listed)";
// Gone: its slide and a click on it raise nothing, the large view keeps what
// it shows, and the folder is listed again without it.
const std::string kVanished = "(vanished)";
const std::string kNamedPipe = "It is a named pipe, not a file";
const std::string kDevice = "It is a device, not a file";

void MakePipe(const std::string& f) { mkfifo(f.c_str(), 0644); }
void MakeFolder(const std::string& f) { fs::create_directory(f); }

Maker LinkTo(const std::string& target) {
  return [target](const std::string& f) { fs::create_symlink(target, f); };
}

// The file a link to what make makes beside it.
Maker Linked(const Maker& make) {
  return [make](const std::string& f) {
    make(f + ".target");
    fs::create_symlink(ExtractFileName(f) + ".target", f);
  };
}

// The file removed and made again by make.
Maker Replaced(const Maker& make) {
  return [make](const std::string& f) {
    fs::remove(f);
    make(f);
  };
}

const FileCase kKinds[] = {
    {"NamedPipe", kBefore, MakePipe, kNamedPipe},
    {"LinkToNamedPipe", kBefore, Linked(MakePipe), kNamedPipe},
    {"Socket", kBefore, MakeSocket, "It is not a regular file"},
    {"LinkToSocket", kBefore, Linked(MakeSocket), "It is not a regular file"},
    // Without the right to make one the row is skipped.
    {"Device", kBefore, [](const std::string& f) { mknod(f.c_str(), S_IFCHR | 0644, makedev(1, 5)); }, kDevice},
    {"LinkToDevice", kBefore, LinkTo("/dev/zero"), kDevice},
    {"Folder", kBefore, MakeFolder, kNotListed},
    {"LinkToFolder", kBefore, Linked(MakeFolder), kNotListed},
    {"LinkToNothing", kBefore, LinkTo("missing.jpg"), Cause(ENOENT)},
    {"LinkToItself", kBefore, LinkTo("x.jpg"), Cause(ELOOP)},
    // Its size says 0 however much it would give: it is read as empty.
    {"LinkToAKernelFile", kBefore, LinkTo("/proc/self/stat"), JpegError(JERR_INPUT_EMPTY)},
    {"Sparse8GiB", kBefore, MakeSparse8GiB, "The file is larger than 512 MiB"},
};

const FileCase kChanges[] = {
    {"Deleted", kAfter, [](const std::string& f) { fs::remove(f); }, kVanished},
    {"TruncatedToNothing", kAfter, [](const std::string& f) { fs::resize_file(f, 0); },
     JpegError(JERR_INPUT_EMPTY)},
    {"CutInItsData", kAfter, CutInItsData, ""},
    {"ReplacedByAnotherPicture", kAfter, [](const std::string& f) { ReplaceWith(f, FlatJpeg(kBlue)); }, "", kBlue},
    {"ReplacedByText", kAfter, [](const std::string& f) { ReplaceWith(f, Bytes(5, 'x')); }, JpegError(JERR_NO_SOI)},
    {"ReplacedByFolder", kAfter, Replaced(MakeFolder), "It is a folder, not a file"},
    {"ReplacedByNamedPipe", kAfter, Replaced(MakePipe), kNamedPipe},
    {"ReplacedByLinkToDevice", kAfter, Replaced(LinkTo("/dev/urandom")), kDevice},
    {"MadeUnreadable", kAfter, [](const std::string& f) { chmod(f.c_str(), 0); }, Cause(EACCES), std::nullopt,
     true},
    // Set-user, set-group and sticky bits beside every permission: a picture still.
    {"EveryModeBitSet", kAfter, [](const std::string& f) { chmod(f.c_str(), 07777); }, "", kRed},
};

class FileCaseTest : public BrowserTest, public testing::WithParamInterface<FileCase> {};

TEST_P(FileCaseTest, EveryPaintAndClickReportsTheFileAsItIsAndTheLargeViewKeepsWhatLoaded) {
  const FileCase& c = GetParam();
  const std::string good = ExtractFilePath(WritePicture("good/green.jpg", kGreen));
  const std::string file = WritePicture("case/x.jpg", kRed);
  // Others may look into the folders, so that only the file's own bits count.
  fs::permissions(Dir.Path(), fs::perms(0755));
  fs::permissions(ExtractFilePath(file), fs::perms(0755));
  if (c.Made == kBefore) {
    fs::remove(file);
    c.Make(file);
    if (!fs::exists(fs::symlink_status(file))) GTEST_SKIP() << "cannot make it here";
  }
  Open();
  ASSERT_TRUE(Choose(good));
  ClickSlide(1);
  const TGraphic* goodPicture = Window->LargeImg->Picture().Graphic();
  const std::size_t heapBefore = LiveHeapBytes();
  ASSERT_TRUE(Choose(ExtractFilePath(file)));
  if (c.Text == kNotListed) {
    EXPECT_EQ(Window->FileList()->Count(), 0);
    EXPECT_FALSE(Window->Thumbs1->Visible());
    EXPECT_TRUE(Errors.empty()) << Errors.front();
    return;
  }
  ASSERT_EQ(Window->FileList()->Count(), 1);
  const bool vanished = c.Text == kVanished;
  const bool whole = c.Text.empty() || c.Text.rfind("JPEG error #", 0) == 0;
  const std::string text = vanished ? "" : whole ? c.Text : OpenErrorText(file, c.Text);
  const std::vector<std::string> once = text.empty() ? std::vector<std::string>{} : std::vector{text};
  if (c.Made == kAfter) {
    ASSERT_TRUE(Near(GridPixel(InsideSlide(1)), kRed));
    ASSERT_TRUE(Errors.empty()) << Errors.front();
    c.Make(file);
  }
  {
    const UnprivilegedFileAccess asUser(c.Unprivileged);
    if (c.Made == kAfter) RepaintGrid();
    EXPECT_EQ(Errors, once);  // one report a paint
    Errors.clear();
    ClickSlide(1);  // the click's repaint, then its load
  }
  EXPECT_EQ(Errors, (std::vector<std::string>(2 * once.size(), text)));
  EXPECT_EQ(Window->LargeImg->Picture().Graphic() == goodPicture, !text.empty() || vanished);
  if (vanished) {
    EXPECT_TRUE(SettleUntil([this] { return !Window->Thumbs1->Visible(); }));
    EXPECT_EQ(Window->FileList()->Count(), 0);
  }
  if (c.Shown) {
    const QImage view = LargeView();
    EXPECT_TRUE(Near(RgbAt(view, view.width() / 2, view.height() / 2), *c.Shown));
  }
  EXPECT_LT(LiveHeapBytes(), heapBefore + (16u << 20)) << "nothing of the file may have been read";

  Errors.clear();
  ASSERT_TRUE(Choose(good));
  EXPECT_TRUE(Errors.empty()) << Errors.front();
  EXPECT_TRUE(Near(GridPixel(InsideSlide(1)), kGreen));
}

const auto kName = [](const auto& info) { return std::string(info.param.Name); };
INSTANTIATE_TEST_SUITE_P(Kinds, FileCaseTest, testing::ValuesIn(kKinds), kName);
INSTANTIATE_TEST_SUITE_P(Changes, FileCaseTest, testing::ValuesIn(kChanges), kName);

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
  EXPECT_TRUE(Near(RgbAt(LargeView(), 310, 294), kRed));
  WriteFile(file, {'n', 'o'});
  EXPECT_TRUE(Near(RgbAt(LargeView(), 310, 294), kRed));
  EXPECT_TRUE(Errors.empty()) << Errors.front();
}

// Names that differ only in case are different files here. A listed file
// that has gone is gone (its slide and a click on it raise nothing), never
// replaced by its twin in the same folder or by a file of the same name in a
// folder whose name differs only in case (listed before it).
TEST_F(ChangingFolderTest, VanishedFileIsNeverReplacedByAFileWhoseNameDiffersInCase) {
  const std::string twin = WritePicture("twins/twin.jpg", kRed);
  WritePicture("twins/TWIN.jpg", kBlue);
  const std::string same = WritePicture("case/same.jpg", kRed);
  WritePicture("CASE/same.jpg", kBlue);
  Open();
  ASSERT_TRUE(Choose(Dir / "CASE"));
  for (const std::string& file : {twin, same}) {
    Errors.clear();
    ASSERT_TRUE(Choose(ExtractFilePath(file)));
    const int k = ExtractFileName((*Window->FileList())[0]) == ExtractFileName(file) ? 1 : 2;
    fs::remove(file);
    RepaintGrid();
    ClickSlide(k);  // the click's repaint, then its load
    EXPECT_TRUE(Errors.empty()) << Errors.front();
    EXPECT_EQ(Window->LargeImg->Picture().Graphic(), nullptr);
  }
}

// A folder removed while listed: its slides and a click on one raise
// nothing; it is listed again as empty with no input, and the large view's
// file having gone, the view shows nothing.
TEST_F(ChangingFolderTest, FolderRemovedWhileListedIsListedAsEmptyAndListsAsEmptyWhenClickedAgain) {
  const std::string folder = ExtractFilePath(WritePicture("going/a.jpg", kRed));
  WritePicture("going/b.jpg", kRed);
  WritePicture("going/c.jpg", kRed);
  const std::string good = ExtractFilePath(WritePicture("good/green.jpg", kGreen));
  Open();
  ASSERT_TRUE(Choose(folder));
  ClickSlide(1);
  ASSERT_NE(Window->LargeImg->Picture().Graphic(), nullptr);

  fs::remove_all(folder);
  RepaintGrid();
  ClickSlide(2);
  EXPECT_TRUE(Errors.empty()) << Errors.front();
  EXPECT_TRUE(SettleUntil([this] { return !Window->Thumbs1->Visible(); }));
  EXPECT_EQ(Window->FileList()->Count(), 0);
  EXPECT_EQ(Window->LargeImg->Picture().Graphic(), nullptr);
  EXPECT_TRUE(Near(RgbAt(LargeView(), 310, 294), kFace));

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
