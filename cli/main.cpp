// qmxml: the command line. Creates project databases, fills sample
// projects, and exports and imports whole projects. Every failure becomes
// one line on stderr (the error number and what failed, where and why; the
// source procedure too with --verbose) and a non-zero exit:
//   0 done, 1 bad command line, 2 the work failed (nothing changed).
#include <CLI/CLI.hpp>

#include <cctype>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "qmxml/Application.h"
#include "qmxml/Baseline.h"
#include "qmxml/Connection.h"
#include "qmxml/Error.h"
#include "qmxml/ProjectDatabase.h"
#include "sample/SampleProject.h"
#include "qmxml/Transfer.h"

namespace {

bool verbose = false;
// The schema that holds the tables of a PostgreSQL database (--pg-schema).
std::string pg_schema;

int Fail(const qmxml::Error& e) {
  std::string text = e.Description();
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  if (!text.empty()) text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  std::cerr << "qmxml: error " << e.Number();
  if (verbose && !e.Source().empty()) std::cerr << " (" << e.Source() << ")";
  std::cerr << ": " << text;
  if (verbose && !e.Detail().empty()) std::cerr << " [" << e.Detail() << "]";
  std::cerr << "\n";
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

int RunSample(const std::string& db, int requirements, uint32_t seed, const std::string& key_file,
              bool quiet) {
  if (requirements < 1)
    throw qmxml::Error(qmxml::eErr_InvalidArgument, "qmxml.sample",
                       "--requirements must be at least 1");
  // A file must be new; a server database may have been made ready with init.
  const bool server = qmxml::Connection::IsServerDatabase(db);
  const bool existed = server && qmxml::ProjectDatabaseExists(db, pg_schema);
  auto conn = existed ? qmxml::OpenProjectDatabase(db, pg_schema)
                      : qmxml::CreateProjectDatabase(db, pg_schema);
  qmxml::SampleOptions opts;
  opts.requirements = requirements;
  opts.seed = seed;
  opts.progress = Progress(quiet);
  const char* env_key = std::getenv("QMXML_KEY_FILE");
  opts.key_file = !key_file.empty() ? key_file : env_key != nullptr ? env_key : "";
  qmxml::SampleSummary summary;
  try {
    summary = qmxml::FillSampleProject(*conn, opts);
  } catch (...) {
    conn.reset();
    if (!existed) qmxml::DropProjectDatabase(db, pg_schema);
    throw;
  }
  std::cout << "sample project " << summary.project_guid << " (key " << summary.project_key
            << ") in " << qmxml::Connection::HidePassword(db) << ", passwords enciphered with the key in " << db << ".key\n";
  for (const auto& [table, n] : summary.rows)
    if (n > 0) std::cout << "  " << table << ": " << n << " rows\n";
  return 0;
}

int RunExport(const std::string& db, const std::string& dir, const std::string& project,
              bool force, bool quiet) {
  qmxml::ExportOptions opts;
  opts.project = project;
  opts.force = force;
  opts.pg_schema = pg_schema;
  opts.progress = Progress(quiet);
  auto s = qmxml::ExportProject(db, dir, opts);
  std::cout << "exported project " << s.project_name << " " << s.project_guid << " (key "
            << s.project_key << ") to " << dir << "\n";
  for (const auto& [kind, n] : s.files) std::cout << "  " << kind << ": " << n << " file(s)\n";
  if (s.documents_with_control_characters > 0)
    std::cout << "  note: " << s.documents_with_control_characters
              << " document(s) hold control characters that XML 1.0 cannot carry; they are "
                 "written as character references, which XML 1.1 parsers read\n";
  if (s.texts_cut_at_nul > 0)
    std::cout << "  warning: " << s.texts_cut_at_nul
              << " text(s) hold a NUL character; each is cut short there in the export\n";
  for (const auto& [what, n] : s.losses) std::cout << "  " << n << " " << what << "\n";
  return 0;
}

int RunImport(const std::string& dir, const std::string& db, bool new_guids, bool strict,
              double wait_seconds, bool quiet) {
  qmxml::ImportOptions opts;
  opts.new_guids = new_guids;
  opts.strict = strict;
  opts.lock_wait_ms = static_cast<int>(std::lround(wait_seconds * 1000));
  opts.progress = Progress(quiet);
  opts.pg_schema = pg_schema;
  auto s = qmxml::ImportProject(dir, db, opts);
  std::cout << "imported " << dir << " into " << qmxml::Connection::HidePassword(db) << " as project key " << s.project_key
            << (new_guids ? " (new GUIDs)" : "") << "\n";
  for (const auto& [table, n] : s.rows_added) std::cout << "  " << table << ": +" << n << " rows\n";
  size_t dangling = 0;
  for (const auto& [word, guids] : s.dangling) {
    for (const auto& g : guids) std::cout << "  unresolved " << word << " " << g << "\n";
    dangling += guids.size();
  }
  std::cout << "  " << dangling << " unresolved reference(s)\n";
  for (const auto& [kind, n] : s.read_notes) std::cout << "  " << n << " " << kind << "\n";
  for (const auto& [what, n] : s.losses) std::cout << "  " << n << " " << what << "\n";
  return 0;
}

int RunBaseline(const std::string& db, const std::string& dir, qmxml::BaselineOptions opts,
                bool quiet) {
  opts.progress = Progress(quiet);
  opts.pg_schema = pg_schema;
  auto s = qmxml::WriteBaseline(db, dir, opts);
  std::cout << "baseline of project " << s.project_name << " " << s.project_guid << " (key "
            << s.project_key << ") in " << dir << "\n";
  for (const auto& [kind, n] : s.files) std::cout << "  " << kind << ": " << n << " file(s)\n";
  std::cout << "  " << s.requirements << " requirement(s)\n";
  return 0;
}

int RunReport(const std::string& db, const std::string& out, qmxml::ReportOptions opts,
              bool quiet) {
  opts.progress = Progress(quiet);
  opts.pg_schema = pg_schema;
  const std::string text = qmxml::WriteReport(db, opts);
  if (out.empty() || out == "-") {
    std::cout << text;
    return 0;
  }
  // Written whole under a temporary name, then renamed.
  const std::string part = out + ".part";
  {
    std::ofstream f(part, std::ios::binary);
    f << text;
    if (!f.flush())
      throw qmxml::Error(qmxml::eErr_FileNotFound, "qmxml.report", "cannot write the file " + out);
  }
  if (std::rename(part.c_str(), out.c_str()) != 0) {
    std::remove(part.c_str());
    throw qmxml::Error(qmxml::eErr_FileNotFound, "qmxml.report", "cannot write the file " + out);
  }
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
  app.add_flag("-v,--verbose", verbose, "name the failing procedure in error lines");
  app.add_option("--pg-schema", pg_schema,
                 "PostgreSQL schema that holds the tables (default: the server's search path)");

  std::string init_db;
  auto* init = app.add_subcommand("init", "create an empty project database");
  init->add_option("DB", init_db, "database file to create (must not exist), or postgresql://...")
      ->required();

  std::string sample_db;
  int requirements = 1000;
  uint32_t seed = 1;
  auto* sample = app.add_subcommand("sample", "create a database holding a sample project");
  sample->add_option("DB", sample_db,
                     "database file to create (must not exist), or postgresql://...")
      ->required();
  sample->add_option("--requirements", requirements, "number of requirements")
      ->check(CLI::PositiveNumber);
  sample->add_option("--seed", seed, "seed of the generator");
  std::string key_file;
  sample->add_option("--key-file", key_file,
                     "key file for the sample's passwords (default: $QMXML_KEY_FILE, else DB.key)");

  std::string export_db, export_dir, project;
  auto* exp = app.add_subcommand("export", "write a project of a database to a folder");
  // A database file must exist; a server database is checked when opened.
  const CLI::Validator database(
      [](std::string& spec) {
        if (qmxml::Connection::IsServerDatabase(spec) || CLI::ExistingFile(spec).empty())
          return std::string();
        // A mistyped connection string may hold a password: never shown.
        return "File does not exist: " + qmxml::Connection::HidePassword(spec);
      },
      "DATABASE");
  exp->add_option("DB", export_db, "project database (file or postgresql://...)")
      ->required()
      ->check(database);
  exp->add_option("DIR", export_dir, "folder to write")->required();
  exp->add_option("--project", project, "key, GUID or name of the project");
  bool force = false;
  exp->add_flag("--force", force, "replace DIR when it already holds files");
  exp->add_option("--key-file", key_file, "key file of the password cipher (default: $QMXML_KEY_FILE, else DB.key)");

  std::string import_dir, import_db;
  bool new_guids = false, strict = false;
  auto* imp = app.add_subcommand("import", "read an exported folder into a database");
  imp->add_option("DIR", import_dir, "exported folder")->required()->check(CLI::ExistingDirectory);
  imp->add_option("DB", import_db, "database (created when missing)")->required();
  imp->add_flag("--new-guids", new_guids, "give every element a new GUID (copy the project)");
  imp->add_flag("--strict", strict,
                "fail on references that resolve to nothing and on values stored or left out by rule");
  double wait_seconds = 5;
  // A day at most: finite, and in milliseconds well inside an int.
  imp->add_option("--wait", wait_seconds, "seconds to wait for another writer of DB (0 to 86400, default 5)")
      ->check(CLI::Validator(
          [](std::string& text) {
            const double s = std::strtod(text.c_str(), nullptr);
            return std::isfinite(s) && s >= 0 && s <= 86400 ? std::string()
                                                            : "must be a number of seconds from 0 to 86400";
          },
          "SECONDS"));
  imp->add_option("--key-file", key_file, "key file of the password cipher (default: $QMXML_KEY_FILE, else DB.key)");

  std::string baseline_db, baseline_dir;
  qmxml::BaselineOptions bopts;
  auto* base = app.add_subcommand("baseline", "write a baseline of a project into a folder");
  base->add_option("DB", baseline_db, "project database (file or postgresql://...)")
      ->required()
      ->check(database);
  base->add_option("DIR", baseline_dir, "folder to write (BaselineList.XML is updated)")
      ->required();
  base->add_option("--project", bopts.project, "key, GUID or name of the project");
  base->add_option("--package", bopts.packages, "key, GUID or name of a package (repeatable)");
  base->add_option("--document", bopts.documents, "key, GUID or name of a document (repeatable)");
  base->add_option("--view", bopts.views, "key, GUID or name of a view (repeatable)");
  base->add_option("--label", bopts.label, "label of the baseline");
  base->add_option("--description", bopts.description, "description of the baseline");
  base->add_flag("--history", bopts.history, "include requirement revisions");
  base->add_flag("--discussions", bopts.discussions, "include discussions");
  base->add_flag("--traces", bopts.traces, "include traces within the project");
  base->add_flag("--cross-project", bopts.cross_project,
                 "include traces, also into linked projects");

  std::string report_db, report_out;
  qmxml::ReportOptions ropts;
  auto* rep = app.add_subcommand("report", "write the report extract of one package, document or view");
  rep->add_option("DB", report_db, "project database (file or postgresql://...)")
      ->required()
      ->check(database);
  rep->add_option("--project", ropts.project, "key, GUID or name of the project");
  auto* rpkg = rep->add_option("--package", ropts.package, "key, GUID or name of a package");
  auto* rdoc = rep->add_option("--document", ropts.document, "key, GUID or name of a document");
  auto* rview = rep->add_option("--view", ropts.view, "key, GUID or name of a view");
  rpkg->excludes(rdoc)->excludes(rview);
  rdoc->excludes(rview);
  rep->add_flag("--docs", ropts.docs, "a package's documents");
  rep->add_flag("--views", ropts.views, "a package's views");
  rep->add_flag("--reqs", ropts.reqs, "the requirements with their values and traces");
  rep->add_option("-o", report_out, "file to write (standard output when missing)");

  try {
    app.parse(argc, argv);
    if (*rep && ropts.package.empty() && ropts.document.empty() && ropts.view.empty())
      throw CLI::RequiredError("one of --package, --document, --view");
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 1;  // help and version are not errors
  }
  try {
    if (*init) {
      qmxml::CreateProjectDatabase(init_db, pg_schema);
      std::cout << "created " << qmxml::Connection::HidePassword(init_db) << "\n";
      return 0;
    }
    if (*sample) return RunSample(sample_db, requirements, seed, key_file, quiet);
    if (*exp) {
      UseKeyFile(key_file, export_db);
      return RunExport(export_db, export_dir, project, force, quiet);
    }
    if (*imp) {
      UseKeyFile(key_file, import_db);
      return RunImport(import_dir, import_db, new_guids, strict, wait_seconds, quiet);
    }
    if (*base) return RunBaseline(baseline_db, baseline_dir, bopts, quiet);
    if (*rep) return RunReport(report_db, report_out, ropts, quiet);
  } catch (const qmxml::Error& e) {
    return Fail(e);
  } catch (const std::exception& e) {
    return Fail(qmxml::Error(qmxml::eErr_Transfer, "qmxml", e.what()));
  }
  return 0;
}
