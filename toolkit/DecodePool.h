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

  // Queues files, in this order, behind the jobs queued before; workers
  // start them in queue order. Counted jobs are held to the worker count:
  // once that many have started and not been taken or cancelled, the next
  // waits, so that with the picture the taking thread uses at most
  // workers + 1 decoded pictures exist. While that thread waits in Take it
  // uses none, and one more may start: the job it waits for, or, once that
  // one runs, the next in the queue.
  std::vector<TJobRef> Queue(const std::vector<std::string>& fileNames, bool counted);
  // The job's graphic, waiting for it to finish. A job no worker has started
  // runs here when there are fewer workers than cores; otherwise a worker
  // starts it in its turn. Raises what loading raised.
  std::unique_ptr<TGraphic> Take(const TJobRef& job);
  // Forgets the job: unqueued, or told to stop if it runs. Does not wait.
  void Cancel(const TJobRef& job);

  // Whether no worker is loading or decoding.
  bool Idle() const;
  // Counted jobs started and not yet taken or cancelled.
  int Held() const;

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
  TJobRef FWanted;   // the job Take waits for, while it waits
  const int FCores;  // of the machine
};
