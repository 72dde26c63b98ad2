// Fuzz target of the document readers: one input is one document of an
// exported project folder. Its first line names the file it replaces
// (relative to the folder, "structure.xml", "packages/{...}.XML"); the rest
// is the document. The whole folder is then imported into a fresh database,
// so every reader sees the input the way a real import would, after the
// documents before it were read. An import may refuse the input with the
// component's Error; anything else (a crash, a sanitizer finding, another
// exception) is a finding.
//
// Two more first lines feed the two text conversions directly: "#query"
// makes the rest a saved query, parsed by the query engine on the sample
// project in key form and in GUID form (and printed back in the other form
// when it parses); "#view-properties" makes the rest a view property
// string, converted in both directions. The engine may refuse a query; the
// conversion may raise the component's Error; nothing else is allowed.
//
// The folder comes from QMXML_FUZZ_FOLDER (scripts/fuzz.sh exports a sample
// project there and seeds the corpus with its files) and the sample
// database from QMXML_FUZZ_DB.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "host/HostServices.h"
#include "qmxml/Error.h"
#include "qmxml/KeyMap.h"
#include "qmxml/Mover.h"
#include "qmxml/ProjectDatabase.h"
#include "qmxml/Transfer.h"
#include "qmxml/ViewPropertyConverter.h"

namespace {
namespace fs = std::filesystem;

struct Workspace {
  fs::path folder;                            // working copy of the export
  fs::path db;                                // imported into, removed each time
  std::map<std::string, std::string> files;  // original texts by relative path
};

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void Put(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

Workspace& Work() {
  static Workspace* work = [] {
    const char* from = std::getenv("QMXML_FUZZ_FOLDER");
    if (!from || !*from || !fs::is_directory(from)) {
      std::fprintf(stderr, "QMXML_FUZZ_FOLDER must name an exported project folder\n");
      std::abort();
    }
    auto* w = new Workspace;
    fs::path base = fs::temp_directory_path() / ("qmxml_fuzz_" + std::to_string(::getpid()));
    fs::remove_all(base);
    fs::create_directories(base);
    w->folder = base / "folder";
    w->db = base / "target.db";
    fs::copy(from, w->folder, fs::copy_options::recursive);
    for (const auto& e : fs::recursive_directory_iterator(w->folder))
      if (e.is_regular_file()) w->files[fs::relative(e.path(), w->folder).string()] = Slurp(e.path());
    return w;
  }();
  return *work;
}

// The sample database and its one project, for the two conversions.
struct Sample {
  std::shared_ptr<qmxml::Connection> conn;
  int32_t project_key = 0;
  std::shared_ptr<qmxml::HostProject> project;
  std::shared_ptr<qmxml::KeyMap> keys;
};

Sample& TheSample() {
  static Sample* sample = [] {
    const char* db = std::getenv("QMXML_FUZZ_DB");
    if (!db || !*db) {
      std::fprintf(stderr, "QMXML_FUZZ_DB must name the sample database\n");
      std::abort();
    }
    auto* s = new Sample;
    s->conn = qmxml::OpenProjectDatabase(db);
    auto row = s->conn->Query("SELECT ID, QMGUID FROM qmProjects ORDER BY ID");
    s->project_key = row->Value("ID").ToLong();
    s->project = std::make_shared<qmxml::HostProject>(s->conn, s->project_key,
                                                      row->Value("QMGUID").ToText());
    // GUID-to-key lookups answer from the database, as after an import.
    s->keys = std::make_shared<qmxml::KeyMap>(s->conn.get());
    return s;
  }();
  return *sample;
}

void FuzzQuery(const std::string& text) {
  Sample& s = TheSample();
  qmxml::QueryEngine engine;
  for (int32_t form : {qmxml::kKeyForm, qmxml::kGuidForm}) {
    std::string message;
    std::shared_ptr<qmxml::ParsedQuery> parsed;
    if (engine.Validate2(1, form, s.project.get(), text, message, parsed) == 0 && parsed) {
      (void)parsed->QueryString(qmxml::kKeyForm);
      (void)parsed->QueryString(qmxml::kGuidForm);
    }
  }
}

void FuzzViewProperties(std::string text) {
  Sample& s = TheSample();
  auto converter =
      std::dynamic_pointer_cast<qmxml::ViewPropertyConverter>(qmxml::Mover().Get("ViewMover"));
  for (int16_t direction : {0, 1}) {
    try {
      int32_t project = s.project_key;
      (void)converter->GetConvertedProp(s.conn, project, s.keys, text, direction);
    } catch (const qmxml::Error&) {
      // A key that is no number: the conversion's own refusal.
    }
  }
}

void RemoveDatabase(const fs::path& db) {
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) fs::remove(db.string() + suffix);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Workspace& work = Work();
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t eol = input.find('\n');
  if (eol == std::string::npos) return 0;
  const std::string first = input.substr(0, eol);
  if (first == "#query") {
    FuzzQuery(input.substr(eol + 1));
    return 0;
  }
  if (first == "#view-properties") {
    FuzzViewProperties(input.substr(eol + 1));
    return 0;
  }
  const auto original = work.files.find(first);
  if (original == work.files.end()) return -1;  // keep inputs that name no file out of the corpus
  const fs::path target = work.folder / original->first;
  Put(target, input.substr(eol + 1));
  RemoveDatabase(work.db);
  try {
    qmxml::ImportProject(work.folder.string(), work.db.string(), {});
  } catch (const qmxml::Error&) {
    // Refused: what a reader must do with a document it cannot take.
  }
  Put(target, original->second);
  return 0;
}
