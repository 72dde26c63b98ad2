// The component frame: factory, identification, ordering answers, context
// check, services and the data-set failure wrapping.
#include "TestSupport.h"
#include "frame/Components.h"
#include "frame/MoverBase.h"
#include "qmxml/Application.h"
#include "qmxml/Error.h"
#include "qmxml/Mover.h"

namespace qmxml::testing {
namespace {

TEST(Factory, EveryPropertyGivesANewInstanceAnsweringTheOrderingQuestions) {
  auto factory = Application().GetMover();
  auto names = Mover::PropertyNames();
  EXPECT_EQ(names.size(), 25u);
  EXPECT_EQ(names.front(), "DocHistoryMover");
  EXPECT_EQ(names.back(), "BaseCompProjHistoryMover");
  for (const auto& n : names) {
    auto a = factory->Get(n);
    auto b = factory->Get(n);
    ASSERT_TRUE(a && b) << n;
    EXPECT_NE(a.get(), b.get()) << n;
    EXPECT_EQ(a->Rank(), 0);
    EXPECT_FALSE(a->Before(b.get()));
    EXPECT_FALSE(a->IsOrdered());
  }
  EXPECT_THROW(factory->Get("PckHistoryMover"), Error);
  EXPECT_NE(Mover::CreateClass("PckHistoryMover"), nullptr);
}

TEST(Factory, IdentificationFollowsTheClassTable) {
  struct Case {
    const char* cls;
    const char* name;
    const char* desc;
    int id;
  } cases[] = {
      {"ProjPropsMover", "QmXMLServices.ProjPropsMover", "ProjPropsMover.", 14},
      {"PermissionsMover", "QmXMLServices.PermissionsMover", ".PermissionsMover", 13},
      {"ViewReqsMover", "QmXMLServices.DocReqsMover", "DocReqsMover.", 19},
      {"PackageMoverForReports", "QmXMLServices.BaseCompPackageMover", "BaseCompPackageMover.", 19},
      {"DocPropertiesMover", "QmXMLServices.DocPropertiesMover", "DocPropertiesMover.", 4},
  };
  for (const auto& c : cases) {
    auto m = Mover::CreateClass(c.cls);
    ASSERT_TRUE(m->HasIdentity()) << c.cls;
    EXPECT_EQ(m->ClassName(), c.name);
    EXPECT_EQ(m->ClassDescription(), c.desc);
    EXPECT_EQ(m->ClassID(), c.id);
    EXPECT_EQ(m->ClassFilename(), "QmXMLServices.dll");
    EXPECT_EQ(m->ClassPath().back(), '/');
    EXPECT_EQ(m->ClassVersion(), ComponentVersion());
  }
  auto history = Mover::CreateClass("ReqHistoryMover");
  EXPECT_FALSE(history->HasIdentity());
  EXPECT_THROW(history->ClassName(), Error);
  Application app;
  EXPECT_EQ(app.ClassName(), "Application");
  EXPECT_EQ(app.ClassID(), 1);
  EXPECT_EQ(WithTrailingSeparator("/"), "/");
  EXPECT_EQ(WithTrailingSeparator("/opt/qm"), "/opt/qm/");
}

TEST(Services, AServiceThatCannotStartRaises23001OnlyWhenAsked) {
  ServiceRegistry::Current().Reset();
  ServiceRegistry::Current().Disable(kProgIdConversion);
  EXPECT_EQ(frame::StartService(kProgIdConversion, false, "x"), nullptr);
  try {
    frame::StartService(kProgIdConversion, true, "QmGeneralServices.Dll");
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), eMsg_ComponentFailedToStart);
    EXPECT_EQ(e.Source(), "modComponents.StartService");
    EXPECT_NE(e.Description().find("QmGeneralServices.Conversion"), std::string::npos);
  }
  EXPECT_EQ(frame::GetConversionService(), nullptr);  // the wrapper absorbs it
  ServiceRegistry::Current().Reset();
}

TEST(Services, MessagesFallBackToTheFixedTextWithoutTheResourceService) {
  ServiceRegistry::Current().Reset();
  ServiceRegistry::Current().Disable(kProgIdResource);
  bool ok = true;
  EXPECT_EQ(frame::ResourceString(eMsg_Project, &ok),
            "Failed to retrieve resource string.  Please locate and register QmResourceServices.dll");
  EXPECT_FALSE(ok);
  Error e = frame::MakeError(eMsg_ExpectedDataDescObject, "X.Y");
  EXPECT_EQ(e.Number(), 23002);  // the number survives
  ServiceRegistry::Current().Reset();
  EXPECT_EQ(frame::ResourceStringV(eMsg_UploadFailed, {"package", "/x/p.xml"}),
            "Import of the package from the file /x/p.xml failed.");
}

// A mover whose body fails, to see the data-set wrapping.
class FailingMover : public frame::MoverBase {
 public:
  FailingMover() : MoverBase("TraceMover") {}
  void WriteData(SourceContainer* s, DataDescriptor* d, ObjectPtr&, Scheduler*) override {
    RunDataSet(d, true, eMsg_Trace, FilePath(s), [&] {
      throw Error(3021, "TraceMover.CreateTraceXML_", "No current record.", "help.hlp", 7);
    });
  }
};

TEST(Frame, DataSetFailuresKeepNumberAndSourceAndComposeTheDescription) {
  ServiceRegistry::Current().Reset();
  FailingMover m;
  SourceContainer src("/tmp/t.xml", nullptr);
  DataDescriptor d;
  ObjectPtr rows;
  try {
    m.WriteData(&src, &d, rows, nullptr);
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), 3021);
    EXPECT_EQ(e.Source(), "TraceMover.CreateTraceXML_");
    EXPECT_EQ(e.HelpFile(), "help.hlp");
    EXPECT_EQ(e.HelpContext(), 7);
    EXPECT_EQ(e.Description(),
              "Export of the traceability to the file /tmp/t.xml failed. No current record.");
  }
}

}  // namespace
}  // namespace qmxml::testing
