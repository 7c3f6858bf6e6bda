#include "kernels/jpeg/JpegKernelsSimd.h"

namespace v77jpeg {
const Kernels kSse2Kernels = {ConvertColorSimd, ConvertGreySimd, FdctQuantSimd};
}
