#include "GridBench.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "BareJpeg.h"
#include "Memory.h"
#include "app/mainfrm.h"
#include "lib/Tesk_filesys.h"
#include "toolkit/qt/ControlHost.h"
#include "toolkit/FitPicture.h"
#include "toolkit/qt/ImageView.h"

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

// Waits for the supply to finish, running the event loop or not.
void AwaitSupply(TFrmGlimmet& window, bool runEvents) {
  constexpr auto kPatience = std::chrono::seconds(120);
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (!window.Supply().Idle()) {
    if (std::chrono::steady_clock::now() > deadline) throw std::runtime_error("the slide supply never went idle");
    if (runEvents) QApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
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
  files.reserve(kSlidesInView);
  for (int i = 0; i < kSlidesInView; ++i) files.push_back(ResolveListedPath((*list)[i]));
  return files;
}

std::vector<std::string> FilesInView(TFrmGlimmet& window) {
  const TStringList* list = window.FileList();
  std::vector<std::string> files;
  if (!list) return files;
  for (const int id : window.Thumbs1->SlidesInView()) files.push_back(ResolveListedPath((*list)[id - 1]));
  return files;
}

int PaintsDuring(TFrmGlimmet& window, const std::function<void()>& work) {
  const TPaintCounter paints(*window.Thumbs1);
  work();
  return paints.Count;
}

void Quieten(TFrmGlimmet& window) {
  // Twice: a merged scroll applied in the first run posts its own read-ahead.
  QApplication::processEvents();
  QApplication::processEvents();
  window.Supply().DropAll();
  AwaitSupply(window, false);
}

void WaitUntilIdle(TFrmGlimmet& window) {
  QApplication::processEvents();
  AwaitSupply(window, true);
}

void PaintAt(TFrmGlimmet& window, int value) {
  {
    const QSignalBlocker unheard(window.SBarThumbs);
    window.SBarThumbs->setValue(value);
  }
  TThumbnails& grid = *window.Thumbs1;
  const double before = grid.ScrollPosition();
  grid.SetScrollPosition(value);
  if (grid.ScrollPosition() == before) grid.Paint();
}

TMedians MeasureColdPaintAgainstDecode(TFrmGlimmet& window, const std::vector<std::string>& files, int reps,
                                       TClock clock) {
  TThumbnails& grid = *window.Thumbs1;
  return MeasureSideBySide(reps, clock,
                           {[&] { grid.Paint(); }, [&] { BareDecodeAll(files); },
                            [&] {
                              Quieten(window);
                              window.Supply().ClearStore();
                            },
                            [&] { Quieten(window); }});
}

TPaintFigures MeasurePaintAgainstDecode(TFrmGlimmet& window, const std::vector<std::string>& files, int reps,
                                        TClock clock) {
  TThumbnails& grid = *window.Thumbs1;
  TPaintFigures figures;
  grid.SetAntiAlias(false);
  figures.ColorOnColor = MeasureColdPaintAgainstDecode(window, files, reps, clock);
  grid.SetAntiAlias(true);
  figures.Halftone = MeasureColdPaintAgainstDecode(window, files, reps, clock);
  grid.SetPixelRatio(2);
  figures.HalftoneRatio2 = MeasureColdPaintAgainstDecode(window, files, reps, clock);
  grid.SetAntiAlias(false);
  figures.ColorOnColorRatio2 = MeasureColdPaintAgainstDecode(window, files, reps, clock);
  grid.SetPixelRatio(1);
  // Its warm-up paint keeps the slides that every timed one finds.
  figures.Repaint = MeasureSideBySide(reps, clock,
                                      {[&] { grid.Paint(); }, [&] { BareDecodeAll(files); },
                                       [&] { Quieten(window); }, [&] { Quieten(window); }, false});
  return figures;
}

TMedians MeasureClickAgainstDecode(TFrmGlimmet& window, const std::vector<std::string>& files, int reps,
                                   TClock clock) {
  QWidget& host = *window.Thumbs1Host;
  bool second = false, secondForReference = false;  // slides 1 and 2 in turns, each click a new selection
  return MeasureSideBySide(reps, clock,
                           {[&] {
                              second = !second;
                              const QPoint at = second ? kSlide2 : kSlide1;
                              SendMouse(host, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
                              SendMouse(host, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
                              TBitmap shown;  // the large view's picture, decoded
                              shown.Assign(window.LargeImg->Picture().Graphic());
                            },
                            [&] {
                              secondForReference = !secondForReference;
                              BareDecode(files[secondForReference ? 1 : 0]);
                            },
                            [&] { Quieten(window); }, [&] { Quieten(window); }});
}

bool FitShrinks(TFrmGlimmet& window, const std::vector<std::string>& files) {
  const QSize view = window.LargeImgView->size() * window.LargeImgView->devicePixelRatio();
  for (int k = 0; k < 2; ++k) {
    const TRawPicture picture = BareDecode(files[k]);
    if (picture.Width <= view.width() && picture.Height <= view.height()) return false;
  }
  return true;
}

TMedians MeasureFitAgainstDecode(TFrmGlimmet& window, const std::vector<std::string>& files, int reps,
                                 TClock clock) {
  QWidget& host = *window.Thumbs1Host;
  TImageView& view = *window.LargeImgView;
  const QPoint middle = view.rect().center();
  const auto click = [](QWidget& target, QPoint at, QEvent::Type press) {
    SendMouse(target, press, at, Qt::LeftButton, Qt::LeftButton);
    SendMouse(target, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
  };
  bool second = false, secondForReference = false;  // slides 1 and 2 in turns
  const TMedians m = MeasureSideBySide(reps, clock,
                                       {[&] {
                                          second = !second;
                                          click(host, second ? kSlide2 : kSlide1, QEvent::MouseButtonPress);
                                          click(view, middle, QEvent::MouseButtonPress);
                                          click(view, middle, QEvent::MouseButtonDblClick);
                                          // The fitted picture came with the decode; a view fitting
                                          // on its own would show it at the second paint.
                                          view.repaint();
                                          view.WaitForFit();
                                          view.repaint();
                                          if (!view.Fitted())
                                            throw std::runtime_error("the large view fitted nothing");
                                        },
                                        [&] {
                                          secondForReference = !secondForReference;
                                          BareDecode(files[secondForReference ? 1 : 0]);
                                        },
                                        [&] {
                                          Quieten(window);
                                          view.SetMode(TImageView::TViewMode::Natural);
                                        },
                                        [&] { Quieten(window); }});
  view.SetMode(TImageView::TViewMode::Natural);
  return m;
}

TZoomFigures MeasureZoomAgainstFit(TFrmGlimmet& window, int reps, TClock clock) {
  TImageView& view = *window.LargeImgView;
  SendMouse(*window.Thumbs1Host, QEvent::MouseButtonPress, kSlide1, Qt::LeftButton, Qt::LeftButton);
  SendMouse(*window.Thumbs1Host, QEvent::MouseButtonRelease, kSlide1, Qt::LeftButton, Qt::NoButton);
  TBitmap picture;
  picture.Assign(window.LargeImg->Picture().Graphic());
  const TFitSize fitted = FittedSize({picture.Width(), picture.Height()}, view.DeviceSize());
  const auto step = [&](int key) {
    return [&view, key] {
      QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
      QApplication::sendEvent(&view, &press);
      view.repaint();
      view.WaitForFit();
      view.repaint();
    };
  };
  const auto fit = [&] {
    if (!FitPicture(picture, fitted)) throw std::runtime_error("nothing fitted");
  };
  // The averaged picture of the last step is dropped (a stand-in of another
  // size takes its place), so that each step makes its own.
  const auto natural = [&] {
    Quieten(window);
    view.SetMode(TImageView::TViewMode::Natural);
    view.OfferFitted(std::make_shared<TBitmap>(1, 1));
  };
  TZoomFigures figures;
  const auto out = [&, minus = step(Qt::Key_Minus)] {
    minus();
    if (!view.Fitted()) throw std::runtime_error("the large view averaged nothing");
  };
  figures.Out = MeasureSideBySide(reps, clock, {out, fit, natural, [&] { Quieten(window); }});
  figures.In = MeasureSideBySide(reps, clock, {step(Qt::Key_Plus), fit, natural, [&] { Quieten(window); }});
  view.SetMode(TImageView::TViewMode::Natural);
  return figures;
}

TMedians MeasureStepAheadAgainstDecode(TFrmGlimmet& window, const std::vector<std::string>& files, int reps) {
  QWidget& host = *window.Thumbs1Host;
  const auto click = [&](QPoint at) {
    SendMouse(host, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    SendMouse(host, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
  };
  window.FLargeDirection = 1;
  return MeasureSideBySide(reps, TClock::Wall,
                           {[&] {
                              click(kSlide2);
                              TBitmap shown;  // the large view's picture, decoded
                              shown.Assign(window.LargeImg->Picture().Graphic());
                            },
                            [&] { BareDecode(files[1]); },
                            [&] {
                              Quieten(window);
                              click(kSlide1);
                              WaitUntilIdle(window);
                            },
                            [&] { Quieten(window); }});
}

TMedians MeasureFitAfterCancelAgainstFit(TFrmGlimmet& window, int reps) {
  TSlideSupply& supply = window.Supply();
  const int workers = supply.Workers();
  const std::uint64_t storeBytes = supply.Store().Capacity();
  Quieten(window);
  supply.SetPoolOptions({.RunWhileWaiting = false});
  supply.Configure(1, storeBytes);
  TBitmap picture(8000, 6000, TPixelInit::Unset);
  for (int y = 0; y < picture.Height(); ++y) {
    std::uint32_t* row = picture.ScanLine(y);
    for (int x = 0; x < picture.Width(); ++x) row[x] = std::uint32_t(x * 7 + y * 13) * 0x010101u;
  }
  const TFitSize wanted = FittedSize({8000, 6000}, window.LargeImgView->DeviceSize());
  const TFitSize dropped{wanted.Width / 2, wanted.Height / 2};
  const auto averaged = [&](TFitSize size) {
    bool made = false;
    const TAverager::TRequestRef request =
        supply.StartAveraging(picture, size, [&](std::shared_ptr<const TBitmap> p) { made = p != nullptr; });
    supply.WaitForAveraging(request);
    if (!made) throw std::runtime_error("the averaged picture was not made");
  };
  const TMedians m = MeasureSideBySide(
      reps, TClock::Wall,
      [&] {
        const TAverager::TRequestRef first = supply.StartAveraging(picture, dropped, [](auto) {});
        while (supply.BytesRunning() == 0) std::this_thread::yield();
        supply.DropAveraging(first);
        averaged(wanted);
      },
      [&] { averaged(wanted); });
  Quieten(window);
  supply.SetPoolOptions({});
  supply.Configure(workers, storeBytes);
  return m;
}

TMedians MeasureOneWorkerAgainstSerial(TFrmGlimmet& window, int reps, TClock clock) {
  TSlideSupply& supply = window.Supply();
  const int workers = supply.Workers();
  const std::uint64_t storeBytes = supply.Store().Capacity();
  TThumbnails& grid = *window.Thumbs1;
  const TMedians m = MeasureSideBySide(reps, clock,
                                       {[&] { grid.Paint(); }, [&] { grid.Paint(); },
                                        [&] {
                                          Quieten(window);
                                          supply.Configure(1, storeBytes);
                                        },
                                        [&] {
                                          Quieten(window);
                                          supply.Configure(0, 0);
                                        }});
  Quieten(window);
  supply.Configure(workers, storeBytes);
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
  TSlideSupply& supply = window.Supply();
  long storeBytes = 0;
  const auto paintCold = [&] {
    Quieten(window);
    supply.ClearStore();
    window.Thumbs1->Paint();
    storeBytes = std::max(storeBytes, long(supply.Store().Bytes()));
  };
  Quieten(window);
  supply.ClearStore();
  ReturnFreeMemory();
  const long before = ResidentKiB();
  figures.PeakFromStart = !ResetPeakResident();
  ShowFolder(window, folder);  // the listing paints
  storeBytes = long(supply.Store().Bytes());
  long afterFirstHalf = ResidentKiB();
  for (int i = 2; i <= paints; ++i) {
    paintCold();
    if (i == paints / 2) afterFirstHalf = ResidentKiB();
  }
  Quieten(window);
  figures.DriftKiB = ResidentKiB() - afterFirstHalf;
  figures.PeakAddedKiB = PeakResidentKiB() - before;
  figures.StoreKiB = storeBytes / 1024;
  return figures;
}
