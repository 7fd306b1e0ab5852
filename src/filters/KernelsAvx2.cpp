// The avx2 kernel set; this file alone is compiled with the avx2 instruction flags.
#define HALVIK_KERNEL_NS avx2
#define HALVIK_KERNEL_TABLE Avx2KernelTable
#include "filters/KernelsImpl.h"
