// The vector kernels, written once and compiled once per instruction set: each KernelsXxx.cpp
// defines HALVIK_KERNEL_NS and HALVIK_KERNEL_TABLE and includes this file with its own compile
// flags. Nothing here uses the standard library's inline code, so that no function compiled for
// a wider set can be shared, through the linker, with code that runs on any processor.
#include "filters/KernelTable.h"
#include "filters/KernelsBlur.h"
#include "filters/KernelsStretch.h"
#include "filters/KernelsVector.h"

namespace halvik {
namespace HALVIK_KERNEL_NS {
namespace {

const TKernelTable kTable{kVPixels, kPermuteSpan, &StretchColumns, &StretchBlend, &BlurRadius1};

}  // namespace
}  // namespace HALVIK_KERNEL_NS

const TKernelTable& HALVIK_KERNEL_TABLE() { return HALVIK_KERNEL_NS::kTable; }

}  // namespace halvik
