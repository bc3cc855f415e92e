// Awkward names on their whole way through the browser: from the folder
// tree (Qt strings) to the file list (bytes as the directory gave them) to
// the open. Each is listed and loaded, or refused clearly; none may turn
// into the name of another file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QEventLoop>
#include <QFileSystemModel>
#include <QTimer>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "app/FolderModel.h"
#include "app/ShellTreeView.h"
#include "support/BrowserTest.h"

using namespace jpegmaker;
using namespace browsertest;
namespace fs = std::filesystem;

namespace {

struct NameCase {
  const char* Name;
  std::string Folder;
  std::string File;
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.Name; }

const NameCase kNames[] = {
    {"Spaces", "with spaces ", " two  spaces .jpg"},
    {"Quotes", "quote\"d 'folder'", "\"quoted\" 'too'.jpg"},
    {"Newlines", "new\nline", "line\nbreak.jpg"},
    {"LeadingDashes", "-rf", "--help.jpg"},
    {"FormatDirectives", "%s%n%x", "%s%n%d.jpg"},
    {"Backslashes", "back\\slash\\", "a\\b.jpg"},
    {"Wildcards", "wild*?[x]", "star*?[ab].jpg"},
    {"NonAsciiUtf8",
     "\xC3\xA9t\xC3\xA9 \xC3\x9C"
     "ber",
     "\xE6\x97\xA5\xE6\x9C\xAC.jpg"},
    {"ControlCharacters", "tab\there", "bell\a\x1b[0m.jpg"},
    // Names come from the directory as bytes and are opened as bytes, so
    // bytes that are no UTF-8 survive.
    {"Latin1File", "bytes", "\xE9t\xE9.jpg"},
    {"NoUtf8File", "bytes", "\xFF\xFE\x80.jpg"},
};

class NameTest : public BrowserTest, public testing::WithParamInterface<NameCase> {};

TEST_P(NameTest, FolderChosenInTheTreeListsAndLoadsTheFileByItsExactName) {
  const NameCase& c = GetParam();
  const std::string folder = Dir.AddDir("names/" + c.Folder);
  WriteFile(folder + "/" + c.File, FlatJpeg(kRed));
  WriteFile(folder + "/other.jpg", FlatJpeg(kBlue));
  Open();
  ASSERT_TRUE(Choose(folder));
  const TStringList& list = *Window->FileList();
  ASSERT_EQ(list.Count(), 2);
  const int k = ExtractFileName(list[0]) == c.File ? 1 : 2;
  EXPECT_EQ(list[k - 1], AnsiUpperCaseAscii(folder + "/") + c.File);
  EXPECT_TRUE(Near(GridPixel(InsideSlide(k)), kRed));
  EXPECT_TRUE(Near(GridPixel(InsideSlide(3 - k)), kBlue));
  ClickSlide(k);
  EXPECT_TRUE(Near(RgbAt(LargeView(), 310, 294), kRed));
  EXPECT_TRUE(Errors.empty()) << Errors.front();
}

INSTANTIATE_TEST_SUITE_P(Names, NameTest, testing::ValuesIn(kNames),
                         [](const auto& info) { return std::string(info.param.Name); });

using OddNameTest = BrowserTest;

// Runs the event loop until the tree has read the folder's entries.
void WaitUntilLoaded(QFileSystemModel& model, const QString& path) {
  QEventLoop loop;
  QObject::connect(&model, &QFileSystemModel::directoryLoaded, &loop, [&](const QString& loaded) {
    if (loaded == path) loop.quit();
  });
  QTimer::singleShot(20000, &loop, &QEventLoop::quit);  // a guard, not a measure
  const QModelIndex index = model.index(path);
  if (!model.canFetchMore(index)) return;  // read before
  model.fetchMore(index);
  loop.exec();
}

// Qt cannot name a folder whose name is no UTF-8, so the tree does not show
// it; asked for it by bytes, the tree must not pick the folder whose name is
// what those bytes decode to.
TEST_F(OddNameTest, FolderWhoseNameIsNoUtf8IsNeitherShownNorMistakenForAnother) {
  const std::string parent = Dir.AddDir("parent");
  const std::string raw = parent + "/d\xE9j\xE0", decoded = parent + "/d\xEF\xBF\xBDj\xEF\xBF\xBD";
  WriteFile(Dir.AddDir("parent/d\xE9j\xE0") + "/red.jpg", FlatJpeg(kRed));
  WriteFile(Dir.AddDir("parent/d\xEF\xBF\xBDj\xEF\xBF\xBD") + "/blue.jpg", FlatJpeg(kBlue));
  const std::string good = ExtractFilePath(WritePicture("good/green.jpg", kGreen));
  Open();
  ASSERT_TRUE(Choose(good));

  EXPECT_FALSE(Choose(raw));
  EXPECT_EQ(Window->FileList()->Count(), 1);
  EXPECT_EQ(ExtractFileName((*Window->FileList())[0]), "green.jpg");

  QFileSystemModel& model = Window->ShellTreeView1->Model();
  const QString parentName = QString::fromStdString(parent);
  WaitUntilLoaded(model, parentName);
  const QModelIndex index = model.index(parentName);
  ASSERT_EQ(model.rowCount(index), 1);
  EXPECT_EQ(QFile::encodeName(model.filePath(model.index(0, 0, index))).toStdString(), decoded);

  ASSERT_TRUE(Choose(decoded));
  ASSERT_EQ(Window->FileList()->Count(), 1);
  EXPECT_EQ(ExtractFileName((*Window->FileList())[0]), "blue.jpg");
  EXPECT_TRUE(Errors.empty()) << Errors.front();
}

// Writes bytes to name inside the folder open as dirFd: the whole path may
// be longer than the system takes.
void WriteAt(int dirFd, const std::string& name, const Bytes& bytes) {
  const int fd = openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0) << std::strerror(errno);
  EXPECT_EQ(write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
  close(fd);
}

class LongPathTest : public BrowserTest {
 protected:
  // rm walks a tree relative to its folders, below PATH_MAX too.
  void TearDown() override {
    BrowserTest::TearDown();
    EXPECT_EQ(std::system(("rm -rf " + Dir / "long").c_str()), 0);
  }
};

// PATH_MAX counts the closing zero byte. Whether the tree can hold the node
// of a folder beyond it or not, that folder gives no list.
TEST_F(LongPathTest, FileWithinTheLimitLoadsAndOneOrAFolderBeyondItIsRefusedByName) {
  // About PATH_MAX - 40 bytes, made of 200-byte names.
  std::string folder = Dir.AddDir("long");
  while (folder.size() + 241 < PATH_MAX) folder += "/" + std::string(200, 'd');
  folder += "/" + std::string(PATH_MAX - 41 - folder.size(), 'e');
  fs::create_directories(folder);
  const std::string fits = "fits.jpg", beyond = std::string(60, 'b') + ".jpg", below(100, 'f');
  ASSERT_LT(folder.size() + 1 + fits.size(), std::size_t(PATH_MAX));
  ASSERT_GE(folder.size() + 1 + beyond.size(), std::size_t(PATH_MAX));
  const int dirFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(dirFd, 0);
  WriteAt(dirFd, fits, FlatJpeg(kRed));
  WriteAt(dirFd, beyond, FlatJpeg(kBlue));
  ASSERT_EQ(mkdirat(dirFd, below.c_str(), 0755), 0);
  const int belowFd = openat(dirFd, below.c_str(), O_RDONLY | O_DIRECTORY);
  WriteAt(belowFd, "deep.jpg", FlatJpeg(kRed));
  close(belowFd);
  close(dirFd);

  Open();
  ASSERT_TRUE(Choose(folder));
  const TStringList& list = *Window->FileList();
  ASSERT_EQ(list.Count(), 2);
  const int k = ExtractFileName(list[0]) == fits ? 1 : 2;
  const std::string text = OpenErrorText(folder + "/" + beyond, std::strerror(ENAMETOOLONG));
  ASSERT_FALSE(Errors.empty());
  for (const std::string& e : Errors) EXPECT_EQ(e, text);

  // The window's click handler, as the grid raises it.
  Errors.clear();
  Application.Guard([&] { Window->Thumbs1ImageClick(Window->Thumbs1, 0, 0, k); });
  EXPECT_TRUE(Errors.empty()) << Errors.front();
  EXPECT_TRUE(Near(RgbAt(LargeView(), 310, 294), kRed));
  Application.Guard([&] { Window->Thumbs1ImageClick(Window->Thumbs1, 0, 0, 3 - k); });
  EXPECT_EQ(Errors, std::vector<std::string>{text});
  EXPECT_TRUE(Near(RgbAt(LargeView(), 310, 294), kRed));

  Errors.clear();
  if (Choose(folder + "/" + below)) {
    EXPECT_EQ(Window->FileList()->Count(), 0);
    EXPECT_FALSE(Window->Thumbs1->Visible());
  } else {
    EXPECT_EQ(Window->FileList()->Count(), 2);
  }
  EXPECT_TRUE(Errors.empty()) << Errors.front();
}

}  // namespace
