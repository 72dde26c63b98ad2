// Failures of the extract movers: the error number, source and text a
// caller sees, and that no file is left behind under the extract's name.
#include <functional>

#include "movers/baseline/BaselineTestSupport.h"

namespace qmxml::testing {
namespace {

using ExtractFailuresTest = BaselineFixture;

// A path under a plain file: neither the file nor a folder beside it can be
// created there.
std::string Unwritable(const TempDir& dir) {
  if (!std::filesystem::exists(dir.File("plain"))) WriteFile(dir.File("plain"), "x");
  return dir.File("plain/out.XML");
}

TEST_F(ExtractFailuresTest, SavingFailuresKeepTheirNumberAndNameTheFile) {
  struct Case {
    const char* mover;
    const char* rows_key;  // "" for a single record set
    const char* description_start;
  } cases[] = {
      {"BaseCompPackageMover", "Reqs", "Export of the package to the file "},
      {"DocReqsMover", "DocInfo", "$$Unable to write the Document XML. "},
      {"ViewReqsMover", "ViewInfo", "$$Unable to write the View XML. "},
      {"BaseCompDiscsMover", "Discs", "cannot write the file "},
      {"BaseCompProjHistoryMover", "", "cannot write the file "},
      {"BaseCompPckListMover", "", "cannot write the file "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mover);
    ObjectPtr rows;
    if (*c.rows_key) {
      auto sets = std::make_shared<Collection>();
      sets->Add(Variant(ObjectPtr(MakeRecordset({"DiscID"}, {{Variant(1)}}))), c.rows_key);
      rows = sets;
    } else {
      rows = MakeRecordset({"VersionNumber"}, {{Variant("1")}});
    }
    SourceContainer src(Unwritable(dir), db);
    try {
      Mover::CreateClass(c.mover)->WriteData(&src, &data, rows, &scheduler);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), eErr_FileNotFound);
      EXPECT_EQ(e.Description().rfind(c.description_start, 0), 0u) << e.Description();
      EXPECT_NE(e.Description().find("out.XML"), std::string::npos) << e.Description();
    }
    EXPECT_FALSE(std::filesystem::exists(Unwritable(dir)));
    EXPECT_FALSE(std::filesystem::exists(Unwritable(dir) + ".part"));
  }
}

TEST_F(ExtractFailuresTest, AFailedWriteNamesItsFileOnceAndReplacesOnlyRegularFiles) {
  const std::string target = dir.File("taken.XML");
  const std::string outside = dir.File("outside.txt");
  WriteFile(outside, "mine");
  struct Case {
    const char* planted;
    std::function<void()> plant;
    const char* why;
  } cases[] = {
      {"a folder", [&] { std::filesystem::create_directories(target + "/inner"); },
       "it is a folder"},
      {"a link to a file outside", [&] { std::filesystem::create_symlink(outside, target); },
       "it is a symbolic link"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.planted);
    std::filesystem::remove_all(target);
    c.plant();
    auto sets = std::make_shared<Collection>();
    sets->Add(Variant(ObjectPtr(MakeRecordset({"DiscID"}, {{Variant(1)}}))), "Reqs");
    ObjectPtr rows = sets;
    SourceContainer src(target, db);
    try {
      Mover::CreateClass("BaseCompPackageMover")->WriteData(&src, &data, rows, &scheduler);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), eErr_NotRegularFile);
      const std::string& text = e.Description();
      EXPECT_EQ(text, "Export of the package to the file " + target + " failed: " + c.why +
                          ", which is not replaced.");
    }
    EXPECT_EQ(ReadFile(outside), "mine");
  }
  for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
    EXPECT_EQ(e.path().filename().string().find(".part"), std::string::npos) << e.path();
}

TEST_F(ExtractFailuresTest, ProjectMoverRefusesMoreThanASixteenBitCountOfPackages) {
  auto packages = std::make_shared<Collection>();
  for (int i = 0; i < 32768; ++i) packages->Add(Variant(ObjectPtr(std::make_shared<Collection>())));
  auto src = Source("");
  ObjectPtr o = packages;
  try {
    Mover::CreateClass("BaseCompProjectMover")->WriteData(src.get(), &data, o, &scheduler);
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), 6);
    EXPECT_EQ(e.Source(), "BaseCompProjectMover.WriteAllPackages_");
  }
  EXPECT_FALSE(Exists(std::string(kPackageGuid) + ".XML"));
}

TEST_F(ExtractFailuresTest, ExtractMoversReadNothing) {
  for (const char* mover :
       {"BaseCompPackageMover", "PackageMoverForReports", "BaseCompProjectMover",
        "BaseCompProjHistoryMover", "BaseCompPckListMover", "BaseCompDiscsMover", "DocReqsMover",
        "ViewReqsMover", "ViewReqsMoverForReports"}) {
    const std::string before = Dump();
    ObjectPtr rows = std::make_shared<Collection>();
    auto src = Source("absent.XML");
    EXPECT_NO_THROW(Mover::CreateClass(mover)->ReadData(src.get(), &data, rows, &scheduler))
        << mover;
    EXPECT_EQ(Dump(), before) << mover;
  }
}

}  // namespace
}  // namespace qmxml::testing
