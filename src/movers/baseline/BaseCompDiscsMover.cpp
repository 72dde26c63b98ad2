// BaseCompDiscsMover: the discussions of "Discs" in their order, each list
// filled from its set by the pairing column through an index, so a row
// pairs with its discussion wherever it stands in its set.
#include "movers/baseline/BaseCompDiscsMover.h"

#include "frame/MoverRegistry.h"
#include "movers/baseline/BaseCompWriteXML.h"
#include "xml/TextWriter.h"

namespace qmxml::movers {
namespace {

using baseline::AppendColumn;
using baseline::AppendRawColumn;
using baseline::AppendText;

void AppendUser(xml::TextWriter& user, const Recordset& rs) {
  user.Open("DUsr");
  AppendColumn(user, "DUID", rs, "QMGUID");
  AppendColumn(user, "DUName", rs, "FullName");
  user.Close();
}

struct DiscSets {
  std::shared_ptr<Recordset> discs, reqs, users, groups, read, replies, reply_read;
};

// Each list's rows indexed by the column that pairs them with their
// discussion: "DiscReply" by the reply's real parent, "DiscReplyRead" by
// the reply itself. The discussions of "Discs" are the thread roots and
// every reply that has replies of its own, so each reply is written under
// its real parent, however deep the thread and however the keys of
// different threads interleave.
struct DiscLists {
  explicit DiscLists(const DiscSets& s)
      : reqs(s.reqs.get(), {"DiscussionID"}),
        users(s.users.get(), {"DiscID"}),
        groups(s.groups.get(), {"DiscID"}),
        read(s.read.get(), {"DiscID"}),
        replies(s.replies.get(), {"ParentID"}),
        reply_read(s.reply_read.get(), {"DiscID"}) {}
  baseline::RowIndex reqs, users, groups, read, replies, reply_read;
};

// The children a discussion and a reply share, with the discussion's
// Status and Priority between; reports whether HasReply was written.
bool AppendPost(xml::TextWriter& disc, const Recordset& rs, bool root) {
  AppendRawColumn(disc, "DID", rs, "DiscID");
  AppendColumn(disc, "Subj", rs, "Subject");
  AppendColumn(disc, "Desc", rs, "Message");
  AppendColumn(disc, "AID", rs, root ? "AuthorGuid" : "AuthorGUID");
  AppendColumn(disc, "AName", rs, "AuthorName");
  AppendColumn(disc, "Date", rs, "SubmitDateTime");
  if (root) {
    AppendColumn(disc, "Status", rs, "Status");
    AppendColumn(disc, "Priority", rs, "Priority");
  }
  AppendColumn(disc, "Restrict", rs, "Restricted");
  AppendColumn(disc, "RID", rs, "RootID");
  AppendColumn(disc, "PID", rs, "ParentID");
  const bool answered = baseline::Bit(rs, "HasResponses") == "1";
  if (answered) AppendText(disc, "HasReply", "1");
  return answered;
}

// The discussion's key, which the lists pair with.
std::string DiscussionId(const Recordset& rs) { return baseline::RowIndex::KeyOf(rs, {"DiscID"}); }

void AppendReply(xml::TextWriter& reply, const Recordset& rs, DiscLists& lists) {
  reply.Open("Disc");
  AppendPost(reply, rs, false);
  baseline::FillList(reply, "DRead", lists.reply_read, DiscussionId(rs), AppendUser);
  reply.Close();
}

void AppendDiscussion(xml::TextWriter& disc, const Recordset& rs, DiscLists& lists) {
  disc.Open("Disc");
  const bool answered = AppendPost(disc, rs, true);
  const std::string id = DiscussionId(rs);
  baseline::FillList(disc, "DUsers", lists.users, id, AppendUser);
  baseline::FillList(disc, "DGroups", lists.groups, id,
                     [](xml::TextWriter& group, const Recordset& r) {
                       group.Open("DGroup");
                       AppendColumn(group, "DGID", r, "QMGUID");
                       AppendColumn(group, "DGName", r, "Name");
                       group.Close();
                     });
  baseline::FillList(disc, "DRead", lists.read, id, AppendUser);
  if (answered)
    baseline::FillList(disc, "Replies", lists.replies, id,
                       [&](xml::TextWriter& l, const Recordset& r) { AppendReply(l, r, lists); });
  baseline::FillList(disc, "DiscReqs", lists.reqs, id,
                     [](xml::TextWriter& req, const Recordset& r) {
                       req.Open("DiscReq");
                       AppendColumn(req, "RPre", r, "RequirementPrefix");
                       AppendColumn(req, "GUID", r, "QMGUID");
                       req.Close();
                     });
  disc.Close();
}

}  // namespace

BaseCompDiscsMover::BaseCompDiscsMover() : MoverBase("BaseCompDiscsMover") {}

void BaseCompDiscsMover::ReadData(SourceContainer*, DataDescriptor*, ObjectPtr&, Scheduler*) {}

void BaseCompDiscsMover::WriteData(SourceContainer* oSource, DataDescriptor* oData,
                                   ObjectPtr& oRs, Scheduler*) {
  UseRun(oData);
  DiscSets sets;
  if (auto rows = frame::Take<Collection>(oRs)) {
    sets.discs = rows->Get<Recordset>("Discs");
    sets.reqs = rows->Get<Recordset>("DiscReqs");
    sets.users = rows->Get<Recordset>("DiscUser");
    sets.groups = rows->Get<Recordset>("DiscGroup");
    sets.read = rows->Get<Recordset>("DiscRead");
    sets.replies = rows->Get<Recordset>("DiscReply");
    sets.reply_read = rows->Get<Recordset>("DiscReplyRead");
  }
  xml::TextWriter w;
  w.Open("PROJECT");
  baseline::SetSchemaAttributes(w, baseline::kBaselineSchema);
  AppendText(w, "GUID", oData ? oData->SpectoProject.ToText() : std::string());
  w.Open("Discs");
  if (sets.discs) {
    DiscLists lists(sets);
    for (; !sets.discs->IsEOF(); sets.discs->MoveNext()) AppendDiscussion(w, *sets.discs, lists);
  }
  Save(w, FilePath(oSource));
}

MoverPtr NewBaseCompDiscsMover() { return std::make_shared<BaseCompDiscsMover>(); }

}  // namespace qmxml::movers
