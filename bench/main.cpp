// glimmet-bench: the browser's costs measured side by side with the least
// the same work can cost, printed as "name: value" lines.
//   glimmet-bench [--photos DIR] [--reps N] [--paints N] [--clock cpu|wall] [--only PARTS] [--check]
#include <QApplication>
#include <QFileInfo>
#include <QScreen>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "BigPhotos.h"
#include "DiskBench.h"
#include "GridBench.h"
#include "MechanismBench.h"
#include "ScanBench.h"
#include "ScrollBench.h"
#include "StretchBench.h"
#include "TempFolder.h"
#include "app/Startup.h"
#include "app/mainfrm.h"
#include "lib/Tesk_filesys.h"
#include "toolkit/FileData.h"
#include "toolkit/Forms.h"
#include "toolkit/Jpeg.h"
#include "toolkit/SysUtils.h"

namespace {

constexpr const char* kUsage =
    "usage: glimmet-bench [--photos DIR] [--reps N] [--paints N] [--clock cpu|wall] [--only PARTS] [--check]\n"
    "PARTS: a comma-separated choice of memory, paint, fit, scroll, workers, mechanisms, disk, idle, start, focus, "
    "stretch, scan (all by "
    "default)";

struct TOptions {
  std::string Photos;  // empty: the data folder beside the program
  int Reps = 9;
  int Paints = 200;
  TClock Clock = TClock::Cpu;
  bool Check = false;
  std::string Only;  // comma-separated parts to run; empty: all

  bool Runs(const std::string& part) const {
    return Only.empty() || ("," + Only + ",").find("," + part + ",") != std::string::npos;
  }
};

std::optional<int> PositiveInt(const std::string& s) {
  char* end = nullptr;
  const long v = std::strtol(s.c_str(), &end, 10);
  if (s.empty() || *end != '\0' || v < 1 || v > 100000) return std::nullopt;
  return int(v);
}

bool ParseOption(TOptions& o, const std::string& name, const std::string& value) {
  if (name == "--photos") {
    o.Photos = value;
    return !value.empty();
  }
  if (name == "--only") {
    o.Only = value;
    return !value.empty();
  }
  if (name == "--clock") {
    o.Clock = value == "wall" ? TClock::Wall : TClock::Cpu;
    return value == "wall" || value == "cpu";
  }
  const std::optional<int> n = PositiveInt(value);
  if (!n) return false;
  if (name == "--reps") {
    o.Reps = *n;
    return true;
  }
  if (name == "--paints") {
    o.Paints = *n;
    return *n >= 2;  // the drift compares two halves
  }
  return false;
}

std::optional<TOptions> ParseArguments(const QStringList& args) {
  TOptions options;
  for (qsizetype i = 1; i < args.size(); ++i) {
    const std::string name = args[i].toStdString();
    if (name == "--check") {
      options.Check = true;
      continue;
    }
    if (i + 1 >= args.size()) return std::nullopt;
    if (!ParseOption(options, name, QFile::encodeName(args[++i]).toStdString())) return std::nullopt;
  }
  return options;
}

// One figure and, for the figures with a target, whether it was met.
class TReport {
 public:
  void Line(const char* name, double value, int decimals = 3) {
    std::printf("%s: %.*f\n", name, decimals, value);
    std::fflush(stdout);
  }
  void Figure(const char* name, double value, double limit) {
    Line(name, value);
    if (value > limit) Missed.emplace_back(name);
  }
  std::vector<std::string> Missed;
};

std::vector<std::string> PicturesOf(const std::string& folder) {
  TStringList list;
  ScanFilesIntoList(folder + "/*.jpg", false, &list, nullptr);
  std::vector<std::string> paths;
  for (const std::string& entry : list.Items()) paths.push_back(ResolveListedPath(entry));
  return paths;
}

constexpr double kMiB = 1024.0 * 1024.0;

void RunMemory(TFrmGlimmet& window, const TOptions& o, const std::string& photos, TReport& report) {
  const int workers = window.Supply().Workers();
  const TTempFolder temp("glimmet-bench-big");
  const std::string big = temp.Path() + "/big";
  std::filesystem::create_directory(big);
  MakeBigPhotos(PicturesOf(photos), big, kSlidesInView);
  window.ChooseFolder(temp.Path());  // the tree learns the folder; nothing to paint there
  const TMemoryFigures m = MeasurePaintMemory(window, big, o.Paints);
  const double pictureKiB = double(kBigPhotoWidth) * kBigPhotoHeight * 4 / 1024;
  report.Line("paint_rss_peak_added_mib", double(m.PeakAddedKiB) / 1024, 1);
  report.Line("picture_mib", pictureKiB / 1024, 1);
  report.Line("paint_store_mib", double(m.StoreKiB) / 1024, 2);
  if (m.PeakFromStart) std::printf("note: the peak counts from the start of the program\n");
  report.Figure("paint_rss_over_picture", double(m.PeakAddedKiB - m.StoreKiB) / pictureKiB, workers + 0.5);
  report.Line("rss_drift_kib", double(m.DriftKiB), 0);
  if (m.DriftKiB > 1024) report.Missed.emplace_back("rss_drift_kib");
}

// Pictures decode on worker threads beside the measuring one, so these
// figures take elapsed time whatever the clock chosen.
void RunPaint(TFrmGlimmet& window, const TOptions& o, const std::string& photos, TReport& report) {
  const TClock clock = TClock::Wall;
  const std::vector<std::string> files = ShowFolder(window, photos);
  const TPaintFigures p = MeasurePaintAgainstDecode(window, files, o.Reps, clock);
  report.Line("decode_8_ms", p.ColorOnColor.Reference * 1e3, 2);
  report.Line("paint_coloroncolor_ms", p.ColorOnColor.Subject * 1e3, 2);
  report.Figure("paint_over_decode_coloroncolor", p.ColorOnColor.Ratio(), 0.58);
  report.Line("paint_halftone_ms", p.Halftone.Subject * 1e3, 2);
  report.Figure("paint_over_decode_halftone", p.Halftone.Ratio(), 0.60);
  report.Line("paint_ratio2_coloroncolor_ms", p.ColorOnColorRatio2.Subject * 1e3, 2);
  report.Figure("paint_over_decode_ratio2_coloroncolor", p.ColorOnColorRatio2.Ratio(), 0.70);
  report.Line("paint_ratio2_halftone_ms", p.HalftoneRatio2.Subject * 1e3, 2);
  report.Figure("paint_over_decode_ratio2_halftone", p.HalftoneRatio2.Ratio(), 0.70);
  report.Line("repaint_ms", p.Repaint.Subject * 1e3, 2);
  report.Figure("repaint_over_decode", p.Repaint.Ratio(), 0.03);
  const TMedians click = MeasureClickAgainstDecode(window, files, o.Reps, clock);
  report.Line("decode_clicked_ms", click.Reference * 1e3, 2);
  report.Line("click_to_large_ms", click.Subject * 1e3, 2);
  report.Figure("click_to_large_over_its_decode", click.Ratio(), 1.10);
  const TMedians serial = MeasureOneWorkerAgainstSerial(window, o.Reps, clock);
  report.Line("paint_one_worker_ms", serial.Subject * 1e3, 2);
  report.Line("paint_serial_ms", serial.Reference * 1e3, 2);
  report.Figure("one_worker_over_serial", serial.Ratio(), 1.00);
}

// A click on a slide, then a double click on the large view, until the
// fitted picture shows; an averaged picture asked for behind a dropped one;
// a step to a picture read ahead. Elapsed time, as the decode and the
// fitting run on workers.
void RunFit(TFrmGlimmet& window, const TOptions& o, const std::string& photos, TReport& report) {
  const std::vector<std::string> files = ShowFolder(window, photos);
  const TMedians afterCancel = MeasureFitAfterCancelAgainstFit(window, o.Reps);
  report.Line("fit_alone_ms", afterCancel.Reference * 1e3, 2);
  report.Line("fit_after_cancel_ms", afterCancel.Subject * 1e3, 2);
  report.Figure("fit_after_cancel_over_fit", afterCancel.Ratio(), 1.10);
  const TMedians step = MeasureStepAheadAgainstDecode(window, files, o.Reps);
  report.Line("decode_stepped_ms", step.Reference * 1e3, 2);
  report.Line("step_ahead_ms", step.Subject * 1e3, 2);
  report.Figure("step_ahead_over_decode", step.Ratio(), 0.10);
  if (!FitShrinks(window, files)) {
    std::printf("fit: skipped, slides 1 and 2 are no larger than the large view\n");
    return;
  }
  const TMedians fit = MeasureFitAgainstDecode(window, files, o.Reps, TClock::Wall);
  report.Line("decode_fitted_ms", fit.Reference * 1e3, 2);
  report.Line("click_to_fitted_ms", fit.Subject * 1e3, 2);
  report.Figure("fit_over_decode", fit.Ratio(), 1.10);
  const TZoomFigures zoom = MeasureZoomAgainstFit(window, o.Reps, TClock::Wall);
  report.Line("fit_of_decoded_ms", zoom.Out.Reference * 1e3, 2);
  report.Line("zoom_out_step_ms", zoom.Out.Subject * 1e3, 2);
  report.Figure("zoom_over_fit", zoom.Out.Ratio(), 1.0);
  report.Line("zoom_in_step_ms", zoom.In.Subject * 1e3, 2);
  report.Figure("zoom_in_over_fit", zoom.In.Ratio(), 1.0);
}

// Scrolling needs more than a screen: the folder's first photos copied over
// and over into a folder of their own in temp, each copy a file of its own.
std::string MakeScrollFolder(TFrmGlimmet& window, const TTempFolder& temp, const std::string& photos) {
  const std::string folder = temp.Path() + "/copies";
  std::filesystem::create_directory(folder);
  std::vector<std::string> sources = PicturesOf(photos);
  if (sources.size() > std::size_t(kSlidesInView)) sources.resize(kSlidesInView);
  CopyPhotos(sources, folder, kScrollFolderSize);
  window.ChooseFolder(temp.Path());  // the tree learns the folder
  return folder;
}

void RunScroll(TFrmGlimmet& window, const TOptions& o, const std::string& photos, TReport& report) {
  const TClock clock = TClock::Wall;
  const TTempFolder temp("glimmet-bench-scroll");
  ShowFolder(window, MakeScrollFolder(window, temp, photos));
  const TStepFigures cold = MeasureScrollStep(window, o.Reps, clock, false);
  report.Line("step_new_slides", cold.NewSlides, 0);
  report.Line("step_decode_8_ms", cold.Step.Reference * 1e3, 2);
  report.Line("scroll_step_ms", cold.Step.Subject * 1e3, 2);
  report.Figure("scroll_step_over_decode", cold.Step.Ratio(), 0.30);
  const TStepFigures warm = MeasureScrollStep(window, o.Reps, clock, true);
  report.Line("scroll_step_ahead_ms", warm.Step.Subject * 1e3, 2);
  report.Figure("scroll_step_ahead_over_decode", warm.Step.Ratio(), 0.05);
  const TBurstFigures burst = MeasureWheelBurst(window, o.Reps, clock);
  report.Line("final_view_paint_ms", burst.Burst.Reference * 1e3, 2);
  report.Line("wheel_burst_ms", burst.Burst.Subject * 1e3, 2);
  report.Line("wheel_burst_paints", burst.Paints, 0);
  report.Figure("wheel_burst_over_paint", burst.Burst.Ratio(), 1.5);
  const TIdleCpu idle = MeasureIdleCpuAfterAhead(window, 3);
  report.Line("idle_cpu_ms_after_ahead_most", idle.MostSeconds * 1e3, 2);
  report.Line("idle_cpu_ms_quiet", idle.QuietSeconds * 1e3, 2);
  report.Line("idle_events_after_ahead", idle.Events, 0);
  // The program's own: what the measuring loop costs on its own is taken
  // off, to the tenth of a millisecond.
  const double programMs = std::max(0.0, std::round((idle.MedianSeconds - idle.QuietSeconds) * 1e4) / 10);
  report.Figure("idle_cpu_ms_after_ahead", programMs, 0);
  const TIdleMemory memory = MeasureIdleMemoryAfterBursts(window);
  report.Line("scroll_store_mib", double(memory.StoreKiB) / 1024, 2);
  report.Figure("idle_rss_after_scroll_mib", double(memory.AddedKiB) / 1024, 64);
}

// The cold paint figure with the pool held to other worker counts.
void RunWorkers(TFrmGlimmet& window, const TOptions& o, const std::string& photos, TReport& report) {
  const std::vector<std::string> files = ShowFolder(window, photos);
  TSlideSupply& supply = window.Supply();
  const int workers = supply.Workers();
  const std::uint64_t storeBytes = supply.Store().Capacity();
  for (const int n : {1, 2, 4, 8}) {
    Quieten(window);
    supply.Configure(n, storeBytes);
    const TMedians p = MeasureColdPaintAgainstDecode(window, files, o.Reps, TClock::Wall);
    const std::string name = "paint_over_decode_coloroncolor_" + std::to_string(n) + "_workers";
    report.Line(name.c_str(), p.Ratio());
  }
  Quieten(window);
  supply.Configure(workers, storeBytes);
}

// Each mechanism of the supply and its pool on against off, side by side.
void RunMechanisms(TFrmGlimmet& window, const TOptions& o, const std::string& photos, TReport& report) {
  const TMechanismFigures m = MeasureMechanisms(window, photos, o.Reps);
  report.Line("run_while_waiting_paint_ms", m.RunWhileWaiting.Subject * 1e3, 2);
  report.Line("run_while_waiting_on_over_off", m.RunWhileWaiting.Ratio());
  report.Line("kept_stores_serial_paint_ms", m.KeptStores.Subject * 1e3, 2);
  report.Line("kept_stores_on_over_off", m.KeptStores.Ratio());
}

// The slides kept on disk.
void RunDisk(TFrmGlimmet& window, const TOptions& o, const std::string& photos, const std::string& cache,
             TReport& report) {
  const std::vector<std::string> files = ShowFolder(window, photos);
  const TDiskFigures disk = MeasureDiskStore(window, files, cache + "/glimmet", o.Reps, TClock::Wall);
  report.Line("warm_start_paint_ms", disk.WarmStart.Subject * 1e3, 2);
  report.Figure("warm_start_paint_over_decode", disk.WarmStart.Ratio(), 0.05);
  report.Figure("disk_write_over_paint", disk.Write.Ratio(), 1.05);
}

// The window's first frame against its settled grid, cold.
void RunStart(const TOptions& o, const std::string& photos, TReport& report) {
  const TStartFigures start = MeasureStart(photos, o.Reps);
  report.Line("first_frame_ms", start.FirstFrame * 1e3, 1);
  report.Line("settled_ms", start.Settled * 1e3, 1);
  report.Figure("first_frame_over_settled", start.FirstFrame / start.Settled, 0.35);
}

// Idle memory against the worker count, over a folder to scroll in.
void RunIdle(TFrmGlimmet& window, const std::string& photos, TReport& report) {
  const TTempFolder temp("glimmet-bench-scroll");
  const std::string folder = temp.Path() + "/copies";
  std::filesystem::create_directory(folder);
  std::vector<std::string> sources = PicturesOf(photos);
  if (sources.size() > std::size_t(kSlidesInView)) sources.resize(kSlidesInView);
  CopyPhotos(sources, folder, kScrollFolderSize);
  window.ChooseFolder(temp.Path());
  ShowFolder(window, folder);
  const TWorkerMemory memory = MeasureIdleMemoryByWorkers(window);
  report.Line("idle_rss_2_workers_mib", double(memory.TwoKiB) / 1024, 1);
  report.Line("idle_rss_8_workers_mib", double(memory.EightKiB) / 1024, 1);
  report.Figure("idle_rss_8_over_2_workers_mib", double(memory.EightKiB - memory.TwoKiB) / 1024, 32);
}

void RunFocus(TFrmGlimmet& window, const TOptions& o, TReport& report) {
  const TFocusFigures f = MeasureFocusMove(window, std::max(o.Reps, 15), o.Clock);
  report.Line("focus_move_paints", f.Paints, 0);
  if (f.Paints != 0 || f.FocusChanges != f.Moves) report.Missed.emplace_back("focus_move_paints");
  report.Figure("focus_move_us", f.MoveSeconds * 1e6, 200);
}

void RunStretch(const TOptions& o, TReport& report) {
  const TMedians h = MeasureHalftoneAgainstMemcpy(o.Reps, o.Clock);
  report.Line("halftone_ms", h.Subject * 1e3, 2);
  report.Line("memcpy_ms", h.Reference * 1e3, 2);
  report.Figure("halftone_over_memcpy", h.Ratio(), 3);
}

void RunScan(const TOptions& o, TReport& report) {
  const TMedians s = MeasureScanAgainstReaddir(o.Reps, o.Clock);
  report.Line("scan_ms", s.Subject * 1e3, 2);
  report.Line("readdir_ms", s.Reference * 1e3, 2);
  report.Figure("scan_over_readdir", s.Ratio(), 1.5);
}

// The window lists its first folder in a call queued from its first
// exposure; it runs here, so that no part's folder is replaced by it.
void ShowWindow(TFrmGlimmet& window) {
  window.show();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!window.windowHandle() || !window.windowHandle()->isExposed()) {
    if (std::chrono::steady_clock::now() > deadline) throw std::runtime_error("the window was never exposed");
    QApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  QApplication::processEvents();
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const auto app = StartApplication(argc, argv);
  std::optional<TOptions> options = ParseArguments(QCoreApplication::arguments());
  if (!options) {
    std::fprintf(stderr, "%s\n", kUsage);
    return 2;
  }
  int errors = 0;
  Application.SetErrorSink([&](const std::string& text) {
    std::fprintf(stderr, "error: %s\n", text.c_str());
    ++errors;
  });
  std::string photos =
      options->Photos.empty() ? ExtractFilePath(Application.ExeName) + "data" : ExpandFileName(options->Photos);
  while (photos.size() > 1 && photos.back() == '/') photos.pop_back();
  std::printf("photos: %s\n", photos.c_str());
  std::printf("clock: %s\n", options->Clock == TClock::Cpu ? "cpu" : "wall");
  std::fflush(stdout);
  TReport report;
  // Slides are kept on disk in a folder of this run; off but where measured.
  const TTempFolder cache("glimmet-bench-cache");
  setenv("XDG_CACHE_HOME", cache.Path().c_str(), 1);
  setenv("GLIMMET_DISK_CACHE_MIB", "0", 1);
  // The copies scrolled through are made moments before: kept all the same.
  SetQuietNs(0);
  try {
    // Before the bench's own window, each start a window of its own.
    if (options->Runs("start")) RunStart(*options, photos, report);
    TFrmGlimmet window;
    std::printf("workers: %d\n", window.Supply().Workers());
    std::printf("slide_store_mib: %.0f\n", double(window.Supply().Store().Capacity()) / kMiB);
    // Measured first, before any picture of the folder has been shown.
    if (options->Runs("memory")) RunMemory(window, *options, photos, report);
    ShowWindow(window);
    if (options->Runs("paint")) RunPaint(window, *options, photos, report);
    if (options->Runs("fit")) RunFit(window, *options, photos, report);
    if (options->Runs("scroll")) RunScroll(window, *options, photos, report);
    if (options->Runs("workers")) RunWorkers(window, *options, photos, report);
    if (options->Runs("mechanisms")) RunMechanisms(window, *options, photos, report);
    if (options->Runs("disk")) RunDisk(window, *options, photos, cache.Path(), report);
    if (options->Runs("idle")) RunIdle(window, photos, report);
    if (options->Runs("focus")) {
      ShowFolder(window, photos);
      Quieten(window);
      RunFocus(window, *options, report);
    }
    if (options->Runs("stretch")) RunStretch(*options, report);
    if (options->Runs("scan")) RunScan(*options, report);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "error: %s\n", e.what());
    return 1;
  }
  if (errors) return 1;
  for (const std::string& name : report.Missed) std::printf("missed: %s\n", name.c_str());
  std::printf("bench: done\n");
  return options->Check && !report.Missed.empty() ? 1 : 0;
}
