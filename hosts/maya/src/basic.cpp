// The host state, data-block access, status texts, MObject and MTypeId, and
// MGlobal's MEL commands.
#include <maya/MDataBlock.h>
#include <maya/MGlobal.h>
#include <maya/MObject.h>
#include <maya/MPlug.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MTypeId.h>

#include <atomic>
#include <iostream>

#include "faults.h"
#include "records.h"

namespace mayahost::detail {

HostState& host() {
  // Never destroyed: plug-in statics may still call in while the process exits.
  static HostState* state = new HostState;
  return *state;
}

const AttrSlot noAttribute{};
const ArrayView noArray{};

Cell& scratchCell() {
  thread_local Cell cell;
  return cell;
}

namespace {

std::atomic<bool> tracingUnload{false};

void logAccess(const BlockView& view, const char* operation, const AttrSlot* attr) {
  const auto* rec = static_cast<const AttrRecord*>(attr->record);
  view.log->entries.push_back(std::string(operation) + " " +
                              (rec != nullptr ? rec->name : std::string("<none>")));
}
}  // namespace

MDataHandle blockValue(BlockView& view, const char* operation, const AttrSlot* attr,
                       MStatus* status) {
  if (view.log != nullptr) logAccess(view, operation, attr);
  if (view.type == nullptr || attr->blockOwner != view.type) {
    if (status != nullptr) *status = MStatus::kInvalidParameter;
    return MDataHandle();
  }
  if (status != nullptr) *status = MStatus::kSuccess;
  return MDataHandle(view.fixed, view.fixed + attr->blockOffset, attr, attr->component);
}

MArrayDataHandle blockArrayValue(BlockView& view, const AttrSlot* attr, MStatus* status) {
  if (view.log != nullptr) logAccess(view, "inputArrayValue", attr);
  if (view.type == nullptr || attr->arrayOwner != view.type) {
    if (status != nullptr) *status = MStatus::kInvalidParameter;
    return MArrayDataHandle();
  }
  if (status != nullptr) *status = MStatus::kSuccess;
  return MArrayDataHandle(view.arrays + attr->arrayIndex, attr);
}

void traceUnload(bool on) {
  tracingUnload.store(on);
}

namespace {
void noteDestroyed(const std::string& event) {
  if (tracingUnload.load(std::memory_order_relaxed) && host().unloadEvents != nullptr) {
    host().unloadEvents->push_back(event);
  }
}
}  // namespace

void noteObjectDestroyed(const MObject& o) {
  if (!tracingUnload.load(std::memory_order_relaxed)) return;
  const AttrRecord* rec = record(o);
  if (rec != nullptr) {
    noteDestroyed("~MObject " + rec->name);
  } else if (o.isNull()) {
    noteDestroyed("~MObject null");
  } else {
    noteDestroyed("~MObject other");
  }
}

void noteTypeIdDestroyed(unsigned id) {
  if (tracingUnload.load(std::memory_order_relaxed))
    noteDestroyed("~MTypeId " + std::to_string(id));
}

}  // namespace mayahost::detail

// ---- MStatus -------------------------------------------------------------------

MString MStatus::errorString() const {
  switch (code_) {
    case kSuccess:
      return "(kSuccess): no error";
    case kFailure:
      return "(kFailure): the host operation failed";
    case kInsufficientMemory:
      return "(kInsufficientMemory): out of memory";
    case kInvalidParameter:
      return "(kInvalidParameter): an argument is not valid here";
    case kLicenseFailure:
      return "(kLicenseFailure): no licence for this operation";
    case kUnknownParameter:
      return "(kUnknownParameter): the plug is not one this node computes";
    case kNotImplemented:
      return "(kNotImplemented): not implemented";
    case kNotFound:
      return "(kNotFound): not found";
    case kEndOfFile:
      return "(kEndOfFile): end of file";
  }
  return "(unknown status)";
}

void MStatus::perror(const char* text) const {
  std::cerr << text << ": " << errorString().asChar() << std::endl;
}

void MStatus::perror(const MString& text) const {
  perror(text.asChar());
}

// ---- MObject, MTypeId, MPlug ---------------------------------------------------

const MObject MObject::kNullObj;

MObject::~MObject() {
  mayahost::detail::noteObjectDestroyed(*this);
}

MTypeId::~MTypeId() {
  mayahost::detail::noteTypeIdDestroyed(id_);
}

// ---- MGlobal -------------------------------------------------------------------

MStatus MGlobal::executeCommand(const MString& command, bool displayEnabled, bool undoEnabled) {
  using namespace mayahost::detail;
  HostState& h = host();
  h.commands.push_back({command.asChar(), displayEnabled, undoEnabled});
  MStatus code;
  if (fault(mayahost::Op::kExecuteCommand, &code)) return code;

  // The one MEL form shading plug-ins send: refresh the render-node creation
  // window, if it exists, for one classification.
  static const std::string head =
      "if( `window -exists createRenderNodeWindow` )  {refreshCreateRenderNodeWindow(\"";
  static const std::string tail = "\");}\n";
  const std::string text = command.asChar();
  if (text.size() >= head.size() + tail.size() && text.compare(0, head.size(), head) == 0 &&
      text.compare(text.size() - tail.size(), tail.size(), tail) == 0) {
    if (h.renderNodeWindowOpen) {
      h.refreshes.push_back(text.substr(head.size(), text.size() - head.size() - tail.size()));
    }
    return MStatus::kSuccess;
  }
  return MStatus::kSuccess;
}
