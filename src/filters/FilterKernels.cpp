#include "filters/FilterKernels.h"

namespace halvik {
namespace {
TKernelSet g_active = TKernelSet::Scalar;
}  // namespace

TKernelSet ActiveKernels() { return g_active; }

bool SetActiveKernels(TKernelSet Set) {
  for (TKernelSet s : AvailableKernels())
    if (s == Set) {
      g_active = Set;
      return true;
    }
  return false;
}

std::vector<TKernelSet> AvailableKernels() { return {TKernelSet::Scalar}; }

const char* KernelName(TKernelSet Set) {
  switch (Set) {
    case TKernelSet::Scalar: return "scalar";
    case TKernelSet::Sse2: return "sse2";
    case TKernelSet::Avx2: return "avx2";
    case TKernelSet::Avx512: return "avx512";
  }
  return "unknown";
}

}  // namespace halvik
