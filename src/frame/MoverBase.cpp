// The shared mover skeleton; what a class answers comes from its row of
// the class table (MoverClasses.cpp).
#include "frame/MoverBase.h"

#include "xml/WellFormed.h"

#include <cctype>
#include <exception>

#include "frame/Components.h"
#include "xml/XmlDoc.h"
#include "qmxml/Application.h"

namespace qmxml::frame {
namespace {

[[noreturn]] void NoProperty(std::string_view what) {
  throw Error(eErr_NoProperty, "QmXMLServices", "Object doesn't support this property or method: " + std::string(what));
}

}  // namespace

MoverBase::MoverBase(std::string_view class_name) : info_(FindClassInfo(class_name)) {
  if (info_ == nullptr) throw Error(eErr_InvalidArgument, "MoverBase", "unknown mover class " + std::string(class_name));
}

std::string MoverBase::TypeName() const { return std::string("QmXMLServices.") + info_->class_name; }

void MoverBase::ReadData(SourceContainer*, DataDescriptor*, ObjectPtr&, Scheduler*) {
  throw Error(eErr_NotAvailable, Source("IMover_ReadData"),
              std::string(info_->class_name) + " does not read data in this version");
}

void MoverBase::WriteData(SourceContainer*, DataDescriptor*, ObjectPtr&, Scheduler*) {
  throw Error(eErr_NotAvailable, Source("IMover_WriteData"),
              std::string(info_->class_name) + " does not write data in this version");
}

std::string MoverBase::ClassName() const {
  if (!info_->has_identity) NoProperty("ClassName");
  return std::string("QmXMLServices.") + info_->reported_name;
}
std::string MoverBase::ClassVersion() const {
  if (!info_->has_identity) NoProperty("ClassVersion");
  return ComponentVersion();
}
std::string MoverBase::ClassDescription() const {
  if (!info_->has_identity) NoProperty("ClassDescription");
  return Source("");
}
int32_t MoverBase::ClassID() const {
  if (!info_->has_identity) NoProperty("ClassID");
  return info_->class_id;
}
std::string MoverBase::ClassFilename() const {
  if (!info_->has_identity) NoProperty("ClassFilename");
  return "QmXMLServices.dll";
}
std::string MoverBase::ClassPath() const {
  if (!info_->has_identity) NoProperty("ClassPath");
  return ComponentFolder();
}

std::string MoverBase::Source(std::string_view procedure) const {
  // The description doubles as the prefix of every error source.
  std::string prefix = info_->dot_prefix ? std::string(".") + info_->reported_name
                                         : std::string(info_->reported_name) + ".";
  return prefix + std::string(procedure);
}

std::string MoverBase::FilePath(const SourceContainer* oSource) {
  return oSource ? oSource->ContainerInfo(eContInfo_FilePath).ToText() : std::string();
}

XmlDocumentPtr MoverBase::LoadFile(const SourceContainer* oSource, const std::string& path,
                                  const std::string& source) {
  if (oSource && oSource->document && oSource->file_path == path) return oSource->document;
  if (oSource && oSource->check_files) return xml::CheckWellFormed(path);
  return xml::LoadDocument(path, source);
}

std::shared_ptr<DatabaseContainer> MoverBase::DbContainer(const SourceContainer* oSource) {
  return oSource ? oSource->ContainerInfo(eContInfo_DBContainer).As<DatabaseContainer>() : nullptr;
}

void MoverBase::CheckContext(const DataDescriptor* oData) const {
  if (oData == nullptr || !EqualsNoCase(oData->ClassName, "QmDataMover.DataDescriptor"))
    throw MakeError(eMsg_ExpectedDataDescObject, Source("IMover_ReadData"));
}

void MoverBase::SaveOrHandBack(const DataDescriptor* oData, Scheduler* oScheduler,
                               const std::string& path) const {
  if (!doc_) return;
  if (oData != nullptr && oData->ReturnAsXMLStream) {
    if (oScheduler) oScheduler->XMLDoc = doc_;
    return;
  }
  Save(doc_, path);
}

void MoverBase::Save(const XmlDocumentPtr& doc, const std::string& path) const {
  xml::SaveDocument(doc, path, run_->files, &run_->write_notes);
}

void MoverBase::SaveOrHandBack(xml::TextWriter& writer, const DataDescriptor* oData,
                               Scheduler* oScheduler, const std::string& path) const {
  std::string text = writer.Finish(&run_->write_notes);
  if (oData != nullptr && oData->ReturnAsXMLStream) {
    if (oScheduler) oScheduler->XMLDoc = xml::ParseText(text);
    return;
  }
  xml::SaveText(std::move(text), path, run_->files);
}

void MoverBase::SaveMade(const std::string& path, xml::WriteBehind::MakeText make) const {
  if (run_->files != nullptr)
    run_->files->Queue(path, std::move(make));
  else
    xml::SaveText(make(&run_->write_notes), path, nullptr);
}

void MoverBase::UseRun(const DataDescriptor* oData) const {
  run_ = oData != nullptr && oData->Run != nullptr ? oData->Run : &own_run_;
}

void MoverBase::RunDataSet(const DataDescriptor* oData, bool is_export, int32_t own_message,
                           const std::string& path, const std::function<void()>& body) const {
  UseRun(oData);
  pugi::xml_node& reading = reading_;
  reading = pugi::xml_node();
  try {
    body();
  } catch (const Error& e) {
    std::string composed = ResourceStringV(is_export ? eMsg_DownloadFailed : eMsg_UploadFailed,
                                           {ResourceString(own_message), path});
    std::string where;
    if (!is_export && reading) where = " (at " + xml::ElementPosition(reading, path) + ")";
    reading = pugi::xml_node();
    // The composed text names the file already: the parser's own "in
    // <path>" would say it twice.
    std::string cause = e.Description();
    const std::string again = " in " + path;
    if (!path.empty() && cause.size() >= again.size() &&
        cause.compare(cause.size() - again.size(), again.size(), again) == 0)
      cause.resize(cause.size() - again.size());
    // A file that could not be written is named once: the mover's own file
    // takes the reason directly, another file (a resource) stands in for it.
    const std::string unwritten = "cannot write the file ";
    if (is_export && cause.compare(0, unwritten.size(), unwritten) == 0) {
      const size_t colon = cause.find(": ", unwritten.size());
      const std::string file = cause.substr(unwritten.size(), colon - unwritten.size());
      std::string why = colon == std::string::npos ? "" : cause.substr(colon + 2);
      if (!why.empty() && why.back() == '.') why.pop_back();
      std::string failed = ResourceStringV(eMsg_DownloadFailed, {ResourceString(own_message), file});
      if (!failed.empty() && failed.back() == '.') failed.pop_back();
      throw e.WithDescription(failed + (why.empty() ? "." : ": " + why + "."));
    }
    if (!cause.empty()) cause[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(cause[0])));
    if (!where.empty() && !cause.empty() && cause.back() == '.') cause.pop_back();
    std::string text = composed + " " + cause + where;
    if (!text.empty() && text.back() != '.') text += '.';
    throw e.WithDescription(std::move(text));
  }
}

ReadingElement::ReadingElement(pugi::xml_node& slot, pugi::xml_node element)
    : slot_(slot), outer_(slot), exceptions_(std::uncaught_exceptions()) {
  slot_ = element;
}

ReadingElement::~ReadingElement() {
  if (std::uncaught_exceptions() > exceptions_) return;
  slot_ = outer_;
}

}  // namespace qmxml::frame
