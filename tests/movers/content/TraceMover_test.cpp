// Tests of TraceMover: the trace document it writes, the relationship rows
// it reads back (by attribute position, with both requirement GUIDs
// resolved through the key map) and its failures.
#include "movers/content/TraceMover.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "TestSupport.h"
#include "frame/Components.h"
#include "frame/MoverRegistry.h"
#include "transfer/Rows.h"
#include "xml/XmlDoc.h"
#include "xml/Files.h"

namespace qmxml::testing {
namespace {

constexpr const char* kProject = "{00000000-0000-0000-0000-0000000000AA}";
constexpr const char* kReqA = "{00000000-0000-0000-0000-00000000000A}";
constexpr const char* kReqB = "{00000000-0000-0000-0000-00000000000B}";
constexpr const char* kReqC = "{00000000-0000-0000-0000-00000000000C}";

const std::vector<std::string> kTraceColumns = {"ReqGUID", "ToReqGUID", "State",
                                                "Type",    "Name",      "VersionDateTime"};

class TraceMoverTest : public DbFixture {
 protected:
  // Writes |rs| to |file| and returns the document text.
  std::string Write(const std::shared_ptr<Recordset>& rs, const std::string& file = "traces.xml") {
    movers::TraceMover mover;
    ObjectPtr rows = rs;
    auto src = Source(file);
    mover.WriteData(src.get(), &data, rows, &scheduler);
    return ReadFile(dir.File(file));
  }

  // Reads |file| into this fixture's database through a fresh target set.
  void Read(const std::string& file = "traces.xml") {
    target = transfer::TargetRecordset(*conn, "QmToRelationships");
    auto rows = std::make_shared<Collection>();
    rows->Add(Variant(std::static_pointer_cast<Object>(target)), "QmToRelationships");
    ObjectPtr o = rows;
    movers::TraceMover mover;
    auto src = Source(file);
    mover.ReadData(src.get(), &data, o, &scheduler);
  }

  // A stored requirement whose key the transfer recorded under |xml_guid|.
  int32_t AddRequirement(const std::string& xml_guid, const std::string& stored_guid) {
    int32_t key = db->keys->GetNextDBKey("Requirement", xml_guid);
    conn->Run("INSERT INTO qmRequirements (ID, QMGUID) VALUES (?, ?)",
              {Variant(key), Variant(stored_guid)});
    return key;
  }

  void AddProject() {
    int32_t key = db->keys->GetNextDBKey("Project", kProject);
    conn->Run("INSERT INTO qmProjects (ID, QmGUID) VALUES (?, ?)", {Variant(key), Variant(kProject)});
  }

  // The stored traces, one "from|extFrom|to|extTo|State|Type|Name|Stamp" line each.
  std::vector<std::string> Traces(Connection& c) {
    std::vector<std::string> out;
    auto rs = c.Query(
        "SELECT RequirementID, ExternalProjectID, ToID, ExternalProjectToID, State, Type, Name, "
        "VersionDateTime FROM QmToRelationships "
        "ORDER BY RequirementID, ToID");
    for (; !rs->IsEOF(); rs->MoveNext()) {
      std::string line;
      for (int i = 0; i < 8; ++i) {
        Variant v = rs->ValueAt(i);
        line += (v.IsNull() ? std::string("NULL") : v.ToText()) + (i < 7 ? "|" : "");
      }
      out.push_back(line);
    }
    return out;
  }

  std::shared_ptr<Recordset> target;
};

std::string Doc(const std::string& traces) {
  return std::string("<?xml version=\"1.0\" standalone=\"yes\"?>\n<Project ID=\"") + kProject +
         "\" XMLVersion=\"2\">\n\t<Traces>\n" + traces + "\t</Traces>\n</Project>\n";
}

TEST_F(TraceMoverTest, WritesEveryTraceWithItsSixAttributesInOrder) {
  data.Data = Variant(kProject);
  auto rs = MakeRecordset(kTraceColumns,
                          {{Variant(kReqC), Variant(kReqC), Variant(9), Variant(9), Variant("skipped"),
                            Variant("2001-01-01 00:00:00")},
                           {Variant(kReqA), Variant(kReqB), Variant(1), Variant(2), Variant("  a & b "),
                            Variant("2009-03-01 14:05:00")},
                           {Variant(kReqB), Variant(kReqA), Variant::Null(), Variant(int32_t{0}),
                            Variant::Null(), Variant::Null()}});
  rs->MoveNext();  // the writer starts at the current row
  EXPECT_EQ(Write(rs),
            Doc(std::string("\t\t<TraceTo ReqGUID=\"") + kReqA + "\" ToReqGUID=\"" + kReqB +
                "\" State=\"1\" Type=\"2\" Name=\"a &amp; b\" VersionDateTime=\"2009-03-01 "
                "14:05:00\" />\n\t\t<TraceTo ReqGUID=\"" + kReqB + "\" ToReqGUID=\"" + kReqA +
                "\" State=\"0\" Type=\"0\" Name=\"\" VersionDateTime=\"\" />\n"));
  EXPECT_TRUE(rs->IsEOF());
}

TEST_F(TraceMoverTest, EmptyRowSetWritesTheProjectElementOnly) {
  data.Data = Variant(kProject);
  EXPECT_EQ(Write(MakeRecordset(kTraceColumns, {})),
            std::string("<?xml version=\"1.0\" standalone=\"yes\"?>\n<Project ID=\"") + kProject +
                "\" XMLVersion=\"2\" />\n");
}

TEST_F(TraceMoverTest, DocumentIsSavedEvenWhenAskedToHandItBack) {
  data.ReturnAsXMLStream = true;
  Write(MakeRecordset(kTraceColumns, {{Variant(kReqA), Variant(kReqB), Variant(1), Variant(1),
                                       Variant("n"), Variant("2009-03-01 14:05:00")}}));
  EXPECT_TRUE(xml::FileExists(dir.File("traces.xml")));
  EXPECT_EQ(scheduler.XMLDoc, nullptr);
}

TEST_F(TraceMoverTest, WithoutConversionServiceNoDocumentIsWritten) {
  ServiceRegistry::Current().Disable(kProgIdConversion);
  Write(MakeRecordset(kTraceColumns, {{Variant(kReqA), Variant(kReqB), Variant(1), Variant(1),
                                       Variant("n"), Variant("2009-03-01 14:05:00")}}));
  EXPECT_FALSE(xml::FileExists(dir.File("traces.xml")));
}

TEST_F(TraceMoverTest, WriteFailureIsReportedAsFailedTraceExport) {
  movers::TraceMover mover;
  ObjectPtr rows = MakeRecordset(kTraceColumns, {});
  auto src = Source("missing-folder/traces.xml");
  try {
    mover.WriteData(src.get(), &data, rows, &scheduler);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), eErr_FileNotFound);
    // The file is named once, the reason follows it.
    std::string failed = frame::ResourceStringV(
        eMsg_DownloadFailed, {frame::ResourceString(eMsg_Trace), src->file_path});
    failed.back() = ':';
    EXPECT_EQ(e.Description().rfind(failed, 0), 0u) << e.Description();
    EXPECT_EQ(e.Description().find(src->file_path), e.Description().rfind(src->file_path));
  }
}

// Attributes are taken by position: whatever the names, position 2 is the
// state and position 3 the type; missing positions give Null.
struct PositionalCase {
  const char* what;
  std::string attrs;  // after ReqGUID and ToReqGUID
  std::string row;    // State|Type|Name|Stamp as stored
};

TEST_F(TraceMoverTest, ReadsTraceAttributesByPosition) {
  const PositionalCase cases[] = {
      {"writer order", R"(State="3" Type="4" Name=" n " VersionDateTime="2009-03-01 14:05:00")",
       "3|4|n|2009-03-01 14:05:00"},
      {"state and type swapped", R"(Type="4" State="3" Name="n" VersionDateTime="x")", "4|3|n|x"},
      {"renamed attributes", R"(a="5" b="6" c="m" d="y")", "5|6|m|y"},
      {"not numeric", R"(State="12x" Type="" Name="n" VersionDateTime="")", "0|0|n|"},
      {"stamp missing", R"(State="1" Type="2" Name="n")", "1|2|n|NULL"},
      {"only the two GUIDs", "", "NULL|NULL||NULL"},
  };
  int32_t a = AddRequirement(kReqA, kReqA);
  int32_t b = AddRequirement(kReqB, kReqB);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    conn->Execute("DELETE FROM QmToRelationships");
    WriteFile(dir.File("traces.xml"),
              Doc(std::string("<TraceTo ReqGUID=\"") + kReqA + "\" ToReqGUID=\"" + kReqB + "\" " +
                  c.attrs + "/>\n"));
    Read();
    EXPECT_EQ(Traces(*conn), std::vector<std::string>{std::to_string(a) + "|0|" + std::to_string(b) +
                                                      "|0|" + c.row});
  }
}

TEST_F(TraceMoverTest, RenewedRequirementGuidsStillResolveToTheirRows) {
  // The requirements were copied with new GUIDs; the key map knows them by
  // the GUIDs of the document.
  data.ProjectFlags = 1;
  AddProject();
  int32_t a = AddRequirement(kReqA, "{11111111-0000-0000-0000-00000000000A}");
  int32_t b = AddRequirement(kReqB, "{11111111-0000-0000-0000-00000000000B}");
  int32_t c = AddRequirement(kReqC, "{11111111-0000-0000-0000-00000000000C}");
  WriteFile(dir.File("traces.xml"),
            Doc(std::string("<TraceTo ReqGUID=\"") + kReqC + "\" ToReqGUID=\"" + kReqA +
                R"(" State="1" Type="0" Name="" VersionDateTime=""/>)" + "<TraceTo ReqGUID=\"" +
                kReqA + "\" ToReqGUID=\"" + kReqB +
                R"(" State="0" Type="1" Name="" VersionDateTime=""/>)"));
  Read();
  auto s = [](int32_t k) { return std::to_string(k); };
  EXPECT_EQ(Traces(*conn), (std::vector<std::string>{s(a) + "|0|" + s(b) + "|0|0|1||",
                                                     s(c) + "|0|" + s(a) + "|0|1|0||"}));
  EXPECT_TRUE(db->keys->Dangling().empty());
}

TEST_F(TraceMoverTest, UnknownRequirementStopsTheReadBeforeTheBatch) {
  AddRequirement(kReqA, kReqA);
  AddRequirement(kReqB, kReqB);
  WriteFile(dir.File("traces.xml"),
            Doc(std::string("<TraceTo ReqGUID=\"") + kReqA + "\" ToReqGUID=\"" + kReqB +
                R"(" State="1" Type="1" Name="" VersionDateTime=""/>)" + "<TraceTo ReqGUID=\"" +
                kReqA + R"(" ToReqGUID="{unknown}" State="1" Type="1" Name="" VersionDateTime=""/>)"));
  const std::string before = Dump();
  try {
    Read();
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), eErr_Dangling);
    EXPECT_EQ(e.Source(), "TraceMover.CreateTracesDBElement_");
    EXPECT_EQ(e.Description().rfind(
                  frame::ResourceStringV(eMsg_UploadFailed, {frame::ResourceString(eMsg_Trace),
                                                             dir.File("traces.xml")}),
                  0),
              0u);
  }
  EXPECT_EQ(Dump(), before);
  EXPECT_EQ(target->PendingRows(), 1u);  // left to the caller
}

TEST_F(TraceMoverTest, DocumentThatDoesNotParseLeavesTheDatabaseUnchanged) {
  AddRequirement(kReqA, kReqA);
  WriteFile(dir.File("traces.xml"),
            std::string("<?xml version=\"1.0\"?><Project ID=\"x\"><Traces><TraceTo ReqGUID=\"") +
                kReqA + "\" ToReqGUID=\"" + kReqA + "\"/></Trace></Project>");
  const std::string before = Dump();
  try {
    Read();
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), static_cast<int32_t>(pugi::status_end_element_mismatch));
    EXPECT_NE(e.Description().find("Import of the traceability"), std::string::npos);
  }
  EXPECT_EQ(Dump(), before);
  EXPECT_EQ(target->RecordCount(), 0u);
}

TEST_F(TraceMoverTest, NothingIsAddedWithoutKeyMapOrTargetSet) {
  AddRequirement(kReqA, kReqA);
  WriteFile(dir.File("traces.xml"),
            Doc(std::string("<TraceTo ReqGUID=\"") + kReqA + "\" ToReqGUID=\"" + kReqA + "\"/>\n"));
  movers::TraceMover mover;
  auto src = Source("traces.xml");

  ObjectPtr other = std::make_shared<Collection>();  // no QmToRelationships in it
  mover.ReadData(src.get(), &data, other, &scheduler);
  db->keys.reset();
  Read();
  EXPECT_EQ(Count("QmToRelationships"), 0);
  EXPECT_EQ(target->RecordCount(), 0u);
}

TEST_F(TraceMoverTest, RoundTripCarriesEveryTraceToTheRequirementsOfTheTarget) {
  // Source project: requirements 1..3 and their traces.
  auto source = CreateProjectDatabase(dir.File("source.db"));
  const char* guids[] = {kReqA, kReqB, kReqC};
  for (int i = 0; i < 3; ++i)
    source->Run("INSERT INTO qmRequirements (ID, QMGUID) VALUES (?, ?)",
                {Variant(int32_t{i + 1}), Variant(guids[i])});
  source->Execute(
      "INSERT INTO QmToRelationships VALUES (1, 0, 2, 0, 1, 0, 'a to b', '2009-03-01 14:05:00'),"
      " (3, 0, 1, 0, 0, 2, 'c to a', '2010-12-31 23:59:59'), (2, 7, 3, 8, 1, 1, '', NULL)");
  data.Data = Variant(kProject);
  Write(source->Query(
      "SELECT r.QMGUID AS ReqGUID, t.QMGUID AS ToReqGUID, x.State, x.Type, x.Name, "
      "x.VersionDateTime FROM QmToRelationships x JOIN qmRequirements r ON r.ID = x.RequirementID "
      "JOIN qmRequirements t ON t.ID = x.ToID ORDER BY x.RequirementID"));

  // Target project: the same requirements under other keys, moved earlier
  // in this transfer.
  AddRequirement("{padding}", "{padding}");
  int32_t c = AddRequirement(kReqC, kReqC);
  int32_t a = AddRequirement(kReqA, kReqA);
  int32_t b = AddRequirement(kReqB, kReqB);
  Read();
  auto s = [](int32_t k) { return std::to_string(k); };
  // The external project keys are not carried; a Null stamp comes back as
  // the empty text the writer put into the document.
  std::vector<std::string> expected = {s(a) + "|0|" + s(b) + "|0|1|0|a to b|2009-03-01 14:05:00",
                                       s(b) + "|0|" + s(c) + "|0|1|1||",
                                       s(c) + "|0|" + s(a) + "|0|0|2|c to a|2010-12-31 23:59:59"};
  std::sort(expected.begin(), expected.end());
  std::vector<std::string> got = Traces(*conn);
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, expected);
}

TEST(TraceMoverFactory, FactoryMakesTheTraceMover) {
  MoverPtr m = movers::NewTraceMover();
  EXPECT_NE(std::dynamic_pointer_cast<movers::TraceMover>(m), nullptr);
  EXPECT_EQ(m->ClassID(), 20);
}

}  // namespace
}  // namespace qmxml::testing
