#include "GridBench.h"

#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <stdexcept>

#include "BareJpeg.h"
#include "Memory.h"
#include "app/mainfrm.h"
#include "lib/Tesk_filesys.h"
#include "toolkit/qt/ControlHost.h"

namespace {

// The browser's grid as its window lays it out.
void CheckBrowserGrid(const TThumbnails& grid) {
  if (grid.Width() != 299 || grid.Height() != 453 || grid.SlideSize() != 120 || grid.SlideDistance() != 2 ||
      grid.SlideMargin() != 7) {
    throw std::runtime_error("the grid is not laid out as the browser's: 299 x 453, slides 120, 2, 7");
  }
}

// Counts the paints that get past the paint guard, passing the event on.
class TPaintCounter {
 public:
  explicit TPaintCounter(TThumbnails& grid) : FGrid(grid), FSaved(grid.OnFirstImageRequest) {
    grid.OnFirstImageRequest = [this](TObject* sender) {
      ++Count;
      if (FSaved) FSaved(sender);
    };
  }
  ~TPaintCounter() { FGrid.OnFirstImageRequest = FSaved; }
  TPaintCounter(const TPaintCounter&) = delete;
  TPaintCounter& operator=(const TPaintCounter&) = delete;
  int Count = 0;

 private:
  TThumbnails& FGrid;
  TNotifyEvent FSaved;
};

TMedians PaintAgainstDecode(TThumbnails& grid, const std::vector<std::string>& files, int reps, TClock clock) {
  return MeasureSideBySide(
      reps, clock, [&] { grid.Paint(); },
      [&] {
        for (const std::string& file : files) BareDecode(file);
      });
}

void SendMouse(QWidget& target, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons) {
  QMouseEvent event(type, QPointF(pos), QPointF(target.mapToGlobal(pos)), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(&target, &event);
}

void SendMouseMove(QWidget& target, QPoint pos) {
  SendMouse(target, QEvent::MouseMove, pos, Qt::NoButton, Qt::NoButton);
}

const QPoint kSlide1(77, 79), kSlide2(213, 79);  // centres of the first two boxes

}  // namespace

std::vector<std::string> ShowFolder(TFrmGlimmet& window, const std::string& folder) {
  if (!window.ChooseFolder(folder)) throw std::runtime_error("the folder tree has no folder " + folder);
  window.SBarThumbs->setValue(0);
  CheckBrowserGrid(*window.Thumbs1);
  const TStringList* list = window.FileList();
  if (!list || list->Count() < kSlidesInView) {
    throw std::runtime_error("fewer than 8 pictures (*.jpg) in " + folder);
  }
  std::vector<std::string> files;
  for (int i = 0; i < kSlidesInView; ++i) files.push_back(ResolveListedPath((*list)[i]));
  return files;
}

TPaintFigures MeasurePaintAgainstDecode(TFrmGlimmet& window, const std::vector<std::string>& files, int reps,
                                        TClock clock) {
  TThumbnails& grid = *window.Thumbs1;
  TPaintFigures figures;
  grid.SetAntiAlias(false);
  figures.ColorOnColor = PaintAgainstDecode(grid, files, reps, clock);
  grid.SetAntiAlias(true);
  figures.Halftone = PaintAgainstDecode(grid, files, reps, clock);
  grid.SetAntiAlias(false);
  return figures;
}

TMedians MeasureClickAgainstDecode(TFrmGlimmet& window, const std::vector<std::string>& files, int reps,
                                   TClock clock) {
  QWidget& host = *window.Thumbs1Host;
  bool second = false, secondForReference = false;  // slides 1 and 2 in turns, each click a new selection
  return MeasureSideBySide(
      reps, clock,
      [&] {
        second = !second;
        const QPoint at = second ? kSlide2 : kSlide1;
        SendMouse(host, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
        SendMouse(host, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
        TBitmap shown;  // the large view's picture, decoded
        shown.Assign(window.LargeImg->Picture().Graphic());
      },
      [&] {
        secondForReference = !secondForReference;
        for (const std::string& file : files) BareDecode(file);
        BareDecode(files[secondForReference ? 1 : 0]);
      });
}

TMedians MeasureOneWorkerAgainstSerial(TFrmGlimmet& window, int reps, TClock clock) {
  TSlideSupply& supply = window.Supply();
  const int workers = supply.Workers();
  TThumbnails& grid = *window.Thumbs1;
  const TMedians m = MeasureSideBySide(
      reps, clock,
      [&] {
        supply.Configure(1, 0);
        grid.Paint();
      },
      [&] {
        supply.Configure(0, 0);
        grid.Paint();
      });
  supply.Configure(workers, 0);
  return m;
}

TFocusFigures MeasureFocusMove(TFrmGlimmet& window, int reps, TClock clock) {
  constexpr int kMovesPerSample = 100;
  TThumbnails& grid = *window.Thumbs1;
  QWidget& host = *window.Thumbs1Host;
  const QPoint slide1 = kSlide1, slide2 = kSlide2;
  TFocusFigures figures;
  TNotifyEvent saved = grid.OnFocusChange;
  grid.OnFocusChange = [&](TObject*) { ++figures.FocusChanges; };
  std::vector<double> samples;
  {
    TPaintCounter paints(grid);
    SendMouseMove(host, slide1);
    figures.FocusChanges = 0;  // only the timed moves count
    for (int r = 0; r < reps; ++r) {
      samples.push_back(TimeOnce(clock, [&] {
        for (int i = 0; i < kMovesPerSample / 2; ++i) {
          SendMouseMove(host, slide2);
          SendMouseMove(host, slide1);
        }
      }));
    }
    figures.Paints = paints.Count;
  }
  grid.OnFocusChange = saved;
  figures.Moves = reps * kMovesPerSample;
  figures.MoveSeconds = Median(samples) / kMovesPerSample;
  return figures;
}

TMemoryFigures MeasurePaintMemory(TFrmGlimmet& window, const std::string& folder, int paints) {
  TMemoryFigures figures;
  ReturnFreeMemory();
  const long before = ResidentKiB();
  figures.PeakFromStart = !ResetPeakResident();
  ShowFolder(window, folder);  // the listing paints once
  long afterFirstHalf = ResidentKiB();
  for (int i = 2; i <= paints; ++i) {
    window.Thumbs1->Paint();
    if (i == paints / 2) afterFirstHalf = ResidentKiB();
  }
  figures.DriftKiB = ResidentKiB() - afterFirstHalf;
  figures.PeakAddedKiB = PeakResidentKiB() - before;
  return figures;
}
