// ReqIF export and import: the sample validates against the ReqIF schema
// and comes back from a round trip row for row and byte for byte; files in
// the style of other tools map onto the project model; untidy files are
// counted, unreadable ones refused, and a refused import changes nothing.
#include "qmxml/Reqif.h"

#include <cstdlib>

#include "TestSupport.h"
#include "qmxml/Error.h"
#include "movers/content/PackageXml.h"
#include "reqif/ReqifArchive.h"
#include "reqif/ReqifNames.h"
#include "sample/SampleProject.h"
#include "frame/Guid.h"

namespace qmxml::testing {
namespace {

// xmllint's verdict on |file| against the ReqIF schema, offline through the
// schema folder's catalog (0 when it validates).
int ValidateReqif(const std::string& file) {
  const std::string dir = std::string(QMXML_SCHEMA_DIR) + "/reqif";
  const std::string cmd = "XML_CATALOG_FILES='" + dir +
                          "/catalog.xml' xmllint --nonet --noout --schema '" + dir +
                          "/reqif.xsd' '" + file + "' >/dev/null 2>&1";
  return WEXITSTATUS(std::system(cmd.c_str()));
}

// What ReqIF carries of a project, by GUID: requirement types, attributes
// of the types with their list items, requirements (not the deleted ones)
// with their full texts and values, packages with their members, traces.
std::string CarriedRows(const std::string& db) {
  auto conn = OpenProjectDatabase(db);
  const std::string live = "COALESCE(r.Deleted, 0) = 0";
  const std::string linked = "(SELECT USERDEFINEDFIELDID FROM qmRequirementTypeFields)";
  std::string out;
  for (const std::string& sql : std::vector<std::string>{
           "SELECT QMGUID, NAME, DESCRIPTION, RequirementPrefix FROM qmRequirementTypes "
           "ORDER BY QMGUID",
           "SELECT QMGUID, Label, DataType, DESCRIPTION FROM qmUserDefinedFields WHERE "
           "ID IN " +
               linked + " ORDER BY QMGUID",
           "SELECT i.QMGUID, f.QMGUID, i.ItemText, i.ItemRank FROM "
           "qmUserDefinedListItems i JOIN "
           "qmUserDefinedFields f ON f.ID = i.FIELDID WHERE f.ID IN " +
               linked + " ORDER BY i.QMGUID",
           "SELECT r.QMGUID, t.QMGUID, r.Tag, r.RequirementPrefix, r.RequirementName, "
           "r.RequirementText, r.OverflowIND, o.OverflowText, r.VersionDateTime FROM "
           "qmRequirements r "
           "JOIN qmRequirementTypes t ON t.ID = r.RequirementTypeID LEFT JOIN "
           "QmOverflowText o ON "
           "o.OverFlowID = r.ID WHERE " +
               live + " ORDER BY r.QMGUID",
           "SELECT r.QMGUID, f.QMGUID, v.FieldValue, v.OVERFLOWIND, v.NumericValue, "
           "o.OverflowFieldValue "
           "FROM qmUserDefinedFieldValues v JOIN qmRequirements r ON r.ID = "
           "v.REQUIREMENTID JOIN "
           "qmUserDefinedFields f ON f.ID = v.FIELDID LEFT JOIN QmOverflowValues o ON "
           "o.OverFlowRequirementID = v.REQUIREMENTID AND o.OverFlowFieldID = v.FIELDID "
           "WHERE " +
               live + " ORDER BY 1, 2",
           "SELECT r.QMGUID, f.QMGUID, i.QMGUID FROM qmUserDefinedListValues l JOIN "
           "qmRequirements r ON "
           "r.ID = l.RequirementID JOIN qmUserDefinedFields f ON f.ID = l.FieldID JOIN "
           "qmUserDefinedListItems i ON i.ITEMID = l.ListItemID WHERE " +
               live + " ORDER BY 1, 2, 3",
           "SELECT p.QMGUID, p.NAME, p.DESCRIPTION, q.QMGUID FROM QmPackages p LEFT JOIN "
           "QmPackages q "
           "ON q.ID = p.PARENTID ORDER BY p.QMGUID",
           "SELECT p.QMGUID, r.QMGUID FROM QmPackageElements e JOIN QmPackages p ON p.ID "
           "= e.PACKAGEID "
           "JOIN qmRequirements r ON r.ID = e.REQUIREMENTID WHERE " +
               live + " ORDER BY 1, 2",
           "SELECT r.QMGUID, b.QMGUID, t.Type, t.VersionDateTime FROM QmToRelationships "
           "t JOIN "
           "qmRequirements r ON r.ID = t.RequirementID JOIN qmRequirements b ON b.ID = "
           "t.ToID WHERE " +
               live + " AND COALESCE(b.Deleted, 0) = 0 ORDER BY 1, 2, 3"})
    out += QueryText(*conn, sql) + "--\n";
  return out;
}

// The resources of the requirements ReqIF carries, by GUID: name, type,
// the requirement's GUID and the bytes.
std::string ResourceRows(const std::string& db) {
  auto conn = OpenProjectDatabase(db);
  auto rs = conn->Query(
      "SELECT s.QMGUID, s.NAME, s.TYPE, r.QMGUID AS Owner, s.RESOURCEOBJ FROM "
      "QmResources s JOIN qmRequirements r ON r.ID = s.REQUIREMENTID WHERE "
      "COALESCE(r.Deleted, 0) = 0 ORDER BY s.QMGUID");
  std::string out;
  for (; !rs->IsEOF(); rs->MoveNext()) {
    for (const char* column : {"QMGUID", "NAME", "TYPE", "Owner"})
      out += rs->Value(column).ToText() + "|";
    const auto bytes = movers::package_xml::ResourceBytes(rs->Value("RESOURCEOBJ"));
    out.append(bytes.begin(), bytes.end()).append("\n");
  }
  return out;
}

// The ReqIF file of the archive |path|, written to |file|.
void UnpackReqif(const std::string& path, const std::string& file) {
  reqif::ArchiveReader archive(path);
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(archive.ReadEntry(archive.ReqifEntry(), &bytes));
  WriteFile(file, std::string(bytes.begin(), bytes.end()));
}

class ReqifRoundTrip : public ::testing::TestWithParam<std::string> {
 protected:
  TempDir dir;
  TestDatabases dbs{GetParam(), dir};
};

INSTANTIATE_TEST_SUITE_P(Databases, ReqifRoundTrip, ::testing::ValuesIn(Backends()),
                         [](const auto& info) { return info.param; });

TEST_P(ReqifRoundTrip, SampleComesBackRowForRowAndByteForByte) {
  const std::string source = dbs.New("source.db"), copy = dbs.New("copy.db");
  {
    auto conn = CreateProjectDatabase(source);
    SampleOptions opts;
    opts.requirements = 300;
    opts.seed = 5;
    opts.key_file = dir.File("sample.key");
    FillSampleProject(*conn, opts);
  }
  setenv("SOURCE_DATE_EPOCH", "1700000000", 1);
  auto exported = ExportReqif(source, dir.File("a.reqif"), {});
  EXPECT_EQ(ValidateReqif(dir.File("a.reqif")), 0);
  EXPECT_GT(exported.written.at("SPEC-RELATION"), 0);

  ReqifImportOptions strict;
  strict.strict = true;
  auto imported = ImportReqif(dir.File("a.reqif"), copy, strict);
  EXPECT_TRUE(imported.skipped.empty());
  EXPECT_EQ(CarriedRows(source), CarriedRows(copy));
  ExportReqif(copy, dir.File("b.reqif"), {});
  EXPECT_EQ(ReadFile(dir.File("a.reqif")), ReadFile(dir.File("b.reqif")));

  // A second import with the file's GUIDs is refused and changes nothing;
  // a copy goes in beside the original.
  const std::string before = DatabaseText(*OpenProjectDatabase(copy));
  try {
    ImportReqif(dir.File("a.reqif"), copy, {});
    ADD_FAILURE() << "a second import with kept GUIDs was taken";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), eErr_ProjectExists);
  }
  EXPECT_EQ(before, DatabaseText(*OpenProjectDatabase(copy)));
  ReqifImportOptions as_copy;
  as_copy.new_guids = true;
  EXPECT_NE(ImportReqif(dir.File("a.reqif"), copy, as_copy).project_guid,
            exported.project_guid);

  // One package alone: still a valid file, with fewer objects.
  ReqifExportOptions one;
  one.packages = {"1"};
  auto part = ExportReqif(source, dir.File("p.reqif"), one);
  EXPECT_EQ(ValidateReqif(dir.File("p.reqif")), 0);
  EXPECT_LT(part.written.at("SPEC-OBJECT"), exported.written.at("SPEC-OBJECT"));

  // As an archive: the resources travel as attachments and come back byte
  // for byte; the archive of the imported project is the same bytes.
  const std::string zipped = dbs.New("zipped.db");
  auto archived = ExportReqif(source, dir.File("a.reqifz"), {});
  EXPECT_GT(archived.written.at("attachment"), 0);
  UnpackReqif(dir.File("a.reqifz"), dir.File("inner.reqif"));
  EXPECT_EQ(ValidateReqif(dir.File("inner.reqif")), 0);
  EXPECT_TRUE(ImportReqif(dir.File("a.reqifz"), zipped, strict).skipped.empty());
  EXPECT_EQ(ResourceRows(source), ResourceRows(zipped));
  EXPECT_EQ(CarriedRows(source), CarriedRows(zipped));
  std::filesystem::create_directory(dir.File("b"));
  ExportReqif(zipped, dir.File("b/a.reqifz"), {});
  EXPECT_EQ(ReadFile(dir.File("a.reqifz")), ReadFile(dir.File("b/a.reqifz")));
  unsetenv("SOURCE_DATE_EPOCH");
}

TEST(ReqifExport, ChecksWhatTheSchemaCannotAndLeavesNoFileWhenItFails) {
  TempDir dir;
  {
    auto conn = CreateProjectDatabase(dir.File("s.db"));
    SampleOptions opts;
    opts.requirements = 40;
    opts.key_file = dir.File("s.key");
    FillSampleProject(*conn, opts);
    // A character XML 1.0 cannot carry is left out and counted; the file
    // stays valid.
    conn->Execute(
        "UPDATE qmRequirements SET RequirementText = 'bell' || char(7) WHERE ID = 2");
  }
  auto summary = ExportReqif(dir.File("s.db"), dir.File("a.reqif"), {});
  EXPECT_EQ(ValidateReqif(dir.File("a.reqif")), 0);
  EXPECT_EQ(
      summary.left_out
          .at("texts with control characters XML 1.0 cannot carry (left out of the text)")
          .count,
      1);
  // A GUID that cannot make an identifier fails the export before the
  // file is named: the earlier export stays as it was, no part is left.
  OpenProjectDatabase(dir.File("s.db"))
      ->Execute("UPDATE qmRequirements SET QMGUID = 'R-7' WHERE ID = 7");
  const std::string before = ReadFile(dir.File("a.reqif"));
  try {
    ExportReqif(dir.File("s.db"), dir.File("a.reqif"), {});
    ADD_FAILURE() << "exported a requirement without a GUID";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), eErr_ReqifReference);
  }
  EXPECT_EQ(before, ReadFile(dir.File("a.reqif")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("a.reqif.part")));
}

TEST(ReqifNames, IdentifiersGiveTheirGuidsBackAndTimesConvertBothWays) {
  const std::string guid = "{6F9619FF-8B86-D011-B42D-00c04fc964ff}",
                    other = "{0A1B2C3D-0000-4000-8000-00000000000F}";
  EXPECT_EQ(reqif::IdOfGuid(guid), "_6F9619FF8B86D011B42D00c04fc964ff");
  EXPECT_EQ(reqif::GuidOfId(reqif::IdOfGuid(guid)), guid);  // the digits' case kept
  EXPECT_EQ(reqif::SecondGuidOfPair(reqif::IdOfPair(guid, other)), other);
  for (const char* foreign : {"REQ-1", "_123", "_6F9619FF8B86D011B42D00C04FC964FG", ""})
    EXPECT_EQ(reqif::GuidOfId(foreign), "") << foreign;
  EXPECT_EQ(reqif::IdOfGuid("6F9619FF-8B86-D011-B42D-00C04FC964FF"), "");
  EXPECT_EQ(reqif::NameBasedGuid("REQ-1"), reqif::NameBasedGuid("REQ-1"));
  EXPECT_NE(reqif::NameBasedGuid("REQ-1"), reqif::NameBasedGuid("REQ-2"));
  EXPECT_TRUE(frame::IsGuidShaped(reqif::NameBasedGuid("REQ-1")));

  const std::pair<const char*, const char*> stored_to_iso[] = {
      {"2024-05-17 09:30:00", "2024-05-17T09:30:00"},
      {"2024-05-17", "2024-05-17T00:00:00"},
      {"17.05.2024", ""},
      {"2024-05-17 9:30", ""}};
  for (const auto& [stored, iso] : stored_to_iso)
    EXPECT_EQ(reqif::IsoDateTime(stored), iso) << stored;
  const std::pair<const char*, const char*> iso_to_stored[] = {
      {"2024-05-17T09:30:00", "2024-05-17 09:30:00"},
      {"2024-05-17T09:30:00.250Z", "2024-05-17 09:30:00"},
      {"2024-05-17T09:30:00+02:00", "2024-05-17 09:30:00"},
      {"2024-05-17T09:30:00Q", ""},
      {"2024-05-17", ""},
      {"2024-05-17T09:30:00.", ""}};
  for (const auto& [iso, stored] : iso_to_stored)
    EXPECT_EQ(reqif::StoredDateTime(iso), stored) << iso;
  for (const char* yes : {"0", "-5", "+7", "2147483647", "-2147483648"})
    EXPECT_TRUE(reqif::IsInteger(yes)) << yes;
  for (const char* no : {"", "-", "1.0", "2147483648", "12a"})
    EXPECT_FALSE(reqif::IsInteger(no)) << no;
  for (const char* yes : {"2.5", "2.5E0", ".5", "5.", "-1e-3"})
    EXPECT_TRUE(reqif::IsReal(yes)) << yes;
  for (const char* no : {"", ".", "1e", "INF", "NaN", "1,5"})
    EXPECT_FALSE(reqif::IsReal(no)) << no;
}

// ---- files from other tools ----

std::string ForeignFile() { return std::string(QMXML_REQIF_DIR) + "/foreign.reqif"; }

TEST(ReqifForeign, OtherToolsFileMapsOntoTheProjectModel) {
  TempDir dir;
  auto summary = ImportReqif(ForeignFile(), dir.File("a.db"), {});
  auto conn = OpenProjectDatabase(dir.File("a.db"));
  // Headings nest as packages; each SPECIFICATION is a top-level package;
  // a shared object is a member of both; nested requirements flatten into
  // their heading's package.
  EXPECT_EQ(
      QueryText(
          *conn,
          "SELECT p.NAME, COALESCE(q.NAME, '-'), COUNT(e.REQUIREMENTID) FROM QmPackages "
          "p "
          "LEFT JOIN QmPackages q ON q.ID = p.PARENTID LEFT JOIN QmPackageElements e ON "
          "e.PACKAGEID = p.ID GROUP BY p.ID, p.NAME, q.NAME ORDER BY p.ID"),
      "System|-|0|\nBraking|System|0|\nEmergency|Braking|2|\nTests|-|1|\n");
  // Text from the type's XHTML attribute: paragraphs and items as lines,
  // nested markup dropped, characters kept; tag and prefix from ForeignID.
  EXPECT_EQ(QueryText(*conn,
                      "SELECT Tag, RequirementPrefix, RequirementName, RequirementText "
                      "FROM qmRequirements ORDER BY ID"),
            "17|BRK-||The brake shall hold the vehicle <&> still.\r\non slopes\r\nwhen "
            "parked|\n"
            "18|BRK-|Wear|Pads\r\nwear out.|\n");
  // Every data type, and both kinds of enumeration.
  EXPECT_EQ(
      QueryText(
          *conn,
          "SELECT f.Label, f.DataType, v.FieldValue, v.NumericValue FROM "
          "qmUserDefinedFieldValues v JOIN qmUserDefinedFields f ON f.ID = v.FIELDID "
          "ORDER BY f.ID"),
      "Priority|2|3|3|\nWeight|3|2.5E0|2.5|\nDue|4|2024-06-30|45473|\nSafety|1|true|0|"
      "\n");
  EXPECT_EQ(
      QueryText(
          *conn,
          "SELECT f.Label, f.DataType, i.ItemText FROM qmUserDefinedListValues l "
          "JOIN qmUserDefinedFields f ON f.ID = l.FieldID JOIN qmUserDefinedListItems "
          "i ON i.ITEMID = l.ListItemID ORDER BY f.ID, i.ItemRank"),
      "ASIL|0|D|\nVariants|10|EU|\nVariants|10|US|\n");
  EXPECT_EQ(QueryText(*conn, "SELECT Type FROM QmToRelationships"), "1|\n");
  // What ReqIF holds and the project cannot: counted, with where to look.
  ASSERT_EQ(summary.skipped.size(), 2u);
  EXPECT_EQ(summary.skipped.at("relation groups (not carried)").count, 2);
  EXPECT_EQ(summary.skipped.at("tool extensions (not carried)").first,
            "<REQ-IF-TOOL-EXTENSION> at line 120");

  // The same file gives the same GUIDs again (a copy apart).
  auto again = ImportReqif(ForeignFile(), dir.File("b.db"), {});
  EXPECT_EQ(again.project_guid, summary.project_guid);
  const std::string guids = "SELECT QMGUID FROM qmRequirements ORDER BY ID";
  EXPECT_EQ(QueryText(*conn, guids),
            QueryText(*OpenProjectDatabase(dir.File("b.db")), guids));
}

// ---- untidy and unreadable files ----

// A ReqIF file whose content (inside REQ-IF-CONTENT) is |content|.
std::string Reqif(const std::string& content) {
  return "<?xml version=\"1.0\"?>\n<REQ-IF "
         "xmlns=\"http://www.omg.org/spec/ReqIF/20110401/reqif.xsd\">"
         "<THE-HEADER><REQ-IF-HEADER "
         "IDENTIFIER=\"h\"><CREATION-TIME>2024-01-01T00:00:00</CREATION-TIME>"
         "<REQ-IF-TOOL-ID>t</REQ-IF-TOOL-ID><REQ-IF-VERSION>1.0</"
         "REQ-IF-VERSION><SOURCE-TOOL-ID>t"
         "</SOURCE-TOOL-ID><TITLE>x</TITLE></REQ-IF-HEADER></"
         "THE-HEADER>\n<CORE-CONTENT><REQ-IF-CONTENT>" +
         content + "</REQ-IF-CONTENT></CORE-CONTENT></REQ-IF>\n";
}

// One type with an integer and a single-valued enumeration attribute, and
// objects |objects| of it.
std::string Untidy(const std::string& objects) {
  return Reqif(
      "<DATATYPES><DATATYPE-DEFINITION-INTEGER IDENTIFIER=\"I\" MIN=\"0\" MAX=\"9\"/>"
      "<DATATYPE-DEFINITION-ENUMERATION IDENTIFIER=\"E\"><SPECIFIED-VALUES><ENUM-VALUE "
      "IDENTIFIER=\"e1\" "
      "LONG-NAME=\"one\"/></SPECIFIED-VALUES></DATATYPE-DEFINITION-ENUMERATION></"
      "DATATYPES>"
      "<SPEC-TYPES><SPEC-OBJECT-TYPE IDENTIFIER=\"T\"><SPEC-ATTRIBUTES>"
      "<ATTRIBUTE-DEFINITION-INTEGER "
      "IDENTIFIER=\"AI\"><TYPE><DATATYPE-DEFINITION-INTEGER-REF>I"
      "</DATATYPE-DEFINITION-INTEGER-REF></TYPE></ATTRIBUTE-DEFINITION-INTEGER>"
      "<ATTRIBUTE-DEFINITION-ENUMERATION IDENTIFIER=\"AE\" MULTI-VALUED=\"false\"><TYPE>"
      "<DATATYPE-DEFINITION-ENUMERATION-REF>E</DATATYPE-DEFINITION-ENUMERATION-REF></"
      "TYPE>"
      "</ATTRIBUTE-DEFINITION-ENUMERATION></SPEC-ATTRIBUTES></SPEC-OBJECT-TYPE></"
      "SPEC-TYPES>\n"
      "<SPEC-OBJECTS>" +
      objects + "</SPEC-OBJECTS>");
}

std::string Object(const std::string& id, const std::string& type,
                   const std::string& values = "") {
  return "<SPEC-OBJECT IDENTIFIER=\"" + id + "\"><TYPE><SPEC-OBJECT-TYPE-REF>" + type +
         "</SPEC-OBJECT-TYPE-REF></TYPE><VALUES>" + values + "</VALUES></SPEC-OBJECT>\n";
}

const std::string kBadInteger =
    "<ATTRIBUTE-VALUE-INTEGER "
    "THE-VALUE=\"many\"><DEFINITION><ATTRIBUTE-DEFINITION-INTEGER-REF>AI"
    "</ATTRIBUTE-DEFINITION-INTEGER-REF></DEFINITION></ATTRIBUTE-VALUE-INTEGER>";
const std::string kOutsideEnum =
    "<ATTRIBUTE-VALUE-ENUMERATION><DEFINITION><ATTRIBUTE-DEFINITION-ENUMERATION-REF>AE"
    "</ATTRIBUTE-DEFINITION-ENUMERATION-REF></DEFINITION><VALUES><ENUM-VALUE-REF>e9</"
    "ENUM-VALUE-REF>"
    "</VALUES></ATTRIBUTE-VALUE-ENUMERATION>";

TEST(ReqifUntidy, InconsistenciesAreSkippedAndCountedWithTheFirstExample) {
  TempDir dir;
  WriteFile(dir.File("u.reqif"),
            Untidy(Object("a", "T", kBadInteger + kOutsideEnum) + Object("a", "T") +
                   Object("b", "NOPE") + Object("c", "T", kBadInteger)));
  auto summary = ImportReqif(dir.File("u.reqif"), dir.File("u.db"), {});
  std::map<std::string, long> counts;
  for (const auto& [kind, note] : summary.skipped) counts[kind] = note.count;
  EXPECT_EQ(counts, (std::map<std::string, long>{
                        {"enumeration values outside their type", 1},
                        {"identifiers used twice (later ones skipped)", 1},
                        {"objects whose type is missing", 1},
                        {"values that do not fit their data type", 2}}));
  EXPECT_EQ(summary.skipped.at("values that do not fit their data type").first,
            "<SPEC-OBJECT IDENTIFIER=\"a\"> at line 4: \"many\"");
  EXPECT_EQ(summary.rows_added.at("qmRequirements"), 2);
}

struct BadInput {
  const char* name;
  std::string text;
  bool strict;
  int32_t number;
  const char* says;  // a part of the message
};

class ReqifRefused : public ::testing::TestWithParam<BadInput> {};

INSTANTIATE_TEST_SUITE_P(
    Files, ReqifRefused,
    ::testing::Values(
        BadInput{"NotWellFormed", Reqif("<SPEC-OBJECTS><SPEC-OBJECT></SPEC-OBJECTS>"),
                 false, eErr_ReqifUnreadable, "at line 3, column"},
        BadInput{"NotReqif", "<?xml version=\"1.0\"?>\n<REQ-IF/>\n", false,
                 eErr_ReqifUnreadable,
                 "not a ReqIF file: its root is not a REQ-IF element"},
        BadInput{"Doctype",
                 "<?xml version=\"1.0\"?>\n<!DOCTYPE x [<!ENTITY a \"b\">]><REQ-IF/>",
                 false, eErr_ReqifUnreadable, "DOCTYPE"},
        BadInput{"NoHeader",
                 "<REQ-IF xmlns=\"http://www.omg.org/spec/ReqIF/20110401/reqif.xsd\"/>",
                 false, eErr_ReqifUnreadable, "no REQ-IF-HEADER"},
        BadInput{"DamagedArchive", std::string("PK\3\4\x14\0\0\0", 8), false,
                 eErr_ReqifArchive, "cannot be read as a zip archive"},
        BadInput{"UntidyWithStrict", Untidy(Object("a", "T", kOutsideEnum)), true,
                 eErr_ReqifSkipped,
                 "enumeration values outside their type: 1, first <SPEC-OBJECT "
                 "IDENTIFIER=\"a\">"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_P(ReqifRefused, FailsWithItsReasonAndChangesNothing) {
  TempDir dir;
  const BadInput& bad = GetParam();
  WriteFile(dir.File("bad.reqif"), bad.text);
  // Into a database that holds a project, and into one the import creates.
  ImportReqif(ForeignFile(), dir.File("held.db"), {});
  const std::string before = DatabaseText(*OpenProjectDatabase(dir.File("held.db")));
  ReqifImportOptions options;
  options.strict = bad.strict;
  for (const std::string db : {dir.File("held.db"), dir.File("new.db")}) {
    try {
      ImportReqif(dir.File("bad.reqif"), db, options);
      ADD_FAILURE() << "taken into " << db;
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), bad.number);
      EXPECT_NE(e.Description().find(bad.says), std::string::npos) << e.Description();
    }
  }
  EXPECT_EQ(before, DatabaseText(*OpenProjectDatabase(dir.File("held.db"))));
  EXPECT_FALSE(std::filesystem::exists(dir.File("new.db")));
}

// An archive from elsewhere whose entries try to leave its folder: they
// are never read, the objects naming them are counted, the rest comes in;
// --strict refuses it and the database stays as it was.
TEST(ReqifArchive, EntriesLeadingOutsideAreNeverReadAndStrictRefuses) {
  TempDir dir;
  std::string objects;
  for (const char* data : {"../evil.txt", "/abs.txt", "files/ok%201.txt", "files/none"})
    objects += std::string("<xhtml:object data=\"") + data + "\">" +
               (data[0] == 'f' ? "ok" : "x") + "</xhtml:object>";
  WriteFile(
      dir.File("h.reqif"),
      Reqif("<DATATYPES><DATATYPE-DEFINITION-XHTML IDENTIFIER=\"X\"/></DATATYPES>"
            "<SPEC-TYPES><SPEC-OBJECT-TYPE IDENTIFIER=\"T\"><SPEC-ATTRIBUTES>"
            "<ATTRIBUTE-DEFINITION-XHTML IDENTIFIER=\"AX\" LONG-NAME=\"ReqIF.Text\">"
            "<TYPE><DATATYPE-DEFINITION-XHTML-REF>X</DATATYPE-DEFINITION-XHTML-REF></TYPE>"
            "</ATTRIBUTE-DEFINITION-XHTML></SPEC-ATTRIBUTES></SPEC-OBJECT-TYPE></SPEC-TYPES>"
            "<SPEC-OBJECTS>" +
            Object("o", "T",
                   "<ATTRIBUTE-VALUE-XHTML><THE-VALUE><xhtml:div "
                   "xmlns:xhtml=\"http://www.w3.org/1999/xhtml\">see" +
                       objects +
                       "</xhtml:div></THE-VALUE><DEFINITION><ATTRIBUTE-DEFINITION-"
                       "XHTML-REF>AX</ATTRIBUTE-DEFINITION-XHTML-REF></DEFINITION>"
                       "</ATTRIBUTE-VALUE-XHTML>") +
            "</SPEC-OBJECTS>"));
  {
    // Named .bin: an archive is known by its signature.
    reqif::ArchiveWriter zip(dir.File("h.bin"), 0);
    zip.AddFile("h.reqif", dir.File("h.reqif"));
    for (const char* name : {"../evil.txt", "/abs.txt", "files/ok 1.txt", "z.reqif"})
      zip.AddFetched(name, [] { return std::vector<uint8_t>{'f', 'i', 'n', 'e'}; });
    zip.Close();
  }
  auto summary = ImportReqif(dir.File("h.bin"), dir.File("a.db"), {});
  std::map<std::string, long> counts;
  for (const auto& [kind, note] : summary.skipped) counts[kind] = note.count;
  EXPECT_EQ(counts,
            (std::map<std::string, long>{
                {"archive entries whose names lead outside the archive (not read)", 2},
                {"embedded objects naming no file of the archive (not carried)", 3},
                {"ReqIF files of the archive after the first (not read)", 1}}));
  auto conn = OpenProjectDatabase(dir.File("a.db"));
  EXPECT_EQ(QueryText(*conn, "SELECT RequirementText FROM qmRequirements"), "see|\n");
  EXPECT_EQ(QueryText(*conn, "SELECT NAME, TYPE, CAST(RESOURCEOBJ AS TEXT) FROM QmResources"),
            "ok|text/plain|fine|\n");
  EXPECT_FALSE(std::filesystem::exists(dir.Path().parent_path() / "evil.txt"));

  const std::string before = DatabaseText(*conn);
  ReqifImportOptions strict;
  strict.strict = true;
  strict.new_guids = true;  // refused for what it skips, not as a second import
  try {
    ImportReqif(dir.File("h.bin"), dir.File("a.db"), strict);
    ADD_FAILURE() << "a hostile archive was taken with --strict";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), eErr_ReqifSkipped);
  }
  EXPECT_EQ(before, DatabaseText(*OpenProjectDatabase(dir.File("a.db"))));
}

// An archive whose entry declares more than an import reads is refused
// before a byte is unpacked, and changes nothing.
TEST(ReqifArchive, DeclaredSizesOverTheLimitAreRefused) {
  TempDir dir;
  WriteFile(dir.File("a.reqif"), Reqif(""));
  {
    reqif::ArchiveWriter zip(dir.File("bomb.reqifz"), 0);
    zip.AddFile("a.reqif", dir.File("a.reqif"));
    zip.Close();
  }
  // The uncompressed size, in the local header and in the central directory.
  std::string bytes = ReadFile(dir.File("bomb.reqifz"));
  const size_t central = bytes.find("PK\1\2");
  ASSERT_NE(central, std::string::npos);
  for (size_t at : {size_t{22}, central + 24}) bytes.replace(at, 4, "\0\0\0\x70", 4);
  WriteFile(dir.File("bomb.reqifz"), bytes);
  try {
    ImportReqif(dir.File("bomb.reqifz"), dir.File("b.db"), {});
    ADD_FAILURE() << "a zip bomb was read";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), eErr_ReqifArchive);
    EXPECT_NE(e.Description().find("unpacks to more than 1536 MiB"), std::string::npos)
        << e.Description();
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("b.db")));
}

}  // namespace
}  // namespace qmxml::testing
