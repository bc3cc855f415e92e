#include "app/pictures/SlideSupply.h"

#include <QSocketNotifier>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <exception>
#include <thread>
#include <utility>

#include "lib/Tesk_Thumbnails.h"
#include "toolkit/DecodeStretched.h"
#include "toolkit/Forms.h"
#include "toolkit/JpegFrame.h"

namespace {

// The slide of the picture by the grid's rule, decoded for the screen's bits
// per pixel; null when Stop was set. A picture whose slide would have no
// width or height gives a stand-in of the same proportions, which the grid
// draws just as it would the picture: as nothing.
TSlideRef MakeSlide(TGraphic& picture, TSlideLook look, int screenBits, const std::atomic<bool>* Stop = nullptr) {
  const int width = picture.Width(), height = picture.Height();
  const TSlidePictureSize size = SlidePictureSize(width, height, look.Size);
  picture.ScreenBitsPerPixel = screenBits;
  // Ratio times the rectangle: the grid draws it there 1:1 on a finer
  // screen, and finds the same rectangle from it.
  std::shared_ptr<TBitmap> slide = DecodeStretched(picture, size.Width * look.Ratio, size.Height * look.Ratio,
                                                   look.AntiAlias ? HALFTONE : COLORONCOLOR, Stop);
  if (slide && slide->Empty() && width > 0 && height > 0) {
    // Its long side more than twice SlideSize: the short side rounds to 0.
    const int longSide = 2 * std::max(look.Size, 0) + 1;
    if (height > width) {
      slide->Reset(1, longSide);
    } else {
      slide->Reset(longSide, 1);
    }
  }
  return slide;
}

// What a picture of this size holds.
std::uint64_t PixelBytes(int width, int height) {
  return std::uint64_t(std::max(width, 0)) * std::uint64_t(std::max(height, 0)) * 4;
}

}  // namespace

// What a job made: a slide, the large view's picture (and its fitted
// picture), or the failure.
struct TSlideSupply::TMade {
  TSlideRef Slide;
  std::unique_ptr<TGraphic> Graphic;
  std::shared_ptr<const TBitmap> Fitted;
  std::exception_ptr Failure;
};

// An averaged picture asked for: made into Made->Fitted by its job.
struct TSlideSupply::TAveraging : TAverager::TRequest {
  std::shared_ptr<TMade> Made = std::make_shared<TMade>();
  TDecodePool::TJobRef Job;
  TDone Done;
};

TSlideSupply::TSlideSupply(int workers, std::uint64_t storeBytes, TLoader loader) : FLoader(std::move(loader)) {
  FEndsFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (FEndsFd >= 0) {
    FEnds = std::make_unique<QSocketNotifier>(FEndsFd, QSocketNotifier::Read);
    QObject::connect(FEnds.get(), &QSocketNotifier::activated, [this] {
      std::uint64_t ends = 0;
      while (read(FEndsFd, &ends, sizeof ends) == sizeof ends) {
      }
      JobsEnded();
    });
  }
  Configure(workers, storeBytes);
}

TSlideSupply::~TSlideSupply() {
  DropAll();
  // Its jobs write to FEndsFd, which goes first.
  FPool.reset();
  FEnds.reset();
  if (FEndsFd >= 0) close(FEndsFd);
}

void TSlideSupply::Configure(int workers, std::uint64_t storeBytes, std::uint64_t decodeBytes) {
  DropAll();
  // Averagings are handed on from the new pool's turn; they end on the old one.
  for (const std::shared_ptr<TAveraging>& a : FAveraging) FPool->Wait(a->Job);
  FPool.reset();
  FStore = std::make_unique<TSlideStore>(storeBytes);
  FDisk = std::make_unique<TSlideDiskStore>(DefaultSlideDiskFolder(), storeBytes > 0 ? DefaultSlideDiskBytes() : 0);
  FPool = std::make_unique<TDecodePool>(workers, decodeBytes, ReturnFreePixelMemory, FPoolOptions);
}

// The file's plan: its slide when the store has it, else a job to come.
TSlideSupply::TPlanned TSlideSupply::Plan(const std::string& fileName, TSlideLook look) {
  TPlanned plan{fileName, std::nullopt, nullptr, std::make_shared<TMade>(), nullptr};
  if (const std::optional<TFileIdentity> identity = FileIdentity(fileName)) plan.Key = TSlideKey{*identity, look};
  if (plan.Key && FStore->Capacity() > 0) plan.Kept = FStore->Find(*plan.Key);
  return plan;
}

TDecodePool::TJobRef TSlideSupply::QueueSlide(const TPlanned& plan, TSlideLook look, std::uint64_t bytes,
                                              TDecodePool::TLane lane) {
  TSlideStore* store = FStore->Capacity() > 0 && plan.Key ? FStore.get() : nullptr;
  TSlideDiskStore* disk = store && FDisk->Capacity() > 0 ? FDisk.get() : nullptr;
  return FPool->Queue(
      [made = plan.Made, path = ResolvedPath(plan.File), key = plan.Key, look, store, disk, load = FLoader,
       screenBits = Screen.BitsPerPixel, gui = std::this_thread::get_id()](const std::atomic<bool>& stop) {
        // The disk is left to the workers: a job the GUI thread runs itself does without it.
        TSlideDiskStore* onDisk = std::this_thread::get_id() == gui ? nullptr : disk;
        if (onDisk) made->Slide = onDisk->Find(DiskSlideKey(*key, path, screenBits));
        if (made->Slide) {
          store->Add(*key, made->Slide);
          return;
        }
        // Kept only under the identity of what was read, and only when sure of it.
        TReadWitness witness;
        try {
          made->Slide = MakeSlide(*load(path), look, screenBits, &stop);
        } catch (...) {
          made->Failure = std::current_exception();
        }
        const std::optional<TFileIdentity> read = witness.SteadyIdentity();
        if (!store || !made->Slide || stop || !read) return;
        store->Add({*read, look}, made->Slide);
        if (onDisk) onDisk->Add(DiskSlideKey({*read, look}, witness.PathRead(), screenBits), *made->Slide);
      },
      // The file's bytes are held too, read whole before the decode. The
      // slide's entry is read before the decode and written after it, so the
      // job holds the larger of the two at most.
      std::max(bytes + std::uint64_t(plan.Key ? plan.Key->File.Size : 0), disk ? DiskSlideWorkBytes(look) : 0),
      lane, false, PostEnd());
}

TDecodePool::TDone TSlideSupply::PostEnd() {
  if (FEndsFd >= 0) {
    return [fd = FEndsFd] {
      const std::uint64_t one = 1;
      // Full only after 2^64 - 1 ends not yet read.
      [[maybe_unused]] const ssize_t written = write(fd, &one, sizeof one);
    };
  }
  // No descriptor left for it: a posted call does the same.
  return [this] {
    QMetaObject::invokeMethod(
        &FTurn, [this] { JobsEnded(); }, Qt::QueuedConnection);
  };
}

void TSlideSupply::StartSlides(const std::vector<std::string>& files, TSlideLook look) {
  DropUntakenSlides();
  FLook = look;
  std::vector<std::size_t> toStart;
  std::vector<std::size_t> madeAs(files.size());  // the plan whose job makes this one's slide
  for (std::size_t i = 0; i < files.size(); ++i) {
    TPlanned plan = Plan(files[i], look);
    madeAs[i] = i;
    // A file shown twice (two links to it), or being made ahead, is made
    // once. (What was made ahead is in the store by now: only a job that is
    // under way or failed is found here.) What a job makes is never looked
    // at before it has run: an earlier plan without a kept slide has a job.
    const auto sameKey = [&](const TPlanned& p) { return plan.Key && p.Key == plan.Key; };
    const auto painted =
        std::find_if(FPaint.begin(), FPaint.end(), [&](const TPlanned& p) { return sameKey(p) && !p.Kept; });
    const auto ahead = std::find_if(FAhead.begin(), FAhead.end(), sameKey);
    const auto later = std::find_if(FLater.begin(), FLater.end(),
                                    [&](const TPlanned& p) { return p.File == plan.File && p.Key == plan.Key; });
    if (plan.Kept) {
      // Kept from before.
    } else if (painted != FPaint.end()) {
      madeAs[i] = std::size_t(painted - FPaint.begin());
      plan.Made = painted->Made;
    } else if (later != FLater.end()) {
      plan.Made = later->Made;
      plan.Job = later->Job;
      FLater.erase(later);
    } else if (ahead != FAhead.end()) {
      plan.Made = ahead->Made;
      plan.Job = ahead->Job;
      FAhead.erase(ahead);
    } else {
      toStart.push_back(i);
    }
    FPaint.push_back(std::move(plan));
  }
  // What was being made ahead for other views, or for a view left before
  // its paint showed it, is dropped; the read-ahead after this paint starts
  // what the new view needs.
  CancelAll(FAhead);
  // A job left twice (two links to one file) is taken over once.
  std::erase_if(FLater, [&](const TPlanned& p) {
    return std::any_of(FPaint.begin(), FPaint.end(), [&](const TPlanned& q) { return q.Job == p.Job; });
  });
  CancelAll(FLater);
  for (const std::size_t i : toStart) {
    // Without workers nothing runs beside another job: no need to know what
    // it holds.
    const std::uint64_t bytes = Workers() > 0 ? EstimateDecode(files[i]).RowBytes : 0;
    FPaint[i].Job = QueueSlide(FPaint[i], look, bytes, TDecodePool::TLane::Now);
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (madeAs[i] != i) FPaint[i].Job = FPaint[madeAs[i]].Job;
  }
}

TSlideRef TSlideSupply::TakeSlide(const std::string& fileName) {
  const auto found =
      std::find_if(FPaint.begin(), FPaint.end(), [&](const TPlanned& p) { return p.File == fileName; });
  TPlanned plan;
  if (found == FPaint.end()) {
    plan = Plan(fileName, FLook);
    if (!plan.Kept) plan.Job = QueueSlide(plan, FLook, 0, TDecodePool::TLane::Now);
  } else {
    plan = *found;
    // Files passed over are dropped, unless a later request shares their job.
    std::vector<TPlanned> passed(FPaint.begin(), found);
    FPaint.erase(FPaint.begin(), found + 1);
    std::erase_if(passed, [&](const TPlanned& p) {
      return !p.Job ||
             std::any_of(FPaint.begin(), FPaint.end(), [&](const TPlanned& q) { return q.Job == p.Job; }) ||
             p.Job == plan.Job;
    });
    CancelAll(passed);
  }
  if (plan.Kept) return plan.Kept;
  if (plan.Job && !WaitForPaint(plan)) return nullptr;
  if (plan.Made->Failure) std::rethrow_exception(plan.Made->Failure);
  // A job stopped before it made the slide leaves it to be made here.
  return plan.Made->Slide ? plan.Made->Slide
                          : MakeSlide(*FLoader(ResolvedPath(fileName)), FLook, Screen.BitsPerPixel);
}

bool TSlideSupply::WaitForPaint(const TPlanned& plan) {
  if (!FDeadline) {
    FPool->Wait(plan.Job);
    return true;
  }
  if (FPool->WaitUntil(plan.Job, *FDeadline)) return true;
  FLater.push_back(plan);
  FSlidesLater = true;
  // Made already: no job's end is still to come for it.
  if (FPool->Finished(plan.Job)) PostEnd()();
  return false;
}

// Once a slide left to a later paint is made, that paint is due; once the
// large picture a click left is made, it is taken; an averaged picture made
// goes to whoever asked for it.
void TSlideSupply::JobsEnded() {
  const bool slidesReady = FSlidesLater && std::any_of(FLater.begin(), FLater.end(),
                                                       [&](const TPlanned& p) { return FPool->Finished(p.Job); });
  const bool largeReady = FLargeLater && FPool->Finished(FLarge.Job);
  FSlidesLater = FSlidesLater && !slidesReady;
  FLargeLater = FLargeLater && !largeReady;
  std::vector<std::shared_ptr<TAveraging>> averaged;
  std::erase_if(FAveraging, [&](const std::shared_ptr<TAveraging>& a) {
    if (!FPool->Finished(a->Job)) return false;
    averaged.push_back(a);
    return true;
  });
  // What they call may leave work to later again.
  const std::string largeFile = FLarge.File;
  for (const std::shared_ptr<TAveraging>& a : averaged) std::exchange(a->Done, nullptr)(a->Made->Fitted);
  if (slidesReady && FOnSlidesReady) FOnSlidesReady();
  if (largeReady && FOnLargeReady) FOnLargeReady(largeFile);
}

void TSlideSupply::SetWaitLimit(std::chrono::milliseconds limit, std::function<void()> onSlidesReady,
                                std::function<void(const std::string& fileName)> onLargeReady) {
  FWaitLimit = limit;
  FOnSlidesReady = std::move(onSlidesReady);
  FOnLargeReady = std::move(onLargeReady);
}

void TSlideSupply::CancelAll(std::vector<TPlanned>& plans) {
  for (const TPlanned& p : plans) {
    if (p.Job) FPool->Cancel(p.Job);
  }
  plans.clear();
}

void TSlideSupply::DropUntakenSlides() { CancelAll(FPaint); }

void TSlideSupply::StartAhead(const std::vector<std::string>& files, TSlideLook look) {
  if (FStore->Capacity() == 0 || Workers() == 0) return;
  std::vector<TPlanned> kept;
  for (const std::string& file : files) {
    TPlanned plan = Plan(file, look);
    if (plan.Kept || !plan.Key) continue;
    const auto same =
        std::find_if(FAhead.begin(), FAhead.end(), [&](const TPlanned& p) { return p.Key == plan.Key; });
    if (same != FAhead.end()) {
      kept.push_back(*same);
      FAhead.erase(same);
    } else if (std::none_of(kept.begin(), kept.end(), [&](const TPlanned& p) { return p.Key == plan.Key; })) {
      plan.Job = QueueSlide(plan, look, EstimateDecode(file).RowBytes, TDecodePool::TLane::Ahead);
      kept.push_back(std::move(plan));
    }
  }
  CancelAll(FAhead);
  FAhead = std::move(kept);
}

TSlideSupply::TPlanned TSlideSupply::QueueLarge(const std::string& fileName, TFitSize view,
                                                TDecodePool::TLane lane) {
  TPlanned large{fileName, std::nullopt, nullptr, std::make_shared<TMade>(), nullptr};
  const std::optional<TFileIdentity> identity = FileIdentity(fileName);
  if (identity) large.Key = TSlideKey{*identity, {}};
  large.Job = FPool->Queue(
      [made = large.Made, path = ResolvedPath(fileName), load = FLoader, view,
       screenBits = Screen.BitsPerPixel](const std::atomic<bool>& stop) {
        try {
          std::unique_ptr<TGraphic> graphic = load(path);
          graphic->ScreenBitsPerPixel = screenBits;
          made->Fitted = DecodeFitting(*graphic, view, &stop);
          made->Graphic = std::move(graphic);
        } catch (...) {
          made->Failure = std::current_exception();
        }
      },
      // Ahead of the paint that the click's new selection brings; the file's
      // bytes and the fitted picture besides.
      EstimateDecode(fileName).Bytes + std::uint64_t(identity.value_or(TFileIdentity{}).Size) +
          PixelBytes(view.Width, view.Height),
      lane, true, PostEnd());
  return large;
}

// The picture read ahead for this file, if the file is still what was read.
std::vector<TSlideSupply::TPlanned>::iterator TSlideSupply::FindLargeAhead(const std::string& fileName) {
  const std::optional<TFileIdentity> identity = FileIdentity(fileName);
  return std::find_if(FLargeAhead.begin(), FLargeAhead.end(), [&](const TPlanned& p) {
    return p.File == fileName && identity && p.Key && p.Key->File == *identity;
  });
}

void TSlideSupply::StartLarge(const std::string& fileName, TFitSize view) {
  FLargeView = view;
  if (FLarge.Job) FPool->Cancel(FLarge.Job);
  FLarge = {};
  FLargeLater = false;
  if (Workers() == 0) return;
  // Read ahead, unless the file changed since.
  const auto ahead = FindLargeAhead(fileName);
  if (ahead != FLargeAhead.end()) {
    FLarge = *ahead;
    FLargeAhead.erase(ahead);
    return;
  }
  FLarge = QueueLarge(fileName, view, TDecodePool::TLane::Now);
}

std::optional<TSlideSupply::TLargePicture> TSlideSupply::TakeLarge(const std::string& fileName, TFitSize view) {
  if (!FLarge.Job || FLarge.File != fileName) StartLarge(fileName, view);
  if (!FLarge.Job) return TLargePicture{FLoader(ResolvedPath(fileName)), nullptr};  // no workers
  if (!FWaitLimit) {
    FPool->Wait(FLarge.Job);
  } else if (!FPool->WaitUntil(FLarge.Job, std::chrono::steady_clock::now() + *FWaitLimit)) {
    FLargeLater = true;
    // Made already: no job's end is still to come for it.
    if (FPool->Finished(FLarge.Job)) PostEnd()();
    return std::nullopt;
  }
  const TPlanned large = std::exchange(FLarge, {});
  FLargeLater = false;
  if (large.Made->Failure) std::rethrow_exception(large.Made->Failure);
  return TLargePicture{std::move(large.Made->Graphic), large.Made->Fitted};
}

void TSlideSupply::ReadAheadLarge(const std::string& next, const std::string& previous) {
  std::vector<TPlanned> kept;
  if (Workers() > 0) {
    // The previous one queued first: the next goes ahead of it.
    for (const std::string* file : {&previous, &next}) {
      if (file->empty() || (FLarge.Job && FLarge.File == *file)) continue;
      const auto same = FindLargeAhead(*file);
      if (same != FLargeAhead.end()) {
        kept.push_back(*same);
        FLargeAhead.erase(same);
      } else if (EstimateDecode(*file).Bytes <= FPool->ByteCeiling() / 4) {
        kept.push_back(QueueLarge(*file, FLargeView, TDecodePool::TLane::Ahead));
      }
    }
  }
  CancelAll(FLargeAhead);
  FLargeAhead = std::move(kept);
}

TAverager::TRequestRef TSlideSupply::StartAveraging(const TBitmap& picture, TFitSize size, TDone done, bool soon,
                                                    TFitRect part) {
  auto request = std::make_shared<TAveraging>();
  auto pixels = std::make_shared<TBitmap>();
  pixels->Assign(&picture);  // shared, not copied
  const auto average = [made = request->Made, pixels, size, part](const std::atomic<bool>& stop) {
    try {
      made->Fitted = FitPicture(*pixels, size, &stop, part);
    } catch (...) {
      // No memory for it: none is made.
    }
  };
  if (Workers() == 0) {
    average(std::atomic<bool>{false});
    done(request->Made->Fitted);
    return request;
  }
  request->Done = std::move(done);
  request->Job =
      FPool->Queue(average,
                   part.Empty() ? PixelBytes(size.Width, size.Height) : PixelBytes(part.Width, part.Height),
                   soon ? TDecodePool::TLane::Now : TDecodePool::TLane::Ahead, !soon, PostEnd());
  FAveraging.push_back(request);
  return request;
}

void TSlideSupply::DropAveraging(const TRequestRef& request) {
  const auto found = std::find(FAveraging.begin(), FAveraging.end(), request);
  if (found == FAveraging.end()) return;
  FPool->Cancel((*found)->Job);
  (*found)->Done = nullptr;
  FAveraging.erase(found);
}

void TSlideSupply::WaitForAveraging(const TRequestRef& request) {
  const auto found = std::find(FAveraging.begin(), FAveraging.end(), request);
  if (found == FAveraging.end()) return;
  const std::shared_ptr<TAveraging> averaging = *found;
  FAveraging.erase(found);
  FPool->Wait(averaging->Job);
  std::exchange(averaging->Done, nullptr)(averaging->Made->Fitted);
}

void TSlideSupply::DropAll() {
  FLiteral.SetGraphic(nullptr);
  if (!FPool) return;
  DropUntakenSlides();
  CancelAll(FAhead);
  CancelAll(FLater);
  CancelAll(FLargeAhead);
  FSlidesLater = FLargeLater = false;
  if (FLarge.Job) FPool->Cancel(FLarge.Job);
  FLarge = {};
}

void TSlideSupply::GridPaintBegins(const std::vector<std::string>& files, TSlideLook look) {
  // No paint spans a turn of the event loop: one that an exception ended
  // before its last request is over there.
  QMetaObject::invokeMethod(
      &FTurn, [this] { GridPaintEnds(); }, Qt::QueuedConnection);
  if (Literal()) return;
  if (FWaitLimit && Workers() > 0) FDeadline = std::chrono::steady_clock::now() + *FWaitLimit;
  StartSlides(files, look);
}

bool TSlideSupply::Fill(const std::string& fileName, TBitmap& buffer) {
  if (!Literal()) {
    // The slide made for the grid's picture rectangle, which it draws 1:1.
    const TSlideRef slide = TakeSlide(fileName);
    if (!slide) {
      buffer.Reset(0, 0);
      return false;
    }
    buffer.Assign(slide.get());
    return true;
  }
  // The buffer and the picture still hold the previous request's pixels:
  // let go of them first, so that no more than one picture lives.
  buffer.Reset(0, 0);
  FLiteral.SetGraphic(nullptr);
  FLiteral.LoadFromFile(fileName);
  // Shares the decoded pixels with the picture; nothing is copied.
  buffer.Assign(FLiteral.Graphic());
  return true;
}

// Nothing decoded outlives a paint but the slides kept and the large view's
// picture.
void TSlideSupply::GridPaintEnds() {
  FDeadline.reset();
  DropUntakenSlides();
  FLiteral.SetGraphic(nullptr);
}

void TSlideSupply::ReadAhead(const std::vector<int>& inView, const std::function<std::string(int)>& fileOfSlide,
                             TSlideLook look) {
  if (inView.empty()) return;
  const auto [first, last] = std::minmax_element(inView.begin(), inView.end());
  const int screen = int(inView.size());
  std::vector<std::string> after, before;
  for (int k = 1; k <= screen; ++k) {
    if (std::string file = fileOfSlide(*last + k); !file.empty()) after.push_back(std::move(file));
    if (std::string file = fileOfSlide(*first - k); !file.empty()) before.push_back(std::move(file));
  }
  if (FDirection < 0) std::swap(after, before);
  after.insert(after.end(), before.begin(), before.end());
  StartAhead(after, look);
}
