// The sample-project generator: reproducible content, references that all
// resolve, sizes that follow the requested count, and texts in the forms the
// host stores (CR LF, code 26 for bars, overflow rows beyond the in-row
// capacities).
#include "sample/SampleProject.h"

#include <regex>

#include "TestSupport.h"
#include "qmxml/Error.h"
#include "qmxml/Variant.h"

namespace qmxml::testing {
namespace {

// Every row of every table in insertion order: the same generator run must
// write the same rows in the same order.
std::string DumpOf(Connection& c) {
  std::string out;
  auto tables =
      c.Query("SELECT name FROM sqlite_master WHERE type='table' ORDER BY name");
  for (; !tables->IsEOF(); tables->MoveNext()) {
    std::string t = tables->Value("name").ToText();
    auto rows = c.Query("SELECT * FROM " + t + " ORDER BY rowid");
    out += "[" + t + "]\n";
    for (; !rows->IsEOF(); rows->MoveNext()) {
      for (size_t i = 0; i < rows->Columns().size(); ++i)
        out += rows->ValueAt(static_cast<int>(i)).ToText() + "|";
      out += "\n";
    }
  }
  return out;
}

std::string Stored(std::string text) {
  for (char& ch : text)
    if (ch == '|') ch = '\x1A';
  return text;
}

class SampleProjectTest : public DbFixture {
 protected:
  SampleSummary Fill(int requirements, uint32_t seed = 1) {
    SampleOptions opts;
    opts.requirements = requirements;
    opts.seed = seed;
    return FillSampleProject(*conn, opts);
  }
  long Q(const std::string& sql) { return conn->Scalar(sql, {}).ToLong(); }
};

TEST_F(SampleProjectTest, SameSeedGivesTheSameContentAndAnotherSeedDoesNot) {
  SampleSummary first = Fill(300, 7);
  auto same = CreateProjectDatabase(dir.File("same.db"));
  auto other = CreateProjectDatabase(dir.File("other.db"));
  SampleOptions opts;
  opts.requirements = 300;
  opts.seed = 7;
  opts.key_file = db_path + ".key";  // passwords are enciphered with the same key
  SampleSummary second = FillSampleProject(*same, opts);
  opts.seed = 8;
  SampleSummary third = FillSampleProject(*other, opts);

  EXPECT_EQ(DumpOf(*conn), DumpOf(*same));
  EXPECT_EQ(first.project_guid, second.project_guid);
  EXPECT_NE(first.project_guid, third.project_guid);
  EXPECT_NE(DumpOf(*conn), DumpOf(*other));
}

TEST_F(SampleProjectTest, SummaryCountsTheRowsAndNamesTheProject) {
  SampleSummary s = Fill(250);
  EXPECT_EQ(s.project_key, 1);
  EXPECT_EQ(conn->LookupValue("SELECT QMGUID FROM qmProjects WHERE ID = 1", "QMGUID"),
            s.project_guid);
  EXPECT_TRUE(std::regex_match(
      s.project_guid,
      std::regex(
          R"(\{[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}\})")));
  EXPECT_EQ(s.Rows("qmrequirements"), 250);
  EXPECT_EQ(s.Rows("QmPackages"), 3);
  EXPECT_EQ(s.Rows("qmUserDefinedFieldValues"), Count("qmUserDefinedFieldValues"));
  EXPECT_EQ(s.Rows("no such table"), 0);
}

// Every key column that names a row of another table, and the column it
// names.
struct Reference {
  const char* table;
  const char* column;
  const char* target;
  const char* target_column;
};
const Reference kReferences[] = {
    {"qmProjects", "AuthorID", "qmUsers", "ID"},
    {"qmProjects", "VersionUserID", "qmUsers", "ID"},
    {"qmProjectHistory", "ProjectID", "qmProjects", "ID"},
    {"qmProjectHistory", "VersionUserID", "qmUsers", "ID"},
    {"qmUsers", "GroupID", "qmUserGroups", "ID"},
    {"qmProjectUsers", "USERGROUPID", "qmUserGroups", "ID"},
    {"qmDocumentTypeUsers", "DOCUMENTTYPEID", "qmDocumentTypes", "ID"},
    {"qmDocumentTypeUsers", "USERGROUPID", "qmUserGroups", "ID"},
    {"qmRequirementTypeUsers", "REQUIREMENTTYPEID", "qmRequirementTypes", "ID"},
    {"qmUserDefinedFieldUsers", "FIELDID", "qmUserDefinedFields", "ID"},
    {"qmUserDefinedListItemUsers", "LISTITEMID", "qmUserDefinedListItems", "ITEMID"},
    {"qmPackageUsers", "packageid", "QmPackages", "ID"},
    {"qmPackageUsers", "usergroupid", "qmUserGroups", "ID"},
    {"qmProjectRequirementTypes", "REQUIREMENTTYPEID", "qmRequirementTypes", "ID"},
    {"qmRequirementTypeFields", "REQUIREMENTTYPEID", "qmRequirementTypes", "ID"},
    {"qmRequirementTypeFields", "USERDEFINEDFIELDID", "qmUserDefinedFields", "ID"},
    {"qmUserDefinedListItems", "FIELDID", "qmUserDefinedFields", "ID"},
    {"qmDocumentTypes", "DefaultRequirementType", "qmRequirementTypes", "ID"},
    {"qmProjectDocumentTypes", "DocumentTypeID", "qmDocumentTypes", "ID"},
    {"qmDocuments", "DocumentTypeID", "qmDocumentTypes", "ID"},
    {"qmDocuments", "VersionUserID", "qmUsers", "ID"},
    {"qmProjectDocuments", "DocumentID", "qmDocuments", "ID"},
    {"qmDocumentHistory", "DocumentID", "qmDocuments", "ID"},
    {"QmUserDefinedDocRelValues", "DOCUMENTID", "qmDocuments", "ID"},
    {"QmUserDefinedDocRelValues", "RELATEDITEMID", "qmUserDefinedListItems", "ITEMID"},
    {"qmRequirements", "RequirementTypeID", "qmRequirementTypes", "ID"},
    {"qmRequirements", "BookmarkDocumentID", "qmDocuments", "ID"},
    {"qmRequirements", "VersionUserID", "qmUsers", "ID"},
    {"qmProjectRequirements", "RequirementID", "qmRequirements", "ID"},
    {"qmRequirementHistory", "RequirementID", "qmRequirements", "ID"},
    {"qmRequirementHistory", "VersionUserID", "qmUsers", "ID"},
    {"QmOverflowText", "OverFlowID", "qmRequirements", "ID"},
    {"qmUserDefinedFieldValues", "REQUIREMENTID", "qmRequirements", "ID"},
    {"qmUserDefinedFieldValues", "FIELDID", "qmUserDefinedFields", "ID"},
    {"QmOverflowValues", "OverFlowRequirementID", "qmRequirements", "ID"},
    {"QmOverflowValues", "OverFlowFieldID", "qmUserDefinedFields", "ID"},
    {"qmUserDefinedListValues", "RequirementID", "qmRequirements", "ID"},
    {"qmUserDefinedListValues", "ListItemID", "qmUserDefinedListItems", "ITEMID"},
    {"QmOverflowHistory", "OverFlowID", "qmRequirements", "ID"},
    {"QmResources", "REQUIREMENTID", "qmRequirements", "ID"},
    {"QmToRelationships", "RequirementID", "qmRequirements", "ID"},
    {"QmToRelationships", "ToID", "qmRequirements", "ID"},
    {"QmPackages", "PARENTID", "QmPackages", "ID"},
    {"QmPackageElements", "PACKAGEID", "QmPackages", "ID"},
    {"QmPackageElements", "DOCUMENTID", "qmDocuments", "ID"},
    {"QmPackageElements", "VIEWID", "QmViews", "ID"},
    {"QmPackageElements", "REQUIREMENTID", "qmRequirements", "ID"},
    {"QmQueryDefinitions", "QUERYUSERID", "qmUsers", "ID"},
    {"QmViews", "REQUIREMENTTYPEID", "qmRequirementTypes", "ID"},
    {"QmViews", "SECONDARYREQTYPEID", "qmRequirementTypes", "ID"},
    {"QmViews", "QUERYID", "QmQueryDefinitions", "ID"},
    {"QmViews", "SECONDARYQUERYID", "QmQueryDefinitions", "ID"},
    {"QmViews", "VIEWUSERID", "qmUsers", "ID"},
    {"QmDiscussions", "AuthorID", "qmUsers", "ID"},
    {"QmDiscussions", "RootID", "QmDiscussions", "ID"},
    {"QmDiscussions", "ParentID", "QmDiscussions", "ID"},
    {"QmProjectDiscussions", "DiscussionID", "QmDiscussions", "ID"},
    {"QmDiscussionRequirements", "RequirementID", "qmRequirements", "ID"},
    {"QmDiscussionUsers", "UserID", "qmUsers", "ID"},
    {"QmDiscussionGroups", "UserGroupID", "qmUserGroups", "ID"},
    {"QmDiscussionsRead", "DiscussionID", "QmDiscussions", "ID"},
    {"QmDiscussionsRead", "UserID", "qmUsers", "ID"},
    {"qmProjectExternalProjects", "ExternalProjectID", "qmExternalProjects", "ID"},
};

TEST_F(SampleProjectTest, EveryReferenceNamesAnExistingRow) {
  Fill(400);
  for (const Reference& r : kReferences) {
    std::string col = std::string(r.table) + "." + r.column;
    EXPECT_GT(Q(std::string("SELECT COUNT(") + r.column + ") FROM " + r.table), 0)
        << col << " is never set";
    EXPECT_EQ(Q(std::string("SELECT COUNT(*) FROM ") + r.table + " WHERE " + r.column +
                " IS NOT NULL AND " + r.column + " NOT IN (SELECT " + r.target_column +
                " FROM " + r.target + ")"),
              0)
        << col;
  }
}

TEST_F(SampleProjectTest, ValuesBelongToTheirRequirementsTypeAndPackage) {
  Fill(400);
  // A value's attribute is linked to the requirement's type.
  const char* kUnlinked[] = {"qmUserDefinedFieldValues v", "qmUserDefinedListValues v"};
  EXPECT_EQ(
      Q(std::string("SELECT COUNT(*) FROM ") + kUnlinked[0] +
        " JOIN qmRequirements r ON r.ID = v.REQUIREMENTID WHERE NOT EXISTS (SELECT 1 "
        "FROM "
        "qmRequirementTypeFields l WHERE l.REQUIREMENTTYPEID = r.RequirementTypeID AND "
        "l.USERDEFINEDFIELDID = v.FIELDID)"),
      0);
  EXPECT_EQ(
      Q(std::string("SELECT COUNT(*) FROM ") + kUnlinked[1] +
        " JOIN qmRequirements r ON r.ID = v.RequirementID WHERE NOT EXISTS (SELECT 1 "
        "FROM "
        "qmRequirementTypeFields l WHERE l.REQUIREMENTTYPEID = r.RequirementTypeID AND "
        "l.USERDEFINEDFIELDID = v.FieldID)"),
      0);
  // A list value's item is an item of its attribute.
  EXPECT_EQ(
      Q("SELECT COUNT(*) FROM qmUserDefinedListValues v JOIN qmUserDefinedListItems i "
        "ON i.ITEMID = v.ListItemID WHERE i.FIELDID <> v.FieldID"),
      0);
  // Every requirement is in the project and in exactly one package.
  EXPECT_EQ(Q("SELECT COUNT(*) FROM qmProjectRequirements WHERE ProjectID = 1"), 400);
  EXPECT_EQ(Q("SELECT COUNT(DISTINCT REQUIREMENTID) FROM QmPackageElements"), 400);
  EXPECT_EQ(Q("SELECT COUNT(REQUIREMENTID) FROM QmPackageElements"), 400);
  // Tags are unique per type and LastReqNumber is the largest.
  EXPECT_EQ(
      Q("SELECT COUNT(*) FROM (SELECT 1 FROM qmRequirements GROUP BY RequirementTypeID, "
        "LongTagNumber HAVING COUNT(*) > 1)"),
      0);
  EXPECT_EQ(
      Q("SELECT COUNT(*) FROM qmRequirementTypes t WHERE LastReqNumber <> (SELECT "
        "COALESCE(MAX(Tag), 0) FROM qmRequirements r WHERE r.RequirementTypeID = t.ID)"),
      0);
}

TEST_F(SampleProjectTest, ListDefaultsNameItemsOfTheirAttributeByKey) {
  // The structure writer marks default items from these keys.
  Fill(600);
  auto fields = conn->Query(
      "SELECT ID, DataType, DefaultValue FROM qmUserDefinedFields WHERE DataType IN (0, "
      "10)");
  int defaults = 0;
  for (; !fields->IsEOF(); fields->MoveNext()) {
    std::string value = fields->Value("DefaultValue").ToText();
    std::regex key(R"((\d+)(, )?)");
    for (std::sregex_iterator it(value.begin(), value.end(), key), end; it != end;
         ++it, ++defaults)
      EXPECT_EQ(Q("SELECT FIELDID FROM qmUserDefinedListItems WHERE ITEMID = " +
                  (*it)[1].str()),
                fields->Value("ID").ToLong());
  }
  EXPECT_EQ(defaults, 5);  // three List defaults, two items of a MultiSelect
  EXPECT_EQ(conn->LookupValue(
                "SELECT DefaultValue FROM qmUserDefinedFields WHERE DataType = 10 "
                "AND DefaultValue <> ''",
                "DefaultValue"),
            "21, 22");

}

// Text columns, and what must hold for each. Columns that readers insert
// as SQL text hold no "|" (code 26 stands for it) and no pair of
// apostrophes; no stored text starts or ends with a blank or line break.
struct TextColumn {
  const char* table;
  const char* column;
  const char* where;  // rows whose text is whole (not an overflow head)
  bool sql_text;
  bool crlf;  // line ends are CR LF
};
const TextColumn kTexts[] = {
    {"qmProjects", "Description", "1", true, true},
    {"qmDocuments", "Description", "1", true, true},
    {"qmDocuments", "Name", "1", true, false},
    {"QmPackages", "NAME", "1", true, false},
    {"QmPackages", "DESCRIPTION", "DESCRIPTION <> ''", true, true},
    {"qmRequirements", "RequirementName", "1", true, false},
    {"qmRequirements", "RequirementText", "OverflowIND = 0", true, true},
    {"QmOverflowText", "OverflowText", "1", false, true},
    {"qmRequirementTypes", "DESCRIPTION", "1", false, true},
    {"qmDocumentTypes", "DESCRIPTION", "1", false, true},
    {"qmUserDefinedFields", "DESCRIPTION", "1", false, true},
    {"qmUserGroups", "DESCRIPTION", "1", false, true},
    {"qmUserDefinedFieldValues", "FieldValue", "OVERFLOWIND = 0", false, true},
    {"QmOverflowValues", "OverflowFieldValue", "1", false, true},
    {"QmViews", "VIEWDESCRIPTION", "1", false, true},
    {"QmQueryDefinitions", "QUERYDESCRIPTION", "1", false, true},
    {"qmRequirements", "VersionReason", "1", true, false},
    {"qmRequirementHistory", "VersionReason", "OverflowIND = 0", false, false},
};

TEST_F(SampleProjectTest, TextsAreStoredAsTheHostStoresThem) {
  Fill(500);
  for (const TextColumn& t : kTexts) {
    std::string from = std::string(" FROM ") + t.table + " WHERE " + t.where + " AND " +
                       t.column + " IS NOT NULL";
    std::string col = std::string(t.table) + "." + t.column;
    EXPECT_EQ(Q("SELECT COUNT(*)" + from + " AND " + t.column + " <> trim(" + t.column +
                ", ' ' || char(9, 10, 13))"),
              0)
        << col << " has blanks at an end";
    EXPECT_EQ(Q("SELECT COUNT(*)" + from + " AND " + t.column + " = ''"), 0)
        << col << " is empty";
    if (t.crlf)
      EXPECT_EQ(Q("SELECT COUNT(*)" + from + " AND instr(replace(" + t.column +
                  ", char(13, 10), ''), char(10)) + instr(replace(" + t.column +
                  ", char(13, 10), ''), char(13)) > 0"),
                0)
          << col << " has a line end other than CR LF";
    if (t.sql_text) {
      EXPECT_EQ(Q("SELECT COUNT(*)" + from + " AND (instr(" + t.column +
                  ", '|') > 0 OR instr(" + t.column + ", '''''') > 0)"),
                0)
          << col << " holds a bar or a pair of apostrophes";
    }
  }
  // The variety the movers have to carry is there.
  struct Feature {
    const char* what;
    const char* sql;
  };
  const Feature kFeatures[] = {
      {"CR LF in requirement texts",
       "SELECT COUNT(*) FROM qmRequirements WHERE instr(RequirementText, char(13, 10))"},
      {"code 26 in requirement texts",
       "SELECT COUNT(*) FROM qmRequirements WHERE instr(RequirementText, char(26))"},
      {"code 26 in requirement names",
       "SELECT COUNT(*) FROM qmRequirements WHERE instr(RequirementName, char(26))"},
      {"bars in overflow texts",
       "SELECT COUNT(*) FROM QmOverflowText WHERE instr(OverflowText, '|')"},
      {"bars in attribute values",
       "SELECT COUNT(*) FROM qmUserDefinedFieldValues WHERE instr(FieldValue, '|')"},
      {"double quotes in requirement texts",
       "SELECT COUNT(*) FROM qmRequirements WHERE instr(RequirementText, '\"')"},
      {"apostrophes in requirement texts",
       "SELECT COUNT(*) FROM qmRequirements WHERE instr(RequirementText, '''')"},
      {"non-ASCII requirement texts",
       "SELECT COUNT(*) FROM qmRequirements WHERE length(CAST(RequirementText AS BLOB)) "
       "> length(RequirementText)"},
      {"non-ASCII user names",
       "SELECT COUNT(*) FROM qmUsers WHERE length(CAST(FullName AS BLOB)) > "
       "length(FullName)"},
      {"NULL requirement names",
       "SELECT COUNT(*) FROM qmRequirements WHERE RequirementName IS NULL"},
      {"requirements located in documents",
       "SELECT COUNT(*) FROM qmRequirements WHERE BookmarkDocumentID IS NOT NULL"},
      {"long version reasons",
       "SELECT COUNT(*) FROM QmOverflowHistory WHERE OverFlowHistoryType = "
       "'Requirement'"},
      {"binary resources",
       "SELECT COUNT(*) FROM QmResources WHERE instr(RESOURCEOBJ, X'89504E47') OR "
       "instr(RESOURCEOBJ, X'25504446')"},
      {"directory-authenticated administrators",
       "SELECT COUNT(*) FROM qmUsers u JOIN qmUserGroups g ON g.ID = u.GroupID WHERE "
       "g.NAME = "
       "'Administrators' AND u.Password = 'DirectoryLoginOnly'"},
      {"replies that are read",
       "SELECT COUNT(*) FROM QmDiscussionsRead r JOIN QmDiscussions d ON d.ID = "
       "r.DiscussionID WHERE d.ParentID IS NOT NULL"},
  };
  for (const Feature& f : kFeatures) EXPECT_GT(Q(f.sql), 0) << f.what;
}

TEST_F(SampleProjectTest, LongTextsKeepTheirHeadInTheRowAndTheWholeInTheOverflowTables) {
  Fill(500);
  auto reqs = conn->Query(
      "SELECT r.RequirementText, r.OverflowIND, o.OverflowText FROM qmRequirements r "
      "LEFT JOIN "
      "QmOverflowText o ON o.OverFlowID = r.ID");
  int overflows = 0;
  for (; !reqs->IsEOF(); reqs->MoveNext()) {
    std::string text = reqs->Value("RequirementText").ToText();
    if (reqs->Value("OverflowIND").ToLong() == 0) {
      EXPECT_TRUE(reqs->Value("OverflowText").IsNull());
      EXPECT_LE(text.size(), 254u) << text;  // fits the row in any code page
      continue;
    }
    ++overflows;
    std::string full = reqs->Value("OverflowText").ToText();
    EXPECT_GE(Utf16Length(full), 255u);
    EXPECT_EQ(text, Stored(Utf16Prefix(full, 127)));
  }
  EXPECT_GT(overflows, 0);

  auto values = conn->Query(
      "SELECT v.FieldValue, v.OVERFLOWIND, o.OverflowFieldValue FROM "
      "qmUserDefinedFieldValues v "
      "LEFT JOIN QmOverflowValues o ON o.OverFlowRequirementID = v.REQUIREMENTID AND "
      "o.OverFlowFieldID = v.FIELDID");
  int long_values = 0;
  for (; !values->IsEOF(); values->MoveNext()) {
    std::string value = values->Value("FieldValue").ToText();
    if (values->Value("OVERFLOWIND").ToLong() == 0) {
      EXPECT_TRUE(values->Value("OverflowFieldValue").IsNull());
      EXPECT_LE(Utf16Length(value), 255u);
      continue;
    }
    ++long_values;
    std::string full = values->Value("OverflowFieldValue").ToText();
    EXPECT_GT(Utf16Length(full), 255u);
    EXPECT_EQ(value, Utf16Prefix(full, 255));
  }
  EXPECT_GT(long_values, 0);
  EXPECT_EQ(
      Q("SELECT COUNT(*) FROM qmRequirementHistory h WHERE OverflowIND = 1 AND NOT "
        "EXISTS "
        "(SELECT 1 FROM QmOverflowHistory o WHERE o.OverFlowID = h.RequirementID AND "
        "o.OverFlowVersionNumber = h.VersionNumber)"),
      0);
}

TEST_F(SampleProjectTest, KeyCountersHoldTheLargestKeyOfEachClass) {
  Fill(300);
  const std::pair<const char*, const char*> kClasses[] = {
      {"Project", "SELECT MAX(ID) FROM qmProjects"},
      {"User", "SELECT MAX(ID) FROM qmUsers"},
      {"Group", "SELECT MAX(ID) FROM qmUserGroups"},
      {"RequirementType", "SELECT MAX(ID) FROM qmRequirementTypes"},
      {"DocumentType", "SELECT MAX(ID) FROM qmDocumentTypes"},
      {"UserDefinedField", "SELECT MAX(ID) FROM qmUserDefinedFields"},
      {"UserDefinedListItem", "SELECT MAX(ITEMID) FROM qmUserDefinedListItems"},
      {"Document", "SELECT MAX(ID) FROM qmDocuments"},
      {"Requirement", "SELECT MAX(ID) FROM qmRequirements"},
      {"Package", "SELECT MAX(ID) FROM QmPackages"},
      {"View", "SELECT MAX(ID) FROM QmViews"},
      {"Query", "SELECT MAX(ID) FROM QmQueryDefinitions"},
      {"Resource", "SELECT MAX(ID) FROM QmResources"},
  };
  for (const auto& [word, max] : kClasses) {
    long last =
        Q(std::string("SELECT LastKey FROM QmKeys WHERE KeyClass = '") + word + "'");
    EXPECT_GT(last, 0) << word;
    EXPECT_EQ(last, Q(max)) << word;
  }
  EXPECT_EQ(Count("QmKeys"), 13);
  // A transfer into this database allocates above the sample's keys.
  EXPECT_EQ(db->keys->GetNextDBKey("Requirement", "{NEW}"), 301);
}

TEST_F(SampleProjectTest, ProgressIsToldForEveryTenthOfTheRequirements) {
  std::vector<std::string> told;
  SampleOptions opts;
  opts.requirements = 1000;
  opts.progress = [&](const std::string& what) { told.push_back(what); };
  FillSampleProject(*conn, opts);
  std::vector<std::string> tenths;
  for (const auto& t : told)
    if (t.rfind("requirements", 0) == 0) tenths.push_back(t);
  ASSERT_EQ(tenths.size(), 10u);
  EXPECT_EQ(tenths.front(), "requirements");
  EXPECT_EQ(tenths[1], "requirements 10%");
  EXPECT_EQ(tenths.back(), "requirements 90%");
  EXPECT_EQ(told.back(), "done");
}

TEST_F(SampleProjectTest, RefusesADatabaseWithAProjectOrNoRequirements) {
  Fill(50);
  std::string before = Dump();
  SampleOptions opts;
  try {
    FillSampleProject(*conn, opts);
    FAIL() << "filled a database that holds a project";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), eErr_InvalidArgument);
  }
  EXPECT_EQ(Dump(), before);

  auto empty = CreateProjectDatabase(dir.File("empty.db"));
  opts.requirements = 0;
  EXPECT_THROW(FillSampleProject(*empty, opts), Error);
  EXPECT_EQ(empty->Scalar("SELECT COUNT(*) FROM qmProjects", {}).ToLong(), 0);
}

TEST_F(SampleProjectTest, AFailureLeavesNothingBehind) {
  conn->ExecuteScript("DROP TABLE QmViews");  // the views job fails late
  try {
    Fill(200);
    FAIL() << "filled a database without a views table";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), eErr_Database);
  }
  EXPECT_FALSE(conn->InTransaction());
  for (const char* table :
       {"qmProjects", "qmUsers", "qmRequirements", "QmPackages", "QmKeys"})
    EXPECT_EQ(Count(table), 0) << table;
}

TEST_F(SampleProjectTest, NestsInTheCallersTransaction) {
  conn->Begin();
  Fill(20);
  EXPECT_TRUE(conn->InTransaction());
  conn->Rollback();
  EXPECT_EQ(Count("qmRequirements"), 0);
}

}  // namespace
}  // namespace qmxml::testing
