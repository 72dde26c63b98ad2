// Drives one mover directly: the project-properties mover writes a project
// row built by hand to project.xml, then reads that file into a new project
// database, and the stored row is printed.
//   qmxml_example FOLDER    (FOLDER exists; project.xml and project.db go there)
#include <iostream>
#include <memory>
#include <string>

#include "qmxml/Collection.h"
#include "qmxml/DataDescriptor.h"
#include "qmxml/Error.h"
#include "qmxml/KeyMap.h"
#include "qmxml/Mover.h"
#include "qmxml/ProjectDatabase.h"
#include "qmxml/Recordset.h"
#include "qmxml/Scheduler.h"
#include "qmxml/SourceContainer.h"

using namespace qmxml;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: qmxml_example FOLDER\n";
    return 2;
  }
  const std::string folder = argv[1];
  try {
    // The database side: a new project database (a SQLite file here; a
    // "postgresql://..." connection string names one on a server), with the
    // key map that resolves GUIDs to keys during the transfer.
    auto db = std::make_shared<DatabaseContainer>();
    db->connection = CreateProjectDatabase(folder + "/project.db");
    db->keys = std::make_shared<KeyMap>(db->connection.get());
    // The source container names the mover's XML file.
    SourceContainer source(folder + "/project.xml", db);

    // The rows the mover writes: the project row, with the columns the
    // project-properties query of an export gives.
    auto rows = std::make_shared<Recordset>(
        std::vector<Column>{{"NAME", VarType::String},
                            {"DESCRIPTION", VarType::String},
                            {"PREFIX", VarType::String},
                            {"DOCUMENTWORDFORMAT", VarType::Boolean},
                            {"AUTHORGUID", VarType::String},
                            {"SECURITYENABLED", VarType::Long},
                            {"VERSIONNUMBER", VarType::String},
                            {"VERSIONLABEL", VarType::String},
                            {"VERSIONUSERGUID", VarType::String},
                            {"VERSIONDATETIME", VarType::Date},
                            {"VERSIONREASON", VarType::String},
                            {"RSDS", VarType::String},
                            {"FLAGS", VarType::Long},
                            {"QMGUID", VarType::String}});
    rows->AppendRow({Variant("Pump controller"), Variant("Requirements of the pump"),
                     Variant("PC"), Variant(true), Variant::Null(), Variant(int32_t{0}),
                     Variant("1.0"), Variant("first"), Variant::Null(),
                     Variant(MakeDate(2024, 5, 17, 9, 30, 0)), Variant("initial"),
                     Variant::Null(), Variant(int32_t{0}),
                     Variant("{6F9619FF-8B86-D011-B42D-00C04FC964FF}")});
    rows->MoveFirst();

    // The factory gives a new mover per property read.
    Mover factory;
    MoverPtr mover = factory.Get("ProjPropsMover");
    DataDescriptor data;  // the transfer context: flags, target project, payload
    data.Data = Variant(std::vector<std::string>{"[Settings]"});  // the settings lines
    Scheduler scheduler;

    ObjectPtr written = rows;
    mover->WriteData(&source, &data, written, &scheduler);  // rows -> project.xml

    ObjectPtr read = std::make_shared<Collection>();
    mover->ReadData(&source, &data, read, &scheduler);  // project.xml -> new row

    auto stored = db->connection->Query(
        "SELECT Name, Prefix, QMGUID, VersionDateTime FROM qmProjects WHERE ID = ?",
        {Variant(data.ProjectKey)});
    if (stored->IsEOF()) {
      std::cerr << "no project row was stored\n";
      return 1;
    }
    std::cout << "project " << data.ProjectKey << ": " << stored->Value("Name").ToText()
              << " | " << stored->Value("Prefix").ToText() << " | "
              << stored->Value("QMGUID").ToText() << " | "
              << stored->Value("VersionDateTime").ToText() << "\n";
    return 0;
  } catch (const Error& e) {
    std::cerr << "error " << e.Number() << " (" << e.Source() << "): " << e.Description()
              << "\n";
    return 1;
  }
}
