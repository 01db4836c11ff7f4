// An ordered pipeline over independent blocks, for the host tools: the
// calling thread produces jobs in order (reading), worker threads transform
// them (LZH encoding or decoding), and the calling thread consumes them in
// the order they were produced (writing, checking). Output that depends
// only on that order is therefore the same for any number of workers.
// Memory is bounded by the window: at most `jobs * kJobsInFlightPerWorker`
// jobs exist at any time, each reused once consumed. Host only.
#ifndef SFX_PACKAGE_BLOCK_PIPELINE_H_
#define SFX_PACKAGE_BLOCK_PIPELINE_H_

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace sfx {

// Enough jobs per worker that a worker finds the next job ready while the
// calling thread reads or writes, few enough to keep memory small.
constexpr unsigned kJobsInFlightPerWorker = 4;

// The number of workers when the user gives none: every core.
inline unsigned DefaultJobCount() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : cores;
}

// Runs `produce`, `work` and `consume` over a sequence of Job objects.
//  - produce(Job*) -> bool, on the calling thread, in order: fills the job
//    (a reused object: keep its buffers' capacity); false at the end.
//  - work(Job&), on a worker thread (on the calling thread when `jobs` is
//    1): must touch nothing but its job and thread-safe state.
//  - consume(Job&), on the calling thread, in production order.
// An exception from `work` is raised on the calling thread when that job's
// turn to be consumed comes, so the first failure in order is the one seen;
// an exception from `produce` or `consume` stops the workers and passes
// through. With `jobs` 1 no thread is started.
template <typename Job, typename Produce, typename Work, typename Consume>
void RunOrderedPipeline(unsigned jobs, Produce&& produce, Work&& work,
                        Consume&& consume) {
  if (jobs <= 1) {
    Job job;
    while (produce(&job)) {
      work(job);
      consume(job);
    }
    return;
  }

  struct Slot {
    Job job;
    bool done = false;
    std::exception_ptr error;
  };
  const std::size_t window = std::size_t{jobs} * kJobsInFlightPerWorker;
  std::vector<Slot> slots(window);
  std::mutex mutex;
  std::condition_variable ready;     // a job to work on, or stop
  std::condition_variable finished;  // a job was worked on
  std::size_t produced = 0;          // jobs handed to the workers
  std::size_t taken = 0;             // jobs a worker has started
  bool stop = false;

  auto worker = [&]() {
    for (;;) {
      Slot* slot = nullptr;
      {
        std::unique_lock<std::mutex> lock(mutex);
        ready.wait(lock, [&] { return stop || taken < produced; });
        if (stop) return;
        slot = &slots[taken++ % window];
      }
      try {
        work(slot->job);
      } catch (...) {
        slot->error = std::current_exception();
      }
      {
        std::lock_guard<std::mutex> lock(mutex);
        slot->done = true;
      }
      finished.notify_all();
    }
  };

  // Stops and joins the workers on every way out.
  struct Crew {
    std::vector<std::thread> threads;
    std::mutex& mutex;
    std::condition_variable& ready;
    bool& stop;
    ~Crew() {
      {
        std::lock_guard<std::mutex> lock(mutex);
        stop = true;
      }
      ready.notify_all();
      for (std::thread& t : threads) t.join();
    }
  } crew{{}, mutex, ready, stop};
  for (unsigned i = 0; i < jobs; ++i) crew.threads.emplace_back(worker);

  std::size_t consumed = 0;
  bool more = true;
  for (;;) {
    // Fill the window. The free slots belong to this thread alone.
    while (more && produced - consumed < window) {
      Slot& slot = slots[produced % window];
      slot.done = false;
      slot.error = nullptr;
      more = produce(&slot.job);
      if (!more) break;
      {
        std::lock_guard<std::mutex> lock(mutex);
        ++produced;
      }
      ready.notify_one();
    }
    if (consumed == produced) return;
    Slot& slot = slots[consumed % window];
    {
      std::unique_lock<std::mutex> lock(mutex);
      finished.wait(lock, [&] { return slot.done; });
    }
    if (slot.error) std::rethrow_exception(slot.error);
    consume(slot.job);
    ++consumed;
  }
}

}  // namespace sfx

#endif  // SFX_PACKAGE_BLOCK_PIPELINE_H_
