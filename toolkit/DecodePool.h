#pragma once
// Picture files loaded and decoded ahead on a few worker threads, each result
// taken by the thread that asked for it: the loaded graphic, or the exception
// that loading it raised (a decoding failure stays inside the graphic and is
// raised by its first use, as without the pool).
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Pictures.h"

// The worker count the machine calls for: its cores, at most 8, unless the
// environment variable GLIMMET_DECODE_WORKERS gives one (0 to 8; 0 decodes
// every picture when it is taken, on the taking thread).
int DefaultDecodeWorkers();

class TDecodePool {
 public:
  struct TJob;
  using TJobRef = std::shared_ptr<TJob>;

  explicit TDecodePool(int workers);
  // Cancels what runs and waits for the workers to notice.
  ~TDecodePool();
  TDecodePool(const TDecodePool&) = delete;
  TDecodePool& operator=(const TDecodePool&) = delete;

  int Workers() const { return int(FThreads.size()); }

  // Queues a file behind the jobs queued before. Counted jobs are held to
  // the worker count: once that many have started and not been taken or
  // cancelled, the next waits, so that with the picture in use at most
  // workers + 1 decoded pictures exist.
  TJobRef Queue(const std::string& fileName, bool counted);
  // The job's graphic, waiting for it to finish; a job no worker has started
  // runs here. Raises what loading raised.
  std::unique_ptr<TGraphic> Take(const TJobRef& job);
  // Forgets the job: unqueued, or told to stop if it runs. Does not wait.
  void Cancel(const TJobRef& job);

  // Whether no worker is loading or decoding.
  bool Idle() const;

 private:
  void Work();
  TJobRef NextJob();  // with FLock held; null when none may start
  std::unique_ptr<TGraphic> Finish(TJob& job);
  void Release(TJob& job);  // with FLock held: the job's hold ends

  mutable std::mutex FLock;
  std::condition_variable FChanged;
  std::deque<TJobRef> FQueue;
  std::vector<std::thread> FThreads;
  int FHeld = 0;
  int FRunning = 0;
  bool FStopping = false;
};
