// Per-thread mover state.
#include "frame/ThreadState.h"

namespace qmxml::frame {

ThreadState& CurrentThread() {
  thread_local ThreadState state;
  return state;
}

void YieldToHost(const char* what) {
  auto& hook = CurrentThread().yield;
  if (hook) hook(what);
}

}  // namespace qmxml::frame
