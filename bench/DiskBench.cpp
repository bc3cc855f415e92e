#include "DiskBench.h"

#include <QApplication>
#include <QWindow>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "BareJpeg.h"
#include "GridBench.h"
#include "ScrollBench.h"

namespace {

// The disk store is read when the supply is configured.
void ConfigureDisk(TFrmGlimmet& window, bool on) {
  setenv("GLIMMET_DISK_CACHE_MIB", on ? "256" : "0", 1);
  Quieten(window);
  TSlideSupply& supply = window.Supply();
  supply.Configure(supply.Workers(), supply.Store().Capacity());
}

void EmptyFolder(const std::string& folder) {
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(folder, ec)) std::filesystem::remove(e.path(), ec);
}

}  // namespace

TDiskFigures MeasureDiskStore(TFrmGlimmet& window, const std::vector<std::string>& files,
                              const std::string& cacheFolder, int reps, TClock clock) {
  TThumbnails& grid = *window.Thumbs1;
  TDiskFigures figures;
  ConfigureDisk(window, true);
  grid.Paint();  // the slides go to disk
  WaitUntilIdle(window);
  // A new window's first paint: a supply made afresh each time, as a new
  // program's would be, nothing in memory.
  figures.WarmStart = MeasureSideBySide(reps, clock,
                                        {[&] { grid.Paint(); }, [&] { BareDecodeAll(files); },
                                         [&] { ConfigureDisk(window, true); }, [&] { Quieten(window); }});
  figures.Write = MeasureSideBySide(reps, clock,
                                    {[&] {
                                       grid.Paint();
                                       WaitUntilIdle(window);  // the writes behind the paint's slides
                                     },
                                     [&] {
                                       grid.Paint();
                                       WaitUntilIdle(window);
                                     },
                                     [&] {
                                       ConfigureDisk(window, true);
                                       EmptyFolder(cacheFolder);
                                     },
                                     [&] { ConfigureDisk(window, false); }});
  ConfigureDisk(window, false);
  return figures;
}

TWorkerMemory MeasureIdleMemoryByWorkers(TFrmGlimmet& window) {
  TSlideSupply& supply = window.Supply();
  const int workers = supply.Workers();
  const std::uint64_t storeBytes = supply.Store().Capacity();
  TWorkerMemory figures;
  for (const int n : {2, 8}) {
    Quieten(window);
    supply.Configure(n, storeBytes);
    (n == 2 ? figures.TwoKiB : figures.EightKiB) = MeasureIdleMemoryAfterBursts(window).AddedKiB;
  }
  Quieten(window);
  supply.Configure(workers, storeBytes);
  return figures;
}

namespace {

// Notes the moment the window's first exposure has been drawn: a call queued
// from the exposure runs once its frame is shown.
class TFirstFrameWatch : public QObject {
 public:
  explicit TFirstFrameWatch(QWindow* window) { window->installEventFilter(this); }
  std::optional<std::chrono::steady_clock::time_point> Shown;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed()) {
      watched->removeEventFilter(this);
      QMetaObject::invokeMethod(
          this, [this] { Shown = std::chrono::steady_clock::now(); }, Qt::QueuedConnection);
    }
    return false;
  }
};

}  // namespace

TStartFigures MeasureStart(const std::string& folder, int reps) {
  using Clock = std::chrono::steady_clock;
  std::vector<double> first, settled;
  for (int rep = 0; rep < reps; ++rep) {
    const Clock::time_point start = Clock::now();
    TFrmGlimmet window;
    window.SetStartPath(folder);
    int paints = 0;
    const TNotifyEvent request = window.Thumbs1->OnFirstImageRequest;
    window.Thumbs1->OnFirstImageRequest = [&](TObject* sender) {
      ++paints;
      request(sender);
    };
    window.show();
    // Asked after the window's own watch (filters run last installed first),
    // so it notes the frame before the listing the window queues runs.
    const TFirstFrameWatch watch(window.windowHandle());
    while (!watch.Shown || paints == 0 || !window.Supply().Idle()) QApplication::processEvents();
    settled.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    first.push_back(std::chrono::duration<double>(*watch.Shown - start).count());
    window.close();
    QApplication::processEvents();
  }
  return {Median(first), Median(settled)};
}
