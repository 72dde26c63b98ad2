// GUID providers: a reader stores either the GUID found in the XML
// (ExistingProjectGUID) or a fresh one (NewProjectGUID, when the transfer
// copies a project). The key map always records the XML's GUID, so
// references inside one transfer resolve either way.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include <pugixml.hpp>

#include "qmxml/DataDescriptor.h"
#include "qmxml/KeyMap.h"
#include "qmxml/Services.h"

namespace qmxml::frame {

class iGUID {
 public:
  virtual ~iGUID() = default;
  virtual std::string GetGUID(std::string_view sGUID) = 0;
  // Identification, as the other classes of the component answer it.
  virtual std::string ClassName() const = 0;
  virtual int32_t ClassID() const = 0;
  virtual std::string ClassDescription() const = 0;
};

class NewProjectGUID : public iGUID {
 public:
  // GUIDs come from the GUID service of |services|, which must outlive
  // the provider.
  explicit NewProjectGUID(const ServiceRegistry& services = ServiceRegistry::Builtin())
      : services_(&services) {}
  // A fresh GUID from the GUID service; "" when it cannot start.
  std::string GetGUID(std::string_view sGUID) override;
  std::string ClassName() const override { return "QmXMLServices.NewProjectGUID"; }
  int32_t ClassID() const override { return 8; }
  std::string ClassDescription() const override { return ".NewProjectGUID"; }

 private:
  const ServiceRegistry* services_;
};

class ExistingProjectGUID : public iGUID {
 public:
  std::string GetGUID(std::string_view sGUID) override { return std::string(sGUID); }
  std::string ClassName() const override { return "QmXMLServices.ExistingProjectGUID"; }
  int32_t ClassID() const override { return 5; }
  std::string ClassDescription() const override { return ".ExistingProjectGUID"; }
};

// Whether the 32 characters between the dashes of a GUID must be hex digits.
enum class GuidDigits { kHex, kAny };

// True when |text| is a GUID in braces, "{8-4-4-4-12}" hex digits of either
// case. File names built from data are made only of such GUIDs, so nothing
// read from a folder or a database can name a file outside its folder.
// With GuidDigits::kAny only the braces, the dashes and the length count
// (how a saved query's text marks its references).
bool IsGuidShaped(std::string_view text, GuidDigits digits = GuidDigits::kHex);

// The file stem a GUID from the data gives: |text| in braces when it is a
// GUID with or without its braces ("{8-4-4-4-12}" or "8-4-4-4-12", hex
// digits of either case), else "" (it names no file). Every writer and
// reader that names a file after an element goes through this one rule.
std::string FileGuid(std::string_view text);

// NewProjectGUID (with the GUID service of |services|) when bit 0 of
// |project_flags| is set, else ExistingProjectGUID.
std::unique_ptr<iGUID> ChooseGuidProvider(int32_t project_flags, const ServiceRegistry& services);

// The key of the project named by the document's root element, in its
// attribute |attribute| (nullptr: its first attribute, for the readers that
// take the root's attributes by position), or 0 when the root or the key
// map is missing.
int32_t ProjectKeyOfDocument(const pugi::xml_document& doc, KeyMap* keys,
                             const char* attribute = nullptr);

}  // namespace qmxml::frame
