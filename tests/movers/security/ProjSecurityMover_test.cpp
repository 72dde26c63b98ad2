// Users and groups: the written document, the password form, positional
// reading, GUID renewal, the group lookup lists and the failure paths (the
// round trip is the whole-project transfer test).
#include "movers/security/ProjSecurityMover.h"

#include <pugixml.hpp>

#include "TestSupport.h"
#include "transfer/Rows.h"
#include "xml/XmlDoc.h"
#include "xml/Files.h"

namespace qmxml::testing {
namespace {

using movers::ProjSecurityMover;

const std::vector<std::string> kGroupCols = {"NAME",
                                             "DESCRIPTION",
                                             "PROJECTACCESSRIGHTS",
                                             "DOCTYPEACCESSRIGHTS",
                                             "REQTYPEACCESSRIGHTS",
                                             "ATTRIBUTEACCESSRIGHTS",
                                             "LISTITEMACCESSRIGHTS",
                                             "QMGUID",
                                             "ID"};
const std::vector<std::string> kUserCols = {"LoginName", "Password",     "Active",
                                            "FullName",  "EmailAddress", "NAME",
                                            "GroupGUID", "QMGUID"};

std::shared_ptr<Recordset> ProjectRow(const std::shared_ptr<Recordset>& groups,
                                      const std::shared_ptr<Recordset>& users) {
  return MakeRecordset(
      {"QMGUID", "Groups", "Users"},
      {{Variant("{P1}"), Variant(ObjectPtr(groups)), Variant(ObjectPtr(users))}});
}

// A document file as the writers produce it: declaration first, root second.
std::string Xml(const std::string& body) {
  return "<?xml version=\"1.0\" standalone=\"yes\"?>\n" + body;
}

class ProjSecurityMoverTest : public DbFixture {
 protected:
  void Export(const std::shared_ptr<Recordset>& project, const std::string& file) {
    ObjectPtr rows = project;
    mover.WriteData(Source(file).get(), &data, rows, &scheduler);
  }
  void Import(const std::string& file) {
    ObjectPtr rows = transfer::TargetCollection(*conn, {"qmUserGroups", "qmUsers"});
    mover.ReadData(Source(file).get(), &data, rows, &scheduler);
  }
  std::string Row(const std::string& sql) {
    return QueryText(*conn, sql);
  }

  ProjSecurityMover mover;
};

TEST_F(ProjSecurityMoverTest, WritesGroupsBeforeUsersWithAttributesInOrder) {
  auto groups = MakeRecordset(
      kGroupCols, {{"Admins", "All rights", int32_t{15}, int32_t{7}, int32_t{7},
                    int32_t{3}, int32_t{1}, "{G3}", int32_t{3}},
                   {"Readers", Variant::Null(), int32_t{1}, int32_t{0}, int32_t{0},
                    int32_t{0}, int32_t{0}, "{G7}", int32_t{7}}});
  auto users = MakeRecordset(
      kUserCols,
      {{"ann", "abc", int32_t{1}, "Ann A", "ann@x.org", "Admins", "{G3}", "{U1}"},
       {"bob", Variant::Null(), int32_t{0}, "Bob & Co", "", "Readers", "{G7}", "{U2}"},
       {"cy", "x", Variant::Null(), "  Cy  ", "c@x", "Readers", "{G7}", "{U3}"}});
  Export(ProjectRow(groups, users), "sec.xml");

  auto doc = xml::LoadDocument(dir.File("sec.xml"), "test");
  auto project = xml::RootElement(*doc);
  EXPECT_EQ(ChildNames(project), "Groups Users");
  EXPECT_EQ(AttrNames(Find(project, "Groups/Group")),
            "NAME DESCRIPTION ProjectAccessRights DocTypeAccessRights ReqTypeAccessRights "
            "AttributeAccessRights ListItemAccessRights ID");
  EXPECT_EQ(AttrNames(Find(project, "Users/User")),
            "LoginName Password Active FullName EmailAddress GroupName GroupGUID ID");
  EXPECT_EQ(Values(project, "Groups/Group/@ID"), "{G3}|{G7}|");
  EXPECT_EQ(Values(project, "Groups/Group/@DESCRIPTION"), "All rights||");
  EXPECT_EQ(Values(project, "Groups/Group/@ProjectAccessRights"), "15|1|");
  EXPECT_EQ(Values(project, "Users/User/@Password"), "97;98;99;||120;|");
  EXPECT_EQ(Values(project, "Users/User/@Active"), "True|False|False|");
  EXPECT_EQ(Values(project, "Users/User/@FullName"), "Ann A|Bob & Co|Cy|");
  EXPECT_EQ(Values(project, "Users/User/@GroupName"), "Admins|Readers|Readers|");
}

TEST_F(ProjSecurityMoverTest, LeavesOutEmptyLists) {
  auto groups =
      MakeRecordset(kGroupCols, {{"G", "", "", "", "", "", "", "{G9}", int32_t{9}}});
  Export(ProjectRow(groups, MakeRecordset(kUserCols, {})), "a.xml");
  std::string text = ReadFile(dir.File("a.xml"));
  EXPECT_NE(text.find("<Groups>"), std::string::npos);
  EXPECT_EQ(text.find("Users"), std::string::npos);

  Export(ProjectRow(MakeRecordset(kGroupCols, {}), MakeRecordset(kUserCols, {})),
         "b.xml");
  auto bare = xml::LoadDocument(dir.File("b.xml"), "test");
  EXPECT_TRUE(xml::RootElement(*bare).children().empty());
}

TEST_F(ProjSecurityMoverTest, EmptyProjectWritesNoFileAndStreamGoesToScheduler) {
  Export(MakeRecordset({"QMGUID", "Groups", "Users"}, {}), "none.xml");
  EXPECT_FALSE(xml::FileExists(dir.File("none.xml")));

  data.ReturnAsXMLStream = true;
  Export(ProjectRow(MakeRecordset(kGroupCols, {}), MakeRecordset(kUserCols, {})),
         "s.xml");
  EXPECT_FALSE(xml::FileExists(dir.File("s.xml")));
  ASSERT_TRUE(scheduler.XMLDoc);
  EXPECT_STREQ(xml::RootElement(*scheduler.XMLDoc).name(), "PROJECT");
}

TEST(ProjSecurityPassword, EncodesEveryUtf16UnitAsSigned16BitDecimal) {
  struct Case {
    std::string stored;
    std::string written;
  } cases[] = {
      {"abc", "97;98;99;"},
      {"", ""},
      {"\xE9\xB1\x80", "-25536;"},            // unit 40000
      {"\xEF\xBF\xBF", "-1;"},                // unit 65535
      {"\xF0\x9F\x98\x80", "-10179;-8704;"},  // a surrogate pair
      {"a;b", "97;59;98;"},
      {"\xED\xA0\x80", "-10240;"},  // a lone surrogate survives
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ProjSecurityMover::ConvertPWDToDecimal(c.stored), c.written) << c.written;
    EXPECT_EQ(ProjSecurityMover::ConvertPWDToCharacter(c.written), c.stored) << c.written;
  }
}

TEST(ProjSecurityPassword, DecodingDropsTheTailAndRejectsNonNumbers) {
  EXPECT_EQ(ProjSecurityMover::ConvertPWDToCharacter("97;98"), "a");
  EXPECT_EQ(ProjSecurityMover::ConvertPWDToCharacter("97; 98 ;"), "ab");
  for (const char* bad : {"9x;", ";", "99999999999;"}) {
    try {
      ProjSecurityMover::ConvertPWDToCharacter(bad);
      ADD_FAILURE() << bad;
    } catch (const Error& e) {
      EXPECT_TRUE(e.Number() == eErr_TypeMismatch || e.Number() == 6) << bad;
    }
  }
  try {
    ProjSecurityMover::ConvertPWDToCharacter("70000;");
    ADD_FAILURE();
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), eErr_InvalidArgument);
  }
}

TEST_F(ProjSecurityMoverTest, ReadsAttributesByPositionNotByName) {
  // Attribute names are deliberately not the writer's: only positions count.
  WriteFile(
      dir.File("in.xml"),
      "<?xml version=\"1.0\" standalone=\"yes\"?>\n"
      "<PROJECT ID=\"{P1}\" XMLVersion=\"2\">"
      "<Groups><Group a=\"Admins\" b=\"line1\nline2\" c=\"15\" d=\"7\" e=\"6\" f=\"3\" "
      "g=\"\" h=\"{G3}\"/></Groups>"
      "<Users>"
      "<User a=\"ann\" b=\"97;98;99;\" c=\"True\" d=\"Ann\" e=\"ann@x\" f=\"ignored\" "
      "g=\"{G3}\" h=\"{U1}\"/>"
      "<User a=\"bob\" b=\"\" c=\"-1\"/>"
      "</Users></PROJECT>");
  Import("in.xml");
  EXPECT_EQ(
      Row("SELECT NAME, DESCRIPTION, PROJECTACCESSRIGHTS, DOCTYPEACCESSRIGHTS, "
          "REQTYPEACCESSRIGHTS, ATTRIBUTEACCESSRIGHTS, LISTITEMACCESSRIGHTS, QMGUID "
          "FROM qmUserGroups"),
      "Admins|line1\nline2|15|7|6|3||{G3}|\n");
  int32_t group = db->keys->getKeyFromGUID("Group", "{G3}");
  EXPECT_GT(group, 0);
  EXPECT_EQ(
      Row("SELECT LoginName, Password, Active, FullName, EmailAddress, GroupID, QMGUID, "
          "typeof(Password) FROM qmUsers ORDER BY ID"),
      "ann|abc|1|Ann|ann@x|" + std::to_string(group) + "|{U1}|text|\n" +
          // A user cut short: missing attributes read as empty text,
          // the unknown group as the key map's answer for it (0).
          "bob||1|||0||text|\n");
}

TEST_F(ProjSecurityMoverTest, ActiveIsStoredAsOneOrZero) {
  struct Case {
    const char* word;
    int stored;
  } cases[] = {{"True", 1}, {"1", 1}, {"-1", 1}, {"False", 0},
               {"0", 0},    {"", 0},  {"yes", 0}};
  std::string users;
  int n = 0;
  for (const auto& c : cases)
    users += "<User a=\"u" + std::to_string(n++) + "\" b=\"\" c=\"" + c.word +
             "\" d=\"\" e=\"\" f=\"\" g=\"\" h=\"{U" + std::to_string(n) + "}\"/>";
  WriteFile(dir.File("active.xml"),
            Xml("<PROJECT ID=\"{P1}\"><Groups/><Users>" + users + "</Users></PROJECT>"));
  Import("active.xml");
  auto rs = conn->Query("SELECT Active FROM qmUsers ORDER BY ID");
  for (const auto& c : cases) {
    ASSERT_FALSE(rs->IsEOF());
    EXPECT_EQ(rs->ValueAt(0).ToLong(), c.stored) << c.word;
    rs->MoveNext();
  }
}

TEST_F(ProjSecurityMoverTest, NewProjectGetsNewGuidsAndUsersFollowTheirGroups) {
  auto groups = MakeRecordset(kGroupCols, {{"A", "", 1, 1, 1, 1, 1, "{G1}", int32_t{1}},
                                           {"B", "", 2, 2, 2, 2, 2, "{G2}", int32_t{2}}});
  auto users = MakeRecordset(kUserCols, {{"u1", "", 1, "", "", "B", "{G2}", "{U1}"},
                                         {"u2", "", 1, "", "", "A", "{G1}", "{U2}"}});
  Export(ProjectRow(groups, users), "p.xml");

  data.ProjectFlags = 1;
  Import("p.xml");
  EXPECT_EQ(Count("qmUserGroups"), 2);
  EXPECT_EQ(Count("qmUsers"), 2);
  EXPECT_EQ(
      conn->Scalar("SELECT COUNT(*) FROM qmUserGroups WHERE QMGUID IN ('{G1}','{G2}')",
                   {})
          .ToLong(),
      0);
  EXPECT_EQ(conn->Scalar("SELECT COUNT(*) FROM qmUsers WHERE QMGUID IN ('{U1}','{U2}') "
                         "OR QMGUID = '' OR QMGUID IS NULL",
                         {})
                .ToLong(),
            0);
  // Each user points at the new key of its own group, which the key map
  // still finds under the GUID of the document.
  EXPECT_EQ(Row("SELECT u.LoginName, g.NAME FROM qmUsers u JOIN qmUserGroups g "
                "ON g.ID = u.GroupID ORDER BY u.LoginName"),
            "u1|B|\nu2|A|\n");
  EXPECT_EQ(db->keys->getKeyFromGUID("Group", "{G2}"),
            conn->Scalar("SELECT ID FROM qmUserGroups WHERE NAME = 'B'", {}).ToLong());
}

TEST_F(ProjSecurityMoverTest, WrongContextRaises23002AndReadsNothing) {
  WriteFile(dir.File("ok.xml"),
            Xml("<PROJECT ID=\"{P1}\"><Groups><Group h=\"x\"/></Groups></PROJECT>"));
  std::string before = Dump();
  data.ClassName = "QmDataMover.SomethingElse";
  try {
    Import("ok.xml");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), eMsg_ExpectedDataDescObject);
    EXPECT_EQ(e.Source(), "ProjSecurityMover.IMover_ReadData");
  }
  EXPECT_EQ(Dump(), before);

  data.ClassName = "qmdatamover.datadescriptor";  // the check ignores case
  Import("ok.xml");
  EXPECT_EQ(Count("qmUserGroups"), 1);
}

TEST_F(ProjSecurityMoverTest, ParseErrorKeepsTheParserCodeAndWritesNothing) {
  WriteFile(dir.File("bad.xml"), Xml("<PROJECT ID=\"{P1}\"><Groups></PROJECT>"));
  std::string before = Dump();
  try {
    Import("bad.xml");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), pugi::status_end_element_mismatch);
  }
  EXPECT_EQ(Dump(), before);
}

TEST_F(ProjSecurityMoverTest, BadPasswordFailsTheUserStepAfterTheGroupsWereSent) {
  WriteFile(dir.File("pw.xml"), Xml("<PROJECT ID=\"{P1}\"><Groups><Group a=\"G\" b=\"\" "
                                    "c=\"\" d=\"\" e=\"\" f=\"\" "
                                    "g=\"\" h=\"{G1}\"/></Groups><Users><User a=\"u\" "
                                    "b=\"97;x;\" c=\"1\" d=\"\" e=\"\" "
                                    "f=\"\" g=\"{G1}\" h=\"{U1}\"/></Users></PROJECT>"));
  try {
    Import("pw.xml");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), eErr_TypeMismatch);
    EXPECT_EQ(e.Source(), "ProjSecurityMover.CreateUsersDBElement_");
    EXPECT_EQ(e.Description().rfind("Import of the users and groups from the file " +
                                        dir.File("pw.xml") + " failed. ",
                                    0),
              0u)
        << e.Description();
  }
  EXPECT_EQ(Count("qmUserGroups"), 1);
  EXPECT_EQ(Count("qmUsers"), 0);
}

TEST_F(ProjSecurityMoverTest, DocumentWithoutGroupsReadsItsUsersAsUsers) {
  WriteFile(dir.File("u.xml"), Xml("<PROJECT ID=\"{P1}\"><Users><User a=\"solo\" b=\"\" "
                                   "c=\"True\" d=\"\" e=\"\" f=\"\" "
                                   "g=\"{G0}\" h=\"{U1}\"/></Users></PROJECT>"));
  Import("u.xml");
  EXPECT_EQ(Count("qmUserGroups"), 0);
  EXPECT_EQ(Row("SELECT LoginName FROM qmUsers"), "solo|\n");
}

}  // namespace
}  // namespace qmxml::testing
