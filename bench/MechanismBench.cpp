#include "MechanismBench.h"

#include <QApplication>
#include <functional>

#include "GridBench.h"
#include "app/mainfrm.h"
#include "toolkit/Graphics.h"

namespace {

// The workload with the mechanism on (subject) against it off (reference);
// set switches it and configures the supply afresh before each run.
TMedians OnAgainstOff(TFrmGlimmet& window, int reps, const std::function<void()>& workload,
                      const std::function<void(bool on)>& set) {
  const auto prepare = [&](bool on) {
    Quieten(window);
    set(on);
    QApplication::processEvents();
  };
  const TMedians m =
      MeasureSideBySide(reps, TClock::Wall, {workload, workload, [&] { prepare(true); }, [&] { prepare(false); }});
  prepare(true);
  return m;
}

}  // namespace

TMechanismFigures MeasureMechanisms(TFrmGlimmet& window, const std::string& folder, int reps) {
  TSlideSupply& supply = window.Supply();
  const int workers = supply.Workers();
  const std::uint64_t storeBytes = supply.Store().Capacity();
  TThumbnails& grid = *window.Thumbs1;
  const auto paint = [&] { grid.Paint(); };
  TMechanismFigures f;
  ShowFolder(window, folder);
  f.RunWhileWaiting = OnAgainstOff(window, reps, paint, [&](bool on) {
    supply.SetPoolOptions({.RunWhileWaiting = on});
    supply.Configure(1, storeBytes);  // a new, empty store
  });
  supply.SetPoolOptions({});
  f.KeptStores = OnAgainstOff(window, reps, paint, [&](bool on) {
    KeepFreedPixelStores(on);
    supply.Configure(0, 0);
  });
  KeepFreedPixelStores(true);
  supply.Configure(workers, storeBytes);
  return f;
}
