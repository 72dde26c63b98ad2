// Application: identification of the component and where it was loaded from.
#include "qmxml/Application.h"

#include <unistd.h>

#include <climits>

namespace qmxml {

std::string ComponentVersion() {
  return std::to_string(QMXML_VERSION_MAJOR) + "." + std::to_string(QMXML_VERSION_MINOR) + "." +
         std::to_string(QMXML_VERSION_PATCH);
}

std::string WithTrailingSeparator(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder.push_back('/');
  return folder;
}

std::string ComponentFolder() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "./";
  std::string path(buf, static_cast<size_t>(n));
  return WithTrailingSeparator(path.substr(0, path.rfind('/')));
}

std::string Application::ClassVersion() const { return ComponentVersion(); }
std::string Application::ClassFilename() const { return "QmXMLServices.dll"; }
std::string Application::ClassPath() const { return ComponentFolder(); }

}  // namespace qmxml
