#include "t_common/digest.h"

#include "foundation/crc32_kernels.h"

namespace common {
namespace {

using Kernel = uint32_t (*)(uint32_t crc, const unsigned char* data, size_t length);

// Chosen once per process, safely under concurrent first calls.
Kernel ChosenKernel() {
  static const Kernel kernel = crc32::ProcessorHasCarrylessMultiply() ? &crc32::UpdateByCarrylessMultiply
                                                                       : &crc32::UpdateBySlicing;
  return kernel;
}

}  // namespace

unsigned long GetCRC32(void* data, unsigned long length) {
  if (!data) return 0;
  return ChosenKernel()(0xFFFFFFFFu, static_cast<const unsigned char*>(data), length) ^ 0xFFFFFFFFu;
}

}  // namespace common
