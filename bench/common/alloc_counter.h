// Heap allocation counting for benchmarks.
//
// Linking velvet_bench_common replaces malloc, calloc, realloc and the aligned
// allocators for the whole process (glibc only), so allocations made inside a
// dlopen'ed plug-in or a stand-in host are counted too. C++ operator new goes
// through malloc and is counted with them.
#ifndef VELVET_BENCH_ALLOC_COUNTER_H
#define VELVET_BENCH_ALLOC_COUNTER_H

#include <cstdint>

namespace benchutil {

// Allocations made by any thread since the process started.
std::uint64_t allocation_count();

// Reports the allocations made while it was alive as the counter
// "allocs_per_iter" of the benchmark state it is given, per iteration.
template <class State>
class AllocationScope {
 public:
  explicit AllocationScope(State& state) : state_(state), start_(allocation_count()) {}
  ~AllocationScope() {
    const double made = static_cast<double>(allocation_count() - start_);
    const double iterations = static_cast<double>(state_.iterations());
    state_.counters["allocs_per_iter"] = iterations > 0 ? made / iterations : made;
  }
  AllocationScope(const AllocationScope&) = delete;
  AllocationScope& operator=(const AllocationScope&) = delete;

 private:
  State& state_;
  std::uint64_t start_;
};

}  // namespace benchutil

#endif  // VELVET_BENCH_ALLOC_COUNTER_H
