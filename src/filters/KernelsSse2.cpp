// The sse2 kernel set; this file alone is compiled with the sse2 instruction flags.
#define HALVIK_KERNEL_NS sse2
#define HALVIK_KERNEL_TABLE Sse2KernelTable
#include "filters/KernelsImpl.h"
