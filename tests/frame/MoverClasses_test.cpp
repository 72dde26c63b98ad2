// The class table walked row by row: each row's creation function makes
// the class the row names, the instance answers what the row says, and the
// factory offers exactly the offered rows in table order.
#include <algorithm>
#include <cctype>
#include <set>

#include "TestSupport.h"
#include "frame/MoverRegistry.h"
#include "qmxml/Error.h"
#include "qmxml/Mover.h"

namespace qmxml::testing {
namespace {

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::string TypeOf(const frame::MoverClassInfo& row) {
  return std::string("QmXMLServices.") + row.class_name;
}

TEST(MoverClasses, EveryRowCreatesTheClassItNamesAndAnswersFromTheRow) {
  std::set<std::string> seen;
  for (const auto& row : frame::MoverClasses()) {
    SCOPED_TRACE(row.class_name);
    EXPECT_TRUE(seen.insert(Lower(row.class_name)).second) << "listed twice";
    ASSERT_NE(row.create, nullptr);
    MoverPtr m = row.create();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->TypeName(), TypeOf(row));
    EXPECT_EQ(m->HasIdentity(), row.has_identity);
    if (!row.has_identity) {
      EXPECT_THROW(m->ClassID(), Error);
      continue;
    }
    EXPECT_EQ(m->ClassName(), std::string("QmXMLServices.") + row.reported_name);
    EXPECT_EQ(m->ClassID(), row.class_id);
    EXPECT_EQ(m->ClassDescription(), row.dot_prefix ? std::string(".") + row.reported_name
                                   : std::string(row.reported_name) + ".");
  }
  EXPECT_EQ(seen.size(), 26u);
}

TEST(MoverClasses, TheFactoryOffersTheOfferedRowsInTableOrder) {
  std::vector<std::string> offered;
  Mover factory;
  for (const auto& row : frame::MoverClasses()) {
    SCOPED_TRACE(row.class_name);
    if (row.offered) {
      offered.emplace_back(row.class_name);
      EXPECT_EQ(factory.Get(Lower(row.class_name))->TypeName(), TypeOf(row));
    } else {
      EXPECT_THROW(factory.Get(row.class_name), Error);
    }
    EXPECT_EQ(frame::FindClassInfo(Lower(row.class_name)), &row);
    EXPECT_EQ(Mover::CreateClass(row.class_name)->TypeName(), TypeOf(row));
  }
  EXPECT_EQ(Mover::PropertyNames(), offered);
  EXPECT_EQ(frame::FindClassInfo("NoSuchMover"), nullptr);
  EXPECT_EQ(Mover::CreateClass("NoSuchMover"), nullptr);
}

}  // namespace
}  // namespace qmxml::testing
