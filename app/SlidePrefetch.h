#pragma once
// The window's pictures decoded ahead: at the start of a paint the files of
// the slides it will request, in request order; at a release over a slide the
// file the click will load into the large view. Each request takes its own
// file's result, so what the window shows and reports is what loading the
// file at the request would give; only the time differs.
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "toolkit/DecodePool.h"

class TSlidePrefetch {
 public:
  explicit TSlidePrefetch(int workers = DefaultDecodeWorkers());
  ~TSlidePrefetch();
  TSlidePrefetch(const TSlidePrefetch&) = delete;
  TSlidePrefetch& operator=(const TSlidePrefetch&) = delete;

  // Replaces the pool, dropping all work; 0 loads every file when it is taken.
  void SetWorkers(int workers);
  int Workers() const { return FPool->Workers(); }
  // Whether no worker is loading or decoding.
  bool Idle() const { return FPool->Idle(); }

  // Drops an earlier paint's files and starts on these, given in the order
  // the paint will take them; they start in the order DecodeStartOrder sets.
  void StartPaint(const std::vector<std::string>& files);
  // The file's graphic: the next planned one if it is this file (planned
  // files passed over are dropped), otherwise loaded here. Raises what
  // loading raised; decoding failures come with the graphic's first use.
  std::unique_ptr<TGraphic> TakeSlide(const std::string& fileName);
  // Drops what the paint did not take, without waiting for it.
  void EndPaint();

  // The same for the large view: one file at a time, ahead of a paint's.
  void StartLarge(const std::string& fileName);
  std::unique_ptr<TGraphic> TakeLarge(const std::string& fileName);

  // Drops everything not yet taken.
  void DropAll();

 private:
  using TPlanned = std::pair<std::string, TDecodePool::TJobRef>;
  std::unique_ptr<TDecodePool> FPool;
  std::deque<TPlanned> FPlan;
  TPlanned FLarge;
};
