// PackageMover frame: WriteData and ReadData, the Package element with its
// group rights, and the document and view membership lists. Requirements
// are in PackageRequirements.cpp, resources in PackageResources.cpp.
#include "movers/content/PackageMover.h"

#include <filesystem>
#include <system_error>

#include "frame/Components.h"
#include "frame/MoverRegistry.h"
#include "movers/content/PackageXml.h"
#include "qmxml/Error.h"
#include "sql/SqlText.h"
#include "xml/XmlDoc.h"
#include "xml/Files.h"

namespace qmxml::movers {
namespace {

using package_xml::AppendTextElement;
using package_xml::AttrText;
using package_xml::ChildText;
using package_xml::SkipOnFailure;

// The record set under |key|; a missing key is an error, as the runtime's
// collection lookup raises one. An item that is not a record set gives
// nullptr.
std::shared_ptr<Recordset> RequiredRows(const Collection& rows, std::string_view key,
                                        const std::string& source) {
  if (!rows.Contains(key))
    throw Error(eErr_InvalidArgument, source,
                "Invalid procedure call or argument: the rows hold no record set \"" +
                    std::string(key) + "\"");
  return rows.Get<Recordset>(key);
}

// |text| with every occurrence of |what| replaced by |by|; |count| gets the
// number of replacements.
std::string ReplaceAll(std::string text, const std::string& what, const std::string& by,
                       int* count) {
  *count = 0;
  for (size_t at = text.find(what); at != std::string::npos;
       at = text.find(what, at + by.size())) {
    text.replace(at, what.size(), by);
    ++*count;
  }
  return text;
}

// The rights of one group as they go into the statement: a whole number
// when it is 0 or more, NULL for a negative number or no text (a NULL right
// is written as empty text). Text that is not a number throws.
Variant RightsValue(const std::string& text) {
  if (text.empty()) return Variant::Null();
  int32_t rights = Variant(text).ToLong();
  return rights >= 0 ? Variant(rights) : Variant::Null();
}

}  // namespace

namespace package_xml {

std::string PrepareResourcesFolder(const std::string& path, const std::string& element_guid) {
  int replaced = 0;
  std::string folder = ReplaceAll(path, element_guid + ".XML", "Resources", &replaced);
  if (replaced == 0) folder = xml::FolderOfPath(path) + "Resources";
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) std::filesystem::create_directories(folder, ec);
  return folder;
}

}  // namespace package_xml

PackageMover::PackageMover() : MoverBase("PackageMover") {}

// ---------------------------------------------------------------------------
// Database to XML
// ---------------------------------------------------------------------------

void PackageMover::WriteData(SourceContainer* oSource, DataDescriptor* oData,
                             ObjectPtr& oRs, Scheduler* /*oScheduler*/) {
  const std::string path = FilePath(oSource);
  RunDataSet(oData, true, eMsg_Package, path, [&] {
    auto rows = frame::Take<Collection>(oRs);
    if (!rows)
      throw Error(
          91, Source("WriteData_"),
          "Object variable not set: the rows are not a collection of record sets");
    DataDescriptor no_context;
    WriteData_(oData ? *oData : no_context, *rows, path);
  });
}

void PackageMover::WriteData_(DataDescriptor& data, Collection& rows,
                              const std::string& path) {
  // The only steps that stop the export: the two record sets the class
  // offers afterwards.
  rs_package_security_ = RequiredRows(rows, "PackageSecurity", Source("WriteData_"));
  rs_resources_ = RequiredRows(rows, "Resources", Source("WriteData_"));
  rs_requirements_.reset();
  project_guid_.clear();
  resources_folder_.clear();

  // Resource files go to "Resources" in place of the package file's name.
  SkipOnFailure(Run(), "the resources folder of a package", [&] {
    resources_folder_ = package_xml::PrepareResourcesFolder(path, data.ElementGUID.ToText());
  });
  SkipOnFailure(Run(), "the project GUID of a package document", [&] { project_guid_ = data.SpectoProject.ToText(); });

  // The largest documents of an export: written as text as they go, not
  // built as a tree first.
  xml::TextWriter w;
  w.Open("PROJECT");
  SkipOnFailure(Run(), "the identity of a package document", [&] { xml::SetIdentityText(w, data.Data.ToText()); });
  const xml::TextWriter::Mark before = w.Here();
  SkipOnFailure(Run(), "a package element", [&] {
    try {
      CreatePackageXMLElement_(w, rows);
    } catch (...) {
      w.CloseTo(before);
      throw;
    }
  });
  Save(w, path);
}

void PackageMover::CreatePackageXMLElement_(xml::TextWriter& w, Collection& rows) {
  auto package_rows = RequiredRows(rows, "QmPackage", Source("CreatePackageXMLElement_"));
  if (!package_rows)
    throw Error(eErr_ObjectNotSet, Source("CreatePackageXMLElement_"),
                "the package record set is Nothing");
  const Recordset& rs = *package_rows;
  w.Open("Package");
  w.Attr("ID", xml::ColumnText(rs, "QMGUID"));
  w.Attr("NAME", xml::ColumnText(rs, "NAME"));
  w.Attr("DESCRIPTION", xml::ColumnText(rs, "DESCRIPTION"));
  w.Attr("ParentID", xml::ColumnText(rs, "parentid"));

  // A section that fails keeps what it wrote (a requirement that failed
  // is taken out by its own step), and the next one follows.
  auto section = [&](const char* what, auto&& write) {
    const xml::TextWriter::Mark before = w.Here();
    SkipOnFailure(Run(), what, [&] {
      try {
        write();
      } catch (...) {
        w.CloseTo(before);
        throw;
      }
    });
  };
  section("the group rights of a package", [&] { CreatePackageSecurityXMLElement_(w); });
  section("the documents of a package", [&] { CreateChildDocumentsXMLElement_(w, rows); });
  section("the views of a package", [&] { CreateChildViewsXMLElement_(w, rows); });
  w.Open("Requirements");
  section("requirements of a package", [&] { CreateRequirementsXMLChildElement_(w, rows); });
  w.Close();
  w.Close();
}

void PackageMover::CreatePackageSecurityXMLElement_(xml::TextWriter& w) {
  w.Open("PackageSecurity");
  w.Open("Groups");
  if (Recordset* rs = rs_package_security_.get()) {
    for (; !rs->IsEOF(); rs->MoveNext()) {
      w.Open("Group");
      w.Text("Name", xml::ColumnText(*rs, "GroupName"));
      w.Text("GUID", xml::ColumnText(*rs, "GroupGUID"));
      w.Text("PackageAccessRights", xml::ColumnText(*rs, "packageaccessrights"));
      w.Text("RequirementAccessRights", xml::ColumnText(*rs, "requirementaccessrights"));
      w.Text("DocumentAccessRights", xml::ColumnText(*rs, "documentaccessrights"));
      w.Text("ViewAccessRights", xml::ColumnText(*rs, "viewaccessrights"));
      w.Close();
    }
  }
  w.Close();
  w.Close();
}

void PackageMover::CreateChildDocumentsXMLElement_(xml::TextWriter& w, Collection& rows) {
  auto rs = RequiredRows(rows, "qmDocuments", Source("CreateChildDocumentsXMLElement_"));
  if (!rs) throw Error(eErr_ObjectNotSet, Source("CreateChildDocumentsXMLElement_"), "no document rows");
  w.Open("Documents");
  for (; !rs->IsEOF(); rs->MoveNext()) {
    w.Open("DocumentRef");
    w.Attr("WordFilePath", xml::ColumnText(*rs, "WordFilePath"));
    w.Content(xml::ColumnText(*rs, "QMGUID"));
    w.Close();
  }
  w.Close();
}

void PackageMover::CreateChildViewsXMLElement_(xml::TextWriter& w, Collection& rows) {
  auto rs = RequiredRows(rows, "QmViews", Source("CreateChildViewsXMLElement_"));
  if (!rs) throw Error(eErr_ObjectNotSet, Source("CreateChildViewsXMLElement_"), "no view rows");
  w.Open("Views");
  for (; !rs->IsEOF(); rs->MoveNext()) w.Text("ViewRef", xml::ColumnText(*rs, "QMGUID"));
  w.Close();
}

// ---------------------------------------------------------------------------
// XML to database
// ---------------------------------------------------------------------------

void PackageMover::ReadData(SourceContainer* oSource, DataDescriptor* oData,
                            ObjectPtr& oRs, Scheduler* /*oScheduler*/) {
  const std::string path = FilePath(oSource);
  RunDataSet(oData, false, eMsg_Package, path, [&] { ReadData_(oSource, oData, oRs, path); });
}

void PackageMover::ReadData_(SourceContainer* oSource, DataDescriptor* oData,
                             const ObjectPtr& oRs, const std::string& path) {
  auto db = DbContainer(oSource);
  if (!db || !db->connection) return;
  source_path_ = path;
  source_ = oSource;
  doc_ = LoadFile(oSource, path, Source("IMover_ReadData"));
  if (!oRs || !db->keys) return;

  ReadContext ctx;
  ctx.conn = db->connection.get();
  ctx.keys = db->keys.get();
  ctx.requirement_text_size = db->OverflowRequirementTextSize;
  ctx.field_value_size = db->OverflowFieldValueSize;
  ctx.version_reason_size = db->OverflowVersionReasonSize;
  ctx.code_page = db->CodePage;
  std::unique_ptr<frame::iGUID> guids =
      frame::ChooseGuidProvider(oData ? oData->ProjectFlags : 0, *Run().services);
  ctx.guids = guids.get();
  ctx.project_key = frame::ProjectKeyOfDocument(*doc_, ctx.keys);

  int32_t package_key = CreatePackageDBElement_(ctx);
  CreateRequirementsDBElement_(ctx, package_key);
  CreatePackageContentsDBElements_(ctx, package_key);
}

int32_t PackageMover::CreatePackageDBElement_(const ReadContext& ctx) {
  pugi::xml_node package = doc_->select_node("//Package").node();
  if (!package) return 0;
  frame::ReadingElement at(reading_, package);
  const std::string id = AttrText(package, "ID");
  const std::string name = AttrText(package, "NAME");
  const std::string description = xml::LineEnds(AttrText(package, "DESCRIPTION"));
  const std::string parent_guid = AttrText(package, "ParentID");

  const int32_t key = ctx.keys->GetNextDBKey("Package", id);
  const std::string guid = ctx.guids->GetGUID(id);
  const Variant parent =
      parent_guid.empty() ? Variant::Null()
                          : Variant(ctx.keys->getKeyFromGUID("Package", parent_guid));
  ctx.conn->InsertRow("QmPackages", {"ID", "PROJECTID", "NAME", "DESCRIPTION", "QMGUID", "PARENTID"},
                      {Variant(key), Variant(ctx.project_key), sql::SqlValue(Variant(name)),
                       sql::SqlValue(Variant(description)), sql::SqlValue(Variant(guid)), parent});

  // Group rights: a group that cannot be stored (unknown group, rights that
  // are not numbers, a refused row) is left out and the next one is tried.
  pugi::xml_node groups = package.child("PackageSecurity").child("Groups");
  for (pugi::xml_node group : groups.children("Group")) {
    SkipOnFailure(Run(), "group rights of a package", [&] {
      const std::string group_guid = ChildText(group, "GUID");
      const int32_t group_key = ctx.keys->getKeyFromGUID("Group", group_guid);
      if (group_key <= 0)
        throw Error(eErr_Dangling, Source("CreatePackageDBElement_"),
                    "unknown group " + group_guid);
      static const std::vector<std::string> kColumns = {
          "packageid", "usergroupid", "packageaccessrights", "requirementaccessrights",
          "documentaccessrights", "viewaccessrights"};
      ctx.conn->InsertRow("qmPackageUsers", kColumns,
                          {Variant(key), Variant(group_key),
                           RightsValue(ChildText(group, "PackageAccessRights")),
                           RightsValue(ChildText(group, "RequirementAccessRights")),
                           RightsValue(ChildText(group, "DocumentAccessRights")),
                           RightsValue(ChildText(group, "ViewAccessRights"))});
    });
  }
  return key;
}

void PackageMover::CreatePackageContentsDBElements_(const ReadContext& ctx,
                                                    int32_t package_key) {
  struct Membership {
    const char* path;
    const char* type_word;
    const char* column;
  };
  static const Membership kLists[] = {
      {"//Documents", "Document", "DOCUMENTID"},
      {"//Views", "View", "VIEWID"},
  };
  for (const Membership& list : kLists) {
    pugi::xml_node parent = doc_->select_node(list.path).node();
    if (!parent) continue;
    for (pugi::xml_node ref : xml::Children(parent)) {
      frame::ReadingElement at(reading_, ref);
      std::string_view guid = ref.text().get();
      const int32_t member_key = ctx.keys->getKeyFromGUID(list.type_word, guid);
      ctx.conn->InsertRow("QmPackageElements", {"PACKAGEID", list.column},
                          {Variant(package_key), Variant(member_key)});
    }
  }
}

MoverPtr NewPackageMover() { return std::make_shared<PackageMover>(); }

}  // namespace qmxml::movers
