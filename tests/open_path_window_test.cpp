// What the person points at: a folder or picture named on the command line
// or dropped onto the window, each case both ways, checked against the
// folder's listing as read here. The line itself is read before any window.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QMimeData>
#include <QProcess>
#include <QScrollBar>
#include <QUrl>
#include <cerrno>
#include <cstring>
#include <functional>
#include <set>

#include "app/CommandLine.h"
#include "app/OpenPath.h"
#include "app/ShellTreeView.h"
#include "support/BrowserTest.h"
#include "support/Unprivileged.h"

using namespace jpegmaker;
using namespace browsertest;

namespace {

const Rgb kNavy{0, 0, 0x80};  // the grid's selected colour

// The large view (621 x 589) shows a 64 x 48 picture at (278, 270).
const QPoint kLargeMiddle(310, 294);
const QPoint kLeftOfLargePicture(277, 294);

// Names of the *.jpg entries of a folder in the order the directory gives
// them: the order of the file list, and so of the slides.
std::vector<std::string> ListingOrder(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return names;
  while (const dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".jpg") == 0) names.push_back(name);
  }
  closedir(dir);
  return names;
}

// What a case makes and expects.
struct Opening {
  std::vector<std::string> Args;  // the command line after the program's name
  std::string Dropped;            // the path a drop names
  std::string Selected;           // the tree's selection afterwards ("/" at start)
  std::string Listed;             // the folder whose pictures the grid shows ("" for the data folder)
  std::string Picture;            // the name of the picture opened, or ""
  std::string Error;              // the error text, or ""
  bool Unprivileged = false;
};

class OpenPathTest : public BrowserTest {
 protected:
  void SetUp() override {
    BrowserTest::SetUp();
    ASSERT_NE(getcwd(FSavedCwd, sizeof FSavedCwd), nullptr);
    ASSERT_EQ(chdir(Dir.Path().c_str()), 0);
    AddPictures("data", 2);
  }

  void TearDown() override {
    BrowserTest::TearDown();
    EXPECT_EQ(chdir(FSavedCwd), 0);
  }

 public:
  TempDir& Folder() { return Dir; }

  using BrowserTest::AddPictures;

  // Slide k of folder turns red; returns its name.
  static std::string RedSlideFor(const std::string& folder, int k) {
    const std::string name = ListingOrder(folder).at(std::size_t(k - 1));
    WriteFile(folder + "/" + name, FlatJpeg(kRed));
    return name;
  }

 protected:
  // The program's start with this command line.
  TFrmGlimmet& OpenWithArguments(const std::vector<std::string>& args) {
    std::vector<const char*> argv{"glimmet"};
    for (const std::string& a : args) argv.push_back(a.c_str());
    const TCommandLine line = ParseCommandLine(int(argv.size()), argv.data());
    EXPECT_EQ(line.Action, TCommandLine::caRun) << line.Problem;
    Window = std::make_unique<TFrmGlimmet>();
    if (line.Path) Window->SetStartPath(*line.Path);
    Window->show();
    Settle();
    return *Window;
  }

  // Drags the path from a file manager and drops it onto the window.
  bool Drop(const std::string& path) {
    // The bytes of the name, percent-encoded, as file managers send them.
    return DropUrls({QUrl::fromEncoded("file://" + QByteArray::fromStdString(path).toPercentEncoding("/"))});
  }

  // Whether the window took the drag; the drop follows either way.
  bool DropUrls(const QList<QUrl>& urls) {
    auto* data = new QMimeData;
    data->setUrls(urls);
    const QPoint at(500, 300);
    QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Window.get(), &enter);
    const bool accepted = enter.isAccepted();
    QDropEvent drop(QPointF(at), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Window.get(), &drop);
    Settle();
    delete data;
    return accepted;
  }

  // The selected slide's cover, 10 pixels into its box, from the bar's
  // position as the grid takes it: position p (0 as 1) puts the row of
  // slide p at the top, scrolled by half a row when p is the second of it.
  Rgb CoverOfSlide(int k) {
    const int p = std::max(1, Window->SBarThumbs->value());
    const int rowStart = (p - 1) / 2 * 2 + 1;
    const int scrolled = (p - rowStart) * 68;
    const int x = 10 + (k - rowStart) % 2 * 136, y = 12 - scrolled + (k - rowStart) / 2 * 136;
    return GridPixel({x + 67, y + 10});
  }

  char FSavedCwd[4096] = {};
};

struct OpenCase {
  const char* Name;
  std::function<Opening(OpenPathTest&)> Make;
};

void PrintTo(const OpenCase& c, std::ostream* os) { *os << c.Name; }

Opening Refused(const std::string& arg, const std::string& path, int error, bool unprivileged = false) {
  return {{arg}, path, "/", "", "", OpenErrorText(path, std::strerror(error)), unprivileged};
}

// A folder named as typed, opened as a click on it would.
Opening Listed(const std::string& folder, std::vector<std::string> args = {}) {
  return {args.empty() ? std::vector<std::string>{folder} : args, folder, folder, folder, "", ""};
}

// A picture of folder, named as file, opened and clicked.
Opening Shown(const std::string& folder, const std::string& file, const std::string& name) {
  return {{file}, folder + "/" + name, folder, folder, name, ""};
}

// Opening slide k of twelve: the bar stays at 0 while the slide's box lies
// wholly in the grid (453 high: rows at 12, 148, 284, 420, so slides 1 to
// 6), and otherwise goes to the first slide of its row.
Opening PictureOfTwelve(OpenPathTest& t, int k) {
  const std::string folder = t.AddPictures("twelve", 12), name = t.RedSlideFor(folder, k);
  return Shown(folder, folder + "/" + name, name);
}

const OpenCase kCases[] = {
    {"Folder", [](OpenPathTest& t) { return Listed(t.AddPictures("pics", 5)); }},
    {"RelativeFolderWithDotsAndSlashes",
     [](OpenPathTest& t) { return Listed(t.AddPictures("pics", 3), {"./pics/./"}); }},
    {"PictureInTheFirstRows", [](OpenPathTest& t) { return PictureOfTwelve(t, 6); }},
    {"PictureBelowTheView", [](OpenPathTest& t) { return PictureOfTwelve(t, 7); }},
    {"PictureSecondOfItsRow", [](OpenPathTest& t) { return PictureOfTwelve(t, 10); }},
    {"RelativePicture",
     [](OpenPathTest& t) {
       const std::string folder = t.AddPictures("rel", 3), name = t.RedSlideFor(folder, 2);
       return Shown(folder, "rel/" + name, name);
     }},
    {"LinkToAFolder",
     [](OpenPathTest& t) {
       t.AddPictures("real", 4);
       return Listed(t.Folder().AddSymlink("linked", "real"));
     }},
    {"LinkToAPicture",
     [](OpenPathTest& t) {
       const std::string real = t.AddPictures("real", 2);
       const std::string red = t.RedSlideFor(real, 1);
       const std::string folder = t.AddPictures("links", 2);
       const std::string link = t.Folder().AddSymlink("links/alias.jpg", real + "/" + red);
       return Shown(folder, link, "alias.jpg");
     }},
    {"Spaces",
     [](OpenPathTest& t) {
       const std::string folder = t.AddPictures("my  pictures ", 2);
       WriteFile(folder + "/ a b .jpg", FlatJpeg(kRed));
       return Shown(folder, folder + "/ a b .jpg", " a b .jpg");
     }},
    {"PictureNamedInNoUtf8",
     [](OpenPathTest& t) {
       const std::string folder = t.AddPictures("bytes", 2);
       WriteFile(folder + "/\xE9t\xE9.jpg", FlatJpeg(kRed));
       return Shown(folder, folder + "/\xE9t\xE9.jpg", "\xE9t\xE9.jpg");
     }},
    // The tree cannot name it and selects the folder above; the grid lists it.
    {"FolderNamedInNoUtf8",
     [](OpenPathTest& t) {
       const std::string folder = t.AddPictures("parent/d\xE9j\xE0", 3);
       return Opening{{folder}, folder, t.Folder() / "parent", folder, "", ""};
     }},
    {"QtOptionBeforeTheFolder",
     [](OpenPathTest& t) {
       const std::string folder = t.AddPictures("pics", 3);
       return Listed(folder, {"-style", "fusion", "-reverse", folder});
     }},
    {"NameBeginningWithADashAfterTheEndOfOptions",
     [](OpenPathTest& t) {
       return Listed(t.AddPictures("-rf", 3), {"--", "-rf"});
     }},
    {"Missing", [](OpenPathTest& t) { return Refused(t.Folder() / "gone", t.Folder() / "gone", ENOENT); }},
    {"RelativeMissing", [](OpenPathTest& t) { return Refused("gone.jpg", t.Folder() / "gone.jpg", ENOENT); }},
    {"DanglingLink",
     [](OpenPathTest& t) {
       const std::string link = t.Folder().AddSymlink("dangling.jpg", "nowhere.jpg");
       return Refused(link, link, ENOENT);
     }},
    {"BelowAFile",
     [](OpenPathTest& t) {
       t.AddPictures("pics", 1);
       return Refused(t.Folder() / "pics/p0.jpg/x", t.Folder() / "pics/p0.jpg/x", ENOTDIR);
     }},
    {"UnreadablePicture",
     [](OpenPathTest& t) {
       const std::string folder = t.AddPictures("locked", 2);
       chmod((folder + "/p0.jpg").c_str(), 0);
       return Refused(folder + "/p0.jpg", folder + "/p0.jpg", EACCES, true);
     }},
    {"UnreadableFolder",
     [](OpenPathTest& t) {
       const std::string folder = t.AddPictures("locked", 2);
       chmod(folder.c_str(), 0);
       return Refused(folder, folder, EACCES, true);
     }},
};

enum class TWay { Argument, Drop };

class OpenPathCaseTest : public OpenPathTest, public testing::WithParamInterface<std::tuple<OpenCase, TWay>> {};

TEST_P(OpenPathCaseTest, OpensAsAClickWouldOrReportsAndChangesNothing) {
  const auto& [c, way] = GetParam();
  // Everything below the temporary folder may be read by "nobody".
  chmod(Dir.Path().c_str(), 0755);
  const Opening s = c.Make(*this);
  testing::internal::CaptureStderr();
  {
    const UnprivilegedFileAccess user(s.Unprivileged);
    if (way == TWay::Argument) {
      OpenWithArguments(s.Args);
    } else {
      OpenWithArguments({});
      EXPECT_TRUE(Drop(s.Dropped));
    }
  }
  const std::string err = testing::internal::GetCapturedStderr();
  TFrmGlimmet& w = *Window;

  EXPECT_EQ(w.ShellTreeView1->SelectedPath(), s.Selected);
  const std::vector<std::string> listing = ListingOrder(s.Listed.empty() ? Dir / "data" : s.Listed);
  const int count = int(listing.size());
  EXPECT_EQ(w.FileList()->Count(), count);
  EXPECT_EQ(w.Thumbs1->Max(), count);
  // Listing a folder as a click does sets the bar's range; the data folder
  // at start-up leaves the laid-out 0 to 100.
  EXPECT_EQ(w.SBarThumbs->maximum(), s.Listed.empty() ? 100 : count);
  EXPECT_TRUE(w.Thumbs1->Visible());

  const auto at = std::find(listing.begin(), listing.end(), s.Picture);
  const int k = s.Picture.empty() ? 0 : int(at - listing.begin()) + 1;
  ASSERT_LE(k, count) << "the picture is not listed";
  EXPECT_EQ(w.SBarThumbs->value(), k <= 6 ? 0 : (k - 1) / 2 * 2 + 1);
  for (int i = 1; i <= count; ++i) EXPECT_EQ(w.Thumbs1->Selection().Bit(i - 1), i == k) << "slide " << i;
  const QImage view = LargeView();
  if (k > 0) {
    EXPECT_TRUE(Near(CoverOfSlide(k), kNavy, 0));
    EXPECT_TRUE(Near(RgbAt(view, kLargeMiddle.x(), kLargeMiddle.y()), kRed));
    EXPECT_TRUE(Near(RgbAt(view, kLeftOfLargePicture.x(), kLeftOfLargePicture.y()), kFace, 0));
  } else {
    EXPECT_TRUE(Near(RgbAt(view, kLargeMiddle.x(), kLargeMiddle.y()), kFace, 0));
  }

  if (s.Error.empty()) {
    EXPECT_TRUE(Errors.empty()) << Errors.front();
  } else {
    EXPECT_EQ(Errors, std::vector<std::string>{s.Error});
  }
  // The start-up's refusal goes to standard error as well, once.
  const std::string line = s.Error + "\n";
  const bool onStderr =
      !s.Error.empty() && err.find(line) != std::string::npos && err.find(line) == err.rfind(line);
  EXPECT_EQ(onStderr, way == TWay::Argument && !s.Error.empty()) << err;
}

INSTANTIATE_TEST_SUITE_P(Cases, OpenPathCaseTest,
                         testing::Combine(testing::ValuesIn(kCases), testing::Values(TWay::Argument, TWay::Drop)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).Name) +
                                  (std::get<1>(info.param) == TWay::Argument ? "Argument" : "Drop");
                         });

// The tree reads "/" and the folders above the chosen one on a thread of its
// own and sorts what it read in afterwards, which moves the chosen row: it
// stays in view until the person turns to the tree.
TEST_F(OpenPathTest, ChosenFolderStaysInViewWhileTheTreeReadsTheFoldersAroundIt) {
  const std::string folder = AddPictures("a/b/c/pics", 1);
  for (const char* sibling : {"a/b/c/0", "a/b/c/1", "a/b/c/2", "a/b/c/3", "a/b/c/4", "a/b/c/5"})
    Dir.AddDir(sibling);
  TFrmGlimmet& w = OpenWithArguments({folder});
  TShellTreeView& tree = *w.ShellTreeView1;
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < 1000) QApplication::processEvents(QEventLoop::AllEvents, 20);
  ASSERT_EQ(tree.SelectedPath(), folder);
  const QRect row = tree.visualRect(tree.currentIndex());
  EXPECT_TRUE(tree.viewport()->rect().contains(row)) << row.y() << " in " << tree.viewport()->height();
  EXPECT_GT(tree.verticalScrollBar()->value(), 0);
}

// Dropped while the grid still follows a move of the bar made in the same
// turn of the event loop: the smaller folder pulls the bar down, and the
// picture's slide still comes into view and is the one clicked.
TEST_F(OpenPathTest, DropRightAfterAMoveOfTheBarScrollsToThePictureAndClicksIt) {
  const std::string folder = AddPictures("twelve", 12);
  const std::string name = RedSlideFor(folder, 7);
  TFrmGlimmet& w = OpenWithArguments({});
  w.SBarThumbs->setValue(50);
  EXPECT_TRUE(Drop(folder + "/" + name));
  EXPECT_EQ(w.SBarThumbs->value(), 7);
  EXPECT_EQ(w.Thumbs1->ScrollPosition(), 7.0);
  EXPECT_TRUE(w.Thumbs1->Selection().Bit(6));
  EXPECT_TRUE(Near(RgbAt(LargeView(), kLargeMiddle.x(), kLargeMiddle.y()), kRed));
  EXPECT_TRUE(Errors.empty()) << Errors.front();
}

// The grid lists "*.jpg" alone; a picture named otherwise still shows in the
// large view, with no slide selected, and one of no picture format says so.
TEST_F(OpenPathTest, PictureTheFolderDoesNotListShowsInTheLargeViewAlone) {
  const std::string folder = AddPictures("mixed", 2);
  WriteFile(folder + "/photo.jpeg", FlatJpeg(kRed));
  WriteFile(folder + "/notes.png", FlatJpeg(kGreen));
  TFrmGlimmet& w = OpenWithArguments({folder + "/photo.jpeg"});
  EXPECT_EQ(w.ShellTreeView1->SelectedPath(), folder);
  EXPECT_EQ(w.FileList()->Count(), 2);
  EXPECT_EQ(w.Thumbs1->Selection().Bit(0) || w.Thumbs1->Selection().Bit(1), false);
  EXPECT_TRUE(Near(RgbAt(LargeView(), kLargeMiddle.x(), kLargeMiddle.y()), kRed));
  EXPECT_TRUE(Errors.empty()) << Errors.front();

  EXPECT_TRUE(Drop(folder + "/notes.png"));
  // ")" sorts before the full stop, so none is added.
  EXPECT_EQ(Errors, std::vector<std::string>{"Unknown picture file extension (.png)"});
  EXPECT_TRUE(Near(RgbAt(LargeView(), kLargeMiddle.x(), kLargeMiddle.y()), kRed));
}

// Only local files are taken; Qt routes drops to a window only when it
// accepts them.
TEST_F(OpenPathTest, DragsOfNoLocalFileAreRefusedAndChangeNothing) {
  const std::string folder = AddPictures("pics", 3);
  TFrmGlimmet& w = OpenWithArguments({});
  EXPECT_TRUE(w.acceptDrops());
  EXPECT_FALSE(DropUrls({}));
  EXPECT_FALSE(DropUrls({QUrl("https://example.org/pics/p0.jpg")}));
  EXPECT_EQ(w.FileList()->Count(), 2);
  // Of several things dragged, the first local file is taken.
  EXPECT_TRUE(DropUrls({QUrl("https://example.org/x.jpg"), QUrl::fromLocalFile(QString::fromStdString(folder)),
                        QUrl::fromLocalFile(QString::fromStdString(Dir / "data"))}));
  EXPECT_EQ(w.ShellTreeView1->SelectedPath(), folder);
  EXPECT_EQ(w.FileList()->Count(), 3);
  EXPECT_TRUE(Errors.empty()) << Errors.front();
}

// Paths as the person types them, made absolute; ".." is the kernel's: past
// a link it leads to the link's target's parent, not back beside the link.
TEST_F(OpenPathTest, PathsAreMadeAbsoluteAndDotDotFollowsLinksAsTheSystemDoes) {
  Dir.AddDir("y/z");
  Dir.AddSymlink("x/link", Dir / "y/z");
  const std::string d = Dir.Path();
  const std::vector<std::pair<std::string, std::string>> rows{
      {"/a//b/./c/", "/a/b/c"},
      {"/", "/"},
      {"/..", "/"},
      {".", d},
      {"pics/", d + "/pics"},
      {"-rf", d + "/-rf"},
      {"x/link", d + "/x/link"},
      {"x/link/../p.jpg", d + "/y/p.jpg"},
      {"x/link/./../z/../z", d + "/y/z"},
      {d + "/x/link/..", d + "/y"},
  };
  for (const auto& [typed, absolute] : rows) EXPECT_EQ(AbsolutePath(typed), absolute) << typed;
}

struct LineCase {
  std::vector<const char*> Args;
  TCommandLine::TAction Action;
  std::optional<std::string> Path;
};

void PrintTo(const LineCase& c, std::ostream* os) {
  for (const char* a : c.Args) *os << "'" << a << "' ";
}

class CommandLineTest : public testing::TestWithParam<LineCase> {};

TEST_P(CommandLineTest, TakesOneNameLeavesQtItsOptionsAndRefusesTheRest) {
  std::vector<const char*> argv{"glimmet"};
  argv.insert(argv.end(), GetParam().Args.begin(), GetParam().Args.end());
  const TCommandLine line = ParseCommandLine(int(argv.size()), argv.data());
  EXPECT_EQ(line.Action, GetParam().Action) << line.Problem;
  if (line.Action == TCommandLine::caRun) {
    EXPECT_EQ(line.Path, GetParam().Path);
  }
  EXPECT_EQ(line.Problem.empty(), line.Action != TCommandLine::caUsageError);
}

using enum TCommandLine::TAction;
INSTANTIATE_TEST_SUITE_P(
    Lines, CommandLineTest,
    testing::Values(LineCase{{}, caRun, std::nullopt}, LineCase{{"pics"}, caRun, "pics"},
                    LineCase{{"-"}, caRun, "-"}, LineCase{{"--", "-rf"}, caRun, "-rf"},
                    LineCase{{"--", "--help"}, caRun, "--help"},
                    LineCase{{"-platform", "offscreen", "pics"}, caRun, "pics"},
                    LineCase{{"--platform", "offscreen", "pics"}, caRun, "pics"},
                    LineCase{{"-style=fusion", "pics"}, caRun, "pics"},
                    LineCase{{"pics", "-reverse", "-display", ":1"}, caRun, "pics"},
                    LineCase{{"-reverse=yes"}, caUsageError, {}}, LineCase{{"-platform"}, caUsageError, {}},
                    LineCase{{"a", "b"}, caUsageError, {}}, LineCase{{"--bogus", "--help"}, caUsageError, {}},
                    LineCase{{"-x"}, caUsageError, {}}, LineCase{{"-h"}, caHelp, {}},
                    LineCase{{"pics", "--help", "--bogus"}, caHelp, {}}, LineCase{{"--version"}, caVersion, {}},
                    LineCase{{"-version"}, caUsageError, {}}));

// The program itself, where no display can be found: help, version and a
// refused line must be answered before Qt looks for one.
struct ProcessCase {
  QStringList Args;
  int Status;
  std::string Out;  // the start of standard output
  std::string Err;  // the start of standard error
};

void PrintTo(const ProcessCase& c, std::ostream* os) { *os << c.Args.join(' ').toStdString(); }

class ProgramLineTest : public testing::TestWithParam<ProcessCase> {};

TEST_P(ProgramLineTest, AnswersWithoutAWindow) {
  QProcess program;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
  program.setProcessEnvironment(env);
  program.start(GLIMMET_BUILD_DIR "/glimmet", GetParam().Args);
  ASSERT_TRUE(program.waitForFinished(20000));
  const std::string out = program.readAllStandardOutput().toStdString();
  const std::string err = program.readAllStandardError().toStdString();
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.exitCode(), GetParam().Status) << err;
  EXPECT_TRUE(out.starts_with(GetParam().Out)) << out;
  EXPECT_EQ(out.empty(), GetParam().Out.empty()) << out;
  EXPECT_TRUE(err.starts_with(GetParam().Err)) << err;
  EXPECT_EQ(err.empty(), GetParam().Err.empty()) << err;
}

INSTANTIATE_TEST_SUITE_P(
    Program, ProgramLineTest,
    testing::Values(ProcessCase{{"--help"}, 0, "Usage: glimmet [OPTION]... [FOLDER | PICTURE]\n", ""},
                    ProcessCase{{"-h", "no-such-folder"}, 0, "Usage: glimmet", ""},
                    ProcessCase{{"--version"}, 0, "glimmet " GLIMMET_VERSION "\n", ""},
                    ProcessCase{{"-platform", "offscreen", "--version"}, 0, "glimmet " GLIMMET_VERSION "\n", ""},
                    ProcessCase{{"--bogus"}, 2, "", "glimmet: unknown option '--bogus'\nUsage: glimmet"},
                    ProcessCase{{"one", "two"}, 2, "", "glimmet: more than one folder or picture given\nUsage:"}));

}  // namespace
