#pragma once
// The window's pictures. A slide is made once: a worker decodes the file and
// scales its rows as they come to the rectangle the grid will draw it in,
// never holding the full picture; the slide is kept in a store and drawn 1:1
// by the grid. At the start of a paint the slides it will ask for are
// started, at the end the screens before and after the view are made ahead
// while the program is idle, and at a release over a slide its full picture
// is decoded for the large view. Each request takes its own file's result,
// so what the window shows and reports is what making the slide at the
// request would give.
#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/SlideDiskStore.h"
#include "app/SlideStore.h"
#include "toolkit/DecodePool.h"
#include "toolkit/Pictures.h"

// The picture scaled to the slide the grid draws it in, by the grid's rule
// and its stretch mode, a band of rows at a time as it decodes (the whole
// picture is never held); null when Stop was set. A picture whose slide
// would have no width or height gives a stand-in of the same proportions,
// which the grid draws just as it would the picture: as nothing.
TSlideRef MakeSlide(TGraphic& picture, TSlideLook look, const std::atomic<bool>* Stop = nullptr);

// The indexes of the costs (given in the paint's order) in the order to start
// them on this many workers: by the latest moment each can start and still be
// done when the paint would reach it, were the files before it decoded side
// by side. Files of like cost keep the paint's order.
std::vector<std::size_t> DecodeStartOrder(const std::vector<double>& costs, int workers);

class TSlideSupply {
 public:
  using TLoader = std::function<std::unique_ptr<TGraphic>(const std::string& fileName)>;

  explicit TSlideSupply(int workers = DefaultDecodeWorkers(), std::uint64_t storeBytes = DefaultSlideStoreBytes(),
                        TLoader loader = TPicture::LoadGraphic);
  ~TSlideSupply();
  TSlideSupply(const TSlideSupply&) = delete;
  TSlideSupply& operator=(const TSlideSupply&) = delete;

  // Replaces the workers and the store, dropping all work and every slide.
  void Configure(int workers, std::uint64_t storeBytes, std::uint64_t decodeBytes = DefaultDecodeBytes);
  int Workers() const { return FPool->Workers(); }
  const TSlideStore& Store() const { return *FStore; }
  const TSlideDiskStore& DiskStore() const { return *FDisk; }
  // Forgets every slide made.
  void ClearStore() { FStore->Clear(); }
  // With no workers and no store every request loads its file afresh into
  // a full-size picture: the reference all other settings must equal.
  bool Literal() const { return Workers() == 0 && FStore->Capacity() == 0; }
  // Whether nothing runs or waits to run.
  bool Idle() const { return FPool->Idle(); }

  // Drops an earlier paint's work and starts making the slides of these
  // files, given in the order the paint will ask for them.
  void StartPaint(const std::vector<std::string>& files, TSlideLook look);
  // The file's slide: kept, started, or made here. Raises what loading or
  // decoding raised; a slide that failed is never kept.
  TSlideRef TakeSlide(const std::string& fileName);
  // Drops what the paint did not take, without waiting for it.
  void EndPaint();

  // Makes these files' slides into the store while nothing else runs, the
  // first given first; drops the slides earlier made ahead that are not
  // among them. Nothing with the store off.
  void StartAhead(const std::vector<std::string>& files, TSlideLook look);

  // The large view's picture, decoded ahead of a paint's slides.
  void StartLarge(const std::string& fileName);
  std::unique_ptr<TGraphic> TakeLarge(const std::string& fileName);

  // Drops all work not yet taken; the store keeps its slides.
  void DropAll();

 private:
  struct TMade;
  struct TPlanned {
    std::string File;
    std::optional<TSlideKey> Key;
    std::shared_ptr<TMade> Made;
    TDecodePool::TJobRef Job;
  };
  TPlanned Plan(const std::string& fileName, TSlideLook look);
  TDecodePool::TJobRef QueueSlide(const TPlanned& plan, TSlideLook look, std::uint64_t bytes,
                                  TDecodePool::TLane lane);
  void CancelAll(std::vector<TPlanned>& plans);

  TLoader FLoader;
  // The stores outlive the pool, whose jobs put slides into them.
  std::unique_ptr<TSlideStore> FStore;
  std::unique_ptr<TSlideDiskStore> FDisk;  // used only with the store on
  std::unique_ptr<TDecodePool> FPool;
  TSlideLook FLook;
  std::vector<TPlanned> FPaint;  // in the paint's order
  std::vector<TPlanned> FAhead;
  TPlanned FLarge;
};
