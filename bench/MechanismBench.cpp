#include "MechanismBench.h"

#include <QApplication>
#include <QScrollBar>
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

TMechanismFigures MeasureMechanisms(TFrmGlimmet& window, const std::string& folder, const std::string& scrollFolder,
                                    int reps) {
  TSlideSupply& supply = window.Supply();
  const int workers = supply.Workers();
  const std::uint64_t storeBytes = supply.Store().Capacity();
  TThumbnails& grid = *window.Thumbs1;
  const auto paint = [&] { grid.Paint(); };
  const auto configure = [&](int n, std::uint64_t bytes, TSupplyMechanisms m) {
    supply.SetMechanisms(m);
    supply.Configure(n, bytes);  // a new, empty store
  };
  TMechanismFigures f;
  ShowFolder(window, folder);
  f.StartByCost = OnAgainstOff(window, reps, paint, [&](bool on) {
    TSupplyMechanisms m;
    m.StartByCost = on;
    configure(workers, storeBytes, m);
  });
  f.RunWhileWaiting = OnAgainstOff(window, reps, paint, [&](bool on) {
    TSupplyMechanisms m;
    m.Pool.RunWhileWaiting = on;
    configure(1, storeBytes, m);
  });
  f.KeptStores = OnAgainstOff(window, reps, paint, [&](bool on) {
    KeepFreedPixelStores(on);
    configure(0, 0, {});
  });
  KeepFreedPixelStores(true);

  // From half a row scrolled, the read-ahead of its paint started but not
  // done, a step that brings two slides into view that it is making.
  ShowFolder(window, scrollFolder);
  constexpr int kFrom = 2, kTo = 3;
  f.AheadTwins = OnAgainstOff(
      window, reps,
      [&] {
        window.SBarThumbs->setValue(kTo);
        QApplication::processEvents();
      },
      [&](bool on) {
        TSupplyMechanisms m;
        m.Pool.AheadTwins = on;
        configure(workers, storeBytes, m);
        PaintAt(window, kFrom);
        QApplication::processEvents();  // the posted read-ahead starts
      });
  configure(workers, storeBytes, {});
  return f;
}
