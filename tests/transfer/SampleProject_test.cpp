// The sample-project generator: reproducible content, references that all
// resolve, values that belong to their requirement, and refusals that leave
// nothing behind.
#include "sample/SampleProject.h"

#include "TestSupport.h"
#include "qmxml/Error.h"
#include "qmxml/Variant.h"

namespace qmxml::testing {
namespace {

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

}  // namespace
}  // namespace qmxml::testing
