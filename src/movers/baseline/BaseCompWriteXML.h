// modBaseCompWriteXML: the parts of a baseline or report extract that the
// baseline movers, the document and view requirement writers and the report
// movers share. An extract is written from record sets the caller prepared,
// one per kind of row, and paired up with the requirements of "Reqs" by
// key (RequirementTypeID and LongTagNumber, or REQUIREMENTID): each set is
// indexed once (RowIndex), so a row pairs with its requirement whatever
// order the caller's sets are in; over sets sorted like "Reqs" this is the
// result of a forward merge.
//
// The record sets of one extract are gathered by the loader into a
// BaselineState that the caller hands to the header, requirement and list
// writers: two extracts, on one thread or on several, never share one.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>
#include <functional>
#include <initializer_list>

#include <pugixml.hpp>

#include "frame/TransferState.h"
#include "qmxml/Collection.h"
#include "qmxml/DataDescriptor.h"
#include "qmxml/Recordset.h"
#include "qmxml/Scheduler.h"
#include "xml/TextWriter.h"

namespace qmxml::movers::baseline {

// Which requirements an extract holds (and so which sets, see ExtractSets).
enum class Scope { kPackage, kDocument, kView };
// Where a run puts the extract: {GUID}.XML in the output folder, the folder
// itself (the mover names each package's file), or nowhere (handed back).
enum class FileNaming { kGuidFile, kFolder, kNone };
struct ListEntry;  // the Doc, View or Pkg entry of the baseline list

// One kind of extract. The writers take the row of the ElementType of the
// transfer context (the document and view reports share one, and agree in
// every column the writers read); baseline and report runs pick rows by name.
struct ExtractKind {
  const char* word;           // the element, in messages and a run's summary
  int32_t element_type;       // ElementType of the transfer context
  const char* baseline_type;  // BaselineType of the list header
  bool report;                // no resource files; traces carry text and name
  bool by_guid;               // traces and bookmarks by GUID, SuspTS written
  bool package_guid;          // each Req carries PGUID
  const ListEntry* entry;     // the extract's entry in the baseline list, or none
  bool caller_lists;          // the run, not the mover, adds that entry
  Scope scope;                // the sets a run selects
  const char* mover;          // the mover class that writes it
  FileNaming file;
};
enum ExtractRow {
  kViewExtract, kDocumentExtract, kPackageExtract, kProjectExtract, kViewReport,
  kDocumentReport, kPackageReport, kOtherKind /* any other ElementType */, kExtractRows
};
extern const ExtractKind kExtractKinds[kExtractRows];

inline constexpr const char* kSchemaInstance = "http://www.w3.org/2001/XMLSchema-instance";
inline constexpr const char* kBaselineSchema = "file:BaselineSchemaPhaseII.xsd";
inline constexpr const char* kBaselineListSchema = "file:BaselineListSchema.xsd";
inline constexpr const char* kBaselineListFile = "BaselineList.XML";

// What the record-set loader takes for one extract. A set the caller did
// not hand in stays nullptr, and whatever it feeds is not written.
struct BaselineState {
  const ExtractKind* kind = &kExtractKinds[kOtherKind];
  bool cross_project = false;
  std::string project_guid;
  std::shared_ptr<Recordset> package_info, child_packages, package_security;
  std::shared_ptr<Recordset> doc_info, doc_history, view_info;
  std::shared_ptr<Recordset> reqs, field_values, list_values, history, disc;
  std::shared_ptr<Recordset> disc_user, disc_group, disc_read, disc_reply, disc_reply_read;
  std::shared_ptr<Recordset> trace_to, trace_from, resources;
  // "ReqsExtReqsTrace": per GUID of a linked project, a record set whose
  // columns 0 to 5 are key, GUID, tag, version, name and text of that
  // project's requirements (the rows are the array's second index).
  std::shared_ptr<Collection> ext_reqs;
  // Where the resource files of the extract go; set by the package writer
  // (the requirement pass writes no resource file while it is empty).
  std::string resources_folder;
  // The run the extract belongs to: what is left out is counted there, and
  // resource files are written through it. The loader takes the run of the
  // transfer context, or a scratch one when the call has none.
  std::shared_ptr<TransferState> own_run = std::make_shared<TransferState>();
  TransferState* run = own_run.get();
};

// Record-set loader: the extract kind, the cross-project flag, the project
// GUID (SpectoProject) and every record set that |rows| holds under its
// key. Never fails: what cannot be read stays absent. |rows| may be
// nullptr.
BaselineState LoadRecordsets(const Collection* rows, const DataDescriptor& data);

// An extract is written as text (xml::TextWriter), element after element,
// into the element open in the writer: its files are large, and a tree
// built only to be turned into text at once would cost more than the
// rest. A caller that needs a tree (a report, the baseline list) parses
// the text.

// Header block: GUID, then IncludeHistory, IncludeDiscs, IncludeCPT,
// IncludeTraces as |data| asks. |list_form| adds Label, TimeStamp and
// BaselineDesc after GUID and BaselineType at the end (the form of the
// baseline list). Reports false when writing failed.
bool WriteHeader(xml::TextWriter& w, const DataDescriptor& data, const BaselineState& state,
                 bool list_form);

// Requirement pass: one Req per remaining row of "Reqs", each with the
// rows of the other sets that pair with it. A requirement whose writing
// fails is left out. Reports false when the pass stopped.
bool WriteRequirements(xml::TextWriter& w, const BaselineState& state);

// Creates or updates "BaselineList.XML" in the folder of |output_path|
// with the entry of the extract |state| holds (kind and its "DocInfo",
// "ViewInfo" or "PackageInfo"). The file is written at once, whatever
// write-behind is active, because the next extract reads it back.
void WriteBaselineList(const std::string& output_path, const DataDescriptor& data,
                       const BaselineState& state);

// The same update spread over many extracts of one folder: the list is
// read (or created with the header of |data|) once, Add records the
// entry of the extract just loaded, and Save writes the file once. A whole
// project's packages are listed this way, so the list is not read and
// written again for every package.
class BaselineListUpdate {
 public:
  // |state| gives the header of a new list (kind and project GUID).
  BaselineListUpdate(const std::string& output_path, const DataDescriptor& data,
                     const BaselineState& state);
  BaselineListUpdate(const BaselineListUpdate&) = delete;
  BaselineListUpdate& operator=(const BaselineListUpdate&) = delete;
  // Adds or updates the entry of the extract |state| holds.
  void Add(const BaselineState& state);
  void Save();

 private:
  std::string path_;
  xml::WriteNotes* notes_;  // the run's, or null
  XmlDocumentPtr doc_;
  pugi::xml_node project_;
};

// The text cleaner: drops the characters with codes 0, 1, 2, 5, 7, 11, 12,
// 13, 18, 19, 21 and 31, turns 26 into "|" and 30 into "-".
std::string CleanText(std::string_view text);

// The rows of one record set grouped by their pairing key, so that a list
// gets every row that pairs with its owner wherever the row stands. Built
// in one pass from the set's current row to its end. Rows are handed out
// in the order of the set and each at most once: over a set sorted like
// its owners the lists are those of an ordered merge, and when the caller's
// order is not monotonic (a late reply to an early thread) nothing is
// passed over. Rows whose key no owner asks for are left out, as orphans
// are by a merge.
class RowIndex {
 public:
  using KeyFn = std::string (*)(const Recordset& rs, const std::vector<int>& columns);
  // Indexes |rs| (may be nullptr: an index that pairs nothing) by the text
  // of |columns| joined; a set without one of them pairs nothing.
  RowIndex(Recordset* rs, const std::vector<std::string_view>& columns);
  RowIndex(const RowIndex&) = delete;
  RowIndex& operator=(const RowIndex&) = delete;

  // The key of the current row of |rs| over |columns| (as the index forms
  // it), for the owner's side of the pairing.
  static std::string KeyOf(const Recordset& rs, const std::vector<std::string_view>& columns);

  // Moves the set to each row not yet handed out whose key is |key|, in
  // set order, and calls |item| with it; returns how many there were.
  template <class Item>
  size_t Take(const std::string& key, Item&& item) {
    auto it = rows_.find(key);
    if (it == rows_.end()) return 0;
    std::vector<Recordset::Bookmark> rows = std::move(it->second);
    rows_.erase(it);
    for (Recordset::Bookmark b : rows) {
      rs_->SetBookmark(b);
      item(*rs_);
    }
    return rows.size();
  }

 private:
  Recordset* rs_;
  std::unordered_map<std::string, std::vector<Recordset::Bookmark>> rows_;
};

// Writes the list element |list| with an item per row of |index| paired
// with |key|: the element is written only when it gets an item.
template <class Item>
void FillList(xml::TextWriter& w, const char* list, RowIndex& index, const std::string& key,
              Item&& item) {
  bool open = false;
  index.Take(key, [&](const Recordset& rs) {
    if (!open) w.Open(list);
    open = true;
    item(w, rs);
  });
  if (open) w.Close();
}

// ---- element builders shared by the extract movers ----

// PROJECT's "xmlns:xsi" and "xsi:noNamespaceSchemaLocation" = |schema|.
void SetSchemaAttributes(xml::TextWriter& w, const char* schema);
// Element |name| holding |text|. Characters XML 1.0 cannot carry are
// dropped, so an extract stays well-formed whatever the database holds.
void AppendText(xml::TextWriter& w, const char* name, std::string_view text);
// |text| without the characters XML 1.0 cannot carry (control characters
// other than tab, line feed and carriage return); codes 26 and 30 become
// "|" and "-" as the cleaner has them. Used for every text of an extract.
std::string CarriedText(std::string_view text);
// The column by the text rule, and the column's value as it converts.
std::string Text(const Recordset& rs, std::string_view column);
std::string Raw(const Recordset& rs, std::string_view column);
// AppendText of Text(rs, column), of Raw(rs, column) and of the cleaned
// Text(rs, column), without copying the column's text.
void AppendColumn(xml::TextWriter& w, const char* name, const Recordset& rs,
                  std::string_view column);
void AppendRawColumn(xml::TextWriter& w, const char* name, const Recordset& rs,
                     std::string_view column);
void AppendCleanColumn(xml::TextWriter& w, const char* name, const Recordset& rs,
                       std::string_view column);
// "1" when the column converts to True, else "0".
std::string Bit(const Recordset& rs, std::string_view column);
// One RVer of a revision row (VersionNumber, VersionLabel, UserGuid,
// FullName, VersionDateTime, OverflowVersionReason / VersionReason, Flags).
void AppendRevision(xml::TextWriter& w, const Recordset& rs);
// The Pkg entry of the current "PackageInfo" row.
void AppendPackageEntry(xml::TextWriter& w, const Recordset& info);

// How a Doc or View element is formed: the list entry, the element of a
// document or view extract, or the element inside a package extract.
enum class EntryForm { kList, kExtract, kPackage };
// Doc from the current row of |info| ("DocInfo"). In the package form the
// document's History follows from |history| (an index of "DocHistory" by
// DocGuid). |inside| writes what follows inside the element (an extract's
// requirements). An entry that fails is taken out again, and the error
// raised.
void AppendDocEntry(xml::TextWriter& w, const Recordset& info, EntryForm form,
                    RowIndex* history = nullptr, const std::function<void()>& inside = {});
// View from the current row of |info| ("ViewInfo"), the same way.
void AppendViewEntry(xml::TextWriter& w, const Recordset& info, EntryForm form,
                     const std::function<void()>& inside = {});

}  // namespace qmxml::movers::baseline
