// The heat step in WebAssembly SIMD, equal in every byte to decay_and_rise_plain; the web build
// runs it in place of the SSE2 step, whose widening shuffles and 16-bit high multiply have no
// single WebAssembly instruction and came out slow in translation.
//
// The layout is that of the AVX2 step (decay_avx2.cpp), 16 columns at a time: each 16-bit lane
// holds a pair of columns, an even one in its low byte and an odd one in its high byte, the sums
// of five are kept apart for the two, and each neighbour's byte is taken out by a mask or a shift.
// The division by 5 is WebAssembly's rounding Q15 multiply, one instruction.
#include <wasm_simd128.h>

#include "fireworks.h"

// floor(s / 5) = round((s - 2) * 6554 / 32768) for every five-byte sum s in 0..1275: (s - 2) / 5
// lies 0.4 below s / 5, and 6554 / 32768 exceeds 1 / 5 by too little to carry it past a rounding
// boundary. The rounding multiply computes ((s - 2) * 6554 + 16384) >> 15.
static constexpr int fifth_by_rounding(int s) {
    return ((s - 2) * 6554 + 16384) >> 15;
}

static constexpr bool fifths_exact() {
    for (int s = 0; s <= 1275; s++)
        if (fifth_by_rounding(s) != s / 5)
            return false;
    return true;
}
static_assert(fifths_exact(), "the rounding multiply divides every five-byte sum by 5");

static inline v128_t load(const uint8_t* p) {
    return wasm_v128_load(p);
}

static inline v128_t fifth(v128_t sum) {
    return wasm_i16x8_q15mulr_sat(wasm_i16x8_sub(sum, wasm_i16x8_splat(2)), wasm_i16x8_splat(6554));
}

void decay_and_rise(uint8_t* heat, int32_t decay) {
    // decay is held in 0..10 by its owner; saturating subtraction needs it as an unsigned byte
    int d = decay < 0 ? 0 : (decay > 255 ? 255 : decay);
    const v128_t decay8 = wasm_i8x16_splat(static_cast<int8_t>(d));
    const v128_t low_byte = wasm_i16x8_splat(0x00FF);

    for (int i = 0; i < 2 * heat_width; i += 16)
        wasm_v128_store(heat + i, wasm_u8x16_sub_sat(load(heat + i), decay8));
    for (int r = heat_height - 2; r >= 1; r--) {
        const uint8_t* centre = heat + r * heat_width;
        uint8_t* target = heat + (r + 1) * heat_width;
        for (int c = 0; c < heat_width; c += 16) {
            const uint8_t* m = centre + c;
            v128_t above = load(m + heat_width);
            v128_t below = load(m - heat_width);
            // both bytes of each pair added in one instruction: the middle three of both sums
            v128_t pair = wasm_u16x8_extadd_pairwise_u8x16(load(m));
            v128_t even = wasm_i16x8_add(pair, wasm_v128_and(load(m - 1), low_byte));
            v128_t odd = wasm_i16x8_add(pair, wasm_u16x8_shr(load(m + 1), 8));
            even = wasm_i16x8_add(even, wasm_i16x8_add(wasm_v128_and(above, low_byte),
                                                       wasm_v128_and(below, low_byte)));
            odd = wasm_i16x8_add(
                odd, wasm_i16x8_add(wasm_u16x8_shr(above, 8), wasm_u16x8_shr(below, 8)));
            v128_t fifths = wasm_v128_or(fifth(even), wasm_i16x8_shl(fifth(odd), 8));
            wasm_v128_store(target + c, wasm_u8x16_sub_sat(fifths, decay8));
        }
    }
}
