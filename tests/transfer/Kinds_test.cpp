// The kinds table walked row by row: each row's movers exist, its files
// and summary keys are its own, its target tables exist in a new project
// database, and the outline check a reader gets is the row's.
#include <set>

#include "TestSupport.h"
#include "qmxml/Mover.h"
#include "transfer/Kinds.h"

namespace qmxml::testing {
namespace {
namespace fs = std::filesystem;
using transfer::Kind;
using transfer::KindFile;
using transfer::Kinds;

std::vector<const KindFile*> FilesOf(const Kind& kind) {
  std::vector<const KindFile*> files = {&kind.file};
  if (kind.catalogue.mover != nullptr) files.push_back(&kind.catalogue);
  return files;
}

TEST(Kinds, EveryRowNamesOfferedMoversOwnFilesAndAnImportCheck) {
  std::set<std::string> paths, keys, movers;
  for (const Kind& kind : Kinds()) {
    SCOPED_TRACE(kind.name);
    ASSERT_NE(kind.do_export, nullptr);
    for (const KindFile* f : FilesOf(kind)) {
      ASSERT_NE(f->mover, nullptr);
      EXPECT_NO_THROW(Mover().Get(f->mover)) << f->mover;
      EXPECT_TRUE(paths.insert(f->path).second) << f->path;
      EXPECT_TRUE(keys.insert(f->counted_as).second) << f->counted_as;
      EXPECT_TRUE(movers.insert(f->mover).second) << f->mover;
      EXPECT_EQ(transfer::FileOfMover(f->mover), f);
      // What is read is checked first: a reader finds its data by position.
      if (kind.do_import != nullptr) {
        EXPECT_NE(f->root, nullptr) << f->mover;
        EXPECT_NE(f->what, nullptr) << f->mover;
      }
    }
    // Catalogues are single files; the files they name are per element.
    EXPECT_EQ(kind.catalogue.mover != nullptr, kind.file.extension != nullptr);
    if (kind.file.extension != nullptr) {
      const std::string guid = "{0B7F3C1A-2D4E-4F60-8A9B-C0D1E2F30415}";
      EXPECT_EQ(transfer::ElementFileOf(kind.file, guid, "x").generic_string(),
                std::string(kind.file.path) + "/" + guid + kind.file.extension);
      EXPECT_THROW(transfer::ElementFileOf(kind.file, "../x", "x"), Error);
    }
  }
  EXPECT_EQ(&transfer::KindNamed("packages"), &Kinds()[8]);
  EXPECT_EQ(transfer::FileOfMover("NoSuchMover"), nullptr);
}

TEST(Kinds, EveryTargetTableExistsInANewProjectDatabase) {
  TempDir dir;
  auto conn = CreateProjectDatabase(dir.File("p.db"));
  for (const Kind& kind : Kinds())
    for (const auto& table : kind.tables)
      EXPECT_NO_THROW(conn->Scalar("SELECT COUNT(*) FROM " + table, {}))
          << kind.name << ": " << table;
}

}  // namespace
}  // namespace qmxml::testing
