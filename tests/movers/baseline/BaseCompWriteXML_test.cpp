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

TEST_F(BaseCompWriteXMLTest, ListsFollowInTheirOrderAndOnlyWhenTheyHaveItems) {
  Add("Reqs", ReqRows({{1, "1", "{R1}"}, {1, "2", "{R2}"}}));
  Add("ReqsFieldValues", FieldValues({{1, "2", "f"}}));
  Add("ReqsListValues",
      MakeRecordset({"RequirementTypeID", "LongTagNumber", "ListGUID", "Label", "ItemText", "UDFGUID"},
                    {{Variant(1), Variant("2"), Variant("{L}"), Variant("Status"),
                      Variant("Open"), Variant("{U}")}}));
  Add("ReqsHistory",
      MakeRecordset({"RequirementTypeID", "LongTagNumber", "VersionNumber", "VersionLabel",
                     "UserGuid", "FullName", "VersionDateTime", "OverflowVersionReason",
                     "VersionReason", "Flags"},
                    {{Variant(1), Variant("1"), Variant("1.0"), Variant("first"), Variant("{USR}"),
                      Variant("Ann"), Variant("2024-01-01 00:00:00"), Variant("long reason"),
                      Variant("short"), Variant(2)},
                     {Variant(1), Variant("2"), Variant("1.1"), Variant(""), Variant("{USR}"),
                      Variant("Ann"), Variant("2024-01-02 00:00:00"), Variant::Null(),
                      Variant("short"), Variant(0)}}));
  Add("ReqsDisc", MakeRecordset({"RequirementTypeID", "LongTagNumber", "DiscID", "Subject"},
                                {{Variant(1), Variant("2"), Variant(7), Variant("Why?")}}));
  Write("BaseCompPackageMover", "out.XML");
  auto& doc = Load("out.XML");
  auto reqs = doc.select_nodes("//Req");
  ASSERT_EQ(reqs.size(), 2u);
  EXPECT_EQ(ChildNames(reqs[0].node()),
            "GUID Tag LCTag LTNum RPre RText RName Flags RTID History SuspTS");
  EXPECT_EQ(ChildNames(reqs[1].node()),
            "GUID Tag LCTag LTNum RPre RText RName Flags RTID FVs LVs History Discs SuspTS");
  EXPECT_EQ(ChildNames(reqs[0].node().select_node("History/RVer").node()),
            "VNum VLbl VUGUID VUName VDate VResn RTextFlag");
  EXPECT_EQ(Texts(doc, "//Req/History/RVer/VResn"), "long reason short");
  EXPECT_EQ(Texts(doc, "//Req/LVs/LV/LITxt"), "Open");
  EXPECT_EQ(Texts(doc, "//Req/Discs/Disc/DID"), "7");
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

TEST_F(BaseCompWriteXMLTest, NamesLoseCarriageReturnsAndTextsKeepWellFormed) {
  auto reqs = ReqRows({{1, "1", "{R1}"}});
  auto r = reqs->ReleaseRows();
  r[0][9] = Variant(std::string("line one\r\nline two"));
  r[0][8] = Variant(std::string("pipe\x1a" "dash\x1e" "bell\x07"));
  r[0][6] = Variant(std::string("P\x03R"));  // not cleaned, still not carried by XML 1.0
  reqs->AppendRow(std::move(r[0]));
  reqs->MoveFirst();
  Add("Reqs", reqs);
  Write("BaseCompPackageMover", "out.XML");
  auto& doc = Load("out.XML");
  EXPECT_EQ(Texts(doc, "//Req/RName"), "line one\nline two");
  EXPECT_EQ(Texts(doc, "//Req/RText"), "pipe|dash-bell");
  EXPECT_EQ(Texts(doc, "//Req/RPre"), "PR");
  EXPECT_EQ(ReadFile(dir.File("out.XML")).find("&#"), std::string::npos);
}

// Trace rows: one into this project, one into a linked project.
std::shared_ptr<Recordset> TraceRows() {
  return MakeRecordset({"RequirementTypeID", "LongTagNumber", "ToID", "ToGuid", "ReqToPrefix",
                        "ReqToVersionNo", "RequirementText", "RequirementName", "ExtProjectGuid",
                        "ExtProjPrefix", "State"},
                       {{Variant(1), Variant("1"), Variant(55), Variant("{T55}"), Variant("SR55"),
                         Variant("1.2"), Variant("to\x1atext"), Variant("to name"), Variant(""),
                         Variant(""), Variant(1)},
                        {Variant(1), Variant("1"), Variant(9), Variant(""), Variant(""),
                         Variant(""), Variant(""), Variant(""), Variant("{EXT}"),
                         Variant("FS"), Variant(0)}});
}

TEST_F(BaseCompWriteXMLTest, ExtractKindsSwitchWhatRequirementsAndTracesCarry) {
  struct Case {
    int32_t kind;
    bool cross_project;
    const char* req_children;
    const char* trace_items;  // children of each TReq, "|" between items
    const char* trids;
    const char* bmdoc;
  } cases[] = {
      {0x200000, false, "GUID Tag LCTag LTNum RPre RText RName Flags RTID RDInfo TTo SuspTS",
       "TRID TRTag TRVer State|TRID TRTag TRVer", "{T55} ", "{DOC}"},
      {0x400000, true, "GUID Tag LCTag LTNum RPre RText RName Flags RTID RDInfo TTo SuspTS",
       "TRID TRTag TRVer State|TRID TRTag TRVer EPGUID", "{T55} {E9}", "{DOC}"},
      {0x40000, false, "GUID Tag LCTag LTNum RPre RText RName Flags RTID PGUID RDInfo TTo",
       "TRID TRTag TRVer State|TRID TRTag TRVer", "55 9", "3"},
      {0x2000000, true, "GUID Tag LCTag LTNum RPre RText RName Flags RTID PGUID RDInfo TTo",
       "TRID TRTag RText RName TRVer State|TRID TRTag RText RName TRVer EPGUID EPPrefix", "55 9",
       "3"},
      {0x4000000, false, "GUID Tag LCTag LTNum RPre RText RName Flags RTID RDInfo TTo",
       "TRID TRTag RText RName TRVer State|TRID TRTag RText RName TRVer", "55 9", "3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    rows = std::make_shared<Collection>();
    auto reqs = ReqRows({{1, "1", "{R1}"}});
    auto r = reqs->ReleaseRows();
    r[0][14] = Variant("BM1");
    r[0][15] = Variant("{DOC}");
    r[0][16] = Variant(3);
    reqs->AppendRow(std::move(r[0]));
    reqs->MoveFirst();
    Add("Reqs", reqs);
    Add("ReqsTraceTo", TraceRows());
    auto ext = std::make_shared<Collection>();
    ext->Add(Variant(ObjectPtr(MakeRecordset(
                 {"Key", "GUID", "Tag", "Version", "Name", "Text"},
                 {{Variant(8), Variant("{E8}"), Variant("FS8"), Variant("1"), Variant("n8"),
                   Variant("t8")},
                  {Variant(9), Variant("{E9}"), Variant("FS9"), Variant("2"), Variant("n9"),
                   Variant("t9")}}))),
             "{EXT}");
    rows->Add(Variant(ObjectPtr(ext)), "ReqsExtReqsTrace");
    data.ElementType = Variant(c.kind);
    data.CPT = Variant(c.cross_project);
    data.IncludePkgReqsInfo = Variant(true);
    if (c.kind >= 0x2000000) {
      auto src = Source("out.XML");
      ObjectPtr o = rows;
      Mover::CreateClass("PackageMoverForReports")->WriteData(src.get(), &data, o, &scheduler);
      ASSERT_TRUE(scheduler.XMLDoc);
      loaded = std::make_unique<pugi::xml_document>();
      loaded->reset(*scheduler.XMLDoc);
    } else {
      Write("BaseCompPackageMover", "out.XML");
      Load("out.XML");
    }
    pugi::xml_node req = loaded->select_node("//Req").node();
    EXPECT_EQ(ChildNames(req), c.req_children);
    std::string items;
    for (pugi::xml_node t : req.child("TTo").children("TReq"))
      items += (items.empty() ? "" : "|") + ChildNames(t);
    EXPECT_EQ(items, c.trace_items);
    EXPECT_EQ(Texts(req, "TTo/TReq/TRID"), c.trids);
    EXPECT_EQ(Texts(req, "RDInfo/BMDoc"), c.bmdoc);
    if (c.kind >= 0x2000000) {
      EXPECT_EQ(Texts(req, "TTo/TReq/RText"), c.cross_project ? "to|text t9" : "to|text ");
    }
  }
}

std::shared_ptr<Recordset> ResourceRows(const std::string& guid) {
  return MakeRecordset({"REQUIREMENTID", "NAME", "TYPE", "VERSIONDATETIME", "Flags", "QMGUID",
                        "RESOURCEOBJ"},
                       {{Variant(101), Variant("pic.png"), Variant("image"), Variant(""),
                         Variant(0), Variant(guid), Variant(std::vector<uint8_t>{1, 2, 3})}});
}

TEST_F(BaseCompWriteXMLTest, ResourceFilesAreWrittenForBaselinesOnly) {
  const std::string res = "{BBBBBBBB-0000-0000-0000-000000000001}";
  Add("Reqs", ReqRows({{1, "1", "{R1}"}}));
  Add("Resources", ResourceRows(res));
  Write("BaseCompPackageMover", std::string(kPackageGuid) + ".XML");
  auto& doc = Load(std::string(kPackageGuid) + ".XML");
  EXPECT_EQ(Texts(doc, "//Req/Resources/Resource/GUID"), res);
  auto& file = Load("Resources/" + res + ".XML");
  EXPECT_EQ(Texts(file, "/PROJECT/Resource/Name"), "pic.png");
  EXPECT_EQ(Texts(file, "/PROJECT/GUID"), kProjectGuid);

  TempDir other;
  rows = std::make_shared<Collection>();
  Add("Reqs", ReqRows({{1, "1", "{R1}"}}));
  Add("Resources", ResourceRows(res));
  data.ElementType = Variant(int32_t{0x4000000});
  data.IncludePkgReqsInfo = Variant(true);
  auto src = std::make_shared<SourceContainer>((other.Path() / (std::string(kPackageGuid) + ".XML")).string(), db);
  ObjectPtr o = rows;
  Mover::CreateClass("PackageMoverForReports")->WriteData(src.get(), &data, o, &scheduler);
  ASSERT_TRUE(scheduler.XMLDoc);
  EXPECT_EQ(Texts(*scheduler.XMLDoc, "//Req/Resources/Resource/GUID"), res);
  EXPECT_FALSE(std::filesystem::exists(other.Path() / "Resources" / (res + ".XML")));
  EXPECT_FALSE(std::filesystem::exists(other.Path() / (std::string(kPackageGuid) + ".XML")));
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

TEST_F(BaseCompWriteXMLTest, HeaderFormsFollowTheContext) {
  struct Case {
    Variant history, discussion, traces, cpt;
    const char* expected;
  } cases[] = {
      {Variant(), Variant(), Variant(), Variant(), "GUID"},
      {Variant(true), Variant(true), Variant(true), Variant(false),
       "GUID IncludeHistory IncludeDiscs IncludeTraces"},
      {Variant(false), Variant(), Variant(true), Variant(true), "GUID IncludeCPT"},
  };
  for (const Case& c : cases) {
    pugi::xml_document doc;
    pugi::xml_node parent = doc.append_child("PROJECT");
    data.History = c.history;
    data.Discussion = c.discussion;
    data.Traceability = c.traces;
    data.CPT = c.cpt;
    ASSERT_TRUE(bl::WriteHeader(parent, data, bl::LoadRecordsets(nullptr, data), false));
    EXPECT_EQ(ChildNames(parent), c.expected);
    EXPECT_EQ(Texts(parent, "GUID"), kProjectGuid);
  }
  pugi::xml_document doc;
  pugi::xml_node parent = doc.append_child("PROJECT");
  data.ElementType = Variant(int32_t{0x400000});
  data.Label = Variant("R1");
  ASSERT_TRUE(bl::WriteHeader(parent, data, bl::LoadRecordsets(nullptr, data), true));
  EXPECT_EQ(ChildNames(parent), "GUID Label TimeStamp BaselineDesc IncludeCPT BaselineType");
  EXPECT_EQ(Texts(parent, "BaselineType"), "Project");
  const std::string stamp = Texts(parent, "TimeStamp");
  ASSERT_EQ(stamp.size(), 17u) << stamp;
  EXPECT_EQ(stamp[8], '-');
  EXPECT_EQ(stamp.substr(11, 1) + stamp.substr(14, 1), "::");
}

}  // namespace
}  // namespace qmxml::testing
