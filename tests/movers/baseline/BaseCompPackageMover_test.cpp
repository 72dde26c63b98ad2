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

}  // namespace
}  // namespace qmxml::testing
