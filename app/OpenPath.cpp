#include "app/OpenPath.h"

#include <dirent.h>
#include <climits>
#include <sys/stat.h>
#include <unistd.h>

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "app/ShellTreeView.h"
#include "app/mainfrm.h"
#include "lib/Tesk_filesys.h"
#include "toolkit/FileData.h"
#include "toolkit/Forms.h"
#include "toolkit/SysUtils.h"

namespace {

std::vector<std::string> Components(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start < path.size()) {
    const std::size_t slash = std::min(path.find('/', start), path.size());
    const std::string part = path.substr(start, slash - start);
    if (!part.empty() && part != ".") parts.push_back(part);
    start = slash + 1;
  }
  return parts;
}

std::string Join(const std::vector<std::string>& parts, std::size_t count) {
  std::string path;
  for (std::size_t i = 0; i < count; ++i) path += "/" + parts[i];
  return path.empty() ? "/" : path;
}

std::string CurrentFolder() {
  std::vector<char> buffer(PATH_MAX);
  while (!getcwd(buffer.data(), buffer.size())) {
    if (errno != ERANGE) return "/";
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

std::string RealPath(const std::string& path) {
  char* real = realpath(path.c_str(), nullptr);
  if (!real) return path;
  std::string result = real;
  std::free(real);
  return result;
}

}  // namespace

std::string AbsolutePath(const std::string& path) {
  const std::vector<std::string> parts = Components(path.starts_with('/') ? path : CurrentFolder() + "/" + path);
  const auto up = std::find(parts.begin(), parts.end(), "..");
  if (up == parts.end()) return Join(parts, parts.size());
  // The system resolves the folder before the last "..", so a link there
  // leads where the kernel would; what follows is kept as named.
  const auto last = std::find(parts.rbegin(), parts.rend(), "..").base();
  std::string resolved = RealPath(Join(parts, std::size_t(last - parts.begin())));
  for (auto it = last; it != parts.end(); ++it) resolved += (resolved == "/" ? "" : "/") + *it;
  return resolved;
}

std::string ParentFolder(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return "/";
  return path.substr(0, slash);
}

TOpenKind CheckOpenable(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) RaiseOpenError(path, std::strerror(errno));
  if (!S_ISDIR(st.st_mode)) {
    CheckReadableFile(path);
    return TOpenKind::Picture;
  }
  DIR* dir = opendir(path.c_str());
  if (!dir) RaiseOpenError(path, std::strerror(errno));
  closedir(dir);
  return TOpenKind::Folder;
}

bool AcceptableDrop(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
  return MatchesScanPattern("*.jpg", ExtractFileName(path));
}

std::string DroppedPath(const QMimeData* data) {
  if (!data || !data->hasUrls()) return {};
  for (const QUrl& url : data->urls()) {
    if (!url.isLocalFile()) continue;
    std::string path = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
    if (AcceptableDrop(path)) return path;
  }
  return {};
}

void TFrmGlimmet::OpenPath(const std::string& path) {
  if (!FFileList) return;
  const std::string absolute = AbsolutePath(path);
  if (CheckOpenable(absolute) == TOpenKind::Folder) {
    ShowFolder(absolute);
    return;
  }
  ShowFolder(ParentFolder(absolute));
  ShowPicture(absolute);
}

// Reports a path that cannot be opened in the error box and on standard
// error, and lets the data folder be listed as without one.
bool TFrmGlimmet::OpenStartPath() {
  if (!FStartPath) return false;
  const std::string path = *std::exchange(FStartPath, std::nullopt);
  try {
    CheckOpenable(AbsolutePath(path));
  } catch (const EFOpenError& e) {
    std::fprintf(stderr, "%s\n", TApplication::ErrorText(e.what()).c_str());
    Application.HandleException(e);
    return false;
  }
  OpenPath(path);
  return true;
}

// The tree selects the folder, or, where it cannot name it (a name that is
// no UTF-8), the nearest folder above it that it can; the grid lists the
// folder itself.
void TFrmGlimmet::ShowFolder(const std::string& folder) {
  SelectInTree(folder);
  ListFolder(folder);
}

void TFrmGlimmet::SelectInTree(const std::string& folder) {
  std::string shown = folder;
  while (!ShellTreeView1->SelectPath(shown) && shown != "/") shown = ParentFolder(shown);
}

// A picture the listing does not hold (its name does not end in ".jpg")
// still shows in the large view.
void TFrmGlimmet::ShowPicture(const std::string& file) {
  const std::string name = ExtractFileName(file);
  for (int i = 0; i < FFileList->Count(); ++i) {
    if (ExtractFileName((*FFileList)[i]) == name) {
      const double showing = Thumbs1->ScrollPositionShowing(i + 1);
      if (showing != Thumbs1->ScrollPosition()) SBarThumbs->setValue(int(showing));
      // The click needs the grid where the bar now is, also when an earlier
      // move in this turn has the grid wait for the end of it.
      if (std::exchange(FFollowBarLater, false)) FollowBar();
      // The grid selects it and the window loads it into the large view.
      Thumbs1->ClickSlide(i + 1);
      return;
    }
  }
  ShowInLargeView(file);
}

// Refused drags show the refusing cursor and are never dropped here.
void TFrmGlimmet::dragEnterEvent(QDragEnterEvent* event) { dragMoveEvent(event); }

void TFrmGlimmet::dragMoveEvent(QDragMoveEvent* event) {
  if (DroppedPath(event->mimeData()).empty()) {
    event->ignore();
  } else {
    event->acceptProposedAction();
  }
}

void TFrmGlimmet::dropEvent(QDropEvent* event) {
  const std::string path = DroppedPath(event->mimeData());
  if (path.empty()) return;
  event->acceptProposedAction();
  Application.Guard([&] { OpenPath(path); });
}
