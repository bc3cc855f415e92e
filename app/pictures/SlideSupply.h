#pragma once
// The window's pictures, everything between the grid's requests and the
// decoder. A slide is made once: a job decodes the file and scales its rows
// as they come to the rectangle the grid will draw it in (the grid's rule),
// never holding the full picture; the slide is kept in a store and drawn 1:1
// by the grid. At the start of a paint the slides it will ask for are
// started; after it the screens after and before the view are made ahead,
// the way the view last scrolled first; at a release over a slide its full
// picture is decoded for the large view. Each request takes its own file's
// result, so what the window shows and reports is what making the slide at
// the request would give. With no workers and no store every request loads
// its file into a full-size picture instead (the literal path): the
// reference every other setting must equal.
//
// The large view's work runs here too, under the same byte ceiling: its
// picture's decode (fitted to the view while it decodes, when the view shows
// it fitted), the pictures read ahead for a step to the next or previous one,
// and the averaged pictures the view asks for (fit and zoom below 1).
//
// Threads: every member is called on the GUI thread. Jobs run on the pool's
// workers, or on the GUI thread while it waits for one. A job reads only what
// it is given: the resolved path, the slide's size and stretch mode, the
// screen's bits per pixel, the pixels it averages and its stop flag; it
// writes only its own result, which the GUI thread reads once the pool says
// the job has run, the memory store, which locks, and the disk store, whose
// entries it writes through files of its own renamed into place. A job that
// ends posts a call to the GUI thread, which hands on what was left waiting.
#include <QObject>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/pictures/SlideDiskStore.h"
#include "app/pictures/SlideStore.h"
#include "toolkit/DecodePool.h"
#include "toolkit/FitPicture.h"
#include "toolkit/Pictures.h"

class QSocketNotifier;

class TSlideSupply : public TAverager {
 public:
  // Loads a picture (its header) from a path the resolver gave; called on
  // the workers.
  using TLoader = std::function<std::unique_ptr<TGraphic>(const std::string& path)>;

  explicit TSlideSupply(int workers = DefaultDecodeWorkers(), std::uint64_t storeBytes = DefaultSlideStoreBytes(),
                        TLoader loader = TPicture::LoadResolvedGraphic);
  ~TSlideSupply() override;
  TSlideSupply(const TSlideSupply&) = delete;
  TSlideSupply& operator=(const TSlideSupply&) = delete;

  // Replaces the workers and the store, dropping all work and every slide.
  void Configure(int workers, std::uint64_t storeBytes, std::uint64_t decodeBytes = DefaultDecodeBytes);
  // The pool's options from the next Configure on.
  void SetPoolOptions(const TDecodePoolOptions& options) { FPoolOptions = options; }
  int Workers() const { return FPool->Workers(); }
  const TSlideStore& Store() const { return *FStore; }
  const TSlideDiskStore& DiskStore() const { return *FDisk; }
  // Forgets every slide made.
  void ClearStore() { FStore->Clear(); }
  bool Literal() const { return Workers() == 0 && FStore->Capacity() == 0; }
  // Whether nothing runs or waits to run, giving memory back included.
  bool Idle() const { return FPool->Idle(); }
  // What the running jobs hold, and how many wait, under the one ceiling.
  std::uint64_t BytesRunning() const { return FPool->BytesRunning(); }
  std::size_t JobsWaiting() const { return FPool->JobsWaiting(); }

  // The grid's paint events, as the window forwards them: it begins with the
  // files in view in the order it asks for them; then each request's buffer
  // is filled with its file's picture (raising what loading or decoding
  // raised); then it ends. A paint that an exception ends before its last
  // request is over at the end of the event loop's turn. Fill gives false,
  // with the buffer emptied, for a slide left to a later paint (below).
  void GridPaintBegins(const std::vector<std::string>& files, TSlideLook look);
  bool Fill(const std::string& fileName, TBitmap& buffer);
  void GridPaintEnds();

  // From now on a paint waits for its slides this long in all, and a click
  // for the large view's picture as long, so that the window keeps
  // answering (a close, a scroll) while pictures of hundreds of megapixels
  // decode: a slide not made by then is left out of the paint and made on,
  // and onSlidesReady is called once such a slide is made, for a paint to
  // show it; a large picture not decoded by then is made on, and
  // onLargeReady is called with its file once it is, to take it. Until
  // this is called, and without workers, both wait as long as making takes.
  void SetWaitLimit(std::chrono::milliseconds limit, std::function<void()> onSlidesReady,
                    std::function<void(const std::string& fileName)> onLargeReady);

  // The view's last scroll: 1 down, -1 up.
  void Scrolled(int direction) { FDirection = direction; }
  // Makes ahead the screen after the slides in view and the screen before
  // them, the way the view last scrolled first, nearest slides first.
  // fileOfSlide names a slide's file, empty for none.
  void ReadAhead(const std::vector<int>& inView, const std::function<std::string(int)>& fileOfSlide,
                 TSlideLook look);

  // The slides of a paint, outside the literal path. StartSlides drops an
  // earlier paint's work and starts making the slides of these files, given
  // and started in the order the paint will ask for them; TakeSlide gives
  // the file's slide (kept, started, or made here; raises what loading or
  // decoding raised; a failed slide is never kept; null when left to a
  // later paint); DropUntakenSlides drops what the paint did not take,
  // without waiting for it.
  void StartSlides(const std::vector<std::string>& files, TSlideLook look);
  TSlideRef TakeSlide(const std::string& fileName);
  void DropUntakenSlides();

  // Makes these files' slides into the store, started only while no paint's
  // job waits, the first given first; cancels the jobs
  // earlier started ahead for files not among them (the slides they made
  // stay). Nothing with the store off.
  void StartAhead(const std::vector<std::string>& files, TSlideLook look);

  // The large view's picture, decoded ahead of a paint's slides, and the
  // picture fitted into a view of this size (device pixels), made from its
  // rows as they are decoded; no fitted picture when it fits already, or
  // for an empty size (a view showing the picture at its natural size).
  struct TLargePicture {
    std::unique_ptr<TGraphic> Graphic;
    std::shared_ptr<const TBitmap> Fitted;
  };
  // Taken over from the read-ahead when that has the file.
  void StartLarge(const std::string& fileName, TFitSize view);
  // Started here when it was not; none when the wait limit passed first.
  std::optional<TLargePicture> TakeLarge(const std::string& fileName, TFitSize view);
  // Decodes these pictures ahead for the large view (the next first), in
  // the size the last StartLarge fitted to, and drops what was read ahead
  // for other files. Empty names none; a picture larger than a quarter of the
  // ceiling is not read ahead (it would be held until taken).
  void ReadAheadLarge(const std::string& next, const std::string& previous);

  // Averaged pictures for the large view, as jobs of the pool.
  bool AveragesAside() const override { return Workers() > 0; }
  TRequestRef StartAveraging(const TBitmap& picture, TFitSize size, TDone done, bool soon = true,
                             TFitRect part = {}) override;
  void DropAveraging(const TRequestRef& request) override;
  void WaitForAveraging(const TRequestRef& request) override;

  // Drops all work not yet taken and the literal path's picture; the store
  // keeps its slides. Averagings go on: the view still waits for them.
  void DropAll();

 private:
  struct TMade;
  struct TPlanned {
    std::string File;
    std::optional<TSlideKey> Key;
    TSlideRef Kept;  // found in the store when planned
    // Written by the job alone; read once it has run.
    std::shared_ptr<TMade> Made;
    TDecodePool::TJobRef Job;
  };
  TPlanned Plan(const std::string& fileName, TSlideLook look);
  TDecodePool::TJobRef QueueSlide(const TPlanned& plan, TSlideLook look, std::uint64_t bytes,
                                  TDecodePool::TLane lane);
  void CancelAll(std::vector<TPlanned>& plans);
  // Whether the plan's job has run, waiting no longer than the paint may;
  // if not, the plan is left to a later paint.
  bool WaitForPaint(const TPlanned& plan);
  TPlanned QueueLarge(const std::string& fileName, TFitSize view, TDecodePool::TLane lane);
  std::vector<TPlanned>::iterator FindLargeAhead(const std::string& fileName);
  // Has JobsEnded called on this thread, for the pool to call when a job
  // has run.
  TDecodePool::TDone PostEnd();
  void JobsEnded();

  TLoader FLoader;
  TDecodePoolOptions FPoolOptions;
  // The stores outlive the pool, whose jobs put slides into them.
  std::unique_ptr<TSlideStore> FStore;
  std::unique_ptr<TSlideDiskStore> FDisk;  // used only with the store on
  std::unique_ptr<TDecodePool> FPool;
  TSlideLook FLook;
  std::vector<TPlanned> FPaint;  // in the paint's order
  std::vector<TPlanned> FAhead;
  TPlanned FLarge;
  TFitSize FLargeView;                // the size the last large picture was fitted to
  std::vector<TPlanned> FLargeAhead;  // the next picture first
  struct TAveraging;
  std::vector<std::shared_ptr<TAveraging>> FAveraging;
  std::optional<std::chrono::milliseconds> FWaitLimit;
  std::function<void()> FOnSlidesReady;
  std::function<void(const std::string&)> FOnLargeReady;
  std::optional<std::chrono::steady_clock::time_point> FDeadline;  // of the paint under way
  std::vector<TPlanned> FLater;                                    // left by earlier paints, being made on
  bool FSlidesLater = false;                                       // a paint left a slide not yet said to be made
  bool FLargeLater = false;                                        // a click left FLarge
  TPicture FLiteral;                                               // the literal path's picture of the last request
  int FDirection = 1;
  // Ends a paint at the end of the event loop's turn.
  QObject FTurn;
  // Jobs that end write to it, and the GUI thread hands on what they made:
  // a descriptor orders the two for the thread checker, where Qt's posted
  // calls are out of its sight.
  int FEndsFd = -1;
  std::unique_ptr<QSocketNotifier> FEnds;
};
