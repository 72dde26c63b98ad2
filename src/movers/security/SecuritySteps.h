// Small helpers the users-and-groups and permissions movers share: naming
// the procedure an untagged run-time error came from, and taking the child
// record set a shaped row carries in one of its fields.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "qmxml/Recordset.h"

namespace qmxml::movers::security {

// Runs |body|. An Error leaving it without a source of its own (a value
// that did not convert, a missing field) gets |source|, so the caller sees
// which step failed; errors that already name their source pass unchanged.
void RunStep(const std::string& source, const std::function<void()>& body);

// The record set held in field |name| of the current row of |rs|. Throws
// Error 3265 when the field is missing; a Null or Empty value (no child
// rows fetched) gives nullptr, any other non-record-set value Error 13.
std::shared_ptr<Recordset> ChildRows(const Recordset& rs, std::string_view name);

}  // namespace qmxml::movers::security
