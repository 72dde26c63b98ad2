// TraceMover: writes the trace rows of a project as a trace document and
// reads such a document back into relationship rows of the target project.
#include "movers/content/TraceMover.h"

#include "frame/Components.h"
#include "frame/MoverRegistry.h"
#include "frame/Guid.h"
#include "sql/SqlText.h"
#include "xml/XmlDoc.h"

namespace qmxml::movers {
namespace {

// The first element child of |node|, or an empty node.
pugi::xml_node FirstChildElement(pugi::xml_node node) {
  for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_element) return c;
  return pugi::xml_node();
}

}  // namespace

MoverPtr NewTraceMover() { return std::make_shared<TraceMover>(); }

void TraceMover::WriteData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                           Scheduler* /*oScheduler*/) {
  const std::string path = FilePath(oSource);
  std::shared_ptr<Recordset> rs = frame::Take<Recordset>(oRs);
  RunDataSet(oData, true, eMsg_Trace, path, [&] {
    std::shared_ptr<ConversionService> conversion;
    if (rs && !rs->IsEOF()) {
      conversion = frame::GetConversionService(*Run().services);
      if (!conversion) return;  // no conversion service: no document at all
    }
    // One element per trace of the project, written as text as it goes
    // (not built as a tree first), on the write-behind thread while the
    // run goes on: the text uses nothing but the rows and the service.
    SaveMade(path, [rs, conversion, id = oData ? oData->Data.ToText() : std::string()](
                       xml::WriteNotes* notes) {
      xml::TextWriter w;
      w.Open("Project");
      xml::SetIdentityText(w, id);
      if (rs && !rs->IsEOF()) WriteTraces(*rs, *conversion, w);
      return w.Finish(notes);
    });
  });
}

void TraceMover::WriteTraces(Recordset& rs, ConversionService& conversion, xml::TextWriter& w) {
  // Field objects follow the current row, so they are looked up once.
  const Field stamp = rs.GetField("VersionDateTime");
  const xml::AttrWriter writer(kTraceToAttrs, rs);
  w.Open("Traces");
  for (; !rs.IsEOF(); rs.MoveNext()) {
    w.Open("TraceTo");
    writer.Write(w, [&](size_t) { return conversion.cTimeStamp(stamp); });
    w.Close();
  }
  w.Close();
}

void TraceMover::ReadData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                          Scheduler* /*oScheduler*/) {
  const std::string path = FilePath(oSource);
  std::shared_ptr<Collection> rows = frame::Take<Collection>(oRs);
  RunDataSet(oData, false, eMsg_Trace, path,
             [&] { CreateTracesDBElement_(path, oSource, rows.get()); });
}

void TraceMover::CreateTracesDBElement_(const std::string& path, const SourceContainer* oSource,
                                        Collection* rows) {
  const std::string source = Source("CreateTracesDBElement_");
  doc_ = LoadFile(oSource, path, source);

  std::shared_ptr<DatabaseContainer> db = DbContainer(oSource);
  if (rows == nullptr || !db || !db->keys) return;
  KeyMap& keys = *db->keys;
  // Traces carry no project column; the target project is still resolved as
  // in every reader, so a document of a project this transfer has not moved
  // shows up among the key map's dangling references.
  (void)frame::ProjectKeyOfDocument(*doc_, &keys);

  std::shared_ptr<Recordset> rs = sql::RecordsetOfTable(rows, sql::Table("QmToRelationships"));
  pugi::xml_node traces = FirstChildElement(xml::RootElement(*doc_));
  if (!rs || !traces) return;

  auto requirement_key = [&](const std::string& guid) {
    int32_t key = keys.getKeyFromGUID("Requirement", guid);
    // A trace to a requirement the transfer does not know would point at no
    // row: stop before anything is sent.
    if (key <= 0)
      throw Error(eErr_Dangling, source,
                  "the requirement \"" + guid + "\" of a trace is not known to this transfer");
    return key;
  };

  for (pugi::xml_node node = traces.first_child(); node; node = node.next_sibling()) {
    if (!node.first_attribute()) continue;
    frame::ReadingElement at(reading_, node);
    const xml::AttrRow<kTraceToAttrs> a(node);
    const int32_t from = requirement_key(a.Text("ReqGUID"));
    const int32_t to = requirement_key(a.Text("ToReqGUID"));
    pugi::xml_attribute stamp = a["VersionDateTime"];

    rs->AddNew();
    rs->Set("RequirementID", Variant(from));
    rs->Set("ExternalProjectID", Variant(int32_t{0}));
    rs->Set("ToID", Variant(to));
    rs->Set("ExternalProjectToID", Variant(int32_t{0}));
    rs->Set("State", a.Value("State", xml::kLong));
    rs->Set("Type", a.Value("Type", xml::kLong));
    rs->Set("Name", Variant(sql::HostText(a.Text("Name"))));
    rs->Set("VersionDateTime", stamp ? Variant(std::string(stamp.value())) : Variant::Null());
  }
  rs->UpdateBatch();
}

}  // namespace qmxml::movers
