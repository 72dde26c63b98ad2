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

// Message numbers of the component. The texts live in the resource service;
// the numbers are part of the contract and are never renumbered.
enum enumMessages : int32_t {
  eMsg_Empty = 0,
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
};

// Numbers used outside the component's own message range.
enum enumPlatformErrors : int32_t {
  eErr_TypeMismatch = 13,        // a value that does not convert
  eErr_FileNotFound = 53,        // a file the caller named is missing
  eErr_InvalidArgument = 5,      // a call the object cannot answer
  eErr_NotAvailable = 23100,     // a mover operation not offered yet
  eErr_Database = 23101,         // the database rejected a statement
  eErr_Transfer = 23102,         // the transfer driver stopped
  eErr_Dangling = 23103,         // references that did not resolve (strict)
  eErr_BadDocument = 23104,      // a document of the wrong kind or shape
  eErr_LoginRefused = 23105,     // the host application refused a login
  eErr_Cipher = 23106,           // the password cipher has no key or a bad text
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

  // The same error with another description (number, source and help kept).
  Error WithDescription(std::string description) const {
    return Error(number_, source_, std::move(description), help_file_, help_context_);
  }

 private:
  int32_t number_;
  std::string source_;
  std::string description_;
  std::string help_file_;
  int32_t help_context_;
};

}  // namespace qmxml
