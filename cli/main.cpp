// qmxml: the command line. Creates project databases, fills sample
// projects, and exports and imports whole projects. Every failure becomes
// one line on stderr (number, source, description) and a non-zero exit:
//   0 done, 1 bad command line, 2 the work failed (nothing changed).
#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "qmxml/Application.h"
#include "qmxml/Connection.h"
#include "qmxml/Error.h"
#include "qmxml/ProjectDatabase.h"
#include "qmxml/SampleProject.h"
#include "qmxml/Transfer.h"

namespace {

int Fail(const qmxml::Error& e) {
  std::string text = e.Description();
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  std::cerr << "qmxml: error " << e.Number() << " (" << e.Source() << "): " << text << "\n";
  return 2;
}

// Progress lines on stderr, with the time since the command started.
qmxml::ProgressFn Progress(bool quiet) {
  if (quiet) return nullptr;
  auto start = std::chrono::steady_clock::now();
  return [start](const std::string& what) {
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    char buf[32];
    std::snprintf(buf, sizeof buf, "[%7.2fs] ", s);
    std::cerr << buf << what << "\n";
  };
}

// The password cipher reads its key file from QMXML_KEY_FILE. --key-file
// sets it; without either, the key beside the database ("<DB>.key", where
// `qmxml sample` writes it) is used when there is one.
void UseKeyFile(const std::string& key_file, const std::string& db) {
  if (!key_file.empty()) {
    setenv("QMXML_KEY_FILE", key_file.c_str(), 1);
    return;
  }
  const char* set = std::getenv("QMXML_KEY_FILE");
  if ((set == nullptr || *set == '\0') && std::filesystem::exists(db + ".key"))
    setenv("QMXML_KEY_FILE", (db + ".key").c_str(), 1);
}

int RunSample(const std::string& db, int requirements, uint32_t seed, bool quiet) {
  if (requirements < 1)
    throw qmxml::Error(qmxml::eErr_InvalidArgument, "qmxml.sample",
                       "--requirements must be at least 1");
  auto conn = qmxml::CreateProjectDatabase(db);
  qmxml::SampleOptions opts;
  opts.requirements = requirements;
  opts.seed = seed;
  opts.progress = Progress(quiet);
  qmxml::SampleSummary summary;
  try {
    summary = qmxml::FillSampleProject(*conn, opts);
  } catch (...) {
    conn.reset();
    std::remove(db.c_str());
    throw;
  }
  std::cout << "sample project " << summary.project_guid << " (key " << summary.project_key
            << ") in " << db << ", passwords enciphered with the key in " << db << ".key\n";
  for (const auto& [table, n] : summary.rows)
    if (n > 0) std::cout << "  " << table << ": " << n << " rows\n";
  return 0;
}

int RunExport(const std::string& db, const std::string& dir, const std::string& project,
              bool quiet) {
  qmxml::ExportOptions opts;
  opts.project = project;
  opts.progress = Progress(quiet);
  auto s = qmxml::ExportProject(db, dir, opts);
  std::cout << "exported project " << s.project_name << " " << s.project_guid << " (key "
            << s.project_key << ") to " << dir << "\n";
  for (const auto& [kind, n] : s.files) std::cout << "  " << kind << ": " << n << " file(s)\n";
  for (const auto& [what, n] : s.losses) std::cout << "  " << n << " " << what << "\n";
  return 0;
}

int RunImport(const std::string& dir, const std::string& db, bool new_guids, bool strict,
              bool quiet) {
  qmxml::ImportOptions opts;
  opts.new_guids = new_guids;
  opts.strict = strict;
  opts.progress = Progress(quiet);
  auto s = qmxml::ImportProject(dir, db, opts);
  std::cout << "imported " << dir << " into " << db << " as project key " << s.project_key
            << (new_guids ? " (new GUIDs)" : "") << "\n";
  for (const auto& [table, n] : s.rows_added) std::cout << "  " << table << ": +" << n << " rows\n";
  size_t dangling = 0;
  for (const auto& [word, guids] : s.dangling) {
    for (const auto& g : guids) std::cout << "  unresolved " << word << " " << g << "\n";
    dangling += guids.size();
  }
  std::cout << "  " << dangling << " unresolved reference(s)\n";
  for (const auto& [what, n] : s.losses) std::cout << "  " << n << " " << what << "\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  qmxml::TuneAllocatorForTransfers();
  CLI::App app{"qmxml: moves a requirements project between its database and XML documents"};
  app.set_version_flag("--version", "qmxml " + qmxml::ComponentVersion());
  app.require_subcommand(1);
  bool quiet = false;
  app.add_flag("-q,--quiet", quiet, "no progress lines");

  std::string init_db;
  auto* init = app.add_subcommand("init", "create an empty project database");
  init->add_option("DB", init_db, "database file to create (must not exist)")->required();

  std::string sample_db;
  int requirements = 1000;
  uint32_t seed = 1;
  auto* sample = app.add_subcommand("sample", "create a database holding a sample project");
  sample->add_option("DB", sample_db, "database file to create (must not exist)")->required();
  sample->add_option("--requirements", requirements, "number of requirements")
      ->check(CLI::PositiveNumber);
  sample->add_option("--seed", seed, "seed of the generator");

  std::string export_db, export_dir, project;
  auto* exp = app.add_subcommand("export", "write a project of a database to a folder");
  exp->add_option("DB", export_db, "project database")->required()->check(CLI::ExistingFile);
  exp->add_option("DIR", export_dir, "folder to write")->required();
  exp->add_option("--project", project, "key, GUID or name of the project");
  std::string key_file;
  exp->add_option("--key-file", key_file, "key file of the password cipher (default: $QMXML_KEY_FILE, else DB.key)");

  std::string import_dir, import_db;
  bool new_guids = false, strict = false;
  auto* imp = app.add_subcommand("import", "read an exported folder into a database");
  imp->add_option("DIR", import_dir, "exported folder")->required()->check(CLI::ExistingDirectory);
  imp->add_option("DB", import_db, "database (created when missing)")->required();
  imp->add_flag("--new-guids", new_guids, "give every element a new GUID (copy the project)");
  imp->add_flag("--strict", strict, "fail on references that resolve to nothing");
  imp->add_option("--key-file", key_file, "key file of the password cipher (default: $QMXML_KEY_FILE, else DB.key)");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 1;  // help and version are not errors
  }
  try {
    if (*init) {
      qmxml::CreateProjectDatabase(init_db);
      std::cout << "created " << init_db << "\n";
      return 0;
    }
    if (*sample) return RunSample(sample_db, requirements, seed, quiet);
    if (*exp) {
      UseKeyFile(key_file, export_db);
      return RunExport(export_db, export_dir, project, quiet);
    }
    if (*imp) {
      UseKeyFile(key_file, import_db);
      return RunImport(import_dir, import_db, new_guids, strict, quiet);
    }
  } catch (const qmxml::Error& e) {
    return Fail(e);
  } catch (const std::exception& e) {
    return Fail(qmxml::Error(qmxml::eErr_Transfer, "qmxml", e.what()));
  }
  return 0;
}
