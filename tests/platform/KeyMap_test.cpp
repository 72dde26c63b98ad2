// Key allocation and GUID lookups against a real database.
#include "qmxml/KeyMap.h"

#include "TestSupport.h"
#include "qmxml/Error.h"

namespace qmxml::testing {
namespace {

class KeyMapTest : public DbFixture {};

TEST_F(KeyMapTest, NewKeysStartAboveTheLargestStoredKeyOfTheType) {
  conn->Execute("INSERT INTO qmUsers (ID, QMGUID) VALUES (41, '{U41}')");
  conn->Execute("INSERT INTO QmKeys (KeyClass, LastKey) VALUES ('User', 12)");
  EXPECT_EQ(db->keys->GetNextDBKey("User", "{NEW1}"), 42);
  EXPECT_EQ(db->keys->GetNextDBKey("User", "{NEW2}"), 43);
  // Other types count on their own.
  EXPECT_EQ(db->keys->GetNextDBKey("Group", "{G}"), 1);
  EXPECT_EQ(conn->Scalar("SELECT LastKey FROM QmKeys WHERE KeyClass='User'", {}).ToLong(), 43);
}

TEST_F(KeyMapTest, QmKeysAheadOfTheTableWins) {
  conn->Execute("INSERT INTO QmKeys (KeyClass, LastKey) VALUES ('Requirement', 500)");
  EXPECT_EQ(db->keys->GetNextDBKey("Requirement", "{R}"), 501);
  KeyMap second(conn.get());  // a later transfer on the same database
  EXPECT_EQ(second.GetNextDBKey("Requirement", "{R2}"), 502);
}

TEST_F(KeyMapTest, LookupsPreferThisTransferThenTheDatabaseIgnoringCase) {
  conn->Execute("INSERT INTO qmUsers (ID, QMGUID) VALUES (7, '{abc-stored}')");
  int32_t k = db->keys->GetNextDBKey("User", "{abc-new}");
  EXPECT_EQ(db->keys->getKeyFromGUID("User", "{ABC-NEW}"), k);
  EXPECT_EQ(db->keys->getKeyFromGUID("user", "{ABC-STORED}"), 7);
  EXPECT_EQ(db->keys->getKeyFromGUID("Group", "{abc-new}"), 0);  // type word matters
  EXPECT_EQ(db->keys->getKeyFromGUID("User", "{nowhere}"), 0);
  // Once the transfer made its project, a stored package answers only when
  // it is that project's own.
  const int32_t project = db->keys->GetNextDBKey("Project", "{P}");
  conn->Execute("INSERT INTO QmPackages (ID, PROJECTID, QMGUID) VALUES (3, " +
                std::to_string(project) + ", '{own}'), (4, " + std::to_string(project + 1) +
                ", '{other}')");
  EXPECT_EQ(db->keys->getKeyFromGUID("Package", "{OWN}"), 3);
  EXPECT_EQ(db->keys->getKeyFromGUID("Package", "{OTHER}"), 0);
  ASSERT_EQ(db->keys->Dangling().size(), 3u);
  EXPECT_EQ(db->keys->Dangling().at("User").count("{NOWHERE}"), 1u);
}

TEST_F(KeyMapTest, UnknownTypeWordIsAnError) {
  EXPECT_THROW(db->keys->GetNextDBKey("Gadget", "{X}"), Error);
}

TEST_F(KeyMapTest, ListItemsUseTheirOwnKeyColumn) {
  conn->Execute("INSERT INTO qmUserDefinedListItems (ITEMID, QMGUID) VALUES (90, '{LI}')");
  EXPECT_EQ(db->keys->getKeyFromGUID("UserDefinedListItem", "{li}"), 90);
  EXPECT_EQ(db->keys->GetNextDBKey("UserDefinedListItem", "{LI2}"), 91);
}

}  // namespace
}  // namespace qmxml::testing

namespace qmxml::testing {
namespace {

TEST_F(KeyMapTest, DeferredCountersReachQmKeysOnFlush) {
  KeyMap keys(conn.get());
  keys.DeferCounterWrites();
  keys.GetNextDBKey("Package", "{P1}");
  keys.GetNextDBKey("Package", "{P2}");
  EXPECT_EQ(Count("QmKeys WHERE KeyClass = 'Package'"), 0);
  keys.Flush();
  EXPECT_EQ(conn->Scalar("SELECT LastKey FROM QmKeys WHERE KeyClass = 'Package'", {}).ToLong(), 2);
  KeyMap later(conn.get());
  EXPECT_EQ(later.GetNextDBKey("Package", "{P3}"), 3);
}

}  // namespace
}  // namespace qmxml::testing
