// The check of a folder before an import reads it.
//
// A folder is input from anywhere: edited by hand, truncated, or made to
// harm. Before the first reader runs, every document the import will read
// is checked to be well-formed XML 1.0 without a DOCTYPE and to lie inside
// the folder, and the catalogues must list each document and package once,
// by GUID, since those GUIDs become file names. The readers then find only
// documents an export could have written, as far as their shape goes; what
// they hold is checked as they read it (identities, see the key map check
// in Transfer.cpp).
#include <algorithm>
#include <functional>
#include <unordered_map>
#include <unordered_set>

#include "qmxml/Error.h"
#include "frame/Guid.h"
#include "transfer/TransferSteps.h"
#include "xml/WellFormed.h"
#include "xml/XmlDoc.h"
#include "xml/Files.h"

namespace qmxml::transfer {
namespace fs = std::filesystem;

namespace {

constexpr const char* kSource = "Transfer.CheckFolder";

// The files every import reads, whatever the catalogues list.
constexpr const char* kFixedFiles[] = {kSecurityFile, kProjectFile, kStructureFile,
                                       kPermissionsFile, kDocListFile, kQueriesFile,
                                       kViewListFile, kPckListFile, kTracesFile};

// Checks that |file| (relative to the folder) lies inside the folder and is
// well-formed; returns the parsed document. A missing file is left to the
// step that reads it.
XmlDocumentPtr CheckFile(const ImportContext& ctx, const fs::path& file) {
  const fs::path full = ctx.dir / file;
  std::error_code ec;
  if (!fs::exists(full, ec)) return nullptr;
  if (!xml::InsideFolder(full.string(), ctx.dir.string()))
    throw Error(eErr_BadGuid, kSource,
                "The file " + full.string() + " leads outside the folder " + ctx.dir.string() +
                    " (a link); it is not read.");
  return xml::CheckWellFormed(full.string());
}

// The element of |catalogue| whose "ID" is |id| (in any letter case), the
// |nth| one (0-based), for a message; an empty node when there is none.
pugi::xml_node CatalogueEntry(const pugi::xml_document* catalogue, const std::string& id,
                              int nth) {
  if (catalogue == nullptr) return {};
  for (pugi::xpath_node hit : catalogue->select_nodes("/*/*/*[@ID]"))
    if (EqualsNoCase(hit.node().attribute("ID").value(), id) && nth-- == 0) return hit.node();
  return {};
}

// A package names the resource file of each requirement resource by its
// GUID: every "GUID" of a "Resource" under "Resources" must be one, since
// the reader builds a file name of it.
void CheckResourceNames(const std::string& path, const pugi::xml_document& package) {
  for (pugi::xpath_node hit : package.select_nodes("//Resources/Resource")) {
    const std::string guid = hit.node().child_value("GUID");
    if (!frame::FileGuid(guid).empty()) continue;
    throw Error(eErr_BadGuid, kSource,
                "The package " + path + " names a resource file \"" + guid + "\" (at " +
                    xml::ElementPosition(hit.node(), path) +
                    "), which is not a GUID and cannot name a file.");
  }
}

// The GUIDs a catalogue lists, read as the import reads them, each checked
// to be a GUID and listed once; then the file each one names is checked,
// and handed to |inspect| when there is one.
std::vector<std::string> CheckCatalogue(
    ImportContext& ctx, const char* mover, const char* file, const pugi::xml_document* parsed,
    const char* kind, fs::path (*file_of)(const std::string&, const std::string&),
    const std::function<void(const std::string&, const pugi::xml_document&)>& inspect = {}) {
  const std::string path = (ctx.dir / file).string();
  if (!xml::FileExists(path)) return {};
  std::vector<std::string> ids = ReadCatalogue(ctx, mover, file);
  std::unordered_set<std::string> seen;
  for (const std::string& id : ids) {
    const bool fresh = seen.insert(FoldCase(id)).second;
    if (!frame::FileGuid(id).empty() && fresh) continue;
    pugi::xml_node entry = CatalogueEntry(parsed, id, fresh ? 0 : 1);
    const std::string where = entry ? " (at " + xml::ElementPosition(entry, path) + ")" : "";
    if (!fresh)
      throw Error(eErr_Duplicate, kSource,
                  "The catalogue " + path + " lists the " + kind + " " + id + " twice" + where +
                      "; each " + kind + " may appear once.");
    throw Error(eErr_BadGuid, kSource,
                "The catalogue " + path + " lists a " + kind + " as \"" + id + "\"" + where +
                    ", which is not a GUID and cannot name a file.");
  }
  for (const std::string& id : ids) {
    const fs::path listed = file_of(id, kind);
    if (!fs::exists(ctx.dir / listed))
      throw Error(eErr_FileNotFound, kSource,
                  "The catalogue " + path + " lists the " + kind + " " + id + ", but the file " +
                      (ctx.dir / listed).string() + " is missing.");
    XmlDocumentPtr doc = CheckFile(ctx, listed);
    if (inspect && doc) inspect((ctx.dir / listed).string(), *doc);
  }
  return ids;
}

// Resource files are read when a requirement names them; each one that
// could be read is checked here, so that a reader never meets one that is
// not well-formed.
void CheckResourceFiles(const ImportContext& ctx) {
  std::error_code ec;
  for (fs::directory_iterator it(ctx.dir / kResourcesDir, ec), end; !ec && it != end;
       it.increment(ec)) {
    const fs::path name = it->path().filename();
    if (name.extension() != ".XML" || !frame::IsGuidShaped(name.stem().string())) continue;
    CheckFile(ctx, fs::path(kResourcesDir) / name);
  }
}

// One package of the folder as the package reader will see it.
struct PackageNode {
  std::string file;       // the package file, for messages
  std::string id, name;   // "ID" and "NAME" of its Package element
  std::string parent_id;  // "ParentID"
  std::string position;   // of the Package element, for messages
  ptrdiff_t parent = -1;  // index of the parent among the folder's packages
};

// A package whose parents lead back to itself would make a subtree no
// export reaches: refused, naming every package of the cycle. Otherwise
// the packages are put parents first (keeping the listed order where it
// already is), so that every parent has its key before a child asks for it.
std::vector<std::string> OrderPackages(const std::vector<std::string>& listed,
                                       std::vector<PackageNode>& nodes) {
  std::unordered_map<std::string, size_t> by_id;
  for (size_t i = 0; i < nodes.size(); ++i) by_id.emplace(FoldCase(nodes[i].id), i);
  for (PackageNode& n : nodes)
    if (!n.parent_id.empty())
      if (auto it = by_id.find(FoldCase(n.parent_id)); it != by_id.end())
        n.parent = static_cast<ptrdiff_t>(it->second);

  // Each chain of parents is walked once (no recursion: nesting may be deep).
  enum State : char { kNew, kOnPath, kPlaced };
  std::vector<State> state(nodes.size(), kNew);
  std::vector<std::string> order;
  order.reserve(listed.size());
  std::vector<size_t> path;
  for (size_t start = 0; start < nodes.size(); ++start) {
    path.clear();
    ptrdiff_t at = static_cast<ptrdiff_t>(start);
    while (at >= 0 && state[static_cast<size_t>(at)] == kNew) {
      state[static_cast<size_t>(at)] = kOnPath;
      path.push_back(static_cast<size_t>(at));
      at = nodes[static_cast<size_t>(at)].parent;
    }
    if (at >= 0 && state[static_cast<size_t>(at)] == kOnPath) {
      std::string names;
      auto from = std::find(path.begin(), path.end(), static_cast<size_t>(at));
      for (auto it = from; it != path.end(); ++it)
        names += (names.empty() ? "" : ", ") + std::string("\"") + nodes[*it].name + "\" " +
                 nodes[*it].id;
      throw Error(eErr_PackageCycle, kSource,
                  "The packages " + names + " are their own ancestors (" +
                      (path.end() - from == 1 ? "a package whose parent is itself"
                                              : "a cycle of parents") +
                      ", at " + nodes[*from].position + " of " + nodes[*from].file +
                      "); a package tree must end in a top-level package.");
    }
    for (auto it = path.rbegin(); it != path.rend(); ++it) {
      state[*it] = kPlaced;
      order.push_back(listed[*it]);
    }
  }
  return order;
}

// A trace links two requirements once: a second link between the same two
// would be stored twice.
void CheckTraces(const std::string& path, const pugi::xml_document* traces) {
  if (traces == nullptr) return;
  pugi::xml_node list = traces->document_element().find_child(
      [](pugi::xml_node n) { return n.type() == pugi::node_element; });
  std::unordered_set<std::string> seen;
  for (pugi::xml_node trace : list.children()) {
    const xml::Attrs a(trace);
    if (a.size() < 2) continue;
    const std::string from = a.Text(0), to = a.Text(1);
    if (seen.insert(FoldCase(from) + "|" + FoldCase(to)).second) continue;
    throw Error(eErr_Duplicate, kSource,
                "The file " + path + " lists the trace from " + from + " to " + to +
                    " a second time (at " + xml::ElementPosition(trace, path) +
                    "); each trace may appear once.");
  }
}

}  // namespace

void CheckFolder(ImportContext& ctx) {
  XmlDocumentPtr doc_list, pck_list, view_list;
  for (const char* file : kFixedFiles) {
    XmlDocumentPtr doc = CheckFile(ctx, file);
    if (file == kDocListFile) doc_list = doc;
    if (file == kPckListFile) pck_list = doc;
    if (file == kViewListFile) view_list = doc;
    if (file == kTracesFile) CheckTraces((ctx.dir / file).string(), doc.get());
  }
  ctx.documents =
      CheckCatalogue(ctx, "DocListMover", kDocListFile, doc_list.get(), "document", DocumentFile);
  // A folder written before views moved lists views but holds no views/.
  if (fs::is_directory(ctx.dir / kViewsDir))
    ctx.views =
        CheckCatalogue(ctx, "ViewListMover", kViewListFile, view_list.get(), "view", ViewFile);
  // Only what the reader needs of each package is kept, not its document.
  std::vector<PackageNode> nodes;
  const std::vector<std::string> listed = CheckCatalogue(
      ctx, "PckListMover", kPckListFile, pck_list.get(), "package", PackageFile,
      [&](const std::string& path, const pugi::xml_document& package) {
        CheckResourceNames(path, package);
        PackageNode n;
        n.file = path;
        const pugi::xml_node element = package.select_node("//Package").node();
        n.id = element.attribute("ID").value();
        n.name = element.attribute("NAME").value();
        n.parent_id = element.attribute("ParentID").value();
        if (!n.parent_id.empty()) n.position = xml::ElementPosition(element, path);
        nodes.push_back(std::move(n));
      });
  ctx.packages = nodes.size() == listed.size() ? OrderPackages(listed, nodes) : listed;
  CheckResourceFiles(ctx);
}

}  // namespace qmxml::transfer
