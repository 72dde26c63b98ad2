// A project database as a user names it: the kind is decided once, by the
// backend that takes the text.
#include "qmxml/DatabaseLocator.h"

#include "platform/Backend.h"

namespace qmxml {

DatabaseLocator::DatabaseLocator(std::string text, std::string schema)
    : text_(std::move(text)), schema_(std::move(schema)) {
  if (BackendFor(text_).IsFile()) file_ = text_;
}

std::string DatabaseLocator::ShownName() const { return BackendFor(text_).HidePassword(text_); }

}  // namespace qmxml
