// MoverBase: what every mover class shares. It answers the identification
// properties from the class table and the ordering questions, and carries
// the steps of the WriteData and ReadData skeletons: the destination path,
// the hand-over to the scheduler, the context check and the data-set
// failure wrapping (23003 for writers, 23004 for readers).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "frame/MoverRegistry.h"
#include "frame/TransferState.h"
#include "qmxml/Collection.h"
#include "qmxml/Error.h"
#include "qmxml/IMover.h"
#include "qmxml/KeyMap.h"
#include "qmxml/Recordset.h"
#include "xml/TextWriter.h"
#include "xml/WriteBehind.h"
#include "xml/XmlDoc.h"

namespace qmxml::frame {

class MoverBase : public IMover {
 public:
  explicit MoverBase(std::string_view class_name);
  MoverBase(const MoverBase&) = delete;
  MoverBase& operator=(const MoverBase&) = delete;
  std::string TypeName() const override;

  void ReadData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                Scheduler* oScheduler) override;
  void WriteData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                 Scheduler* oScheduler) override;

  bool HasIdentity() const override { return info_->has_identity; }
  std::string ClassName() const override;
  std::string ClassVersion() const override;
  std::string ClassDescription() const override;
  int32_t ClassID() const override;
  std::string ClassFilename() const override;
  std::string ClassPath() const override;

  // The document of the last call (what is handed to the scheduler).
  const XmlDocumentPtr& Document() const { return doc_; }

 protected:
  // "<prefix><procedure>": the error source of a procedure of this class.
  std::string Source(std::string_view procedure) const;
  // The XML file path of oSource, as text ("" without a container).
  static std::string FilePath(const SourceContainer* oSource);
  // The document a reader reads from |path|: the one oSource holds for that
  // path when its caller loaded it already; otherwise the file, checked
  // (xml::CheckWellFormed) when oSource asks for checked files, else loaded
  // with xml::LoadDocument and |source| as the error source.
  static XmlDocumentPtr LoadFile(const SourceContainer* oSource, const std::string& path,
                                 const std::string& source);
  // The database container of oSource, or nullptr.
  static std::shared_ptr<DatabaseContainer> DbContainer(const SourceContainer* oSource);
  // Raises 23002 unless oData's ClassName is the transfer context's.
  void CheckContext(const DataDescriptor* oData) const;
  // Saves doc_ to |path| or, with ReturnAsXMLStream, hands it to the
  // scheduler. Nothing happens when there is no document.
  void SaveOrHandBack(const DataDescriptor* oData, Scheduler* oScheduler,
                      const std::string& path) const;
  // Saves |doc| to |path| through the run's write-behind (when it has one),
  // counting in the run's notes what the document could not hold.
  void Save(const XmlDocumentPtr& doc, const std::string& path) const;
  // The same for a document written as text (xml::TextWriter): |writer|'s
  // text goes to |path|, or with ReturnAsXMLStream is handed to the
  // scheduler as a document.
  void SaveOrHandBack(xml::TextWriter& writer, const DataDescriptor* oData,
                      Scheduler* oScheduler, const std::string& path) const;
  void Save(xml::TextWriter& writer, const std::string& path) const {
    SaveOrHandBack(writer, nullptr, nullptr, path);
  }
  // Saves the text |make| gives to |path|: made on the run's write-behind
  // thread when it has one (|make| must then use only what it holds
  // itself), else here.
  void SaveMade(const std::string& path, xml::WriteBehind::MakeText make) const;
  // Runs |body| as a call of the run of |oData| (see UseRun); any Error
  // leaving it is raised again with number and source kept and the
  // description "<23003|23004 with own message and path> <original
  // description>".
  void RunDataSet(const DataDescriptor* oData, bool is_export, int32_t own_message,
                  const std::string& path, const std::function<void()>& body) const;
  // Makes the run of |oData| (oData->Run) the one this call notes into and
  // saves through; a call without one uses the mover's own.
  void UseRun(const DataDescriptor* oData) const;
  // The run of the current call.
  TransferState& Run() const { return *run_; }

  XmlDocumentPtr doc_;
  // The element the current read works on, for the message of an error
  // that stops it (see ReadingElement).
  mutable pugi::xml_node reading_;

 private:
  const MoverClassInfo* info_;
  mutable TransferState own_run_;
  mutable TransferState* run_ = &own_run_;
};

// Marks |element| as the one a reader works on (in |slot|, the mover's
// reading_), so that an error stopping the read can say where in the file
// it stopped. Left in place when the scope ends by an exception (that error
// is about this element); the outer element comes back otherwise.
class ReadingElement {
 public:
  ReadingElement(pugi::xml_node& slot, pugi::xml_node element);
  ~ReadingElement();
  ReadingElement(const ReadingElement&) = delete;
  ReadingElement& operator=(const ReadingElement&) = delete;

 private:
  pugi::xml_node& slot_;
  pugi::xml_node outer_;
  int exceptions_;
};


// A record set or collection argument taken as the type a mover expects.
template <class T>
std::shared_ptr<T> Take(const ObjectPtr& o) {
  return std::dynamic_pointer_cast<T>(o);
}

}  // namespace qmxml::frame
