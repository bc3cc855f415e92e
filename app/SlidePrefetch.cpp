#include "app/SlidePrefetch.h"

#include <algorithm>

#include "app/DecodeOrder.h"

TSlidePrefetch::TSlidePrefetch(int workers) : FPool(std::make_unique<TDecodePool>(workers)) {}

TSlidePrefetch::~TSlidePrefetch() { DropAll(); }

void TSlidePrefetch::SetWorkers(int workers) {
  DropAll();
  FPool = std::make_unique<TDecodePool>(workers);
}

void TSlidePrefetch::StartPaint(const std::vector<std::string>& files) {
  EndPaint();
  if (Workers() == 0) return;
  std::vector<double> costs;
  costs.reserve(files.size());
  for (const std::string& file : files) costs.push_back(EstimateDecodeCost(file));
  const std::vector<std::size_t> order = DecodeStartOrder(costs, Workers());
  std::vector<std::string> startOrder;
  startOrder.reserve(files.size());
  for (const std::size_t i : order) startOrder.push_back(files[i]);
  const std::vector<TDecodePool::TJobRef> jobs = FPool->Queue(startOrder, true);
  FPlan.resize(files.size());
  for (std::size_t k = 0; k < order.size(); ++k) FPlan[order[k]] = {startOrder[k], jobs[k]};
}

std::unique_ptr<TGraphic> TSlidePrefetch::TakeSlide(const std::string& fileName) {
  const auto found =
      std::find_if(FPlan.begin(), FPlan.end(), [&](const TPlanned& p) { return p.first == fileName; });
  if (found == FPlan.end()) return TPicture::LoadGraphic(fileName);
  const TDecodePool::TJobRef job = found->second;
  std::for_each(FPlan.begin(), found, [&](const TPlanned& p) { FPool->Cancel(p.second); });
  FPlan.erase(FPlan.begin(), found + 1);
  return FPool->Take(job);
}

void TSlidePrefetch::EndPaint() {
  for (const TPlanned& p : FPlan) FPool->Cancel(p.second);
  FPlan.clear();
}

void TSlidePrefetch::StartLarge(const std::string& fileName) {
  if (FLarge.second) FPool->Cancel(FLarge.second);
  FLarge = {};
  if (Workers() > 0) FLarge = {fileName, FPool->Queue({fileName}, false).front()};
}

std::unique_ptr<TGraphic> TSlidePrefetch::TakeLarge(const std::string& fileName) {
  const TPlanned large = std::exchange(FLarge, {});
  if (large.second && large.first == fileName) return FPool->Take(large.second);
  if (large.second) FPool->Cancel(large.second);
  return TPicture::LoadGraphic(fileName);
}

void TSlidePrefetch::DropAll() {
  EndPaint();
  if (FLarge.second) FPool->Cancel(FLarge.second);
  FLarge = {};
}
