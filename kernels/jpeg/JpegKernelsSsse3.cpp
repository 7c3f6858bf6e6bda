// Built with -mssse3; used only when the processor reports SSSE3.
#include "kernels/jpeg/JpegKernelsSimd.h"

#if !defined(__SSSE3__)
#error "this file must be compiled with SSSE3 enabled"
#endif

namespace v77jpeg {
const Kernels kSsse3Kernels = {ConvertColorSimd, ConvertGreySimd, FdctQuantSimd};
}
