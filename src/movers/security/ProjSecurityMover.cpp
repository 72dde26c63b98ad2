// Users and groups: rows to the "PROJECT" document and back.
#include "movers/security/ProjSecurityMover.h"

#include <cstdint>
#include <vector>

#include "frame/MoverRegistry.h"
#include "movers/security/SecuritySteps.h"
#include "qmxml/Error.h"
#include "sql/SqlText.h"
#include "xml/ElementLayout.h"

namespace qmxml::movers {
namespace {

using xml::ColumnValue;

// The attributes of "Group" (the reader stores the texts before the GUID
// in the columns they are written from) and of "User" (Password computed:
// ConvertPWDToDecimal).
constexpr xml::AttrTable kGroupAttrs{{
    {"NAME", "NAME"},
    {"DESCRIPTION", "DESCRIPTION"},
    {"ProjectAccessRights", "PROJECTACCESSRIGHTS"},
    {"DocTypeAccessRights", "DOCTYPEACCESSRIGHTS"},
    {"ReqTypeAccessRights", "REQTYPEACCESSRIGHTS"},
    {"AttributeAccessRights", "ATTRIBUTEACCESSRIGHTS"},
    {"ListItemAccessRights", "LISTITEMACCESSRIGHTS"},
    {"ID", "QMGUID"},
}};
constexpr xml::AttrTable kUserAttrs{{
    {"LoginName", "LoginName"},
    {"Password"},
    {"Active", "Active", xml::kBoolean},
    {"FullName", "FullName"},
    {"EmailAddress", "EmailAddress"},
    {"GroupName", "NAME"},
    {"GroupGUID", "GroupGUID"},
    {"ID", "QMGUID"},
}};

// UTF-8 text as UTF-16 code units. Lone surrogates stored in the 3-byte
// form come back as themselves, so any unit sequence survives the round
// trip; a byte that starts no valid sequence stands for the unit of its
// own value.
std::vector<uint16_t> ToUnits(std::string_view s) {
  std::vector<uint16_t> out;
  out.reserve(s.size());
  size_t i = 0;
  auto cont = [&](size_t k) {
    return i + k < s.size() && (static_cast<uint8_t>(s[i + k]) & 0xC0) == 0x80;
  };
  while (i < s.size()) {
    uint8_t b = static_cast<uint8_t>(s[i]);
    uint32_t cp = 0;
    size_t len = 0;
    if (b < 0x80) {
      cp = b, len = 1;
    } else if (b >= 0xC2 && b <= 0xDF && cont(1)) {
      cp = ((b & 0x1Fu) << 6) | (s[i + 1] & 0x3F), len = 2;
    } else if (b >= 0xE0 && b <= 0xEF && cont(1) && cont(2)) {
      cp = ((b & 0x0Fu) << 12) | ((s[i + 1] & 0x3Fu) << 6) | (s[i + 2] & 0x3F), len = 3;
      if (cp < 0x800) len = 0;
    } else if (b >= 0xF0 && b <= 0xF4 && cont(1) && cont(2) && cont(3)) {
      cp = ((b & 0x07u) << 18) | ((s[i + 1] & 0x3Fu) << 12) | ((s[i + 2] & 0x3Fu) << 6) |
           (s[i + 3] & 0x3F);
      len = 4;
      if (cp < 0x10000 || cp > 0x10FFFF) len = 0;
    }
    if (len == 0) {
      out.push_back(b);
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<uint16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<uint16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<uint16_t>(cp));
    }
    i += len;
  }
  return out;
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// UTF-16 code units as UTF-8; surrogate pairs are joined, lone surrogates
// kept in the 3-byte form (see ToUnits).
std::string FromUnits(const std::vector<uint16_t>& units) {
  std::string out;
  out.reserve(units.size());
  for (size_t i = 0; i < units.size(); ++i) {
    uint32_t u = units[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00));
      ++i;
    } else {
      AppendUtf8(out, u);
    }
  }
  return out;
}

// The element children of the list at |list| (elements are the nodes that
// carry attributes; anything else is skipped).
std::vector<pugi::xml_node> Entries(pugi::xml_node list) {
  return list ? xml::Children(list) : std::vector<pugi::xml_node>();
}

}  // namespace

// ---- password form ----

std::string ProjSecurityMover::ConvertPWDToDecimal(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 4);
  for (uint16_t unit : ToUnits(text)) {
    out += std::to_string(static_cast<int16_t>(unit));
    out += ';';
  }
  return out;
}

std::string ProjSecurityMover::ConvertPWDToCharacter(std::string_view text) {
  std::vector<uint16_t> units;
  units.reserve(text.size() / 3 + 1);
  std::string number;
  for (char c : text) {
    if (c != ';') {
      number.push_back(c);
      continue;
    }
    int32_t code = Variant(number).ToLong();
    if (code < -32768 || code > 65535)
      throw Error(eErr_InvalidArgument, "",
                  "Invalid procedure call or argument: character code " + number);
    units.push_back(static_cast<uint16_t>(code < 0 ? code + 65536 : code));
    number.clear();
  }
  return FromUnits(units);
}

// ---- export ----

void ProjSecurityMover::WriteData(SourceContainer* oSource, DataDescriptor* oData,
                                  ObjectPtr& oRs, Scheduler* oScheduler) {
  const std::string path = FilePath(oSource);
  auto project = frame::Take<Recordset>(oRs);
  RunDataSet(oData, true, eMsg_Security, path, [&] {
    doc_ = xml::NewDocument();
    if (!project || project->IsEOF()) return;
    pugi::xml_node root = doc_->append_child("PROJECT");
    if (!xml::SetIdentity(*project, root, "QMGUID")) {
      doc_->remove_child(root);
      return;
    }
    pugi::xml_node groups = root.append_child("Groups");
    if (!CreateGroupsXMLChildElement_(*project, groups)) root.remove_child(groups);
    pugi::xml_node users = root.append_child("Users");
    if (!CreateUsersXMLChildElement_(*project, users)) root.remove_child(users);
    SaveOrHandBack(oData, oScheduler, path);
  });
}

bool ProjSecurityMover::CreateGroupsXMLChildElement_(const Recordset& project,
                                                     pugi::xml_node groups) const {
  security::RunStep(Source("CreateGroupsXMLChildElement_"), [&] {
    auto rows = security::ChildRows(project, "Groups");
    if (!rows) return;
    const xml::AttrWriter writer(kGroupAttrs, *rows);
    for (; !rows->IsEOF(); rows->MoveNext()) writer.Write(groups.append_child("Group"));
  });
  return static_cast<bool>(groups.first_child());
}

bool ProjSecurityMover::CreateUsersXMLChildElement_(const Recordset& project,
                                                    pugi::xml_node users) const {
  security::RunStep(Source("CreateUsersXMLChildElement_"), [&] {
    auto rows = security::ChildRows(project, "Users");
    if (!rows) return;
    const xml::AttrWriter writer(kUserAttrs, *rows);
    const Field password = rows->GetField("Password");
    for (; !rows->IsEOF(); rows->MoveNext()) {
      writer.Write(users.append_child("User"), [&](size_t) {
        return ConvertPWDToDecimal(ColumnValue(password, xml::kString).ToText());
      });
    }
  });
  return static_cast<bool>(users.first_child());
}

// ---- import ----

void ProjSecurityMover::ReadData(SourceContainer* oSource, DataDescriptor* oData,
                                 ObjectPtr& oRs, Scheduler* /*oScheduler*/) {
  CheckContext(oData);
  const int32_t flags = oData->ProjectFlags;
  auto rows = frame::Take<Collection>(oRs);
  const std::string path = FilePath(oSource);
  RunDataSet(oData, false, eMsg_Security, path, [&] {
    doc_ = LoadFile(oSource, path, Source("IMover_ReadData"));
    if (!rows) return;
    auto db = DbContainer(oSource);
    if (!db || !db->keys) return;
    auto guids = frame::ChooseGuidProvider(flags, *Run().services);
    if (!guids) return;

    // Groups are at position 0 and users at 1. A project without groups
    // is written with "Users" first; that list is read as users, never as
    // groups.
    pugi::xml_node root = xml::RootElement(*doc_);
    pugi::xml_node groups = xml::ChildNode(root, 0);
    pugi::xml_node users = xml::ChildNode(root, 1);
    if (groups && std::string_view(groups.name()) == "Users") {
      users = groups;
      groups = pugi::xml_node();
    }
    CreateGroupsDBElement_(*rows, groups, *db->keys, *guids);
    CreateUsersDBElement_(*rows, users, *db->keys, *guids);
  });
}

void ProjSecurityMover::CreateGroupsDBElement_(const Collection& rows,
                                               pugi::xml_node list, KeyMap& keys,
                                               frame::iGUID& guids) const {
  security::RunStep(Source("CreateGroupsDBElement_"), [&] {
    auto rs = sql::RecordsetOfTable(&rows, sql::Table("qmUserGroups"));
    if (!rs) return;
    for (pugi::xml_node node : Entries(list)) {
      frame::ReadingElement at(reading_, node);
      const xml::AttrRow<kGroupAttrs> a(node);
      rs->AddNew();
      for (size_t i = 0; i < kGroupAttrs.At("ID"); ++i) {
        const std::string text = xml::AttributeValue(a.Attr(i), xml::kString).ToText();
        rs->Set(kGroupAttrs.attrs[i].column, Variant(sql::HostText(text)));
      }
      const std::string guid = a.Text("ID");
      rs->Set("ID", Variant(keys.GetNextDBKey("Group", guid)));
      rs->Set("QMGUID", Variant(guids.GetGUID(guid)));
    }
    rs->UpdateBatch();
  });
}

void ProjSecurityMover::CreateUsersDBElement_(const Collection& rows, pugi::xml_node list,
                                              KeyMap& keys, frame::iGUID& guids) const {
  security::RunStep(Source("CreateUsersDBElement_"), [&] {
    auto rs = sql::RecordsetOfTable(&rows, sql::Table("qmUsers"));
    if (!rs) return;
    for (pugi::xml_node node : Entries(list)) {
      frame::ReadingElement at(reading_, node);
      const xml::AttrRow<kUserAttrs> a(node);
      rs->AddNew();
      rs->Set("LoginName", Variant(sql::HostText(a.Text("LoginName"))));
      rs->Set("Password", Variant(ConvertPWDToCharacter(a.Text("Password"))));
      rs->Set("Active", Variant(static_cast<int16_t>(
                            a.Value("Active", xml::kBoolean).ToBool() ? 1 : 0)));
      rs->Set("FullName", Variant(sql::HostText(a.Text("FullName"))));
      rs->Set("EmailAddress", Variant(sql::HostText(a.Text("EmailAddress"))));
      rs->Set("GroupID", Variant(keys.getKeyFromGUID("Group", a.Text("GroupGUID"))));
      const std::string guid = a.Text("ID");
      rs->Set("ID", Variant(keys.GetNextDBKey("User", guid)));
      rs->Set("QMGUID", Variant(guids.GetGUID(guid)));
    }
    rs->UpdateBatch();
  });
}

MoverPtr NewProjSecurityMover() { return std::make_shared<ProjSecurityMover>(); }

}  // namespace qmxml::movers
