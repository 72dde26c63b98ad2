// qmxml_bench: measures exporting a whole project to XML and importing it
// back, on generated sample projects of several sizes, against the sqlite3
// command line's own ".dump" and reload of the same database as the
// reference. Reports wall times, requirements per second, peak memory of
// export and import, and how the times grow with the project size.
// When QMXML_BENCH_PG holds a libpq connection string, the same steps also
// run on that PostgreSQL server (each database a fresh schema, dropped at
// the end) against pg_dump and a psql load, printed beside SQLite's.
//
// Usage: qmxml_bench [requirements...]   (default: 10000 100000)
//
// Every measured step that runs qmxml code runs in a forked child of its
// own, so the peak resident size read from wait4() belongs to that step
// alone; the parent only orchestrates and stays small. The program reports
// and never fails on a missed target. Everything is written to a temporary
// folder that is removed at the end.
#include <benchmark/benchmark.h>  // linked for the target; timing is done here

#include <sys/resource.h>
#include <sys/time.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "qmxml/Connection.h"
#include "qmxml/Error.h"
#include "qmxml/ProjectDatabase.h"
#include "sample/SampleProject.h"
#include "qmxml/Transfer.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Measure {
  bool ok = false;
  double seconds = 0;
  double peak_mib = 0;  // 0 when not measured (external command)
  std::string message;  // why it failed
};

// Runs |body| in a forked child and times it there. The child sends back
// its wall time (or the error text) through a pipe; the parent reads the
// child's peak resident size from wait4().
Measure RunInChild(const std::function<void()>& body) {
  Measure m;
  int fds[2];
  if (pipe(fds) != 0) {
    m.message = std::string("pipe: ") + std::strerror(errno);
    return m;
  }
  std::cout.flush();
  std::cerr.flush();
  pid_t pid = fork();
  if (pid < 0) {
    m.message = std::string("fork: ") + std::strerror(errno);
    close(fds[0]);
    close(fds[1]);
    return m;
  }
  if (pid == 0) {
    close(fds[0]);
    std::string reply;
    int code = 0;
    try {
      auto start = Clock::now();
      body();
      reply = "OK " + std::to_string(SecondsSince(start));
    } catch (const qmxml::Error& e) {
      reply = "ERR " + std::to_string(e.Number()) + " " + e.Source() + ": " + e.Description();
      code = 1;
    } catch (const std::exception& e) {
      reply = std::string("ERR ") + e.what();
      code = 1;
    }
    const char* p = reply.data();
    size_t left = reply.size();
    while (left > 0) {
      ssize_t n = write(fds[1], p, left);
      if (n <= 0) break;
      p += n;
      left -= static_cast<size_t>(n);
    }
    close(fds[1]);
    std::cout.flush();
    _exit(code);  // no atexit handlers or static destructors of the parent
  }
  close(fds[1]);
  std::string reply;
  char buf[4096];
  for (;;) {
    ssize_t n = read(fds[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    reply.append(buf, static_cast<size_t>(n));
  }
  close(fds[0]);
  int status = 0;
  struct rusage usage {};
  while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  m.peak_mib = static_cast<double>(usage.ru_maxrss) / 1024.0;  // KiB on Linux
  if (reply.rfind("OK ", 0) == 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
    m.ok = true;
    m.seconds = std::stod(reply.substr(3));
  } else if (!reply.empty()) {
    m.message = reply.substr(reply.rfind("ERR ", 0) == 0 ? 4 : 0);
  } else if (WIFSIGNALED(status)) {
    m.message = "child killed by signal " + std::to_string(WTERMSIG(status));
  } else {
    m.message = "child failed without a message";
  }
  return m;
}

// Runs a shell command and times it from here (the command's own
// process tree is not measured for memory).
Measure RunCommand(const std::string& command) {
  Measure m;
  std::cout.flush();
  auto start = Clock::now();
  int rc = std::system(command.c_str());
  m.seconds = SecondsSince(start);
  m.ok = rc == 0;
  if (!m.ok) m.message = "command failed (" + std::to_string(rc) + "): " + command;
  return m;
}

std::string Quote(const fs::path& p) {
  std::string out = "'";
  for (char c : p.string()) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

// True when the dump runs in one transaction already (sqlite3's .dump
// writes "BEGIN TRANSACTION;" near the top and "COMMIT;" at the end).
bool DumpHasTransaction(const fs::path& dump) {
  std::ifstream in(dump);
  std::string line;
  for (int i = 0; i < 5 && std::getline(in, line); ++i) {
    if (line.rfind("BEGIN TRANSACTION", 0) == 0) return true;
  }
  return false;
}

uintmax_t FolderBytes(const fs::path& dir) {
  uintmax_t total = 0;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (it->is_regular_file(ec)) total += it->file_size(ec);
  }
  return total;
}

// The figures of one backend at one size.
struct Figures {
  bool run = false;
  Measure fill, exp, dump, imp, load;
  uintmax_t xml_bytes = 0, dump_bytes = 0;
};

struct Row {
  int size = 0;
  uintmax_t db_bytes = 0;
  Figures lite;  // SQLite file, against sqlite3 .dump and reload
  Figures pg;    // PostgreSQL schema, against pg_dump and a psql load
};

void Report(const char* what, const Measure& m) {
  if (m.ok) {
    std::printf("  %-8s %9.2f s", what, m.seconds);
    if (m.peak_mib > 0) std::printf("   peak %8.1f MiB", m.peak_mib);
    std::printf("\n");
  } else {
    std::printf("  %-8s FAILED: %s\n", what, m.message.c_str());
  }
  std::fflush(stdout);
}

void RunSqlite(const fs::path& work, Row& row) {
  Figures& f = row.lite;
  f.run = true;
  const fs::path db = work / "sample.db";
  const fs::path xml = work / "xml";
  const fs::path imported = work / "imported.db";
  const fs::path dump = work / "dump.sql";
  const fs::path loaded = work / "loaded.db";

  std::printf("-- SQLite\n");
  f.fill = RunInChild([&] {
    auto conn = qmxml::CreateProjectDatabase(db.string());
    qmxml::SampleOptions opts;
    opts.requirements = row.size;
    qmxml::FillSampleProject(*conn, opts);
  });
  Report("fill", f.fill);
  if (!f.fill.ok) return;
  row.db_bytes = fs::file_size(db);
  // The sample's passwords are enciphered with the key it wrote beside the
  // database; export and import open the project as an administrator.
  setenv("QMXML_KEY_FILE", (db.string() + ".key").c_str(), 1);

  f.exp = RunInChild([&] { qmxml::ExportProject(db.string(), xml.string(), {}); });
  Report("export", f.exp);
  if (f.exp.ok) f.xml_bytes = FolderBytes(xml);

  f.dump = RunCommand("sqlite3 " + Quote(db) + " .dump > " + Quote(dump));
  Report("dump", f.dump);
  if (f.dump.ok) {
    f.dump_bytes = fs::file_size(dump);
    if (!DumpHasTransaction(dump)) {
      // Load it in one transaction like the import, not row by row.
      const fs::path wrapped = work / "dump-tx.sql";
      std::ofstream out(wrapped, std::ios::binary);
      std::ifstream in(dump, std::ios::binary);
      out << "BEGIN TRANSACTION;\n" << in.rdbuf() << "COMMIT;\n";
      out.close();
      fs::rename(wrapped, dump);
    }
  }

  if (f.exp.ok) {
    f.imp = RunInChild([&] { qmxml::ImportProject(xml.string(), imported.string(), {}); });
    Report("import", f.imp);
  } else {
    f.imp.message = "no export to import";
  }

  if (f.dump.ok) {
    f.load = RunCommand("sqlite3 " + Quote(loaded) + " < " + Quote(dump));
    Report("load", f.load);
  } else {
    f.load.message = "no dump to load";
  }
}

// Runs |sql| on the server |server| in a connection of its own.
void ServerScript(const std::string& server, const std::string& sql) {
  qmxml::Connection::Open(server, false)->ExecuteScript(sql);
}

// The same steps on PostgreSQL, each database a fresh schema of |server|:
// the sample is filled into one, analyzed, exported, dumped with pg_dump and imported
// into a second; then the first is renamed aside and the dump loaded with
// psql (it recreates the schema under its own name), in one transaction
// like the import. Every schema is dropped at the end.
void RunPostgres(const fs::path& work, const std::string& server, Row& row) {
  Figures& f = row.pg;
  f.run = true;
  const std::string stem = "qmxml_bench_" + std::to_string(::getpid()) + "_" + std::to_string(row.size);
  const std::string source = stem + "_src", imported = stem + "_imp", aside = stem + "_old";
  const fs::path key = work / "pg.key";
  const fs::path xml = work / "xml-pg";
  const fs::path dump = work / "pg-dump.sql";
  const std::string quoted_server = Quote(server);

  std::printf("-- PostgreSQL\n");
  f.fill = RunInChild([&] {
    auto conn = qmxml::CreateProjectDatabase({server, source});
    qmxml::SampleOptions opts;
    opts.requirements = row.size;
    opts.key_file = key.string();
    qmxml::FillSampleProject(*conn, opts);
  });
  Report("fill", f.fill);
  if (f.fill.ok) {
    // A server plans its joins from table statistics, which a freshly
    // filled schema lacks until autovacuum gets to it; without them the
    // 100k export took several times as long. Gather them first, untimed,
    // as a database in use would have them.
    {
      auto conn = qmxml::Connection::Open({server, source}, false);
      for (const std::string& table : conn->Tables()) conn->ExecuteScript("ANALYZE " + source + "." + table);
    }
    setenv("QMXML_KEY_FILE", key.c_str(), 1);
    f.exp = RunInChild([&] {
      qmxml::ExportProject({server, source}, xml.string(), {});
    });
    Report("export", f.exp);
    if (f.exp.ok) f.xml_bytes = FolderBytes(xml);

    f.dump = RunCommand("pg_dump --no-owner --no-privileges -n " + source + " -f " + Quote(dump) +
                        " -d " + quoted_server);
    Report("pg_dump", f.dump);
    if (f.dump.ok) f.dump_bytes = fs::file_size(dump);

    if (f.exp.ok) {
      f.imp = RunInChild([&] {
        qmxml::ImportProject(xml.string(), {server, imported}, {});
      });
      Report("import", f.imp);
    } else {
      f.imp.message = "no export to import";
    }

    if (f.dump.ok) {
      ServerScript(server, "ALTER SCHEMA " + source + " RENAME TO " + aside);
      f.load = RunCommand("psql -q -X -v ON_ERROR_STOP=1 --single-transaction -f " + Quote(dump) +
                          " -d " + quoted_server + " >/dev/null");
      Report("load", f.load);
    } else {
      f.load.message = "no dump to load";
    }
  }
  ServerScript(server, "DROP SCHEMA IF EXISTS " + source + " CASCADE; DROP SCHEMA IF EXISTS " + aside +
                           " CASCADE; DROP SCHEMA IF EXISTS " + imported + " CASCADE");
}

Row RunSize(const fs::path& root, int size, const std::string& server) {
  Row row;
  row.size = size;
  const fs::path work = root / ("n" + std::to_string(size));
  fs::create_directories(work);

  std::printf("== %d requirements\n", size);
  std::fflush(stdout);
  RunSqlite(work, row);
  if (!server.empty()) {
    try {
      RunPostgres(work, server, row);
    } catch (const std::exception& e) {
      std::printf("  PostgreSQL stopped: %s\n", e.what());
    }
  }

  // Free the space before the next (larger) size.
  std::error_code ec;
  fs::remove_all(work, ec);
  return row;
}

std::string Num(bool ok, double v, const char* fmt) {
  if (!ok) return "-";
  char buf[64];
  std::snprintf(buf, sizeof buf, fmt, v);
  return buf;
}

std::string Mark(bool known, bool met) { return !known ? "n/a" : (met ? "MET" : "MISSED"); }

// One table of |rows| for one backend (|pick| chooses its figures).
void PrintTable(const char* title, const char* dump, const char* load, const std::vector<Row>& rows,
                const Figures& (*pick)(const Row&)) {
  std::printf("\n%s\n%9s %9s %8s %7s %9s %8s %7s %9s %9s %10s %10s %8s %8s\n", title, "reqs", "export s",
              dump, "exp/dmp", "import s", load, "imp/ld", "exp MiB", "imp MiB", "exp req/s", "imp req/s",
              "XML MiB", "dump MiB");
  for (const Row& r : rows) {
    const Figures& f = pick(r);
    if (!f.run) continue;
    bool e = f.exp.ok, d = f.dump.ok, i = f.imp.ok, l = f.load.ok;
    std::printf("%9d %9s %8s %7s %9s %8s %7s %9s %9s %10s %10s %8s %8s\n", r.size,
                Num(e, f.exp.seconds, "%.2f").c_str(), Num(d, f.dump.seconds, "%.2f").c_str(),
                Num(e && d, f.exp.seconds / f.dump.seconds, "%.2f").c_str(), Num(i, f.imp.seconds, "%.2f").c_str(),
                Num(l, f.load.seconds, "%.2f").c_str(), Num(i && l, f.imp.seconds / f.load.seconds, "%.2f").c_str(),
                Num(e, f.exp.peak_mib, "%.1f").c_str(), Num(i, f.imp.peak_mib, "%.1f").c_str(),
                Num(e, r.size / f.exp.seconds, "%.0f").c_str(), Num(i, r.size / f.imp.seconds, "%.0f").c_str(),
                Num(f.xml_bytes > 0, f.xml_bytes / 1048576.0, "%.1f").c_str(),
                Num(f.dump_bytes > 0, f.dump_bytes / 1048576.0, "%.1f").c_str());
  }
}

const Figures& Lite(const Row& r) { return r.lite; }
const Figures& Pg(const Row& r) { return r.pg; }

}  // namespace

int main(int argc, char** argv) {
  qmxml::TuneAllocatorForTransfers();  // as the qmxml command does
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) {
    // Also accept one argument holding several sizes ("10000 100000").
    std::istringstream words(argv[i]);
    std::string w;
    while (words >> w) {
      char* end = nullptr;
      long v = std::strtol(w.c_str(), &end, 10);
      if (*end != '\0' || v < 1) {
        std::fprintf(stderr, "usage: %s [requirements...]  (bad size '%s')\n", argv[0], w.c_str());
        return 2;
      }
      sizes.push_back(static_cast<int>(v));
    }
  }
  if (sizes.empty()) sizes = {10000, 100000};

  if (std::system("sqlite3 -version >/dev/null 2>&1") != 0)
    std::printf("warning: the sqlite3 command line is missing; the reference columns stay empty\n");

  // A PostgreSQL server to run the same steps on, beside SQLite.
  const char* pg_env = std::getenv("QMXML_BENCH_PG");
  const std::string server = pg_env != nullptr ? pg_env : "";
  if (!server.empty() && std::system("pg_dump --version >/dev/null 2>&1") != 0)
    std::printf("warning: pg_dump is missing; the PostgreSQL reference columns stay empty\n");

  char tmpl[] = "/tmp/qmxml-bench-XXXXXX";
  const char* tmp = mkdtemp(tmpl);
  if (tmp == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const fs::path root(tmp);
  std::printf("qmxml export/import benchmark in %s\n", root.c_str());

  std::vector<Row> rows;
  for (int size : sizes) {
    try {
      rows.push_back(RunSize(root, size, server));
    } catch (const std::exception& e) {
      std::printf("  size %d stopped: %s\n", size, e.what());
      Row r;
      r.size = size;
      rows.push_back(r);
    }
  }
  std::error_code ec;
  fs::remove_all(root, ec);

  PrintTable("SQLite (reference: sqlite3 .dump and its reload)", "dump s", "load s", rows, Lite);
  if (!server.empty()) {
    PrintTable("PostgreSQL (reference: pg_dump and a psql load)", "pg_dump", "psql s", rows, Pg);
    std::printf("\n%9s %12s %12s\n", "reqs", "export PG/SQ", "import PG/SQ");
    for (const Row& r : rows) {
      bool e = r.lite.exp.ok && r.pg.exp.ok, i = r.lite.imp.ok && r.pg.imp.ok;
      std::printf("%9d %12s %12s\n", r.size, Num(e, r.pg.exp.seconds / r.lite.exp.seconds, "%.2f").c_str(),
                  Num(i, r.pg.imp.seconds / r.lite.imp.seconds, "%.2f").c_str());
    }
  }
  for (const Row& r : rows)
    if (r.db_bytes > 0) std::printf("SQLite database of %d requirements: %.1f MiB\n", r.size, r.db_bytes / 1048576.0);

  // Growth between the smallest and the largest size: linear work grows
  // with the size ratio.
  bool growth_known = false, growth_met = false;
  if (rows.size() >= 2) {
    const Row& a = rows.front();
    const Row& b = rows.back();
    double size_ratio = static_cast<double>(b.size) / a.size;
    std::printf("\ngrowth %d -> %d (size x%.1f): ", a.size, b.size, size_ratio);
    auto ratio = [&](const char* name, const Measure& x, const Measure& y) {
      bool ok = x.ok && y.ok && x.seconds > 0;
      std::printf("%s x%s  ", name, Num(ok, y.seconds / x.seconds, "%.2f").c_str());
      return ok ? y.seconds / x.seconds : -1.0;
    };
    double ge = ratio("export", a.lite.exp, b.lite.exp);
    ratio("dump", a.lite.dump, b.lite.dump);
    double gi = ratio("import", a.lite.imp, b.lite.imp);
    ratio("load", a.lite.load, b.lite.load);
    std::printf("\n");
    // "Roughly linear": no more than half again the size ratio.
    growth_known = ge > 0 && gi > 0;
    growth_met = growth_known && ge <= 1.5 * size_ratio && gi <= 1.5 * size_ratio;
  }

  std::printf("\ntargets (SQLite):\n");
  for (const Row& r : rows) {
    const Figures& f = r.lite;
    bool e = f.exp.ok && f.dump.ok, i = f.imp.ok && f.load.ok;
    std::printf("  %6d: export <= 3x dump: %-6s  import <= 2x load: %-6s  peak < 1024 MiB: %s\n", r.size,
                Mark(e, e && f.exp.seconds <= 3 * f.dump.seconds).c_str(),
                Mark(i, i && f.imp.seconds <= 2 * f.load.seconds).c_str(),
                Mark(f.exp.ok && f.imp.ok, f.exp.peak_mib < 1024 && f.imp.peak_mib < 1024).c_str());
  }
  std::printf("  growth roughly linear (time ratio <= 1.5x size ratio): %s\n",
              Mark(growth_known, growth_met).c_str());
  return 0;
}
