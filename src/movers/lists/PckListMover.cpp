// The package catalogue mover.
#include "movers/lists/PckListMover.h"

#include "frame/MoverRegistry.h"

namespace qmxml::movers {
namespace {

const CatalogLayout kPckList{
    eMsg_PackList, nullptr, "Packages", "Package", {{"ID", "QMGUID", "ID"}},
};

}  // namespace

PckListMover::PckListMover() : CatalogListMover("PckListMover", kPckList) {}

void PckListMover::CompleteEntry_(Collection& entry, const PathParts& catalog) const {
  // Each package file lies beside the catalogue and has its extension.
  std::string path;
  if (catalog.has_folder) path = catalog.folder + catalog.separator;
  path += entry.Item("ID").ToText();
  path += catalog.extension;
  entry.Add(Variant(std::move(path)), "FilePath");
}

MoverPtr NewPckListMover() { return std::make_shared<PckListMover>(); }

}  // namespace qmxml::movers
