// The host's side of fault injection (<mayahost/testing.h>): every call a
// test may make fail passes through fault() first.
#ifndef MAYAHOST_SRC_FAULTS_H
#define MAYAHOST_SRC_FAULTS_H

#include <maya/MStatus.h>
#include <mayahost/detail/calls.h>

namespace mayahost::detail {

// Counts a call of `op`; true if it is one of the calls set to fail, with the
// code to return in `code`.
bool fault(Op op, MStatus* code);

}  // namespace mayahost::detail

#endif  // MAYAHOST_SRC_FAULTS_H
