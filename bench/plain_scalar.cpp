// decay_and_rise_plain as a scalar loop. GCC at -O3 vectorises the plain step by itself (its
// row passes read nothing written less than 319 bytes before), so the plain step as the library
// builds it is already an SSE2 loop. This file builds the same source once more, in a namespace
// of its own and with the vectorisers off (bench/CMakeLists.txt), to give the byte-at-a-time
// floor. The headers come first, so that the source's own includes add nothing to the namespace.
#include <cstdint>
#include <cstring>

#include <windows.h>

#include "fireworks.h"

namespace scalar {
#include "fireworks.cpp"
} // namespace scalar

void decay_and_rise_plain_scalar(uint8_t* heat, int32_t decay) {
    scalar::decay_and_rise_plain(heat, decay);
}
