// Error: the one exception type of qmxml. Every failure the component, the
// platform layer and the transfer driver report carries a number, a source
// (class or module prefix and procedure, "ProjPropsMover.IMover_ReadData"),
// a description and the help file and context of the automation error model.
// Callers read the number; people read the description.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace qmxml {

// Every error number qmxml raises, in one enumeration. 23001 to 23016 are
// the component's messages, whose texts live in the resource service; the
// others are the numbers of the platform objects it stands on and of the
// transfer driver. The numbers are part of the contract and are never
// renumbered.
//
// A document that is not XML at all is raised by the reader with the XML
// parser's own status (1 to 16) as its number; a transfer checks every
// document before the first reader runs and reports such a document as
// eErr_NotWellFormed instead, with the parser's reason in the text.
enum enumMessages : int32_t {
  eMsg_Empty = 0,
  eErr_InvalidArgument = 5,        // a call the object cannot answer
  eErr_Overflow = 6,               // a number too large for its type
  eErr_ObjectNotSet = 91,          // an object argument that is Nothing
  eErr_SubscriptRange = 9,         // a collection position or key that is not there
  eErr_TypeMismatch = 13,          // a value that does not convert
  eErr_FileNotFound = 53,          // a file the caller named is missing or unwritable
  eErr_NoProperty = 438,           // an object without the property asked for
  eErr_KeyInUse = 457,             // a collection key given twice
  eErr_RecordsetArgument = 3001,   // a record set filter or bookmark it cannot take
  eErr_NoCurrentRow = 3021,        // a record set at its end
  eErr_NoSuchField = 3265,         // a record set without the field asked for
  eMsg_ComponentFailedToStart = 23001,  // an outside service could not start
  eMsg_ExpectedDataDescObject = 23002,  // oData is not a transfer context
  eMsg_DownloadFailed = 23003,          // a writer (export) failed
  eMsg_UploadFailed = 23004,            // a reader (import) failed
  eMsg_Security = 23005,                // users and groups
  eMsg_Project = 23006,                 // project properties
  eMsg_Structure = 23007,               // project structure
  eMsg_Permissions = 23008,             // permissions
  eMsg_DocList = 23009,                 // document list
  eMsg_PackList = 23010,                // package list
  eMsg_ViewList = 23011,                // view list
  eMsg_DocProps = 23012,                // document properties
  eMsg_Package = 23013,                 // packages
  eMsg_Trace = 23014,                   // traces
  eMsg_View = 23015,                    // views
  eMsg_QDefs = 23016,                   // query definitions
  eErr_NotAvailable = 23100,     // a mover operation not offered yet
  eErr_Database = 23101,         // the database rejected a statement
  eErr_Transfer = 23102,         // the transfer driver stopped
  eErr_Dangling = 23103,         // references that did not resolve (strict)
  eErr_BadDocument = 23104,      // a document of the wrong kind or shape
  eErr_NotWellFormed = 23105,    // a document that is not well-formed XML 1.0
  eErr_BadGuid = 23106,          // an identity or file name that is not a GUID
  eErr_Duplicate = 23107,        // an identity that appears twice in a folder
  eErr_ProjectExists = 23108,    // the project is already in the target database
  eErr_Locked = 23109,           // another writer held the database too long
  eErr_Skipped = 23110,          // values a reader left out by rule (strict)
  eErr_FolderNotEmpty = 23111,   // an export into a folder that holds files
  eErr_LoginRefused = 23112,     // the host application refused a login
  eErr_Cipher = 23113,           // the password cipher has no key or a bad text
  eErr_LeftOut = 23114,          // a writer left something out (strict export, baseline, report)
  eErr_NotRegularFile = 23120,   // a name to write that holds a link, folder or device
  eErr_OutsideFolder = 23121,    // a folder to write into that leads out of the target
  eErr_OtherProject = 23122,     // a baseline folder that belongs to another project
  eErr_OwnDatabase = 23123,      // an output that would replace the source database
  eErr_OutputFailed = 23124,     // standard output could not be written
  eErr_BadQuery = 23150,         // a query that does not parse or names what the project lacks
  eErr_NoSuchQuery = 23151,      // no saved query of the project has that key, GUID or name
  eErr_ReqifUnreadable = 23160,  // a ReqIF file that is not well-formed or not ReqIF
  eErr_ReqifSkipped = 23161,     // ReqIF content skipped or not carried (strict)
  eErr_ReqifReference = 23162,   // a ReqIF export whose reference or identifier check failed
  eErr_ReqifArchive = 23163,     // a .reqifz archive refused: unreadable, too large, no ReqIF file
  eErr_TooLarge = 23140,         // a document larger than any export writes
  eErr_PackageCycle = 23141,     // packages that are their own ancestors
};

// The texts of the component's messages, as the resource service hands them
// out; %1 and %2 mark where the inserts go.
struct MessageText {
  int32_t number;
  const char* text;
};
inline constexpr MessageText kMessageTexts[] = {
    {eMsg_ComponentFailedToStart, "The component %1 could not be started."},
    {eMsg_ExpectedDataDescObject, "The transfer context is not a QmDataMover.DataDescriptor object."},
    {eMsg_DownloadFailed, "Export of the %1 to the file %2 failed."},
    {eMsg_UploadFailed, "Import of the %1 from the file %2 failed."},
    {eMsg_Security, "users and groups"},
    {eMsg_Project, "project properties"},
    {eMsg_Structure, "project structure"},
    {eMsg_Permissions, "permissions"},
    {eMsg_DocList, "document list"},
    {eMsg_PackList, "package list"},
    {eMsg_ViewList, "view list"},
    {eMsg_DocProps, "document properties"},
    {eMsg_Package, "package"},
    {eMsg_Trace, "traceability"},
    {eMsg_View, "views"},
    {eMsg_QDefs, "query definitions"},
};

class Error : public std::runtime_error {
 public:
  Error(int32_t number, std::string source, std::string description,
        std::string help_file = {}, int32_t help_context = 0)
      : std::runtime_error(description),
        number_(number),
        source_(std::move(source)),
        description_(std::move(description)),
        help_file_(std::move(help_file)),
        help_context_(help_context) {}

  int32_t Number() const { return number_; }
  const std::string& Source() const { return source_; }
  const std::string& Description() const { return description_; }
  const std::string& HelpFile() const { return help_file_; }
  int32_t HelpContext() const { return help_context_; }
  const char* what() const noexcept override { return description_.c_str(); }

  // What more there is to say for whoever looks into the failure (the
  // statement a database rejected); "" when nothing. Messages for people
  // show it only on request.
  const std::string& Detail() const { return detail_; }
  Error WithDetail(std::string detail) const {
    Error e = *this;
    e.detail_ = std::move(detail);
    return e;
  }

  // The same error with another description (number, source, help and
  // detail kept).
  Error WithDescription(std::string description) const {
    Error e(number_, source_, std::move(description), help_file_, help_context_);
    e.detail_ = detail_;
    return e;
  }

 private:
  int32_t number_;
  std::string source_;
  std::string description_;
  std::string help_file_;
  int32_t help_context_;
  std::string detail_;
};

}  // namespace qmxml
