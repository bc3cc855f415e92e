#pragma once
// The browser window: a folder tree over the thumbnail grid and its scroll
// bar on the left, the large view of the clicked picture on the right.
#include <QWidget>
#include <chrono>
#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "toolkit/qt/X11Window.h"
#include "app/pictures/SlideSupply.h"
#include "lib/Tesk_Thumbnails.h"
#include "toolkit/Classes.h"
#include "toolkit/FileData.h"
#include "toolkit/Image.h"

class QFrame;
class QHelpEvent;
class QKeyEvent;
class QScrollBar;
class QSplitter;
class TControlHostWidget;
class TFolderWatch;
class TFullScreen;
class TImageView;
class TShellTreeView;

class TFrmGlimmet : public QWidget, public TComponent {
  Q_OBJECT

 public:
  explicit TFrmGlimmet(QWidget* parent = nullptr);
  ~TFrmGlimmet() override;
  std::string ClassName() const override { return "TFrmGlimmet"; }

  // Components, in the order of their declaration.
  QFrame* Panel1 = nullptr;
  TThumbnails* Thumbs1 = nullptr;
  QFrame* Panel2 = nullptr;
  TImage* LargeImg = nullptr;
  QScrollBar* SBarThumbs = nullptr;
  QSplitter* Splitter1 = nullptr;
  TShellTreeView* ShellTreeView1 = nullptr;

  // The widgets that put the grid and the large view on the screen.
  TControlHostWidget* Thumbs1Host = nullptr;
  TImageView* LargeImgView = nullptr;

  // Handlers. Events raised by Qt views have the window as Sender, as those
  // views are no TObjects.
  void FormCreate(TObject* Sender);
  void FormShow(TObject* Sender);
  void FormClose(TObject* Sender);
  void ShellTreeView1Click(TObject* Sender);
  void SBarThumbsChange(TObject* Sender);
  void Thumbs1FirstImageRequest(TObject* Sender);
  void Thumbs1ImageRequest(TObject* Sender, int ThumbID, TImageRequestProcessing& HowToProcess, int& MarkIt,
                           TBitmap*& ImgBuffer);
  void Thumbs1LastImageRequest(TObject* Sender);
  void Thumbs1ImageClick(TObject* Sender, int X, int Y, int ThumbID);
  void Thumbs1MouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);

  // A key pressed on the grid (app/GridKeys.cpp): arrows, Home/End and Page
  // Up/Down select another slide and scroll it into view through the bar;
  // Return and Space click the selected slide; F and 1 set the large view's
  // mode. False for a key the grid leaves to others.
  bool Thumbs1KeyDown(int Key, bool Shift);
  // A key pressed on the large view (app/LargeViewKeys.cpp): Right, Down,
  // Space and Page Down show the next slide's picture, Left, Up, BackSpace
  // and Page Up the previous one, Home and End the first and last, each as a
  // click of that slide; F11 and Return go full screen and back, Escape
  // leaves it, I keeps its strip shown. False for a key left to the view.
  bool LargeImgKeyDown(int Key);
  // The large view alone on the screen, or back in the window.
  void ToggleFullScreen();
  TFullScreen& FullScreen() { return *FFullScreen; }

  // Lists the listed folder again (app/FollowDisk.cpp): at F5, and by
  // itself once the folder's files have changed and settled. The scroll
  // position stays, the selection and the large view follow their files by
  // path. Quiet, the paints report no failure in a box (their slides' tips
  // still say why).
  void ListAgain(bool quiet);
  // What tells the window that the listed folder changed.
  const TFolderWatch& FolderWatch() const { return *FFolderWatch; }

  // Selects the folder in the tree and lists it as a click there would;
  // false when the tree knows no such folder.
  bool ChooseFolder(const std::string& path);

  // Opens what the person points at (app/OpenPath.cpp): a folder is
  // selected in the tree and listed as a click there would; for a picture
  // its folder is, and then its slide is scrolled into view, clicked and so
  // shown in the large view. A path that cannot be read raises EFOpenError
  // and changes nothing.
  void OpenPath(const std::string& path);
  // The folder or picture the first show lists in place of the data folder.
  void SetStartPath(const std::string& path) { FStartPath = path; }
  // A paint waits this long for slides at most and shows the rest as they
  // are made, and a click as long for the large view's picture, so that the
  // window answers (a close, a scroll) while pictures of hundreds of
  // megapixels decode. Unset, a paint shows every slide and a click its
  // picture.
  void LimitWaits(std::chrono::milliseconds limit);

  // State, for the snapshot tool and tests; the list is null after FormClose.
  const TStringList* FileList() const { return FFileList.get(); }
  const std::string& ExeDir() const { return FExeDir; }
  // The slides and the large view's picture, made beside the paint.
  TSlideSupply& Supply() { return FSupply; }
  // The way the large view last stepped through the listing: 1 forward, -1
  // back; the picture that way is read ahead first.
  int FLargeDirection = 1;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  // F5 lists the folder again, wherever the focus is (app/FollowDisk.cpp).
  void keyPressEvent(QKeyEvent* event) override;
  // A folder or picture dropped onto the window opens as by OpenPath.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildLayout();
  QFrame* MakeRaisedPanel();
  QWidget* BuildGridArea();
  void BuildSplitter();
  void LoadThumbs1Values();
  void ConnectEvents();
  void CentreOnScreen(QMargins frame);
  QMargins QtFrame() const;
  void ApplySplitterSnap();
  std::string FileOfSlide(int ThumbID) const;
  TFitSize LargeFitView() const;
  TSlideLook SlideLook() const;
  void FollowBar();
  void ListFolder(const std::string& path);
  // The listing in FFileList on grid and bar, its paints' first failure raised.
  void ShowListing();
  bool ShowSlideToolTip(const QHelpEvent& event);
  void ShowInLargeView(const std::string& file);
  // app/OpenPath.cpp
  bool OpenStartPath();
  void ShowFolder(const std::string& folder);
  void ShowPicture(const std::string& file);
  void SelectInTree(const std::string& folder);
  // app/GridKeys.cpp
  void ScrollSlideIntoView(int ThumbID);
  int SlideForKey(int Key, int Current) const;
  // app/FollowDisk.cpp
  void WatchListedFolder(const std::string& folder);
  void FollowLargeView(bool quiet);
  void ClearLargeView();
  // app/LargeViewKeys.cpp
  bool LargeImgViewEvent(QEvent* event);
  void StepLargeView(int ThumbID, int Direction);
  QString LargeViewLine() const;

  std::unique_ptr<TStringList> FFileList;
  std::string FExeDir;
  bool FShownBefore = false;
  std::unique_ptr<TFrameWatch> FFrameWatch;
  // The first picture of the running paint that failed to load.
  std::exception_ptr FPaintFailure;
  // Why a file of the listed folder could not be shown, as its slide's tip says.
  std::map<std::string, std::string> FSlideFailures;
  TSlideSupply FSupply;
  int FLargeShown = 0;  // pictures shown in the large view, for its read-ahead
  // Scrolling: whether the grid followed the bar in this turn of the event
  // loop, and whether it follows again at the end of the turn.
  bool FFollowedBar = false;
  bool FFollowBarLater = false;
  std::optional<std::string> FStartPath;
  std::unique_ptr<TFullScreen> FFullScreen;
  // The plain wheel over the large view turned short of a whole notch.
  int FLargeWheel = 0;
  // The folder the grid lists, watched; empty before the first listing.
  std::string FListedFolder;
  std::unique_ptr<TFolderWatch> FFolderWatch;
  // The large view's file and its identity when shown; empty for none.
  std::string FLargeFile;
  std::optional<TFileIdentity> FLargeIdentity;
  // The paints under way report no failure.
  bool FQuietPaints = false;
};

// Whether the file is gone from its folder (not merely unreadable).
bool FileVanished(const std::string& file);

// The application's main window.
extern TFrmGlimmet* FrmGlimmet;

// Installs the colours of the system scheme into the application's palette,
// so Qt's widgets and the canvas draw the same face colour.
void InstallSchemePalette();
