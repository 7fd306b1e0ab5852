// Which implementation of the filters' inner loops runs. The exact scalar code is the
// reference and is always built; faster sets sit beside it and must give the same bytes.
#pragma once

#include <vector>

namespace halvik {

enum class TKernelSet { Scalar, Sse2, Avx2, Avx512 };

// The set in use: the fastest this processor runs, chosen on first use, or Scalar when the
// environment variable HALVIK_FORCE_SCALAR is 1.
TKernelSet ActiveKernels();
// Makes Set the one in use (tests and benchmarks); false, and no change, when this build or
// this processor cannot run it.
bool SetActiveKernels(TKernelSet Set);
// Every set this build and processor can run, Scalar first.
std::vector<TKernelSet> AvailableKernels();
const char* KernelName(TKernelSet Set);

}  // namespace halvik
