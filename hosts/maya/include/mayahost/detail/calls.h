// The host calls the stand-in counts and can make fail, and the record of one
// MEL command it ran: the vocabulary its own sources keep their books in, and
// that its test support (<mayahost/testing.h>) shows. Declares no function:
// nothing here lets a caller arm a fault or read a log.
#ifndef MAYAHOST_DETAIL_CALLS_H
#define MAYAHOST_DETAIL_CALLS_H

#include <string>

namespace mayahost {

enum class Op {
  kAttributeCall,  // every call on MFnNumericAttribute, MFnLightDataAttribute and
                   // MFnAttribute: creates and setters alike
  kAddAttribute,
  kAttributeAffects,
  kRegisterNode,
  kDeregisterNode,
  kExecuteCommand,
  kArrayNext,  // MArrayDataHandle::next
  kSetMPSafe,  // MPxNode::setMPSafe
};

struct CommandRecord {
  std::string command;
  bool displayEnabled;
  bool undoEnabled;
};

}  // namespace mayahost

#endif  // MAYAHOST_DETAIL_CALLS_H
