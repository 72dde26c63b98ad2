// Helpers for the baseline and report extract tests: record sets built by
// hand under the keys the extract writers take, a mover call through the
// factory, and the written document read back.
#pragma once

#include <pugixml.hpp>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "qmxml/Error.h"
#include "qmxml/IMover.h"
#include "qmxml/Mover.h"

namespace qmxml::testing {

inline const char* const kProjectGuid = "{11111111-2222-3333-4444-555555555555}";
inline const char* const kPackageGuid = "{AAAAAAAA-0000-0000-0000-000000000001}";

// Texts of the elements |path| selects, joined by spaces.
inline std::string Texts(const pugi::xml_node& node, const char* path) {
  std::string out;
  for (const auto& x : node.select_nodes(path))
    out += (out.empty() ? "" : " ") + std::string(x.node().text().get());
  return out;
}

class BaselineFixture : public DbFixture {
 protected:
  void SetUp() override {
    DbFixture::SetUp();
    rows = std::make_shared<Collection>();
    data.SpectoProject = Variant(kProjectGuid);
    data.ElementGUID = Variant(kPackageGuid);
    data.ElementType = Variant(int32_t{0x200000});
  }

  void Add(const std::string& key, std::shared_ptr<Recordset> rs) {
    rows->Add(Variant(ObjectPtr(rs)), key);
  }
  // Writes with |cls| to |file| of the test folder.
  void Write(const char* cls, const std::string& file) {
    auto src = Source(file);
    ObjectPtr o = rows;
    Mover::CreateClass(cls)->WriteData(src.get(), &data, o, &scheduler);
  }
  // The file parsed; fails the test when it does not parse.
  pugi::xml_document& Load(const std::string& file) {
    loaded = std::make_unique<pugi::xml_document>();
    auto result = loaded->load_file(dir.File(file).c_str());
    EXPECT_TRUE(result) << file << ": " << result.description();
    return *loaded;
  }
  bool Exists(const std::string& file) { return std::filesystem::exists(dir.File(file)); }

  std::shared_ptr<Collection> rows;
  std::unique_ptr<pugi::xml_document> loaded;
};

// A "Reqs" record set: one row per (type, long tag, GUID), the other
// columns filled with texts derived from the GUID.
inline std::shared_ptr<Recordset> ReqRows(
    const std::vector<std::tuple<int32_t, std::string, std::string>>& reqs) {
  std::vector<std::vector<Variant>> out;
  int32_t id = 100;
  for (const auto& [type, tag, guid] : reqs)
    out.push_back({Variant(++id), Variant(type), Variant(tag), Variant(guid), Variant(tag),
                   Variant("0"), Variant("PR"), Variant::Null(), Variant("text of " + guid),
                   Variant("name of " + guid), Variant(int32_t{0}), Variant("{TYPE}"),
                   Variant(kPackageGuid), Variant(false), Variant(""), Variant(""),
                   Variant::Null(), Variant::Null(), Variant::Null(),
                   Variant("2024-01-02 03:04:05")});
  return MakeRecordset({"ID", "RequirementTypeID", "LongTagNumber", "ReqGUID", "Tag",
                        "LastChildTag", "RequirementPrefix", "OverflowText", "RequirementText",
                        "RequirementName", "Flags", "ReqTypeGuid", "PackageGUID", "Deleted",
                        "BookmarkName", "DocGuid", "BookmarkDocumentID", "DocumentPosition",
                        "LastDocText", "SuspectDateTime"},
                       out);
}

}  // namespace qmxml::testing
