// The order of a whole-project transfer and the mover calls of each step.
//
// Export order: the users-and-groups writer first (it fills the group
// lookup lists the package writers read), then everything else.
// Import order: users and groups (they need no project, and the project's
// author and version user refer to them), the project, the structure,
// permissions, documents, external projects, packages parents first, and
// the traces last, when every requirement has its new key.
#include "transfer/TransferSteps.h"

#include "qmxml/Mover.h"
#include "transfer/Kinds.h"
#include "transfer/Rows.h"

namespace qmxml::transfer {
namespace fs = std::filesystem;

void WriteWith(const char* mover_name, const fs::path& file, ObjectPtr rows,
               DataDescriptor& data) {
  auto mover = Mover().Get(mover_name);
  SourceContainer source(file.string(), nullptr);
  mover->WriteData(&source, &data, rows, nullptr);
}

void ReadWith(const char* mover_name, const fs::path& file, ObjectPtr rows, ImportContext& ctx) {
  if (!fs::exists(file))
    throw Error(eErr_FileNotFound, "Transfer", "the file " + file.string() + " is missing");
  auto mover = Mover().Get(mover_name);
  SourceContainer source(file.string(), ctx.db);
  try {
    mover->ReadData(&source, &ctx.data, rows, nullptr);
  } catch (const Error& e) {
    std::string where = e.Description().find(file.string()) == std::string::npos
                            ? " (file " + file.string() + ")"
                            : "";
    throw e.WithDescription(e.Description() + where);
  }
}

void ExportFile(ExportContext& ctx, const char* kind, const char* mover_name, const fs::path& file,
                ObjectPtr rows, DataDescriptor data) {
  WriteWith(mover_name, ctx.dir / file, std::move(rows), data);
  ctx.summary->files[kind] += 1;
}

void ImportFile(ImportContext& ctx, const char* mover_name, const fs::path& file,
                const std::vector<std::string>& tables) {
  ReadWith(mover_name, ctx.dir / file, TargetCollection(*ctx.conn, tables), ctx);
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

std::shared_ptr<Recordset> Select(ExportContext& ctx, const std::string& sql) {
  return ctx.conn->Query(sql);
}

void ExportAll(ExportContext& ctx) {
  for (const auto& kind : Kinds()) {
    if (!kind.do_export) continue;
    if (ctx.progress) ctx.progress(std::string("export ") + kind.name);
    kind.do_export(ctx);
  }
}

void ImportAll(ImportContext& ctx) {
  for (const auto& kind : Kinds()) {
    if (!kind.do_import) continue;
    if (ctx.progress) ctx.progress(std::string("import ") + kind.name);
    kind.do_import(ctx);
  }
}

}  // namespace qmxml::transfer
