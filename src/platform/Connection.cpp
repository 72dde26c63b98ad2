// What every connection shares: choosing the kind of database from what the
// caller names, and the helpers built on the interface alone.
#include "qmxml/Connection.h"

#include "platform/postgres/PgConnection.h"
#include "platform/sqlite/SqliteConnection.h"

namespace qmxml {

bool Connection::IsServerDatabase(std::string_view spec) {
  return spec.substr(0, 13) == "postgresql://" || spec.substr(0, 11) == "postgres://";
}

std::shared_ptr<Connection> Connection::Open(const std::string& spec, bool create,
                                             const std::string& pg_schema) {
  if (IsServerDatabase(spec)) return PgConnection::Open(spec, pg_schema);
  return SqliteConnection::Open(spec, create);
}

std::string Connection::LookupValue(std::string_view sql, std::string_view column, long* found,
                                    int /*flags*/) {
  auto rs = Query(sql);
  if (found) *found = rs->IsEOF() ? 0 : 1;
  if (rs->IsEOF()) return "";
  return rs->Value(column).ToText();
}

long Connection::CountRows(std::string_view table) {
  return Scalar("SELECT COUNT(*) FROM " + std::string(kTableMarker) + std::string(table), {})
      .ToLong();
}

}  // namespace qmxml
