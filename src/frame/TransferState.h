// TransferState: what one run (an export, an import, a baseline or a
// report) shares with every mover call it makes. The run owns it and hands
// it to each call in DataDescriptor::Run; a mover called without one keeps
// its own (see MoverBase), so two runs, on one thread or spread over
// several, never see each other's notes or files.
#pragma once

#include <map>
#include <string>

#include "qmxml/Services.h"
#include "xml/XmlDoc.h"

namespace qmxml {

namespace xml {
class WriteBehind;
}

class TransferState {
 public:
  // What readers stored or left out by rule instead of failing, counted per
  // kind ("tracker or modelling-tool value left out", ...): a run reports
  // these so that nothing is lost without a word.
  std::map<std::string, long> read_notes;
  // What writers (and readers that carry on past a failed step) left out,
  // counted per kind and reason; a run reports it and fails on it when
  // strict.
  std::map<std::string, long> left_out;
  // What the documents written met that they cannot hold as it stands.
  xml::WriteNotes write_notes;
  // While set, finished documents are written to their files on its thread
  // (an export); otherwise each is written before its save returns.
  xml::WriteBehind* files = nullptr;
  // Where the run's movers start the outside services (conversion, GUIDs,
  // the query engine, the host application); the built-in set unless the
  // caller hands in its own.
  const ServiceRegistry* services = &ServiceRegistry::Builtin();

  void NoteRead(const std::string& kind) { ++read_notes[kind]; }
  void NoteLeftOut(const std::string& kind) { ++left_out[kind]; }
  // Adds the counts of |other|, the state a thread of this run kept for
  // itself.
  void Add(const TransferState& other) {
    for (const auto& [kind, n] : other.read_notes) read_notes[kind] += n;
    for (const auto& [kind, n] : other.left_out) left_out[kind] += n;
    write_notes.documents_with_control_characters +=
        other.write_notes.documents_with_control_characters;
    write_notes.texts_cut_at_nul += other.write_notes.texts_cut_at_nul;
  }
};

}  // namespace qmxml
