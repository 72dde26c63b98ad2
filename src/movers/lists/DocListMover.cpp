// The document catalogue mover.
#include "movers/lists/DocListMover.h"

#include "frame/MoverRegistry.h"

namespace qmxml::movers {
namespace {

const CatalogLayout kDocList{
    eMsg_DocList,
    "Docs",
    "DOCS",
    "DOC",
    {{"Name", "NAME", "NAME"},
     {"ID", "QMGUID", "ID"},
     {"filepath", "filepath", "filepath"},
     {"wordfilepath", nullptr, "wordfilepath"}},
};

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

DocListMover::DocListMover() : CatalogListMover("DocListMover", kDocList) {}

std::string DocListMover::GetWordFilePath_(std::string_view directory,
                                           std::string_view name,
                                           std::string_view extension) {
  std::string path;
  path.reserve(directory.size() + name.size() + extension.size() + 2);
  path += directory;
  if (directory.empty() || !IsSeparator(directory.back())) {
    // The separator the folder itself uses, so Windows folders stay whole.
    size_t last = directory.find_last_of("\\/");
    path.push_back(last == std::string_view::npos ? '/' : directory[last]);
  }
  path += name;
  path.push_back('.');
  path += extension;
  return path;
}

std::string DocListMover::ComputedValue_(const Recordset& row, const CatalogAttr&) const {
  return GetWordFilePath_(xml::ColumnText(row, "filedirectory"),
                          xml::ColumnText(row, "filename"),
                          xml::ColumnText(row, "fileextension"));
}

void DocListMover::CompleteEntry_(Collection& entry, const PathParts&) const {
  PathParts file = SplitPath(entry.Item("filepath").ToText());
  entry.Add(Variant(std::move(file.folder)), "FileDirectory");
  entry.Add(Variant(std::move(file.name)), "FileName");
  entry.Add(Variant(std::move(file.extension)), "FileExtension");
}

MoverPtr NewDocListMover() { return std::make_shared<DocListMover>(); }

}  // namespace qmxml::movers
