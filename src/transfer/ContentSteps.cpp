// Transfer steps of the project content: packages with their requirements
// and resources, and the traces between requirements.
#include <algorithm>
#include <array>
#include <exception>
#include <functional>
#include <unordered_map>
#include <unordered_set>

#include "frame/Guid.h"
#include "transfer/Kinds.h"
#include "transfer/ReadAhead.h"
#include "transfer/Rows.h"
#include "xml/XmlDoc.h"

namespace qmxml::transfer {

void ExportTraces(ExportContext& ctx, const Kind& kind) {
  auto rs = Select(ctx,
                   "SELECT f.QMGUID AS ReqGUID, t.QMGUID AS ToReqGUID, r.State AS State, "
                   "r.Type AS Type, r.Name AS Name, r.VersionDateTime AS VersionDateTime "
                   "FROM QmToRelationships r "
                   "JOIN qmProjectRequirements pr ON pr.RequirementID = r.RequirementID "
                   "JOIN qmRequirements f ON f.ID = r.RequirementID "
                   "JOIN qmRequirements t ON t.ID = r.ToID "
                   "WHERE pr.ProjectID = " + std::to_string(ctx.project_key) +
                   " ORDER BY f.QMGUID, t.QMGUID, r.Type, r.State");
  DataDescriptor data;
  data.Data = Variant(ctx.project_guid);
  ExportFile(ctx, kind.file, kind.file.path, rs, data);
}

}  // namespace qmxml::transfer

namespace qmxml::transfer {
namespace {

// The rows of one package, per table, selected through statements
// prepared once and bound to the package key: only one package's rows are
// held at a time.
constexpr const char* kPackageSetNames[] = {
    "QmPackage", "PackageSecurity", "Resources", "qmDocuments", "QmViews", "qmRequirements",
    "qmUserDefinedFieldValues", "qmUserDefinedListValues"};
// Each ends in "IN " and is completed by a list of package keys and
// kPackageSetOrder, so that one statement per set reads a batch of
// packages; the rows are then split by PackageKey, each package's rows in
// the statement's order. Where a set joins members through one column, it
// also says that column is set: a server's planner would otherwise walk
// the members of every other kind through that column's index.
const std::string kPackageSetSql[] = {
    "SELECT QMGUID, NAME, DESCRIPTION, parentid, ID AS PackageKey FROM QmPackage WHERE ID IN ",
    PackageRightsSql("s.packageid IN "),
    "SELECT s.NAME, s.TYPE, s.REQUIREMENTID, s.VERSIONDATETIME, s.Flags, s.QMGUID, s.RESOURCEOBJ, "
    "e.PACKAGEID AS PackageKey, s.ID AS ResourceKey "
    "FROM QmResources s JOIN QmPackageElements e ON e.REQUIREMENTID = s.REQUIREMENTID "
    "WHERE e.PACKAGEID IN ",
    "SELECT d.QMGUID AS QMGUID, '' AS WordFilePath, e.PACKAGEID AS PackageKey, d.ID AS DocumentKey "
    "FROM qmDocuments d JOIN QmPackageElements e ON e.DOCUMENTID = d.ID "
    "WHERE e.DOCUMENTID IS NOT NULL AND e.PACKAGEID IN ",
    "SELECT v.QMGUID AS QMGUID, e.PACKAGEID AS PackageKey, v.ID AS ViewKey FROM QmViews v "
    "JOIN QmPackageElements e ON e.VIEWID = v.ID WHERE e.VIEWID IS NOT NULL AND e.PACKAGEID IN ",
    "SELECT r.ID AS ID, r.QMGUID AS QMGUID, r.Tag AS Tag, r.LastChildTag AS LastChildTag, "
    "r.BookmarkName AS BookmarkName, d.QMGUID AS DOCGUID, r.DocumentPosition AS DocumentPosition, "
    "r.LongTagNumber AS LongTagNumber, r.RequirementPrefix AS RequirementPrefix, "
    "r.RequirementText AS RequirementText, r.OverflowIND AS OverflowInd, "
    // Looked up for the few requirements that have one: joined, a server
    // hashes the whole table again for every batch.
    "CASE WHEN r.OverflowIND <> 0 THEN (SELECT o.OverflowText FROM QmOverflowText o "
    "WHERE o.OverFlowID = r.ID) END AS OverflowText, "
    "r.Deleted AS Deleted, r.VersionNumber AS VersionNumber, r.VersionLabel AS VersionLabel, "
    "u.QMGUID AS VersionUserGUID, r.VersionDateTime AS VersionDateTime, "
    "r.VersionReason AS VersionReason, r.Flags AS Flags, r.LastDocText AS LastDocText, "
    "r.RequirementName AS REQUIREMENTNAME, t.QMGUID AS RequirementTypeGUID, e.PACKAGEID AS PackageKey "
    "FROM QmPackageElements e JOIN qmRequirements r ON r.ID = e.REQUIREMENTID "
    "LEFT JOIN qmDocuments d ON d.ID = r.BookmarkDocumentID "
    "LEFT JOIN qmUsers u ON u.ID = r.VersionUserID "
    "LEFT JOIN qmRequirementTypes t ON t.ID = r.RequirementTypeID "
    "WHERE e.PACKAGEID IN ",
    // The value sets need no order across requirements (the writer narrows
    // them per requirement); within one they are ordered by attribute (and
    // list item) after the query (SortValues), so that every database gives
    // the same document.
    "SELECT v.REQUIREMENTID AS RequirementID, f.QMGUID AS QMGUID, f.Label AS Label, "
    "v.FieldValue AS FieldValue, v.OVERFLOWIND AS OverflowInd, "
    "ov.OverflowFieldValue AS OverflowFieldValue, v.NumericValue AS NumericValue, "
    "f.FieldProperties AS FieldProperties, v.FIELDID AS FieldKey, e.PACKAGEID AS PackageKey "
    "FROM QmPackageElements e "
    "JOIN qmUserDefinedFieldValues v ON v.REQUIREMENTID = e.REQUIREMENTID "
    "JOIN qmUserDefinedFields f ON f.ID = v.FIELDID "
    "LEFT JOIN QmOverflowValues ov ON ov.OverFlowRequirementID = v.REQUIREMENTID "
    "AND ov.OverFlowFieldID = v.FIELDID WHERE e.PACKAGEID IN ",
    "SELECT l.RequirementID AS RequirementID, i.QMGUID AS QMGUID, f.Label AS Label, "
    "i.ItemText AS ItemText, f.QMGUID AS UDFGUID, l.FieldID AS FieldKey, "
    "l.ListItemID AS ItemKey, e.PACKAGEID AS PackageKey FROM QmPackageElements e "
    "JOIN qmUserDefinedListValues l ON l.RequirementID = e.REQUIREMENTID "
    "JOIN qmUserDefinedListItems i ON i.ITEMID = l.ListItemID "
    "JOIN qmUserDefinedFields f ON f.ID = l.FieldID WHERE e.PACKAGEID IN "};

const char* const kPackageSetOrder[] = {"", " ORDER BY usergroupid",
                                        " ORDER BY s.REQUIREMENTID, s.ID", " ORDER BY d.ID",
                                        " ORDER BY v.ID", " ORDER BY r.ID", "", ""};

// Packages read per statement: few round trips, few packages in memory.
constexpr size_t kPackagesPerBatch = 64;

using PackageSets = std::array<std::unordered_map<std::string, std::shared_ptr<Recordset>>,
                               std::size(kPackageSetNames)>;

// The rows of the packages |keys| (at most kPackagesPerBatch), per set and
// package key.
PackageSets ReadPackageBatch(ExportContext& ctx, const std::vector<int32_t>& keys) {
  std::string list = "(";
  std::vector<Variant> values;
  for (size_t i = 0; i < kPackagesPerBatch; ++i) {
    list += i ? ",?" : "?";
    // A short batch repeats its last key: one statement text for all.
    values.emplace_back(keys[std::min(i, keys.size() - 1)]);
  }
  list += ")";
  std::vector<Connection::BoundQuery> queries;
  for (size_t i = 0; i < std::size(kPackageSetSql); ++i)
    queries.push_back({kPackageSetSql[i] + list + kPackageSetOrder[i], values});
  auto all = ctx.conn->QueryEach(queries);
  PackageSets sets;
  for (size_t i = 0; i < std::size(kPackageSetSql); ++i) {
    auto& rs = all[i];
    sets[i] = GroupRows(*rs, "PackageKey");
    for (int32_t key : keys) {
      auto& group = sets[i][std::to_string(key)];
      if (!group) group = std::make_shared<Recordset>(rs->Columns());
    }
  }
  return sets;
}

void ExportPackage(ExportContext& ctx, const Kind& kind, int32_t key, const std::string& guid,
                   PackageSets& sets) {
  auto rows = std::make_shared<Collection>();
  for (size_t i = 0; i < std::size(kPackageSetSql); ++i) {
    auto it = sets[i].find(std::to_string(key));
    rows->Add(Variant(ObjectPtr(it->second)), kPackageSetNames[i]);
    sets[i].erase(it);
  }
  SortRows(*rows->Get<Recordset>("qmUserDefinedFieldValues"), {"RequirementID", "FieldKey"});
  SortRows(*rows->Get<Recordset>("qmUserDefinedListValues"), {"RequirementID", "FieldKey", "ItemKey"});
  DataDescriptor data;
  data.Data = Variant(ctx.project_guid);
  data.ElementGUID = Variant(guid);
  data.SpectoProject = Variant(ctx.project_guid);
  const std::string whose = "the package \"" + rows->Get<Recordset>("QmPackage")->Value("NAME").ToText() +
                            "\" (key " + std::to_string(key) + ")";
  const auto file = ElementFileOf(kind.file, guid, whose);
  // Resource files are named by their GUIDs too: refuse a row that cannot
  // name one before anything of the package is written.
  auto resources = rows->Get<Recordset>("Resources");
  for (resources->MoveFirst(); !resources->IsEOF(); resources->MoveNext()) {
    const std::string resource = resources->Value("QMGUID").ToText();
    if (!resource.empty())
      ElementFile(kResourcesDir, resource, ".XML",
                  "a resource of the requirement with key " +
                      resources->Value("REQUIREMENTID").ToText() + " in " + whose);
  }
  resources->MoveFirst();
  ExportFile(ctx, kind.file, file, rows, data);
}

}  // namespace

void CheckPackageTree(Connection& conn, int32_t project_key) {
  auto off_tree = conn.Query(
      "WITH RECURSIVE tree(ID) AS ("
      " SELECT ID FROM QmPackages WHERE PROJECTID = ?1 AND (PARENTID IS NULL OR PARENTID = 0 "
      " OR PARENTID NOT IN (SELECT ID FROM QmPackages WHERE PROJECTID = ?1))"
      " UNION SELECT p.ID FROM QmPackages p JOIN tree ON p.PARENTID = tree.ID)"
      " SELECT ID, NAME, PARENTID FROM QmPackages WHERE PROJECTID = ?1 "
      "AND ID NOT IN (SELECT ID FROM tree) ORDER BY ID",
      {Variant(project_key)});
  if (off_tree->IsEOF()) return;
  std::string names;
  long n = 0;
  for (; !off_tree->IsEOF(); off_tree->MoveNext(), ++n)
    if (n < 10)
      names += (n ? ", \"" : "\"") + off_tree->Value("NAME").ToText() + "\" (key " +
               off_tree->Value("ID").ToText() + ", parent " +
               off_tree->Value("PARENTID").ToText() + ")";
  throw Error(eErr_PackageCycle, "Transfer.CheckPackageTree",
              std::to_string(n) + " package(s) of the project with key " +
                  std::to_string(project_key) + " are their own ancestors or lie below such " +
                  "a package: " + names + (n > 10 ? ", ..." : "") +
                  ". Give one package of each cycle a parent outside it (or none) first.");
}

void ExportPackages(ExportContext& ctx, const Kind& kind) {
  // A package no walk from the top reaches would be missing from the folder.
  CheckPackageTree(*ctx.conn, ctx.project_key);
  const std::string pk = std::to_string(ctx.project_key);
  // Parents before children, so that the list is also the order of import.
  auto packages = Select(ctx,
                         "WITH RECURSIVE tree(ID, QMGUID, depth) AS ("
                         " SELECT ID, QMGUID, 0 FROM QmPackages WHERE PROJECTID = " + pk +
                         " AND (PARENTID IS NULL OR PARENTID = 0 OR PARENTID NOT IN "
                         "(SELECT ID FROM QmPackages WHERE PROJECTID = " + pk + "))"
                         " UNION ALL SELECT p.ID, p.QMGUID, tree.depth + 1 FROM QmPackages p "
                         " JOIN tree ON p.PARENTID = tree.ID)"
                         " SELECT ID, QMGUID FROM tree ORDER BY depth, ID");
  size_t total = packages->RecordCount(), done = 0;
  std::vector<std::pair<int32_t, std::string>> all;
  for (packages->MoveFirst(); !packages->IsEOF(); packages->MoveNext())
    all.emplace_back(packages->Value("ID").ToLong(), packages->Value("QMGUID").ToText());
  // The next batch is read on a second thread while this one is written.
  // Meanwhile the reader alone uses the connection: the package writers
  // take nothing but the rows they are handed.
  const size_t batches = (all.size() + kPackagesPerBatch - 1) / kPackagesPerBatch;
  ReadAhead<PackageSets> ahead(batches, 1, [&](size_t batch) {
    std::vector<int32_t> keys;
    const size_t first = batch * kPackagesPerBatch;
    for (size_t i = first; i < std::min(all.size(), first + kPackagesPerBatch); ++i)
      keys.push_back(all[i].first);
    return ReadPackageBatch(ctx, keys);
  });
  for (size_t first = 0; first < all.size(); first += kPackagesPerBatch) {
    const size_t end = std::min(all.size(), first + kPackagesPerBatch);
    PackageSets sets = ahead.Take();
    for (size_t i = first; i < end; ++i) {
      ExportPackage(ctx, kind, all[i].first, all[i].second, sets);
      if (ctx.progress && ++done % 100 == 0)
        ctx.progress("  " + std::to_string(done) + " of " + std::to_string(total) + " packages");
    }
  }
  packages->MoveFirst();
  DataDescriptor data;
  data.ElementGUID = Variant(ctx.project_guid);
  ExportFile(ctx, kind.catalogue, kind.catalogue.path, packages, data);
}

namespace fs = std::filesystem;

namespace {

// What the package order needs of one package file: its Package element.
struct PackageNode {
  size_t listed = 0;      // its place in the catalogue
  std::string file;       // the package file, for messages
  std::string id, name;   // "ID" and "NAME" of its Package element
  std::string parent_id;  // "ParentID"
  std::string position;   // of the Package element, for messages
  ptrdiff_t parent = -1;  // index of the parent among the nodes
};

PackageNode NodeOf(size_t listed, const std::string& file, const pugi::xml_document& package) {
  PackageNode n;
  n.listed = listed;
  n.file = file;
  const pugi::xml_node element = package.select_node("//Package").node();
  n.id = element.attribute("ID").value();
  n.name = element.attribute("NAME").value();
  n.parent_id = element.attribute("ParentID").value();
  return n;
}

// |nodes| put parents first (keeping their order where it already is); a
// package whose parents lead back to itself would make a subtree no export
// reaches: refused, naming every package of the cycle.
std::vector<size_t> OrderPackages(std::vector<PackageNode>& nodes) {
  std::unordered_map<std::string, size_t> by_id;
  for (size_t i = 0; i < nodes.size(); ++i) by_id.emplace(FoldCase(nodes[i].id), i);
  for (PackageNode& n : nodes)
    if (!n.parent_id.empty())
      if (auto it = by_id.find(FoldCase(n.parent_id)); it != by_id.end())
        n.parent = static_cast<ptrdiff_t>(it->second);

  // Each chain of parents is walked once (no recursion: nesting may be deep).
  enum State : char { kNew, kOnPath, kPlaced };
  std::vector<State> state(nodes.size(), kNew);
  std::vector<size_t> order;
  order.reserve(nodes.size());
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
      throw Error(eErr_PackageCycle, "Transfer.CheckFolder",
                  "The packages " + names + " are their own ancestors (" +
                      (path.end() - from == 1 ? "a package whose parent is itself"
                                              : "a cycle of parents") +
                      ", at " + nodes[*from].position + " of " + nodes[*from].file +
                      "); a package tree must end in a top-level package.");
    }
    for (auto it = path.rbegin(); it != path.rend(); ++it) {
      state[*it] = kPlaced;
      order.push_back(*it);
    }
  }
  return order;
}

}  // namespace

// A package GUID as the order compares it: with or without braces, in any
// letter case.
std::string PackageKey(const std::string& guid) {
  const std::string stem = frame::FileGuid(guid);
  return FoldCase(stem.empty() ? guid : stem);
}

void ImportPackages(ImportContext& ctx, const Kind& kind) {
  // Packages are read in the catalogue's order, which an export writes
  // parents first. Each file is loaded (and checked) once, just before its
  // reader takes it, so one package document is held at a time. A package
  // whose parent is listed later waits, keeping only its GUID, and is
  // loaded again once the parent is in; what still waits at the end is
  // ordered parents first, and a cycle among it is refused. The files are
  // loaded on a second thread while the reader inserts (ReadAhead).
  const auto& guids = ctx.packages;
  std::unordered_set<std::string> listed, done;
  for (const auto& g : guids) listed.insert(PackageKey(g));
  std::unordered_map<std::string, std::vector<size_t>> waiting;  // by parent ID
  std::vector<PackageNode> held;
  size_t imported = 0;
  auto file_of = [&](size_t i) { return ElementFileOf(kind.file, guids[i], "package"); };
  auto read = [&](size_t i, XmlDocumentPtr doc, const PackageNode& node) {
    ImportFile(ctx, kind, file_of(i), std::move(doc));
    if (ctx.progress && ++imported % 100 == 0)
      ctx.progress("  " + std::to_string(imported) + " of " + std::to_string(guids.size()) +
                   " packages");
    // Its children that waited for it follow, and theirs after them.
    std::vector<std::string> parents{PackageKey(node.id)};
    while (!parents.empty()) {
      const std::string parent = std::move(parents.back());
      parents.pop_back();
      done.insert(parent);
      auto it = waiting.find(parent);
      if (it == waiting.end()) continue;
      const std::vector<size_t> children = std::move(it->second);
      waiting.erase(it);
      for (size_t c : children) {
        ImportFile(ctx, kind, file_of(held[c].listed));
        ++imported;
        parents.push_back(PackageKey(held[c].id));
      }
    }
  };
  ReadAhead<XmlDocumentPtr> ahead(guids.size(), 2, [&ctx, &kind, &file_of](size_t i) {
    return LoadChecked(ctx, ctx.dir / file_of(i), kind.file.mover);
  });
  for (size_t i = 0; i < guids.size(); ++i) {
    const fs::path file = ctx.dir / file_of(i);
    XmlDocumentPtr doc = ahead.Take();
    PackageNode node = NodeOf(i, file.string(), *doc);
    const std::string parent = node.parent_id.empty() ? "" : PackageKey(node.parent_id);
    if (!parent.empty() && listed.count(parent) && !done.count(parent)) {
      node.position = xml::ElementPosition(doc->select_node("//Package").node(), node.file);
      waiting[parent].push_back(held.size());
      held.push_back(std::move(node));
      continue;
    }
    read(i, std::move(doc), node);
  }
  if (waiting.empty()) return;
  // Left waiting: parents that lie in a cycle, or that no listed file holds.
  std::vector<PackageNode> rest;
  for (auto& [parent, children] : waiting)
    for (size_t c : children) rest.push_back(held[c]);
  std::sort(rest.begin(), rest.end(),
            [](const PackageNode& a, const PackageNode& b) { return a.listed < b.listed; });
  waiting.clear();
  for (size_t r : OrderPackages(rest))
    ImportFile(ctx, kind, file_of(rest[r].listed));
}

}  // namespace qmxml::transfer
