// The listed folder follows the disk: once its files have changed and
// settled (the folder watch), or at F5, it is listed again. Slides are asked
// for by path and made by the file's identity, so a file added, removed or
// renamed takes its place in the new order and a rewritten one is made anew;
// the scroll position stays where the new length allows, the selection
// follows its file by path, and the large view shows its file anew when it
// was rewritten, or nothing once it is gone (a picture whose file no longer
// exists would suggest it still does).
#include <sys/stat.h>

#include <QKeyEvent>
#include <QScrollBar>
#include <cerrno>
#include <set>
#include <utility>

#include "app/FolderWatch.h"
#include "app/mainfrm.h"
#include "lib/Tesk_filesys.h"
#include "toolkit/Forms.h"
#include "toolkit/qt/ImageView.h"

bool FileVanished(const std::string& file) {
  struct stat st {};
  return lstat(ResolvedPath(file).c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

void TFrmGlimmet::WatchListedFolder(const std::string& folder) {
  FListedFolder = folder;
  FFolderWatch->Watch(folder);
}

void TFrmGlimmet::ListAgain(bool quiet) {
  if (!FFileList || FListedFolder.empty()) return;
  // Changes from here on are the next listing's.
  FFolderWatch->Forget();
  const int anchor = Thumbs1->SelectAnchor();
  const bool selected = Thumbs1->Visible() && anchor >= Thumbs1->Min() && anchor <= Thumbs1->Max() &&
                        Thumbs1->Selection().Bit(anchor - Thumbs1->Min());
  const std::string selectedFile = selected ? FileOfSlide(anchor) : std::string();
  FFileList->Clear();
  ScanFilesIntoList(FListedFolder + "/*.jpg", false, FFileList.get(), nullptr);
  std::set<std::string> listed;
  int select = 0;
  for (int i = 0; i < FFileList->Count(); ++i) {
    listed.insert((*FFileList)[i]);
    if ((*FFileList)[i] == selectedFile) select = i + 1;
  }
  std::erase_if(FSlideFailures, [&](const auto& failure) { return !listed.contains(failure.first); });
  // A change the person did not ask for raises no box: a failure shows in
  // its slide's tip.
  const bool wasQuiet = std::exchange(FQuietPaints, quiet);
  try {
    ShowListing();
    if (select != anchor) Thumbs1->SelectByKey(select, false);
    FollowLargeView(quiet);
  } catch (...) {
    FQuietPaints = wasQuiet;
    throw;
  }
  FQuietPaints = wasQuiet;
}

void TFrmGlimmet::FollowLargeView(bool quiet) {
  if (FLargeFile.empty()) return;
  const std::optional<TFileIdentity> now = FileIdentity(FLargeFile);
  if (now == FLargeIdentity) return;
  if (!now && FileVanished(FLargeFile)) {
    ClearLargeView();
    return;
  }
  const std::string file = FLargeFile;
  try {
    FSupply.StartLarge(file, LargeFitView());
    ShowInLargeView(file);
  } catch (...) {
    // The old picture is no longer the file's.
    ClearLargeView();
    if (!quiet) throw;
  }
}

void TFrmGlimmet::ClearLargeView() {
  FLargeFile.clear();
  FLargeIdentity.reset();
  LargeImg->Picture().SetGraphic(nullptr);
  LargeImgView->setToolTip({});
}

void TFrmGlimmet::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F5 && !(event->modifiers() & ~Qt::KeypadModifier)) {
    Application.Guard([this] { ListAgain(false); });
    return;
  }
  QWidget::keyPressEvent(event);
}
