// Rows built from column and value pairs: an optional column left out
// takes its value with it, and each value is stored in its own column of a
// real database.
#include "TestSupport.h"
#include "movers/definition/InsertValues.h"
#include "qmxml/ProjectDatabase.h"

namespace qmxml::testing {
namespace {

using movers::InsertValues;

TEST(InsertValues, ColumnsAndValuesStayInStepWhenOptionalOnesAreLeftOut) {
  for (bool with_prefix : {false, true}) {
    SCOPED_TRACE(with_prefix);
    InsertValues row;
    row.Key("ID", 7).Literal("Name", Variant(std::string("O'Neil")), true);
    if (with_prefix) row.Literal("Prefix", Variant(std::string("PR")), true);
    row.Flag("SecurityEnabled", true)
        .DateText("VersionDateTime", "  ")
        .Literal("Flags", Variant(3));
    EXPECT_EQ(row.Columns().size(), row.Values().size());

    TempDir dir;
    auto conn = CreateProjectDatabase(dir.File("p.db"));
    row.InsertInto(*conn, "qmProjects");
    EXPECT_EQ(QueryText(*conn, "SELECT ID, Name, Prefix, SecurityEnabled, VersionDateTime, Flags "
                               "FROM qmProjects"),
              std::string("7|O'Neil|") + (with_prefix ? "PR" : "") + "|1||3|\n");
  }
}

}  // namespace
}  // namespace qmxml::testing
