// The load/unload soak both hosts' tests run: a plug-in's whole life, loaded,
// used and unloaded, a thousand times over, ending with the heap where it
// started. Includes heap_meter.h, which replaces the allocation operators:
// include this in exactly one source of a test program.
#ifndef VELVET_TESTS_COMMON_SOAK_H
#define VELVET_TESTS_COMMON_SOAK_H

#include <gtest/gtest.h>

#include "tests/common/heap_meter.h"

namespace soak {

// The C loader keeps a little bookkeeping from dlopen/dlclose for good
// (about 300 bytes every 150 rounds with glibc 2.36); a leak of anything
// per round would be far more.
constexpr long long kLoaderSlack = 16 * 1024;

// Runs lifetime(round) for rounds 0 to 999, stopping at a fatal failure. The
// first ten settle what the loader and runtime keep for good; after them the
// live C++ objects must come back exactly, when `countObjects` says that
// heapmeter sees all of them, and the heap's bytes within kLoaderSlack.
template <typename Lifetime>
void expectLoadUnloadReturnsTheHeap(Lifetime lifetime, bool countObjects) {
  for (int round = 0; round < 10; ++round) lifetime(round);
  const long long objects = heapmeter::objects();
  const long long bytes = heapmeter::bytes();
  for (int round = 10; round < 1000; ++round) {
    lifetime(round);
    if (::testing::Test::HasFatalFailure()) return;
  }
  if (countObjects) {
    EXPECT_EQ(heapmeter::objects(), objects) << "C++ objects left behind";
  }
  if (bytes >= 0) {
    EXPECT_LE(heapmeter::bytes() - bytes, kLoaderSlack) << "heap bytes left behind";
  }
}

}  // namespace soak

#endif  // VELVET_TESTS_COMMON_SOAK_H
