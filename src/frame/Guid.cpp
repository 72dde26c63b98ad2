// GUID providers and the project key of a document.
#include "frame/Guid.h"

#include <cctype>

#include "frame/Components.h"
#include "xml/XmlDoc.h"

namespace qmxml::frame {

std::string NewProjectGUID::GetGUID(std::string_view) {
  auto service = frame::GetGuidService(*services_);
  return service ? service->GenerateGUID() : std::string();
}

bool IsGuidShaped(std::string_view text, GuidDigits digits) {
  static constexpr std::string_view kShape = "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
  if (text.size() != kShape.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (kShape[i] != 'X') {
      if (c != kShape[i]) return false;
    } else if (digits == GuidDigits::kHex && !std::isxdigit(static_cast<unsigned char>(c))) {
      return false;
    }
  }
  return true;
}

std::string FileGuid(std::string_view text) {
  if (IsGuidShaped(text)) return std::string(text);
  std::string braced;
  braced.reserve(text.size() + 2);
  braced.push_back('{');
  braced.append(text);
  braced.push_back('}');
  return IsGuidShaped(braced) ? braced : std::string();
}

std::unique_ptr<iGUID> ChooseGuidProvider(int32_t project_flags, const ServiceRegistry& services) {
  if (project_flags & 1) return std::make_unique<NewProjectGUID>(services);
  return std::make_unique<ExistingProjectGUID>();
}

int32_t ProjectKeyOfDocument(const pugi::xml_document& doc, KeyMap* keys,
                             const char* attribute) {
  pugi::xml_node root = xml::RootElement(doc);
  if (!root || keys == nullptr) return 0;
  const pugi::xml_attribute id =
      attribute == nullptr ? root.first_attribute() : root.attribute(attribute);
  return keys->getKeyFromGUID("Project", id.value());
}

}  // namespace qmxml::frame
