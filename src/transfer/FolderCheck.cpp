// The check of a folder before an import reads it.
//
// A folder is input from anywhere: edited by hand, truncated, or made to
// harm. Each document is checked in the one pass that loads it for its
// reader (LoadChecked): well-formed XML 1.0 without a DOCTYPE, inside the
// folder, starting as its kind's documents start, and passing its kind's
// own check below. Before the first reader runs, the catalogues must list
// each document, view and package once, by GUID, since those GUIDs become
// file names. The readers then find only documents an export could have
// written, as far as their shape goes; what they hold is checked as they
// read it (identities, see the key map check in Transfer.cpp).
#include <unordered_set>

#include "qmxml/Error.h"
#include "frame/Guid.h"
#include "movers/content/TraceMover.h"
#include "transfer/Kinds.h"
#include "transfer/TransferSteps.h"
#include "xml/XmlDoc.h"
#include "xml/Files.h"

namespace qmxml::transfer {
namespace fs = std::filesystem;

namespace {

constexpr const char* kSource = "Transfer.CheckFolder";

// The element of |catalogue| whose "ID" is |id| (in any letter case), the
// |nth| one (0-based), for a message; an empty node when there is none.
pugi::xml_node CatalogueEntry(const pugi::xml_document& catalogue, const std::string& id,
                              int nth) {
  for (pugi::xpath_node hit : catalogue.select_nodes("/*/*/*[@ID]"))
    if (EqualsNoCase(hit.node().attribute("ID").value(), id) && nth-- == 0) return hit.node();
  return {};
}

// The GUIDs the catalogue of |kind| lists, read as the import reads them,
// each checked to be a GUID and listed once, and each file it names to be
// there (the file itself is checked when its reader loads it).
std::vector<std::string> CheckCatalogue(ImportContext& ctx, const Kind& kind) {
  const KindFile& list = kind.catalogue;
  const fs::path file = ctx.dir / list.path;
  const std::string path = file.string();
  const char* what = kind.file.counted_as;
  XmlDocumentPtr parsed = LoadChecked(ctx, file, list.mover);
  std::vector<std::string> ids = ReadCatalogue(ctx, list.mover, list.path, parsed);
  std::unordered_set<std::string> seen;
  for (const std::string& id : ids) {
    const bool fresh = seen.insert(FoldCase(id)).second;
    if (!frame::FileGuid(id).empty() && fresh) continue;
    pugi::xml_node entry = CatalogueEntry(*parsed, id, fresh ? 0 : 1);
    const std::string where = entry ? " (at " + xml::ElementPosition(entry, path) + ")" : "";
    if (!fresh)
      throw Error(eErr_Duplicate, kSource,
                  "The catalogue " + path + " lists the " + what + " " + id + " twice" + where +
                      "; each " + what + " may appear once.");
    throw Error(eErr_BadGuid, kSource,
                "The catalogue " + path + " lists a " + what + " as \"" + id + "\"" + where +
                    ", which is not a GUID and cannot name a file.");
  }
  for (const std::string& id : ids) {
    const fs::path listed = ctx.dir / ElementFileOf(kind.file, id, what);
    if (!fs::exists(listed))
      throw Error(eErr_FileNotFound, kSource,
                  "The catalogue " + path + " lists the " + what + " " + id + ", but the file " +
                      listed.string() + " is missing.");
  }
  return ids;
}

}  // namespace

void CheckResourceNames(const std::string& path, const pugi::xml_document& package) {
  // The reader builds a resource file's name of each "GUID" of a
  // "Resource" under "Resources".
  for (pugi::xpath_node hit : package.select_nodes("//Resources/Resource")) {
    const std::string guid = hit.node().child_value("GUID");
    if (!frame::FileGuid(guid).empty()) continue;
    throw Error(eErr_BadGuid, kSource,
                "The package " + path + " names a resource file \"" + guid + "\" (at " +
                    xml::ElementPosition(hit.node(), path) +
                    "), which is not a GUID and cannot name a file.");
  }
}

void CheckTraceList(const std::string& path, const pugi::xml_document& traces) {
  // A second link between the same two requirements would be stored twice.
  pugi::xml_node list = traces.document_element().find_child(
      [](pugi::xml_node n) { return n.type() == pugi::node_element; });
  std::unordered_set<std::string> seen;
  for (pugi::xml_node trace : list.children()) {
    const xml::AttrRow<movers::kTraceToAttrs> a(trace);
    if (!a["ToReqGUID"]) continue;
    const std::string from = a.Text("ReqGUID"), to = a.Text("ToReqGUID");
    if (seen.insert(FoldCase(from) + "|" + FoldCase(to)).second) continue;
    throw Error(eErr_Duplicate, kSource,
                "The file " + path + " lists the trace from " + from + " to " + to +
                    " a second time (at " + xml::ElementPosition(trace, path) +
                    "); each trace may appear once.");
  }
}

void CheckFolder(ImportContext& ctx) {
  for (const Kind& kind : Kinds()) {
    if (kind.do_import == nullptr || kind.listed == nullptr) continue;
    if (!xml::FileExists((ctx.dir / kind.catalogue.path).string())) continue;
    if (kind.files_optional && !fs::is_directory(ctx.dir / kind.file.path)) continue;
    ctx.*kind.listed = CheckCatalogue(ctx, kind);
  }
}

}  // namespace qmxml::transfer
