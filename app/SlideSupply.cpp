#include "app/SlideSupply.h"

#include <algorithm>
#include <exception>
#include <numeric>
#include <thread>
#include <utility>

#include "lib/Tesk_Thumbnails.h"
#include "toolkit/JpegFrame.h"

TSlideRef MakeSlide(TGraphic& picture, TSlideLook look, const std::atomic<bool>* Stop) {
  const int width = picture.Width(), height = picture.Height();
  const TSlidePictureSize size = SlidePictureSize(width, height, look.Size);
  const bool shown = size.Width > 0 && size.Height > 0;
  auto slide = std::make_shared<TBitmap>();
  if (shown) slide->Reset(size.Width, size.Height);
  // Decoded even when not shown: a failure raises as drawing it would.
  TRowStretcher stretcher(*slide, width, height, look.AntiAlias ? HALFTONE : COLORONCOLOR);
  if (!picture.DecodeRows([&](const std::uint32_t* rows, int count) { stretcher.AddRows(rows, count); }, Stop)) {
    return nullptr;
  }
  if (Stop && Stop->load()) return nullptr;
  if (!shown && width > 0 && height > 0) {
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

std::vector<std::size_t> DecodeStartOrder(const std::vector<double>& costs, int workers) {
  const double sharing = std::max(workers, 1);
  std::vector<double> latestStart(costs.size());
  double before = 0;  // the costs of the files asked for earlier
  for (std::size_t i = 0; i < costs.size(); ++i) {
    latestStart[i] = before / sharing - costs[i];
    before += costs[i];
  }
  std::vector<std::size_t> order(costs.size());
  std::iota(order.begin(), order.end(), std::size_t(0));
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return latestStart[a] < latestStart[b]; });
  return order;
}

// What a job made: a slide, the large view's picture, or the failure.
struct TSlideSupply::TMade {
  TSlideRef Slide;
  std::unique_ptr<TGraphic> Graphic;
  std::exception_ptr Failure;
};

TSlideSupply::TSlideSupply(int workers, std::uint64_t storeBytes, TLoader loader) : FLoader(std::move(loader)) {
  Configure(workers, storeBytes);
}

TSlideSupply::~TSlideSupply() { DropAll(); }

void TSlideSupply::Configure(int workers, std::uint64_t storeBytes, std::uint64_t decodeBytes) {
  DropAll();
  FPool.reset();
  FStore = std::make_unique<TSlideStore>(storeBytes);
  FDisk = std::make_unique<TSlideDiskStore>(DefaultSlideDiskFolder(), storeBytes > 0 ? DefaultSlideDiskBytes() : 0);
  FPool = std::make_unique<TDecodePool>(workers, decodeBytes, ReturnFreePixelMemory);
}

// The file's plan: its slide when the store has it, else a job to come.
TSlideSupply::TPlanned TSlideSupply::Plan(const std::string& fileName, TSlideLook look) {
  TPlanned plan{fileName, std::nullopt, std::make_shared<TMade>(), nullptr};
  if (const std::optional<TFileIdentity> identity = FileIdentity(fileName)) plan.Key = TSlideKey{*identity, look};
  if (plan.Key && FStore->Capacity() > 0) plan.Made->Slide = FStore->Find(*plan.Key);
  return plan;
}

TDecodePool::TJobRef TSlideSupply::QueueSlide(const TPlanned& plan, TSlideLook look, std::uint64_t bytes,
                                              TDecodePool::TLane lane) {
  TSlideStore* store = FStore->Capacity() > 0 && plan.Key ? FStore.get() : nullptr;
  TSlideDiskStore* disk = store && FDisk->Capacity() > 0 ? FDisk.get() : nullptr;
  return FPool->Queue(
      [made = plan.Made, file = plan.File, key = plan.Key, look, store, disk, gui = std::this_thread::get_id(),
       load = FLoader](const std::atomic<bool>& stop) {
        // The disk is left to the workers: a job the GUI thread runs itself does without it.
        TSlideDiskStore* onDisk = std::this_thread::get_id() == gui ? nullptr : disk;
        if (onDisk) made->Slide = onDisk->Find(DiskSlideKey(*key, ResolvedPath(file)));
        if (made->Slide) {
          store->Add(*key, made->Slide);
          return;
        }
        // Kept only under the identity of what was read, and only when sure of it.
        TReadWitness witness;
        try {
          made->Slide = MakeSlide(*load(file), look, &stop);
        } catch (...) {
          made->Failure = std::current_exception();
        }
        const std::optional<TFileIdentity> read = witness.SteadyIdentity();
        if (!store || !made->Slide || stop || !read) return;
        store->Add({*read, look}, made->Slide);
        if (onDisk) onDisk->Add(DiskSlideKey({*read, look}, witness.PathRead()), *made->Slide);
      },
      // The file's bytes are held too, read whole before the decode.
      bytes + std::uint64_t(plan.Key ? plan.Key->File.Size : 0), lane);
}

void TSlideSupply::StartPaint(const std::vector<std::string>& files, TSlideLook look) {
  EndPaint();
  FLook = look;
  std::vector<std::size_t> toStart;
  std::vector<std::size_t> madeAs(files.size());  // the plan whose job makes this one's slide
  for (std::size_t i = 0; i < files.size(); ++i) {
    TPlanned plan = Plan(files[i], look);
    madeAs[i] = i;
    // A file shown twice (two links to it), or being made ahead, is made
    // once. (What was made ahead is in the store by now: only a job that is
    // under way or failed is found here.)
    const auto sameKey = [&](const TPlanned& p) { return plan.Key && p.Key == plan.Key; };
    const auto painted =
        std::find_if(FPaint.begin(), FPaint.end(), [&](const TPlanned& p) { return sameKey(p) && !p.Made->Slide; });
    const auto ahead = std::find_if(FAhead.begin(), FAhead.end(), sameKey);
    if (plan.Made->Slide) {
      // Kept from before.
    } else if (painted != FPaint.end()) {
      madeAs[i] = std::size_t(painted - FPaint.begin());
      plan.Made = painted->Made;
    } else if (ahead != FAhead.end()) {
      plan.Made = ahead->Made;
      plan.Job = ahead->Job;
      FAhead.erase(ahead);
    } else {
      toStart.push_back(i);
    }
    FPaint.push_back(std::move(plan));
  }
  // What was being made ahead for other views is dropped; the read-ahead
  // after this paint starts what the new view needs.
  CancelAll(FAhead);
  // Without workers nothing runs ahead: no need to know what it would cost.
  std::vector<TDecodeEstimate> estimates(toStart.size());
  if (Workers() > 0) {
    for (std::size_t k = 0; k < toStart.size(); ++k) estimates[k] = EstimateDecode(files[toStart[k]]);
  }
  std::vector<double> costs;
  costs.reserve(estimates.size());
  for (const TDecodeEstimate& e : estimates) costs.push_back(e.Cost);
  for (const std::size_t k : DecodeStartOrder(costs, Workers())) {
    TPlanned& plan = FPaint[toStart[k]];
    plan.Job = QueueSlide(plan, look, estimates[k].RowBytes, TDecodePool::TLane::Now);
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
    if (!plan.Made->Slide) plan.Job = QueueSlide(plan, FLook, 0, TDecodePool::TLane::Now);
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
  if (plan.Job) FPool->Wait(plan.Job);
  if (plan.Made->Failure) std::rethrow_exception(plan.Made->Failure);
  // A job stopped before it made the slide leaves it to be made here.
  return plan.Made->Slide ? plan.Made->Slide : MakeSlide(*FLoader(fileName), FLook);
}

void TSlideSupply::CancelAll(std::vector<TPlanned>& plans) {
  for (const TPlanned& p : plans) {
    if (p.Job) FPool->Cancel(p.Job);
  }
  plans.clear();
}

void TSlideSupply::EndPaint() { CancelAll(FPaint); }

void TSlideSupply::StartAhead(const std::vector<std::string>& files, TSlideLook look) {
  if (FStore->Capacity() == 0 || Workers() == 0) return;
  std::vector<TPlanned> kept;
  for (const std::string& file : files) {
    TPlanned plan = Plan(file, look);
    if (plan.Made->Slide || !plan.Key) continue;
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

void TSlideSupply::StartLarge(const std::string& fileName) {
  if (FLarge.Job) FPool->Cancel(FLarge.Job);
  FLarge = {};
  if (Workers() == 0) return;
  FLarge = {fileName, std::nullopt, std::make_shared<TMade>(), nullptr};
  FLarge.Job = FPool->Queue(
      [made = FLarge.Made, file = fileName, load = FLoader](const std::atomic<bool>& stop) {
        try {
          std::unique_ptr<TGraphic> graphic = load(file);
          graphic->DecodeAhead(&stop);
          made->Graphic = std::move(graphic);
        } catch (...) {
          made->Failure = std::current_exception();
        }
      },
      // Ahead of the paint that the click's new selection brings; the file's bytes besides.
      EstimateDecode(fileName).Bytes + std::uint64_t(FileIdentity(fileName).value_or(TFileIdentity{}).Size),
      TDecodePool::TLane::Now, true);
}

std::unique_ptr<TGraphic> TSlideSupply::TakeLarge(const std::string& fileName) {
  const TPlanned large = std::exchange(FLarge, {});
  if (large.Job && large.File == fileName) {
    FPool->Wait(large.Job);
    if (large.Made->Failure) std::rethrow_exception(large.Made->Failure);
    return std::move(large.Made->Graphic);
  }
  if (large.Job) FPool->Cancel(large.Job);
  return FLoader(fileName);
}

void TSlideSupply::DropAll() {
  if (!FPool) return;
  EndPaint();
  CancelAll(FAhead);
  if (FLarge.Job) FPool->Cancel(FLarge.Job);
  FLarge = {};
}
