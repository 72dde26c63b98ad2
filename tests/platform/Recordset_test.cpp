// Record sets against a real SQLite file: navigation, filters, bookmarks,
// chapters and batch insertion.
#include "qmxml/Recordset.h"

#include "TestSupport.h"
#include "qmxml/Error.h"
#include "transfer/Rows.h"

namespace qmxml::testing {
namespace {

class RecordsetTest : public DbFixture {};

TEST_F(RecordsetTest, AndFilterKeepsOnlyRowsMatchingEveryCondition) {
  // Each condition alone matches more rows than the two together.
  auto rs = MakeRecordset({"N", "RequirementID", "FieldID"},
                          {{int32_t{0}, int32_t{5}, Variant("a")}, {int32_t{1}, int32_t{5}, Variant("b")},
                           {int32_t{2}, int32_t{6}, Variant("a")}, {int32_t{3}, int32_t{6}, Variant("b")},
                           {int32_t{4}, int32_t{5}, Variant("a")}});
  struct Case {
    const char* filter;
    const char* rows;
  } cases[] = {
      {"(RequirementID= 5) AND (FieldID= 'A')", "04"},
      {"(FieldID = 'a') and (RequirementID = 5)", "04"},
      {"(RequirementID= 6) AND (FieldID= 'b')", "3"},
      {"(RequirementID= 5) AND (FieldID= 'b') AND (N= 1)", "1"},
      {"(RequirementID= 5) AND (FieldID= 'c')", ""},
  };
  for (const auto& c : cases) {
    rs->SetFilter(c.filter);
    std::string rows;
    for (; !rs->IsEOF(); rs->MoveNext()) rows += rs->Value("N").ToText();
    EXPECT_EQ(rows, c.rows) << c.filter;
  }
}

TEST_F(RecordsetTest, FilterOnALongColumnHoldingTextStillFindsTheNumbers) {
  // SQLite keeps text that is not a number in an INTEGER column.
  conn->Execute("INSERT INTO qmRequirements (ID, DocumentPosition) VALUES (1, 'abc'), (2, 7), (3, '7'), "
                "(4, 70)");
  auto rs = conn->Query("SELECT ID, DocumentPosition FROM qmRequirements ORDER BY ID");
  for (auto [filter, ids] : {std::pair{"(DocumentPosition= 7)", "23"}, {"(DocumentPosition= 'ABC')", "1"}}) {
    rs->SetFilter(filter);
    std::string got;
    for (; !rs->IsEOF(); rs->MoveNext()) got += rs->Value("ID").ToText();
    EXPECT_EQ(got, ids) << filter;
  }
}

TEST_F(RecordsetTest, UpdateBatchSendsOnlyTheAddedRowsToTheBoundTable) {
  auto rs = transfer::TargetRecordset(*conn, "qmUserDefinedListValues");
  for (int i = 1; i <= 3; ++i) {
    rs->AddNew();
    rs->Set("RequirementID", Variant(int32_t{10 + i}));
    rs->Set("FieldID", Variant(int32_t{7}));
    rs->Set("ListItemID", Variant(int32_t{i}));
  }
  EXPECT_EQ(Count("qmUserDefinedListValues"), 0);  // nothing until the batch
  rs->UpdateBatch();
  EXPECT_EQ(Count("qmUserDefinedListValues"), 3);
  rs->UpdateBatch();  // nothing pending: nothing added twice
  EXPECT_EQ(Count("qmUserDefinedListValues"), 3);
  EXPECT_EQ(conn->Scalar("SELECT SUM(ListItemID) FROM qmUserDefinedListValues", {}).ToLong(), 6);
}

TEST_F(RecordsetTest, ChaptersHoldTheChildRowsOfEachParent) {
  auto parent = MakeRecordset({"ID", "Items"}, {{int32_t{1}, Variant()}, {int32_t{2}, Variant()}});
  auto child = MakeRecordset({"PID", "Text"}, {{int32_t{2}, Variant("x")},
                                               {int32_t{2}, Variant("y")}});
  transfer::AttachChapter(*parent, "ID", "Items", child, "PID");
  EXPECT_TRUE(parent->Chapter("Items")->IsEOF());
  parent->MoveNext();
  EXPECT_EQ(parent->Chapter("Items")->RecordCount(), 2u);
}

}  // namespace
}  // namespace qmxml::testing
