// Helpers for the catalogue list tests: running a mover's ReadData and
// WriteData on a file of the test folder, and the entries read back as
// plain key/value lists that compare in one assertion.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "qmxml/Error.h"
#include "qmxml/IMover.h"
#include "qmxml/Mover.h"

namespace qmxml::testing {

using EntryText = std::vector<std::pair<std::string, std::string>>;

class CatalogFixture : public DbFixture {
 protected:
  MoverPtr New(const char* cls) { return Mover::CreateClass(cls); }

  void Write(const char* cls, const std::string& file, ObjectPtr rows) {
    auto src = Source(file);
    New(cls)->WriteData(src.get(), &data, rows, &scheduler);
  }
  // ReadData into |into| (which may hold a collection already).
  void Read(const char* cls, const std::string& file, ObjectPtr& into) {
    auto src = Source(file);
    New(cls)->ReadData(src.get(), &data, into, &scheduler);
  }
  std::string Text(const std::string& file) { return ReadFile(dir.File(file)); }
  bool Exists(const std::string& file) { return std::filesystem::exists(dir.File(file)); }
};

}  // namespace qmxml::testing
