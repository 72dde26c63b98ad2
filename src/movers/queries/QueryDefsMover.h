// QueryDefsMover: a project's saved queries (name, owner, time stamp,
// reason, base type and the query text) between QmQueryDefinitions and one
// document. The database keeps a query text in key form (types, attributes,
// list items, users and documents by key); the document carries it in GUID
// form. The host's query engine, working on the project opened through the
// host application as one of its administrators, prints one form from the
// other; a copy with new GUIDs is rewritten by text instead, since its
// GUIDs name objects that carry other GUIDs in the target.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "frame/MoverBase.h"
#include "host/HostServices.h"
#include "qmxml/Connection.h"
#include "qmxml/KeyMap.h"
#include "qmxml/Recordset.h"

namespace qmxml::movers {

// Moves the queries to PROJECT/QUERYDEFS/QUERYDEF (attributes Name, ID,
// queryuserid, queryusername, querydatetime, queryreason, querybasetype;
// children QUERYDESCRIPTION and QUERYSTRING) and back.
//
// WriteData: oRs is the project row (ID, QMGUID) with the chapter Queries:
// QUERYNAME, QMGUID, queryuserid (owner's GUID), queryusername,
// QUERYDATETIME, QUERYREASON, QUERYBASETYPE, QUERYDESCRIPTION and
// QUERYSTRING (key form). The database container's connection serves the
// host project the query engine needs. Raises 23001 when the conversion
// service cannot start. A query that does not convert (no host project:
// no key, a password that does not decipher, no active administrator with a
// stored password, no host application; or the engine refuses the text) is
// written with an empty QUERYSTRING and counted, with the reason, in the
// losses of the container's key map (when it has one). The document is
// always saved to the file path, whatever ReturnAsXMLStream holds.
//
// ReadData: oRs is a Collection holding the QmQueryDefinitions record set;
// without it, or without a key map, nothing is stored. One row per
// QUERYDEF element (one without attributes fails on its identity), sent
// with one UpdateBatch. With kept GUIDs the engine converts
// the text on the target project; with new GUIDs (bit 0 of ProjectFlags)
// the text is rewritten through the key map. A text that does not convert
// is stored empty and counted, with the reason, in the key map's losses.
//
// The host project and application opened for the conversions stay open
// for the life of the instance; the destructor closes them.
class QueryDefsMover : public frame::MoverBase {
 public:
  QueryDefsMover() : MoverBase("QueryDefsMover") {}
  ~QueryDefsMover() override;
  QueryDefsMover(const QueryDefsMover&) = delete;
  QueryDefsMover& operator=(const QueryDefsMover&) = delete;

  void WriteData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                 Scheduler* oScheduler) override;
  void ReadData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                Scheduler* oScheduler) override;

  // The host project the conversions work on: opened on first use as the
  // first active administrator of the project who has a stored password
  // (directory-only administrators have none), or nullptr when there is no
  // connection, no such administrator, a stored password that does not
  // decipher, no host application, or the project does not open; the
  // conversions then leave their texts empty and count why. Public so
  // that a caller (and the tests) can see which project a conversion uses.
  std::shared_ptr<HostProject> SpectoProject_();
  void SetConnection(std::shared_ptr<Connection> connection, int32_t project_key) {
    connection_ = std::move(connection);
    project_key_ = project_key;
  }

 private:
  // |keys| (may be null) counts the texts that did not convert.
  void Write_(Recordset* project, KeyMap* keys, const std::string& path);
  void Read_(SourceContainer* oSource, DataDescriptor* oData, Collection* rows,
             const std::string& path);
  int32_t GetProjectKeyFromRecordset_(const Recordset& project) const;
  // The conversions answer "" for a text that does not convert and say
  // why in |why|.
  std::string ConvertToGuidQuery_(const std::string& query, std::string* why);
  std::string ConvertToKeyQuery_(const std::string& query, KeyMap& keys, std::string* why);
  // The engine's road: |query| parsed in form |from| on the host project
  // and printed in form |to|; "" without a project or engine, or when the
  // engine does not accept the query or fails on it.
  std::string EngineConvert_(const std::string& query, int32_t from, int32_t to,
                             std::string* why);
  // Opens the host project into project_; answers why it did not ("" when
  // it did).
  std::string OpenProject_();
  void TakeConnection_(SourceContainer* oSource);

  std::shared_ptr<Connection> connection_;
  int32_t project_key_ = 0;
  bool new_project_ = false;
  std::shared_ptr<HostApplication> application_;
  std::shared_ptr<HostProject> project_;
  // Why the project did not open ("" until an attempt failed).
  std::string no_project_;
};

// The GUID-to-key rewrite of a query text, for imports with new GUIDs.
namespace query_text {

// The distinct GUID-shaped parts of |query| ("{" + 8 + "-" + 4 + "-" + 4 +
// "-" + 4 + "-" + 12 + "}", any characters), in order of first sight,
// compared without regard to case. Parts run from a "{" to the first "}"
// after it; the search goes on after that "}".
std::vector<std::string> ListGuids(const std::string& query);

// |query| in key form: "ReqType.Guid" becomes "ReqType.Key", a bare
// "<NO ENTRY>" becomes "0" (the quoted one after "= " stays, in lower
// case), "suspect" becomes "1", and every listed GUID with a key becomes
// the key: built-in attributes through |system| (may be null: they stay),
// others through |keys|, tried as RequirementType, UserDefinedField,
// UserDefinedListItem, User and Document. GUIDs without a key stay and are
// marked dangling in |keys| as "QueryText".
std::string RewriteToKeys(const std::string& query, KeyMap& keys,
                          const SystemAttributes* system);

}  // namespace query_text

}  // namespace qmxml::movers
