// The document and view requirement writers' shared frame, and the
// document writer.
#include "movers/baseline/DocReqsMover.h"

#include "frame/MoverRegistry.h"
#include "movers/baseline/BaseCompWriteXML.h"
#include "movers/content/PackageXml.h"
#include "qmxml/Error.h"
#include "xml/XmlDoc.h"

namespace qmxml::movers {
namespace bl = baseline;
using package_xml::SkipOnFailure;

ElementReqsMover::ElementReqsMover(std::string_view class_name, bool is_view)
    : MoverBase(class_name), is_view_(is_view) {}

void ElementReqsMover::ReadData(SourceContainer*, DataDescriptor*, ObjectPtr&, Scheduler*) {}

void ElementReqsMover::WriteData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                                 Scheduler* oScheduler) {
  UseRun(oData);
  const std::string path = FilePath(oSource);
  DataDescriptor no_context;
  const DataDescriptor& data = oData ? *oData : no_context;
  doc_.reset();
  try {
    WriteElement_(oRs, data, path);
  } catch (const Error& e) {
    throw e.WithDescription(std::string(is_view_ ? "$$Unable to write the View XML. "
                                                 : "$$Unable to write the Document XML. ") +
                            e.Description());
  }
  if (doc_ && HandsBack_(data, path) && oScheduler) oScheduler->XMLDoc = doc_;
}

void ElementReqsMover::WriteElement_(const ObjectPtr& oRs, const DataDescriptor& data,
                                     const std::string& path) {
  std::string resources_folder;
  if (!path.empty())
    SkipOnFailure(Run(), "the resources folder of an extract", [&] {
      resources_folder = package_xml::PrepareResourcesFolder(path, data.ElementGUID.ToText());
    });
  auto rows = frame::Take<Collection>(oRs);
  if (!rows) {
    doc_ = xml::NewDocument();
    return;
  }
  bl::BaselineState s = bl::LoadRecordsets(rows.get(), data);
  s.resources_folder = resources_folder;
  s.run = &Run();
  if (UpdatesList_(data, path)) SkipOnFailure(Run(), "the baseline list entry of an extract", [&] { bl::WriteBaselineList(path, data, s); });

  xml::TextWriter w;
  w.Open("PROJECT");
  bl::SetSchemaAttributes(w, bl::kBaselineSchema);
  if (bl::WriteHeader(w, data, s, false)) {
    Recordset* info = is_view_ ? s.view_info.get() : s.doc_info.get();
    if (info != nullptr && !info->IsEOF()) {
      // The requirements go inside the entry; a pass that stopped leaves
      // none of them.
      auto requirements = [&] {
        const xml::TextWriter::Mark before = w.Here();
        w.Open("Requirements");
        if (bl::WriteRequirements(w, s))
          w.Close();
        else
          w.Rewind(before);
      };
      SkipOnFailure(Run(), is_view_ ? "the view entry of an extract" : "the document entry of an extract", [&] {
        if (is_view_)
          bl::AppendViewEntry(w, *info, bl::EntryForm::kExtract, requirements);
        else
          bl::AppendDocEntry(w, *info, bl::EntryForm::kExtract, nullptr, requirements);
      });
    } else {
      // Without an information row there is nothing to fill, but the
      // element still stands in the extract, empty, so a reader sees which
      // kind of extract it holds.
      w.Open(is_view_ ? "View" : "Doc");
      w.Close();
    }
  }
  if (HandsBack_(data, path))
    doc_ = xml::ParseText(w.Finish(&Run().write_notes));
  else
    Save(w, path);
}

DocReqsMover::DocReqsMover() : ElementReqsMover("DocReqsMover", false) {}

bool DocReqsMover::HandsBack_(const DataDescriptor& data, const std::string&) const {
  return data.ReturnAsXMLStream;
}

bool DocReqsMover::UpdatesList_(const DataDescriptor& data, const std::string& path) const {
  return !data.ReturnAsXMLStream && !path.empty();
}

MoverPtr NewDocReqsMover() { return std::make_shared<DocReqsMover>(); }

}  // namespace qmxml::movers
