// The package extract: the package sections in order, documents with their
// revisions, views, group rights named from their rows, and
// the report form's switches.
#include "movers/baseline/BaselineTestSupport.h"

namespace qmxml::testing {
namespace {

class BaseCompPackageMoverTest : public BaselineFixture {
 protected:
  void SetUp() override {
    BaselineFixture::SetUp();
    Add("PackageInfo", MakeRecordset({"QMGUID", "Name", "Description", "ID", "PARENTID"},
                                     {{Variant(kPackageGuid), Variant("Pkg"), Variant(""),
                                       Variant(3), Variant(1)}}));
    Add("ChildPackages", MakeRecordset({"QMGUID", "Name"}, {{Variant("{C}"), Variant("Child")}}));
    Add("PackageSecurity",
        MakeRecordset({"usergroupid", "GroupName", "GroupGUID", "packageaccessrights",
                       "requirementaccessrights", "documentaccessrights", "viewaccessrights"},
                      {{Variant(2), Variant("Devs"), Variant("{G2}"), Variant(1), Variant(3),
                        Variant(7), Variant(15)},
                       {Variant(9), Variant::Null(), Variant::Null(), Variant(0), Variant(0),
                        Variant(0), Variant(0)}}));
    Add("DocInfo",
        MakeRecordset({"DocGuid", "Name", "Description", "DocTypeGuid", "ItemLabel"},
                      {{Variant("{D1}"), Variant("One"), Variant(""), Variant("{T}"), Variant(false)},
                       {Variant("{D2}"), Variant("Two"), Variant("d"), Variant("{T}"), Variant(true)}}));
    Add("DocHistory", MakeRecordset({"DocGuid", "VersionNumber", "VersionReason"},
                                    {{Variant("{D2}"), Variant("1"), Variant("a")},
                                     {Variant("{D2}"), Variant("2"), Variant("b")}}));
    Add("ViewInfo", MakeRecordset({"ViewGuid", "ViewName", "ViewType", "SecondaryQueryDefGuid"},
                                  {{Variant("{V1}"), Variant("V"), Variant(2), Variant("{Q2}")}}));
    Add("Reqs", ReqRows({{1, "1", "{R1}"}}));
  }
};

TEST_F(BaseCompPackageMoverTest, SectionsInOrder) {
  Write("BaseCompPackageMover", "p.XML");
  auto& doc = Load("p.XML");
  pugi::xml_node project = doc.child("PROJECT");
  EXPECT_EQ(ChildNames(project), "GUID Pkg Pkgs PackageSecurity Docs Views Requirements");
  EXPECT_EQ(ChildNames(project.child("Pkg")), "GUID PkgName PkgID ParentID");
  EXPECT_EQ(Texts(project, "Pkgs/Pkg/PkgName"), "Child");
  EXPECT_EQ(Texts(project, "PackageSecurity/Groups/Group/Name"), "Devs ");
  EXPECT_EQ(Texts(project, "PackageSecurity/Groups/Group/GUID"), "{G2} ");
  EXPECT_EQ(ChildNames(project.select_node("PackageSecurity/Groups/Group").node()),
            "Name GUID PackageAccessRights RequirementAccessRights DocumentAccessRights "
            "ViewAccessRights");
  auto docs = project.select_nodes("Docs/Doc");
  ASSERT_EQ(docs.size(), 2u);
  // No description: the children after it keep their order.
  EXPECT_EQ(ChildNames(docs[0].node()).rfind("GUID DocName DocTypeGUID ItemLabel ", 0), 0u);
  EXPECT_FALSE(docs[0].node().child("History"));
  EXPECT_EQ(Texts(docs[1].node(), "History/RVer/VResn"), "a b");
  EXPECT_EQ(Texts(docs[1].node(), "ItemLabel"), "1");
  EXPECT_EQ(Texts(project, "Views/View/Type"), "2");
  EXPECT_EQ(Texts(project, "Views/View/SecQueryID"), "{Q2}");
  EXPECT_FALSE(project.select_node("Views/View/SecReqTypeID"));
}

TEST_F(BaseCompPackageMoverTest, ReportFormWritesWhatTheContextAsksAndNoFile) {
  struct Case {
    bool docs, views, reqs;
    const char* children;
  } cases[] = {
      {false, false, false, "GUID Pkg Pkgs PackageSecurity"},
      {true, false, true, "GUID Pkg Pkgs PackageSecurity Docs Requirements"},
      {false, true, false, "GUID Pkg Pkgs PackageSecurity Views"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.children);
    data.ElementType = Variant(int32_t{0x4000000});
    data.IncludePkgDocsInfo = Variant(c.docs);
    data.IncludePkgViewsInfo = Variant(c.views);
    data.IncludePkgReqsInfo = Variant(c.reqs);
    scheduler.XMLDoc.reset();
    for (const char* key : {"PackageInfo", "ChildPackages", "PackageSecurity", "DocInfo",
                            "DocHistory", "ViewInfo", "Reqs"})
      rows->Get<Recordset>(key)->MoveFirst();
    Write("PackageMoverForReports", std::string(kPackageGuid) + ".XML");
    ASSERT_TRUE(scheduler.XMLDoc);
    pugi::xml_node project = scheduler.XMLDoc->child("PROJECT");
    EXPECT_FALSE(project.first_attribute());
    EXPECT_EQ(ChildNames(project), c.children);
    EXPECT_FALSE(Exists(std::string(kPackageGuid) + ".XML"));
  }
}

TEST_F(BaseCompPackageMoverTest, NothingToWriteWithoutRows) {
  ObjectPtr none;
  auto src = Source("p.XML");
  Mover::CreateClass("BaseCompPackageMover")->WriteData(src.get(), &data, none, &scheduler);
  EXPECT_FALSE(Exists("p.XML"));
  EXPECT_EQ(Mover::CreateClass("BaseCompPackageMover")->ClassName(),
            "QmXMLServices.BaseCompPackageMover");
  EXPECT_EQ(Mover::CreateClass("PackageMoverForReports")->ClassName(),
            "QmXMLServices.BaseCompPackageMover");
}

}  // namespace
}  // namespace qmxml::testing
