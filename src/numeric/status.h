// Status codes shared by every layer: signed 32-bit, 0 is success.
#ifndef TALLOWFIT_NUMERIC_STATUS_H
#define TALLOWFIT_NUMERIC_STATUS_H

#include <cstdint>

namespace tallowfit {

constexpr int32_t kStatusOk = 0;
constexpr int32_t kStatusInvalidArgument = static_cast<int32_t>(0xECE99D7Du);
constexpr int32_t kStatusOutOfMemory = static_cast<int32_t>(0xECE99D32u);
constexpr int32_t kStatusException = static_cast<int32_t>(0xECE99F6Du);
// The platform's out-of-memory code (the Windows HRESULT E_OUTOFMEMORY).
constexpr int32_t kStatusSystemOutOfMemory = static_cast<int32_t>(0x8007000Eu);
constexpr int32_t kStatusIllConditioned = static_cast<int32_t>(0xEBE894C2u);
constexpr int32_t kStatusNoConvergence = static_cast<int32_t>(0xE0611026u);

}  // namespace tallowfit

#endif
