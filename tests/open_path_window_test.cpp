// What the person points at: a folder or picture named on the command line
// or dropped onto the window, each case both ways, checked against the
// folder's listing as read here. The line itself is read before any window.
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QMimeData>
#include <QProcess>
#include <QScrollBar>
#include <QTimer>
#include <QUrl>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>

#include "app/CommandLine.h"
#include "app/FolderModel.h"
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
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    const std::string name = e.path().filename();
    if (name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".jpg") == 0) names.push_back(name);
  }
  return names;
}

// What a case makes and expects.
struct Opening {
  std::vector<std::string> Args;  // the command line after the program's name
  std::string Dropped;            // the path a drop names
  std::string Selected;           // the tree's selection afterwards ("" for the data folder)
  std::string Listed;             // the folder whose pictures the grid shows ("" for the data folder)
  std::string Picture;            // the name of the picture opened, or ""
  std::string Error;              // the error text, or ""
  bool Unprivileged = false;
  bool DropRefused = false;  // a drop of it is refused as it is dragged over, and changes nothing
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
  using BrowserTest::AddPictures;
  using BrowserTest::Dir;

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
    QMimeData data;
    data.setUrls(urls);
    const QPoint at(500, 300);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Window.get(), &enter);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Window.get(), &drop);
    Settle();
    return enter.isAccepted();
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

// Named as arg, or as the path itself.
Opening Refused(const std::string& path, int error, bool unprivileged = false, const std::string& arg = "") {
  return {{arg.empty() ? path : arg}, path, "", "", "", OpenErrorText(path, std::strerror(error)), unprivileged};
}

// A drag of a path that is no folder and whose name the scan would not list.
Opening DropRefused(Opening opening) {
  opening.DropRefused = true;
  return opening;
}

Opening Locked(const std::string& path) {
  chmod(path.c_str(), 0);
  return Refused(path, EACCES, true);
}

// A folder named as typed, opened as a click on it would.
Opening Listed(const std::string& folder, std::vector<std::string> args = {}) {
  return {args.empty() ? std::vector<std::string>{folder} : args, folder, folder, folder, "", ""};
}

// A picture of folder, named as file, opened and clicked.
Opening Shown(const std::string& folder, const std::string& file, const std::string& name) {
  return {{file}, folder + "/" + name, folder, folder, name, ""};
}

// A red picture named so among two others of the folder.
Opening AddedPicture(OpenPathTest& t, const std::string& folder, const std::string& name) {
  const std::string path = t.AddPictures(folder, 2);
  WriteFile(path + "/" + name, FlatJpeg(kRed));
  return Shown(path, path + "/" + name, name);
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
       return Listed(t.Dir.AddSymlink("linked", "real"));
     }},
    {"LinkToAPicture",
     [](OpenPathTest& t) {
       const std::string real = t.AddPictures("real", 2);
       const std::string red = t.RedSlideFor(real, 1);
       const std::string folder = t.AddPictures("links", 2);
       const std::string link = t.Dir.AddSymlink("links/alias.jpg", real + "/" + red);
       return Shown(folder, link, "alias.jpg");
     }},
    // The grid lists "*.jpg" alone: the picture shows in the large view
    // with no slide selected.
    {"PictureTheFolderDoesNotList",
     [](OpenPathTest& t) { return DropRefused(AddedPicture(t, "mixed", "photo.jpeg")); }},
    {"Spaces", [](OpenPathTest& t) { return AddedPicture(t, "my  pictures ", " a b .jpg"); }},
    {"PictureNamedInNoUtf8", [](OpenPathTest& t) { return AddedPicture(t, "bytes", "\xE9t\xE9.jpg"); }},
    // The tree cannot name it and selects the folder above; the grid lists it.
    {"FolderNamedInNoUtf8",
     [](OpenPathTest& t) {
       const std::string folder = t.AddPictures("parent/d\xE9j\xE0", 3);
       return Opening{{folder}, folder, t.Dir / "parent", folder, "", ""};
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
    {"Missing", [](OpenPathTest& t) { return DropRefused(Refused(t.Dir / "gone", ENOENT)); }},
    {"RelativeMissing", [](OpenPathTest& t) { return Refused(t.Dir / "gone.jpg", ENOENT, false, "gone.jpg"); }},
    {"DanglingLink",
     [](OpenPathTest& t) { return Refused(t.Dir.AddSymlink("dangling.jpg", "nowhere.jpg"), ENOENT); }},
    {"BelowAFile",
     [](OpenPathTest& t) { return DropRefused(Refused(t.AddPictures("pics", 1) + "/p0.jpg/x", ENOTDIR)); }},
    {"UnreadablePicture", [](OpenPathTest& t) { return Locked(t.AddPictures("locked", 2) + "/p0.jpg"); }},
    {"UnreadableFolder", [](OpenPathTest& t) { return Locked(t.AddPictures("locked", 2)); }},
};

enum class TWay { Argument, Drop };

class OpenPathCaseTest : public OpenPathTest, public testing::WithParamInterface<std::tuple<OpenCase, TWay>> {};

TEST_P(OpenPathCaseTest, OpensAsAClickWouldOrReportsAndChangesNothing) {
  const auto& [c, way] = GetParam();
  // Everything below the temporary folder may be read by "nobody".
  chmod(Dir.Path().c_str(), 0755);
  Opening s = c.Make(*this);
  if (way == TWay::Drop && s.DropRefused) s = {{}, s.Dropped, "", "", "", "", s.Unprivileged, true};
  std::string err;  // captured around the opening alone, so that a sanitizer's report reaches the log
  {
    const UnprivilegedFileAccess user(s.Unprivileged);
    if (way == TWay::Argument) {
      testing::internal::CaptureStderr();
      OpenWithArguments(s.Args);
      err = testing::internal::GetCapturedStderr();
    } else {
      OpenWithArguments({});
      testing::internal::CaptureStderr();
      const bool taken = Drop(s.Dropped);
      err = testing::internal::GetCapturedStderr();
      EXPECT_EQ(taken, !s.DropRefused);
    }
  }
  TFrmGlimmet& w = *Window;

  // The listed folder is the tree's current one, at start too.
  EXPECT_EQ(w.ShellTreeView1->SelectedPath(), s.Selected.empty() ? Dir / "data" : s.Selected);
  const std::vector<std::string> listing = ListingOrder(s.Listed.empty() ? Dir / "data" : s.Listed);
  const int count = int(listing.size());
  EXPECT_EQ(w.FileList()->Count(), count);
  EXPECT_EQ(w.Thumbs1->Max(), count);
  // Listing a folder as a click does sets the bar's range; the data folder
  // at start-up leaves the laid-out 0 to 100.
  EXPECT_EQ(w.SBarThumbs->maximum(), s.Listed.empty() ? 100 : count);
  EXPECT_TRUE(w.Thumbs1->Visible());

  const auto at = std::find(listing.begin(), listing.end(), s.Picture);
  const int k = at == listing.end() ? 0 : int(at - listing.begin()) + 1;
  const int bar = k <= 6 ? 0 : (k - 1) / 2 * 2 + 1;
  EXPECT_EQ(w.SBarThumbs->value(), bar);
  for (int i = 1; i <= count; ++i) EXPECT_EQ(w.Thumbs1->Selection().Bit(i - 1), i == k) << "slide " << i;
  EXPECT_TRUE(k == 0 || Near(CoverOfSlide(k), kNavy, 0));
  const QImage view = LargeView();
  EXPECT_TRUE(Near(RgbAt(view, kLargeMiddle.x(), kLargeMiddle.y()), s.Picture.empty() ? kFace : kRed));
  EXPECT_TRUE(Near(RgbAt(view, kLeftOfLargePicture.x(), kLeftOfLargePicture.y()), kFace, 0));

  EXPECT_EQ(Errors, s.Error.empty() ? std::vector<std::string>{} : std::vector<std::string>{s.Error});
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

// Dropped while the grid still follows a move of the bar made in the same
// turn of the event loop: the smaller folder pulls the bar down to its count,
// and the picture's slide still comes into view and is the one clicked. With
// 3 pictures the top row starts at slide 3, and slide 2 lies left of it.
TEST_F(OpenPathTest, DropRightAfterAMoveOfTheBarScrollsToThePictureAndClicksIt) {
  struct Row {
    int Count, Slide, Bar;
  };
  for (const Row& row : {Row{12, 7, 7}, Row{3, 2, 1}}) {
    SCOPED_TRACE(row.Count);
    const std::string folder = AddPictures("n" + std::to_string(row.Count), row.Count);
    const std::string name = RedSlideFor(folder, row.Slide);
    TFrmGlimmet& w = OpenWithArguments({});
    w.SBarThumbs->setValue(50);
    EXPECT_TRUE(Drop(folder + "/" + name));
    EXPECT_EQ(w.SBarThumbs->value(), row.Bar);
    EXPECT_EQ(w.Thumbs1->ScrollPosition(), double(row.Bar));
    for (int i = 1; i <= row.Count; ++i) EXPECT_EQ(w.Thumbs1->Selection().Bit(i - 1), i == row.Slide) << i;
    EXPECT_TRUE(Near(RgbAt(LargeView(), kLargeMiddle.x(), kLargeMiddle.y()), kRed));
    EXPECT_TRUE(Errors.empty()) << Errors.front();
  }
}

// The tree reads "/" and the folders above the chosen one on a thread of its
// own and sorts what it read in afterwards, which moves the chosen row: it
// stays in view until the person turns to the tree.
TEST_F(OpenPathTest, ChosenFolderStaysInViewWhileTheTreeReadsTheFoldersAroundIt) {
  const std::string folder = AddPictures("a/b/c/pics", 1);
  for (const char* sibling : {"a/b/c/0", "a/b/c/1", "a/b/c/2", "a/b/c/3", "a/b/c/4", "a/b/c/5"})
    Dir.AddDir(sibling);
  TFrmGlimmet& w = OpenWithArguments({folder});
  TShellTreeView& tree = *w.ShellTreeView1;
  // The model lists folders one after the other, in the order asked: the
  // folders from "/" down are asked first (unless the tree has already), the
  // chosen one, which shows nothing, last; once it is listed, so are they,
  // and the loop's next turns sort their rows in. (The timer is a guard.)
  QFileSystemModel& model = tree.Model();
  std::vector<QModelIndex> chain;
  for (QModelIndex up = model.index(QString::fromStdString(folder)); up.isValid(); up = up.parent())
    chain.insert(chain.begin(), up);
  ASSERT_TRUE(model.canFetchMore(chain.back()));
  QEventLoop loop;
  bool listed = false;
  QObject::connect(&model, &QFileSystemModel::directoryLoaded, &loop, [&](const QString& path) {
    listed = listed || path == QString::fromStdString(folder);
    if (listed) loop.quit();
  });
  QTimer::singleShot(20000, &loop, &QEventLoop::quit);
  for (const QModelIndex& index : chain) {
    if (model.canFetchMore(index)) model.fetchMore(index);
  }
  loop.exec();
  ASSERT_TRUE(listed) << "the chosen folder was never listed";
  Settle();
  ASSERT_EQ(tree.SelectedPath(), folder);
  const QRect row = tree.visualRect(tree.currentIndex());
  EXPECT_TRUE(tree.viewport()->rect().contains(row)) << row.y() << " in " << tree.viewport()->height();
  EXPECT_GT(tree.verticalScrollBar()->value(), 0);
}

// Only local files are taken, the first of several that is a folder or a
// file the scan would list (*.jpg in any case); Qt routes drops to a window
// only when it accepts them, so a refused drag changes nothing: the tree,
// the grid, the bar and the large view stay, and no box opens.
TEST_F(OpenPathTest, DragsOfNoFolderOrListedPictureAreRefusedAndChangeNothing) {
  const std::string folder = AddPictures("pics", 3);
  WriteFile(folder + "/photo.jpeg", FlatJpeg(kRed));
  WriteFile(folder + "/notes.png", FlatJpeg(kGreen));
  WriteFile(folder + "/UPPER.JPG", FlatJpeg(kRed));
  const std::string text = Dir.AddFile("etc/hostname", "glimmet\n");
  TFrmGlimmet& w = OpenWithArguments({});
  EXPECT_TRUE(w.acceptDrops());
  const QUrl local = QUrl::fromLocalFile(QString::fromStdString(folder + "/photo.jpeg"));
  const QList<QUrl> refused[] = {{},
                                 {QUrl("https://example.org/pics/p0.jpg")},
                                 {QUrl::fromLocalFile(QString::fromStdString(text))},
                                 {local},
                                 {QUrl::fromLocalFile(QString::fromStdString(folder + "/notes.png"))},
                                 {QUrl::fromLocalFile(QString::fromStdString(Dir / "gone"))}};
  w.SBarThumbs->setValue(7);
  for (const QList<QUrl>& urls : refused) {
    SCOPED_TRACE(urls.isEmpty() ? "no URL" : urls.first().toString().toStdString());
    EXPECT_FALSE(DropUrls(urls));
    EXPECT_EQ(w.ShellTreeView1->SelectedPath(), Dir / "data");
    EXPECT_EQ(w.FileList()->Count(), 2);
    EXPECT_EQ(w.SBarThumbs->value(), 7);
    EXPECT_TRUE(w.Thumbs1->Visible());
  }
  EXPECT_TRUE(Errors.empty()) << Errors.front();
  EXPECT_TRUE(
      DropUrls({QUrl("https://example.org/x.jpg"), local, QUrl::fromLocalFile(QString::fromStdString(Dir / "data")),
                QUrl::fromLocalFile(QString::fromStdString(folder))}));
  EXPECT_EQ(w.ShellTreeView1->SelectedPath(), Dir / "data") << "the first folder of the drop";
  EXPECT_TRUE(DropUrls({local, QUrl::fromLocalFile(QString::fromStdString(folder + "/UPPER.JPG"))}));
  EXPECT_EQ(w.ShellTreeView1->SelectedPath(), folder);
  EXPECT_EQ(w.FileList()->Count(), 4);
  EXPECT_TRUE(Near(RgbAt(LargeView(), kLargeMiddle.x(), kLargeMiddle.y()), kRed));
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

// The line is read before any window; help, version and a refused line are
// answered by the program itself where no display can be found, before Qt
// looks for one.
TEST(CommandLineTest, TakesOneNameLeavesQtItsOptionsAndAnswersTheRestWithoutAWindow) {
  using enum TCommandLine::TAction;
  struct Row {
    std::vector<const char*> Args;
    TCommandLine::TAction Action;
    std::optional<std::string> Text;  // the path taken, or the problem refused
  };
  const Row rows[] = {
      {{}, caRun, std::nullopt},
      {{"pics"}, caRun, "pics"},
      {{"-"}, caRun, "-"},
      {{"--", "-rf"}, caRun, "-rf"},
      {{"--", "--help"}, caRun, "--help"},
      {{"-platform", "offscreen", "pics"}, caRun, "pics"},
      {{"--platform", "offscreen", "pics"}, caRun, "pics"},
      {{"-style=fusion", "pics"}, caRun, "pics"},
      {{"pics", "-reverse", "-display", ":1"}, caRun, "pics"},
      {{"-reverse=yes"}, caUsageError, "unknown option '-reverse=yes'"},
      {{"-platform"}, caUsageError, "option '-platform' needs a value"},
      {{"a", "b"}, caUsageError, "more than one folder or picture given"},
      {{"--bogus", "--help"}, caUsageError, "unknown option '--bogus'"},
      {{"-x"}, caUsageError, "unknown option '-x'"},
      {{"-version"}, caUsageError, "unknown option '-version'"},
      {{"--help"}, caHelp, {}},
      {{"-h", "no-such-folder"}, caHelp, {}},
      {{"pics", "--help", "--bogus"}, caHelp, {}},
      {{"--version"}, caVersion, {}},
      {{"-platform", "offscreen", "--version"}, caVersion, {}},
  };
  const std::string usage = "Usage: glimmet [OPTION]... [FOLDER | PICTURE]\n";
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
  for (const Row& row : rows) {
    std::vector<const char*> argv{"glimmet"};
    argv.insert(argv.end(), row.Args.begin(), row.Args.end());
    QStringList args;
    for (const char* a : row.Args) args << a;
    SCOPED_TRACE(args.join(' ').toStdString());
    const TCommandLine line = ParseCommandLine(int(argv.size()), argv.data());
    EXPECT_EQ(line.Action, row.Action) << line.Problem;
    if (row.Action == caRun) {
      EXPECT_EQ(line.Path, row.Text);
      EXPECT_EQ(line.Problem, "");
      continue;
    }
    EXPECT_EQ(line.Problem, row.Text.value_or(""));
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(GLIMMET_BUILD_DIR "/glimmet", args);
    ASSERT_TRUE(program.waitForFinished(20000));
    const std::string out = program.readAllStandardOutput().toStdString();
    const std::string err = program.readAllStandardError().toStdString();
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), row.Action == caUsageError ? 2 : 0) << err;
    // Help and refusals begin with the usage; the version is all there is.
    const std::string& said = row.Action == caUsageError ? err : out;
    const std::string wanted = row.Action == caVersion ? "glimmet " GLIMMET_VERSION "\n"
                               : row.Action == caHelp  ? usage
                                                       : "glimmet: " + *row.Text + "\n" + usage;
    EXPECT_EQ(said.substr(0, row.Action == caVersion ? said.npos : wanted.size()), wanted);
    EXPECT_EQ(row.Action == caUsageError ? out : err, "");
  }

  // Help and version that cannot be written, and a start without a display:
  // one line on standard error and status 1 (Qt would abort with 134).
  struct Failing {
    QStringList Args;
    QString Display;  // "" for none
    bool FullOutput;
    std::string Said;
  };
  const Failing failing[] = {
      {{"--help"}, "", true, "glimmet: cannot write to standard output: No space left on device\n"},
      {{"--version"}, "", true, "glimmet: cannot write to standard output: No space left on device\n"},
      {{}, "", false, "glimmet: cannot open the display: neither DISPLAY nor WAYLAND_DISPLAY is set\n"},
      {{}, ":9999", false, "glimmet: cannot open the display \":9999\"\n"}};
  for (const Failing& row : failing) {
    SCOPED_TRACE(row.Args.join(' ').toStdString() + " " + row.Display.toStdString());
    QProcess program;
    QProcessEnvironment rowEnv = env;
    if (!row.Display.isEmpty()) rowEnv.insert("DISPLAY", row.Display);
    program.setProcessEnvironment(rowEnv);
    if (row.FullOutput) program.setStandardOutputFile("/dev/full");
    program.start(GLIMMET_BUILD_DIR "/glimmet", row.Args);
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 1);
    EXPECT_EQ(program.readAllStandardError().toStdString(), row.Said);
  }
}

}  // namespace
