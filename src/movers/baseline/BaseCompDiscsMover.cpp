// BaseCompDiscsMover: one ordered merge per list over sets sorted by their
// pairing column, driven by the discussions in ascending order.
#include "movers/baseline/BaseCompDiscsMover.h"

#include "frame/MoverRegistry.h"
#include "movers/baseline/BaseCompWriteXML.h"
#include "xml/XmlDoc.h"

namespace qmxml::movers {
namespace {

using baseline::AppendText;
using baseline::Raw;
using baseline::Text;

// The numeric value of |column| in the current row (0 when it has none).
double Number(const Recordset& rs, int column) {
  const Variant& v = rs.RefAt(column);
  return v.IsNumeric() ? v.ToDouble() : 0;
}

// Ordered merge: rows of |rs| whose |column| equals |id| each add an item
// through |item| to a |list| element created on the first; smaller values
// (orphans) are passed over; the first greater one stays current.
template <class Item>
void MergeList(pugi::xml_node parent, const char* list, Recordset* rs, const char* column,
               double id, Item&& item) {
  if (rs == nullptr) return;
  const int index = rs->FieldIndex(column);
  if (index < 0) return;
  pugi::xml_node element;
  for (; !rs->IsEOF(); rs->MoveNext()) {
    const double value = Number(*rs, index);
    if (value > id) break;
    if (value < id) continue;
    if (!element) element = parent.append_child(list);
    item(element, *rs);
  }
}

void AppendUser(pugi::xml_node list, const Recordset& rs) {
  pugi::xml_node user = list.append_child("DUsr");
  AppendText(user, "DUID", Text(rs, "QMGUID"));
  AppendText(user, "DUName", Text(rs, "FullName"));
}

struct DiscSets {
  std::shared_ptr<Recordset> discs, reqs, users, groups, read, replies, reply_read;
};

// The children a discussion and a reply share, with the discussion's
// Status and Priority between; reports whether HasReply was written.
bool AppendPost(pugi::xml_node disc, const Recordset& rs, bool root) {
  AppendText(disc, "DID", Raw(rs, "DiscID"));
  AppendText(disc, "Subj", Text(rs, "Subject"));
  AppendText(disc, "Desc", Text(rs, "Message"));
  AppendText(disc, "AID", Text(rs, root ? "AuthorGuid" : "AuthorGUID"));
  AppendText(disc, "AName", Text(rs, "AuthorName"));
  AppendText(disc, "Date", Text(rs, "SubmitDateTime"));
  if (root) {
    AppendText(disc, "Status", Text(rs, "Status"));
    AppendText(disc, "Priority", Text(rs, "Priority"));
  }
  AppendText(disc, "Restrict", Text(rs, "Restricted"));
  AppendText(disc, "RID", Text(rs, "RootID"));
  AppendText(disc, "PID", Text(rs, "ParentID"));
  const bool answered = baseline::Bit(rs, "HasResponses") == "1";
  if (answered) AppendText(disc, "HasReply", "1");
  return answered;
}

// The discussion's key, which the lists pair with.
double DiscussionId(const Recordset& rs) {
  const Variant id = rs.ValueOr("DiscID");
  return id.IsNumeric() ? id.ToDouble() : 0;
}

void AppendReply(pugi::xml_node list, const Recordset& rs, const DiscSets& sets) {
  pugi::xml_node reply = list.append_child("Disc");
  AppendPost(reply, rs, false);
  MergeList(reply, "DRead", sets.reply_read.get(), "DiscID", DiscussionId(rs), AppendUser);
}

void AppendDiscussion(pugi::xml_node list, const DiscSets& sets) {
  const Recordset& rs = *sets.discs;
  pugi::xml_node disc = list.append_child("Disc");
  const bool answered = AppendPost(disc, rs, true);
  const double id = DiscussionId(rs);
  MergeList(disc, "DUsers", sets.users.get(), "DiscID", id, AppendUser);
  MergeList(disc, "DGroups", sets.groups.get(), "DiscID", id,
            [](pugi::xml_node l, const Recordset& r) {
              pugi::xml_node group = l.append_child("DGroup");
              AppendText(group, "DGID", Text(r, "QMGUID"));
              AppendText(group, "DGName", Text(r, "Name"));
            });
  MergeList(disc, "DRead", sets.read.get(), "DiscID", id, AppendUser);
  if (answered)
    MergeList(disc, "Replies", sets.replies.get(), "ParentID", id,
              [&](pugi::xml_node l, const Recordset& r) { AppendReply(l, r, sets); });
  MergeList(disc, "DiscReqs", sets.reqs.get(), "DiscussionID", id,
            [](pugi::xml_node l, const Recordset& r) {
              pugi::xml_node req = l.append_child("DiscReq");
              AppendText(req, "RPre", Text(r, "RequirementPrefix"));
              AppendText(req, "GUID", Text(r, "QMGUID"));
            });
}

}  // namespace

BaseCompDiscsMover::BaseCompDiscsMover() : MoverBase("BaseCompDiscsMover") {}

void BaseCompDiscsMover::ReadData(SourceContainer*, DataDescriptor*, ObjectPtr&, Scheduler*) {}

void BaseCompDiscsMover::WriteData(SourceContainer* oSource, DataDescriptor* oData,
                                   ObjectPtr& oRs, Scheduler*) {
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
  doc_ = xml::NewDocument();
  pugi::xml_node project = doc_->append_child("PROJECT");
  baseline::SetSchemaAttributes(project, baseline::kBaselineSchema);
  AppendText(project, "GUID", oData ? oData->SpectoProject.ToText() : std::string());
  pugi::xml_node list = project.append_child("Discs");
  if (sets.discs)
    for (; !sets.discs->IsEOF(); sets.discs->MoveNext()) AppendDiscussion(list, sets);
  xml::SaveDocument(*doc_, FilePath(oSource));
}

MoverPtr NewBaseCompDiscsMover() { return std::make_shared<BaseCompDiscsMover>(); }

}  // namespace qmxml::movers
