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

#include <exception>
#include <thread>

#include "qmxml/Collection.h"
#include "qmxml/Mover.h"
#include "frame/Guid.h"
#include "transfer/Kinds.h"
#include "transfer/Rows.h"
#include "xml/Files.h"
#include "xml/WellFormed.h"

namespace qmxml::transfer {
namespace fs = std::filesystem;

void WriteWith(const char* mover_name, const fs::path& file, ObjectPtr rows,
               DataDescriptor& data, std::shared_ptr<DatabaseContainer> db) {
  auto mover = Mover().Get(mover_name);
  SourceContainer source(file.string(), std::move(db));
  mover->WriteData(&source, &data, rows, nullptr);
}

namespace {

// Raises eErr_BadDocument when |doc|, read from |file|, does not start the
// way the documents of |o| start (its row in the kinds table says how):
// readers find their data by position, so a document of another kind
// would be read as garbage instead of failing.
void CheckKind(const KindFile& o, const pugi::xml_document& doc, const fs::path& file) {
  if (o.root == nullptr) return;
  const pugi::xml_node top = doc.document_element();
  const pugi::xml_node first =
      top.find_child([](pugi::xml_node n) { return n.type() == pugi::node_element; });
  const std::string root = top.name(), child = first.name();
  bool root_ok = o.root_case ? root == o.root : EqualsNoCase(root, o.root);
  bool no_child = std::string_view(o.first_child) == "-";
  bool child_ok =
      no_child ? child.empty() : !*o.first_child || child.empty() || child == o.first_child;
  if (root_ok && child_ok) return;
  throw Error(eErr_BadDocument, "Transfer",
              "The file " + file.string() + " is not a " + o.what + ": it starts with <" + root +
                  ">" + (child.empty() ? "" : " <" + child + ">") + ", where <" + o.root + ">" +
                  (no_child         ? std::string(" with no elements inside")
                   : *o.first_child ? std::string(" <") + o.first_child + ">"
                                    : std::string()) +
                  " was expected.");
}

}  // namespace

XmlDocumentPtr LoadChecked(const ImportContext& ctx, const fs::path& file,
                           const char* mover_name) {
  if (!xml::InsideFolder(file.string(), ctx.dir.string()))
    throw Error(eErr_BadGuid, "Transfer.CheckFolder",
                "The file " + file.string() + " leads outside the folder " + ctx.dir.string() +
                    " (a link); it is not read.");
  XmlDocumentPtr doc = xml::CheckWellFormed(file.string());
  if (const KindFile* kind_file = FileOfMover(mover_name)) {
    CheckKind(*kind_file, *doc, file);
    if (kind_file->inspect) kind_file->inspect(file.string(), *doc);
  }
  return doc;
}

void ReadWith(const char* mover_name, const fs::path& file, ObjectPtr rows, ImportContext& ctx,
              XmlDocumentPtr doc) {
  if (!fs::exists(file))
    throw Error(eErr_FileNotFound, "Transfer",
                "The file " + file.string() + " is missing from the folder.");
  if (!doc) doc = LoadChecked(ctx, file, mover_name);
  auto mover = Mover().Get(mover_name);
  SourceContainer source(file.string(), ctx.db);
  source.document = std::move(doc);
  source.check_files = true;  // resource files are checked as they are loaded
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

void ExportFile(ExportContext& ctx, const KindFile& kind_file, const fs::path& file,
                ObjectPtr rows, DataDescriptor data, bool with_db) {
  data.Run = ctx.run;
  WriteWith(kind_file.mover, ctx.dir / file, std::move(rows), data, with_db ? ctx.db : nullptr);
  ctx.summary->files[kind_file.counted_as] += 1;
}

void ImportFile(ImportContext& ctx, const Kind& kind, const fs::path& file, XmlDocumentPtr doc) {
  ReadWith(kind.file.mover, ctx.dir / file, TargetCollection(*ctx.conn, kind.tables), ctx,
           std::move(doc));
}

std::vector<std::string> ReadCatalogue(ImportContext& ctx, const char* mover_name,
                                       const fs::path& file, XmlDocumentPtr doc) {
  ObjectPtr entries = std::make_shared<Collection>();
  ReadWith(mover_name, ctx.dir / file, entries, ctx, std::move(doc));
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

namespace {

// Exports the kinds exported aside on their own thread, over the second
// connection, with a state and summary of their own that Join adds to the
// run's once the thread is done (the write-behind is shared: it takes
// files from several threads). Without a second connection it does
// nothing, and the kinds take their turn with the others.
class AsideExport {
 public:
  explicit AsideExport(ExportContext& ctx) : ctx_(ctx), aside_(ctx) {
    if (!ctx.aside) return;
    aside_.conn = ctx.aside.get();
    aside_.db = std::make_shared<DatabaseContainer>();
    aside_.db->connection = ctx.aside;
    aside_.db->keys = std::make_shared<KeyMap>(ctx.aside.get());
    aside_.summary = &summary_;
    aside_.progress = nullptr;
    run_.files = ctx.run->files;
    run_.services = ctx.run->services;
    aside_.run = &run_;
    thread_ = std::thread([this] {
      try {
        Export(aside_);
      } catch (...) {
        failure_ = std::current_exception();
      }
    });
  }
  ~AsideExport() {
    if (thread_.joinable()) thread_.join();
  }
  AsideExport(const AsideExport&) = delete;
  AsideExport& operator=(const AsideExport&) = delete;

  bool Running() const { return thread_.joinable(); }

  // Waits for the thread and raises its error.
  void Join() {
    if (!thread_.joinable()) return;
    thread_.join();
    if (failure_) std::rethrow_exception(failure_);
    for (const auto& [kind, n] : summary_.files) ctx_.summary->files[kind] += n;
    ctx_.run->Add(run_);
    // What the key map had to leave out counts with what the writers left out.
    for (const auto& [kind, n] : aside_.db->keys->Losses()) ctx_.run->left_out[kind] += n;
  }

 private:
  static void Export(ExportContext& ctx) {
    for (const auto& kind : Kinds()) {
      if (!kind.do_export || !kind.exported_aside) continue;
      if (ctx.progress) ctx.progress(std::string("export ") + kind.name);
      kind.do_export(ctx, kind);
    }
  }

  ExportContext& ctx_;
  ExportContext aside_;
  ExportSummary summary_;
  TransferState run_;
  std::exception_ptr failure_;
  std::thread thread_;  // last: started once the members above are set
};

}  // namespace

void ExportAll(ExportContext& ctx) {
  AsideExport aside(ctx);
  // The thread aside says nothing itself: the progress lines are this one's.
  if (aside.Running() && ctx.progress)
    for (const auto& kind : Kinds())
      if (kind.do_export && kind.exported_aside)
        ctx.progress(std::string("export ") + kind.name + " (beside the others)");
  for (const bool last : {false, true})
    for (const auto& kind : Kinds()) {
      if (!kind.do_export || (kind.exported_aside && aside.Running()) ||
          kind.exported_last != last)
        continue;
      if (ctx.progress) ctx.progress(std::string("export ") + kind.name);
      kind.do_export(ctx, kind);
    }
  aside.Join();
}

void ImportAll(ImportContext& ctx) {
  for (const auto& kind : Kinds()) {
    if (!kind.do_import) continue;
    if (ctx.progress) ctx.progress(std::string("import ") + kind.name);
    kind.do_import(ctx, kind);
  }
}

}  // namespace qmxml::transfer
