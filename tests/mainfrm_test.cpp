// The browser window under Qt's offscreen platform, on a temporary folder of
// generated pictures: listing, ranges, scrolling, the wait cursor, the large
// view, layout, the start-up's runtime folder, errors that reach the sink,
// and awkward names on their whole way from the folder tree (Qt strings) to
// the file list (bytes as the directory gave them) to the open: each is
// listed and loaded, or refused clearly, and none turns into another file.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileSystemModel>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QSplitter>
#include <QSplitterHandle>
#include <QToolTip>
#include <QTimer>
#include <QWheelEvent>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <set>
#include <tuple>

#include <cstdio>  // jpeglib.h needs FILE
#include <jpeglib.h>
#include <jerror.h>

#include "app/FolderModel.h"
#include "app/FolderWatch.h"
#include "app/FullScreen.h"
#include "app/ShellTreeView.h"
#include "app/SlideToolTip.h"
#include "support/BrowserTest.h"

using namespace jpegmaker;
using namespace browsertest;
namespace fs = std::filesystem;

namespace {

const std::string kNoSoi = "JPEG error #" + std::to_string(JERR_NO_SOI) + ".";

const Rgb kBlack{0, 0, 0};
const Rgb kShadow{0xA0, 0xA0, 0xA0};  // the scheme's button shadow
const Rgb kHighlight{0x00, 0x78, 0xD7};

struct PixelRow {
  int X, Y;
  Rgb Colour;
  int Tolerance = 0;
};

void ExpectPixels(const QImage& image, std::span<const PixelRow> rows, QPoint offset = {}) {
  for (const PixelRow& row : rows) {
    EXPECT_TRUE(Near(RgbAt(image, offset.x() + row.X, offset.y() + row.Y), row.Colour, row.Tolerance))
        << "at " << row.X << "," << row.Y;
  }
}

class MainWindowTest : public BrowserTest {
 protected:
  // Slide of the listed file name (1-based), 0 when it is not listed.
  int SlideOf(const std::string& name) const {
    const TStringList& list = *Window->FileList();
    for (int i = 0; i < list.Count(); ++i) {
      if (ExtractFileName(list[i]) == name) return i + 1;
    }
    return 0;
  }
};

// Pictures 64 x 48 fill columns 17..136, rows 34..123 of slide 1; its
// lowered frame takes the first two and the last two of them. A folder
// without pictures hides the grid, the next folder shows it; once the
// window is closed, events change nothing.
TEST_F(MainWindowTest, StartUpListsTheDataFolderAFolderWithoutPicturesHidesTheGridAndCloseEndsIt) {
  AddPictures("data", 3, {kYellow});
  const std::string empty = Dir.AddDir("empty");
  Dir.AddFile("empty/notes.txt", "no pictures here");
  const std::string five = AddPictures("five", 5, {kBlue});
  const std::string more = AddPictures("more", 3, {kBlue});
  // The first frame comes before the grid's first paint: the tree, and the
  // grid's background where the grid will be, never its blank surface.
  Window = std::make_unique<TFrmGlimmet>();
  int firstPaints = 0;
  const TNotifyEvent request = Window->Thumbs1->OnFirstImageRequest;
  Window->Thumbs1->OnFirstImageRequest = [&](TObject* sender) {
    ++firstPaints;
    request(sender);
  };
  Window->show();
  EXPECT_EQ(firstPaints, 0);
  EXPECT_EQ(Window->FileList()->Count(), 0);
  const QImage firstFrame = Window->grab().toImage();
  EXPECT_TRUE(Near(RgbAt(firstFrame, kGridInWindow.x() + 77, kGridInWindow.y() + 79), kFace, 0));
  Settle();
  EXPECT_GE(firstPaints, 1);  // once on the screen (the grab above asked for one too)
  Window->Thumbs1->OnFirstImageRequest = request;
  TFrmGlimmet& w = *Window;
  EXPECT_EQ(FrmGlimmet, &w);
  EXPECT_EQ(w.ExeDir(), Dir.Path() + "/");
  const TStringList& list = *w.FileList();
  ASSERT_EQ(list.Count(), 3);
  const std::string data = AnsiUpperCaseAscii(Dir.Path() + "/data/");
  std::set<std::string> listed;
  for (int i = 0; i < list.Count(); ++i) listed.insert(list[i]);
  EXPECT_EQ(listed, (std::set<std::string>{data + "p0.jpg", data + "p1.jpg", data + "p2.jpg"}));
  EXPECT_EQ(QSize(w.Thumbs1->Min(), w.Thumbs1->Max()), QSize(1, 3));
  EXPECT_EQ(QSize(w.SBarThumbs->minimum(), w.SBarThumbs->maximum()), QSize(0, 100));
  EXPECT_EQ(w.SBarThumbs->value(), 0);
  EXPECT_TRUE(w.Thumbs1->Visible() && w.Thumbs1Host->isVisible());
  EXPECT_TRUE(Errors.empty());
  // The picture, the cover above and below it, slide 1's raised outer frame
  // and the grid's lowered control frame.
  const PixelRow slide[] = {{19, 36, kYellow, 8}, {77, 79, kYellow, 8},    {134, 121, kYellow, 8},
                            {77, 32, kSilver},    {77, 125, kSilver},      {10, 12, kWhite},
                            {144, 146, kBlack},   {0, 0, {128, 128, 128}}, {1, 1, kBlack},
                            {297, 451, kWhite},   {298, 452, kFace}};
  ExpectPixels(Shot(), slide, kGridInWindow);

  std::vector<std::pair<int, bool>> cursors;
  w.Thumbs1->OnSlideRendered = [&](TObject*, TCanvas&, int, int, int) {
    const QCursor* c = QGuiApplication::overrideCursor();
    cursors.emplace_back(Screen.Cursor(), c && c->shape() == Qt::WaitCursor);
  };
  w.Thumbs1->Repaint();
  EXPECT_EQ(cursors, (std::vector<std::pair<int, bool>>(3, {crHourGlass, true})));
  EXPECT_EQ(Screen.Cursor(), crDefault);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

  ASSERT_TRUE(w.ChooseFolder(empty));
  EXPECT_FALSE(w.Thumbs1->Visible());
  EXPECT_FALSE(w.Thumbs1Host->isVisible());
  EXPECT_EQ(w.Thumbs1->Max(), 3);
  EXPECT_EQ(w.SBarThumbs->maximum(), 100);
  w.SBarThumbs->setValue(7);  // the bar still moves, without visible effect
  // The bar keeps its laid-out place; the grid's area shows the panel.
  EXPECT_EQ(w.SBarThumbs->mapTo(w.Panel1, QPoint(0, 0)), QPoint(300, 137));
  EXPECT_TRUE(Near(GridPixel(InsideSlide(1)), kFace, 0));

  const int& paints = CountPaints();
  ASSERT_TRUE(w.ChooseFolder(five));
  Shot();
  Settle();
  EXPECT_EQ(paints, 1) << "showing the grid costs one paint";
  EXPECT_TRUE(w.Thumbs1->Visible() && w.Thumbs1Host->isVisible());
  EXPECT_EQ(w.FileList()->Count(), 5);
  EXPECT_EQ(w.Thumbs1->Max(), 5);
  EXPECT_EQ(w.SBarThumbs->maximum(), 5);
  EXPECT_EQ(w.SBarThumbs->value(), 5);
  EXPECT_TRUE(Near(GridPixel(InsideSlide(1)), kBlue));
  // Another folder of as many pictures shows its own.
  ASSERT_TRUE(w.ChooseFolder(AddPictures("reds", 5, {kRed})));
  EXPECT_TRUE(Near(GridPixel(InsideSlide(1)), kRed));

  w.close();
  EXPECT_EQ(w.FileList(), nullptr);
  w.Thumbs1->Repaint();
  TImageRequestProcessing how = irpShowEmpty;
  int mark = -1;
  TBitmap buffer;
  TBitmap* bufferRef = &buffer;
  w.Thumbs1ImageRequest(w.Thumbs1, 1, how, mark, bufferRef);
  EXPECT_EQ(how, irpShowEmpty);
  w.Thumbs1ImageClick(w.Thumbs1, 77, 79, 1);
  EXPECT_TRUE(w.ChooseFolder(more));
  w.SBarThumbs->setValue(2);
  w.show();
  Settle();
  EXPECT_EQ(w.FileList(), nullptr);
  EXPECT_TRUE(Errors.empty());
}

// Centred with its frame on the offscreen 1280 x 1024 screen, truncating:
// (1280 - 948) / 2 and (1024 - 595) / 2. Qt's widgets and the canvas share
// the scheme's colours; both panels carry a 1-pixel raised bevel. Slide 1 of
// an empty folder is answered with nothing: its white card (columns 17..136,
// rows 39..118) shows, its number in the middle.
TEST_F(MainWindowTest, PartsSitAtTheirLaidOutBoundsInTheSchemesColoursTakeAResizeAndTheSplitterDrags) {
  TFrmGlimmet& w = Open();
  ASSERT_EQ(w.screen()->geometry(), QRect(0, 0, 1280, 1024));
  EXPECT_EQ(w.frameGeometry().size(), QSize(948, 595));
  EXPECT_EQ(w.pos(), QPoint(166, 214));
  EXPECT_EQ(w.size(), QSize(944, 591));
  EXPECT_EQ(w.windowTitle(), "Glimmet");
  EXPECT_EQ(w.Panel1->geometry(), QRect(0, 0, 321, 591));
  EXPECT_EQ(w.Panel2->geometry(), QRect(321, 0, 623, 591));
  EXPECT_EQ(w.LargeImgView->geometry(), QRect(1, 1, 621, 589));
  const auto inPanel1 = [&](QWidget* child) { return QRect(child->mapTo(w.Panel1, QPoint(0, 0)), child->size()); };
  EXPECT_EQ(inPanel1(w.ShellTreeView1), QRect(1, 1, 319, 128));
  EXPECT_EQ(inPanel1(w.Thumbs1Host), QRect(1, 137, 299, 453));
  EXPECT_EQ(inPanel1(w.SBarThumbs), QRect(300, 137, 20, 453));
  EXPECT_EQ(QSize(w.Thumbs1->Width(), w.Thumbs1->Height()), QSize(299, 453));
  EXPECT_EQ(w.Thumbs1->SlideSelectMode(), ssmSingle);
  EXPECT_FALSE(w.Thumbs1->AntiAlias());
  EXPECT_EQ(QSize(w.Thumbs1->NumColumns(), w.Thumbs1->NumRows()), QSize(2, 4));
  EXPECT_EQ(w.FileList()->Count(), 0);
  EXPECT_EQ(w.Thumbs1->Max(), 1);
  EXPECT_TRUE(w.Thumbs1Host->isVisible());

  const std::pair<QPalette::ColorRole, QColor> roles[] = {
      {QPalette::Window, {0xF0, 0xF0, 0xF0}}, {QPalette::Button, {0xF0, 0xF0, 0xF0}},
      {QPalette::Light, {0xFF, 0xFF, 0xFF}},  {QPalette::Midlight, {0xE3, 0xE3, 0xE3}},
      {QPalette::Mid, {0xA0, 0xA0, 0xA0}},    {QPalette::Dark, {0xA0, 0xA0, 0xA0}},
      {QPalette::Shadow, {0x69, 0x69, 0x69}}, {QPalette::Highlight, {0x00, 0x78, 0xD7}}};
  for (const auto& [role, colour] : roles) EXPECT_EQ(w.palette().color(role), colour) << role;
  EXPECT_EQ(w.font().family(), "DejaVu Sans");
  EXPECT_EQ(w.font().pixelSize(), 13);
  const QImage shot = Shot();
  const PixelRow bevels[] = {{0, 300, kWhite},   {160, 0, kWhite},    {320, 300, kShadow}, {160, 590, kShadow},
                             {321, 300, kWhite}, {943, 300, kShadow}, {600, 590, kShadow}, {600, 300, kFace}};
  ExpectPixels(shot, bevels);
  const PixelRow card[] = {{30, 50, kWhite}, {77, 30, kSilver}};
  ExpectPixels(shot, card, kGridInWindow);

  w.resize(1044, 691);
  Settle();
  EXPECT_EQ(w.Panel1->width(), 321);
  EXPECT_EQ(w.ShellTreeView1->height(), 128);
  EXPECT_EQ(w.LargeImgView->size(), QSize(721, 689));
  EXPECT_EQ(QSize(w.Thumbs1->Width(), w.Thumbs1->Height()), QSize(299, 553));

  // A drag of the splitter applies on the release; one that leaves the tree
  // lower than 30 collapses it, from 29 down to a single pixel.
  QSplitterHandle* handle = w.Splitter1->handle(1);
  const PixelRow bevel[] = {{100, 0, kWhite}, {100, 3, kFace}, {100, 7, kShadow}};  // light above, shadow below
  ExpectPixels(handle->grab().toImage(), bevel);
  const std::pair<int, int> drags[] = {{60, 60}, {30, 30}, {29, 0}, {60, 60}, {1, 0}, {20, 0}};
  for (const auto& [dragged, tree] : drags) {
    SCOPED_TRACE(testing::Message() << "dragged to " << dragged);
    const QPoint grip(50, 4);
    const int before = w.Splitter1->sizes()[0];
    const QPoint to = grip + QPoint(0, dragged - before);
    SendMouse(handle, QEvent::MouseButtonPress, grip, Qt::LeftButton, Qt::LeftButton);
    SendMouse(handle, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(w.Splitter1->sizes()[0], before) << "moved before the release";
    // A pattern line where the handle will go, every other pixel dark (not
    // drawn in the handle's way at one pixel).
    const QImage shot = w.Splitter1->grab().toImage();
    if (dragged > 1) {
      EXPECT_NE(RgbAt(shot, 100, dragged + 3).R == 0, RgbAt(shot, 101, dragged + 3).R == 0);
    }
    SendMouse(handle, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    Settle();
    EXPECT_EQ(w.Splitter1->sizes()[0], tree);
    EXPECT_EQ(w.Thumbs1->Height(), 553 + 128 - tree);
  }
}

// The bar's range is the layout's 0..100; the grid clamps to its Max, 10,
// the row of slides 9 and 10 half a row up. A smaller folder pulls the bar
// down to its count, a larger one leaves it. The first move of a turn of the
// event loop scrolls at once, the others once the turn's input is handled,
// to where the bar is then.
TEST_F(MainWindowTest, BarTakesTheFirstFocusMovesByKeysAndTheWheelAndScrollsTheGridByHalfRows) {
  const std::string ten = AddPictures("data", 10, {kGreen}, 16, 16);
  const std::string forty = AddPictures("forty", 40, {kGreen}, 16, 16);
  const std::string fifty = AddPictures("fifty", 50, {kGreen}, 16, 16);
  TFrmGlimmet& w = Open();
  EXPECT_EQ(w.focusWidget(), w.SBarThumbs);
  QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
  QApplication::sendEvent(w.SBarThumbs, &tab);
  EXPECT_EQ(w.focusWidget(), w.ShellTreeView1);
  struct Step {
    int Key;
    int Position;
    double Scroll;
  };
  const Step steps[] = {{Qt::Key_Down, 1, 1.0},     {Qt::Key_PageDown, 2, 1.5}, {Qt::Key_End, 100, 9.5},
                        {Qt::Key_Up, 99, 9.5},      {Qt::Key_Home, 0, 1.0},     {Qt::Key_Down, 1, 1.0},
                        {Qt::Key_PageDown, 2, 1.5}, {Qt::Key_PageUp, 1, 1.0}};
  for (const Step& step : steps) {
    QKeyEvent press(QEvent::KeyPress, step.Key, Qt::NoModifier);
    QApplication::sendEvent(w.SBarThumbs, &press);
    QApplication::processEvents();
    EXPECT_EQ(w.SBarThumbs->value(), step.Position) << step.Key;
    EXPECT_DOUBLE_EQ(w.Thumbs1->ScrollPosition(), step.Scroll) << step.Key;
  }
  // A notch of the wheel over the grid turns the bar one step.
  QWheelEvent wheel(QPointF(50, 50), QPointF(w.Thumbs1Host->mapToGlobal(QPoint(50, 50))), QPoint(), QPoint(0, -120),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(w.Thumbs1Host, &wheel);
  QApplication::processEvents();
  EXPECT_EQ(w.SBarThumbs->value(), 2);
  EXPECT_DOUBLE_EQ(w.Thumbs1->ScrollPosition(), 1.5);

  ASSERT_TRUE(w.ChooseFolder(forty));
  w.SBarThumbs->setValue(35);
  EXPECT_DOUBLE_EQ(w.Thumbs1->ScrollPosition(), 35.0);
  ASSERT_TRUE(w.ChooseFolder(fifty));
  EXPECT_EQ(w.SBarThumbs->value(), 35);
  EXPECT_DOUBLE_EQ(w.Thumbs1->ScrollPosition(), 35.0);
  ASSERT_TRUE(w.ChooseFolder(forty));
  w.SBarThumbs->setValue(35);
  ASSERT_TRUE(Choose(ten));
  EXPECT_EQ(w.SBarThumbs->value(), 10);
  EXPECT_DOUBLE_EQ(w.Thumbs1->ScrollPosition(), 9.5);
  std::vector<int> painted;
  w.Thumbs1->OnLastImageRequest = [&](TObject*) { painted.push_back(int(w.Thumbs1->ScrollPosition() * 2)); };
  w.SBarThumbs->setValue(4);
  EXPECT_DOUBLE_EQ(w.Thumbs1->ScrollPosition(), 3.5);
  for (const int value : {0, 6, 3}) w.SBarThumbs->setValue(value);
  EXPECT_DOUBLE_EQ(w.Thumbs1->ScrollPosition(), 3.5);
  QApplication::processEvents();
  EXPECT_DOUBLE_EQ(w.Thumbs1->ScrollPosition(), 3.0);
  w.SBarThumbs->setValue(0);
  QApplication::processEvents();
  EXPECT_DOUBLE_EQ(w.Thumbs1->ScrollPosition(), 1.0);
  EXPECT_EQ(painted, (std::vector<int>{7, 6, 2}));
}

// The grid by keys, on 15 slides in two columns and 3 whole rows (the
// boxes of rows at 12, 148 and 284 end by 443, the grid's 453 less its
// 10-pixel border): a slide above the view brings its row to the top, one
// below it to the bottom row, through the bar, whose value is then the
// first slide of the top row and equals the scroll position. Page Up/Down
// move by 3 rows; moves stop at the first and last slide. With nothing
// selected a key selects the first slide wholly in view. Return and Space
// click the selected slide: the same events as a click, the large view
// shows it. The bar keeps its own keys (the bar's suite above).
TEST_F(MainWindowTest, KeysMoveTheSelectedSlideTheBarFollowsAndReturnShowsIt) {
  const std::string folder = AddPictures("fifteen", 15, {kGreen});
  TFrmGlimmet& w = Open();
  ASSERT_TRUE(Choose(folder));
  Click(w.Thumbs1Host, {145, 79});  // beside every slide: nothing selected
  w.activateWindow();
  w.SBarThumbs->setFocus();
  const QRect gridArea(kGridInWindow, w.Thumbs1Host->size());
  const QImage unfocused = Shot().copy(gridArea);
  // Tab leads from the bar to the tree and on to the grid (a click gives the
  // grid the focus too: the end-to-end run).
  for (QWidget* from : {static_cast<QWidget*>(w.SBarThumbs), static_cast<QWidget*>(w.ShellTreeView1)}) {
    from->setFocus();
    QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
    QApplication::sendEvent(from, &tab);
  }
  EXPECT_EQ(w.focusWidget(), w.Thumbs1Host);
  // The focus shows as a band two pixels wide along the grid's edges in the
  // highlight colour; every other pixel is the grid's own, as without it.
  {
    const QImage focused = Shot().copy(gridArea);
    const int width = gridArea.width(), height = gridArea.height();
    int marked = 0, kept = 0;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const bool band = x < 2 || y < 2 || x >= width - 2 || y >= height - 2;
        marked += band && bool(Near(RgbAt(focused, x, y), kHighlight, 0));
        kept += !band && focused.pixel(x, y) == unfocused.pixel(x, y);
      }
    }
    EXPECT_EQ(marked, 2 * 2 * (width + height) - 16);
    EXPECT_EQ(kept, (width - 4) * (height - 4));
  }
  std::vector<int> clicked;
  w.Thumbs1->OnImageClick = [&, click = w.Thumbs1->OnImageClick](TObject* sender, int x, int y, int id) {
    clicked.push_back(id);
    click(sender, x, y, id);
  };
  // Rows on the large view step its picture: each shown slide is clicked,
  // the view keeps the focus, and the way of travel is kept for reading ahead.
  struct Row {
    int Key;
    int Selected;
    int Bar;
    bool View = false;
    int Direction = 0;
  };
  const Row rows[] = {{Qt::Key_Down, 1, 0},
                      {Qt::Key_Right, 2, 0},
                      {Qt::Key_Down, 4, 0},
                      {Qt::Key_Down, 6, 0},
                      {Qt::Key_Down, 8, 3},
                      {Qt::Key_Left, 7, 3},
                      {Qt::Key_PageDown, 13, 9},
                      {Qt::Key_End, 15, 11},
                      {Qt::Key_Down, 15, 11},
                      {Qt::Key_Right, 15, 11},
                      {Qt::Key_Up, 13, 11},
                      {Qt::Key_PageUp, 7, 7},
                      {Qt::Key_Up, 5, 5},
                      {Qt::Key_Home, 1, 1},
                      {Qt::Key_Left, 1, 1},
                      {Qt::Key_PageDown, 7, 3},
                      {Qt::Key_PageUp, 1, 1},
                      {Qt::Key_Right, 2, 1, true, 1},
                      {Qt::Key_Down, 3, 1, true, 1},
                      {Qt::Key_Space, 4, 1, true, 1},
                      {Qt::Key_PageDown, 5, 1, true, 1},
                      {Qt::Key_Down, 6, 1, true, 1},
                      {Qt::Key_Right, 7, 3, true, 1},
                      {Qt::Key_Backspace, 6, 3, true, -1},
                      {Qt::Key_End, 15, 11, true, -1},
                      {Qt::Key_Right, 15, 11, true, 1},
                      {Qt::Key_Left, 14, 11, true, -1},
                      {Qt::Key_Up, 13, 11, true, -1},
                      {Qt::Key_PageUp, 12, 11, true, -1},
                      {Qt::Key_Home, 1, 1, true, 1}};
  std::vector<int> shown;
  for (const Row& row : rows) {
    QWidget* to = row.View ? static_cast<QWidget*>(w.LargeImgView) : w.Thumbs1Host;
    to->setFocus();
    QKeyEvent press(QEvent::KeyPress, row.Key, Qt::NoModifier);
    QApplication::sendEvent(to, &press);
    Settle();
    SCOPED_TRACE(testing::Message() << "key " << std::hex << row.Key << std::dec << " to slide " << row.Selected);
    EXPECT_EQ(w.Thumbs1->SelectAnchor(), row.Selected);
    for (int k = 1; k <= 15; ++k) EXPECT_EQ(w.Thumbs1->Selection().Bit(k - 1), k == row.Selected) << k;
    EXPECT_EQ(w.SBarThumbs->value(), row.Bar);
    EXPECT_DOUBLE_EQ(w.Thumbs1->ScrollPosition(), std::max(1, row.Bar));
    // The selected slide's navy cover, 10 pixels into its box, on the screen.
    const int top = std::max(1, row.Bar), r = (row.Selected - top) / 2, c = (row.Selected - 1) % 2;
    EXPECT_TRUE(Near(GridPixel({10 + 136 * c + 67, 12 + 136 * r + 10}), {0, 0, 0x80}, 0));
    if (!row.View) continue;
    if (shown.empty() || shown.back() != row.Selected) shown.push_back(row.Selected);
    EXPECT_EQ(clicked, shown);
    EXPECT_EQ(w.focusWidget(), w.LargeImgView);
    EXPECT_EQ(w.FLargeDirection, row.Direction);
    EXPECT_EQ(w.LargeImgView->toolTip().toStdString(),
              ExtractFileName((*w.FileList())[std::size_t(row.Selected - 1)]));
  }
  // One notch of the wheel over the large view, one picture: turned toward
  // the person forward; half notches add up.
  for (const auto& [delta, selected] :
       std::initializer_list<std::pair<int, int>>{{-120, 2}, {60, 2}, {60, 1}, {-240, 3}}) {
    QWheelEvent wheel(QPointF(300, 300), w.LargeImgView->mapToGlobal(QPointF(300, 300)), {}, {0, delta},
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w.LargeImgView, &wheel);
    EXPECT_EQ(w.Thumbs1->SelectAnchor(), selected) << delta;
  }
  clicked.clear();
  w.Thumbs1Host->setFocus();
  for (const int key : {Qt::Key_Home, Qt::Key_Right, Qt::Key_Return}) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(w.Thumbs1Host, &press);
    Settle();
  }
  EXPECT_EQ(clicked, std::vector<int>{2});
  EXPECT_EQ(w.LargeImg->Picture().Width(), 64);
  EXPECT_EQ(w.LargeImgView->toolTip().toStdString(), ExtractFileName((*w.FileList())[1]));
  QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
  QApplication::sendEvent(w.Thumbs1Host, &space);
  EXPECT_EQ(clicked, (std::vector<int>{2, 2}));
  // Keys the grid has no use for go on to the window; Tab leaves the grid.
  QKeyEvent letter(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
  QApplication::sendEvent(w.Thumbs1Host, &letter);
  EXPECT_EQ(w.Thumbs1->SelectAnchor(), 2);
  // The large view shows the focus on the panel's frame around it, one
  // pixel wide, so that its picture keeps every pixel.
  w.LargeImgView->setFocus();
  const QPoint view = w.Panel2->mapTo(&w, QPoint(0, 0));
  const int right = w.Panel2->width() - 1, bottom = w.Panel2->height() - 1;
  const PixelRow viewMark[] = {{0, 0, kHighlight},          {0, 300, kHighlight},      {1, 300, kFace},
                               {right, bottom, kHighlight}, {300, bottom, kHighlight}, {300, bottom - 1, kFace},
                               {right, 0, kHighlight},      {right - 1, 300, kFace}};
  ExpectPixels(Shot(), viewMark, view);
  EXPECT_TRUE(Errors.empty()) << Errors.front();
}

// The host presents what the grid drew and asks it to draw only when the
// window system needs it: the focus outline, drawn straight on the screen
// surface, stays through later presents. Exceptions in the paints and mouse
// input Qt drives reach the sink.
TEST_F(MainWindowTest, GridDrawsOncePerChangePresentsKeepTheFocusOutlineAndExceptionsReachTheSink) {
  AddPictures("data", 6, {kRed}, 16, 16);
  TFrmGlimmet& w = Open();
  const int& paints = CountPaints();
  w.SBarThumbs->setValue(3);
  Shot();
  EXPECT_EQ(paints, 1);
  // Slide 3 now begins the top row, its box at (10, 12); the outline runs
  // two pixels inside it, from (12, 14) to (142, 144).
  SendMouse(w.Thumbs1Host, QEvent::MouseMove, {50, 50}, Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(w.Thumbs1->FocusedSlide(), 3);
  w.Thumbs1Host->update();
  const PixelRow outline[] = {{12, 80, {0, 0, 255}}, {142, 80, {0, 0, 255}}};
  ExpectPixels(Shot(), outline, kGridInWindow);
  EXPECT_EQ(paints, 1);
  w.resize(944, 600);  // a new size: the window system needs the grid drawn
  Shot();
  EXPECT_EQ(paints, 2);
  EXPECT_EQ(w.Thumbs1->Height(), 462);

  w.Thumbs1->OnSlideRendered = [](TObject*, TCanvas&, int, int, int) { throw Exception("paint failed"); };
  w.resize(944, 610);
  Settle();
  w.Thumbs1Host->grab();
  ASSERT_FALSE(Errors.empty());
  EXPECT_EQ(Errors[0], "paint failed.");
  Errors.clear();
  w.Thumbs1->OnMouseMove = [](TObject*, TShiftState, int, int) { throw Exception("mouse failed"); };
  SendMouse(w.Thumbs1Host, QEvent::MouseMove, {50, 50}, Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(Errors, (std::vector<std::string>{"mouse failed."}));
  Errors.clear();
  w.Thumbs1->OnSlideRendered = nullptr;
  w.Thumbs1->OnFirstImageRequest = [](TObject*) { throw Exception("scroll failed"); };
  w.SBarThumbs->setValue(1);  // the paint after a failed one draws nothing
  QApplication::processEvents();
  w.SBarThumbs->setValue(5);
  ASSERT_FALSE(Errors.empty());
  EXPECT_EQ(Errors.back(), "scroll failed.");
  // A folder click whose paints fail still gives grid and bar the new range.
  w.Thumbs1->Repaint();  // the one paint lost after the failed one
  Errors.clear();
  ASSERT_TRUE(w.ChooseFolder(AddPictures("nine", 9, {kBlue}, 16, 16)));
  EXPECT_EQ(w.Thumbs1->Max(), 9);
  EXPECT_EQ(w.SBarThumbs->maximum(), 9);
  EXPECT_EQ(Errors, std::vector<std::string>{"scroll failed."});
}

// (621 - 64) div 2 = 278 and (589 - 48) div 2 = 270: the odd differences
// leave one pixel more of the view on the right and at the bottom.
TEST_F(MainWindowTest, ClickedSlideIsSelectedAndShownCentredInTheLargeViewOrItsMiddleWhenLarger) {
  AddPictures("data", 2, {kRed, kBlue});
  TFrmGlimmet& w = Open();
  const Rgb first = SlideOf("p0.jpg") == 1 ? kRed : kBlue;
  Click(w.Thumbs1Host, InsideSlide(1));
  EXPECT_TRUE(w.Thumbs1->Selection().Bit(0));
  ASSERT_EQ(w.LargeImg->Picture().Width(), 64);
  const PixelRow centred[] = {{277, 290, kFace}, {278, 290, first, 8}, {341, 290, first, 8}, {342, 290, kFace},
                              {300, 269, kFace}, {300, 270, first, 8}, {300, 317, first, 8}, {300, 318, kFace}};
  ExpectPixels(LargeView(), centred);

  // A click beside every slide changes nothing in the large view. The
  // control's own events see it, and a double click, with the place and the
  // left button.
  int clicks = 0;
  std::vector<std::tuple<TShiftState, int, int>> downs;
  w.Thumbs1->OnClick = [&](TObject*) { ++clicks; };
  w.Thumbs1->OnMouseDown = [&](TObject*, TMouseButton, TShiftState shift, int x, int y) {
    downs.emplace_back(shift, x, y);
  };
  const TGraphic* shown = w.LargeImg->Picture().Graphic();
  Click(w.Thumbs1Host, {145, 79});
  EXPECT_EQ(w.LargeImg->Picture().Graphic(), shown);
  EXPECT_TRUE(Errors.empty());
  SendMouse(w.Thumbs1Host, QEvent::MouseButtonDblClick, {145, 80}, Qt::LeftButton, Qt::LeftButton);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(downs,
            (std::vector<std::tuple<TShiftState, int, int>>{{ssLeft, 145, 79}, {ssLeft | ssDouble, 145, 80}}));
  SendMouse(w.Thumbs1Host, QEvent::MouseButtonRelease, {145, 80}, Qt::LeftButton, Qt::NoButton);

  // 700 x 600 in a 621 x 589 view: the origin is (-79 div 2, -11 div 2) =
  // (-39, -5), so 39 columns are cut on the left and 40 on the right, 5 rows
  // at the top and 6 at the bottom. The picture's left 40 columns are red and
  // its top 8 rows green (block-aligned, so the edges decode sharp).
  WriteFile(Dir.AddDir("big") + "/big.jpg",
            MakeJpeg({.Width = 700, .Height = 600, .Quality = 100, .FullChroma = true}, [](int x, int y) {
              if (x < 40) return ToSample(kRed);
              if (y < 8) return ToSample(kGreen);
              return ToSample(x >= 656 ? kYellow : kBlue);
            }));
  ASSERT_TRUE(w.ChooseFolder(Dir / "big"));
  Click(w.Thumbs1Host, InsideSlide(1));
  // Picture columns 39 and 40, rows 7 and 8, columns 655 and 656.
  const PixelRow middle[] = {{0, 300, kRed, 8},  {1, 300, kBlue, 8},   {300, 2, kGreen, 8},
                             {300, 3, kBlue, 8}, {616, 300, kBlue, 8}, {617, 300, kYellow, 8}};
  ExpectPixels(LargeView(), middle);

  // Dragged by (100, 50) the picture stops with its top-left corner at the
  // view's; by (-200, -200) more, with its bottom-right corner at the view's,
  // its origin (621 - 700, 589 - 600) = (-79, -11). An open hand says it can
  // be dragged, a closed one that it is.
  TImageView& view = *w.LargeImgView;
  EXPECT_EQ(view.cursor().shape(), Qt::OpenHandCursor);
  const auto drag = [&](QPoint from, QPoint to) {
    SendMouse(&view, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(view.cursor().shape(), Qt::ClosedHandCursor);
    SendMouse(&view, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    SendMouse(&view, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(view.cursor().shape(), Qt::OpenHandCursor);
  };
  drag({300, 300}, {400, 350});
  EXPECT_EQ(view.PictureRect(), QRect(0, 0, 700, 600));
  const PixelRow topLeft[] = {{39, 300, kRed, 8}, {40, 300, kBlue, 8}, {300, 7, kGreen, 8}, {300, 8, kBlue, 8}};
  ExpectPixels(LargeView(), topLeft);
  drag({400, 350}, {200, 150});
  EXPECT_EQ(view.PictureRect(), QRect(-79, -11, 700, 600));
  const PixelRow bottomRight[] = {{576, 300, kBlue, 8}, {577, 300, kYellow, 8}, {620, 588, kYellow, 8}};
  ExpectPixels(LargeView(), bottomRight);

  // Ctrl+wheel zooms about the pointer: at the view's bottom-right pixel the
  // picture's last pixel stays there. At 3/2 (1050 x 900) picture column 656,
  // the yellow's first, begins at device column 656 * 3 / 2 = 984, so at
  // -429 + 984 = 555; a notch back returns the picture where it was.
  const auto ctrlWheel = [&](int delta) {
    QWheelEvent wheel(QPointF(620, 588), view.mapToGlobal(QPointF(620, 588)), {}, {0, delta}, Qt::NoButton,
                      Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&view, &wheel);
  };
  ctrlWheel(120);
  EXPECT_EQ(view.Zoom(), (TZoom{3, 2}));
  EXPECT_EQ(view.PictureRect(), QRect(-429, -311, 1050, 900));
  const PixelRow zoomed[] = {{554, 300, kBlue, 8}, {555, 300, kYellow, 8}, {620, 588, kYellow, 8}};
  ExpectPixels(LargeView(), zoomed);
  ctrlWheel(-120);
  EXPECT_EQ(view.Mode(), TImageView::TViewMode::Natural);
  EXPECT_EQ(view.PictureRect(), QRect(-79, -11, 700, 600));

  // A double click fits it: 621 x round(600 * 621 / 700) = 621 x 532, at
  // (0, (589 - 532) div 2) = (0, 28), made once for this picture and size;
  // nothing to drag.
  SendMouse(&view, QEvent::MouseButtonDblClick, {300, 300}, Qt::LeftButton, Qt::LeftButton);
  SendMouse(&view, QEvent::MouseButtonRelease, {300, 300}, Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(view.Mode(), TImageView::TViewMode::Fit);
  EXPECT_EQ(view.PictureRect(), QRect(0, 28, 621, 532));
  EXPECT_EQ(view.cursor().shape(), Qt::ArrowCursor);
  LargeView();
  view.WaitForFit();
  const TBitmap* fitted = view.Fitted();
  ASSERT_NE(fitted, nullptr);
  EXPECT_EQ(QSize(fitted->Width(), fitted->Height()), QSize(621, 532));
  const PixelRow fit[] = {{0, 300, kRed, 8},    {300, 27, kFace},  {300, 28, kGreen, 8},
                          {300, 559, kBlue, 8}, {300, 560, kFace}, {620, 300, kYellow, 8}};
  ExpectPixels(LargeView(), fit);
  EXPECT_EQ(view.Fitted(), fitted) << "made again for the same picture and size";
  // The choice stays for the next picture; 1 returns to the natural size, centred.
  ClickSlide(1);
  EXPECT_EQ(view.Mode(), TImageView::TViewMode::Fit);
  QKeyEvent one(QEvent::KeyPress, Qt::Key_1, Qt::NoModifier);
  QApplication::sendEvent(&view, &one);
  EXPECT_EQ(view.PictureRect(), QRect(-39, -5, 700, 600));
  // A picture smaller than the view shows at its natural size, centred, in both.
  ASSERT_TRUE(w.ChooseFolder(Dir / "data"));
  ClickSlide(1);
  for (const int key : {Qt::Key_F, Qt::Key_1}) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(&view, &press);
    EXPECT_EQ(view.PictureRect(), QRect(278, 270, 64, 48));
    ExpectPixels(LargeView(), centred);
  }

  // + and - step the zoom, centred while the picture is smaller than the
  // view: 64 x 48 at 3/2 is 96 x 72 at ((621 - 96) div 2, (589 - 72) div 2);
  // at 8, 512 x 384; no step past 8. At 2/3, 43 x 32 (42.67 rounded to the
  // nearest). From fit (here the natural size) + goes to the step above.
  struct ZoomRow {
    int Key;
    QRect Rect;
  };
  const ZoomRow zooms[] = {{Qt::Key_Plus, {262, 258, 96, 72}},   {Qt::Key_Plus, {246, 246, 128, 96}},
                           {Qt::Key_Plus, {214, 222, 192, 144}}, {Qt::Key_Plus, {182, 198, 256, 192}},
                           {Qt::Key_Plus, {118, 150, 384, 288}}, {Qt::Key_Plus, {54, 102, 512, 384}},
                           {Qt::Key_Plus, {54, 102, 512, 384}},  {Qt::Key_1, {278, 270, 64, 48}},
                           {Qt::Key_Minus, {289, 278, 43, 32}},  {Qt::Key_F, {278, 270, 64, 48}},
                           {Qt::Key_Plus, {262, 258, 96, 72}}};
  for (const ZoomRow& row : zooms) {
    QKeyEvent press(QEvent::KeyPress, row.Key, Qt::NoModifier);
    QApplication::sendEvent(&view, &press);
    const QRect& r = row.Rect;
    EXPECT_EQ(view.PictureRect(), r) << row.Key;
    view.WaitForFit();
    const PixelRow edges[] = {{r.left() - 1, r.top(), kFace},    {r.left(), r.top(), first, 8},
                              {r.right(), r.bottom(), first, 8}, {r.right() + 1, r.bottom(), kFace},
                              {r.left(), r.top() - 1, kFace},    {r.right(), r.bottom() + 1, kFace}};
    ExpectPixels(LargeView(), edges);
  }
  // At 1/2 each device pixel is the average of 2 x 2 picture pixels, here of
  // one red and one blue column: (120, 45, 115), neither colour alone.
  WriteFile(Dir.AddDir("stripes") + "/stripes.jpg",
            MakeJpeg({.Width = 64, .Height = 48, .Quality = 100, .FullChroma = true},
                     [](int x, int) { return ToSample(x % 2 ? kBlue : kRed); }));
  ASSERT_TRUE(w.ChooseFolder(Dir / "stripes"));
  ClickSlide(1);
  for (const int key : {Qt::Key_1, Qt::Key_Minus, Qt::Key_Minus}) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(&view, &press);
  }
  EXPECT_EQ(view.PictureRect(), QRect(294, 282, 32, 24));
  LargeView();
  view.WaitForFit();
  const PixelRow averaged[] = {{294, 282, {120, 45, 115}, 8},
                               {310, 290, {120, 45, 115}, 8},
                               {325, 305, {120, 45, 115}, 8}};
  ExpectPixels(LargeView(), averaged);
  // A zoom much larger than the view averages only the part in view: 2400 x
  // 1800, red left of column 1200, blue right, at 2/3 is 1600 x 1200 at
  // ((621 - 1600) / 2, (589 - 1200) / 2) = (-489, -305), truncated. Zoomed
  // column 799 averages picture columns [1198, 1200): red at view column 310;
  // 800 averages [1200, 1201): blue at 311.
  WriteFile(Dir.AddDir("halves") + "/halves.jpg",
            MakeJpeg({.Width = 2400, .Height = 1800, .Quality = 100, .FullChroma = true},
                     [](int x, int) { return ToSample(x < 1200 ? kRed : kBlue); }));
  ASSERT_TRUE(w.ChooseFolder(Dir / "halves"));
  ClickSlide(1);
  for (const int key : {Qt::Key_1, Qt::Key_Minus}) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(&view, &press);
  }
  EXPECT_EQ(view.PictureRect(), QRect(-489, -305, 1600, 1200));
  LargeView();
  view.WaitForFit();
  ASSERT_NE(view.Fitted(), nullptr);
  EXPECT_LT(view.Fitted()->Width(), 1600);  // a part, not the whole
  const PixelRow halves[] = {{0, 0, kRed, 8}, {310, 300, kRed, 8}, {311, 300, kBlue, 8}, {620, 588, kBlue, 8}};
  ExpectPixels(LargeView(), halves);
}

// Fitted into 621 x 589: a picture that fits keeps its size; else the side
// whose ratio to the view's is larger takes the view's, the other its share,
// rounded half up (1000 x 2000: 1000 * 589 / 2000 = 294.5 gives 295), and
// never below 1.
TEST(PictureOriginTest, FittedSizeShrinksOnlyKeepsProportionsAndRoundsHalfUp) {
  const std::pair<TFitSize, TFitSize> rows[] = {{{64, 48}, {64, 48}},       {{621, 589}, {621, 589}},
                                                {{700, 600}, {621, 532}},   {{6000, 4000}, {621, 414}},
                                                {{1000, 2000}, {295, 589}}, {{621, 590}, {620, 589}},
                                                {{622, 589}, {621, 588}},   {{5000, 1}, {621, 1}},
                                                {{1, 5000}, {1, 589}},      {{0, 10}, {0, 0}}};
  for (const auto& [picture, fitted] : rows) {
    EXPECT_EQ(FittedSize(picture, {621, 589}), fitted) << picture.Width << " x " << picture.Height;
  }
}

// A drag moves the picture only along a side where it is larger than the
// view, and no further than its edge: 700 x 600 in 621 x 589 lies between
// (-79, -11) and (0, 0), centred at (-39, -5). The offset kept is what moved.
// Centring truncates toward zero: (621 - 622) / 2 is 0, not -1, and
// (621 - 623) / 2 is -1.
TEST(PictureOriginTest, PanningStopsAtThePicturesEdgesAndOnlyWhereItIsLarger) {
  struct Row {
    TFitSize Picture;
    TFitPoint Pan, Origin, Kept;
  };
  const Row rows[] = {{{700, 600}, {0, 0}, {-39, -5}, {0, 0}},   {{700, 600}, {30, -4}, {-9, -9}, {30, -4}},
                      {{700, 600}, {100, 100}, {0, 0}, {39, 5}}, {{700, 600}, {-100, -100}, {-79, -11}, {-40, -6}},
                      {{64, 48}, {50, 50}, {278, 270}, {0, 0}},  {{700, 48}, {10, 10}, {-29, 270}, {10, 0}},
                      {{621, 589}, {5, 5}, {0, 0}, {0, 0}},      {{622, 589}, {5, -5}, {0, 0}, {0, 0}},
                      {{620, 588}, {0, 0}, {0, 0}, {0, 0}},      {{622, 590}, {0, 0}, {0, 0}, {0, 0}},
                      {{623, 591}, {0, 0}, {-1, -1}, {0, 0}}};
  for (const Row& row : rows) {
    TFitPoint pan = row.Pan;
    EXPECT_EQ(PannedOrigin({621, 589}, row.Picture, pan), row.Origin) << row.Picture.Width << " " << row.Pan.X;
    EXPECT_EQ(pan, row.Kept) << row.Picture.Width << " " << row.Pan.X;
  }
}

// A zoomed side is natural * num / den rounded to the nearest pixel, halves
// up, and at least 1 (rounding down would give 4 x 3, 4 x 3, 2 x 1 below).
// The next step from a scale is the nearest strictly above or below it;
// a fitted 6000 x 4000 (621 / 6000, below 1/8) has none below.
TEST(PictureOriginTest, ZoomStepsRoundToTheNearestPixelAndStepFromAnyScale) {
  const std::tuple<TFitSize, TZoom, TFitSize> sizes[] = {
      {{3, 2}, {3, 2}, {5, 3}},      {{7, 5}, {2, 3}, {5, 3}},       {{5, 3}, {1, 2}, {3, 2}},
      {{1000, 1}, {1, 8}, {125, 1}}, {{64, 48}, {8, 1}, {512, 384}}, {{6000, 4000}, {8, 1}, {48000, 32000}},
      {{0, 10}, {2, 1}, {0, 0}}};
  for (const auto& [natural, zoom, zoomed] : sizes) {
    EXPECT_EQ(ZoomedSize(natural, zoom), zoomed) << natural.Width << " at " << zoom.Num << "/" << zoom.Den;
  }
  EXPECT_EQ(FittedScale({6000, 4000}, {621, 589}), (TZoom{621, 6000}));
  EXPECT_EQ(FittedScale({1000, 2000}, {621, 589}), (TZoom{589, 2000}));
  EXPECT_EQ(FittedScale({64, 48}, {621, 589}), (TZoom{1, 1}));
  const std::tuple<TZoom, bool, std::optional<TZoom>> steps[] = {
      {{621, 6000}, true, TZoom{1, 8}}, {{621, 6000}, false, std::nullopt}, {{1, 1}, true, TZoom{3, 2}},
      {{1, 1}, false, TZoom{2, 3}},     {{1, 3}, true, TZoom{1, 2}},        {{1, 3}, false, TZoom{1, 4}},
      {{8, 1}, true, std::nullopt},     {{1, 8}, false, std::nullopt},      {{621, 700}, true, TZoom{1, 1}},
      {{621, 700}, false, TZoom{2, 3}}, {{5, 1}, false, TZoom{4, 1}}};
  for (const auto& [scale, up, next] : steps) {
    EXPECT_EQ(NextZoom(scale.Num, scale.Den, up), next) << scale.Num << "/" << scale.Den << (up ? " up" : " down");
  }
}

// Magnified, device pixel d shows picture pixel d * den / num rounded down:
// a 3 x 2 picture at 2 is six exact 2 x 2 squares; at 3/2 its columns go to
// device columns 0 0 1 2 2 and its rows to 0 0 1 (sampling at the device
// pixel's centre, or smoothing, would give other pixels). A part from (3, 1)
// holds just the pixels from there.
TEST(PictureOriginTest, MagnifiedPixelsAreSquaresOfThePicturesPixels) {
  TBitmap picture(3, 2, TPixelInit::Unset);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) picture.ScanLine(y)[x] = std::uint32_t(0x10 * (y + 1) + x);
  }
  const auto magnified = [&](TZoom zoom, TFitPoint from, int width, int height) {
    TBitmap part(width, height, TPixelInit::Unset);
    MagnifyPart(picture, zoom, from, part);
    std::vector<std::vector<std::uint32_t>> rows;
    for (int y = 0; y < height; ++y) rows.emplace_back(part.ScanLine(y), part.ScanLine(y) + width);
    return rows;
  };
  using Rows = std::vector<std::vector<std::uint32_t>>;
  EXPECT_EQ(magnified({2, 1}, {0, 0}, 6, 4), (Rows{{0x10, 0x10, 0x11, 0x11, 0x12, 0x12},
                                                   {0x10, 0x10, 0x11, 0x11, 0x12, 0x12},
                                                   {0x20, 0x20, 0x21, 0x21, 0x22, 0x22},
                                                   {0x20, 0x20, 0x21, 0x21, 0x22, 0x22}}));
  EXPECT_EQ(magnified({3, 2}, {0, 0}, 5, 3),
            (Rows{{0x10, 0x10, 0x11, 0x12, 0x12}, {0x10, 0x10, 0x11, 0x12, 0x12}, {0x20, 0x20, 0x21, 0x22, 0x22}}));
  EXPECT_EQ(magnified({2, 1}, {3, 1}, 3, 2), (Rows{{0x11, 0x12, 0x12}, {0x21, 0x22, 0x22}}));
}

// F11 (the window's shortcut) shows the large view alone on the whole
// screen; its keys work there, and each step shows the strip for a while;
// I keeps it. The pointer hides once its timer runs out and shows at the next
// motion. Escape returns the view to its place, the window as it was, the
// focus where it was; Return on the view goes there and back too.
TEST_F(MainWindowTest, FullScreenShowsTheLargeViewAloneAndReturnsToTheWindowAsItWas) {
  AddPictures("data", 3, {kRed, kBlue});
  TFrmGlimmet& w = Open();
  ClickSlide(1);
  w.Thumbs1Host->setFocus();
  const QRect geometry = w.geometry();
  const QList<int> splitter = w.Splitter1->sizes();
  TFullScreen& full = w.FullScreen();
  QAction* f11 = nullptr;
  for (QAction* action : w.actions()) {
    if (action->shortcut() == QKeySequence(Qt::Key_F11)) f11 = action;
  }
  ASSERT_NE(f11, nullptr);
  f11->trigger();
  Settle();
  ASSERT_TRUE(full.Active());
  TImageView& view = *w.LargeImgView;
  EXPECT_EQ(view.window(), full.Window());
  EXPECT_TRUE(full.Window()->isFullScreen());
  EXPECT_EQ(view.size(), w.screen()->geometry().size());
  EXPECT_EQ(QApplication::focusWidget(), &view);
  EXPECT_TRUE(full.Window()->actions().contains(f11)) << "the window's shortcuts work there";

  const auto key = [&](int k) {
    QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier);
    QApplication::sendEvent(&view, &press);
    Settle();
  };
  const auto timeout = [](QTimer* timer) { QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection); };
  EXPECT_FALSE(full.Strip()->isVisible());
  key(Qt::Key_Right);
  EXPECT_EQ(w.Thumbs1->SelectAnchor(), 2);
  EXPECT_TRUE(full.Strip()->isVisible());
  EXPECT_EQ(full.Strip()->text().toStdString(), ExtractFileName((*w.FileList())[1]) + "   2 / 3   64 x 48   100%");
  EXPECT_EQ(full.Strip()->geometry().bottom(), full.Window()->height() - 1);
  timeout(full.StripTimer());
  EXPECT_FALSE(full.Strip()->isVisible());
  key(Qt::Key_Plus);  // a zoom shows it too, with the new scale
  EXPECT_TRUE(full.Strip()->text().endsWith("150%"));
  timeout(full.StripTimer());
  key(Qt::Key_I);
  timeout(full.StripTimer());
  EXPECT_TRUE(full.Strip()->isVisible()) << "kept while pinned";
  key(Qt::Key_I);
  EXPECT_FALSE(full.Strip()->isVisible());

  EXPECT_EQ(full.PointerTimer()->interval(), 2000);
  timeout(full.PointerTimer());
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BlankCursor);
  SendMouse(&view, QEvent::MouseMove, {10, 10}, Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(full.PointerTimer()->isActive());

  key(Qt::Key_Escape);
  EXPECT_FALSE(full.Active());
  EXPECT_FALSE(full.Window()->isVisible());
  EXPECT_EQ(view.parentWidget(), w.Panel2);
  EXPECT_EQ(view.geometry(), QRect(1, 1, 621, 589));
  EXPECT_EQ(w.geometry(), geometry);
  EXPECT_EQ(w.Splitter1->sizes(), splitter);
  EXPECT_EQ(w.focusWidget(), w.Thumbs1Host);
  EXPECT_EQ(w.Thumbs1->SelectAnchor(), 2);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  view.setFocus();
  key(Qt::Key_Return);
  EXPECT_TRUE(full.Active());
  timeout(full.PointerTimer());
  key(Qt::Key_Return);
  EXPECT_FALSE(full.Active());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the pointer shows again";
  EXPECT_EQ(w.focusWidget(), &view);
  EXPECT_TRUE(Errors.empty());
}

// On the screen of 640 x 512 logical pixels at a device pixel ratio of 2,
// the window is made as small as it must be for it and its frame (2 pixels
// on every side, and one pixel spare at a ratio above 1, where a frame of an
// odd number of device pixels rounds either way) to lie within the screen:
// 635 x 507, its frame at the screen's corner. Its large view, 312 x 505
// logical pixels (635 less Panel1's 321 and the bevel's 2; 507 less 2), is
// 624 x 1010 device pixels, where a 64 x 48 picture lies at natural size, one
// picture pixel to a device pixel, at ((624 - 64) div 2, (1010 - 48) div 2) =
// (280, 481).
TEST_F(MainWindowTest, OnASmallScreenAtRatioTwoTheWindowLiesWithinItAndPicturesKeepTheirPixels) {
  AddPictures("data", 1, {kRed});
  QScreen* twice = nullptr;
  for (QScreen* s : QGuiApplication::screens()) {
    if (s->devicePixelRatio() == 2) twice = s;
  }
  ASSERT_NE(twice, nullptr);
  ASSERT_EQ(twice->availableGeometry(), QRect(1280, 0, 640, 512));
  Window = std::make_unique<TFrmGlimmet>();
  Window->setScreen(twice);
  Window->move(twice->geometry().topLeft());
  Window->show();
  Settle();
  TFrmGlimmet& w = *Window;
  EXPECT_EQ(w.frameGeometry(), QRect(1280, 0, 639, 511));
  EXPECT_EQ(w.size(), QSize(635, 507));
  EXPECT_EQ(w.LargeImgView->size(), QSize(312, 505));
  ClickSlide(1);
  EXPECT_EQ(w.LargeImgView->PictureRect(), QRect(280, 481, 64, 48));
  const QImage view = LargeView();
  ASSERT_EQ(view.size(), QSize(624, 1010));
  const PixelRow natural[] = {{279, 500, kFace}, {280, 500, kRed, 8}, {343, 500, kRed, 8}, {344, 500, kFace},
                              {300, 480, kFace}, {300, 481, kRed, 8}, {300, 528, kRed, 8}, {300, 529, kFace}};
  ExpectPixels(view, natural);
}

// Sizes on disk: bytes below 1024, then tenths of the largest unit of 1024
// it reaches, by IEC names, rounded to the nearest (1587 bytes are 1.5498
// KiB, 1588 are 1.5508; 4,379,037 are 4.176 MiB), in the locale's numbers.
TEST(SlideToolTipTest, DiskSizesAreBytesThenTenthsOfKibibytesMebibytesAndOnInTheLocalesNumbers) {
  const QLocale c = QLocale::c(), german(QLocale::German, QLocale::Germany);
  const std::tuple<std::uint64_t, const QLocale*, const char*> rows[] = {{0, &c, "0 bytes"},
                                                                         {1023, &c, "1023 bytes"},
                                                                         {1024, &c, "1.0 KiB"},
                                                                         {1587, &c, "1.5 KiB"},
                                                                         {1588, &c, "1.6 KiB"},
                                                                         {1048575, &c, "1024.0 KiB"},
                                                                         {1048576, &c, "1.0 MiB"},
                                                                         {4379037, &c, "4.2 MiB"},
                                                                         {4379037, &german, "4,2 MiB"},
                                                                         {3221225472, &c, "3.0 GiB"},
                                                                         {std::uint64_t(5000) << 30, &c,
                                                                          "4.9 TiB"}};
  for (const auto& [bytes, locale, text] : rows) EXPECT_EQ(DiskSizeText(bytes, *locale), text) << bytes;
}

// A file that cannot be shown costs only its own slide: the paint goes on,
// the slide keeps its numbered card, the first failure is reported once at
// the end, and no slide of an earlier paint stays on the screen.
TEST_F(MainWindowTest, BrokenFileKeepsItsNumberedCardTheRestOfThePaintShowsAndALateErrorIsReportedOnce) {
  Dir.AddFile("data/broken.jpg", "this is no JPEG data at all");
  const std::string mixed = AddPictures("mixed", 3, {kGreen});
  Dir.AddFile("mixed/broken.jpg", "neither is this");
  TFrmGlimmet& w = Open();
  const auto cardOf = [](int k) { return InsideSlide(k) - QPoint(47, 29); };
  EXPECT_EQ(Errors, std::vector<std::string>{kNoSoi});
  EXPECT_TRUE(Near(GridPixel(cardOf(1)), kWhite, 0));
  EXPECT_TRUE(Near(GridPixel(cardOf(2)), kFace, 0)) << "a card left from the layout's paints";
  EXPECT_EQ(Screen.Cursor(), crDefault);

  Errors.clear();
  // Two paints: the grid's new Max, then the click's repaint.
  ASSERT_TRUE(w.ChooseFolder(mixed));
  EXPECT_EQ(Errors, std::vector<std::string>(2, kNoSoi));
  EXPECT_EQ(w.SBarThumbs->maximum(), 4);
  EXPECT_EQ(Screen.Cursor(), crDefault);
  const int broken = SlideOf("broken.jpg");
  for (int k = 1; k <= 4; ++k) {
    EXPECT_TRUE(k == broken ? Near(GridPixel(cardOf(k)), kWhite, 0) : Near(GridPixel(InsideSlide(k)), kGreen)) << k;
  }
  EXPECT_TRUE(Near(GridPixel(InsideSlide(5)), kFace, 0));

  // Hovering a slide tells its file's name, its size from the frame header
  // and on disk; the broken file's slide tells why it shows no picture.
  const auto tipAt = [&](QPoint p) {
    QHelpEvent help(QEvent::ToolTip, p, w.Thumbs1Host->mapToGlobal(p));
    QApplication::sendEvent(w.Thumbs1Host, &help);
    return QToolTip::isVisible() ? QToolTip::text().toStdString() : std::string();
  };
  const int good = broken == 1 ? 2 : 1;
  const std::string goodName = ExtractFileName((*w.FileList())[good - 1]);
  EXPECT_EQ(tipAt(InsideSlide(good)),
            goodName + "\n64 x 48 pixels\n" + DiskSizeText(fs::file_size(mixed + "/" + goodName)) + " on disk");
  // The tip adds libjpeg's own words; the box keeps the short text.
  EXPECT_EQ(tipAt(InsideSlide(broken)), "broken.jpg\n" + kNoSoi + " Not a JPEG file: starts with 0x6e 0x65");
  QToolTip::hideText();

  // The large view reports a decode error that comes after the rows once and
  // keeps the rows; the grid's paints decode the same file and fail too.
  WriteFile(Dir.AddDir("late") + "/late.jpg",
            InsertBeforeEoi(FlatJpeg(kBlue), {0xFF, 0xF7, 0x00, 0x04, 0x00, 0x00}));
  ASSERT_TRUE(w.ChooseFolder(Dir / "late"));
  Click(w.Thumbs1Host, InsideSlide(1));
  ASSERT_EQ(w.LargeImg->Picture().Width(), 64);
  Errors.clear();
  for (int draw = 0; draw < 2; ++draw) {
    EXPECT_TRUE(Near(RgbAt(LargeView(), 300, 290), kBlue));
    EXPECT_EQ(Errors, std::vector<std::string>{"JPEG error #" + std::to_string(JERR_UNKNOWN_MARKER) + "."});
  }
}

// The tree shows icons, and arrows only where subfolders are. A primary
// click on a folder lists it; one on another node's expand button selects
// nothing new but lists the selected folder again (it has gained a picture
// meanwhile), as does one below the last node; with nothing selected a click
// lists nothing and keeps the list. A right click selects a folder and opens
// its menu.
TEST_F(MainWindowTest, FolderTreeShowsIconsAndArrowsListsTheClickedFolderAndOpensAFolderMenu) {
  const std::string folder = AddPictures("clicked", 4, {kGreen});
  Dir.AddFile("leaf/a.jpg", "files do not count");
  Dir.AddDir("leaf/.hidden");
  Dir.AddDir("parent/child");
  TFrmGlimmet& w = Open();
  TShellTreeView& tree = *w.ShellTreeView1;
  const auto index = [&](const std::string& path) { return tree.Model().index(QString::fromStdString(path)); };
  const auto rectOf = [&](const std::string& path) {
    tree.scrollTo(index(path));
    return tree.visualRect(index(path));
  };
  ASSERT_TRUE(tree.SelectPath(Dir / "parent"));  // makes the folders' nodes known and visible
  EXPECT_FALSE(tree.Model().hasChildren(index(Dir / "leaf")));
  EXPECT_TRUE(tree.Model().hasChildren(index(Dir / "parent")));
  EXPECT_FALSE(tree.Model().hasChildren(index(Dir / "parent/child")));
  EXPECT_FALSE(tree.Model().data(index(Dir / "leaf"), Qt::DecorationRole).value<QIcon>().pixmap(16, 16).isNull());
  tree.clearSelection();
  const QRect rect = rectOf(folder);
  ASSERT_TRUE(rect.isValid());
  Click(tree.viewport(), rect.center());
  EXPECT_EQ(tree.SelectedPath(), folder);
  EXPECT_EQ(w.FileList()->Count(), 4);
  EXPECT_EQ(w.Thumbs1->Max(), 4);

  AddPictures("clicked", 5, {kGreen});
  Dir.AddDir("other/inner");
  const QRect otherRect = rectOf(Dir / "other");
  Click(tree.viewport(), {otherRect.left() - tree.indentation() / 2, otherRect.center().y()});
  EXPECT_TRUE(tree.isExpanded(index(Dir / "other")));
  EXPECT_EQ(tree.SelectedPath(), folder);
  EXPECT_EQ(w.FileList()->Count(), 5);

  AddPictures("clicked", 6, {kGreen});
  tree.collapse(tree.Model().index("/"));
  const QPoint below(60, tree.viewport()->height() - 5);
  ASSERT_FALSE(tree.indexAt(below).isValid());
  Click(tree.viewport(), below);
  EXPECT_EQ(tree.SelectedPath(), folder);
  EXPECT_EQ(w.FileList()->Count(), 6);

  tree.clearSelection();
  w.ShellTreeView1Click(&w);
  EXPECT_EQ(w.FileList()->Count(), 6);

  // A folder made current by keys is listed as a click lists it, once the
  // keys stop: a held key (its repeats marked so) lists only where it
  // stops. Return lists at once. Being chosen, as at start, lists nothing.
  int listings = 0;
  tree.OnClick = [&, click = tree.OnClick] {
    ++listings;
    click();
  };
  ASSERT_TRUE(tree.SelectPath(folder));
  EXPECT_EQ(listings, 0);
  const auto key = [&](QEvent::Type type, int k, bool repeat) {
    QKeyEvent event(type, k, Qt::NoModifier, QString(), repeat);
    QApplication::sendEvent(&tree, &event);
  };
  for (const bool repeat : {false, true, true}) {
    key(QEvent::KeyPress, Qt::Key_Down, repeat);
    key(QEvent::KeyRelease, Qt::Key_Down, true);
  }
  key(QEvent::KeyPress, Qt::Key_Down, true);
  key(QEvent::KeyRelease, Qt::Key_Down, false);
  EXPECT_EQ(listings, 0) << "listed before the keys stopped";
  QElapsedTimer clock;
  clock.start();
  while (listings == 0 && clock.elapsed() < 10000) QApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_EQ(listings, 1);
  const std::string reached = tree.SelectedPath().value_or("");
  EXPECT_NE(reached, folder);
  // Where the keys stop may lie beside this test's folder, in another
  // program's temporary folder that is gone by now: then nothing is listed.
  int pictures = 0;
  std::error_code gone;
  for (auto e = fs::directory_iterator(reached, gone); !gone && e != fs::directory_iterator(); e.increment(gone)) {
    pictures += e->path().extension() == ".jpg";
  }
  EXPECT_EQ(w.FileList()->Count(), pictures) << reached;
  key(QEvent::KeyPress, Qt::Key_Return, false);
  EXPECT_EQ(listings, 2);

  const QPoint at = rectOf(Dir / "leaf").center();
  QContextMenuEvent right(QContextMenuEvent::Mouse, at, tree.viewport()->mapToGlobal(at));
  QApplication::sendEvent(tree.viewport(), &right);
  EXPECT_EQ(tree.SelectedPath(), Dir / "leaf");
  auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
  ASSERT_NE(menu, nullptr);
  QStringList texts;
  for (QAction* action : menu->actions()) {
    if (!action->isSeparator()) texts << action->text();
  }
  EXPECT_EQ(texts.first(), "Open");
  EXPECT_EQ(texts.last(), "Copy Path");
  menu->actions().last()->trigger();
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), Dir / "leaf");
  menu->close();
}

// Changes to the listed folder show with no input once the writes settle, in
// the order a new listing gives: added, removed, renamed and rewritten files
// (a rewritten slide and large view are made anew). The selection follows
// its file by path; a removed file takes the selection and the large view
// with it, and neither its stale slide's paint nor a click on it raises a
// box; nor does a broken file copied in. The bar stays where it was. Writes made before the event loop runs
// are listed once. F5 lists the folder at once, whatever has the focus.
TEST_F(MainWindowTest, ListedFolderFollowsTheDiskWithNoInputAndF5ListsItAgainAtOnce) {
  const std::string folder = AddPictures("follow", 5, {kGreen});
  TFrmGlimmet& w = Open();
  ASSERT_TRUE(Choose(folder));
  ASSERT_TRUE(w.FolderWatch().Watching());
  const auto names = [&] {
    std::vector<std::string> listed;
    for (int i = 0; i < w.FileList()->Count(); ++i) listed.push_back(ExtractFileName((*w.FileList())[i]));
    return listed;
  };
  const auto freshListing = [&] {
    TStringList list;
    ScanFilesIntoList(folder + "/*.jpg", false, &list, nullptr);
    std::vector<std::string> listed;
    for (int i = 0; i < list.Count(); ++i) listed.push_back(ExtractFileName(list[i]));
    return listed;
  };
  ClickSlide(SlideOf("p2.jpg"));
  ASSERT_EQ(w.LargeImg->Picture().Width(), 64);
  struct Row {
    const char* What;
    std::function<void()> Change;
    int Bar;  // before the change, and after it
    int Count;
    const char* Selected;  // "" for none
    Rgb Large;             // the large view's middle
    Rgb Slide;             // the selected slide's middle
  };
  std::string broken;  // the file at the top of the view, made broken and mended
  const Row rows[] = {
      {"added", [&] { WritePicture("follow/a.jpg", kBlue); }, 1, 6, "p2.jpg", kGreen, kGreen},
      {"rewritten", [&] { WritePicture("follow/p2.jpg", kRed); }, 1, 6, "p2.jpg", kRed, kRed},
      {"renamed", [&] { fs::rename(folder + "/p0.jpg", folder + "/z.jpg"); }, 1, 6, "p2.jpg", kRed, kRed},
      {"touched", [&] { fs::last_write_time(folder + "/p1.jpg", fs::file_time_type::clock::now()); }, 1, 6,
       "p2.jpg", kRed, kRed},
      {"removed", [&] { fs::remove(folder + "/p2.jpg"); }, 1, 5, "", kFace, kFace},
      {"burst",
       [&] {
         for (int i = 0; i < 40; ++i) WritePicture("follow/b" + std::to_string(i) + ".jpg", kYellow, 16, 16);
       },
       3, 45, "", kFace, kFace},
      {"broken",
       [&] {
         broken = names()[2];
         Dir.AddFile("follow/" + broken, "no JPEG data");
       },
       3, 45, "", kFace, kFace},
      {"mended", [&] { WritePicture("follow/" + broken, kBlue); }, 3, 45, "", kFace, kFace},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.What);
    const int reports = w.FolderWatch().Reports();
    w.SBarThumbs->setValue(row.Bar);
    Settle();
    row.Change();
    EXPECT_TRUE(SettleUntil([&] { return w.FolderWatch().Reports() != reports; }));
    EXPECT_EQ(w.FolderWatch().Reports(), reports + 1);
    EXPECT_EQ(names(), freshListing());
    EXPECT_EQ(w.Thumbs1->Max(), row.Count);
    EXPECT_EQ(w.SBarThumbs->value(), row.Bar);
    const int selected = *row.Selected ? SlideOf(row.Selected) : 0;
    EXPECT_EQ(w.Thumbs1->SelectAnchor(), selected);
    for (int k = 1; k <= row.Count; ++k) EXPECT_EQ(w.Thumbs1->Selection().Bit(k - 1), k == selected) << k;
    EXPECT_TRUE(Near(RgbAt(LargeView(), 300, 290), row.Large));
    if (selected) {
      EXPECT_TRUE(Near(GridPixel(InsideSlide(selected)), row.Slide));
    }
  }
  EXPECT_TRUE(Errors.empty()) << Errors.front();

  // A file removed behind the window's back: its slide's paint and a click
  // on it before the listing comes raise nothing.
  w.SBarThumbs->setValue(1);
  Settle();
  fs::remove(folder + "/" + names()[0]);
  RepaintGrid();
  ClickSlide(1);
  EXPECT_TRUE(Errors.empty()) << Errors.front();

  // F5 lists at once, from each Tab stop.
  QWidget* const stops[] = {w.SBarThumbs, w.ShellTreeView1, w.Thumbs1Host, w.LargeImgView};
  int added = 0;
  for (QWidget* stop : stops) {
    WritePicture("follow/f" + std::to_string(added++) + ".jpg", kBlue);
    QKeyEvent f5(QEvent::KeyPress, Qt::Key_F5, Qt::NoModifier);
    QApplication::sendEvent(stop, &f5);
    EXPECT_EQ(names(), freshListing()) << stop->metaObject()->className();
  }
  EXPECT_EQ(w.Thumbs1->Max(), 44 + added);
  EXPECT_TRUE(Errors.empty()) << Errors.front();
}
// A change restarts the wait: while writes keep coming, one after another
// as a copy makes them, nothing is reported; with no wait they are.
TEST(FolderWatchTest, WritesThatKeepComingAreReportedOnlyOnceTheySettle) {
  for (const std::chrono::hours quiet : {std::chrono::hours(1), std::chrono::hours(0)}) {
    TempDir dir;
    TFolderWatch watch([] {}, quiet);
    watch.Watch(dir.Path());
    for (int i = 0; i < 20; ++i) {
      dir.AddFile("copied" + std::to_string(i) + ".jpg", "x");
      QApplication::processEvents();
    }
    if (quiet.count() == 0) {
      EXPECT_TRUE(SettleUntil([&] { return watch.Reports() > 0; }));
    } else {
      Settle();
      EXPECT_EQ(watch.Reports(), 0);
    }
  }
}

// Without a runtime folder Qt makes one of its own in TMPDIR and warns as it
// starts; the program lends it, for the start, the first of the home, the
// cache home and its own cache folder that only the user may enter. The
// program, started with a missing folder, says so on standard error once Qt
// is up.
TEST(RuntimeFolderTest, OnlyAFolderOfTheUsersOwnWithModeSevenHundredIsLent) {
  if (access(("/run/user/" + std::to_string(geteuid())).c_str(), F_OK) == 0)
    GTEST_SKIP() << "the user has a runtime folder";
  TempDir dir;
  // Modes of the home, the cache home and the cache folder in it (0 for
  // none); whether Qt warns and makes its own. The last row's own runtime
  // folder, one others may enter, is the person's choice: Qt is left to warn
  // of it.
  struct TRow {
    const char* Name;
    mode_t Home, CacheHome, CacheFolder;
    bool Warned;
  };
  const TRow rows[] = {{"private", 0700, 0755, 0, false},
                       {"shared", 0750, 0755, 0, true},
                       {"file", 0700, 0755, 0, true},
                       {"cachehome", 0755, 0700, 0, false},
                       {"cachefolder", 0755, 0755, 0700, false},
                       {"sharedcache", 0755, 0755, 0750, true},
                       {"own", 0700, 0755, 0, true}};
  const std::string own = dir.AddDir("runtime");
  chmod(own.c_str(), 0750);
  std::vector<std::unique_ptr<QProcess>> programs;
  for (const TRow& row : rows) {
    const std::string name = row.Name;
    const std::string home = name == "file" ? dir.AddFile(name) : dir.AddDir(name);
    const std::string cache = dir.AddDir(name + "-cache"), tmp = dir.AddDir(name + "-tmp");
    if (row.CacheFolder) chmod(dir.AddDir(name + "-cache/glimmet").c_str(), row.CacheFolder);
    chmod(home.c_str(), row.Home);
    chmod(cache.c_str(), row.CacheHome);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("XDG_RUNTIME_DIR");
    if (name == "own") env.insert("XDG_RUNTIME_DIR", QString::fromStdString(own));
    env.insert("HOME", QString::fromStdString(home));
    env.insert("XDG_CACHE_HOME", QString::fromStdString(cache));
    env.insert("TMPDIR", QString::fromStdString(tmp));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    programs.push_back(std::make_unique<QProcess>());
    programs.back()->setProcessEnvironment(env);
    programs.back()->start(GLIMMET_BUILD_DIR "/glimmet", {QString::fromStdString(dir / "missing")});
  }
  // Each is ended once it is up: it says so after Qt, which warns as it starts.
  std::vector<QByteArray> errs(programs.size());
  const passwd* account = getpwuid(geteuid());
  const std::string user = account ? account->pw_name : "";
  QElapsedTimer clock;
  clock.start();
  for (std::size_t up = 0; up < programs.size() && clock.elapsed() < 20000;) {
    QApplication::processEvents(QEventLoop::AllEvents, 5);
    up = 0;
    for (std::size_t i = 0; i < programs.size(); ++i) {
      errs[i] += programs[i]->readAllStandardError();
      if (errs[i].contains("No such file or directory")) ++up;
    }
  }
  for (std::size_t i = 0; i < programs.size(); ++i) {
    programs[i]->kill();
    programs[i]->waitForFinished();
    // Up, whether warned or not: a program that never started warns of nothing.
    EXPECT_TRUE(errs[i].contains("No such file or directory")) << rows[i].Name << ": " << errs[i].toStdString();
    EXPECT_EQ(errs[i].contains("QStandardPaths"), rows[i].Warned) << rows[i].Name << ": " << errs[i].toStdString();
    const bool made = fs::exists(dir / (std::string(rows[i].Name) + "-tmp/runtime-" + user));
    EXPECT_EQ(made, rows[i].Warned) << rows[i].Name;
  }
}

// Error boxes as the user meets them: the real message box. Each box is
// noted as it shows and closed on the event loop's next turn, so that a box
// opened inside it would be seen beside it. A text already open or waiting is
// not shown again: the folder click's two paints and the scrolling while its
// box is open all meet the broken file. A box waits for the release of the
// button, so that a click on the bar's arrow moves it one position.
TEST_F(MainWindowTest, ErrorBoxesComeOneAtATimeAndWaitForTheRelease) {
  Application.SetErrorSink(nullptr);
  for (int i = 0; i < 16; ++i) Dir.AddFile("empty/" + std::to_string(i) + ".jpg", "");
  const std::string empty = "JPEG error #" + std::to_string(JERR_INPUT_EMPTY) + ".";
  struct TBoxWatch : QObject {
    std::size_t MostOpen = 0;
    std::vector<std::string> Shown;
    std::function<void()> WhileOpen;
    bool eventFilter(QObject* watched, QEvent* event) override {
      auto* box = qobject_cast<QMessageBox*>(watched);
      if (!box || event->type() != QEvent::Show) return false;
      std::size_t open = 0;
      for (QWidget* widget : QApplication::topLevelWidgets())
        open += qobject_cast<QMessageBox*>(widget) && widget->isVisible();
      MostOpen = std::max(MostOpen, open);
      Shown.push_back(box->text().toStdString());
      // What it sets off while open is queued before its close.
      if (WhileOpen) std::exchange(WhileOpen, nullptr)();
      QMetaObject::invokeMethod(
          box, [box] { box->done(QMessageBox::Ok); }, Qt::QueuedConnection);
      return false;
    }
  } watch;
  qApp->installEventFilter(&watch);
  const std::size_t& mostOpen = watch.MostOpen;
  const std::vector<std::string>& shown = watch.Shown;
  std::function<void()>& whileOpen = watch.WhileOpen;
  // Every step of the boxes (a paint's report, the next box, a close) is an
  // event the one before posts: the loop's turns bring them all about.
  const auto settleBoxes = [] {
    for (int i = 0; i < 20; ++i) Settle();
  };
  TFrmGlimmet& w = Open();
  whileOpen = [&] {
    w.SBarThumbs->setValue(3);  // two more failing paints
    w.SBarThumbs->setValue(5);
    Application.HandleException(Exception("last"));
  };
  ASSERT_TRUE(w.ChooseFolder(Dir / "empty"));  // two paints: the new Max, the repaint
  settleBoxes();
  EXPECT_EQ(shown, (std::vector<std::string>{empty, "last."}));
  EXPECT_EQ(mostOpen, 1u);

  watch.Shown.clear();
  const QPoint downArrow(10, w.SBarThumbs->height() - 8);
  SendMouse(w.SBarThumbs, QEvent::MouseButtonPress, downArrow, Qt::LeftButton, Qt::LeftButton);
  settleBoxes();
  EXPECT_TRUE(shown.empty()) << "a box opened while the button was held";
  SendMouse(w.SBarThumbs, QEvent::MouseButtonRelease, downArrow, Qt::LeftButton, Qt::NoButton);
  settleBoxes();
  EXPECT_EQ(w.SBarThumbs->value(), 6);
  EXPECT_EQ(shown, std::vector<std::string>{empty});
  EXPECT_EQ(mostOpen, 1u);
}

class NameTest : public MainWindowTest {
 protected:
  // rm walks a tree relative to its folders, below PATH_MAX too.
  void TearDown() override {
    MainWindowTest::TearDown();
    EXPECT_EQ(std::system(("rm -rf " + Dir / "long").c_str()), 0);
  }
};

// Awkward names, each in a folder of its own beside another picture: listed
// and loaded by their exact bytes. Names come from the directory as bytes
// and are opened as bytes, so bytes that are no UTF-8 survive. Qt cannot
// name a folder whose name is no UTF-8, so the tree does not show it; asked
// for it by bytes, the tree must not pick the folder whose name is what
// those bytes decode to. Paths longer than the system takes are refused by
// name: PATH_MAX counts the closing zero byte, and whether the tree can hold
// the node of a folder beyond it or not, that folder gives no list.
TEST_F(NameTest, AwkwardNamesAreListedAndLoadedByTheirBytesAndTooLongOnesAreRefused) {
  const std::tuple<const char*, std::string, std::string> names[] = {
      {"spaces", "with spaces ", " two  spaces .jpg"},
      {"quotes", "quote\"d 'folder'", "\"quoted\" 'too'.jpg"},
      {"newlines", "new\nline", "line\nbreak.jpg"},
      {"leading dashes", "-rf", "--help.jpg"},
      {"format directives", "%s%n%x", "%s%n%d.jpg"},
      {"backslashes", "back\\slash\\", "a\\b.jpg"},
      {"wildcards", "wild*?[x]", "star*?[ab].jpg"},
      {"non-ASCII UTF-8",
       "\xC3\xA9t\xC3\xA9 \xC3\x9C"
       "ber",
       "\xE6\x97\xA5\xE6\x9C\xAC.jpg"},
      {"control characters", "tab\there", "bell\a\x1b[0m.jpg"},
      {"Latin-1 file", "bytes", "\xE9t\xE9.jpg"},
      {"no UTF-8 file", "bytes", "\xFF\xFE\x80.jpg"},
  };
  Open();
  int row = 0;
  for (const auto& [what, folderName, file] : names) {
    SCOPED_TRACE(what);
    const Rgb colour = ++row % 2 ? kRed : kBlue;  // so that the row before cannot pass for it
    const std::string folder = Dir.AddDir(std::to_string(row) + "/" + folderName);
    WriteFile(folder + "/" + file, FlatJpeg(colour));
    WriteFile(folder + "/other.jpg", FlatJpeg(kYellow));
    ASSERT_TRUE(Choose(folder));
    const TStringList& list = *Window->FileList();
    ASSERT_EQ(list.Count(), 2);
    const int k = ExtractFileName(list[0]) == file ? 1 : 2;
    EXPECT_EQ(list[k - 1], AnsiUpperCaseAscii(folder + "/") + file);
    EXPECT_TRUE(Near(GridPixel(InsideSlide(k)), colour));
    EXPECT_TRUE(Near(GridPixel(InsideSlide(3 - k)), kYellow));
    ClickSlide(k);
    EXPECT_TRUE(Near(RgbAt(LargeView(), 310, 294), colour));
    EXPECT_TRUE(Errors.empty()) << Errors.front();
  }

  const std::string parent = Dir.AddDir("parent");
  const std::string raw = parent + "/d\xE9j\xE0", decoded = parent + "/d\xEF\xBF\xBDj\xEF\xBF\xBD";
  WriteFile(Dir.AddDir("parent/d\xE9j\xE0") + "/red.jpg", FlatJpeg(kRed));
  WriteFile(Dir.AddDir("parent/d\xEF\xBF\xBDj\xEF\xBF\xBD") + "/blue.jpg", FlatJpeg(kBlue));
  ASSERT_TRUE(Choose(ExtractFilePath(WritePicture("good/green.jpg", kGreen))));
  EXPECT_FALSE(Choose(raw));
  EXPECT_EQ(Window->FileList()->Count(), 1);
  EXPECT_EQ(ExtractFileName((*Window->FileList())[0]), "green.jpg");
  // The tree has read the folder's entries once the event loop has run until
  // it says so (the timer is a guard, not a measure).
  QFileSystemModel& model = Window->ShellTreeView1->Model();
  const QString parentName = QString::fromStdString(parent);
  if (model.canFetchMore(model.index(parentName))) {
    QEventLoop loop;
    QObject::connect(&model, &QFileSystemModel::directoryLoaded, &loop, [&](const QString& loaded) {
      if (loaded == parentName) loop.quit();
    });
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    model.fetchMore(model.index(parentName));
    loop.exec();
  }
  const QModelIndex index = model.index(parentName);
  ASSERT_EQ(model.rowCount(index), 1);
  EXPECT_EQ(QFile::encodeName(model.filePath(model.index(0, 0, index))).toStdString(), decoded);
  ASSERT_TRUE(Choose(decoded));
  ASSERT_EQ(Window->FileList()->Count(), 1);
  EXPECT_EQ(ExtractFileName((*Window->FileList())[0]), "blue.jpg");
  EXPECT_TRUE(Errors.empty()) << Errors.front();

  // A folder of about PATH_MAX - 40 bytes, made of 200-byte names; its files
  // are written from inside it, as their whole paths may be too long.
  std::string folder = Dir.AddDir("long");
  while (folder.size() + 241 < PATH_MAX) folder += "/" + std::string(200, 'd');
  folder += "/" + std::string(PATH_MAX - 41 - folder.size(), 'e');
  fs::create_directories(folder);
  const std::string fits = "fits.jpg", beyond = std::string(60, 'b') + ".jpg", below(100, 'f');
  ASSERT_LT(folder.size() + 1 + fits.size(), std::size_t(PATH_MAX));
  ASSERT_GE(folder.size() + 1 + beyond.size(), std::size_t(PATH_MAX));
  const fs::path cwd = fs::current_path();
  fs::current_path(folder);
  WriteFile(fits, FlatJpeg(kGreen));
  WriteFile(beyond, FlatJpeg(kBlue));
  fs::create_directory(below);
  WriteFile(below + "/deep.jpg", FlatJpeg(kRed));
  fs::current_path(cwd);
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
  EXPECT_TRUE(Near(RgbAt(LargeView(), 310, 294), kGreen));
  Application.Guard([&] { Window->Thumbs1ImageClick(Window->Thumbs1, 0, 0, 3 - k); });
  EXPECT_EQ(Errors, std::vector<std::string>{text});
  EXPECT_TRUE(Near(RgbAt(LargeView(), 310, 294), kGreen));
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
