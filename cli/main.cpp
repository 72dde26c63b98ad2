// qmxml: the command line. Creates project databases, fills sample
// projects, and exports and imports whole projects. Every failure becomes
// one line on stderr (number, source, description) and a non-zero exit.
#include <CLI/CLI.hpp>

#include <iostream>

#include "qmxml/Application.h"
#include "qmxml/Error.h"
#include "qmxml/ProjectDatabase.h"

namespace {

int Fail(const qmxml::Error& e) {
  std::cerr << "qmxml: error " << e.Number() << " (" << e.Source() << "): " << e.Description()
            << "\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"qmxml: moves a requirements project between its database and XML documents"};
  app.set_version_flag("--version", "qmxml " + qmxml::ComponentVersion());
  app.require_subcommand(1);

  std::string init_db;
  auto* init = app.add_subcommand("init", "create an empty project database");
  init->add_option("DB", init_db, "database file to create")->required();

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }
  try {
    if (*init) {
      qmxml::CreateProjectDatabase(init_db);
      std::cout << "created " << init_db << "\n";
    }
  } catch (const qmxml::Error& e) {
    return Fail(e);
  } catch (const std::exception& e) {
    return Fail(qmxml::Error(qmxml::eErr_Transfer, "qmxml", e.what()));
  }
  return 0;
}
