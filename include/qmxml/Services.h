// Outside services reached by ProgID: date conversion, GUID generation and
// message texts. A registry is a plain value: the built-in one is shared by
// the whole process and never changes; a run that wants another set (a test
// that makes a service unavailable with Disable() to see how the movers
// behave without it) hands its own registry to the run's TransferState.
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

// Creates services by ProgID. A factory gets the registry it was asked
// through, so that a service which starts others starts them from the same
// set.
class ServiceRegistry {
 public:
  using Factory = std::function<ObjectPtr(const ServiceRegistry&)>;
  // The built-in services, the same registry for every caller.
  static const ServiceRegistry& Builtin();

  // The built-in services, as a copy the caller may change.
  ServiceRegistry();

  // A new object for |prog_id|, or nullptr when it cannot be created.
  ObjectPtr Create(std::string_view prog_id) const;
  // Replace the factory of |prog_id| (nullptr factory: unavailable).
  void Register(std::string_view prog_id, Factory factory);
  void Disable(std::string_view prog_id) { Register(prog_id, nullptr); }

 private:
  std::vector<std::pair<std::string, Factory>> factories_;
};

}  // namespace qmxml
