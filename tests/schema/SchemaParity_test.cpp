// The two schema scripts declare the same tables with the same columns, so
// that a project moves between a SQLite file and a server without a column
// going missing on one side.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

namespace qmxml::testing {
namespace {

// Table name -> column names, both in lower case, as CREATE TABLE declares them.
std::map<std::string, std::set<std::string>> Declared(const std::string& file) {
  std::ifstream in(std::string(QMXML_SCHEMA_DIR) + "/" + file);
  EXPECT_TRUE(in) << file;
  auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  std::map<std::string, std::set<std::string>> tables;
  std::set<std::string>* columns = nullptr;
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string first, second, third, fourth, fifth, sixth;
    words >> first >> second >> third >> fourth >> fifth >> sixth;
    if (lower(first) == "create" && lower(second) == "table") {
      std::string name = lower(third) == "if" ? sixth : third;
      columns = &tables[lower(name.substr(0, name.find('(')))];
    } else if (columns && first.rfind(")", 0) == 0) {
      columns = nullptr;
    } else if (columns && !first.empty() && first.rfind("--", 0) != 0 &&
               lower(first) != "primary" && lower(first) != "unique") {
      columns->insert(lower(first));
    }
  }
  return tables;
}

TEST(SchemaScripts, BothDatabasesDeclareTheSameTablesAndColumns) {
  const auto sqlite = Declared("qmxml.sqlite.sql");
  const auto postgres = Declared("qmxml.postgres.sql");
  EXPECT_GT(sqlite.size(), 40u);
  EXPECT_EQ(sqlite, postgres);
  for (const auto& [table, columns] : sqlite) EXPECT_FALSE(columns.empty()) << table;
}

}  // namespace
}  // namespace qmxml::testing
