#include "ScrollBench.h"

#include <QApplication>
#include <QEventLoop>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>

#include "BareJpeg.h"
#include "GridBench.h"
#include "Memory.h"
#include "app/mainfrm.h"
#include "toolkit/qt/ControlHost.h"

namespace {

constexpr int kTop = 1;  // the bar's value with the first slide at the top
constexpr int kBottom = kTop + kBurstSteps;

// Counts the events the program handles, but those of one timer.
class TEventCounter : public QObject {
 public:
  explicit TEventCounter(const QObject* ignored) : FIgnored(ignored) { qApp->installEventFilter(this); }
  ~TEventCounter() override { qApp->removeEventFilter(this); }
  TEventCounter(const TEventCounter&) = delete;
  TEventCounter& operator=(const TEventCounter&) = delete;
  int Count = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != FIgnored) ++Count;
    return QObject::eventFilter(watched, event);
  }

 private:
  const QObject* FIgnored;
};

// Runs the event loop for a while, the program otherwise left alone;
// returns how many events the program handled meanwhile.
int RunIdle(int milliseconds) {
  QEventLoop loop;
  QTimer timer;
  timer.setSingleShot(true);
  QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
  const TEventCounter events(&timer);
  timer.start(milliseconds);
  loop.exec();
  return events.Count;
}

// One notch of a mouse wheel over the grid.
std::unique_ptr<QWheelEvent> WheelNotch(QWidget& target, int delta) {
  const QPoint at(150, 200);
  return std::make_unique<QWheelEvent>(QPointF(at), QPointF(target.mapToGlobal(at)), QPoint(), QPoint(0, delta),
                                       Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
}

// The wheel's angle delta that moves the bar one step down.
int WheelDown(TFrmGlimmet& window) {
  Quieten(window);
  PaintAt(window, kTop + 1);
  QApplication::sendEvent(window.Thumbs1Host, WheelNotch(*window.Thumbs1Host, -120).get());
  const int moved = window.SBarThumbs->value() - (kTop + 1);
  Quieten(window);
  if (moved != 1 && moved != -1)
    throw std::runtime_error("a wheel notch over the grid did not move the bar one step");
  return moved == 1 ? -120 : 120;
}

// The grid's position with the bar at value.
double PositionAt(TFrmGlimmet& window, int value) {
  PaintAt(window, value);
  return window.Thumbs1->ScrollPosition();
}

// Posts kBurstSteps notches at once, as a flick of the wheel delivers them.
void PostBurst(TFrmGlimmet& window, int delta) {
  for (int i = 0; i < kBurstSteps; ++i)
    QCoreApplication::postEvent(window.Thumbs1Host, WheelNotch(*window.Thumbs1Host, delta).release());
}

// Runs the event loop until the bar stands at value and the grid has been
// painted at its place there.
void Settle(TFrmGlimmet& window, int value, double position) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (window.SBarThumbs->value() != value || window.Thumbs1->ScrollPosition() != position) {
    if (std::chrono::steady_clock::now() > deadline)
      throw std::runtime_error("the grid never settled after a burst");
    QApplication::processEvents();
  }
}

struct TBurstPlaces {
  int Down = 0;  // the wheel's delta of a step down
  double Top = 0, Bottom = 0;
};

TBurstPlaces FindBurstPlaces(TFrmGlimmet& window) {
  TBurstPlaces places{WheelDown(window), PositionAt(window, kTop), PositionAt(window, kBottom)};
  Quieten(window);
  return places;
}

// The view at the top painted, and the screens beside it made ahead, as
// after a pause there.
void RestAtTop(TFrmGlimmet& window) {
  Quieten(window);
  window.Supply().ClearStore();
  PaintAt(window, kTop);
  WaitUntilIdle(window);
}

}  // namespace

void CopyPhotos(const std::vector<std::string>& sources, const std::string& folder, int count) {
  namespace fs = std::filesystem;
  if (sources.empty()) throw std::runtime_error("no photos to copy");
  for (int i = 0; i < count; ++i) {
    const fs::path source(sources[std::size_t(i) % sources.size()]);
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%03d-", i);
    fs::copy_file(source, fs::path(folder) / (prefix + source.filename().string()));
  }
}

TStepFigures MeasureScrollStep(TFrmGlimmet& window, int reps, TClock clock, bool ahead) {
  // From half a row scrolled to the next row at the top: two new slides.
  constexpr int kFrom = 2, kTo = 3;
  Quieten(window);
  PaintAt(window, kFrom);
  const std::vector<std::string> before = FilesInView(window);
  const double position = PositionAt(window, kTo);
  const std::vector<std::string> after = FilesInView(window);
  TStepFigures figures;
  figures.NewSlides = int(std::count_if(after.begin(), after.end(), [&](const std::string& file) {
    return std::find(before.begin(), before.end(), file) == before.end();
  }));
  TSlideSupply& supply = window.Supply();
  figures.Step = MeasureSideBySide(reps, clock,
                                   {[&] { window.SBarThumbs->setValue(kTo); }, [&] { BareDecodeAll(after); },
                                    [&] {
                                      Quieten(window);
                                      supply.ClearStore();
                                      PaintAt(window, kFrom);  // its read-ahead is posted, not run
                                      if (ahead) WaitUntilIdle(window);
                                    },
                                    [&] { Quieten(window); }, false});
  if (window.Thumbs1->ScrollPosition() != position)
    throw std::runtime_error("the grid did not follow the bar's step");
  Quieten(window);
  return figures;
}

TBurstFigures MeasureWheelBurst(TFrmGlimmet& window, int reps, TClock clock) {
  const TBurstPlaces places = FindBurstPlaces(window);
  TThumbnails& grid = *window.Thumbs1;
  const auto burst = [&] {
    PostBurst(window, places.Down);
    Settle(window, kBottom, places.Bottom);
  };
  TBurstFigures figures;
  figures.Burst = MeasureSideBySide(reps, clock,
                                    {burst, [&] { grid.Paint(); }, [&] { RestAtTop(window); },
                                     [&] {
                                       Quieten(window);
                                       if (grid.ScrollPosition() != places.Bottom) {
                                         PaintAt(window, kBottom);
                                         Quieten(window);
                                       }
                                       window.Supply().ClearStore();
                                     },
                                     false});
  RestAtTop(window);
  figures.Paints = PaintsDuring(window, burst);
  Quieten(window);
  return figures;
}

TIdleCpu MeasureIdleCpuAfterAhead(TFrmGlimmet& window, int reps) {
  constexpr int kIdleMilliseconds = 2000;
  std::vector<double> after, quiet;
  TIdleCpu figures;
  const auto measure = [&](std::vector<double>& samples) {
    const double start = ProcessCpuSeconds();
    const int events = RunIdle(kIdleMilliseconds);
    samples.push_back(ProcessCpuSeconds() - start);
    return events;
  };
  for (int r = 0; r < reps; ++r) {
    RestAtTop(window);
    figures.Events = std::max(figures.Events, measure(after));
    measure(quiet);
  }
  Quieten(window);
  figures.MedianSeconds = Median(after);
  figures.MostSeconds = *std::max_element(after.begin(), after.end());
  figures.QuietSeconds = Median(quiet);
  return figures;
}

TIdleMemory MeasureIdleMemoryAfterBursts(TFrmGlimmet& window) {
  constexpr int kBursts = 10;
  const TBurstPlaces places = FindBurstPlaces(window);
  Quieten(window);
  window.Supply().ClearStore();
  PaintAt(window, kTop);
  Quieten(window);
  ReturnFreeMemory();
  const long start = ResidentKiB();
  for (int i = 0; i < kBursts; ++i) {
    const bool down = i % 2 == 0;
    PostBurst(window, down ? places.Down : -places.Down);
    Settle(window, down ? kBottom : kTop, down ? places.Bottom : places.Top);
    WaitUntilIdle(window);
  }
  Quieten(window);
  static_cast<void>(RunIdle(500));
  TIdleMemory figures;
  figures.StoreKiB = long(window.Supply().Store().Bytes() / 1024);
  figures.AddedKiB = ResidentKiB() - start - figures.StoreKiB;
  return figures;
}
