#pragma once
// Waiting on a value another thread is about to write: a short pause of the
// processor between looks, in rounds of kRound looks. Both the worker pool
// (before it sleeps) and the eigenanalysis' partners (while they wait for
// each other) wait this way.

#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orthaxis::analysis {

// Tells the processor that this thread only waits (frees the core's
// resources for its sibling, saves power); nothing where there is no such hint.
inline void cpu_pause() {
#if defined(__SSE2__)
  _mm_pause();
#endif
}

class SpinWait {
 public:
  static constexpr unsigned kRound = 64;

  // One look's wait without giving up the processor: a pause. True at the
  // end of each round, when a caller that waits for a time looks at the clock.
  bool pause() {
    cpu_pause();
    return end_of_round();
  }

  // One look's wait for a caller that waits as long as it takes: a pause, and
  // at the end of each round the processor is offered to other threads
  // instead (there may be more threads than cores).
  void pause_or_yield() {
    if (end_of_round()) {
      std::this_thread::yield();
    } else {
      cpu_pause();
    }
  }

 private:
  bool end_of_round() { return ++spins_ % kRound == 0; }
  unsigned spins_ = 0;
};

}  // namespace orthaxis::analysis
