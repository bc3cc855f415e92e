#include "DecodePool.h"

#include <pthread.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace {

constexpr int kMaxWorkers = 8;

}  // namespace

int DefaultDecodeWorkers() {
  if (const char* forced = std::getenv("GLIMMET_DECODE_WORKERS"); forced && *forced) {
    return std::clamp(std::atoi(forced), 0, kMaxWorkers);
  }
  return std::clamp(int(std::thread::hardware_concurrency()), 1, kMaxWorkers);
}

struct TDecodePool::TJob {
  enum TState { Queued, Running, Done, Gone };
  std::string FileName;
  bool Counted = false;
  bool Held = false;  // started as a counted job and not yet taken or cancelled
  TState State = Queued;
  std::atomic<bool> Cancel{false};
  std::unique_ptr<TGraphic> Graphic;
  std::exception_ptr Failure;

  // What the one-thread path does at a request, ending before the first use.
  void Execute() {
    try {
      std::unique_ptr<TGraphic> graphic = TPicture::LoadGraphic(FileName);
      graphic->DecodeAhead(&Cancel);
      Graphic = std::move(graphic);
    } catch (...) {
      Failure = std::current_exception();
    }
  }
};

TDecodePool::TDecodePool(int workers) : FCores(std::max(int(std::thread::hardware_concurrency()), 1)) {
  for (int i = 0; i < workers; ++i) FThreads.emplace_back([this] { Work(); });
}

TDecodePool::~TDecodePool() {
  {
    const std::lock_guard lock(FLock);
    FStopping = true;
    for (const TJobRef& job : FQueue) job->State = TJob::Gone;
  }
  FChanged.notify_all();
  for (std::thread& t : FThreads) t.join();
}

std::vector<TDecodePool::TJobRef> TDecodePool::Queue(const std::vector<std::string>& fileNames, bool counted) {
  std::vector<TJobRef> jobs;
  jobs.reserve(fileNames.size());
  for (const std::string& fileName : fileNames) {
    auto job = std::make_shared<TJob>();
    job->FileName = fileName;
    job->Counted = counted;
    jobs.push_back(std::move(job));
  }
  {
    const std::lock_guard lock(FLock);
    FQueue.insert(FQueue.end(), jobs.begin(), jobs.end());
  }
  FChanged.notify_all();
  return jobs;
}

std::unique_ptr<TGraphic> TDecodePool::Take(const TJobRef& job) {
  std::unique_lock lock(FLock);
  // Decoding here too helps only where the workers leave a core idle; on a
  // machine they fill, it would slow the pictures decoding beside it.
  if (job->State == TJob::Queued && Workers() < FCores) {
    FQueue.erase(std::find(FQueue.begin(), FQueue.end(), job));
    job->State = TJob::Running;
    lock.unlock();
    job->Execute();
    lock.lock();
  } else {
    FWanted = job;
    FChanged.notify_all();
    FChanged.wait(lock, [&] { return job->State != TJob::Queued && job->State != TJob::Running; });
    FWanted = nullptr;
  }
  Release(*job);
  job->State = TJob::Gone;
  std::unique_ptr<TGraphic> graphic = std::move(job->Graphic);
  const std::exception_ptr failure = std::exchange(job->Failure, nullptr);
  lock.unlock();
  FChanged.notify_all();
  if (failure) std::rethrow_exception(failure);
  return graphic;
}

void TDecodePool::Cancel(const TJobRef& job) {
  std::unique_ptr<TGraphic> unwanted;  // freed outside the lock
  {
    const std::lock_guard lock(FLock);
    switch (job->State) {
      case TJob::Queued:
        FQueue.erase(std::find(FQueue.begin(), FQueue.end(), job));
        break;
      case TJob::Running:
        job->Cancel = true;  // the worker ends the hold when it stops
        break;
      case TJob::Done:
        Release(*job);
        unwanted = std::move(job->Graphic);
        job->Failure = nullptr;
        break;
      case TJob::Gone:
        return;
    }
    job->State = TJob::Gone;
  }
  FChanged.notify_all();
}

bool TDecodePool::Idle() const {
  const std::lock_guard lock(FLock);
  return FRunning == 0;
}

int TDecodePool::Held() const {
  const std::lock_guard lock(FLock);
  return FHeld;
}

void TDecodePool::Work() {
  // Named for debuggers, profilers and thread listings.
  pthread_setname_np(pthread_self(), "glimmet-decode");
  std::unique_lock lock(FLock);
  for (;;) {
    TJobRef job;
    FChanged.wait(lock, [&] { return FStopping || (job = NextJob()); });
    if (FStopping) return;
    job->State = TJob::Running;
    job->Held = job->Counted;
    FHeld += job->Held;
    ++FRunning;
    lock.unlock();
    job->Execute();
    lock.lock();
    --FRunning;
    std::unique_ptr<TGraphic> unwanted = Finish(*job);
    FChanged.notify_all();
    if (unwanted) {
      lock.unlock();
      unwanted.reset();
      lock.lock();
    }
  }
}

// The first queued job that may start: an uncounted one, or a counted one
// while fewer than the worker count are held. While Take waits one more
// may, but while its own job is still queued only that one: it must not
// find its place taken by a job it will ask for later.
TDecodePool::TJobRef TDecodePool::NextJob() {
  const bool wantedQueued = FWanted && FWanted->State == TJob::Queued;
  const auto mayStart = [&](const TJobRef& job) {
    const int limit = Workers() + (FWanted && (!wantedQueued || job == FWanted) ? 1 : 0);
    return !job->Counted || FHeld < limit;
  };
  const auto it = std::find_if(FQueue.begin(), FQueue.end(), mayStart);
  if (it == FQueue.end()) return nullptr;
  TJobRef job = *it;
  FQueue.erase(it);
  return job;
}

// With FLock held. A job cancelled while it ran hands back its graphic, to
// be freed outside the lock.
std::unique_ptr<TGraphic> TDecodePool::Finish(TJob& job) {
  if (job.State != TJob::Gone) {
    job.State = TJob::Done;
    return nullptr;
  }
  Release(job);
  job.Failure = nullptr;
  return std::move(job.Graphic);
}

void TDecodePool::Release(TJob& job) {
  if (!job.Held) return;
  job.Held = false;
  --FHeld;
}
