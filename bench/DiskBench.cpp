#include "DiskBench.h"

#include <cstdlib>
#include <filesystem>

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
