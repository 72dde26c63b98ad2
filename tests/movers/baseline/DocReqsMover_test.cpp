// The document and view requirement writers: their elements, when the
// document is saved or handed back, and the baseline list they keep.
#include "movers/baseline/BaselineTestSupport.h"

namespace qmxml::testing {
namespace {

const char* const kDocGuid = "{DDDDDDDD-0000-0000-0000-000000000001}";
const char* const kDoc2Guid = "{DDDDDDDD-0000-0000-0000-000000000002}";
const char* const kViewGuid = "{EEEEEEEE-0000-0000-0000-000000000001}";

std::shared_ptr<Recordset> DocInfo(const std::string& guid, const std::string& name,
                                   const std::string& description, bool item_label) {
  return MakeRecordset(
      {"DocGuid", "Name", "Description", "PackageGUID", "DocTypeGuid", "ItemLabel", "ProtectState",
       "UnlockToRevise", "DeferredRenumber", "DeferredRestyle", "FileDirectory", "FileName",
       "FileExtension", "FileDateTime", "FileSize", "FileFlags", "FileVersion", "VersionNumber",
       "VersionLabel", "VersionDateTime", "VersionReason", "VersionUserGUID",
       "VersionUserFullName"},
      {{Variant(guid), Variant(name), Variant(description), Variant(kPackageGuid),
        Variant("{DT}"), Variant(item_label), Variant(0), Variant(false), Variant(0), Variant(0),
        Variant("C:\\docs"), Variant("vision"), Variant("docx"), Variant("2020-01-01 00:00:00"),
        Variant(1024), Variant(0), Variant(3), Variant("1.0"), Variant("L"),
        Variant("2020-01-02 00:00:00"), Variant("why"), Variant("{U}"), Variant("Ann")}});
}

std::shared_ptr<Recordset> ViewInfo(const std::string& reason) {
  return MakeRecordset({"ViewGuid", "ViewName", "ViewDescription", "ReqTypeGuid", "PackageGUID",
                        "Visibility", "Properties", "QueryString", "QueryDefGuid", "FullName",
                        "UserGuid", "ViewDateTime", "ViewReason"},
                       {{Variant(kViewGuid), Variant("Matrix"), Variant(""), Variant("{RT}"),
                         Variant(kPackageGuid), Variant(1), Variant("p=1"), Variant("q"),
                         Variant("{Q}"), Variant("Ann"), Variant("{U}"),
                         Variant("2020-01-01 00:00:00"), Variant(reason)}});
}

class DocReqsMoverTest : public BaselineFixture {
 protected:
  void WriteDoc(const std::string& guid, const std::string& name, const std::string& file) {
    rows = std::make_shared<Collection>();
    Add("DocInfo", DocInfo(guid, name, "", true));
    Add("Reqs", ReqRows({{1, "1", "{R1}"}}));
    data.ElementGUID = Variant(guid);
    data.ElementType = Variant(int32_t{0x40000});
    Write("DocReqsMover", file);
  }
};

TEST_F(DocReqsMoverTest, DocumentElementInOrderWithoutEmptyDescription) {
  WriteDoc(kDocGuid, "Vision", std::string(kDocGuid) + ".XML");
  auto& doc = Load(std::string(kDocGuid) + ".XML");
  pugi::xml_node project = doc.child("PROJECT");
  EXPECT_STREQ(project.attribute("xsi:noNamespaceSchemaLocation").value(),
               "file:BaselineSchemaPhaseII.xsd");
  EXPECT_EQ(ChildNames(project), "GUID Doc");
  EXPECT_EQ(ChildNames(project.child("Doc")),
            "GUID DocName PackageGUID DocTypeGUID ItemLabel ProtectState UnlockToRevise "
            "DeferredRenumber DeferredRestyle FileDirectory FileName FileExtension FileDateTime "
            "FileSize FileFlags FileVersion VNum VLbl VDate VResn VUGUID VUName Requirements");
  EXPECT_EQ(Texts(project, "Doc/ItemLabel"), "1");
  EXPECT_EQ(Texts(project, "Doc/UnlockToRevise"), "0");
  EXPECT_EQ(Texts(project, "Doc/Requirements/Req/PGUID"), kPackageGuid);
  EXPECT_EQ(Texts(project, "Doc/Requirements/Req/GUID"), "{R1}");
}

TEST_F(DocReqsMoverTest, HandedBackDocumentsLeaveNoFileAndNoListEntry) {
  data.ReturnAsXMLStream = true;
  WriteDoc(kDocGuid, "Vision", std::string(kDocGuid) + ".XML");
  EXPECT_FALSE(Exists(std::string(kDocGuid) + ".XML"));
  EXPECT_FALSE(Exists("BaselineList.XML"));
  ASSERT_TRUE(scheduler.XMLDoc);
  EXPECT_EQ(Texts(*scheduler.XMLDoc, "/PROJECT/Doc/DocName"), "Vision");
}

TEST_F(DocReqsMoverTest, TheListGainsNewEntriesAndUpdatesKnownOnes) {
  WriteDoc(kDocGuid, "Vision", std::string(kDocGuid) + ".XML");
  auto& first = Load("BaselineList.XML");
  EXPECT_EQ(ChildNames(first.child("PROJECT")),
            "GUID Label TimeStamp BaselineDesc BaselineType Doc");
  EXPECT_EQ(Texts(first, "/PROJECT/BaselineType"), "DocView");
  // An old time stamp is refreshed by the next extract.
  std::string text = ReadFile(dir.File("BaselineList.XML"));
  const size_t at = text.find("<TimeStamp>") + 11;
  text.replace(at, 17, "19990101-00:00:00");
  WriteFile(dir.File("BaselineList.XML"), text);

  WriteDoc(kDoc2Guid, "SRS", std::string(kDoc2Guid) + ".XML");
  WriteDoc(kDocGuid, "Vision renamed", std::string(kDocGuid) + ".XML");
  rows = std::make_shared<Collection>();
  Add("ViewInfo", ViewInfo(""));
  data.ElementGUID = Variant(kViewGuid);
  data.ElementType = Variant(int32_t{0x20000});
  data.ReturnAsXMLStream = true;  // the view writer saves all the same
  Write("ViewReqsMover", std::string(kViewGuid) + ".XML");
  EXPECT_TRUE(Exists(std::string(kViewGuid) + ".XML"));

  auto& list = Load("BaselineList.XML");
  EXPECT_EQ(Texts(list, "/PROJECT/Doc/GUID"), std::string(kDocGuid) + " " + kDoc2Guid);
  EXPECT_EQ(Texts(list, "/PROJECT/Doc/DocName"), "Vision renamed SRS");
  EXPECT_EQ(Texts(list, "/PROJECT/View/GUID"), kViewGuid);
  EXPECT_EQ(ChildNames(list.select_node("/PROJECT/View").node()),
            "GUID ViewName ReqTypeID PackageGUID");
  EXPECT_NE(Texts(list, "/PROJECT/TimeStamp"), "19990101-00:00:00");
  EXPECT_EQ(list.select_nodes("/PROJECT/TimeStamp").size(), 1u);
}

TEST_F(DocReqsMoverTest, ViewElementLeavesOutAnEmptyReason) {
  for (const char* reason : {"", "because"}) {
    rows = std::make_shared<Collection>();
    Add("ViewInfo", ViewInfo(reason));
    Add("Reqs", ReqRows({{1, "1", "{R1}"}}));
    data.ElementGUID = Variant(kViewGuid);
    data.ElementType = Variant(int32_t{0x20000});
    Write("ViewReqsMover", std::string(kViewGuid) + ".XML");
    auto& doc = Load(std::string(kViewGuid) + ".XML");
    EXPECT_EQ(ChildNames(doc.child("PROJECT").child("View")),
              std::string("GUID ViewName ReqTypeID PackageGUID Visibility ViewProperties "
                          "ViewQueryString ViewQueryDefGUID ViewUserFullName ViewUserGUID "
                          "ViewDateTime ") +
                  (*reason ? "ViewReason " : "") + "Requirements");
  }
}

TEST_F(DocReqsMoverTest, ReportViewWriterHandsBackUnlessGivenAFile) {
  struct Case {
    std::string path;  // "" stays empty; else relative to the test folder
    bool handed_back;
  } cases[] = {{"", true}, {"XMLSTREAM", true}, {"view.XML", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    rows = std::make_shared<Collection>();
    Add("ViewInfo", ViewInfo(""));
    Add("Reqs", ReqRows({{1, "1", "{R1}"}}));
    data.ElementType = Variant(int32_t{0x2000000});
    scheduler.XMLDoc.reset();
    const std::string path =
        c.path.empty() || c.path == "XMLSTREAM" ? c.path : dir.File(c.path);
    SourceContainer src(path, db);
    ObjectPtr o = rows;
    Mover::CreateClass("ViewReqsMoverForReports")->WriteData(&src, &data, o, &scheduler);
    EXPECT_EQ(static_cast<bool>(scheduler.XMLDoc), c.handed_back);
    EXPECT_EQ(Exists("view.XML"), !c.handed_back);
    EXPECT_FALSE(std::filesystem::exists("XMLSTREAM"));
    EXPECT_FALSE(std::filesystem::exists("BaselineList.XML"));
  }
}

}  // namespace
}  // namespace qmxml::testing
