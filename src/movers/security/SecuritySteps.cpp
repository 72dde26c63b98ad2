// Helpers shared by the security movers.
#include "movers/security/SecuritySteps.h"

#include "qmxml/Error.h"

namespace qmxml::movers::security {

void RunStep(const std::string& source, const std::function<void()>& body) {
  try {
    body();
  } catch (const Error& e) {
    if (!e.Source().empty()) throw;
    throw Error(e.Number(), source, e.Description(), e.HelpFile(), e.HelpContext());
  }
}

std::shared_ptr<Recordset> ChildRows(const Recordset& rs, std::string_view name) {
  Variant v = rs.Value(name);
  if (v.IsNull() || v.IsEmpty()) return nullptr;
  auto child = v.As<Recordset>();
  if (!child)
    throw Error(eErr_TypeMismatch, "",
                "Type mismatch: field " + std::string(name) + " holds no record set");
  return child;
}

}  // namespace qmxml::movers::security
