#pragma once
// Work beside the GUI thread: decoding pictures and making slides of them.
// Jobs come in two lanes: what a paint or a click will wait for (Now), and
// what is made ahead (Ahead), started only while no Now job waits. The pictures that running
// jobs decode are bounded together in bytes; the results are the jobs' own.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// The worker count the machine calls for: its cores, at most 8, unless the
// environment variable GLIMMET_DECODE_WORKERS gives one (0 to 8; 0 runs every
// job on the thread that waits for it, and nothing ahead).
int DefaultDecodeWorkers();

// What running jobs may hold together, unless one job alone needs more.
constexpr std::uint64_t DefaultDecodeBytes = std::uint64_t(512) << 20;

// What the pool does beyond running the jobs in their lanes, on unless
// switched off to measure what it buys (glimmet-bench, part mechanisms).
struct TDecodePoolOptions {
  // Wait runs a job no worker has started on the waiting thread, when the
  // workers leave a core idle.
  bool RunWhileWaiting = true;
};

class TDecodePool {
 public:
  // Runs a job; a set flag asks it to stop soon (its result is not wanted).
  using TWork = std::function<void(const std::atomic<bool>& Stop)>;
  // Called on the thread that ran the job once Finished says so: the moment
  // to tell the thread that waits for its result.
  using TDone = std::function<void()>;
  enum class TLane { Now, Ahead };
  struct TJob;
  using TJobRef = std::shared_ptr<TJob>;

  // onIdle is called on a worker whenever the last running job ends with
  // none left in line: the moment to give memory back to the system.
  explicit TDecodePool(int workers, std::uint64_t byteCeiling = DefaultDecodeBytes,
                       std::function<void()> onIdle = nullptr, TDecodePoolOptions options = {});
  // Tells running jobs to stop and waits for them; queued ones never run.
  ~TDecodePool();
  TDecodePool(const TDecodePool&) = delete;
  TDecodePool& operator=(const TDecodePool&) = delete;

  int Workers() const { return FWorkers; }

  // Queues a job that holds about `bytes` while it runs, behind its lane or
  // first in it. A job starts when the bytes of the running ones leave room
  // for it, or when none runs, so that a single huge picture still decodes.
  // A job forgotten before it starts never calls done.
  TJobRef Queue(TWork work, std::uint64_t bytes, TLane lane, bool first = false, TDone done = nullptr);
  // Returns once the job has run. One no worker has started goes first in
  // line, and runs here when there are fewer workers than cores.
  void Wait(const TJobRef& job);
  // The same, but returns at the deadline at the latest, and never runs the
  // job here (which could outlast it): whether the job has run.
  bool WaitUntil(const TJobRef& job, std::chrono::steady_clock::time_point deadline);
  // Forgets the job: unqueued, or told to stop if it runs. Does not wait.
  void Cancel(const TJobRef& job);
  // Whether it has run (or was forgotten).
  bool Finished(const TJobRef& job) const;

  // Whether no job runs or waits to run, and no worker is giving memory
  // back (memory is given back on a worker only: not after a last job that
  // ran inside Wait).
  bool Idle() const;
  std::uint64_t BytesRunning() const;
  std::uint64_t ByteCeiling() const { return FCeiling; }
  // Jobs in line, not yet started.
  std::size_t JobsWaiting() const;

 private:
  void Work();
  TJobRef NextJob(TLane lane);  // with FLock held; null when none may start
  bool Admits(const TJob& job) const;
  void Run(std::unique_lock<std::mutex>& lock, TJob& job);
  std::deque<TJobRef>& Line(TLane lane) { return lane == TLane::Now ? FNow : FAhead; }
  void Unqueue(const TJobRef& job);
  void MoveFirst(const TJobRef& job);  // with FLock held

  mutable std::mutex FLock;
  std::condition_variable FChanged;
  std::deque<TJobRef> FNow;
  std::deque<TJobRef> FAhead;
  std::vector<TJob*> FRunningJobs;
  std::vector<std::thread> FThreads;
  const int FWorkers;
  const int FCores;
  const std::uint64_t FCeiling;
  const std::function<void()> FOnIdle;
  const TDecodePoolOptions FOptions;
  std::uint64_t FBytes = 0;  // of the running jobs
  int FReturningMemory = 0;  // workers calling onIdle
  bool FStopping = false;
};
