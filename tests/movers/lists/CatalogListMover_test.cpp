// Cutting a path into folder, name and extension, for paths written on
// either kind of system.
#include "movers/lists/CatalogListMover.h"

#include <gtest/gtest.h>

namespace qmxml::movers {
namespace {

TEST(CatalogListSplitPath, CutsAtTheLastSeparatorAndTheLastDot) {
  struct Case {
    const char* path;
    const char* folder;
    const char* name;
    const char* extension;
    bool has_folder;
  } cases[] = {
      {"C:\\Docs\\Spec.final.doc", "C:\\Docs", "Spec.final", ".doc", true},
      {"/data/docs/Spec.doc", "/data/docs", "Spec", ".doc", true},
      {"Spec.doc", "", "", "", false},
      {"", "", "", "", false},
      {"/data/README", "/data", "README", "", true},
      {"/data/.profile", "/data", "", ".profile", true},
      {"\\Spec.doc", "", "Spec", ".doc", true},
      {"/data/docs/", "/data/docs", "", "", true},
      {"C:\\x.d\\noext", "C:\\x.d", "noext", "", true},
      {"mixed\\win/unix.txt", "mixed\\win", "unix", ".txt", true},
  };
  for (const auto& c : cases) {
    PathParts p = SplitPath(c.path);
    EXPECT_EQ(p.folder, c.folder) << c.path;
    EXPECT_EQ(p.name, c.name) << c.path;
    EXPECT_EQ(p.extension, c.extension) << c.path;
    EXPECT_EQ(p.has_folder, c.has_folder) << c.path;
  }
}

}  // namespace
}  // namespace qmxml::movers
