// The heat buffer step on processors without SSE2: the byte-at-a-time step is the whole story,
// with decay held at 0 or more as the SSE2 step holds it.
#include "fireworks.h"

void decay_and_rise(uint8_t* heat, int32_t decay) {
    decay_and_rise_plain(heat, decay < 0 ? 0 : decay);
}
