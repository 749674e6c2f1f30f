// Test support for the stand-in host: the MEL command log and the
// render-node creation window it refreshes, and making chosen host calls
// fail. Maya has neither; tests use them to see what a plug-in asked of the
// host and how it copes when the host refuses.
//
// Tests and fuzz targets only. Plug-ins, tools and benchmarks never include
// it: nothing they do may depend on a log or an armed fault.
//
// Threads: the command log, as the commands themselves, on one thread at a
// time; failCall, clearFaults and callCount from any thread.
#ifndef MAYAHOST_TESTING_H
#define MAYAHOST_TESTING_H

#include <maya/MExport.h>
#include <maya/MStatus.h>
#include <mayahost/detail/calls.h>  // Op, CommandRecord

#include <string>
#include <vector>

namespace mayahost {

// ---- MEL commands ------------------------------------------------------------

// Every MGlobal::executeCommand, one CommandRecord each, in order, since the
// last clearCommandLog() (which also forgets the window refreshes below).
OPENMAYA_EXPORT const std::vector<CommandRecord>& commandLog();
OPENMAYA_EXPORT void clearCommandLog();
// The render-node creation window (closed at start). While it is open, the
// refresh command "if( `window -exists createRenderNodeWindow` )
// {refreshCreateRenderNodeWindow("<classification>");}" refreshes it.
OPENMAYA_EXPORT void setCreateRenderNodeWindowOpen(bool open);
// Classifications the window was refreshed for, in order.
OPENMAYA_EXPORT const std::vector<std::string>& renderNodeWindowRefreshes();

// ---- Making host calls fail ------------------------------------------------

// The calls are named by Op (<mayahost/detail/calls.h>). The n-th call
// (1 = the next one) of `op` from now on returns `code`; a failing create
// returns a null MObject. Counting starts at the last clearFaults().
OPENMAYA_EXPORT void failCall(Op op, unsigned n, MStatus::MStatusCode code = MStatus::kFailure);
OPENMAYA_EXPORT void clearFaults();
// Calls of `op` since the last clearFaults().
OPENMAYA_EXPORT unsigned callCount(Op op);

}  // namespace mayahost

#endif  // MAYAHOST_TESTING_H
