// The avx512 kernel set; this file alone is compiled with the avx512 instruction flags.
#define HALVIK_KERNEL_NS avx512
#define HALVIK_KERNEL_TABLE Avx512KernelTable
#include "filters/KernelsImpl.h"
