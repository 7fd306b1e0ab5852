// Which implementation of the filters' inner loops runs. The exact scalar code is the
// reference and is always built; faster sets sit beside it and give the same bytes.
#pragma once

#include <vector>

namespace halvik {

enum class TKernelSet { Scalar, Sse2, Avx2, Avx512 };

// The set in use: the fastest this processor runs, chosen on first use. The environment can
// choose instead: HALVIK_FORCE_SCALAR=1 gives Scalar, and HALVIK_KERNELS=scalar, sse2, avx2 or
// avx512 gives that set when it can run here (otherwise the fastest).
TKernelSet ActiveKernels();
// Makes Set the one in use (tests and benchmarks); false, and no change, when this build or
// this processor cannot run it.
bool SetActiveKernels(TKernelSet Set);
// Every set this build and processor can run, Scalar first, then slower before faster.
std::vector<TKernelSet> AvailableKernels();
const char* KernelName(TKernelSet Set);

}  // namespace halvik
