// The built-in outside services: date text, GUIDs (libuuid) and the
// component's message texts, created by ProgID.
#include "qmxml/Services.h"

#include <uuid/uuid.h>

#include <cctype>
#include <map>

#include "qmxml/Collection.h"
#include "qmxml/Error.h"
#include "host/HostServices.h"

namespace qmxml {
namespace {

std::string Insert(std::string text, const std::vector<std::string>& inserts) {
  for (size_t i = inserts.size(); i-- > 0;) {
    std::string mark = std::to_string(i + 1);
    mark.insert(mark.begin(), '%');
    size_t at;
    size_t from = 0;
    while ((at = text.find(mark, from)) != std::string::npos) {
      text.replace(at, mark.size(), inserts[i]);
      from = at + inserts[i].size();
    }
  }
  return text;
}

}  // namespace

std::string ConversionService::cTimeStamp(const Field& field) {
  Variant v = field.Value();
  if (v.IsNull() || v.IsEmpty()) return "";
  if (v.Type() == VarType::String) {
    const std::string& t = *v.Text();
    if (IsStampText(t)) return t;  // already in the written form
    DateValue d;
    return ParseDate(t, &d) ? FormatDate(d) : t;
  }
  return FormatDate(v.ToDate());
}

std::string GuidService::GenerateGUID() {
  uuid_t id;
  uuid_generate(id);
  char text[37];
  uuid_unparse_upper(id, text);
  return std::string("{") + text + "}";
}

bool ResourceService::LoadResources(const std::string&, const std::string&) { return true; }

std::string ResourceService::ResourceString(int32_t id) {
  for (const MessageText& m : kMessageTexts)
    if (m.number == id) return m.text;
  return "Message " + std::to_string(id);
}

std::string ResourceService::ResourceStringS(int32_t id, const std::string& a,
                                             const std::string& b) {
  return Insert(ResourceString(id), {a, b});
}

std::string ResourceService::ResourceStringV(int32_t id,
                                             const std::vector<std::string>& inserts) {
  return Insert(ResourceString(id), inserts);
}

const ServiceRegistry& ServiceRegistry::Builtin() {
  static const ServiceRegistry builtin;
  return builtin;
}

ServiceRegistry::ServiceRegistry() {
  Register(kProgIdConversion,
           [](const ServiceRegistry&) { return std::make_shared<ConversionService>(); });
  Register(kProgIdGuid, [](const ServiceRegistry&) { return std::make_shared<GuidService>(); });
  Register(kProgIdResource,
           [](const ServiceRegistry&) { return std::make_shared<ResourceService>(); });
  RegisterHostServices(*this);
}

void ServiceRegistry::Register(std::string_view prog_id, Factory factory) {
  for (auto& [id, f] : factories_) {
    if (EqualsNoCase(id, prog_id)) {
      f = std::move(factory);
      return;
    }
  }
  factories_.emplace_back(std::string(prog_id), std::move(factory));
}

ObjectPtr ServiceRegistry::Create(std::string_view prog_id) const {
  for (const auto& [id, f] : factories_)
    if (EqualsNoCase(id, prog_id)) return f ? f(*this) : nullptr;
  return nullptr;
}

}  // namespace qmxml
