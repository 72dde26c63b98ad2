// Users and groups: the written document, the password form, positional
// reading, GUID renewal, the group lookup lists and the failure paths (the
// round trip is the whole-project transfer test).
#include "movers/security/ProjSecurityMover.h"

#include <pugixml.hpp>

#include "TestSupport.h"
#include "transfer/Rows.h"
#include "xml/XmlDoc.h"
#include "xml/Files.h"

namespace qmxml::testing {
namespace {

using movers::ProjSecurityMover;

// A document file as the writers produce it: declaration first, root second.
std::string Xml(const std::string& body) {
  return "<?xml version=\"1.0\" standalone=\"yes\"?>\n" + body;
}

class ProjSecurityMoverTest : public DbFixture {
 protected:
  void Export(const std::shared_ptr<Recordset>& project, const std::string& file) {
    ObjectPtr rows = project;
    mover.WriteData(Source(file).get(), &data, rows, &scheduler);
  }
  void Import(const std::string& file) {
    ObjectPtr rows = transfer::TargetCollection(*conn, {"qmUserGroups", "qmUsers"});
    mover.ReadData(Source(file).get(), &data, rows, &scheduler);
  }
  std::string Row(const std::string& sql) {
    return QueryText(*conn, sql);
  }

  ProjSecurityMover mover;
};

TEST(ProjSecurityPassword, EncodesEveryUtf16UnitAsSigned16BitDecimal) {
  struct Case {
    std::string stored;
    std::string written;
  } cases[] = {
      {"abc", "97;98;99;"},
      {"", ""},
      {"\xE9\xB1\x80", "-25536;"},            // unit 40000
      {"\xEF\xBF\xBF", "-1;"},                // unit 65535
      {"\xF0\x9F\x98\x80", "-10179;-8704;"},  // a surrogate pair
      {"a;b", "97;59;98;"},
      {"\xED\xA0\x80", "-10240;"},  // a lone surrogate survives
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ProjSecurityMover::ConvertPWDToDecimal(c.stored), c.written) << c.written;
    EXPECT_EQ(ProjSecurityMover::ConvertPWDToCharacter(c.written), c.stored) << c.written;
  }
}

TEST(ProjSecurityPassword, DecodingDropsTheTailAndRejectsNonNumbers) {
  EXPECT_EQ(ProjSecurityMover::ConvertPWDToCharacter("97;98"), "a");
  EXPECT_EQ(ProjSecurityMover::ConvertPWDToCharacter("97; 98 ;"), "ab");
  for (const char* bad : {"9x;", ";", "99999999999;"}) {
    try {
      ProjSecurityMover::ConvertPWDToCharacter(bad);
      ADD_FAILURE() << bad;
    } catch (const Error& e) {
      EXPECT_TRUE(e.Number() == eErr_TypeMismatch || e.Number() == 6) << bad;
    }
  }
  try {
    ProjSecurityMover::ConvertPWDToCharacter("70000;");
    ADD_FAILURE();
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), eErr_InvalidArgument);
  }
}

TEST_F(ProjSecurityMoverTest, BadPasswordFailsTheUserStepAfterTheGroupsWereSent) {
  WriteFile(dir.File("pw.xml"), Xml("<PROJECT ID=\"{P1}\"><Groups><Group a=\"G\" b=\"\" "
                                    "c=\"\" d=\"\" e=\"\" f=\"\" "
                                    "g=\"\" h=\"{G1}\"/></Groups><Users><User a=\"u\" "
                                    "b=\"97;x;\" c=\"1\" d=\"\" e=\"\" "
                                    "f=\"\" g=\"{G1}\" h=\"{U1}\"/></Users></PROJECT>"));
  try {
    Import("pw.xml");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), eErr_TypeMismatch);
    EXPECT_EQ(e.Source(), "ProjSecurityMover.CreateUsersDBElement_");
    EXPECT_EQ(e.Description().rfind("Import of the users and groups from the file " +
                                        dir.File("pw.xml") + " failed. ",
                                    0),
              0u)
        << e.Description();
  }
  EXPECT_EQ(Count("qmUserGroups"), 1);
  EXPECT_EQ(Count("qmUsers"), 0);
}

}  // namespace
}  // namespace qmxml::testing
