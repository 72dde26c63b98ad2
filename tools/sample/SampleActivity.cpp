// SampleActivity: the last job of the sample-project generator: what users
// do with the requirements once they exist: saved queries (in the key form
// the database keeps), saved views whose property strings name attributes
// and types by key, discussions with replies and read marks, and the links
// to external projects.
//
// Query strings are written in the host's query language
// (docs/query-language.md) and use every construct of it: requirement
// types, list items, "<no entry>" bare and quoted, texts, numbers and dates,
// CONTAINS, AND/OR/NOT and parentheses, authors and locations, and the
// built-in attributes (traces, the suspect state, dates, names). The first
// view still lists an attribute that no requirement type has any more.
#include <algorithm>
#include <cstdio>

#include "sample/SampleSupport.h"

namespace qmxml::sample {
namespace {

std::string Key(int32_t key) { return std::to_string(key); }

// A requirement type that has all |fields| linked, picked at random.
const ReqType& TypeWith(Model& m, Rng& rng, std::initializer_list<int> fields) {
  std::vector<const ReqType*> fits;
  for (const ReqType& t : m.types) {
    bool all = true;
    for (int f : fields)
      all = all && std::find(t.fields.begin(), t.fields.end(), f) != t.fields.end();
    if (all) fits.push_back(&t);
  }
  return *rng.Pick(fits);
}

// ---- queries ----

struct QueryText {
  std::string name, description, text;
  int32_t type = 0;  // the requirement type it selects, 0 for any
};

QueryText MakeQuery(Model& m, Rng& rng, int kind) {
  const Field& priority = m.fields[kPriority];
  const Field& status = m.fields[kStatus];
  if (kind == 4 && m.documents.empty()) kind = 0;
  switch (kind) {
    case 0: {
      const ReqType& t = TypeWith(m, rng, {kPriority});
      return {"High priority – " + t.name, "Requirements the customer needs first.",
              "ReqType.Key = " + Key(t.key) + " AND Attr[" + Key(priority.key) +
                  "] = " + Key(priority.items[0]),
              t.key};
    }
    case 1: {
      const ReqType& t = TypeWith(m, rng, {kStatus, kEffort});
      return {"Open work on " + t.name,
              "Approved or implemented, with five days of effort or more.",
              "ReqType.Key = " + Key(t.key) + " AND (Attr[" + Key(status.key) +
                  "] = " + Key(status.items[1]) + " OR Attr[" + Key(status.key) +
                  "] = " + Key(status.items[2]) + ") AND Attr[" +
                  Key(m.fields[kEffort].key) + "] >= 5",
              t.key};
    }
    case 2: {
      const ReqType& t = TypeWith(m, rng, {kRelease});
      return {"Not yet planned: " + t.name, "No target release chosen yet.",
              "ReqType.Key = " + Key(t.key) + " AND Attr[" + Key(m.fields[kRelease].key) +
                  "] = \"<no entry>\"",
              t.key};
    }
    case 3: {
      const ReqType& t = m.types[rng.Below(kTypeCount)];
      const User& u = m.AnyUser(rng);
      return {"Written by " + u.full_name, "Everything this author changed last.",
              "ReqType.Key = " + Key(t.key) + " AND Req.Author = " + Key(u.key), t.key};
    }
    case 4: {
      const Document& d =
          m.documents[rng.Below(static_cast<uint32_t>(m.documents.size()))];
      const ReqType& t = m.types[m.doc_types[d.doc_type].req_type];
      return {"In document " + Key(d.key), "Requirements located in one document.",
              "ReqType.Key = " + Key(t.key) + " AND Req.Location = " + Key(d.key), t.key};
    }
    case 5: {
      const ReqType& t = TypeWith(m, rng, {kPlatforms});
      const Field& platforms = m.fields[kPlatforms];
      return {"Linux – " + t.name, "Requirements that apply to the Linux build.",
              "ReqType.Key = " + Key(t.key) + " AND Attr[" + Key(platforms.key) +
                  "] CONTAINS " + Key(platforms.items[1]),
              t.key};
    }
    case 6: {
      // Texts that a rewrite by text must leave alone, a date and NOT.
      const ReqType& t = TypeWith(m, rng, {kRationale, kTargetDate});
      return {"Suspect rationale – " + t.name, "Rationales that still mention a draft.",
              "ReqType.Key = " + Key(t.key) + " AND Attr[" +
                  Key(m.fields[kRationale].key) +
                  "] CONTAINS \"suspect {draft} <no entry> ReqType.Guid\" AND NOT Attr[" +
                  Key(m.fields[kTargetDate].key) + "] < #2010-06-30#",
              t.key};
    }
    case 7: {
      // Built-in attributes: traces to a type, the suspect state, a date
      // and the author.
      const ReqType& t = m.types[rng.Below(kTypeCount)];
      const User& u = m.AnyUser(rng);
      return {"Suspect traces to " + t.name, "Traces that need a look after a change.",
              "Attr[-20] = " + Key(t.key) +
                  " AND Attr[-22] = 1 AND Attr[-26] >= #2010-01-01 08:00:00# "
                  "OR Attr[-6] = " +
                  Key(u.key)};
    }
    default: {
      // No item, the empty value of a built-in text, a real number and
      // requirements outside any document.
      const ReqType& t = TypeWith(m, rng, {kPriority, kRisk});
      return {"Unsorted risks – " + t.name, "Risky requirements nobody has placed yet.",
              "ReqType.Key = " + Key(t.key) + " AND Attr[" +
                  Key(m.fields[kPriority].key) + "] <> 0 AND Attr[" +
                  Key(m.fields[kRisk].key) +
                  "] > 0.5 AND (Attr[-18] = \"<no entry>\" OR "
                  "Req.Location = 0)",
              t.key};
    }
  }
}

// Query kinds above; every sample has at least one of each.
constexpr int kQueryKinds = 9;

void WriteQueries(Model& m, Rng& rng) {
  Insert queries(
      m.db, "QmQueryDefinitions",
      {"ID", "PROJECTID", "QUERYNAME", "QUERYDESCRIPTION", "QUERYUSERID", "QUERYDATETIME",
       "QUERYREASON", "QUERYBASETYPE", "QUERYSTRING", "QMGUID"});
  const int count = std::max(kQueryKinds, 4 + static_cast<int>(m.packages.size()) / 10);
  for (int i = 0; i < count; ++i) {
    const int32_t key = i + 1;
    QueryText q = MakeQuery(m, rng, i % kQueryKinds);
    if (i >= kQueryKinds) q.name += " (" + Key(i / kQueryKinds + 1) + ")";
    const int64_t when = m.project_start + rng.Days(30, 900, 8 * 3600);
    const int32_t owner = m.AnyUser(rng).key;
    const char* reason = rng.Percent(40) ? "Weekly review" : "";
    const std::string guid = MakeGuid(rng);
    queries.Row(key, m.project_key, q.name, q.description, owner, Stamp(when), reason, 1,
                q.text, guid);
    m.queries.push_back(key);
    m.query_types.push_back(q.type);
  }
}

// ---- views ----

// A query for a view of requirement type |type|: one that selects that
// type when there is one, else one that names no type (so that the view
// shows a part of its type, never nothing by construction). One draw of
// |rng| either way.
int32_t QueryFor(Model& m, Rng& rng, int32_t type) {
  std::vector<int32_t> typed, untyped;
  for (size_t i = 0; i < m.queries.size(); ++i) {
    if (m.query_types[i] == type) typed.push_back(m.queries[i]);
    if (m.query_types[i] == 0) untyped.push_back(m.queries[i]);
  }
  return rng.Pick(!typed.empty() ? typed : !untyped.empty() ? untyped : m.queries);
}

// The type a traceability view shows across from |type|.
int Downstream(int type) {
  static const int kNext[kTypeCount] = {kUserNeed, kSoftware, kTestCase,
                                        kSoftware, kSoftware, kFeature};
  return kNext[type];
}

// The stored property string: column attributes and widths by key, the
// type shown across for matrices, and entries the conversion leaves alone.
// |retired|, when not 0, is an attribute that belongs to no type of the
// project any more: a view still lists it as its second column, and the
// export drops it.
std::string ViewProperties(Model& m, Rng& rng, const ReqType& type, int view_type,
                           int32_t retired) {
  std::vector<int32_t> columns;
  for (int f : type.fields)
    if (m.fields[f].values && (columns.size() < 2 || rng.Percent(50)))
      columns.push_back(m.fields[f].key);
  if (retired != 0) columns.insert(columns.begin() + 1, retired);
  std::string keys, widths;
  for (size_t i = 0; i < columns.size(); ++i) {
    if (i > 0) {
      keys += ",";
      widths += ",";
    }
    keys += "/i" + Key(columns[i]);
    widths += "/i" + Key(columns[i]) + "-/" + Key(rng.Between(6, 30) * 10);
  }
  std::string props = "version=3;attributeKeys=/c(" + keys + ");columnWidths=/d(" +
                      widths + ");sortColumn=/y(1);showDeleted=0";
  if (view_type == 1)
    props += ";horizReqTypeKey=/i" +
             Key(m.types[Downstream(static_cast<int>(type.key - 1))].key);
  return props;
}

void WriteViews(Model& m, Rng& rng) {
  Insert views(m.db, "QmViews",
               {"ID", "PROJECTID", "REQUIREMENTTYPEID", "SECONDARYREQTYPEID", "VIEWNAME",
                "VIEWDESCRIPTION", "VIEWTYPE", "VISIBILITY", "PROPERTIES", "QUERYID",
                "SECONDARYQUERYID", "VIEWUSERID", "VIEWDATETIME", "VIEWREASON", "QMGUID",
                "FilePath"});
  Insert members(m.db, "QmPackageElements", {"PACKAGEID", "VIEWID"});
  // An attribute taken out of every requirement type.
  int32_t retired = 0;
  for (const Field& f : m.fields) retired = std::max(retired, f.key);
  ++retired;
  {
    Insert field(m.db, "qmUserDefinedFields",
                 {"ID", "Label", "DataType", "DESCRIPTION", "QMGUID"});
    field.Row(retired, "Legacy Category", 0, "No longer used by any requirement type.",
              MakeGuid(rng));
  }
  const int packages = static_cast<int>(m.packages.size());
  const int count = std::max(2, (packages + 3) / 4);
  for (int v = 0; v < count; ++v) {
    const int32_t key = ++m.last_view;
    const Package& pkg = m.packages[static_cast<int64_t>(v) * packages / count];
    const ReqType& type = m.types[rng.Below(kTypeCount - 1)];
    // Attribute matrix, traceability matrix or traceability tree; the first
    // view is a matrix with a secondary query, so that every column is used.
    const int roll = v == 0 ? 70 : static_cast<int>(rng.Below(100));
    const int view_type = roll < 60 ? 0 : roll < 85 ? 1 : 2;
    std::optional<int32_t> secondary_type, secondary_query;
    std::string name = type.name;
    if (view_type == 1) {
      const ReqType& across = m.types[Downstream(static_cast<int>(type.key - 1))];
      secondary_type = across.key;
      name += " to " + across.name + " matrix";
      if (v == 0 || rng.Percent(50)) secondary_query = QueryFor(m, rng, across.key);
    } else {
      name += view_type == 0 ? " attributes" : " trace tree";
    }
    name += " – " + pkg.name;
    const int64_t when = m.project_start + rng.Days(60, 950, 8 * 3600);
    char file[64];
    std::snprintf(file, sizeof file, "C:\\Projects\\Atlas\\Views\\V%04d.rqv",
                  static_cast<int>(key));
    const std::string description = Paragraphs(rng, rng.Between(1, 2));
    const int visibility = rng.Below(2);
    const std::string properties =
        ViewProperties(m, rng, type, view_type, v == 0 ? retired : 0);
    const int32_t query = QueryFor(m, rng, type.key);
    const int32_t owner = m.AnyUser(rng).key;
    const char* reason = rng.Percent(30) ? "Prepared for the design review" : "";
    const std::string guid = MakeGuid(rng);
    views.Row(key, m.project_key, type.key, secondary_type, name, description, view_type,
              visibility, properties, query, secondary_query, owner, Stamp(when), reason,
              guid, file);
    members.Row(pkg.key, key);
  }
}

// ---- discussions ----

struct Post {
  int parent;  // index in the thread, -1 for the discussion itself
  int32_t author;
  int64_t when;
  std::string subject, message;
  bool answered = false;
};

// |count| different users, picked at random.
std::vector<int32_t> SomeUsers(Model& m, Rng& rng, int count) {
  std::vector<int32_t> keys;
  for (const User& u : m.users) keys.push_back(u.key);
  for (int i = 0; i < count; ++i)
    std::swap(keys[i], keys[i + rng.Below(static_cast<uint32_t>(keys.size() - i))]);
  keys.resize(count);
  std::sort(keys.begin(), keys.end());
  return keys;
}

void WriteDiscussions(Model& m, Rng& rng) {
  Insert posts(
      m.db, "QmDiscussions",
      {"ID", "Subject", "Message", "AuthorID", "SubmitDateTime", "Status", "Priority",
       "Restricted", "RootID", "ParentID", "HasResponses", "QMGUID"});
  Insert project(m.db, "QmProjectDiscussions", {"ProjectID", "DiscussionID"});
  Insert about(m.db, "QmDiscussionRequirements", {"DiscussionID", "RequirementID"});
  Insert users(m.db, "QmDiscussionUsers", {"DiscussionID", "UserID"});
  Insert groups(m.db, "QmDiscussionGroups", {"DiscussionID", "UserGroupID"});
  Insert read(m.db, "QmDiscussionsRead", {"DiscussionID", "UserID", "ReadDateTime"});
  const int count = std::max(2, m.requirements / 100);
  int32_t last_key = 0;
  for (int d = 0; d < count; ++d) {
    const int32_t req = static_cast<int32_t>(int64_t{d} * m.requirements / count);
    // The thread: the discussion, then replies to it or to earlier replies.
    std::vector<Post> thread;
    int64_t when =
        m.project_start + req * 800 * kDay / m.requirements + rng.Between(1, 100) * kDay;
    std::string subject = "Clarify: " + Title(rng);
    thread.push_back(
        {-1, m.AnyUser(rng).key, when, subject, Paragraphs(rng, rng.Between(1, 3))});
    const int replies = d == 0 ? 3 : rng.Between(0, 3);
    for (int r = 1; r <= replies; ++r) {
      int parent = r == 1 || rng.Percent(50) ? 0 : rng.Between(1, r - 1);
      thread[parent].answered = true;
      when += rng.Between(1, 72) * 3600;
      thread.push_back(
          {parent, m.AnyUser(rng).key, when, "RE: " + subject,
           rng.Percent(50) ? Sentence(rng) : "Agreed – I updated the text."});
    }
    const int32_t root = last_key + 1;
    const int status = rng.Between(0, 2), priority = rng.Between(1, 3);
    const int restricted = rng.Percent(10) ? 1 : 0;
    for (size_t i = 0; i < thread.size(); ++i) {
      const Post& p = thread[i];
      const int32_t key = ++last_key;
      std::optional<int32_t> parent;
      if (p.parent >= 0) parent = root + p.parent;
      posts.Row(key, p.subject, p.message, p.author, Stamp(p.when), status, priority,
                restricted, root, parent, p.answered ? 1 : 0, MakeGuid(rng));
      project.Row(m.project_key, key);
      for (int32_t u : SomeUsers(m, rng, rng.Between(0, 3)))
        read.Row(key, u, Stamp(p.when + rng.Between(1, 48) * 3600));
    }
    // Who and what the discussion is about.
    about.Row(root, req + 1);
    if (rng.Percent(30) && m.requirements > 1) {
      int32_t other =
          static_cast<int32_t>(rng.Below(static_cast<uint32_t>(m.requirements)));
      if (other != req) about.Row(root, other + 1);
    }
    for (int32_t u : SomeUsers(m, rng, rng.Between(1, 3))) users.Row(root, u);
    if (d == 0 || rng.Percent(40))
      groups.Row(root, m.groups[rng.Below(static_cast<uint32_t>(m.groups.size()))].key);
  }
}

// ---- external projects ----

void WriteExternalProjects(Model& m, Rng& rng) {
  Insert projects(m.db, "qmExternalProjects",
                  {"ID", "QMGUID", "NAME", "Directory", "Filename"});
  Insert links(m.db, "qmProjectExternalProjects",
               {"ProjectID", "ExternalProjectID", "Prefix", "ConnectAtOpen"});
  projects.Row(1, MakeGuid(rng), "Atlas Flight Segment",
               "\\\\fileserver\\projects\\atlas-flight", "AtlasFlight.rqs");
  links.Row(m.project_key, 1, "FS", 1);
  projects.Row(2, MakeGuid(rng), "Common Ground Library – Bodensegment",
               "C:\\Projects\\Common", "CommonGround.rqs");
  links.Row(m.project_key, 2, "CGL", 0);
}

}  // namespace

void FillActivity(Model& m) {
  Rng rng(m.seed, 5);
  m.Tell("queries and views");
  WriteQueries(m, rng);
  WriteViews(m, rng);
  m.Tell("discussions");
  WriteDiscussions(m, rng);
  WriteExternalProjects(m, rng);
}

}  // namespace qmxml::sample
