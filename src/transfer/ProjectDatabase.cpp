// Project databases: the schema is read from the file shipped with the
// project (its path is fixed at build time; QMXML_SCHEMA overrides it).
#include "qmxml/ProjectDatabase.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "qmxml/Error.h"
#include "xml/XmlDoc.h"

namespace qmxml {

const std::string& SchemaText() {
  static const std::string text = [] {
    const char* env = std::getenv("QMXML_SCHEMA");
    std::string path = env && *env ? env : QMXML_SCHEMA_FILE;
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Error(eErr_FileNotFound, "ProjectDatabase.SchemaText", "cannot read the schema file " + path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }();
  return text;
}

std::shared_ptr<Connection> CreateProjectDatabase(const std::string& path) {
  if (xml::FileExists(path))
    throw Error(eErr_InvalidArgument, "ProjectDatabase.Create", "the file " + path + " already exists");
  const std::string& schema = SchemaText();
  auto conn = Connection::Open(path, true);
  conn->ExecuteScript("BEGIN");
  try {
    conn->ExecuteScript(schema);
    conn->ExecuteScript("COMMIT");
  } catch (...) {
    conn->Rollback();
    throw;
  }
  return conn;
}

std::shared_ptr<Connection> OpenProjectDatabase(const std::string& path) {
  if (!xml::FileExists(path))
    throw Error(eErr_FileNotFound, "ProjectDatabase.Open", "there is no database file " + path);
  return Connection::Open(path, false);
}

}  // namespace qmxml
