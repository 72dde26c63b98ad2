// The history movers take part in a transfer without moving anything:
// neither direction touches a file, the database or any argument.
#include "TestSupport.h"
#include "qmxml/Mover.h"

namespace qmxml::testing {
namespace {

using HistoryMoverTest = DbFixture;

TEST_F(HistoryMoverTest, NeitherDirectionChangesFileDatabaseOrArgument) {
  conn->ExecuteScript(
      "INSERT INTO qmProjects (ID, Name, QMGUID) VALUES (1, 'P', '{P1}');");
  WriteFile(dir.File("history.xml"), "<?xml version=\"1.0\"?><PROJECT ID=\"{P1}\"/>");
  const std::string db_before = Dump();
  const std::string file_before = ReadFile(dir.File("history.xml"));

  for (const char* cls :
       {"ReqHistoryMover", "PckHistoryMover", "DocHistoryMover", "ProjHistoryMover"}) {
    MoverPtr mover = Mover::CreateClass(cls);
    ASSERT_TRUE(mover) << cls;
    auto rs = MakeRecordset({"QMGUID"}, {{"{R1}"}, {"{R2}"}});
    ObjectPtr rows = rs;
    data.ProjectFlags = 1;
    data.ReturnAsXMLStream = true;
    auto src = Source("history.xml");
    auto absent = Source("absent.xml");

    mover->WriteData(absent.get(), &data, rows, &scheduler);
    mover->ReadData(src.get(), &data, rows, &scheduler);
    ObjectPtr none;
    mover->ReadData(nullptr, nullptr, none, nullptr);
    mover->WriteData(nullptr, nullptr, none, nullptr);

    EXPECT_EQ(rows, rs) << cls;
    EXPECT_EQ(rs->Value("QMGUID").ToText(), "{R1}") << cls;
    EXPECT_FALSE(none) << cls;
    EXPECT_FALSE(scheduler.XMLDoc) << cls;
    EXPECT_EQ(data.ProjectKey, 0) << cls;
    EXPECT_TRUE(data.Data.IsEmpty()) << cls;
    EXPECT_FALSE(std::filesystem::exists(dir.File("absent.xml"))) << cls;
  }
  EXPECT_EQ(ReadFile(dir.File("history.xml")), file_before);
  EXPECT_EQ(Dump(), db_before);
}

}  // namespace
}  // namespace qmxml::testing
