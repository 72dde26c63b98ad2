// The discussions document: lists paired by key (orphans left out), replies
// only for answered discussions, each under its real parent, read marks of replies.
#include "movers/baseline/BaselineTestSupport.h"

namespace qmxml::testing {
namespace {

using BaseCompDiscsMoverTest = BaselineFixture;

TEST_F(BaseCompDiscsMoverTest, ListsPairByIdAndOrphansAreSkipped) {
  Add("Discs",
      MakeRecordset({"DiscID", "Subject", "Message", "AuthorGuid", "AuthorName", "SubmitDateTime",
                     "Status", "Priority", "Restricted", "RootID", "ParentID", "HasResponses"},
                    {{Variant(1), Variant("S1"), Variant("M1"), Variant("{A}"), Variant("Ann"),
                      Variant("2020-01-01"), Variant(0), Variant(1), Variant(0), Variant(1),
                      Variant::Null(), Variant(true)},
                     {Variant(5), Variant("S5"), Variant("M5"), Variant("{A}"), Variant("Ann"),
                      Variant("2020-01-02"), Variant(1), Variant(2), Variant(0), Variant(5),
                      Variant::Null(), Variant(false)}}));
  Add("DiscUser", MakeRecordset({"DiscID", "QMGUID", "FullName"},
                                {{Variant(1), Variant("{U1}"), Variant("Ann")},
                                 {Variant(3), Variant("{ORPHAN}"), Variant("Nobody")},
                                 {Variant(5), Variant("{U2}"), Variant("Bob")}}));
  Add("DiscGroup", MakeRecordset({"DiscID", "QMGUID", "Name"},
                                 {{Variant(5), Variant("{G}"), Variant("Devs")}}));
  Add("DiscRead", MakeRecordset({"DiscID", "QMGUID", "FullName"}, {}));
  // Discussion 5 has a reply row but no responses: it is not written.
  Add("DiscReply",
      MakeRecordset({"ParentID", "DiscID", "Subject", "Message", "AuthorGUID", "AuthorName",
                     "SubmitDateTime", "Restricted", "RootID", "HasResponses"},
                    {{Variant(1), Variant(2), Variant("RE"), Variant("ok"), Variant("{B}"),
                      Variant("Bob"), Variant("2020-01-03"), Variant(0), Variant(1),
                      Variant(false)},
                     {Variant(5), Variant(6), Variant("RE5"), Variant("x"), Variant("{B}"),
                      Variant("Bob"), Variant("2020-01-04"), Variant(0), Variant(5),
                      Variant(false)}}));
  Add("DiscReplyRead", MakeRecordset({"DiscID", "QMGUID", "FullName"},
                                     {{Variant(2), Variant("{U1}"), Variant("Ann")},
                                      {Variant(2), Variant("{U2}"), Variant("Bob")}}));
  Add("DiscReqs", MakeRecordset({"DiscussionID", "RequirementPrefix", "QMGUID"},
                                {{Variant(1), Variant("SR1"), Variant("{R1}")}}));
  Write("BaseCompDiscsMover", "discs.XML");
  auto& doc = Load("discs.XML");
  EXPECT_EQ(ChildNames(doc.child("PROJECT")), "GUID Discs");
  auto discs = doc.select_nodes("/PROJECT/Discs/Disc");
  ASSERT_EQ(discs.size(), 2u);
  EXPECT_EQ(ChildNames(discs[0].node()),
            "DID Subj Desc AID AName Date Status Priority Restrict RID PID HasReply DUsers "
            "Replies DiscReqs");
  EXPECT_EQ(ChildNames(discs[1].node()),
            "DID Subj Desc AID AName Date Status Priority Restrict RID PID DUsers DGroups");
  EXPECT_EQ(Texts(discs[0].node(), "DUsers/DUsr/DUID"), "{U1}");
  EXPECT_EQ(Texts(discs[1].node(), "DUsers/DUsr/DUID"), "{U2}");
  pugi::xml_node reply = discs[0].node().child("Replies").child("Disc");
  EXPECT_EQ(ChildNames(reply), "DID Subj Desc AID AName Date Restrict RID PID DRead");
  EXPECT_EQ(Texts(reply, "DRead/DUsr/DUName"), "Ann Bob");
}

}  // namespace
}  // namespace qmxml::testing
