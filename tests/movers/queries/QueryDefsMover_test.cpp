// Saved queries: the query engine's two forms and the component's own
// GUID-to-key rewrite agreeing on a table of hand-written queries, the GUID
// collection, the choice of administrator, the host pieces made
// unavailable, and the query document both ways.
#include "movers/queries/QueryDefsMover.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "TestSupport.h"
#include "host/HostServices.h"
#include "qmxml/Error.h"

namespace qmxml::testing {
namespace {

using movers::query_text::ListGuids;
using movers::query_text::RewriteToKeys;

constexpr const char* kP = "{00000000-0000-0000-0000-0000000000AA}";
constexpr const char* kT3 = "{30000000-0000-0000-0000-000000000003}";
constexpr const char* kA5 = "{50000000-0000-0000-0000-000000000005}";  // list
constexpr const char* kI51 = "{51000000-0000-0000-0000-000000000051}";
constexpr const char* kA6 = "{60000000-0000-0000-0000-000000000006}";  // text
constexpr const char* kA7 = "{70000000-0000-0000-0000-000000000007}";  // integer
constexpr const char* kA8 = "{80000000-0000-0000-0000-000000000008}";  // date
constexpr const char* kA9 = "{90000000-0000-0000-0000-000000000009}";  // multi-select
constexpr const char* kI91 = "{91000000-0000-0000-0000-000000000091}";
constexpr const char* kU2 = "{E0000000-0000-0000-0000-000000000002}";
constexpr const char* kD4 = "{D0000000-0000-0000-0000-000000000004}";
constexpr const char* kAuthorKey = "{B9FA1576-4209-11D4-9A75-0010A4F40007}";
constexpr const char* kStatus = "{B9FA1588-4209-11D4-9A75-0010A4F40007}";
constexpr const char* kTracedTo = "{B9FA1586-4209-11D4-9A75-0010A4F40007}";

std::string G(const char* guid) { return guid; }


class QueryTest : public DbFixture {
 protected:
  void SetUp() override {
    DbFixture::SetUp();
    key_file = dir.File("cipher.key");
    WriteFile(key_file, PasswordCipher::NewKeyText());
    setenv(kCipherKeyVariable, key_file.c_str(), 1);
    const std::string pw = PasswordCipher().Encipher("s3cret");
    conn->ExecuteScript(
        "INSERT INTO qmProjects (ID, Name, QMGUID) VALUES (1, 'P', '" + G(kP) +
        "');"
        "INSERT INTO qmRequirementTypes (ID, NAME, QMGUID) VALUES (3, 'FEAT', '" +
        G(kT3) +
        "');"
        "INSERT INTO qmProjectRequirementTypes VALUES (1, 3);"
        "INSERT INTO qmUserDefinedFields (ID, Label, DataType, QMGUID) VALUES (5, "
        "'Priority', 0, '" +
        G(kA5) + "'), (6, 'Note', 1, '" + G(kA6) + "'), (7, 'Effort', 2, '" + G(kA7) +
        "'), (8, 'Due', 4, '" + G(kA8) + "'), (9, 'Platforms', 10, '" + G(kA9) +
        "');"
        "INSERT INTO qmRequirementTypeFields VALUES (3, 5), (3, 6), (3, 7), (3, 8), (3, "
        "9);"
        "INSERT INTO qmUserDefinedListItems (ITEMID, FIELDID, ItemText, QMGUID) VALUES "
        "(51, 5, 'High', '" +
        G(kI51) + "'), (91, 9, 'Linux', '" + G(kI91) +
        "');"
        "INSERT INTO qmDocuments (ID, Name, QMGUID) VALUES (4, 'Spec', '" +
        G(kD4) +
        "');"
        "INSERT INTO qmProjectDocuments VALUES (1, 4);"
        "INSERT INTO qmUserGroups (ID, NAME) VALUES (1, 'Administrators'), (2, "
        "'Engineers');"
        "INSERT INTO qmProjectUsers (PROJECTID, USERGROUPID) VALUES (1, 1), (1, 2);"
        "INSERT INTO qmUsers (ID, LoginName, Password, Active, GroupID, QMGUID) VALUES "
        "(1, 'directory', 'DirectoryLoginOnly', 1, 1, "
        "'{E0000000-0000-0000-0000-000000000001}'),"
        "(2, 'retired', '" +
        pw + "', 0, 1, '" + G(kU2) +
        "'),"
        "(3, 'admin', '" +
        pw +
        "', 1, 1, '{E0000000-0000-0000-0000-000000000003}'),"
        "(4, 'engineer', '" +
        pw + "', 1, 2, '{E0000000-0000-0000-0000-000000000004}');");
    project = std::make_shared<HostProject>(conn, 1, kP);
  }
  void TearDown() override {
    unsetenv(kCipherKeyVariable);
    DbFixture::TearDown();
  }

  // Validate2 and QueryString: the printed form, or "#<code>: <message>".
  std::string Engine(const std::string& query, int32_t from, int32_t to) {
    QueryEngine engine;
    std::string message;
    std::shared_ptr<ParsedQuery> parsed;
    int32_t rc = engine.Validate2(1, from, project.get(), query, message, parsed);
    if (rc != 0) return "#" + std::to_string(rc) + ": " + message;
    return parsed->QueryString(to);
  }

  std::string key_file;
  std::shared_ptr<HostProject> project;
};

// Hand-written queries in key form, with the GUID form the engine prints.
struct Written {
  std::string key_form;
  std::string guid_form;
};

std::vector<Written> HandWritten() {
  return {
      {"ReqType.Key = 3", "ReqType.Guid = " + G(kT3)},
      {"ReqType.Key = 3 AND Attr[5] = 51",
       "ReqType.Guid = " + G(kT3) + " AND Attr[" + G(kA5) + "] = " + G(kI51)},
      {"Attr[5] <> 0", "Attr[" + G(kA5) + "] <> <NO ENTRY>"},
      {"Attr[5] = \"<no entry>\" OR Attr[7] >= 5",
       "Attr[" + G(kA5) + "] = \"<no entry>\" OR Attr[" + G(kA7) + "] >= 5"},
      {"Attr[9] CONTAINS 91", "Attr[" + G(kA9) + "] CONTAINS " + G(kI91)},
      {"NOT (Attr[6] CONTAINS \"sus\\x70ect \\x7Bcode\\x7D\" OR Attr[6] = "
       "\"ReqType\\x2EGuid\")",
       "NOT (Attr[" + G(kA6) + "] CONTAINS \"sus\\x70ect \\x7Bcode\\x7D\" OR Attr[" +
           G(kA6) + "] = \"ReqType\\x2EGuid\")"},
      {"Attr[8] < #2024-01-31# AND Attr[-15] > #2020-01-01 10:00:00#",
       "Attr[" + G(kA8) +
           "] < #2024-01-31# AND Attr[{B9FA1581-4209-11D4-9A75-0010A4F40007}] > "
           "#2020-01-01 10:00:00#"},
      {"Req.Author = 2 AND Req.Location = 4",
       "Req.Author = " + G(kU2) + " AND Req.Location = " + G(kD4)},
      {"Attr[-6] = 2 OR Attr[-8] = 0",
       "Attr[" + G(kAuthorKey) + "] = " + G(kU2) +
           " OR Attr[{B9FA1579-4209-11D4-9A75-0010A4F40007}] = <NO ENTRY>"},
      {"Attr[-20] = 3 AND Attr[-22] = 1", "Attr[" + G(kTracedTo) + "] = " + G(kT3) +
                                              " AND Attr[" + G(kStatus) + "] = suspect"},
      {"Attr[-22] = 0 AND Attr[-18] = \"Pump \\x3CA\\x3E\" AND Attr[-1] >= 10",
       "Attr[" + G(kStatus) +
           "] = 0 AND Attr[{B9FA1584-4209-11D4-9A75-0010A4F40007}] = \"Pump "
           "\\x3CA\\x3E\" AND Attr[{B9FA1571-4209-11D4-9A75-0010A4F40007}] >= 10"},
      {"((Attr[7] = 1.5))", "((Attr[" + G(kA7) + "] = 1.5))"},
  };
}

TEST_F(QueryTest, EnginePrintsEachFormFromTheOther) {
  for (const Written& w : HandWritten()) {
    EXPECT_EQ(Engine(w.key_form, kKeyForm, kGuidForm), w.guid_form) << w.key_form;
    EXPECT_EQ(Engine(w.guid_form, kGuidForm, kKeyForm), w.key_form) << w.guid_form;
    EXPECT_EQ(Engine(w.key_form, kKeyForm, kKeyForm), w.key_form) << w.key_form;
  }
  // Texts print escaped wherever a text rewrite could take them for a
  // GUID, a fixed word or the empty value, in both forms alike.
  EXPECT_EQ(
      Engine(
          "Attr[6] = \"{a} <no entry> Suspect reqtype.GUID @@##@@3150 \\\"q\\\" \\\\\"",
          kKeyForm, kKeyForm),
      "Attr[6] = \"\\x7Ba\\x7D \\x3Cno entry\\x3E Sus\\x70ect reqtype\\x2EGUID "
      "\\x40\\x40\\x23\\x23\\x40\\x403150 \\\"q\\\" \\\\\"");
  // Keywords in any case and free spacing print in the one layout.
  EXPECT_EQ(Engine("reqtype.key=3 and not(attr[7]>=2)or attr[6] contains \"x\"", kKeyForm,
                   kKeyForm),
            "ReqType.Key = 3 AND NOT (Attr[7] >= 2) OR Attr[6] CONTAINS \"x\"");
  // A number no key can be is a wrong token like any other (it once
  // escaped the engine as an overflow).
  for (const char* q : {"Attr[77777777777777777777] = 1", "Req.Author = 99999999999",
                        "ReqType.Key = 3 AND Attr[-6] = 4e12"})
    EXPECT_EQ(Engine(q, kKeyForm, kKeyForm).rfind("#1: position", 0), 0u) << q;
}

TEST_F(QueryTest, TheOwnRewriteAgreesWithTheEngine) {
  // The key map finds the stored objects by GUID, as in an import into the
  // database that holds them; the built-in attributes come from the
  // system-attribute object.
  SystemAttributes system;
  for (const Written& w : HandWritten())
    EXPECT_EQ(RewriteToKeys(w.guid_form, *db->keys, &system), w.key_form) << w.guid_form;
  EXPECT_TRUE(db->keys->Dangling().empty());
}

// ---- the document ----

class QueryDocTest : public QueryTest {
 protected:
  ObjectPtr ProjectRows(std::vector<std::vector<Variant>> queries) {
    auto project = MakeRecordset({"ID", "QMGUID", "Queries"},
                                 {{Variant(int32_t{1}), Variant(kP), Variant()}});
    auto rows = MakeRecordset(
        {"QUERYNAME", "QMGUID", "queryuserid", "queryusername", "QUERYDATETIME",
         "QUERYREASON", "QUERYBASETYPE", "QUERYDESCRIPTION", "QUERYSTRING"},
        queries);
    project->Set("Queries", Variant(ObjectPtr(rows)));
    return project;
  }
  void Write(ObjectPtr rows) {
    movers::QueryDefsMover mover;
    auto src = Source("queries.xml");
    mover.WriteData(src.get(), &data, rows, &scheduler);
  }
  void Read() {
    movers::QueryDefsMover mover;
    auto rows = std::make_shared<Collection>();
    auto rs = conn->Query("SELECT * FROM QmQueryDefinitions WHERE 0");
    rs->Bind(conn.get(), "QmQueryDefinitions");
    rows->Add(Variant(ObjectPtr(rs)), "QmQueryDefinitions");
    ObjectPtr o = rows;
    auto src = Source("queries.xml");
    mover.ReadData(src.get(), &data, o, &scheduler);
  }
  std::vector<Variant> Query(const char* guid, const std::string& text) {
    return {Variant("Q"),
            Variant(guid),
            Variant(kU2),
            Variant("Retired"),
            Variant("2024-05-06 07:08:09"),
            Variant("r"),
            Variant(int32_t{1}),
            Variant("d"),
            Variant(text)};
  }
};

TEST_F(QueryDocTest, WritesGuidFormAndReadsBackTheSameKeyForm) {
  const std::string first = "ReqType.Key = 3 AND Attr[5] = 51",
                    second = "Attr[-22] = 1 OR Req.Location = 4";
  Write(ProjectRows({Query("{C1000000-0000-0000-0000-000000000001}", first),
                     Query("{C2000000-0000-0000-0000-000000000002}", second),
                     Query("{C3000000-0000-0000-0000-000000000003}", "Attr[99] = 1"),
                     Query("{C4000000-0000-0000-0000-000000000004}", "")}));
  const std::string text = ReadFile(dir.File("queries.xml"));
  EXPECT_NE(
      text.find("<QUERYDEF Name=\"Q\" ID=\"{C1000000-0000-0000-0000-000000000001}\" "
                "queryuserid=\"" +
                G(kU2) +
                "\" queryusername=\"Retired\" querydatetime=\"2024-05-06 07:08:09\" "
                "queryreason=\"r\" "
                "querybasetype=\"1\">\n\t\t\t<QUERYDESCRIPTION>d</"
                "QUERYDESCRIPTION>\n\t\t\t<QUERYSTRING>"
                "ReqType.Guid = " +
                G(kT3) + " AND Attr[" + G(kA5) + "] = " + G(kI51) + "</QUERYSTRING>"),
      std::string::npos)
      << text;
  // A query that names an attribute the project does not have is written
  // without its text; an empty text stays empty.
  EXPECT_NE(text.find("<QUERYSTRING />"), std::string::npos);

  // Kept GUIDs: the engine converts on the target project.
  db->keys->Remember("Project", kP, 1);
  Read();
  EXPECT_EQ(QueryText(*conn,
                      "SELECT ID, PROJECTID, QUERYUSERID, QUERYBASETYPE, QUERYSTRING, "
                      "QMGUID FROM QmQueryDefinitions ORDER BY ID"),
            "1|1|2|1|" + first +
                "|{C1000000-0000-0000-0000-000000000001}|\n"
                "2|1|2|1|" +
                second +
                "|{C2000000-0000-0000-0000-000000000002}|\n"
                "3|1|2|1||{C3000000-0000-0000-0000-000000000003}|\n"
                "4|1|2|1||{C4000000-0000-0000-0000-000000000004}|\n");
  // The one text the engine refused on writing is counted; reading lost
  // nothing more.
  EXPECT_EQ(db->keys->Losses(),
            (std::map<std::string, long>{
                {"query text(s) written empty (the query engine did not accept them)", 1}}));
}

// An engine that fails on every text with an error of its own (as a parser
// that gives up on a text too deeply nested does).
class FailingEngine : public QueryEngine {
 public:
  int32_t Validate2(int32_t, int32_t, HostProject*, const std::string&, std::string&,
                    std::shared_ptr<ParsedQuery>&) override {
    throw Error(eErr_InvalidArgument, "QmQueryEngine.QueryEngine", "nested too deeply");
  }
};

TEST_F(QueryDocTest, EveryCauseOfAFailedConversionEmptiesTheTextsAndSaysWhyOnce) {
  // Each cause, arranged on the source database, the key file or the
  // services: both queries are written empty, the move goes on, and one
  // loss kind counts both, naming the cause.
  const std::string other_key = dir.File("other.key");
  WriteFile(other_key, PasswordCipher::NewKeyText());
  struct Cause {
    const char* name;
    std::function<void(ServiceRegistry&)> arrange;
    std::string reason;  // a part of the counted kind
  };
  const std::vector<Cause> causes = {
      {"no key file", [&](ServiceRegistry&) { setenv(kCipherKeyVariable, dir.File("missing.key").c_str(), 1); },
       "\"admin\" does not decipher: the password cipher cannot read its key file " +
           dir.File("missing.key")},
      {"another key", [&](ServiceRegistry&) { setenv(kCipherKeyVariable, other_key.c_str(), 1); },
       "\"admin\" does not decipher: a stored password does not open with the key in " +
           other_key},
      {"a password edited by hand",
       [&](ServiceRegistry&) {
         conn->ExecuteScript("UPDATE qmUsers SET Password = 'plain' WHERE ID = 3");
       },
       "\"admin\" does not decipher"},
      {"no active administrator",
       [&](ServiceRegistry&) {
         conn->ExecuteScript("UPDATE qmUsers SET Active = 0 WHERE ID = 3");
       },
       "no active administrator with a stored password"},
      {"no host application", [](ServiceRegistry& services) { services.Disable(kProgIdHostApp); },
       "the host application (Specto40.Application) is not available"},
      {"an engine that fails",
       [](ServiceRegistry& services) {
         services.Register(kProgIdQueryEngine,
                           [](const ServiceRegistry&) { return std::make_shared<FailingEngine>(); });
       },
       "the query engine did not accept them"},
  };
  for (const Cause& cause : causes) {
    SCOPED_TRACE(cause.name);
    conn->ExecuteScript("UPDATE qmUsers SET Password = '" +
                        PasswordCipher(key_file).Encipher("s3cret") + "', Active = 1 WHERE ID = 3");
    setenv(kCipherKeyVariable, key_file.c_str(), 1);
    ServiceRegistry services;
    TransferState run;
    run.services = &services;
    data.Run = &run;
    db->keys = std::make_shared<KeyMap>(conn.get());
    cause.arrange(services);
    Write(ProjectRows({Query("{C1000000-0000-0000-0000-000000000001}", "ReqType.Key = 3"),
                       Query("{C2000000-0000-0000-0000-000000000002}", "Attr[5] = 51")}));
    const std::string text = ReadFile(dir.File("queries.xml"));
    EXPECT_EQ(text.find("<QUERYSTRING>"), std::string::npos) << text;
    ASSERT_EQ(db->keys->Losses().size(), 1u);
    EXPECT_EQ(db->keys->Losses().begin()->second, 2);
    EXPECT_NE(db->keys->Losses().begin()->first.find(cause.reason), std::string::npos)
        << db->keys->Losses().begin()->first;
    EXPECT_EQ(db->keys->Losses().begin()->first.find("s3cret"), std::string::npos);
    data.Run = nullptr;
  }
}

}  // namespace
}  // namespace qmxml::testing
