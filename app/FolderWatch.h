#pragma once
// Tells when the files of one folder have changed and then stayed still for
// a moment: added, removed, renamed, rewritten or touched. Every change
// restarts a short wait, so a thousand files copied in are reported once the
// copy pauses, not a thousand times, and a file still being written is never
// reported half written. Linux's inotify, read on the GUI thread when the
// kernel has news; a folder that cannot be watched is simply not (F5 lists it
// again by hand).
#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

class QSocketNotifier;

class TFolderWatch {
 public:
  explicit TFolderWatch(std::function<void()> onSettled,
                        std::chrono::milliseconds quiet = std::chrono::milliseconds(250));
  ~TFolderWatch();
  TFolderWatch(const TFolderWatch&) = delete;
  TFolderWatch& operator=(const TFolderWatch&) = delete;

  // Watches this folder alone from now on; changes not yet reported are
  // dropped, as a listing made now sees them. An empty name watches nothing.
  void Watch(const std::string& folder);
  bool Watching() const { return FWatch >= 0; }
  // Drops the changes waiting to be reported.
  void Forget();
  // How often onSettled was called.
  int Reports() const { return FReports; }

 private:
  void ReadChanges();

  std::function<void()> FOnSettled;
  int FInotify = -1;
  int FWatch = -1;
  std::unique_ptr<QSocketNotifier> FNotifier;
  QTimer FQuiet;
  int FReports = 0;
};
