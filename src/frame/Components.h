// Starting the outside services and looking up message texts. Services are
// created by ProgID; a service that cannot be created gives nullptr, and
// the caller skips the work that needed it. Services come from the registry
// the caller names (a run's, see TransferState); the message service is
// started once from the built-in services and kept. When it cannot start,
// every text is the fixed fallback text and the error numbers stay as they
// are.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "qmxml/Error.h"
#include "qmxml/Services.h"

namespace qmxml::frame {

// Creates |prog_id| from |services|. When it cannot be created: throws 23001
// (source "modComponents.StartService") if |raise| is set, else returns
// nullptr.
ObjectPtr StartService(const ServiceRegistry& services, std::string_view prog_id, bool raise,
                       std::string_view library);

// New service objects for each use; nullptr when unavailable.
std::shared_ptr<ConversionService> GetConversionService(const ServiceRegistry& services);
std::shared_ptr<GuidService> GetGuidService(const ServiceRegistry& services);

inline constexpr const char* kResourceFallback =
    "Failed to retrieve resource string.  Please locate and register QmResourceServices.dll";

// Message texts. |ok| (optional) tells whether the lookup succeeded.
std::string ResourceString(int32_t id, bool* ok = nullptr);
std::string ResourceStringS(int32_t id, const std::string& a, const std::string& b);
std::string ResourceStringV(int32_t id, const std::vector<std::string>& inserts);

// An Error with number |id|, |source| and the message text of |id| (with
// |inserts|).
Error MakeError(int32_t id, std::string source, const std::vector<std::string>& inserts = {});

}  // namespace qmxml::frame
