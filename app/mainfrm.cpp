#include "app/mainfrm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFrame>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QPalette>
#include <QScreen>
#include <QScrollBar>
#include <QShowEvent>
#include <QSplitter>
#include <QToolTip>
#include <QWindow>
#include <algorithm>
#include <utility>
#include <vector>

#include "app/FolderWatch.h"
#include "app/FullScreen.h"
#include "app/PatternSplitter.h"
#include "app/ShellTreeView.h"
#include "app/SlideToolTip.h"
#include "lib/Tesk_filesys.h"
#include "toolkit/Forms.h"
#include "toolkit/SysUtils.h"
#include "toolkit/qt/QtPixels.h"
#include "toolkit/qt/ControlHost.h"
#include "toolkit/qt/FocusMark.h"
#include "toolkit/qt/ImageView.h"

TFrmGlimmet* FrmGlimmet = nullptr;

namespace {

// Sizes of the laid-out window (client area) and its parts.
constexpr int kClientWidth = 944;
constexpr int kClientHeight = 591;
constexpr int kPanel1Width = 321;
constexpr int kTreeHeight = 128;
constexpr int kSplitterHeight = 8;
constexpr int kGridHeight = 453;
constexpr int kScrollBarWidth = 20;
constexpr int kSplitterMinSize = 30;

// What the error box would say of the failure, and what the decoder said
// of it, as a slide's tip tells it.
std::string FailureText(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const EInvalidGraphic& e) {
    const std::string text = TApplication::ErrorText(e.what());
    return e.Detail.empty() ? text : text + " " + e.Detail;
  } catch (const std::exception& e) {
    return TApplication::ErrorText(e.what());
  } catch (...) {
    return "Unknown error.";
  }
}

}  // namespace

void InstallSchemePalette() {
  QPalette p = QApplication::palette();
  p.setColor(QPalette::Window, ToQColor(clBtnFace));
  p.setColor(QPalette::Button, ToQColor(clBtnFace));
  p.setColor(QPalette::Light, ToQColor(clBtnHighlight));
  p.setColor(QPalette::Midlight, ToQColor(clSystemColor | 22));
  p.setColor(QPalette::Mid, ToQColor(clBtnShadow));
  p.setColor(QPalette::Dark, ToQColor(clBtnShadow));
  p.setColor(QPalette::Shadow, ToQColor(clSystemColor | 21));
  p.setColor(QPalette::WindowText, ToQColor(clWindowText));
  p.setColor(QPalette::ButtonText, ToQColor(clBtnText));
  p.setColor(QPalette::Base, ToQColor(clWindow));
  p.setColor(QPalette::Text, ToQColor(clWindowText));
  p.setColor(QPalette::Highlight, ToQColor(clHighlight));
  p.setColor(QPalette::HighlightedText, ToQColor(clHighlightText));
  QApplication::setPalette(p);
}

TFrmGlimmet::TFrmGlimmet(QWidget* parent) : QWidget(parent), TComponent(nullptr) {
  SetName("FrmGlimmet");
  FrmGlimmet = this;
  InstallSchemePalette();
  setWindowTitle("Glimmet");
  QFont font("DejaVu Sans");
  font.setPixelSize(13);
  setFont(font);
  setAutoFillBackground(true);
  BuildLayout();
  LoadThumbs1Values();
  ConnectEvents();
  // The bar comes first in the tab order and takes the first focus; the
  // grid and the large view take it when clicked or tabbed to.
  Thumbs1Host->setFocusPolicy(Qt::StrongFocus);
  setTabOrder(SBarThumbs, ShellTreeView1);
  setTabOrder(ShellTreeView1, Thumbs1Host);
  setTabOrder(Thumbs1Host, LargeImgView);
  SBarThumbs->setFocus();
  // Each Tab stop shows that it has the focus: a band two pixels wide over
  // its edges, or, for the large view, whose picture reaches them, over the
  // panel's frame around it.
  for (QWidget* stop : std::initializer_list<QWidget*>{SBarThumbs, ShellTreeView1, Thumbs1Host}) {
    TFocusMark::Mark(*stop, *stop, 2);
  }
  TFocusMark::Mark(*LargeImgView, *Panel2, Panel2->frameWidth());
  // The wheel over the grid turns the bar, as over the bar itself; the
  // grid's keys and tips are the window's.
  Thumbs1Host->installEventFilter(this);
  // The platform's quit key closes the window as its close button does.
  auto* quit = new QAction(this);
  quit->setShortcut(QKeySequence::Quit);
  quit->setShortcutContext(Qt::WindowShortcut);
  connect(quit, &QAction::triggered, this, &QWidget::close);
  addAction(quit);
  auto* full = new QAction(this);
  full->setShortcut(Qt::Key_F11);
  full->setShortcutContext(Qt::WindowShortcut);
  connect(full, &QAction::triggered, this, [this] { ToggleFullScreen(); });
  addAction(full);
  // The large view's steps and full screen are the window's; its zoom is its own.
  FFullScreen = std::make_unique<TFullScreen>(*this, *LargeImgView, [this] { return LargeViewLine(); });
  LargeImgView->installEventFilter(this);
  connect(LargeImgView, &TImageView::ScaleChanged, this, [this] { FFullScreen->Flash(); });
  setAcceptDrops(true);
  FFolderWatch = std::make_unique<TFolderWatch>([this] { Application.Guard([this] { ListAgain(true); }); });
  resize(kClientWidth, kClientHeight);
  Application.Guard([this] { FormCreate(this); });
}

TFrmGlimmet::~TFrmGlimmet() {
  // The views go before the components they show, which the component base
  // frees next; the large view is back in the window first.
  FFullScreen.reset();
  delete Thumbs1Host;
  delete LargeImgView;
  if (FrmGlimmet == this) FrmGlimmet = nullptr;
}

QFrame* TFrmGlimmet::MakeRaisedPanel() {
  auto* panel = new QFrame(this);
  panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  panel->setLineWidth(1);
  auto* layout = new QHBoxLayout(panel);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  return panel;
}

void TFrmGlimmet::BuildLayout() {
  Panel1 = MakeRaisedPanel();
  Panel1->setFixedWidth(kPanel1Width);
  Thumbs1 = new TThumbnails(this);
  Panel2 = MakeRaisedPanel();
  LargeImg = new TImage(this);
  LargeImg->SetName("LargeImg");
  LargeImg->Center = true;
  LargeImgView = new TImageView(*LargeImg, Panel2);
  // Its averaged pictures are jobs of the window's one picture supply.
  LargeImgView->SetAverager(&FSupply);
  Panel2->layout()->addWidget(LargeImgView);
  BuildSplitter();
  Panel1->layout()->addWidget(Splitter1);

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(Panel1);
  layout->addWidget(Panel2, 1);
}

QWidget* TFrmGlimmet::BuildGridArea() {
  auto* area = new QWidget;
  area->setMinimumHeight(kSplitterMinSize);
  Thumbs1Host = new TControlHostWidget(*Thumbs1, area);
  SBarThumbs = new QScrollBar(Qt::Vertical, area);
  SBarThumbs->setFixedWidth(kScrollBarWidth);
  SBarThumbs->setRange(0, 100);
  SBarThumbs->setSingleStep(1);
  SBarThumbs->setPageStep(1);
  // It takes the keyboard: arrows, Page Up/Down, Home and End move it.
  SBarThumbs->setFocusPolicy(Qt::StrongFocus);
  auto* layout = new QHBoxLayout(area);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(Thumbs1Host, 1);
  layout->addWidget(SBarThumbs);
  return area;
}

void TFrmGlimmet::BuildSplitter() {
  Splitter1 = new TPatternSplitter(Qt::Vertical);
  ShellTreeView1 = new TShellTreeView;
  // Any height may be dragged to; ApplySplitterSnap collapses what is too low.
  ShellTreeView1->setMinimumHeight(1);
  Splitter1->addWidget(ShellTreeView1);
  Splitter1->addWidget(BuildGridArea());
  Splitter1->setHandleWidth(kSplitterHeight);
  Splitter1->setCollapsible(0, true);
  Splitter1->setCollapsible(1, false);
  Splitter1->setStretchFactor(0, 0);
  Splitter1->setStretchFactor(1, 1);
  Splitter1->setSizes({kTreeHeight, kGridHeight});
}

// The grid's values as a stored layout sets them: the inherited ones first,
// then its own in their published order, each through its setter.
void TFrmGlimmet::LoadThumbs1Values() {
  Thumbs1->SetName("Thumbs1");
  Thumbs1->SetBounds(1, 137, 299, kGridHeight);
  Thumbs1->Align = alClient;
  Thumbs1->SetSlideSelectMode(ssmSingle);
  Thumbs1->SetAntiAlias(false);
  Thumbs1->SetColorBackGnd(clBtnFace);
  Thumbs1Host->SetBlankColor(Thumbs1->ColorBackGnd());
  Thumbs1->SetColorCover(clSilver);
  Thumbs1->SetColorSelected(clNavy);
  Thumbs1->SetColorFocus(clBlue);
  Thumbs1->SetColorMark(clBlack);
  Thumbs1->SetColorScheme(csBWG);
  Thumbs1->SetFrameStyle(fsLowered);
  Thumbs1->SetFocusLinewidth(1);
  Thumbs1->SetInnerFrameStyle(fsLowered);
  Thumbs1->SetMax(100);
  Thumbs1->SetMin(1);
  Thumbs1->SetOuterFrameStyle(fsRaised);
  Thumbs1->SetSlideSize(120);
  Thumbs1->SetSlideDistance(2);
  Thumbs1->SetSlideMargin(7);
}

void TFrmGlimmet::ConnectEvents() {
  Thumbs1->OnImageRequest = [this](TObject* Sender, int ThumbID, TImageRequestProcessing& HowToProcess, int& MarkIt,
                                   TBitmap*& ImgBuffer) {
    Thumbs1ImageRequest(Sender, ThumbID, HowToProcess, MarkIt, ImgBuffer);
  };
  Thumbs1->OnImageClick = [this](TObject* Sender, int X, int Y, int ThumbID) {
    Thumbs1ImageClick(Sender, X, Y, ThumbID);
  };
  Thumbs1->OnFirstImageRequest = [this](TObject* Sender) { Thumbs1FirstImageRequest(Sender); };
  Thumbs1->OnLastImageRequest = [this](TObject* Sender) { Thumbs1LastImageRequest(Sender); };
  Thumbs1->OnMouseUp = [this](TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y) {
    Thumbs1MouseUp(Sender, Button, Shift, X, Y);
  };
  ShellTreeView1->OnClick = [this] { Application.Guard([this] { ShellTreeView1Click(this); }); };
  connect(SBarThumbs, &QScrollBar::valueChanged, this,
          [this] { Application.Guard([this] { SBarThumbsChange(this); }); });
  connect(Splitter1, &QSplitter::splitterMoved, this,
          [this] { Application.Guard([this] { ApplySplitterSnap(); }); });
}

// A drag that would leave the tree lower than the splitter's minimum
// collapses the tree.
void TFrmGlimmet::ApplySplitterSnap() {
  const QList<int> sizes = Splitter1->sizes();
  if (sizes.size() != 2 || sizes[0] <= 0 || sizes[0] >= kSplitterMinSize) return;
  Splitter1->setSizes({0, sizes[0] + sizes[1]});
}

// Centred in the screen's free area with a frame of the given widths; a
// window larger than it is made as small as it must be to lie wholly inside.
void TFrmGlimmet::CentreOnScreen(QMargins frame) {
  const QScreen* s = screen();
  if (!s) return;
  const QRect area = s->availableGeometry();
  const QSize frameSize(frame.left() + frame.right(), frame.top() + frame.bottom());
  QSize client = size();
  if (const QSize fits = client.boundedTo(area.size() - frameSize); fits != client) {
    client = fits.expandedTo(minimumSizeHint());
  }
  const QSize outer = client + frameSize;
  const QPoint at(area.x() + (area.width() - outer.width()) / 2, area.y() + (area.height() - outer.height()) / 2);
  QWindow* window = windowHandle();
  if (window && window->isVisible()) {
    // A shown window takes a new size only when the window system has made
    // it; its frame is placed, by the window manager.
    if (client != size()) resize(client);
    window->setFramePosition(at);
  } else {
    setGeometry(QRect(at + QPoint(frame.left(), frame.top()), client));
  }
}

// The frame as Qt knows it. A frame of an odd number of device pixels rounds
// to logical ones either way: one pixel more keeps it inside at any ratio.
QMargins TFrmGlimmet::QtFrame() const {
  const int rounding = devicePixelRatioF() > 1 ? 1 : 0;
  const QRect inner = geometry();
  const QRect outer = frameGeometry();
  return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right() + rounding,
          outer.bottom() - inner.bottom() + rounding};
}

void TFrmGlimmet::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (event->spontaneous()) return;
  if (!FShownBefore) {
    FShownBefore = true;
    if (QWindow* window = windowHandle()) {
      SetServerBackground(*window, ToQColor(clBtnFace));
      // A window manager puts its frame around the window as it maps it;
      // one that says beforehand how wide it will be has the window placed
      // once. Otherwise it is placed with Qt's frame, and again once the
      // manager frames it.
      FFrameWatch = std::make_unique<TFrameWatch>(*window);
      FFrameWatch->OnFramed([this](QMargins frame) {
        QMetaObject::invokeMethod(
            this, [this, frame] { Application.Guard([this, frame] { CentreOnScreen(frame); }); },
            Qt::QueuedConnection);
      });
      CentreOnScreen(FFrameWatch->AskFrame().value_or(QtFrame()));
      // The first frame comes at once, with the tree and the grid's
      // background; the folder is listed, and the grid painted, once the
      // window is on the screen (see eventFilter).
      window->installEventFilter(this);
      return;
    }
    CentreOnScreen(QtFrame());
  }
  Application.Guard([this] { FormShow(this); });
}

bool TFrmGlimmet::eventFilter(QObject* watched, QEvent* event) {
  if (watched == windowHandle() && event->type() == QEvent::Expose && windowHandle()->isExposed()) {
    // Queued: runs once this exposure's frame has been drawn and shown.
    windowHandle()->removeEventFilter(this);
    QMetaObject::invokeMethod(
        this, [this] { Application.Guard([this] { FormShow(this); }); }, Qt::QueuedConnection);
  }
  if (watched == Thumbs1Host && event->type() == QEvent::Wheel) {
    QApplication::sendEvent(SBarThumbs, event);
    return true;
  }
  if (watched == Thumbs1Host && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers others = key->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
    bool taken = false;
    if (!others) {
      Application.Guard([&] { taken = Thumbs1KeyDown(key->key(), key->modifiers() & Qt::ShiftModifier); });
    }
    return taken;
  }
  if (watched == LargeImgView) return LargeImgViewEvent(event);
  if (watched == Thumbs1Host && event->type() == QEvent::ToolTip) {
    return ShowSlideToolTip(static_cast<QHelpEvent&>(*event));
  }
  return QWidget::eventFilter(watched, event);
}

void TFrmGlimmet::closeEvent(QCloseEvent* event) {
  FFullScreen->Leave();
  Application.Guard([this] { FormClose(this); });
  event->accept();
}

bool TFrmGlimmet::ChooseFolder(const std::string& path) {
  if (!ShellTreeView1->SelectPath(path)) return false;
  Application.Guard([this] { ShellTreeView1Click(this); });
  return true;
}

void TFrmGlimmet::FormCreate(TObject*) {
  // Held by the window alone, never given to the component tree, so that
  // FormClose is the one place that releases it.
  FFileList = std::make_unique<TStringList>();
  FExeDir = ExtractFilePath(Application.ExeName);
}

void TFrmGlimmet::FormShow(TObject*) {
  if (!FFileList) return;
  // A folder or picture named at start-up is listed in the data folder's place.
  if (OpenStartPath()) return;
  FFileList->Clear();
  WatchListedFolder(FExeDir + "data");
  ScanFilesIntoList(FExeDir + "data/*.jpg", false, FFileList.get(), nullptr);
  SelectInTree(FExeDir + "data");
  Thumbs1->SetMax(FFileList->Count());
}

void TFrmGlimmet::FormClose(TObject*) {
  WatchListedFolder({});
  FSupply.DropAll();
  FFileList.reset();
}

void TFrmGlimmet::ShellTreeView1Click(TObject*) {
  if (!FFileList) return;
  const std::optional<std::string> path = ShellTreeView1->SelectedPath();
  if (path) ListFolder(*path);
}

void TFrmGlimmet::ListFolder(const std::string& path) {
  FSupply.DropAll();
  FFileList->Clear();
  FSlideFailures.clear();
  WatchListedFolder(path);
  ScanFilesIntoList(path + "/*.jpg", false, FFileList.get(), nullptr);
  ShowListing();
}

void TFrmGlimmet::ShowListing() {
  const int count = FFileList->Count();
  if (count == 0) {
    Thumbs1->SetVisible(false);
    return;
  }
  // The paints may fail; the bar still takes the new range and the grid
  // still shows, and the first failure is reported at the end.
  std::exception_ptr failure;
  try {
    Thumbs1->SetMax(count);
  } catch (...) {
    failure = std::current_exception();
  }
  // Moves the bar's position down to count when it lay above, and the grid
  // follows it at once, before the repaint below.
  SBarThumbs->setMaximum(count);
  if (std::exchange(FFollowBarLater, false)) FollowBar();
  Thumbs1->SetVisible(true);
  try {
    Thumbs1->Repaint();
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  if (failure) std::rethrow_exception(failure);
}

// Scroll input that arrives while the grid paints waits until the paint is
// done and then comes all at once: the grid paints where the bar is after it
// all, not every place the bar passed.
void TFrmGlimmet::SBarThumbsChange(TObject*) {
  if (FFollowBarLater) return;
  if (FFollowedBar) {
    FFollowBarLater = true;
    return;
  }
  FFollowedBar = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        FFollowedBar = false;
        if (std::exchange(FFollowBarLater, false)) Application.Guard([this] { SBarThumbsChange(this); });
      },
      Qt::QueuedConnection);
  FollowBar();
}

void TFrmGlimmet::FollowBar() {
  const auto position = double(SBarThumbs->value());
  if (position != Thumbs1->ScrollPosition()) FSupply.Scrolled(position > Thumbs1->ScrollPosition() ? 1 : -1);
  Thumbs1->SetScrollPosition(position);
}

// An empty name for a slide the list does not hold.
std::string TFrmGlimmet::FileOfSlide(int ThumbID) const {
  if (!FFileList || ThumbID < 1 || ThumbID > FFileList->Count()) return {};
  return (*FFileList)[ThumbID - 1];
}

TSlideLook TFrmGlimmet::SlideLook() const {
  return {Thumbs1->SlideSize(), Thumbs1->AntiAlias(), Thumbs1->PixelRatio()};
}

void TFrmGlimmet::Thumbs1FirstImageRequest(TObject*) {
  FPaintFailure = nullptr;
  Screen.SetCursor(crHourGlass);
  std::vector<std::string> files;
  for (const int id : Thumbs1->SlidesInView()) {
    if (std::string file = FileOfSlide(id); !file.empty()) files.push_back(std::move(file));
  }
  FSupply.GridPaintBegins(files, SlideLook());
}

void TFrmGlimmet::LimitWaits(std::chrono::milliseconds limit) {
  FSupply.SetWaitLimit(
      limit,
      [this] {
        if (Thumbs1->Visible()) Application.Guard([this] { Thumbs1->Repaint(); });
      },
      [this](const std::string& file) { Application.Guard([&] { ShowInLargeView(file); }); });
}

void TFrmGlimmet::Thumbs1LastImageRequest(TObject*) {
  Screen.SetCursor(crDefault);
  FSupply.GridPaintEnds();
  // Once the paint is done and what waits behind it has been handled; the
  // paint at the bar's new place starts its own.
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (FFollowBarLater || !Thumbs1->Visible()) return;
        Application.Guard([this] {
          FSupply.ReadAhead(
              Thumbs1->SlidesInView(), [this](int id) { return FileOfSlide(id); }, SlideLook());
        });
      },
      Qt::QueuedConnection);
  // Reported when the paint is done, so the grid shows every other slide.
  if (const std::exception_ptr failure = std::exchange(FPaintFailure, nullptr); failure && !FQuietPaints) {
    Application.Guard([&] { std::rethrow_exception(failure); });
  }
}

void TFrmGlimmet::Thumbs1ImageRequest(TObject*, int ThumbID, TImageRequestProcessing& HowToProcess, int&,
                                      TBitmap*& ImgBuffer) {
  const std::string file = FileOfSlide(ThumbID);
  if (file.empty()) return;
  try {
    // A slide still being made shows its card until a later paint.
    if (!FSupply.Fill(file, *ImgBuffer)) return;
    FSlideFailures.erase(file);
  } catch (...) {
    // One file that cannot be shown must not cost the others their place on
    // the screen: its slide keeps the numbered card, the paint goes on, and
    // the first failure is reported when it ends. A file gone meanwhile is
    // no failure: the folder is listed again without it.
    ImgBuffer->Reset(0, 0);
    if (FileVanished(file)) return;
    FSlideFailures[file] = FailureText(std::current_exception());
    if (!FPaintFailure) FPaintFailure = std::current_exception();
    return;
  }
  HowToProcess = irpShowSlide;
}

void TFrmGlimmet::Thumbs1ImageClick(TObject*, int, int, int ThumbID) {
  if (const std::string file = FileOfSlide(ThumbID); !file.empty()) ShowInLargeView(file);
}

// The picture and its fitted picture, once decoded; the tip names its file.
// For a view at natural size the fitted picture is made aside, at low
// priority; once the picture is on the screen, the pictures beside it in the
// listing are read ahead, the way the large view last stepped first.
void TFrmGlimmet::ShowInLargeView(const std::string& file) {
  std::optional<TSlideSupply::TLargePicture> large;
  try {
    large = FSupply.TakeLarge(file, LargeFitView());
  } catch (...) {
    // A click that raced the file's removal: the listing without it comes.
    if (FileVanished(file)) return;
    throw;
  }
  if (!large) return;  // still decoding: shown once it is done
  FLargeFile = file;
  FLargeIdentity = FileIdentity(file);
  LargeImg->Picture().SetGraphic(std::move(large->Graphic));
  LargeImgView->OfferFitted(std::move(large->Fitted));
  LargeImgView->setToolTip(QFile::decodeName(QByteArray::fromStdString(ExtractFileName(file))));
  FFullScreen->Refresh();
  LargeImgView->PrepareFit();
  // Once the picture is on the screen; a later picture's call drops this one's.
  QMetaObject::invokeMethod(
      this,
      [this, file, shown = ++FLargeShown] {
        if (shown != FLargeShown) return;
        Application.Guard([&] {
          int at = 0;
          const int count = FFileList ? FFileList->Count() : 0;
          while (at < count && (*FFileList)[at] != file) ++at;
          // Slides are numbered from 1.
          if (at < count) {
            FSupply.ReadAheadLarge(FileOfSlide(at + 1 + FLargeDirection), FileOfSlide(at + 1 - FLargeDirection));
          }
        });
      },
      Qt::QueuedConnection);
}

// A fitted picture is made with the decode only for a view that shows it.
TFitSize TFrmGlimmet::LargeFitView() const {
  return LargeImgView->Mode() == TImageView::TViewMode::Fit ? LargeImgView->DeviceSize() : TFitSize{};
}

bool TFrmGlimmet::ShowSlideToolTip(const QHelpEvent& event) {
  const std::string file = FileOfSlide(Thumbs1->SlideAtPos(event.pos().x(), event.pos().y()));
  if (file.empty() || !Thumbs1->Visible()) {
    QToolTip::hideText();
    return true;
  }
  const auto failed = FSlideFailures.find(file);
  const std::string text = SlideToolTipText(file, failed == FSlideFailures.end() ? "" : failed->second);
  QToolTip::showText(event.globalPos(), QFile::decodeName(QByteArray::fromStdString(text)), Thumbs1Host);
  return true;
}

// Before the grid handles the release (and repaints for the new selection),
// the clicked file starts decoding for the large view.
void TFrmGlimmet::Thumbs1MouseUp(TObject*, TMouseButton Button, TShiftState, int X, int Y) {
  if (Button != mbLeft) return;
  if (const std::string file = FileOfSlide(Thumbs1->SlideAtPos(X, Y)); !file.empty()) {
    FSupply.StartLarge(file, LargeFitView());
  }
}
