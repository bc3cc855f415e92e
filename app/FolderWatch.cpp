#include "app/FolderWatch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

namespace {

// A write of any size counts, so the wait restarts until the writer is done;
// the folder itself going away ends the watch and is reported too.
constexpr std::uint32_t kChanges = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY |
                                   IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;

}  // namespace

TFolderWatch::TFolderWatch(std::function<void()> onSettled, std::chrono::milliseconds quiet)
    : FOnSettled(std::move(onSettled)) {
  FQuiet.setSingleShot(true);
  FQuiet.setInterval(quiet);
  QObject::connect(&FQuiet, &QTimer::timeout, [this] {
    ++FReports;
    FOnSettled();
  });
  FInotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (FInotify < 0) return;
  FNotifier = std::make_unique<QSocketNotifier>(FInotify, QSocketNotifier::Read);
  QObject::connect(FNotifier.get(), &QSocketNotifier::activated, [this] { ReadChanges(); });
}

TFolderWatch::~TFolderWatch() {
  FNotifier.reset();
  if (FInotify >= 0) close(FInotify);
}

void TFolderWatch::Watch(const std::string& folder) {
  if (FWatch >= 0) inotify_rm_watch(FInotify, FWatch);
  FWatch = -1;
  if (FInotify >= 0 && !folder.empty()) FWatch = inotify_add_watch(FInotify, folder.c_str(), kChanges | IN_ONLYDIR);
  Forget();
}

void TFolderWatch::Forget() {
  // Events the kernel holds already belong to the time before the listing.
  ReadChanges();
  FQuiet.stop();
}

// Only that something changed matters, not what: the listing is made anew.
// Events of a watch removed before (a folder listed earlier) may still come;
// only the current folder's count.
void TFolderWatch::ReadChanges() {
  if (FInotify < 0) return;
  alignas(inotify_event) std::array<char, 4096> buffer{};
  bool changed = false;
  for (;;) {
    const ssize_t got = read(FInotify, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= got;) {
      inotify_event event{};
      std::memcpy(&event, buffer.data() + at, sizeof event);
      if (event.wd == FWatch && FWatch >= 0) changed = true;
      at += ssize_t(sizeof event + event.len);
    }
  }
  if (changed) FQuiet.start();
}
