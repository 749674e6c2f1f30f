// Test support for the stand-in Viewport 2.0: making the fragment manager
// refuse a registration, as Maya does with XML it cannot use. Tests only.
#ifndef MAYAHOST_VIEWPORT_TESTING_H
#define MAYAHOST_VIEWPORT_TESTING_H

#include <maya/MExport.h>

namespace mayahost::viewport {

// The n-th fragment or graph registration from now on (1 = the next one) is
// refused; 0 clears it.
OPENMAYARENDER_EXPORT void refuseFragmentRegistration(unsigned n);

}  // namespace mayahost::viewport

#endif  // MAYAHOST_VIEWPORT_TESTING_H
