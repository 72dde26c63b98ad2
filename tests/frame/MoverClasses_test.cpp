// The class table walked row by row: the factory offers exactly the
// offered rows in table order, and every row creates the class it names.
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
