// The package catalogue: root identity from the transfer context, rows
// walked from the current one, and each package's file path next to the
// catalogue on reading.
#include "movers/lists/CatalogTestSupport.h"

namespace qmxml::testing {
namespace {

const std::vector<std::string> kPackageKeys = {"ID", "FilePath"};

using PckListMoverTest = CatalogFixture;

TEST_F(PckListMoverTest, WritesThePackagesFromTheCurrentRowUnderTheElementGuid) {
  conn->ExecuteScript(
      "INSERT INTO QmPackages (ID, PROJECTID, NAME, QMGUID) VALUES"
      " (1, 1, 'Skipped', '{K0}'), (2, 1, 'Root', '{K1}'), (3, 1, 'Child', '{K2}');");
  auto packages = conn->Query("SELECT ID, QMGUID FROM QmPackages ORDER BY ID");
  packages->MoveNext();
  data.ElementGUID = "{P1}";
  Write("PckListMover", "packages.xml", packages);
  EXPECT_EQ(Text("packages.xml"),
            "<?xml version=\"1.0\" standalone=\"yes\"?>\n"
            "<PROJECT ID=\"{P1}\" XMLVersion=\"2\">\n"
            "\t<Packages>\n"
            "\t\t<Package ID=\"{K1}\" />\n"
            "\t\t<Package ID=\"{K2}\" />\n"
            "\t</Packages>\n"
            "</PROJECT>\n");
  EXPECT_TRUE(packages->IsEOF());

  ObjectPtr rows;
  Read("PckListMover", "packages.xml", rows);
  auto entries = std::dynamic_pointer_cast<Collection>(rows);
  ASSERT_EQ(entries->Count(), 2u);
  EXPECT_EQ(EntryAt(*entries, 1, kPackageKeys),
            (EntryText{{"ID", "{K1}"}, {"FilePath", dir.File("{K1}.xml")}}));
  EXPECT_EQ(EntryAt(*entries, 2, kPackageKeys),
            (EntryText{{"ID", "{K2}"}, {"FilePath", dir.File("{K2}.xml")}}));
}

TEST_F(PckListMoverTest, NoPackageRowsGiveNoFile) {
  data.ElementGUID = "{P1}";
  Write("PckListMover", "packages.xml", MakeRecordset({"QMGUID"}, {}));
  EXPECT_FALSE(Exists("packages.xml"));
}

TEST_F(PckListMoverTest, PackageFilesTakeTheCatalogueFolderAndExtension) {
  const char* kCatalogue =
      "<?xml version=\"1.0\"?><PROJECT ID=\"{P1}\" XMLVersion=\"2\"><Packages>"
      "<Package ID=\"{G}\"/></Packages></PROJECT>";
  struct Case {
    const char* file;      // catalogue, relative to the test folder
    const char* expected;  // FilePath of {G}, relative to the test folder
  } cases[] = {
      {"list.xml", "{G}.xml"},
      {"sub/list.catalogue.pkg", "sub/{G}.pkg"},
      {"sub/noext", "sub/{G}"},
  };
  std::filesystem::create_directory(dir.File("sub"));
  for (const auto& c : cases) {
    WriteFile(dir.File(c.file), kCatalogue);
    ObjectPtr rows;
    Read("PckListMover", c.file, rows);
    auto entries = std::dynamic_pointer_cast<Collection>(rows);
    ASSERT_EQ(entries->Count(), 1u) << c.file;
    EXPECT_EQ(entries->Item(1).As<Collection>()->Item("FilePath").ToText(),
              dir.File(c.expected))
        << c.file;
  }
}

TEST_F(PckListMoverTest, CatalogueNamedWithoutAFolderNamesPackagesBesideIt) {
  WriteFile(dir.File("list.xml"),
            "<?xml version=\"1.0\"?><PROJECT><Packages><Package "
            "ID=\"{G}\"/></Packages></PROJECT>");
  struct InFolder {
    explicit InFolder(const std::filesystem::path& p)
        : back(std::filesystem::current_path()) {
      std::filesystem::current_path(p);
    }
    ~InFolder() { std::filesystem::current_path(back); }
    std::filesystem::path back;
  };
  ObjectPtr rows;
  {
    InFolder here(dir.Path());
    SourceContainer src("list.xml", db);
    Mover::CreateClass("PckListMover")->ReadData(&src, &data, rows, &scheduler);
  }
  auto entries = std::dynamic_pointer_cast<Collection>(rows);
  ASSERT_EQ(entries->Count(), 1u);
  EXPECT_EQ(entries->Item(1).As<Collection>()->Item("FilePath").ToText(), "{G}.xml");
}

TEST_F(PckListMoverTest, PackageWithoutIdFailsWithThePackageListMessage) {
  WriteFile(dir.File("list.xml"),
            "<?xml version=\"1.0\"?><PROJECT><Packages><Package "
            "GUID=\"{G}\"/></Packages></PROJECT>");
  ObjectPtr rows;
  try {
    Read("PckListMover", "list.xml", rows);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), 91);
    EXPECT_EQ(e.Description().rfind("Import of the package list from the file", 0), 0u)
        << e.Description();
  }
  EXPECT_FALSE(rows);
}

}  // namespace
}  // namespace qmxml::testing
