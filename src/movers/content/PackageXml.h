// Small element helpers shared by the package mover's units (package frame,
// requirements, resources): text elements, texts read back by name, and
// the step runner of the writer that goes on after a failing step.
#pragma once

#include <exception>
#include <new>
#include <pugixml.hpp>
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "frame/TransferState.h"
#include "qmxml/Recordset.h"
#include "xml/ElementLayout.h"
#include "xml/XmlDoc.h"

namespace qmxml::movers::package_xml {

// The attributes of "Requirement" and of its "FieldValue" elements.
// Computed: RequirementText and FieldValue (the overflow text when the row
// has one), VersionDateTime (cTimeStamp), TkIntegration ("Yes" or "No").
inline constexpr xml::AttrTable kRequirementAttrs{{
    {"ID", "QMGUID"},
    {"Tag", "Tag"},
    {"LastChildTag", "LastChildTag"},
    {"BookmarkName", "BookmarkName"},
    {"BookmarkDocumentID", "DOCGUID"},
    {"DocumentPosition", "DocumentPosition"},
    {"LongTagNumber", "LongTagNumber"},
    {"RequirementPrefix", "RequirementPrefix"},
    {"RequirementText"},
    {"Deleted", "Deleted", xml::kBoolean},
    {"VersionNumber", "VersionNumber"},
    {"VersionLabel", "VersionLabel"},
    {"VersionUserGUID", "VersionUserGUID"},
    {"VersionDateTime"},
    {"VersionReason", "VersionReason"},
    {"Flags", "Flags"},
    {"LastDocText", "LastDocText"},
    {"REQUIREMENTNAME", "REQUIREMENTNAME"},
    {"RequirementTypeGUID", "RequirementTypeGUID"},
}};
inline constexpr xml::AttrTable kFieldValueAttrs{{
    {"ID", "QMGUID"},
    {"Label", "Label"},
    {"FieldValue"},
    {"NumericValue", "NumericValue"},
    {"TkIntegration"},
}};
// "ListValue" is read back by name, but written from this table all the
// same, its columns found once per package.
inline constexpr xml::AttrTable kListValueAttrs{{
    {"ID", "QMGUID"},
    {"Label", "Label"},
    {"ItemText", "ItemText"},
    {"UDFGUID", "UDFGUID"},
}};

// Appends element |name| to |parent| with |text| (no text node when empty).
inline pugi::xml_node AppendTextElement(pugi::xml_node parent, const char* name,
                                        std::string_view text) {
  pugi::xml_node e = parent.append_child(name);
  // Up to the first NUL, as a C string would end there.
  if (!text.empty()) e.text().set(text.data(), std::min(text.size(), text.find('\0')));
  return e;
}

// The text of the first child element |name| of |node|, blanks around
// removed ("" when there is none).
inline std::string ChildText(pugi::xml_node node, const char* name) {
  std::string_view s = node.child(name).text().get();
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return std::string(s);
}

// The attribute |name| of |node| by the text rule ("" when missing).
inline std::string AttrText(pugi::xml_node node, const char* name) {
  return xml::AttributeValue(node.attribute(name), xml::kString).ToText();
}

// Runs one step of a mover that carries on past failures: what the step
// would have added is left out, counted in the left_out of |run| as |what|
// with the reason, and the mover goes on with its next step.
template <class Step>
void SkipOnFailure(TransferState& run, const char* what, Step&& step) {
  try {
    step();
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    run.NoteLeftOut(std::string(what) + " left out (" + e.what() + ")");
  }
}

// The folder of the resource files of the extract written to |path|: the
// text |element_guid| & ".XML" in the path replaced by "Resources", or
// "Resources" beside the file when the path does not hold that text;
// created when missing. The writer keeps it for its resource files.
std::string PrepareResourcesFolder(const std::string& path, const std::string& element_guid);

// Writes the resource file "<folder>/<guid>.XML" of the current row of
// |resources| (NAME, TYPE, REQUIREMENTID, VERSIONDATETIME, Flags, the bytes
// of RESOURCEOBJ), naming the project |project_guid|, through the files and
// notes of |run|. Package exports and baseline extracts write the same
// file.
void WriteResourceFile(const Recordset& resources, const std::string& guid,
                       const std::string& project_guid, const std::string& folder,
                       TransferState& run);

// The bytes of a resource column (RESOURCEOBJ), whatever form the row set
// holds it in: bytes, or text from a database without a byte type.
std::vector<uint8_t> ResourceBytes(const Variant& v);

}  // namespace qmxml::movers::package_xml
