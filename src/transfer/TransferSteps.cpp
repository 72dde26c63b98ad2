// The order of a whole-project transfer and the mover calls of each step.
//
// Export order: the users-and-groups writer first (it fills the group
// lookup lists the package writers read), then everything else.
// Import order: users and groups (they need no project, and the project's
// author and version user refer to them), the project, the structure,
// permissions, documents, saved queries (their texts name the structure,
// users and documents), saved views (they name their queries), external
// projects, packages parents first (they list documents and views), and
// the traces last, when every requirement has its new key.
#include "transfer/TransferSteps.h"

#include <fstream>

#include "qmxml/Collection.h"
#include "qmxml/Mover.h"
#include "frame/Guid.h"
#include "transfer/Kinds.h"
#include "transfer/Rows.h"

namespace qmxml::transfer {
namespace fs = std::filesystem;

void WriteWith(const char* mover_name, const fs::path& file, ObjectPtr rows,
               DataDescriptor& data, std::shared_ptr<DatabaseContainer> db) {
  auto mover = Mover().Get(mover_name);
  SourceContainer source(file.string(), std::move(db));
  mover->WriteData(&source, &data, rows, nullptr);
}

namespace {

// The names of the first two start tags of |file| (root, first child),
// read from the start of the file only: package files are large.
std::pair<std::string, std::string> FirstTags(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::string head(65536, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<size_t>(in.gcount()));
  std::string names[2];
  size_t found = 0, i = 0;
  while (found < 2 && (i = head.find('<', i)) != std::string::npos) {
    ++i;
    if (i >= head.size() || head[i] == '?' || head[i] == '!' || head[i] == '/') continue;
    size_t end = head.find_first_of(" \t\r\n/>", i);
    names[found++] = head.substr(i, end == std::string::npos ? std::string::npos : end - i);
  }
  return {names[0], names[1]};
}

// Raises eErr_BadDocument when |file| does not start the way the documents
// of |mover_name| start (its row in the kinds table says how).
void CheckKind(const char* mover_name, const fs::path& file) {
  const KindFile* o = FileOfMover(mover_name);
  if (o == nullptr || o->root == nullptr) return;
  auto [root, child] = FirstTags(file);
  if (root.empty()) return;  // not XML at all: the reader's parser says why
  bool root_ok = o->root_case ? root == o->root : EqualsNoCase(root, o->root);
  bool no_child = std::string_view(o->first_child) == "-";
  bool child_ok =
      no_child ? child.empty() : !*o->first_child || child.empty() || child == o->first_child;
  if (root_ok && child_ok) return;
  throw Error(eErr_BadDocument, "Transfer",
              "The file " + file.string() + " is not a " + o->what + ": it starts with <" + root +
                  ">" + (child.empty() ? "" : " <" + child + ">") + ", where <" + o->root + ">" +
                  (no_child          ? std::string(" with no elements inside")
                   : *o->first_child ? std::string(" <") + o->first_child + ">"
                                     : std::string()) +
                  " was expected.");
}

}  // namespace

void ReadWith(const char* mover_name, const fs::path& file, ObjectPtr rows, ImportContext& ctx) {
  if (!fs::exists(file))
    throw Error(eErr_FileNotFound, "Transfer",
                "The file " + file.string() + " is missing from the folder.");
  CheckKind(mover_name, file);
  auto mover = Mover().Get(mover_name);
  SourceContainer source(file.string(), ctx.db);
  try {
    mover->ReadData(&source, &ctx.data, rows, nullptr);
  } catch (const Error& e) {
    std::string where = e.Description().find(file.string()) == std::string::npos
                            ? " (in the file " + file.string() + ")"
                            : "";
    throw e.WithDescription(e.Description() + where);
  }
}

fs::path ElementFile(const char* folder, const std::string& guid, const char* extension,
                     const std::string& whose) {
  const std::string stem = frame::FileGuid(guid);
  if (stem.empty())
    throw Error(eErr_BadGuid, "Transfer",
                "The GUID \"" + guid + "\" of " + whose +
                    " is not a GUID and cannot name a file; nothing is written for it.");
  return fs::path(folder) / (stem + extension);
}

fs::path DocumentFile(const std::string& guid, const std::string& whose) {
  return ElementFileOf(KindNamed("documents").file, guid, whose);
}

fs::path PackageFile(const std::string& guid, const std::string& whose) {
  return ElementFileOf(KindNamed("packages").file, guid, whose);
}

fs::path ViewFile(const std::string& guid, const std::string& whose) {
  return ElementFileOf(KindNamed("views").file, guid, whose);
}

void ExportFile(ExportContext& ctx, const KindFile& kind_file, const fs::path& file,
                ObjectPtr rows, DataDescriptor data, bool with_db) {
  data.Run = ctx.run;
  WriteWith(kind_file.mover, ctx.dir / file, std::move(rows), data, with_db ? ctx.db : nullptr);
  ctx.summary->files[kind_file.counted_as] += 1;
}

void ImportFile(ImportContext& ctx, const Kind& kind, const fs::path& file) {
  ReadWith(kind.file.mover, ctx.dir / file, TargetCollection(*ctx.conn, kind.tables), ctx);
}

std::vector<std::string> ReadCatalogue(ImportContext& ctx, const char* mover_name,
                                       const fs::path& file) {
  ObjectPtr entries = std::make_shared<Collection>();
  ReadWith(mover_name, ctx.dir / file, entries, ctx);
  std::vector<std::string> ids;
  auto list = std::dynamic_pointer_cast<Collection>(entries);
  for (size_t i = 1; list && i <= list->Count(); ++i)
    ids.push_back(list->Item(i).As<Collection>()->Item("ID").ToText());
  return ids;
}

std::shared_ptr<Recordset> ProjectRow(ExportContext& ctx, const std::vector<std::string>& chapters) {
  std::string sql = "SELECT ID, QMGUID";
  for (const auto& c : chapters) sql += ", NULL AS " + c;
  return Select(ctx, sql + " FROM qmProjects WHERE ID = " + std::to_string(ctx.project_key));
}

std::shared_ptr<Recordset> Select(ExportContext& ctx, const std::string& sql) {
  return ctx.conn->Query(sql);
}

void ExportAll(ExportContext& ctx) {
  for (const auto& kind : Kinds()) {
    if (!kind.do_export) continue;
    if (ctx.progress) ctx.progress(std::string("export ") + kind.name);
    kind.do_export(ctx, kind);
  }
}

void ImportAll(ImportContext& ctx) {
  for (const auto& kind : Kinds()) {
    if (!kind.do_import) continue;
    if (ctx.progress) ctx.progress(std::string("import ") + kind.name);
    kind.do_import(ctx, kind);
  }
}

}  // namespace qmxml::transfer
