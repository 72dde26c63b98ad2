// The project-level baseline movers: package files named from the folder
// text and ElementGUID, the project history from the current row, and the
// package list.
#include "movers/baseline/BaseCompProjectMover.h"

#include "movers/baseline/BaselineTestSupport.h"

namespace qmxml::testing {
namespace {

using BaseCompProjectMoverTest = BaselineFixture;

std::shared_ptr<Collection> PackageSets(const std::string& name) {
  auto sets = std::make_shared<Collection>();
  sets->Add(Variant(ObjectPtr(MakeRecordset(
                {"QMGUID", "Name", "Description", "ID", "PARENTID"},
                {{Variant(kPackageGuid), Variant(name), Variant(""), Variant(3), Variant::Null()}}))),
            "PackageInfo");
  sets->Add(Variant(ObjectPtr(ReqRows({{1, "1", "{R1}"}}))), "Reqs");
  return sets;
}

TEST_F(BaseCompProjectMoverTest, FolderTextAndElementGuidAreJoinedAsTheyStand) {
  struct Case {
    std::string folder;  // relative to the test folder
    std::string file;
  } cases[] = {
      {"with/", std::string("with/") + kPackageGuid + ".XML"},
      {"without", std::string("without") + kPackageGuid + ".XML"},
  };
  std::filesystem::create_directory(dir.File("with"));
  for (const Case& c : cases) {
    auto packages = std::make_shared<Collection>();
    packages->Add(Variant(ObjectPtr(PackageSets("first"))));
    auto src = Source(c.folder);
    ObjectPtr o = packages;
    data.ElementType = Variant(int32_t{0x400000});
    Mover::CreateClass("BaseCompProjectMover")->WriteData(src.get(), &data, o, &scheduler);
    auto& doc = Load(c.file);
    EXPECT_EQ(Texts(doc, "/PROJECT/Pkg/PkgName"), "first");
    EXPECT_EQ(Texts(doc, "//Req/GUID"), "{R1}");
  }
}

TEST_F(BaseCompProjectMoverTest, WriteBCProjectTakesTheFileDirectory) {
  auto packages = std::make_shared<Collection>();
  packages->Add(Variant(ObjectPtr(PackageSets("only"))));
  data.FileDirectory = Variant(dir.File("") );
  movers::BaseCompProjectMover mover;
  ObjectPtr o = packages;
  mover.WriteBCProject(o, data);
  EXPECT_EQ(Texts(Load(std::string(kPackageGuid) + ".XML"), "/PROJECT/Pkg/PkgName"), "only");
}

std::shared_ptr<Recordset> Revisions() {
  std::vector<std::vector<Variant>> rows;
  for (int i = 1; i <= 3; ++i)
    rows.push_back({Variant(std::to_string(i)), Variant("L"), Variant("{U}"), Variant("Ann"),
                    Variant("2020-01-0" + std::to_string(i) + " 00:00:00"),
                    Variant(i == 3 ? "long\x1a" "reason" : ""), Variant("r" + std::to_string(i)),
                    Variant(0)});
  return MakeRecordset({"VersionNumber", "VersionLabel", "UserGuid", "FullName",
                        "VersionDateTime", "OverflowVersionReason", "VersionReason", "Flags"},
                       rows);
}

TEST_F(BaseCompProjectMoverTest, ProjectHistoryFromTheCurrentRow) {
  auto rs = Revisions();
  rs->MoveNext();
  data.ElementGUID = Variant(kProjectGuid);
  auto src = Source("history.XML");
  ObjectPtr o = rs;
  Mover::CreateClass("BaseCompProjHistoryMover")->WriteData(src.get(), &data, o, &scheduler);
  auto& doc = Load("history.XML");
  EXPECT_STREQ(doc.child("PROJECT").attribute("GUID").value(), kProjectGuid);
  EXPECT_EQ(Texts(doc, "/PROJECT/History/RVer/VNum"), "2 3");
  EXPECT_EQ(Texts(doc, "/PROJECT/History/RVer/VResn"), "r2 long|reason");

  // Nothing left: neither the attribute nor History; handed back on demand.
  data.ReturnAsXMLStream = true;
  auto src2 = Source("none.XML");
  Mover::CreateClass("BaseCompProjHistoryMover")->WriteData(src2.get(), &data, o, &scheduler);
  EXPECT_FALSE(Exists("none.XML"));
  ASSERT_TRUE(scheduler.XMLDoc);
  EXPECT_EQ(ChildNames(*scheduler.XMLDoc), "PROJECT");
  EXPECT_FALSE(scheduler.XMLDoc->child("PROJECT").first_attribute());
  EXPECT_FALSE(scheduler.XMLDoc->child("PROJECT").first_child());
}

TEST_F(BaseCompProjectMoverTest, PackageListAttributesInOrderAndCleaned) {
  auto rs = MakeRecordset({"QmGuid", "PackageGUID", "ID", "NAME", "DESCRIPTION", "PARENTID"},
                          {{Variant(kProjectGuid), Variant("{P1}"), Variant(1),
                            Variant("A\x1a" "B"), Variant("d\r\n"), Variant::Null()},
                           {Variant(kProjectGuid), Variant("{P2}"), Variant(2), Variant("C"),
                            Variant(""), Variant(1)}});
  auto src = Source("list.XML");
  ObjectPtr o = rs;
  Mover::CreateClass("BaseCompPckListMover")->WriteData(src.get(), &data, o, &scheduler);
  EXPECT_EQ(ReadFile(dir.File("list.XML")),
            "<?xml version=\"1.0\" standalone=\"yes\"?>\n"
            "<PROJECT GUID=\"" + std::string(kProjectGuid) + "\">\n"
            "\t<Pkg GUID=\"{P1}\" PackageID=\"1\" Name=\"A|B\" Description=\"d&#10;\" ParentID=\"\" />\n"
            "\t<Pkg GUID=\"{P2}\" PackageID=\"2\" Name=\"C\" Description=\"\" ParentID=\"1\" />\n"
            "</PROJECT>\n");

  ObjectPtr empty = MakeRecordset({"QmGuid"}, {});
  Mover::CreateClass("BaseCompPckListMover")->WriteData(src.get(), &data, empty, &scheduler);
  EXPECT_EQ(ReadFile(dir.File("list.XML")),
            "<?xml version=\"1.0\" standalone=\"yes\"?>\n<PROJECT />\n");
}

}  // namespace
}  // namespace qmxml::testing
