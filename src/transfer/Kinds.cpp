// The table of kinds, in transfer order.
#include "transfer/Kinds.h"

namespace qmxml::transfer {

const std::vector<Kind>& Kinds() {
  static const std::vector<Kind> kinds = {
      {"project", ExportProjectProps, ImportProjectProps},
      {"traces", ExportTraces, ImportTraces},
  };
  return kinds;
}

}  // namespace qmxml::transfer
