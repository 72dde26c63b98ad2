// Whole-project transfers through real databases and folders: the round
// trip with kept GUIDs, a copy with new GUIDs into the same database, and
// failures that must leave the target database exactly as it was.
#include "qmxml/Transfer.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <regex>

#include <pugixml.hpp>
#include <set>

#include "TestSupport.h"
#include "qmxml/Error.h"
#include "frame/Guid.h"
#include "host/HostServices.h"
#include "sample/SampleProject.h"

namespace qmxml::testing {
namespace {
namespace fs = std::filesystem;

// The text of an exported file without what an import does not carry back:
// related values of documents and the database key of a requirement in its
// resource files (keys are new in every database).
std::string Carried(const std::string& text) {
  static const char* dropped[] = {"<VALUE fieldid=", "<RequirementID>", "RELATEDVALUES"};
  std::string out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    bool keep = true;
    for (const char* d : dropped) keep = keep && line.find(d) == std::string::npos;
    if (keep) out += line + "\n";
  }
  return out;
}

// Files of |dir| by relative path, as carried by an import.
std::map<std::string, std::string> Folder(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    if (!e.is_regular_file()) continue;
    std::string rel = fs::relative(e.path(), dir).string();
    if (rel == "externalprojects.xml") continue;  // written only
    files[rel] = Carried(ReadFile(e.path().string()));
  }
  return files;
}

bool IsGuidAt(const std::string& t, size_t i) {
  return i + 38 <= t.size() && frame::IsGuidShaped(std::string_view(t).substr(i, 38));
}

// |text| with every GUID replaced by its number in order of first sight.
std::string NumberGuids(const std::string& text) {
  std::map<std::string, int> seen;
  std::string out;
  for (size_t i = 0; i < text.size();) {
    if (IsGuidAt(text, i)) {
      auto [it, fresh] = seen.emplace(FoldCase(text.substr(i, 38)), static_cast<int>(seen.size()));
      out += "{G" + std::to_string(it->second) + "}";
      i += 38;
    } else {
      out.push_back(text[i++]);
    }
  }
  return out;
}

// The GUIDs listed in a table of contents, in order.
std::vector<std::string> ListedIds(const std::string& toc, const char* entry) {
  std::vector<std::string> ids;
  std::string marker = std::string("<") + entry + " ";
  for (size_t at = toc.find(marker); at != std::string::npos; at = toc.find(marker, at + 1)) {
    size_t id = toc.find("ID=\"", at);
    if (id != std::string::npos) ids.push_back(toc.substr(id + 4, 38));
  }
  return ids;
}

// The rows of the tables whose rows have GUIDs, ordered by GUID, without
// the key columns (keys are new in every database; references are
// checked by the re-export) and what the documents do not carry (the
// requirements' suspect time).
std::string GuidRows(const std::string& db) {
  auto conn = OpenProjectDatabase(db);
  std::string out;
  for (const char* table : {"qmProjects", "qmUsers", "qmUserGroups", "qmRequirementTypes", "qmDocumentTypes",
                            "qmUserDefinedFields", "qmUserDefinedListItems", "qmDocuments", "qmRequirements",
                            "QmPackages", "QmResources"}) {
    std::string columns;
    const auto shape = conn->EmptyRows(table);  // keeps the columns alive for the loop
    for (const Column& column : shape->Columns()) {
      const std::string& name = column.name;
      if (FoldCase(name).ends_with("ID") || EqualsNoCase(name, "DefaultValue") ||
          EqualsNoCase(name, "SuspectDateTime"))
        continue;
      columns += (columns.empty() ? "" : ", ") + name;
    }
    // An attribute no requirement type has is not part of the project (the
    // sample keeps one that a view still names): not carried, not compared.
    const std::string linked = "(SELECT USERDEFINEDFIELDID FROM qmRequirementTypeFields)";
    const std::string where = EqualsNoCase(table, "qmUserDefinedFields")     ? " WHERE ID IN " + linked
                              : EqualsNoCase(table, "qmUserDefinedListItems") ? " WHERE FIELDID IN " + linked
                                                                               : "";
    out += std::string(table) + ":\n" +
           QueryText(*conn, "SELECT " + columns + " FROM " + table + where + " ORDER BY QMGUID");
  }
  return out;
}

class TransferTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    source = Db("source.db");
    auto conn = CreateProjectDatabase(source);
    SampleOptions opts;
    opts.requirements = 400;
    opts.seed = 7;
    // The key the sample's passwords are enciphered with, for the opener
    // of the host project.
    opts.key_file = dir.File("sample.key");
    setenv("QMXML_KEY_FILE", opts.key_file.c_str(), 1);
    FillSampleProject(*conn, opts);
    auto exported = ExportProject(source, dir.File("e1"), {});
    // The sample's first view lists an attribute no type has any more.
    EXPECT_EQ(exported.losses, (std::map<std::string, long>{{"attribute(s) dropped from view columns", 1}}));
    // Counted whichever thread wrote them.
    EXPECT_EQ(exported.files.at("traces"), 1);
    EXPECT_EQ(exported.files.at("view list"), 1);
  }
  std::string DumpOf(const std::string& spec) { return DatabaseText(*OpenProjectDatabase(spec)); }
  // The database a test calls |name|: a file in the test's folder, or a
  // schema of its own on the server; the same one for the same name.
  std::string Db(const std::string& name) {
    auto it = databases.find(name);
    if (it == databases.end()) it = databases.emplace(name, dbs.New(name)).first;
    return it->second;
  }
  TempDir dir;
  TestDatabases dbs{GetParam(), dir};
  std::map<std::string, std::string> databases;
  std::string source;
};

INSTANTIATE_TEST_SUITE_P(Databases, TransferTest, ::testing::ValuesIn(Backends()),
                         [](const auto& info) { return info.param; });

TEST_P(TransferTest, ReExportOfTheImportedProjectEqualsTheFirstExport) {
  // Strict: a whole export resolves every reference it carries, the saved
  // views packages refer to included.
  ImportOptions strict;
  strict.strict = true;
  auto summary = ImportProject(dir.File("e1"), Db("copy.db"), strict);
  EXPECT_TRUE(summary.dangling.empty());
  EXPECT_TRUE(summary.losses.empty());
  EXPECT_GT(summary.rows_added.at("QmViews"), 0);
  EXPECT_GT(summary.rows_added.at("QmQueryDefinitions"), 0);
  EXPECT_EQ(summary.rows_added.at("qmRequirements"), 400);
  EXPECT_GT(summary.rows_added.at("QmResources"), 0);
  EXPECT_GT(summary.rows_added.at("QmToRelationships"), 0);
  // Row by row, the carried rows are the same: comparing only the exports
  // would miss a writer that puts a column into the wrong attribute.
  EXPECT_EQ(GuidRows(source), GuidRows(Db("copy.db")));
  ExportProject(Db("copy.db"), dir.File("e2"), {});
  auto first = Folder(dir.File("e1")), second = Folder(dir.File("e2"));
  ASSERT_EQ(first.size(), second.size());
  for (const auto& [name, text] : first) {
    ASSERT_TRUE(second.count(name)) << name;
    EXPECT_EQ(text, second[name]) << name;
  }
  // The readers of other producers' files take attributes by position: an
  // element carries them in the vocabulary's order, whatever reads them back
  // here.
  const struct {
    const char* file;
    const char* element;
    const char* names;
  } orders[] = {
      {"traces.xml", "TraceTo", "ReqGUID ToReqGUID State Type Name VersionDateTime"},
      {"security.xml", "User",
       "LoginName Password Active FullName EmailAddress GroupName GroupGUID ID"},
  };
  for (const auto& o : orders) {
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(first[o.file].c_str())) << o.file;
    std::string names;
    const pugi::xml_node element = doc.select_node((std::string("//") + o.element).c_str()).node();
    for (pugi::xml_attribute a : element.attributes())
      names += (names.empty() ? "" : " ") + std::string(a.name());
    EXPECT_EQ(names, o.names) << o.file;
  }
}

TEST_P(TransferTest, CopyWithNewGuidsIntoTheSameDatabasePointsAtItsOwnRows) {
  ImportOptions opts;
  opts.new_guids = true;
  auto summary = ImportProject(dir.File("e1"), source, opts);
  auto conn = OpenProjectDatabase(source);
  auto count = [&](const std::string& sql) { return conn->Scalar(sql, {}).ToLong(); };
  const std::string copy = std::to_string(summary.project_key);
  EXPECT_EQ(count("SELECT COUNT(*) FROM qmProjects"), 2);
  EXPECT_EQ(count("SELECT COUNT(DISTINCT QMGUID) FROM qmRequirements"), 800);
  // Requirements of the copy have types that belong to the copy.
  EXPECT_EQ(count("SELECT COUNT(*) FROM qmProjectRequirements pr JOIN qmRequirements r ON "
                  "r.ID = pr.RequirementID LEFT JOIN qmProjectRequirementTypes pt ON "
                  "pt.REQUIREMENTTYPEID = r.RequirementTypeID AND pt.PROJECTID = pr.ProjectID "
                  "WHERE pr.ProjectID = " + copy + " AND pt.PROJECTID IS NULL"),
            0);
  EXPECT_EQ(count("SELECT COUNT(*) FROM qmProjectRequirements WHERE ProjectID = " + copy), 400);
  // The copy's rights name the copy's groups, not the original's.
  EXPECT_EQ(count("SELECT COUNT(*) FROM qmProjectUsers pu JOIN qmUserGroups g ON g.ID = "
                  "pu.USERGROUPID WHERE pu.PROJECTID = " + copy + " AND g.ID IN (SELECT "
                  "USERGROUPID FROM qmProjectUsers WHERE PROJECTID <> " + copy + ")"),
            0);
  // Values point at the copy's attributes.
  EXPECT_EQ(count("SELECT COUNT(*) FROM qmUserDefinedFieldValues v JOIN qmProjectRequirements pr "
                  "ON pr.RequirementID = v.REQUIREMENTID JOIN qmUserDefinedFields f ON f.ID = "
                  "v.FIELDID WHERE pr.ProjectID = " + copy + " AND f.ID IN (SELECT "
                  "USERDEFINEDFIELDID FROM qmRequirementTypeFields tf JOIN "
                  "qmProjectRequirementTypes pt ON pt.REQUIREMENTTYPEID = tf.REQUIREMENTTYPEID "
                  "WHERE pt.PROJECTID <> " + copy + ")"),
            0);
  ExportOptions eo;
  eo.project = copy;
  auto second = ExportProject(source, dir.File("e2"), eo);
  EXPECT_NE(second.project_guid, ExportProject(source, dir.File("e3"), {"1", nullptr}).project_guid);
  auto first = Folder(dir.File("e1")), copied = Folder(dir.File("e2"));
  EXPECT_EQ(copied.size(), first.size());
  // Once GUIDs are matched up (numbered in order of appearance), the copy's
  // export says what the original's says: documents and packages paired by
  // their place in the tables of contents.
  // List defaults name item keys, new in the copy: masked. Traces are listed
  // in GUID order, which new GUIDs change: compared by count.
  static const std::regex default_keys(" DefaultValue=\"[0-9, ]*\"");
  auto masked = [](const std::string& t) { return std::regex_replace(t, default_keys, " DefaultValue=\"#\""); };
  for (const char* name : {"project.xml", "security.xml", "structure.xml", "permissions.xml",
                           "doclist.xml", "pcklist.xml", "viewlist.xml", "queries.xml"})
    EXPECT_EQ(NumberGuids(masked(first[name])), NumberGuids(masked(copied[name]))) << name;
  auto traces = [](const std::string& t) {
    size_t n = 0;
    for (size_t at = t.find("<TraceTo "); at != std::string::npos; at = t.find("<TraceTo ", at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(traces(first["traces.xml"]), traces(copied["traces.xml"]));
  EXPECT_GT(traces(first["traces.xml"]), 0u);
  struct Toc {
    const char* file;
    const char* entry;
    const char* folder;
    const char* ext;
  } tocs[] = {{"doclist.xml", "DOC", "documents/", ".xml"},
              {"pcklist.xml", "Package", "packages/", ".XML"},
              {"viewlist.xml", "VIEW", "views/", ".xml"}};
  for (const auto& toc : tocs) {
    auto a = ListedIds(first[toc.file], toc.entry), b = ListedIds(copied[toc.file], toc.entry);
    ASSERT_EQ(a.size(), b.size());
    ASSERT_FALSE(a.empty());
    for (size_t i = 0; i < a.size(); ++i) {
      EXPECT_NE(a[i], b[i]);
      EXPECT_EQ(NumberGuids(first[toc.folder + a[i] + toc.ext]),
                NumberGuids(copied[toc.folder + b[i] + toc.ext]))
          << a[i];
    }
  }
  // The copy's views, queries and package view references are its own: no
  // GUID in them is one of the original's (the host's fixed GUIDs of its
  // built-in attributes aside).
  std::set<std::string> original;
  for (const auto& [name, text] : first)
    for (size_t i = 0; i < text.size(); ++i)
      if (IsGuidAt(text, i)) original.insert(FoldCase(text.substr(i, 38)));
  for (const SystemAttributeGuid& s : SystemAttributeGuids()) original.erase(FoldCase(s.guid));
  size_t checked = 0;
  for (const auto& [name, text] : copied) {
    const bool views_or_queries = name.rfind("views/", 0) == 0 || name == "viewlist.xml" || name == "queries.xml";
    for (size_t at = 0; (at = text.find(views_or_queries ? "{" : "<ViewRef>{", at)) != std::string::npos; ++at) {
      const size_t g = text[at] == '{' ? at : at + 9;
      if (!IsGuidAt(text, g)) continue;
      ++checked;
      EXPECT_EQ(original.count(FoldCase(text.substr(g, 38))), 0u) << name << " " << text.substr(g, 38);
    }
  }
  EXPECT_GT(checked, 50u);
  // Stored view properties name attributes of the copy's own types.
  auto props = conn->Query("SELECT PROPERTIES FROM QmViews WHERE PROJECTID = " + copy);
  size_t attributes = 0;
  for (; !props->IsEOF(); props->MoveNext()) {
    const std::string p = props->Value("PROPERTIES").ToText();
    for (size_t at = 0; (at = p.find("/i", at)) != std::string::npos; ++at) {
      const std::string key = std::to_string(std::atoi(p.c_str() + at + 2));
      const bool across = p.rfind("horizReqTypeKey=", at) != std::string::npos &&
                          p.find(';', p.rfind("horizReqTypeKey=", at)) > at;
      const std::string sql = across ? "SELECT COUNT(*) FROM qmProjectRequirementTypes WHERE PROJECTID = " + copy +
                                           " AND REQUIREMENTTYPEID = " + key
                                     : "SELECT COUNT(*) FROM qmRequirementTypeFields tf JOIN qmProjectRequirementTypes pt "
                                       "ON pt.REQUIREMENTTYPEID = tf.REQUIREMENTTYPEID WHERE pt.PROJECTID = " + copy +
                                           " AND tf.USERDEFINEDFIELDID = " + key;
      EXPECT_GT(count(sql), 0) << p;
      ++attributes;
    }
  }
  EXPECT_GT(attributes, 10u);
}

TEST_P(TransferTest, QueryTextsAgreeWhicheverRoadConvertedThem) {
  // Into two empty databases, keys are allocated alike: the engine's texts
  // (kept GUIDs) and the text rewrite's (new GUIDs) must be the same.
  ImportProject(dir.File("e1"), Db("engine.db"), {});
  ImportOptions copy;
  copy.new_guids = true;
  auto summary = ImportProject(dir.File("e1"), Db("rewrite.db"), copy);
  EXPECT_TRUE(summary.dangling.empty());
  EXPECT_TRUE(summary.losses.empty());
  const std::string sql = "SELECT QUERYNAME, QUERYSTRING FROM QmQueryDefinitions ORDER BY ID";
  auto engine = OpenProjectDatabase(Db("engine.db")), rewrite = OpenProjectDatabase(Db("rewrite.db"));
  const std::string by_engine = QueryText(*engine, sql);
  EXPECT_EQ(by_engine, QueryText(*rewrite, sql));
  EXPECT_EQ(by_engine.find("||"), std::string::npos) << by_engine;  // no text left empty
  EXPECT_GE(engine->Scalar("SELECT COUNT(*) FROM QmQueryDefinitions", {}).ToLong(), 9);
  // The stored texts are what the original stored, up to the printed
  // layout: the re-export of either gives the same GUID-form texts.
  ExportProject(Db("engine.db"), dir.File("e_engine"), {});
  EXPECT_EQ(ReadFile(dir.File("e1/queries.xml")), ReadFile(dir.File("e_engine/queries.xml")));
}

TEST_P(TransferTest, ViewColumnsTheTargetDoesNotKnowAreDroppedAndCounted) {
  const fs::path e1 = dir.File("e1"), bad = dir.File("bad_view");
  fs::copy(e1, bad, fs::copy_options::recursive);
  const std::string view = ListedIds(ReadFile((e1 / "viewlist.xml").string()), "VIEW").front();
  const fs::path file = bad / "views" / (view + ".xml");
  const std::string unknown = "{00000000-0000-0000-0000-0000000000DD}";
  std::string text = ReadFile(file.string());
  text.replace(text.find("attributeKeys=/c(") + 17, 0, "/g" + unknown + ",");
  WriteFile(file.string(), text);
  auto summary = ImportProject(bad.string(), Db("lossy.db"), {});
  EXPECT_EQ(summary.losses.at("attribute(s) dropped from view columns"), 1);
  EXPECT_EQ(summary.dangling.at("UserDefinedField").count(FoldCase(unknown)), 1u);
  ImportOptions strict;
  strict.strict = true;
  EXPECT_THROW(ImportProject(bad.string(), Db("strict.db"), strict), Error);
  // The view is stored without the column; the re-export equals the first.
  ExportProject(Db("lossy.db"), dir.File("e_lossy"), {});
  EXPECT_EQ(ReadFile((e1 / "views" / (view + ".xml")).string()),
            ReadFile(dir.File("e_lossy/views/" + view + ".xml")));
}

TEST_P(TransferTest, FailedImportsLeaveTheTargetDatabaseAsItWas) {
  const std::string before = DumpOf(source);
  // A package file that does not parse, late in the transfer.
  fs::path packages = fs::path(dir.File("e1")) / "packages";
  fs::path victim;
  for (const auto& e : fs::directory_iterator(packages))
    if (e.path().extension() == ".XML") victim = e.path();
  WriteFile(victim.string(), ReadFile(victim.string()).substr(0, 300));
  try {
    ImportProject(dir.File("e1"), source, AsCopy());
    FAIL() << "a broken package imported";
  } catch (const Error& e) {
    EXPECT_GT(e.Number(), 0);
    EXPECT_NE(e.Description().find(victim.filename().string()), std::string::npos) << e.Description();
  }
  EXPECT_EQ(DumpOf(source), before);
  // A new database is not left behind either.
  EXPECT_THROW(ImportProject(dir.File("e1"), Db("new.db"), {}), Error);
  EXPECT_FALSE(ProjectDatabaseExists(Db("new.db")));
}

TEST_P(TransferTest, MissingFilesAndStrictReferencesFailCleanly) {
  const std::string before = DumpOf(source);
  ImportOptions strict = AsCopy();
  strict.strict = true;
  // A project author nobody knows: a line in the report, or under --strict
  // a failure.
  fs::path project = fs::path(dir.File("e1")) / "project.xml";
  std::string text = ReadFile(project.string());
  text = std::regex_replace(text, std::regex("AuthorGUID=\"[^\"]*\""),
                            "AuthorGUID=\"{00000000-0000-0000-0000-0000000000AA}\"");
  WriteFile(project.string(), text);
  try {
    ImportProject(dir.File("e1"), source, strict);
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), eErr_Dangling);
    EXPECT_NE(e.Description().find("User {00000000-0000-0000-0000-0000000000AA}"), std::string::npos)
        << e.Description();
  }
  EXPECT_EQ(DumpOf(source), before);
  fs::remove(fs::path(dir.File("e1")) / "structure.xml");
  try {
    ImportProject(dir.File("e1"), source, AsCopy());
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), eErr_FileNotFound);
    EXPECT_NE(e.Description().find("structure.xml"), std::string::npos);
  }
  EXPECT_EQ(DumpOf(source), before);
  EXPECT_THROW(ImportProject(dir.File("nowhere"), source, {}), Error);
}

// 1-based line of |offset| in |text|.
std::string LineAt(const std::string& text, size_t offset) {
  return std::to_string(1 + std::count(text.begin(), text.begin() + static_cast<ptrdiff_t>(offset), '\n'));
}

TEST_P(TransferTest, BadContentIsReportedWithTheFileAndTheElementsLine) {
  const std::string before = DumpOf(source);
  const fs::path e1 = dir.File("e1");
  fs::path package;
  for (const auto& e : fs::directory_iterator(e1 / "packages"))
    if (e.path().extension() == ".XML" && ReadFile(e.path().string()).find("<Resource>") != std::string::npos)
      package = e.path();
  ASSERT_FALSE(package.empty());
  const std::string package_text = ReadFile(package.string());
  const std::string traces_text = ReadFile((e1 / "traces.xml").string());
  struct Case {
    const char* what;
    std::function<void(const fs::path&)> spoil;
    std::string file;     // named in the error
    std::string element;  // "<Name ...>, line N"
  };
  // A trace to a requirement that is nowhere; a requirement whose
  // positional attributes shifted (one left out); a resource whose file is
  // missing.
  const size_t trace = traces_text.find("<TraceTo ", traces_text.find("<TraceTo ") + 1);
  const size_t req = package_text.find("<Requirement ID=\"");
  const std::string req_id = package_text.substr(req + 17, 38);
  const size_t resource_at = package_text.find("<Resource>");
  const size_t guid = package_text.find("<GUID>", resource_at);
  const std::string resource = package_text.substr(guid + 6, 38);
  // A view whose query is unknown.
  const std::string view_id = ListedIds(ReadFile((e1 / "viewlist.xml").string()), "VIEW").front();
  const std::string view_name = view_id + ".xml";
  const std::string view_text = ReadFile((e1 / "views" / view_name).string());
  std::vector<Case> cases = {
      {"unknown query of a view",
       [&](const fs::path& d) {
         WriteFile((d / "views" / view_name).string(),
                   std::regex_replace(view_text, std::regex(" queryid=\"[^\"]*\""),
                                      " queryid=\"{00000000-0000-0000-0000-0000000000CC}\""));
       },
       view_name, "<VIEW ID=\"" + view_id + "\">, line " + LineAt(view_text, view_text.find("<VIEW "))},
      {"unknown trace end",
       [&](const fs::path& d) {
         std::string t = traces_text;
         t.replace(t.find("ReqGUID=\"", trace) + 9, 38, "{00000000-0000-0000-0000-0000000000BB}");
         WriteFile((d / "traces.xml").string(), t);
       },
       "traces.xml", "<TraceTo>, line " + LineAt(traces_text, trace)},
      {"shifted requirement attributes",
       [&](const fs::path& d) {
         std::string t = package_text;
         size_t text_at = t.find(" RequirementText=\"", req);
         t.erase(text_at, t.find('"', text_at + 18) + 1 - text_at);
         size_t deleted_at = t.find(" Deleted=\"", req);
         t.erase(deleted_at, t.find('"', deleted_at + 10) + 1 - deleted_at);
         WriteFile((d / "packages" / package.filename()).string(), t);
       },
       package.filename().string(),
       "<Requirement ID=\"" + req_id + "\">, line " + LineAt(package_text, req)},
      {"missing resource file",
       [&](const fs::path& d) { fs::remove(d / "packages" / "Resources" / (resource + ".XML")); },
       resource + ".XML",
       "<Resource>, line " + LineAt(package_text, resource_at)},
  };
  for (const auto& c : cases) {
    const fs::path bad = dir.File("bad");
    fs::remove_all(bad);
    fs::copy(e1, bad, fs::copy_options::recursive);
    c.spoil(bad);
    try {
      ImportProject(bad.string(), source, AsCopy());
      FAIL() << c.what << " imported";
    } catch (const Error& e) {
      EXPECT_NE(e.Description().find(c.file), std::string::npos) << c.what << ": " << e.Description();
      EXPECT_NE(e.Description().find("(at " + c.element), std::string::npos)
          << c.what << ": " << e.Description();
    }
    EXPECT_EQ(DumpOf(source), before) << c.what;
  }
}

TEST_P(TransferTest, ADocumentOfAnotherKindIsRefusedBeforeAnythingIsRead) {
  const std::string before = DumpOf(source);
  struct Case {
    const char* from;
    const char* to;
  } swaps[] = {
      {"permissions.xml", "security.xml"},  // both start with <Groups>
      {"structure.xml", "project.xml"},
      {"traces.xml", "pcklist.xml"},
  };
  for (const auto& swap : swaps) {
    fs::path e1 = dir.File("e1"), bad = dir.File(std::string("bad_") + swap.to);
    fs::remove_all(bad);
    fs::copy(e1, bad, fs::copy_options::recursive);
    fs::copy_file(e1 / swap.from, bad / swap.to, fs::copy_options::overwrite_existing);
    try {
      ImportProject(bad.string(), source, AsCopy());
      FAIL() << swap.from << " read as " << swap.to;
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), eErr_BadDocument) << e.Description();
      EXPECT_NE(e.Description().find(swap.to), std::string::npos) << e.Description();
    }
    EXPECT_EQ(DumpOf(source), before);
  }
}

// The command line: exit codes scripts can rely on, and nothing changed
// on bad input.
int RunCli(const std::string& args) {
  int status = std::system((std::string(QMXML_CLI) + " -q " + args + " >/dev/null 2>&1").c_str());
  return WEXITSTATUS(status);
}

TEST_P(TransferTest, CommandLineExitCodes) {
  if (dbs.OnServer()) GTEST_SKIP() << "the command line is tried on files";
  EXPECT_EQ(RunCli("export " + Db("missing.db") + " " + dir.File("x")), 1);
  EXPECT_EQ(RunCli("sample " + source + " --requirements 5"), 2);  // exists already
  EXPECT_EQ(RunCli("sample " + Db("s.db") + " --requirements -3"), 1);
  EXPECT_FALSE(fs::exists(Db("s.db")));
  EXPECT_EQ(RunCli("import " + dir.File("nowhere") + " " + Db("t.db")), 1);
  EXPECT_EQ(RunCli("init " + Db("empty.db")), 0);
  EXPECT_EQ(RunCli("import " + dir.File("e1") + " " + Db("empty.db")), 0);
  EXPECT_EQ(RunCli("--version"), 0);
}

// The same project in a SQLite file and on the server exports byte for
// byte alike, and moves from one to the other and back unchanged.
TEST(CrossDatabase, TheSameProjectExportsAlikeAndMovesBetweenDatabasesUnchanged) {
  if (Backends().size() < 2) GTEST_SKIP() << "no server (QMXML_TEST_PG)";
  TempDir dir;
  TestDatabases files("sqlite", dir), server("postgres", dir);
  SampleOptions opts;
  opts.requirements = 150;
  opts.seed = 4;
  opts.key_file = dir.File("sample.key");
  setenv("QMXML_KEY_FILE", opts.key_file.c_str(), 1);
  const std::string file_db = files.New("s.db"), server_db = server.New("s");
  FillSampleProject(*CreateProjectDatabase(file_db), opts);
  FillSampleProject(*CreateProjectDatabase(server_db), opts);
  ExportProject(file_db, dir.File("from_file"), {});
  ExportProject(server_db, dir.File("from_server"), {});
  auto whole = [](const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(folder))
      if (e.is_regular_file()) files[fs::relative(e.path(), folder).string()] = ReadFile(e.path().string());
    return files;
  };
  const auto from_file = whole(dir.File("from_file"));
  EXPECT_GT(from_file.size(), 10u);
  EXPECT_TRUE(from_file == whole(dir.File("from_server"))) << "the two exports differ";

  // File -> server -> file: what an import carries comes back the same.
  const std::string on_server = server.New("moved"), back = files.New("back.db");
  ImportProject(dir.File("from_file"), on_server, {});
  ExportProject(on_server, dir.File("via_server"), {});
  ImportProject(dir.File("via_server"), back, {});
  ExportProject(back, dir.File("back_again"), {});
  const auto first = Folder(dir.File("from_file")), last = Folder(dir.File("back_again"));
  ASSERT_EQ(first.size(), last.size());
  for (const auto& [name, text] : first) {
    ASSERT_TRUE(last.count(name)) << name;
    EXPECT_TRUE(text == last.at(name)) << name;
  }
}

}  // namespace
}  // namespace qmxml::testing
