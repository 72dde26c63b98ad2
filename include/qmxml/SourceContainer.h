// Source and database containers: what a mover is told about where its data
// is. A mover asks the source container, through ContainerInfo, for the XML
// file path and (when reading) for the database container, which carries
// the connection, the key map of the transfer and the capacities of the
// in-row text columns.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "qmxml/AttrViewBuilder.h"
#include "qmxml/Connection.h"
#include "qmxml/KeyMap.h"
#include "qmxml/Object.h"
#include "qmxml/Scheduler.h"
#include "qmxml/Variant.h"

namespace qmxml {

// What a container is asked for.
enum enumContainerInfo : int32_t {
  eContInfo_Empty = 0,
  eContInfo_FilePath = 1,
  eContInfo_DBContainer = 2,
  eContInfo_Connection = 3,
  eContInfo_XMLContainer = 4,
};

// The database side of a transfer. Any member may be absent (nullptr), as a
// caller may hand in a container without a key map or a view builder.
class DatabaseContainer : public Object {
 public:
  std::string TypeName() const override { return "QmDataMover.DBContainer"; }

  // Answers eContInfo_Connection with the connection; anything else Empty.
  virtual Variant ContainerInfo(int32_t what) const;
  virtual std::shared_ptr<AttrViewBuilder> GetAttrViewBuilder() const { return view_builder; }

  std::shared_ptr<Connection> connection;
  std::shared_ptr<KeyMap> keys;
  std::shared_ptr<AttrViewBuilder> view_builder;
  // Capacities of the in-row text columns, in characters.
  int32_t OverflowRequirementTextSize = 255;
  int32_t OverflowFieldValueSize = 255;
  int32_t OverflowVersionReasonSize = 255;
  // Code page of the database's in-row text columns (65001 = UTF-8): the
  // requirement-text capacity is counted in bytes of this code page.
  int32_t CodePage = 65001;
};

// The source container: names the XML file of one mover call and holds the
// database container.
class SourceContainer : public Object {
 public:
  SourceContainer() = default;
  SourceContainer(std::string path, std::shared_ptr<DatabaseContainer> db)
      : file_path(std::move(path)), db_container(std::move(db)) {}
  std::string TypeName() const override { return "QmDataMover.SourceContainer"; }

  // eContInfo_FilePath: the path as text; eContInfo_DBContainer: the
  // database container; eContInfo_Connection: its connection; else Empty.
  virtual Variant ContainerInfo(int32_t what) const;
  virtual std::shared_ptr<AttrViewBuilder> GetAttrViewBuilder() const;

  std::string file_path;
  std::shared_ptr<DatabaseContainer> db_container;
  // The document of file_path when the caller has loaded it already (a
  // whole-project import checks each document as it loads it): the reader
  // takes it instead of reading the file again. nullptr: the reader loads.
  XmlDocumentPtr document;
  // True: further files the document names (resource files) are loaded
  // with the well-formedness check of a folder import (CheckWellFormed).
  bool check_files = false;
};

}  // namespace qmxml
