// The shared baseline writer, driven through the baseline package mover:
// the forward merge of the requirement lists, the text of requirements and
// values, the text cleaner, the switches of the extract kinds, resource
// files and the baseline list.
#include "movers/baseline/BaseCompWriteXML.h"

#include "frame/TransferState.h"
#include "movers/baseline/BaselineTestSupport.h"
#include "frame/Guid.h"

namespace qmxml::testing {
namespace {

namespace bl = movers::baseline;

using BaseCompWriteXMLTest = BaselineFixture;

std::shared_ptr<Recordset> FieldValues(
    const std::vector<std::tuple<int32_t, std::string, std::string>>& values) {
  std::vector<std::vector<Variant>> out;
  for (const auto& [type, tag, guid] : values)
    out.push_back({Variant(type), Variant(tag), Variant(guid), Variant("Label"),
                   Variant("value " + guid), Variant::Null(), Variant::Null()});
  return MakeRecordset({"RequirementTypeID", "LongTagNumber", "UDFGuid", "Label", "FieldValue",
                        "OverflowFieldValue", "NumericValue"},
                       out);
}

// Attribute GUIDs per requirement, "|" between requirements.
std::string ValuesPerRequirement(const pugi::xml_document& doc) {
  std::string out;
  bool first = true;
  for (const auto& req : doc.select_nodes("//Requirements/Req")) {
    if (!first) out += "|";
    first = false;
    out += Texts(req.node(), "FVs/FV/FGUID");
  }
  return out;
}

TEST_F(BaseCompWriteXMLTest, EachRowPairsWithItsRequirementByKey) {
  struct Case {
    const char* what;
    std::vector<std::tuple<int32_t, std::string, std::string>> values;
    const char* expected;
  } cases[] = {
      {"consecutive tags of one type, then a type change with the same tag",
       {{1, "1", "a"}, {1, "1", "b"}, {1, "2", "c"}, {2, "1", "d"}},
       "a b|c|d"},
      {"a requirement without rows gets none of its neighbours'",
       {{1, "1", "a"}, {2, "1", "d"}},
       "a||d"},
      {"no rows at all", {}, "||"},
      // Rows are paired by key, not by position: a caller's set in another
      // order than "Reqs" loses nothing.
      {"rows out of the order of the requirements", {{1, "2", "c"}, {2, "1", "d"}, {1, "1", "a"}},
       "a|c|d"},
      {"a row of no requirement of the extract is left out", {{9, "9", "x"}, {1, "1", "a"}},
       "a||"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    rows = std::make_shared<Collection>();
    Add("Reqs", ReqRows({{1, "1", "{R1}"}, {1, "2", "{R2}"}, {2, "1", "{R3}"}}));
    Add("ReqsFieldValues", FieldValues(c.values));
    Write("BaseCompPackageMover", "out.XML");
    auto& doc = Load("out.XML");
    EXPECT_EQ(ValuesPerRequirement(doc), c.expected);
    EXPECT_EQ(doc.select_nodes("//Req/FVs[not(FV)]").size(), 0u) << "an empty FVs is written";
  }
}

TEST_F(BaseCompWriteXMLTest, TextsComeFromTheOverflowWhenItHoldsAny) {
  auto reqs = ReqRows({{1, "1", "{R1}"}, {1, "2", "{R2}"}});
  // Row 1 has its whole text in the overflow, row 2 none.
  auto released = reqs->ReleaseRows();
  released[0][7] = Variant("the whole long text");
  released[1][7] = Variant("");
  for (auto& r : released) reqs->AppendRow(std::move(r));
  reqs->MoveFirst();
  Add("Reqs", reqs);
  auto values = FieldValues({{1, "1", "a"}, {1, "1", "b"}, {1, "1", "c"}});
  auto vrows = values->ReleaseRows();
  vrows[0][5] = Variant("overflowing value");
  vrows[1][4] = Variant("");  // no text and no number: left out
  vrows[2][6] = Variant(2.5);
  for (auto& r : vrows) values->AppendRow(std::move(r));
  values->MoveFirst();
  Add("ReqsFieldValues", values);
  Write("BaseCompPackageMover", "out.XML");
  auto& doc = Load("out.XML");
  EXPECT_EQ(Texts(doc, "//Req/RText"), "the whole long text text of {R2}");
  EXPECT_EQ(Texts(doc, "//Req/FVs/FV/FGUID"), "a c");
  EXPECT_EQ(Texts(doc, "//Req/FVs/FV/FTxt"), "overflowing value value c");
  EXPECT_EQ(Texts(doc, "//Req/FVs/FV/FNumVal"), "2.5");
}

TEST(BaselineTextCleaner, CharacterTable) {
  struct Case {
    int code;
    const char* becomes;
  } cases[] = {{0, ""},  {1, ""},  {2, ""},  {5, ""},  {7, ""},   {11, ""},  {12, ""},
               {13, ""}, {18, ""}, {19, ""}, {21, ""}, {31, ""},  {26, "|"}, {30, "-"},
               {9, "\t"}, {10, "\n"}, {3, "\x03"}, {65, "A"}};
  for (const Case& c : cases) {
    std::string in = "a";
    in.push_back(static_cast<char>(c.code));
    in += "b";
    EXPECT_EQ(bl::CleanText(in), std::string("a") + c.becomes + "b") << "code " << c.code;
  }
  EXPECT_EQ(bl::CleanText(""), "");
  EXPECT_EQ(bl::CleanText("Grüße – ok"), "Grüße – ok");
}

std::shared_ptr<Recordset> ResourceRows(const std::string& guid) {
  return MakeRecordset({"REQUIREMENTID", "NAME", "TYPE", "VERSIONDATETIME", "Flags", "QMGUID",
                        "RESOURCEOBJ"},
                       {{Variant(101), Variant("pic.png"), Variant("image"), Variant(""),
                         Variant(0), Variant(guid), Variant(std::vector<uint8_t>{1, 2, 3})}});
}

TEST_F(BaseCompWriteXMLTest, ResourcesWhoseGuidCouldLeaveTheFolderAreNotWritten) {
  for (const char* bad : {"../../escape", "{..\\x}", "{BBBBBBBB-0000-0000-0000-00000000000}"}) {
    rows = std::make_shared<Collection>();
    Add("Reqs", ReqRows({{1, "1", "{R1}"}}));
    Add("Resources", ResourceRows(bad));
    TransferState run;
    data.Run = &run;
    Write("BaseCompPackageMover", "out.XML");
    data.Run = nullptr;
    EXPECT_EQ(Load("out.XML").select_nodes("//Resources").size(), 0u) << bad;
    // Left out, but not without a word.
    EXPECT_EQ(run.left_out.size(), 1u) << bad;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.Path().parent_path() / "escape.XML"));
  EXPECT_TRUE(frame::IsGuidShaped("{0123abcd-ABCD-4567-89ef-0123456789AB}"));
  EXPECT_FALSE(frame::IsGuidShaped("0123abcd-ABCD-4567-89ef-0123456789AB"));
  EXPECT_FALSE(frame::IsGuidShaped("{0123abcd-ABCD-4567-89ef_0123456789AB}"));
  EXPECT_FALSE(frame::IsGuidShaped("{0123abcg-ABCD-4567-89ef-0123456789AB}"));
}

}  // namespace
}  // namespace qmxml::testing
