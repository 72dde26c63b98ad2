// IMover: the contract every mover answers. A caller hands each call the
// source container, the transfer context, the rows and its scheduler:
//   WriteData: database rows (one record set, or a Collection of them) to
//              one XML document, saved to the container's file path or
//              handed to the scheduler.
//   ReadData:  an XML document to new rows of the target database.
// Every mover answers Rank 0, Before false and IsOrdered false: the caller
// alone decides the order of a transfer.
//
// oRs is passed by reference: a mover may replace what it holds and the
// caller sees the replacement. Any pointer argument may be null (Nothing).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "qmxml/DataDescriptor.h"
#include "qmxml/Object.h"
#include "qmxml/Scheduler.h"
#include "qmxml/SourceContainer.h"

namespace qmxml {

class IMover : public Object {
 public:
  virtual void ReadData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                        Scheduler* oScheduler) = 0;
  virtual void WriteData(SourceContainer* oSource, DataDescriptor* oData, ObjectPtr& oRs,
                         Scheduler* oScheduler) = 0;
  virtual int32_t Rank() { return 0; }
  virtual bool Before(IMover* /*oMover*/) { return false; }
  virtual bool IsOrdered() { return false; }

  // Identification properties. Classes without them throw Error 438 from
  // each accessor; HasIdentity() tells which.
  virtual bool HasIdentity() const = 0;
  virtual std::string ClassName() const = 0;
  virtual std::string ClassVersion() const = 0;
  virtual std::string ClassDescription() const = 0;
  virtual int32_t ClassID() const = 0;
  virtual std::string ClassFilename() const = 0;
  virtual std::string ClassPath() const = 0;
};

using MoverPtr = std::shared_ptr<IMover>;

}  // namespace qmxml
