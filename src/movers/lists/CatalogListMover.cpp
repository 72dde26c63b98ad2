// The catalogue writer and reader shared by the document, view and package
// list movers, and the path helpers they use.
#include "movers/lists/CatalogListMover.h"

#include "qmxml/Error.h"

namespace qmxml::movers {
PathParts SplitPath(std::string_view path) {
  PathParts p;
  size_t cut = path.find_last_of("\\/");
  if (cut == std::string_view::npos) return p;
  p.has_folder = true;
  p.separator = path[cut];
  p.folder = std::string(path.substr(0, cut));
  std::string_view rest = path.substr(cut + 1);
  size_t dot = rest.rfind('.');
  if (dot == std::string_view::npos) {
    p.name = std::string(rest);
  } else {
    p.name = std::string(rest.substr(0, dot));
    p.extension = std::string(rest.substr(dot));
  }
  return p;
}

RecordsetPtr TakeRecordset(const ObjectPtr& oRs, const std::string& source) {
  if (!oRs) return nullptr;
  auto rs = frame::Take<Recordset>(oRs);
  if (!rs)
    throw Error(eErr_TypeMismatch, source,
                "Type mismatch: a record set was expected, not " + oRs->TypeName());
  return rs;
}

CatalogListMover::CatalogListMover(std::string_view class_name,
                                   const CatalogLayout& layout)
    : MoverBase(class_name), layout_(layout) {}

std::string CatalogListMover::ComputedValue_(const Recordset&, const CatalogAttr&) const {
  return {};
}

void CatalogListMover::CompleteEntry_(Collection&, const PathParts&) const {}

void CatalogListMover::WriteData(SourceContainer* oSource, DataDescriptor* oData,
                                 ObjectPtr& oRs, Scheduler*) {
  const std::string path = FilePath(oSource);
  RecordsetPtr rs = TakeRecordset(oRs, Source("IMover_WriteData"));
  RunDataSet(oData, true, layout_.own_message, path, [&] { WriteListXML_(rs, oData, path); });
}

void CatalogListMover::WriteListXML_(const RecordsetPtr& rs, const DataDescriptor* oData,
                                     const std::string& path) {
  doc_ = xml::NewDocument();
  if (rs == nullptr || rs->IsEOF()) return;

  pugi::xml_node project = xml::AppendElement(*doc_, "PROJECT");
  RecordsetPtr entries;
  if (layout_.chapter != nullptr) {
    xml::SetIdentity(*rs, project, "QMGUID");
    entries = rs->Chapter(layout_.chapter);
  } else {
    xml::SetIdentityText(project,
                         oData != nullptr ? oData->ElementGUID.ToText() : std::string());
    entries = rs;
  }

  if (entries) {
    pugi::xml_node list = xml::AppendElement(project, layout_.list_element);
    for (; !entries->IsEOF(); entries->MoveNext()) {
      pugi::xml_node entry = xml::AppendElement(list, layout_.entry_element);
      for (const CatalogAttr& a : layout_.attrs)
        xml::SetAttr(entry, a.xml_name,
                     a.column != nullptr ? xml::ColumnText(*entries, a.column)
                                         : ComputedValue_(*entries, a));
    }
  }
  Save(doc_, path);
}

void CatalogListMover::ReadData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                                Scheduler*) {
  const std::string path = FilePath(oSource);
  auto target = frame::Take<Collection>(oRs);
  if (oRs && !target)
    throw Error(eErr_TypeMismatch, Source("IMover_ReadData"),
                "Type mismatch: a collection was expected, not " + oRs->TypeName());
  if (!target) target = std::make_shared<Collection>();

  std::vector<std::shared_ptr<Collection>> entries;
  RunDataSet(oData, false, layout_.own_message, path, [&] { entries = ReadListXML_(oSource, path); });
  for (auto& e : entries) target->Add(Variant(std::static_pointer_cast<Object>(e)));
  oRs = target;
}

std::vector<std::shared_ptr<Collection>> CatalogListMover::ReadListXML_(
    const SourceContainer* oSource, const std::string& path) {
  doc_ = LoadFile(oSource, path, Source("ReadListXML_"));
  // The catalogue's own name and extension are kept also when it is named
  // without a folder, so that files beside it can still be named.
  PathParts catalog = SplitPath(path);
  if (!catalog.has_folder) {
    catalog = SplitPath("/" + path);
    catalog.has_folder = false;
  }
  pugi::xml_node list = xml::ChildNode(xml::RootElement(*doc_), 0);

  std::vector<pugi::xml_node> children = xml::Children(list);
  std::vector<std::shared_ptr<Collection>> out;
  out.reserve(children.size());
  for (pugi::xml_node child : children) {
    auto entry = std::make_shared<Collection>();
    for (const CatalogAttr& a : layout_.attrs) {
      // Found by name: a catalogue may list the attributes in any order.
      pugi::xml_attribute attr = child.attribute(a.xml_name);
      if (!attr)
        throw Error(eErr_ObjectNotSet, Source("ReadListXML_"),
                    "Object variable or With block variable not set: the " +
                        std::string(child.name()) + " element has no \"" + a.xml_name +
                        "\" attribute");
      entry->Add(Variant(std::string(attr.value())), a.key);
    }
    CompleteEntry_(*entry, catalog);
    out.push_back(std::move(entry));
  }
  return out;
}

}  // namespace qmxml::movers
