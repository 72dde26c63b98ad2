// State shared by movers on one host thread: the resource command counter,
// the host's progress hook that readers call after each imported element
// (the place a host keeps its event loop running), the element a reader is
// working on (for the message of an error that stops it), and what readers
// and writers noted or left out.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include <pugixml.hpp>


namespace qmxml::frame {

struct ThreadState {
  // Numbers the named commands of inserted resources.
  int32_t resource_command_counter = 0;
  // Called by readers after each imported element; may be empty.
  std::function<void(const char* what)> yield;
  // The element a reader is working on (see ReadingElement).
  pugi::xml_node reading;
  // What readers stored or left out by rule instead of failing, counted per
  // kind ("tracker or modelling-tool value left out", ...): a transfer
  // reports these so that nothing is lost without a word.
  std::map<std::string, long> read_notes;
  // What writers (and readers that carry on past a failed step) left out,
  // counted per kind and reason; a run clears it, reports it, and fails on
  // it when strict.
  std::map<std::string, long> left_out;
};

// The state of the calling thread.
ThreadState& CurrentThread();
// Counts one |kind| in the calling thread's read_notes.
void NoteRead(const char* kind);
// Counts one |kind| in the calling thread's left_out.
void NoteLeftOut(const std::string& kind);
// Lets the host's event loop run (calls the yield hook when set).
void YieldToHost(const char* what);

// Marks |element| as the one the calling thread's reader works on, so that
// an error stopping the read can say where in the file it stopped. Left in
// place when the scope ends by an exception (that error is about this
// element); the outer element comes back otherwise.
class ReadingElement {
 public:
  explicit ReadingElement(pugi::xml_node element);
  ~ReadingElement();
  ReadingElement(const ReadingElement&) = delete;
  ReadingElement& operator=(const ReadingElement&) = delete;

 private:
  pugi::xml_node outer_;
  int exceptions_;
};

}  // namespace qmxml::frame
