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
