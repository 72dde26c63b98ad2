// Outside services reached by ProgID: date conversion, GUID generation and
// message texts. The registry is per thread, like the host's apartment: each
// thread sees its own set of services and its own cached message service.
// Tests make a service unavailable with Disable() and see how the movers
// behave without it.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "qmxml/Object.h"
#include "qmxml/Recordset.h"

namespace qmxml {

inline constexpr std::string_view kProgIdConversion = "QmGeneralServices.Conversion";
inline constexpr std::string_view kProgIdGuid = "QmGeneralServices.GUID";
inline constexpr std::string_view kProgIdResource = "QmResourceServices.Resource";
inline constexpr std::string_view kProgIdHostApp = "Specto40.Application";

// "QmGeneralServices.Conversion".
class ConversionService : public Object {
 public:
  std::string TypeName() const override { return std::string(kProgIdConversion); }
  // The text written for a date-time field: "YYYY-MM-DD HH:MM:SS", empty
  // for Null. A text value is passed through when it reads as a date.
  virtual std::string cTimeStamp(const Field& field);
};

// "QmGeneralServices.GUID".
class GuidService : public Object {
 public:
  std::string TypeName() const override { return std::string(kProgIdGuid); }
  // A new GUID, braced and upper case: "{0F1E2D3C-...}".
  virtual std::string GenerateGUID();
};

// "QmResourceServices.Resource": message texts by number. Inserts are
// marked %1, %2 ... in the texts.
class ResourceService : public Object {
 public:
  std::string TypeName() const override { return std::string(kProgIdResource); }
  virtual bool LoadResources(const std::string& path, const std::string& component);
  virtual std::string ResourceString(int32_t id);
  virtual std::string ResourceStringS(int32_t id, const std::string& a, const std::string& b);
  virtual std::string ResourceStringV(int32_t id, const std::vector<std::string>& inserts);
};

// Creates services by ProgID for the calling thread.
class ServiceRegistry {
 public:
  using Factory = std::function<ObjectPtr()>;
  // The registry of the calling thread.
  static ServiceRegistry& Current();

  // A new object for |prog_id|, or nullptr when it cannot be created.
  ObjectPtr Create(std::string_view prog_id);
  // Replace the factory of |prog_id| (nullptr factory: unavailable).
  void Register(std::string_view prog_id, Factory factory);
  void Disable(std::string_view prog_id) { Register(prog_id, nullptr); }
  // Back to the built-in services; also forgets the cached message service.
  void Reset();

  // The message service of this thread, started once and kept (see
  // frame/Components). Reset() forgets it.
  ObjectPtr resource_service;
  bool resource_tried = false;

 private:
  ServiceRegistry();
  std::vector<std::pair<std::string, Factory>> factories_;
};

}  // namespace qmxml
