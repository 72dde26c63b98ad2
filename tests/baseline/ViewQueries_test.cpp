// Views show what their queries select: the view report and the view
// baseline extract of every view of the sample hold the requirements of the
// view's type that its query selects (and of the secondary type that the
// secondary query selects), a view without a query its whole type, and a
// view whose query cannot be evaluated stops the baseline before anything
// is written.
#include <pugixml.hpp>
#include <set>

#include "TestSupport.h"
#include "host/QueryEvaluator.h"
#include "qmxml/Baseline.h"
#include "qmxml/Error.h"
#include "sample/SampleProject.h"

namespace qmxml::testing {
namespace {

std::set<std::string> ReqGuids(const pugi::xml_node& root) {
  std::set<std::string> out;
  for (auto x : root.select_nodes("//Req/GUID")) out.insert(x.node().text().get());
  return out;
}

class ViewQueries : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = dir_.File("s.db");
    conn_ = CreateProjectDatabase(db_);
    SampleOptions o;
    o.requirements = 1500;
    o.key_file = dir_.File("k.key");
    project_ = FillSampleProject(*conn_, o).project_key;
  }

  // The GUIDs of the requirements of |type| that |query| (empty: all)
  // selects.
  std::set<std::string> Expected(int32_t type, const std::string& query) {
    std::set<int32_t> chosen;
    if (!query.empty())
      for (int32_t k :
           EvaluateQuery(*conn_, *ParseQueryText(*conn_, project_, query), project_))
        chosen.insert(k);
    std::set<std::string> out;
    auto rs = conn_->Query(
        "SELECT ID, QMGUID FROM qmRequirements WHERE RequirementTypeID = ? AND Deleted = "
        "0",
        {Variant(type)});
    for (; !rs->IsEOF(); rs->MoveNext())
      if (query.empty() || chosen.count(rs->Value("ID").ToLong()))
        out.insert(rs->Value("QMGUID").ToText());
    return out;
  }

  std::set<std::string> Report(const std::string& view) {
    ReportOptions o;
    o.view = view;
    o.reqs = true;
    pugi::xml_document doc;
    EXPECT_TRUE(doc.load_string(WriteReport(db_, o).c_str()));
    return ReqGuids(doc);
  }

  TempDir dir_;
  std::string db_;
  std::shared_ptr<Connection> conn_;
  int32_t project_ = 0;
};

TEST_F(ViewQueries, ReportsAndBaselinesHoldWhatTheQueriesSelect) {
  auto views = conn_->Query(
      "SELECT v.ID, v.QMGUID, v.REQUIREMENTTYPEID, v.SECONDARYREQTYPEID, q1.QUERYSTRING "
      "AS Q1, "
      "q2.QUERYSTRING AS Q2 FROM QmViews v LEFT JOIN QmQueryDefinitions q1 ON q1.ID = "
      "v.QUERYID "
      "LEFT JOIN QmQueryDefinitions q2 ON q2.ID = v.SECONDARYQUERYID ORDER BY v.ID");
  int narrowed = 0, secondary = 0;
  for (; !views->IsEOF(); views->MoveNext()) {
    const std::string id = views->Value("ID").ToText();
    SCOPED_TRACE("view " + id);
    const std::string q1 = views->Value("Q1").ToText();
    ASSERT_FALSE(q1.empty()) << "every sample view has a query";
    std::set<std::string> want = Expected(views->Value("REQUIREMENTTYPEID").ToLong(), q1);
    if (!views->Value("Q2").ToText().empty() &&
        !views->Value("SECONDARYREQTYPEID").IsNull()) {
      ++secondary;
      for (const auto& g : Expected(views->Value("SECONDARYREQTYPEID").ToLong(),
                                    views->Value("Q2").ToText()))
        want.insert(g);
    }
    const size_t all = Expected(views->Value("REQUIREMENTTYPEID").ToLong(), "").size();
    narrowed += !want.empty() && want.size() < all;
    EXPECT_EQ(Report(id), want);

    BaselineOptions b;
    b.views = {id};
    WriteBaseline(db_, dir_.File("base"), b);
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(
        dir_.File("base/" + views->Value("QMGUID").ToText() + ".XML").c_str()));
    EXPECT_EQ(ReqGuids(doc), want);
  }
  EXPECT_GT(narrowed, 0) << "the sample's views select a real part of their type";
  EXPECT_GT(secondary, 0);
}

TEST_F(ViewQueries, AViewWithoutAQueryShowsItsWholeType) {
  conn_->Run("UPDATE QmViews SET QUERYID = NULL, SECONDARYQUERYID = NULL WHERE ID = 1",
             {});
  const int32_t type =
      conn_->Scalar("SELECT REQUIREMENTTYPEID FROM QmViews WHERE ID = 1", {}).ToLong();
  EXPECT_EQ(Report("1"), Expected(type, ""));
}

TEST_F(ViewQueries, AQueryThatCannotBeEvaluatedStopsTheBaselineBeforeWriting) {
  conn_->Run(
      "UPDATE QmQueryDefinitions SET QUERYSTRING = 'Attr[999] = 1' WHERE ID = "
      "(SELECT QUERYID FROM QmViews WHERE ID = 2)",
      {});
  BaselineOptions b;
  b.views = {"1", "2"};
  try {
    WriteBaseline(db_, dir_.File("base"), b);
    ADD_FAILURE() << "accepted";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), eErr_BadQuery);
    EXPECT_NE(e.Description().find("position 6: the attribute 999"), std::string::npos)
        << e.Description();
  }
  EXPECT_FALSE(std::filesystem::exists(dir_.File("base")));
}

}  // namespace
}  // namespace qmxml::testing
