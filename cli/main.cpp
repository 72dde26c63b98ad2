// qmxml: the command line. Creates project databases, fills sample
// projects, and exports and imports whole projects. Every failure becomes
// one line on stderr (the error number and what failed, where and why; the
// source procedure too with --verbose) and a non-zero exit:
//   0 done, 1 bad command line, 2 the work failed (nothing changed).
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "qmxml/Application.h"
#include "qmxml/Baseline.h"
#include "qmxml/DatabaseLocator.h"
#include "qmxml/Error.h"
#include "qmxml/KeyFile.h"
#include "qmxml/Output.h"
#include "qmxml/ProjectDatabase.h"
#include "qmxml/Query.h"
#include "qmxml/Reqif.h"
#include "qmxml/Transfer.h"
#include "sample/SampleProject.h"

namespace {

bool verbose = false;
// The schema that holds the tables of a PostgreSQL database (--pg-schema).
std::string pg_schema;

// The database a DB argument names, in the schema --pg-schema names.
qmxml::DatabaseLocator Locate(const std::string& db) { return {db, pg_schema}; }

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
// sets it; without either, the key beside the database ("<DB>.key") when
// there is one, else the user's own key file. Commands that give a database
// its passwords (init, sample) |create| that one when it is missing; the
// others only read, so that a missing key is named where it was needed.
std::string UseKeyFile(const std::string& key_file, const std::string& db, bool create) {
  const std::string path = qmxml::KeyFileFor(key_file, Locate(db), create);
  setenv(qmxml::kCipherKeyVariable, path.c_str(), 1);
  return path;
}

int RunSample(const std::string& db_text, int requirements, uint32_t seed, const std::string& key_file,
              bool quiet) {
  if (requirements < 1)
    throw qmxml::Error(qmxml::eErr_InvalidArgument, "qmxml.sample",
                       "--requirements must be at least 1");
  // A file must be new; a database on a server may have been made ready
  // with init.
  const qmxml::DatabaseLocator db = Locate(db_text);
  const bool existed = db.File().empty() && qmxml::ProjectDatabaseExists(db);
  auto conn = existed ? qmxml::OpenProjectDatabase(db) : qmxml::CreateProjectDatabase(db);
  qmxml::SampleOptions opts;
  opts.requirements = requirements;
  opts.seed = seed;
  opts.progress = Progress(quiet);
  qmxml::SampleSummary summary;
  try {
    opts.key_file = UseKeyFile(key_file, db_text, true);
    summary = qmxml::FillSampleProject(*conn, opts);
  } catch (...) {
    conn.reset();
    if (!existed) qmxml::DropProjectDatabase(db);
    throw;
  }
  std::cout << "sample project " << summary.project_guid << " (key " << summary.project_key
            << ") in " << db.ShownName()
            << ", passwords enciphered with the key in " << summary.key_file << "\n";
  for (const auto& [table, n] : summary.rows)
    if (n > 0) std::cout << "  " << table << ": " << n << " rows\n";
  return 0;
}

int RunExport(const std::string& db, const std::string& dir, const std::string& project,
              bool force, bool strict, bool quiet) {
  qmxml::ExportOptions opts;
  opts.strict = strict;
  opts.project = project;
  opts.force = force;
  opts.progress = Progress(quiet);
  auto s = qmxml::ExportProject(Locate(db), dir, opts);
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
  auto s = qmxml::ImportProject(dir, Locate(db), opts);
  std::cout << "imported " << dir << " into " << Locate(db).ShownName() << " as project key " << s.project_key
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
  auto s = qmxml::WriteBaseline(Locate(db), dir, opts);
  std::cout << "baseline of project " << s.project_name << " " << s.project_guid << " (key "
            << s.project_key << ") in " << dir << "\n";
  for (const auto& [kind, n] : s.files) std::cout << "  " << kind << ": " << n << " file(s)\n";
  std::cout << "  " << s.requirements << " requirement(s)\n";
  for (const auto& [what, n] : s.left_out) std::cout << "  " << n << " " << what << "\n";
  return 0;
}

int RunReport(const std::string& db, const std::string& out, qmxml::ReportOptions opts,
              bool quiet) {
  opts.progress = Progress(quiet);
  std::map<std::string, long> left_out;
  qmxml::WriteReportTo(Locate(db), opts, out, &left_out);
  // The report itself may go to standard output: what was left out goes to
  // standard error.
  for (const auto& [what, n] : left_out) std::cerr << "qmxml: " << n << " " << what << "\n";
  return 0;
}

// ---- qmxml query ----

// Characters as a terminal counts them (UTF-8 continuation bytes do not).
size_t Shown(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

// One line of a table cell: control characters would break the columns
// (code 26 is shown as the "|" it stands for).
std::string OneLine(std::string s) {
  for (char& c : s)
    if (c == '\x1A') c = '|';
    else if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  return s;
}

std::string CsvField(const std::string& s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string out = "\"";
  for (char c : s) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

std::string JsonText(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string FormatListing(const qmxml::QueryListing& l, const std::string& format) {
  std::string out;
  if (format == "csv") {
    for (size_t i = 0; i < l.columns.size(); ++i) out += (i ? "," : "") + CsvField(l.columns[i]);
    out += "\r\n";
    for (const auto& row : l.rows) {
      for (size_t i = 0; i < row.size(); ++i) out += (i ? "," : "") + CsvField(row[i]);
      out += "\r\n";
    }
    return out;
  }
  if (format == "json") {
    out = "[";
    for (size_t r = 0; r < l.rows.size(); ++r) {
      out += r ? ",\n {" : "\n {";
      for (size_t i = 0; i < l.columns.size(); ++i)
        out += (i ? ", " : "") + JsonText(l.columns[i]) + ": " + JsonText(l.rows[r][i]);
      out += "}";
    }
    return out + "\n]\n";
  }
  // A table for people: columns as wide as their widest cell (at most 60).
  constexpr size_t kMax = 60;
  std::vector<size_t> width;
  for (const auto& c : l.columns) width.push_back(std::min(Shown(c), kMax));
  for (const auto& row : l.rows)
    for (size_t i = 0; i < row.size(); ++i)
      width[i] = std::max(width[i], std::min(Shown(OneLine(row[i])), kMax));
  auto line = [&](const std::vector<std::string>& cells) {
    std::string text;
    for (size_t i = 0; i < cells.size(); ++i) {
      std::string cell = OneLine(cells[i]);
      if (Shown(cell) > kMax) {
        // Cut at a character boundary and mark the cut.
        size_t n = 0, at = 0;
        for (; at < cell.size(); ++at) {
          if ((static_cast<unsigned char>(cell[at]) & 0xC0) == 0x80) continue;
          if (n++ == kMax - 1) break;
        }
        cell = cell.substr(0, at) + "…";
      }
      text += (i ? "  " : "") + cell;
      if (i + 1 < cells.size()) text += std::string(width[i] - Shown(cell), ' ');
    }
    return text + "\n";
  };
  out = line(l.columns);
  std::vector<std::string> rule;
  for (size_t w : width) rule.push_back(std::string(w, '-'));
  out += line(rule);
  for (const auto& row : l.rows) out += line(row);
  return out + std::to_string(l.rows.size()) + " requirement(s)\n";
}

// The listing goes where a report's -o goes, under the same rules.
int RunQuery(const std::string& db, const qmxml::QueryOptions& opts, const std::string& format,
             const std::string& out) {
  const qmxml::DatabaseLocator locator = Locate(db);
  qmxml::WriteCommandOutput(locator, out,
                            [&] { return FormatListing(qmxml::ListQuery(locator, opts), format); });
  return 0;
}

// Standard output carries the report and the summary lines: a write that
// failed (a full disk, a closed pipe) fails the command, and so does its
// close.
int FinishOutput(int code) {
  std::cout.flush();
  const bool failed = std::ferror(stdout) != 0 || !std::cout;
  if (std::fclose(stdout) != 0 || failed) {
    std::cerr << "qmxml: error " << qmxml::eErr_OutputFailed
              << ": Cannot write to standard output: " << std::strerror(errno) << ".\n";
    return 2;
  }
  return code;
}

// --wait of the commands that write a database: a day at most, finite, so
// that in milliseconds it stays well inside an int.
void AddWaitOption(CLI::App& command, double& seconds) {
  command.add_option("--wait", seconds, "seconds to wait for another writer of DB (0 to 86400, default 5)")
      ->check(CLI::Validator(
          [](std::string& text) {
            const double s = std::strtod(text.c_str(), nullptr);
            return std::isfinite(s) && s >= 0 && s <= 86400 ? std::string()
                                                            : "must be a number of seconds from 0 to 86400";
          },
          "SECONDS"));
}

// ---- reqif export | import ----

struct ReqifArgs {
  CLI::App* command = nullptr;
  CLI::App* exp = nullptr;
  CLI::App* imp = nullptr;
  std::string db, file;
  qmxml::ReqifExportOptions export_options;
  qmxml::ReqifImportOptions import_options;
  double wait_seconds = 5;
};

void AddReqifCommands(CLI::App& app, ReqifArgs& a) {
  a.command = app.add_subcommand("reqif", "exchange a project with other tools as a ReqIF 1.2 file");
  a.command->require_subcommand(1);
  a.exp = a.command->add_subcommand("export", "write a project of a database to a ReqIF file");
  a.exp->add_option("DB", a.db, "project database (file or postgresql://...)")->required();
  a.exp->add_option("FILE", a.file, "ReqIF file to write (replaced when it exists); a name ending in .reqifz gives a zip archive with the resources")->required();
  a.exp->add_option("--project", a.export_options.project, "key, GUID or name of the project");
  a.exp->add_option("--package", a.export_options.packages,
                    "key, GUID or name of a package to export with its sub-packages (repeatable)");
  a.imp = a.command->add_subcommand("import", "read a ReqIF file into a database as a new project");
  a.imp->add_option("FILE", a.file, "ReqIF file, or .reqifz archive")->required()->check(CLI::ExistingFile);
  a.imp->add_option("DB", a.db, "database (created when missing)")->required();
  a.imp->add_flag("--new-guids", a.import_options.new_guids,
                  "give every element a new GUID (import a copy)");
  a.imp->add_flag("--strict", a.import_options.strict,
                  "fail on anything skipped or left out");
  AddWaitOption(*a.imp, a.wait_seconds);
}

void PrintNotes(const std::map<std::string, qmxml::ReqifNote>& notes) {
  for (const auto& [kind, note] : notes)
    std::cout << "  " << note.count << " " << kind << " (first: " << note.first << ")\n";
}

int RunReqif(ReqifArgs& a, bool quiet) {
  if (*a.exp) {
    a.export_options.progress = Progress(quiet);
    auto s = qmxml::ExportReqif(Locate(a.db), a.file, a.export_options);
    std::cout << "exported project " << s.project_name << " " << s.project_guid << " to "
              << a.file << "\n";
    for (const auto& [kind, n] : s.written) std::cout << "  " << kind << ": " << n << "\n";
    PrintNotes(s.left_out);
    return 0;
  }
  a.import_options.progress = Progress(quiet);
  a.import_options.lock_wait_ms = static_cast<int>(std::lround(a.wait_seconds * 1000));
  auto s = qmxml::ImportReqif(a.file, Locate(a.db), a.import_options);
  std::cout << "imported " << a.file << " into " << Locate(a.db).ShownName() << " as project key " << s.project_key
            << " " << s.project_guid << "\n";
  for (const auto& [table, n] : s.rows_added) std::cout << "  " << table << ": +" << n << " rows\n";
  PrintNotes(s.skipped);
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
  const std::string key_help =
      "key file of the password cipher (default: $QMXML_KEY_FILE, else DB.key beside the "
      "database, else the user's key, $XDG_CONFIG_HOME/qmxml/key or ~/.config/qmxml/key)";
  init->add_option("--key-file", key_file, key_help);
  sample->add_option("--key-file", key_file, key_help);

  std::string export_db, export_dir, project;
  bool new_guids = false, strict = false;
  auto* exp = app.add_subcommand("export", "write a project of a database to a folder");
  // A database file must exist; a server database is checked when opened.
  const CLI::Validator database(
      [](std::string& spec) {
        const qmxml::DatabaseLocator db(spec);
        if (db.File().empty() || CLI::ExistingFile(spec).empty()) return std::string();
        // A mistyped connection string may hold a password: never shown.
        return "File does not exist: " + db.ShownName();
      },
      "DATABASE");
  exp->add_option("DB", export_db, "project database (file or postgresql://...)")
      ->required()
      ->check(database);
  exp->add_option("DIR", export_dir, "folder to write")->required();
  exp->add_option("--project", project, "key, GUID or name of the project");
  bool force = false;
  exp->add_flag("--force", force, "replace DIR when it already holds files");
  exp->add_flag("--strict", strict,
                "fail, writing nothing, when something had to be left out (a query text that "
                "does not convert, a view column, a skipped element)");
  exp->add_option("--key-file", key_file, key_help);

  std::string import_dir, import_db;
  auto* imp = app.add_subcommand("import", "read an exported folder into a database");
  imp->add_option("DIR", import_dir, "exported folder")->required()->check(CLI::ExistingDirectory);
  imp->add_option("DB", import_db, "database (created when missing)")->required();
  imp->add_flag("--new-guids", new_guids, "give every element a new GUID (copy the project)");
  imp->add_flag("--strict", strict,
                "fail on references that resolve to nothing and on values stored or left out by rule");
  double wait_seconds = 5;
  AddWaitOption(*imp, wait_seconds);
  imp->add_option("--key-file", key_file, key_help);

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
  base->add_option("--key-file", key_file, key_help);
  base->add_option("--label", bopts.label, "label of the baseline");
  base->add_option("--description", bopts.description, "description of the baseline");
  base->add_flag("--history", bopts.history, "include requirement revisions");
  base->add_flag("--discussions", bopts.discussions, "include discussions");
  base->add_flag("--traces", bopts.traces, "include traces within the project");
  base->add_flag("--cross-project", bopts.cross_project,
                 "include traces, also into linked projects");
  base->add_flag("--strict", bopts.strict, "fail when a writer had to leave something out");

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
  rep->add_option("--key-file", key_file, key_help);
  rep->add_flag("--docs", ropts.docs, "a package's documents");
  rep->add_flag("--views", ropts.views, "a package's views");
  rep->add_flag("--reqs", ropts.reqs, "the requirements with their values and traces");
  rep->add_flag("--strict", ropts.strict, "fail when a writer had to leave something out");
  rep->add_option("-o", report_out, "file to write (standard output when missing)");

  std::string query_db, query_format = "table", query_out;
  qmxml::QueryOptions qopts;
  auto* qry = app.add_subcommand("query", "list the requirements a query selects");
  qry->add_option("DB", query_db, "project database (file or postgresql://...)")
      ->required()
      ->check(database);
  auto* qsaved = qry->add_option("--saved", qopts.saved, "key, GUID or name of a saved query");
  auto* qtext = qry->add_option("--text", qopts.text, "a query (key form or GUID form)");
  qsaved->excludes(qtext);
  qry->add_option("--project", qopts.project, "key, GUID or name of the project");
  qry->add_option("--format", query_format, "table (default), csv or json")
      ->check(CLI::IsMember({"table", "csv", "json"}));
  qry->add_option("-o", query_out, "file to write (standard output when missing)");

  ReqifArgs reqif;
  AddReqifCommands(app, reqif);

  try {
    app.parse(argc, argv);
    if (*qry && qopts.saved.empty() && qopts.text.empty())
      throw CLI::RequiredError("one of --saved, --text");
    if (*rep && ropts.package.empty() && ropts.document.empty() && ropts.view.empty())
      throw CLI::RequiredError("one of --package, --document, --view");
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 1;  // help and version are not errors
  }
  try {
    if (*init) {
      const std::string key = UseKeyFile(key_file, init_db, true);
      qmxml::CreateProjectDatabase(Locate(init_db));
      std::cout << "created " << Locate(init_db).ShownName()
                << " (passwords are enciphered with the key in " << key << ")\n";
      return FinishOutput(0);
    }
    if (*sample) return FinishOutput(RunSample(sample_db, requirements, seed, key_file, quiet));
    if (*exp) {
      UseKeyFile(key_file, export_db, false);
      return FinishOutput(RunExport(export_db, export_dir, project, force, strict, quiet));
    }
    if (*imp) {
      UseKeyFile(key_file, import_db, false);
      return FinishOutput(
          RunImport(import_dir, import_db, new_guids, strict, wait_seconds, quiet));
    }
    if (*base) {
      UseKeyFile(key_file, baseline_db, false);
      return FinishOutput(RunBaseline(baseline_db, baseline_dir, bopts, quiet));
    }
    if (*rep) {
      UseKeyFile(key_file, report_db, false);
      return FinishOutput(RunReport(report_db, report_out, ropts, quiet));
    }
    if (*qry) {
      return FinishOutput(RunQuery(query_db, qopts, query_format, query_out));
    }
    if (*reqif.command) return FinishOutput(RunReqif(reqif, quiet));
  } catch (const qmxml::Error& e) {
    return Fail(e);
  } catch (const std::exception& e) {
    return Fail(qmxml::Error(qmxml::eErr_Transfer, "qmxml", e.what()));
  }
  return 0;
}
