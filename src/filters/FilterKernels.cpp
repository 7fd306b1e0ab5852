// Picks the kernel set by the processor's features. Compiled for the baseline processor only,
// so that this choice itself runs everywhere.
#include "filters/FilterKernels.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "filters/KernelTable.h"

namespace halvik {
namespace {

// -1 until first use.
std::atomic<int> g_active{-1};

bool Runs(TKernelSet Set) {
  switch (Set) {
    case TKernelSet::Scalar: return true;
#if defined(HALVIK_X86_KERNELS)
    case TKernelSet::Sse2: return true;  // part of every x86-64 processor
    case TKernelSet::Avx2: __builtin_cpu_init(); return __builtin_cpu_supports("avx2");
    case TKernelSet::Avx512:
      __builtin_cpu_init();
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
#endif
    default: return false;
  }
}

TKernelSet Fastest() {
  const std::vector<TKernelSet> sets = AvailableKernels();
  return sets.back();
}

TKernelSet FromEnvironment() {
  const char* force = std::getenv("HALVIK_FORCE_SCALAR");
  if (force != nullptr && std::strcmp(force, "1") == 0) return TKernelSet::Scalar;
  if (const char* name = std::getenv("HALVIK_KERNELS"))
    for (TKernelSet s : AvailableKernels())
      if (std::strcmp(name, KernelName(s)) == 0) return s;
  return Fastest();
}

}  // namespace

TKernelSet ActiveKernels() {
  int v = g_active.load(std::memory_order_relaxed);
  if (v < 0) {
    v = static_cast<int>(FromEnvironment());
    g_active.store(v, std::memory_order_relaxed);
  }
  return static_cast<TKernelSet>(v);
}

bool SetActiveKernels(TKernelSet Set) {
  if (!Runs(Set)) return false;
  g_active.store(static_cast<int>(Set), std::memory_order_relaxed);
  return true;
}

std::vector<TKernelSet> AvailableKernels() {
  std::vector<TKernelSet> sets;
  for (TKernelSet s : {TKernelSet::Scalar, TKernelSet::Sse2, TKernelSet::Avx2, TKernelSet::Avx512})
    if (Runs(s)) sets.push_back(s);
  return sets;
}

const char* KernelName(TKernelSet Set) {
  switch (Set) {
    case TKernelSet::Scalar: return "scalar";
    case TKernelSet::Sse2: return "sse2";
    case TKernelSet::Avx2: return "avx2";
    case TKernelSet::Avx512: return "avx512";
  }
  return "unknown";
}

const TKernelTable* ActiveKernelTable() {
  switch (ActiveKernels()) {
#if defined(HALVIK_X86_KERNELS)
    case TKernelSet::Sse2: return &Sse2KernelTable();
    case TKernelSet::Avx2: return &Avx2KernelTable();
    case TKernelSet::Avx512: return &Avx512KernelTable();
#endif
    default: return nullptr;
  }
}

}  // namespace halvik
