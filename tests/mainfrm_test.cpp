// The browser window under Qt's offscreen platform, on a temporary folder of
// generated pictures: listing, ranges, scrolling, the picture supply, the
// wait cursor, the large view, layout, and errors that reach the error sink.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileSystemModel>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSplitter>
#include <QSplitterHandle>
#include <QThread>
#include <QTimer>
#include <QWheelEvent>
#include <QMessageBox>
#include <QMenu>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <functional>
#include <utility>
#include <cstdio>  // jpeglib.h needs FILE
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

#include "app/FolderModel.h"
#include "app/ShellTreeView.h"
#include "app/mainfrm.h"
#include "lib/Tesk_filesys.h"
#include "support/BrowserTest.h"
#include "support/JpegMaker.h"
#include "tools/TempDir.h"
#include "toolkit/FileData.h"
#include "toolkit/Forms.h"
#include "toolkit/Jpeg.h"
#include "toolkit/SysUtils.h"
#include "toolkit/qt/ControlHost.h"
#include "toolkit/qt/ImageView.h"

using namespace jpegmaker;
using namespace browsertest;

namespace {

const Rgb kFace{0xF0, 0xF0, 0xF0};  // clBtnFace of the scheme

// Flat pictures with full chroma and top quality come back within a few levels.
Options PictureOptions(int width, int height) {
  Options o;
  o.Width = width;
  o.Height = height;
  o.Quality = 100;
  o.FullChroma = true;
  return o;
}

// Slide 1 of the laid-out grid (299 x 453, position 1.0) has its box at
// (10, 12)-(144, 146); a 64 x 48 picture scales to 120 x 90 and lies at
// columns 17..136, rows 34..123. The point below is well inside it.
const QPoint kInsideSlide1Picture(77, 79);
// The grid's top-left corner in the window: Panel1 at (0, 0), the grid at
// (1, 137) inside it.
class MainWindowTest : public BrowserTest {
 protected:
  // Writes count flat pictures of the given colours (cycled) into folder.
  std::string AddPictures(const std::string& folder, int count, const std::vector<Rgb>& colours, int width = 64,
                          int height = 48) {
    const std::string path = Dir.AddDir(folder);
    for (int i = 0; i < count; ++i) {
      const Rgb& c = colours[size_t(i) % colours.size()];
      WriteFile(path + "/p" + std::to_string(i) + ".jpg", FlatJpeg(c, width, height));
    }
    return path;
  }

  QImage Shot() {
    Settle();
    return Window->grab().toImage();
  }

  // The entry of the file list that names the given file.
  int IndexOfFile(const std::string& name) const {
    const TStringList& list = *Window->FileList();
    for (int i = 0; i < list.Count(); ++i) {
      if (ExtractFileName(list[i]) == name) return i;
    }
    return -1;
  }
};

TEST_F(MainWindowTest, StartUpListsTheDataFolderIntoTheGridAndLeavesTheBarRange) {
  AddPictures("data", 3, {kRed});
  TFrmGlimmet& w = Open();
  EXPECT_EQ(FrmGlimmet, &w);
  EXPECT_EQ(w.ExeDir(), Dir.Path() + "/");
  const TStringList& list = *w.FileList();
  ASSERT_EQ(list.Count(), 3);
  std::set<std::string> names;
  for (int i = 0; i < list.Count(); ++i) {
    EXPECT_EQ(ExtractFilePath(list[i]), AnsiUpperCaseAscii(Dir.Path() + "/data/"));
    names.insert(ExtractFileName(list[i]));
  }
  EXPECT_EQ(names, (std::set<std::string>{"p0.jpg", "p1.jpg", "p2.jpg"}));
  EXPECT_EQ(w.Thumbs1->Max(), 3);
  EXPECT_EQ(w.Thumbs1->Min(), 1);
  EXPECT_EQ(w.SBarThumbs->minimum(), 0);
  EXPECT_EQ(w.SBarThumbs->maximum(), 100);
  EXPECT_EQ(w.SBarThumbs->value(), 0);
  EXPECT_TRUE(w.Thumbs1->Visible());
  EXPECT_TRUE(w.Thumbs1Host->isVisible());
  EXPECT_TRUE(Errors.empty());
}

TEST_F(MainWindowTest, EmptyDataFolderLeavesOneEmptySlideNumberedOne) {
  TFrmGlimmet& w = Open();
  EXPECT_EQ(w.FileList()->Count(), 0);
  EXPECT_EQ(w.Thumbs1->Max(), 1);
  EXPECT_TRUE(w.Thumbs1Host->isVisible());
  // The request for slide 1 is answered with nothing: the white card shows
  // (columns 17..136, rows 39..118), its number in the middle.
  EXPECT_TRUE(Near(GridPixel({30, 50}), {255, 255, 255}, 0));
  EXPECT_TRUE(Near(GridPixel({77, 30}), kSilver, 0));
}

TEST_F(MainWindowTest, PartsSitAtTheirLaidOutBoundsAndTheRightPaneTakesAResize) {
  TFrmGlimmet& w = Open();
  EXPECT_EQ(w.size(), QSize(944, 591));
  EXPECT_EQ(w.windowTitle(), "Glimmet");
  EXPECT_EQ(w.Panel1->geometry(), QRect(0, 0, 321, 591));
  EXPECT_EQ(w.Panel2->geometry(), QRect(321, 0, 623, 591));
  EXPECT_EQ(w.LargeImgView->geometry(), QRect(1, 1, 621, 589));
  const auto inPanel1 = [&](QWidget* child) { return QRect(child->mapTo(w.Panel1, QPoint(0, 0)), child->size()); };
  EXPECT_EQ(inPanel1(w.ShellTreeView1), QRect(1, 1, 319, 128));
  EXPECT_EQ(inPanel1(w.Thumbs1Host), QRect(1, 137, 299, 453));
  EXPECT_EQ(inPanel1(w.SBarThumbs), QRect(300, 137, 20, 453));
  EXPECT_EQ(w.Thumbs1->Width(), 299);
  EXPECT_EQ(w.Thumbs1->Height(), 453);

  w.resize(1044, 691);
  Settle();
  EXPECT_EQ(w.Panel1->width(), 321);
  EXPECT_EQ(w.ShellTreeView1->height(), 128);
  EXPECT_EQ(w.LargeImgView->size(), QSize(721, 689));
  EXPECT_EQ(w.Thumbs1->Width(), 299);
  EXPECT_EQ(w.Thumbs1->Height(), 553);
}

// Qt's widgets and the canvas share the face colour; both panels carry a
// 1-pixel raised bevel (button highlight top and left, button shadow bottom
// and right).
TEST_F(MainWindowTest, WindowFaceFontAndRaisedPanelBevels) {
  TFrmGlimmet& w = Open();
  EXPECT_EQ(w.palette().color(QPalette::Window), QColor(0xF0, 0xF0, 0xF0));
  EXPECT_EQ(QApplication::palette().color(QPalette::Button), QColor(0xF0, 0xF0, 0xF0));
  EXPECT_EQ(w.font().family(), "DejaVu Sans");
  EXPECT_EQ(w.font().pixelSize(), 13);
  const QImage shot = Shot();
  const Rgb white{255, 255, 255};
  const Rgb shadow{0xA0, 0xA0, 0xA0};
  EXPECT_TRUE(Near(RgbAt(shot, 0, 300), white, 0));
  EXPECT_TRUE(Near(RgbAt(shot, 160, 0), white, 0));
  EXPECT_TRUE(Near(RgbAt(shot, 320, 300), shadow, 0));
  EXPECT_TRUE(Near(RgbAt(shot, 160, 590), shadow, 0));
  EXPECT_TRUE(Near(RgbAt(shot, 321, 300), white, 0));
  EXPECT_TRUE(Near(RgbAt(shot, 943, 300), shadow, 0));
  EXPECT_TRUE(Near(RgbAt(shot, 600, 590), shadow, 0));
  EXPECT_TRUE(Near(RgbAt(shot, 600, 300), kFace, 0));
}

// The layout's values that differ from the grid's defaults (the rest, equal
// to them, show in the pixels of the other tests), and the layout they give.
TEST_F(MainWindowTest, GridValuesAreThoseOfTheLayout) {
  TFrmGlimmet& w = Open();
  TThumbnails& g = *w.Thumbs1;
  EXPECT_EQ(g.SlideSelectMode(), ssmSingle);
  EXPECT_FALSE(g.AntiAlias());
  EXPECT_EQ(g.NumColumns(), 2);
  EXPECT_EQ(g.NumRows(), 4);
}

TEST_F(MainWindowTest, FolderWithoutPicturesHidesTheGridAndTheNextFolderShowsIt) {
  AddPictures("data", 2, {kRed});
  const std::string empty = Dir.AddDir("empty");
  Dir.AddFile("empty/notes.txt", "no pictures here");
  const std::string five = AddPictures("five", 5, {kBlue});
  TFrmGlimmet& w = Open();

  ASSERT_TRUE(w.ChooseFolder(empty));
  EXPECT_FALSE(w.Thumbs1->Visible());
  EXPECT_FALSE(w.Thumbs1Host->isVisible());
  EXPECT_EQ(w.Thumbs1->Max(), 2);
  EXPECT_EQ(w.SBarThumbs->maximum(), 100);
  w.SBarThumbs->setValue(7);  // the bar still moves, without visible effect
  // The bar keeps its laid-out place; the grid's area shows the panel.
  EXPECT_EQ(w.SBarThumbs->mapTo(w.Panel1, QPoint(0, 0)), QPoint(300, 137));
  EXPECT_TRUE(Near(GridPixel(kInsideSlide1Picture), kFace, 0));

  int paints = 0;
  const TNotifyEvent first = w.Thumbs1->OnFirstImageRequest;
  w.Thumbs1->OnFirstImageRequest = [&](TObject* sender) {
    ++paints;
    first(sender);
  };
  ASSERT_TRUE(w.ChooseFolder(five));
  Shot();
  Settle();
  EXPECT_EQ(paints, 1) << "showing the grid costs one paint";
  EXPECT_TRUE(w.Thumbs1->Visible());
  EXPECT_TRUE(w.Thumbs1Host->isVisible());
  EXPECT_EQ(w.FileList()->Count(), 5);
  EXPECT_EQ(w.Thumbs1->Max(), 5);
  EXPECT_EQ(w.SBarThumbs->maximum(), 5);
  EXPECT_EQ(w.SBarThumbs->value(), 5);
  EXPECT_TRUE(Near(GridPixel(kInsideSlide1Picture), kBlue));
}

TEST_F(MainWindowTest, BarPositionsScrollTheGridByHalfRows) {
  const std::string ten = AddPictures("ten", 10, {kGreen}, 16, 16);
  TFrmGlimmet& w = Open();
  ASSERT_TRUE(w.ChooseFolder(ten));
  // The first move of a turn of the event loop scrolls at once, the others
  // once the turn's input is handled, to where the bar is then.
  std::vector<int> painted;
  w.Thumbs1->OnLastImageRequest = [&](TObject*) { painted.push_back(int(w.Thumbs1->ScrollPosition() * 2)); };
  w.SBarThumbs->setValue(4);
  EXPECT_DOUBLE_EQ(w.Thumbs1->ScrollPosition(), 3.5);
  w.SBarThumbs->setValue(0);
  w.SBarThumbs->setValue(6);
  w.SBarThumbs->setValue(3);
  EXPECT_DOUBLE_EQ(w.Thumbs1->ScrollPosition(), 3.5);
  QApplication::processEvents();
  EXPECT_DOUBLE_EQ(w.Thumbs1->ScrollPosition(), 3.0);
  w.SBarThumbs->setValue(0);
  QApplication::processEvents();
  EXPECT_DOUBLE_EQ(w.Thumbs1->ScrollPosition(), 1.0);
  EXPECT_EQ(painted, (std::vector<int>{7, 6, 2}));
}

TEST_F(MainWindowTest, SmallerFolderPullsTheBarDownAndLargerOneLeavesIt) {
  const std::string forty = AddPictures("forty", 40, {kGreen}, 16, 16);
  const std::string ten = AddPictures("ten", 10, {kGreen}, 16, 16);
  const std::string fifty = AddPictures("fifty", 50, {kGreen}, 16, 16);
  TFrmGlimmet& w = Open();

  ASSERT_TRUE(w.ChooseFolder(forty));
  w.SBarThumbs->setValue(35);
  EXPECT_DOUBLE_EQ(w.Thumbs1->ScrollPosition(), 35.0);
  ASSERT_TRUE(w.ChooseFolder(fifty));
  EXPECT_EQ(w.SBarThumbs->value(), 35);
  EXPECT_DOUBLE_EQ(w.Thumbs1->ScrollPosition(), 35.0);

  ASSERT_TRUE(w.ChooseFolder(forty));
  w.SBarThumbs->setValue(35);
  ASSERT_TRUE(w.ChooseFolder(ten));
  EXPECT_EQ(w.SBarThumbs->value(), 10);
  // The row of slides 9 and 10, half a row up.
  EXPECT_DOUBLE_EQ(w.Thumbs1->ScrollPosition(), 9.5);
}

TEST_F(MainWindowTest, FolderWithTheSameCountShowsItsOwnPictures) {
  const std::string reds = AddPictures("reds", 3, {kRed});
  const std::string blues = AddPictures("blues", 3, {kBlue});
  TFrmGlimmet& w = Open();
  ASSERT_TRUE(w.ChooseFolder(reds));
  EXPECT_TRUE(Near(GridPixel(kInsideSlide1Picture), kRed));
  ASSERT_TRUE(w.ChooseFolder(blues));
  EXPECT_TRUE(Near(GridPixel(kInsideSlide1Picture), kBlue));
}

TEST_F(MainWindowTest, ThumbnailFillsThePictureAreaOfItsSlideOnScreen) {
  AddPictures("data", 1, {kYellow});
  Open();
  const QImage shot = Shot();
  const auto at = [&](int x, int y) { return RgbAt(shot, kGridInWindow.x() + x, kGridInWindow.y() + y); };
  // Picture columns 17..136, rows 34..123; its lowered frame takes the first
  // two and the last two of them.
  EXPECT_TRUE(Near(at(19, 36), kYellow));
  EXPECT_TRUE(Near(at(77, 79), kYellow));
  EXPECT_TRUE(Near(at(134, 121), kYellow));
  EXPECT_TRUE(Near(at(77, 32), kSilver, 0));   // cover above the picture
  EXPECT_TRUE(Near(at(77, 125), kSilver, 0));  // and below it
  // Slide 1's raised outer frame and the grid's lowered control frame.
  EXPECT_TRUE(Near(at(10, 12), {255, 255, 255}, 0));
  EXPECT_TRUE(Near(at(144, 146), {0, 0, 0}, 0));
  EXPECT_TRUE(Near(at(0, 0), {0x80, 0x80, 0x80}, 0));
  EXPECT_TRUE(Near(at(1, 1), {0, 0, 0}, 0));
  EXPECT_TRUE(Near(at(297, 451), {255, 255, 255}, 0));
  EXPECT_TRUE(Near(at(298, 452), kFace, 0));
}

// The host presents what the grid drew and asks it to draw only when the
// window system needs it: the focus outline, drawn straight on the screen
// surface, stays through later presents.
TEST_F(MainWindowTest, GridDrawsOncePerChangeAndPresentsKeepTheFocusOutline) {
  AddPictures("data", 6, {kRed}, 16, 16);
  TFrmGlimmet& w = Open();
  int paints = 0;
  const TNotifyEvent first = w.Thumbs1->OnFirstImageRequest;
  w.Thumbs1->OnFirstImageRequest = [&](TObject* sender) {
    ++paints;
    first(sender);
  };
  w.SBarThumbs->setValue(3);
  Shot();
  EXPECT_EQ(paints, 1);

  // Slide 3 now begins the top row, its box at (10, 12); the outline runs
  // two pixels inside it, from (12, 14) to (142, 144).
  SendMouse(w.Thumbs1Host, QEvent::MouseMove, {50, 50}, Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(w.Thumbs1->FocusedSlide(), 3);
  w.Thumbs1Host->update();
  const QImage shot = Shot();
  EXPECT_EQ(paints, 1);
  EXPECT_TRUE(Near(RgbAt(shot, kGridInWindow.x() + 12, kGridInWindow.y() + 80), {0, 0, 255}, 0));
  EXPECT_TRUE(Near(RgbAt(shot, kGridInWindow.x() + 142, kGridInWindow.y() + 80), {0, 0, 255}, 0));

  w.resize(944, 600);  // a new size: the window system needs the grid drawn
  Shot();
  EXPECT_EQ(paints, 2);
  EXPECT_EQ(w.Thumbs1->Height(), 462);
}

TEST_F(MainWindowTest, HourglassShowsOnlyWhileTheGridRequestsPictures) {
  AddPictures("data", 2, {kRed});
  TFrmGlimmet& w = Open();
  std::vector<int> cursors;
  std::vector<bool> waitShapes;
  w.Thumbs1->OnSlideRendered = [&](TObject*, TCanvas&, int, int, int) {
    cursors.push_back(Screen.Cursor());
    const QCursor* c = QGuiApplication::overrideCursor();
    waitShapes.push_back(c && c->shape() == Qt::WaitCursor);
  };
  w.Thumbs1->Repaint();
  EXPECT_EQ(cursors, (std::vector<int>{crHourGlass, crHourGlass}));
  EXPECT_EQ(waitShapes, (std::vector<bool>{true, true}));
  EXPECT_EQ(Screen.Cursor(), crDefault);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(MainWindowTest, ClickedSlideIsSelectedAndShownCentredInTheLargeView) {
  AddPictures("data", 2, {kRed, kBlue});
  TFrmGlimmet& w = Open();
  const Rgb first = IndexOfFile("p0.jpg") == 0 ? kRed : kBlue;
  Click(w.Thumbs1Host, kInsideSlide1Picture);
  EXPECT_TRUE(w.Thumbs1->Selection().Bit(0));
  ASSERT_EQ(w.LargeImg->Picture().Width(), 64);

  // (621 - 64) div 2 = 278 and (589 - 48) div 2 = 270: the odd differences
  // leave one pixel more of the view on the right and at the bottom.
  const QImage view = w.LargeImgView->grab().toImage();
  EXPECT_TRUE(Near(RgbAt(view, 277, 290), kFace, 0));
  EXPECT_TRUE(Near(RgbAt(view, 278, 290), first));
  EXPECT_TRUE(Near(RgbAt(view, 341, 290), first));
  EXPECT_TRUE(Near(RgbAt(view, 342, 290), kFace, 0));
  EXPECT_TRUE(Near(RgbAt(view, 300, 269), kFace, 0));
  EXPECT_TRUE(Near(RgbAt(view, 300, 270), first));
  EXPECT_TRUE(Near(RgbAt(view, 300, 317), first));
  EXPECT_TRUE(Near(RgbAt(view, 300, 318), kFace, 0));

  // A click beside every slide changes nothing in the large view.
  const TGraphic* shown = w.LargeImg->Picture().Graphic();
  Click(w.Thumbs1Host, {145, 79});
  EXPECT_EQ(w.LargeImg->Picture().Graphic(), shown);
  EXPECT_TRUE(Errors.empty());
}

// 700 x 600 in a 621 x 589 view: the origin is (-79 div 2, -11 div 2) =
// (-39, -5), so 39 columns are cut on the left and 40 on the right, 5 rows
// at the top and 6 at the bottom. The picture's left 40 columns are red and
// its top 8 rows green (block-aligned, so the edges decode sharp).
TEST_F(MainWindowTest, PictureLargerThanTheViewShowsItsMiddle) {
  const std::string path = Dir.AddDir("data") + "/big.jpg";
  WriteFile(path, MakeJpeg(PictureOptions(700, 600), [](int x, int y) {
              if (x < 40) return ToSample(kRed);
              if (y < 8) return ToSample(kGreen);
              if (x >= 656) return ToSample(kYellow);
              return ToSample(kBlue);
            }));
  TFrmGlimmet& w = Open();
  Click(w.Thumbs1Host, kInsideSlide1Picture);
  const QImage view = w.LargeImgView->grab().toImage();
  EXPECT_TRUE(Near(RgbAt(view, 0, 300), kRed));       // picture column 39
  EXPECT_TRUE(Near(RgbAt(view, 1, 300), kBlue));      // column 40
  EXPECT_TRUE(Near(RgbAt(view, 300, 2), kGreen));     // row 7
  EXPECT_TRUE(Near(RgbAt(view, 300, 3), kBlue));      // row 8
  EXPECT_TRUE(Near(RgbAt(view, 616, 300), kBlue));    // column 655
  EXPECT_TRUE(Near(RgbAt(view, 617, 300), kYellow));  // column 656
}

struct OriginCase {
  QSize Picture;
  QPoint Origin;
};

void PrintTo(const OriginCase& c, std::ostream* os) {
  *os << c.Picture.width() << "x" << c.Picture.height() << " at (" << c.Origin.x() << ", " << c.Origin.y() << ")";
}

class PictureOriginTest : public testing::TestWithParam<OriginCase> {};

TEST_P(PictureOriginTest, CentringTruncatesTowardZero) {
  EXPECT_EQ(TImageView::PictureOrigin(QSize(621, 589), GetParam().Picture, true), GetParam().Origin);
  EXPECT_EQ(TImageView::PictureOrigin(QSize(621, 589), GetParam().Picture, false), QPoint(0, 0));
}

INSTANTIATE_TEST_SUITE_P(LargeView, PictureOriginTest,
                         testing::Values(OriginCase{{64, 48}, {278, 270}}, OriginCase{{621, 589}, {0, 0}},
                                         OriginCase{{620, 588}, {0, 0}}, OriginCase{{622, 590}, {0, 0}},
                                         OriginCase{{623, 591}, {-1, -1}}, OriginCase{{700, 600}, {-39, -5}}));

// A file that cannot be shown costs only its own slide: the paint goes on,
// the slide keeps its numbered card, the first failure is reported once at
// the end, and no slide of an earlier paint stays on the screen.
TEST_F(MainWindowTest, BrokenFileKeepsItsNumberedCardAndTheRestOfThePaintShows) {
  Dir.AddFile("data/broken.jpg", "this is no JPEG data at all");
  const std::string mixed = AddPictures("mixed", 3, {kGreen});
  Dir.AddFile("mixed/broken.jpg", "neither is this");
  TFrmGlimmet& w = Open();
  const auto white = Rgb{255, 255, 255};
  const auto cardOf = [](int k) { return InsideSlide(k) - QPoint(47, 29); };
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_EQ(Errors[0], "JPEG error #" + std::to_string(JERR_NO_SOI) + ".");
  EXPECT_TRUE(Near(GridPixel(cardOf(1)), white, 0));
  EXPECT_TRUE(Near(GridPixel(cardOf(2)), kFace, 0)) << "a card left from the layout's paints";
  EXPECT_EQ(Screen.Cursor(), crDefault);

  Errors.clear();
  // Two paints: the grid's new Max, then the click's repaint.
  ASSERT_TRUE(w.ChooseFolder(mixed));
  EXPECT_EQ(Errors, std::vector<std::string>(2, "JPEG error #" + std::to_string(JERR_NO_SOI) + "."));
  EXPECT_EQ(w.SBarThumbs->maximum(), 4);
  EXPECT_EQ(Screen.Cursor(), crDefault);
  const int broken = IndexOfFile("broken.jpg") + 1;
  for (int k = 1; k <= 4; ++k) {
    if (k == broken) {
      EXPECT_TRUE(Near(GridPixel(cardOf(k)), white, 0)) << k;
    } else {
      EXPECT_TRUE(Near(GridPixel(InsideSlide(k)), kGreen)) << k;
    }
  }
  EXPECT_TRUE(Near(GridPixel(InsideSlide(5)), kFace, 0));
}

TEST_F(MainWindowTest, LargeViewReportsALateDecodeErrorOnceAndKeepsTheRows) {
  const std::string path = Dir.AddDir("late") + "/late.jpg";
  WriteFile(path, InsertBeforeEoi(MakeJpeg(PictureOptions(64, 48), Flat(ToSample(kBlue))),
                                  {0xFF, 0xF7, 0x00, 0x04, 0x00, 0x00}));
  TFrmGlimmet& w = Open();
  ASSERT_TRUE(w.ChooseFolder(Dir / "late"));
  // The grid's paints decode the same file and fail too.
  ASSERT_EQ(Errors.size(), 1u);
  Click(w.Thumbs1Host, kInsideSlide1Picture);
  ASSERT_EQ(w.LargeImg->Picture().Width(), 64);
  Errors.clear();

  QImage view = w.LargeImgView->grab().toImage();
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_EQ(Errors[0].rfind("JPEG error #", 0), 0u) << Errors[0];
  EXPECT_TRUE(Near(RgbAt(view, 300, 290), kBlue));
  view = w.LargeImgView->grab().toImage();
  EXPECT_EQ(Errors.size(), 1u);
  EXPECT_TRUE(Near(RgbAt(view, 300, 290), kBlue));
}

TEST_F(MainWindowTest, ExceptionsInQtDrivenPaintAndMouseInputReachTheSink) {
  AddPictures("data", 6, {kRed}, 16, 16);
  TFrmGlimmet& w = Open();
  w.Thumbs1->OnSlideRendered = [](TObject*, TCanvas&, int, int, int) { throw Exception("paint failed"); };
  w.resize(950, 600);  // the window system asks the grid to draw at its new size
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
  w.SBarThumbs->setValue(3);  // the paint after a failed one draws nothing
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

TEST_F(MainWindowTest, EventsAfterFormCloseAreIgnored) {
  AddPictures("data", 2, {kRed});
  const std::string more = AddPictures("more", 3, {kBlue});
  TFrmGlimmet& w = Open();
  w.close();
  EXPECT_EQ(w.FileList(), nullptr);
  w.Thumbs1->Repaint();
  TImageRequestProcessing how = irpShowEmpty;
  int mark = -1;
  TBitmap* buffer = new TBitmap;
  w.Thumbs1ImageRequest(w.Thumbs1, 1, how, mark, buffer);
  EXPECT_EQ(how, irpShowEmpty);
  delete buffer;
  w.Thumbs1ImageClick(w.Thumbs1, 77, 79, 1);
  EXPECT_TRUE(w.ChooseFolder(more));
  w.SBarThumbs->setValue(2);
  w.show();
  Settle();
  EXPECT_EQ(w.FileList(), nullptr);
  EXPECT_TRUE(Errors.empty());
}

TEST_F(MainWindowTest, PrimaryClickOnAFolderInTheTreeListsIt) {
  const std::string folder = AddPictures("clicked", 4, {kGreen});
  TFrmGlimmet& w = Open();
  TShellTreeView& tree = *w.ShellTreeView1;
  ASSERT_TRUE(tree.SelectPath(Dir.Path()));  // makes the folder's node known and visible
  tree.clearSelection();
  const QModelIndex index = tree.Model().index(QString::fromStdString(folder));
  tree.scrollTo(index);
  const QRect rect = tree.visualRect(index);
  ASSERT_TRUE(rect.isValid());

  SendMouse(tree.viewport(), QEvent::MouseButtonPress, rect.center(), Qt::LeftButton, Qt::LeftButton);
  SendMouse(tree.viewport(), QEvent::MouseButtonRelease, rect.center(), Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(tree.SelectedPath(), folder);
  EXPECT_EQ(w.FileList()->Count(), 4);
  EXPECT_EQ(w.Thumbs1->Max(), 4);

  // A click on another node's expand button selects nothing new but lists
  // the selected folder again (it has gained a picture meanwhile).
  AddPictures("clicked", 5, {kGreen});
  const std::string other = Dir.AddDir("other/inner");
  const QModelIndex otherIndex = tree.Model().index(QString::fromStdString(Dir / "other"));
  tree.scrollTo(otherIndex);
  const QRect otherRect = tree.visualRect(otherIndex);
  const QPoint button(otherRect.left() - tree.indentation() / 2, otherRect.center().y());
  SendMouse(tree.viewport(), QEvent::MouseButtonPress, button, Qt::LeftButton, Qt::LeftButton);
  SendMouse(tree.viewport(), QEvent::MouseButtonRelease, button, Qt::LeftButton, Qt::NoButton);
  EXPECT_TRUE(tree.isExpanded(otherIndex));
  EXPECT_EQ(tree.SelectedPath(), folder);
  EXPECT_EQ(w.FileList()->Count(), 5);

  // A click below the last node keeps the selection and lists it again.
  AddPictures("clicked", 6, {kGreen});
  tree.collapse(tree.Model().index("/"));
  const QPoint below(60, tree.viewport()->height() - 5);
  ASSERT_FALSE(tree.indexAt(below).isValid());
  SendMouse(tree.viewport(), QEvent::MouseButtonPress, below, Qt::LeftButton, Qt::LeftButton);
  SendMouse(tree.viewport(), QEvent::MouseButtonRelease, below, Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(tree.SelectedPath(), folder);
  EXPECT_EQ(w.FileList()->Count(), 6);

  // With nothing selected a click lists nothing and keeps the list.
  tree.clearSelection();
  w.ShellTreeView1Click(&w);
  EXPECT_EQ(w.FileList()->Count(), 6);
}

TEST_F(MainWindowTest, SplitterDragAppliesOnReleaseAndCollapsesATreeBelowThirty) {
  TFrmGlimmet& w = Open();
  QSplitterHandle* handle = w.Splitter1->handle(1);
  const auto drag = [&](int treeHeight) {
    const QPoint grip(50, 4);
    const int dy = treeHeight - w.ShellTreeView1->height();
    SendMouse(handle, QEvent::MouseButtonPress, grip, Qt::LeftButton, Qt::LeftButton);
    SendMouse(handle, QEvent::MouseMove, grip + QPoint(0, dy), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(w.Splitter1->sizes()[0], w.ShellTreeView1->height()) << "moved before the release";
    // A pattern line where the handle will go: every other pixel dark.
    const QImage shot = w.Splitter1->grab().toImage();
    const int y = std::max(treeHeight, 0) + 3;
    EXPECT_NE(RgbAt(shot, 100, y).R == 0, RgbAt(shot, 101, y).R == 0) << "no pattern at row " << y;
    SendMouse(handle, QEvent::MouseButtonRelease, grip + QPoint(0, dy), Qt::LeftButton, Qt::NoButton);
    Settle();
  };
  // The handle's raised bevel: light above, shadow below, face between.
  const QImage bevel = handle->grab().toImage();
  EXPECT_TRUE(Near(RgbAt(bevel, 100, 0), {255, 255, 255}, 0));
  EXPECT_TRUE(Near(RgbAt(bevel, 100, 3), kFace, 0));
  EXPECT_TRUE(Near(RgbAt(bevel, 100, 7), {0xA0, 0xA0, 0xA0}, 0));  // the scheme's button shadow
  drag(60);
  EXPECT_EQ(w.Splitter1->sizes()[0], 60);
  EXPECT_EQ(w.Thumbs1->Height(), 453 + 128 - 60);
  drag(20);
  EXPECT_EQ(w.Splitter1->sizes()[0], 0);
  EXPECT_EQ(w.Thumbs1->Height(), 453 + 128);
}

TEST_F(MainWindowTest, BarTakesTheFirstFocusAndMovesByKeysAndTheWheel) {
  AddPictures("data", 10, {kGreen}, 16, 16);
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
  // The bar's range is the layout's 0..100; the grid clamps to its Max, 10,
  // the row of slides 9 and 10 half a row up.
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
}

TEST_F(MainWindowTest, FolderTreeShowsIconsArrowsOnlyWhereSubfoldersAreAndAFolderMenu) {
  Dir.AddFile("leaf/a.jpg", "files do not count");
  Dir.AddDir("leaf/.hidden");
  Dir.AddDir("parent/child");
  TFrmGlimmet& w = Open();
  TShellTreeView& tree = *w.ShellTreeView1;
  ASSERT_TRUE(tree.SelectPath(Dir / "parent"));
  const auto index = [&](const std::string& rel) { return tree.Model().index(QString::fromStdString(Dir / rel)); };
  EXPECT_FALSE(tree.Model().hasChildren(index("leaf")));
  EXPECT_TRUE(tree.Model().hasChildren(index("parent")));
  EXPECT_FALSE(tree.Model().hasChildren(index("parent/child")));
  const QIcon icon = tree.Model().data(index("leaf"), Qt::DecorationRole).value<QIcon>();
  EXPECT_FALSE(icon.pixmap(16, 16).isNull());

  // A right click selects the folder and opens its menu.
  tree.scrollTo(index("leaf"));
  const QPoint at = tree.visualRect(index("leaf")).center();
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

// Error boxes as the user meets them: the real message box. A timer closes
// each box that opens, noting how many were open at once.
class ErrorBoxTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    Application.SetErrorSink(nullptr);
    for (int i = 0; i < 16; ++i) Dir.AddFile("empty/" + std::to_string(i) + ".jpg", "");
    FWatch.setInterval(5);
    QObject::connect(&FWatch, &QTimer::timeout, [this] { Watch(); });
    FWatch.start();
  }

  std::vector<QMessageBox*> OpenBoxes() const {
    std::vector<QMessageBox*> boxes;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) boxes.push_back(box);
    }
    return boxes;
  }

  // A box is noted when first seen and closed a tick later, so that a box
  // opened inside it would be seen beside it.
  void Watch() {
    const std::vector<QMessageBox*> boxes = OpenBoxes();
    if (boxes.empty()) return;
    MostOpen = std::max(MostOpen, boxes.size());
    QMessageBox* box = boxes.back();
    if (!box->property("seen").toBool()) {
      box->setProperty("seen", true);
      Shown.push_back(box->text().toStdString());
      if (WhileOpen) std::exchange(WhileOpen, nullptr)();
      return;
    }
    box->done(QMessageBox::Ok);
  }

  // Until every box that was asked for has come and gone.
  void SettleBoxes() {
    for (int i = 0; i < 50; ++i) {
      Settle();
      QThread::msleep(2);
    }
  }

  QTimer FWatch;
  std::size_t MostOpen = 0;
  std::vector<std::string> Shown;
  std::function<void()> WhileOpen;
};

TEST_F(ErrorBoxTest, BoxWaitsForTheReleaseSoAnArrowClickMovesOnePosition) {
  TFrmGlimmet& w = Open();
  ASSERT_TRUE(w.ChooseFolder(Dir / "empty"));
  w.SBarThumbs->setValue(1);  // shows what position 0 showed: no paint
  SettleBoxes();
  Shown.clear();

  const QPoint downArrow(10, w.SBarThumbs->height() - 8);
  SendMouse(w.SBarThumbs, QEvent::MouseButtonPress, downArrow, Qt::LeftButton, Qt::LeftButton);
  SettleBoxes();
  EXPECT_TRUE(Shown.empty()) << "a box opened while the button was held";
  SendMouse(w.SBarThumbs, QEvent::MouseButtonRelease, downArrow, Qt::LeftButton, Qt::NoButton);
  SettleBoxes();
  EXPECT_EQ(w.SBarThumbs->value(), 2);
  EXPECT_EQ(Shown, std::vector<std::string>{"JPEG error #" + std::to_string(JERR_INPUT_EMPTY) + "."});
  EXPECT_EQ(MostOpen, 1u);
}

// A text already open or waiting is not shown again: the folder click's two
// paints and the scrolling while its box is open all meet the broken file.
TEST_F(ErrorBoxTest, FailuresWhileABoxIsOpenWaitForItOneBoxAtATime) {
  TFrmGlimmet& w = Open();
  WhileOpen = [&] {
    w.SBarThumbs->setValue(3);  // two more failing paints
    w.SBarThumbs->setValue(5);
    Application.HandleException(Exception("last"));
  };
  ASSERT_TRUE(w.ChooseFolder(Dir / "empty"));  // two paints: the new Max, the repaint
  SettleBoxes();
  const std::string empty = "JPEG error #" + std::to_string(JERR_INPUT_EMPTY) + ".";
  EXPECT_EQ(Shown, (std::vector<std::string>{empty, "last."}));
  EXPECT_EQ(MostOpen, 1u);
}

}  // namespace
