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
  enum TState { Queued, Running, Done };
  TWork Work;
  TDone OnDone;
  std::uint64_t Bytes = 0;
  TLane Lane = TLane::Now;
  TState State = Queued;
  std::atomic<bool> Stop{false};
};

TDecodePool::TDecodePool(int workers, std::uint64_t byteCeiling, std::function<void()> onIdle,
                         TDecodePoolOptions options)
    : FWorkers(std::max(workers, 0)),
      FCores(std::max(int(std::thread::hardware_concurrency()), 1)),
      FCeiling(byteCeiling),
      FOnIdle(std::move(onIdle)),
      FOptions(options) {
  for (int i = 0; i < FWorkers; ++i) FThreads.emplace_back([this] { Work(); });
}

TDecodePool::~TDecodePool() {
  {
    const std::lock_guard lock(FLock);
    FStopping = true;
    for (TJob* job : FRunningJobs) job->Stop = true;
    for (auto* line : {&FNow, &FAhead}) {
      for (const TJobRef& job : *line) job->State = TJob::Done;
      line->clear();
    }
  }
  FChanged.notify_all();
  for (std::thread& t : FThreads) t.join();
}

TDecodePool::TJobRef TDecodePool::Queue(TWork work, std::uint64_t bytes, TLane lane, bool first, TDone done) {
  auto job = std::make_shared<TJob>();
  job->Work = std::move(work);
  job->OnDone = std::move(done);
  job->Bytes = bytes;
  job->Lane = lane;
  {
    const std::lock_guard lock(FLock);
    if (first) {
      Line(lane).push_front(job);
    } else {
      Line(lane).push_back(job);
    }
  }
  FChanged.notify_all();
  return job;
}

bool TDecodePool::Admits(const TJob& job) const { return FRunningJobs.empty() || FBytes + job.Bytes <= FCeiling; }

void TDecodePool::Unqueue(const TJobRef& job) {
  std::deque<TJobRef>& line = Line(job->Lane);
  line.erase(std::find(line.begin(), line.end(), job));
}

// With FLock held on entry and on return; the work runs without it.
void TDecodePool::Run(std::unique_lock<std::mutex>& lock, TJob& job) {
  job.State = TJob::Running;
  FBytes += job.Bytes;
  FRunningJobs.push_back(&job);
  lock.unlock();
  // Its line is shorter: an Ahead job may start once no Now job waits.
  FChanged.notify_all();
  job.Work(job.Stop);
  job.Work = nullptr;  // what the work holds goes with it, outside the lock
  lock.lock();
  FBytes -= job.Bytes;
  FRunningJobs.erase(std::find(FRunningJobs.begin(), FRunningJobs.end(), &job));
  job.State = TJob::Done;
  if (TDone done = std::move(job.OnDone)) {
    lock.unlock();
    FChanged.notify_all();
    done();
    done = nullptr;
    lock.lock();
  }
}

// First in line now: the paint waits for nothing else.
void TDecodePool::MoveFirst(const TJobRef& job) {
  if (job->State != TJob::Queued) return;
  Unqueue(job);
  job->Lane = TLane::Now;
  FNow.push_front(job);
  FChanged.notify_all();
}

bool TDecodePool::WaitUntil(const TJobRef& job, std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(FLock);
  MoveFirst(job);
  return FChanged.wait_until(lock, deadline, [&] { return job->State == TJob::Done; });
}

void TDecodePool::Wait(const TJobRef& job) {
  std::unique_lock lock(FLock);
  MoveFirst(job);
  // Running it here too helps only where the workers leave a core idle; on
  // a machine they fill, it would slow the jobs running beside it.
  const bool mayRunHere = FOptions.RunWhileWaiting && FWorkers < FCores;
  FChanged.wait(lock, [&] {
    return job->State == TJob::Done || (mayRunHere && job->State == TJob::Queued && Admits(*job));
  });
  if (job->State == TJob::Done) return;
  Unqueue(job);
  Run(lock, *job);
  lock.unlock();
  FChanged.notify_all();
}

void TDecodePool::Cancel(const TJobRef& job) {
  TWork unwanted;  // freed outside the lock
  {
    const std::lock_guard lock(FLock);
    if (job->State == TJob::Queued) {
      Unqueue(job);
      job->State = TJob::Done;
      unwanted = std::move(job->Work);
      job->OnDone = nullptr;
    } else if (job->State == TJob::Running) {
      job->Stop = true;
    }
  }
  FChanged.notify_all();
}

bool TDecodePool::Finished(const TJobRef& job) const {
  const std::lock_guard lock(FLock);
  return job->State == TJob::Done;
}

bool TDecodePool::Idle() const {
  const std::lock_guard lock(FLock);
  return FRunningJobs.empty() && FNow.empty() && FAhead.empty() && FReturningMemory == 0;
}

std::size_t TDecodePool::JobsWaiting() const {
  const std::lock_guard lock(FLock);
  return FNow.size() + FAhead.size();
}

std::uint64_t TDecodePool::BytesRunning() const {
  const std::lock_guard lock(FLock);
  return FBytes;
}

// The first job of the lane when the bytes admit it; Ahead jobs only while
// no Now job waits. Jobs start in their order: a large one is not passed by
// smaller ones until it never gets room.
TDecodePool::TJobRef TDecodePool::NextJob(TLane lane) {
  if (lane == TLane::Ahead && !FNow.empty()) return nullptr;
  std::deque<TJobRef>& line = Line(lane);
  if (line.empty() || !Admits(*line.front())) return nullptr;
  TJobRef job = line.front();
  line.pop_front();
  return job;
}

void TDecodePool::Work() {
  // Named for debuggers, profilers and thread listings.
  pthread_setname_np(pthread_self(), "glimmet-decode");
  const auto next = [&] {
    TJobRef job = NextJob(TLane::Now);
    return job ? job : NextJob(TLane::Ahead);
  };
  std::unique_lock lock(FLock);
  for (;;) {
    TJobRef job;
    FChanged.wait(lock, [&] { return FStopping || (job = next()); });
    if (FStopping) return;
    Run(lock, *job);
    // Giving memory back is the last of the work: the pool is not idle
    // before it is done.
    const bool idle = FRunningJobs.empty() && FNow.empty() && FAhead.empty() && FOnIdle;
    if (idle) ++FReturningMemory;
    lock.unlock();
    FChanged.notify_all();
    job.reset();
    if (idle) {
      FOnIdle();
      lock.lock();
      --FReturningMemory;
      continue;
    }
    lock.lock();
  }
}
