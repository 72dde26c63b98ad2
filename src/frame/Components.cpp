// Service starter and message lookup.
#include "frame/Components.h"

#include "qmxml/Application.h"

namespace qmxml::frame {
namespace {

// The message service, started once for the process from the built-in
// services and kept: it holds nothing that changes, so every run and thread
// may share it.
std::shared_ptr<ResourceService> Resources() {
  static const std::shared_ptr<ResourceService> service = [] {
    auto svc = std::dynamic_pointer_cast<ResourceService>(
        StartService(ServiceRegistry::Builtin(), kProgIdResource, false, "QmResourceServices.Dll"));
    return svc && svc->LoadResources(ComponentFolder() + "QmComRes.dll", "QmXMLServices")
               ? svc
               : nullptr;
  }();
  return service;
}

// The wrapper around the starter: a raised 23001 is absorbed and the
// caller gets nullptr.
template <class T>
std::shared_ptr<T> Quiet(const ServiceRegistry& services, std::string_view prog_id,
                         std::string_view library) {
  try {
    return std::dynamic_pointer_cast<T>(StartService(services, prog_id, true, library));
  } catch (const Error&) {
    return nullptr;
  }
}

}  // namespace

ObjectPtr StartService(const ServiceRegistry& services, std::string_view prog_id, bool raise,
                       std::string_view /*library*/) {
  ObjectPtr obj = services.Create(prog_id);
  if (obj) return obj;
  if (raise) throw MakeError(eMsg_ComponentFailedToStart, "modComponents.StartService", {std::string(prog_id)});
  return nullptr;
}

std::shared_ptr<ConversionService> GetConversionService(const ServiceRegistry& services) {
  return Quiet<ConversionService>(services, kProgIdConversion, "QmGeneralServices.Dll");
}

std::shared_ptr<GuidService> GetGuidService(const ServiceRegistry& services) {
  return Quiet<GuidService>(services, kProgIdGuid, "QmGeneralServices.Dll");
}

std::string ResourceString(int32_t id, bool* ok) {
  auto svc = Resources();
  if (ok) *ok = svc != nullptr;
  return svc ? svc->ResourceString(id) : kResourceFallback;
}

std::string ResourceStringS(int32_t id, const std::string& a, const std::string& b) {
  auto svc = Resources();
  return svc ? svc->ResourceStringS(id, a, b) : kResourceFallback;
}

std::string ResourceStringV(int32_t id, const std::vector<std::string>& inserts) {
  auto svc = Resources();
  return svc ? svc->ResourceStringV(id, inserts) : kResourceFallback;
}

Error MakeError(int32_t id, std::string source, const std::vector<std::string>& inserts) {
  return Error(id, std::move(source),
               inserts.empty() ? ResourceString(id) : ResourceStringV(id, inserts));
}

}  // namespace qmxml::frame
