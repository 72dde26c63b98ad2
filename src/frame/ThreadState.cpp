// Per-thread mover state.
#include "frame/ThreadState.h"

#include <exception>

namespace qmxml::frame {

ThreadState& CurrentThread() {
  thread_local ThreadState state;
  return state;
}

void NoteRead(const char* kind) { ++CurrentThread().read_notes[kind]; }
void NoteLeftOut(const std::string& kind) { ++CurrentThread().left_out[kind]; }

void YieldToHost(const char* what) {
  auto& hook = CurrentThread().yield;
  if (hook) hook(what);
}

ReadingElement::ReadingElement(pugi::xml_node element)
    : outer_(CurrentThread().reading), exceptions_(std::uncaught_exceptions()) {
  CurrentThread().reading = element;
}

ReadingElement::~ReadingElement() {
  if (std::uncaught_exceptions() > exceptions_) return;
  CurrentThread().reading = outer_;
}

}  // namespace qmxml::frame
