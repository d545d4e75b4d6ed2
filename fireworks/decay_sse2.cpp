// The heat buffer step with SSE2 (present on every x86-64 processor and required of the 32-bit
// Windows build), equal in every byte to decay_and_rise_plain.
//
// A row pass centred on memory row r writes row r + 1 from the old rows r - 1, r and r + 1.
// Sums of five bytes need 16-bit lanes, and widening bytes costs shuffles, so each row is widened
// once, when it first comes into reach as the row below a centre, and kept in a ring of three
// widened rows: it serves as the row below, then the centre, then the row above. Its left and
// right neighbours are unaligned loads from the widened centre row. Passes go in pairs: the pass
// centred on r adds rows r and r - 1, and the pass centred on r - 1 uses that pair sum again.
//
// The widened rows hold old values only, as the in-place top-down order needs, with one
// exception kept from the linear layout: the right neighbour of column 319 is the first byte of
// the row above, which the same pass has already written. Each pass stores that new byte into
// its centre row's last lane once its first block is done.
#include "cpu_level.h"
#include "decay_levels.h"
#include "fireworks.h"

#include <cstring>

#include <emmintrin.h>

static inline __m128i load(const void* p) {
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}

static inline void store(void* p, __m128i v) {
    _mm_storeu_si128(static_cast<__m128i*>(p), v);
}

// A widened row: lanes 8..327 hold the row, so that its vectors are aligned; lane 7 holds the
// left neighbour of column 0 (the last byte of the row below) and lane 328 the right neighbour
// of column 319 (the first byte of the row above, once written).
constexpr int lane0 = 8;
constexpr int wide_length = lane0 + heat_width + 8;

// Widens memory row `row` (1..239) with its left neighbour.
static void widen_row(uint16_t* wide, const uint8_t* heat, int row) {
    const __m128i zero = _mm_setzero_si128();
    const uint8_t* bytes = heat + row * heat_width;
    wide[lane0 - 1] = bytes[-1];
    for (int c = 0; c < heat_width; c += 16) {
        __m128i raw = load(bytes + c);
        store(wide + lane0 + c, _mm_unpacklo_epi8(raw, zero));
        store(wide + lane0 + c + 8, _mm_unpackhi_epi8(raw, zero));
    }
}

struct Pass {
    const uint16_t* above; // widened row r + 1 (first of a pair only)
    uint16_t* centre;      // widened row r
    uint16_t* below;       // widened row r - 1, filled by this pass
    const uint8_t* fresh;  // row r - 1 in the heat buffer
    uint8_t* target;       // row r + 1 in the heat buffer
    uint16_t* pair;        // rows r and r - 1 added, written by the first pass of a pair
    __m128i decay8;
};

// Sixteen bytes of one pass, columns c..c+15. The first pass of a pair adds the row above to the
// pair sum it makes; the second adds the row below to the pair sum it is given.
template <bool first_of_pair> static inline void pass_block(const Pass& pass, int c) {
    const __m128i zero = _mm_setzero_si128();
    // (s * 13108) >> 16 equals s / 5 for every s in 0..1275, the range of a five-byte sum
    const __m128i fifth = _mm_set1_epi16(13108);

    __m128i raw = load(pass.fresh + c);
    __m128i low = _mm_unpacklo_epi8(raw, zero);
    __m128i high = _mm_unpackhi_epi8(raw, zero);
    store(pass.below + lane0 + c, low);
    store(pass.below + lane0 + c + 8, high);

    const uint16_t* m = pass.centre + lane0 + c;
    if (first_of_pair) {
        low = _mm_add_epi16(low, load(m));
        high = _mm_add_epi16(high, load(m + 8));
        store(pass.pair + c, low);
        store(pass.pair + c + 8, high);
        low = _mm_add_epi16(low, load(pass.above + lane0 + c));
        high = _mm_add_epi16(high, load(pass.above + lane0 + c + 8));
    } else {
        low = _mm_add_epi16(low, load(pass.pair + c));
        high = _mm_add_epi16(high, load(pass.pair + c + 8));
    }
    low = _mm_add_epi16(low, _mm_add_epi16(load(m - 1), load(m + 1)));
    high = _mm_add_epi16(high, _mm_add_epi16(load(m + 7), load(m + 9)));

    __m128i fifths = _mm_packus_epi16(_mm_mulhi_epu16(low, fifth), _mm_mulhi_epu16(high, fifth));
    store(pass.target + c, _mm_subs_epu8(fifths, pass.decay8));
}

template <bool first_of_pair> static void run_pass(const Pass& pass) {
    pass_block<first_of_pair>(pass, 0);
    pass.centre[lane0 + heat_width] = pass.target[0];
    for (int c = 16; c < heat_width; c += 16)
        pass_block<first_of_pair>(pass, c);
}

void decay_and_rise_sse2(uint8_t* heat, int32_t decay) {
    // decay is held in 0..10 by its owner; saturating subtraction needs it as an unsigned byte
    int d = decay < 0 ? 0 : (decay > 255 ? 255 : decay);
    const __m128i decay8 = _mm_set1_epi8(static_cast<char>(d));

    for (int i = 0; i < 2 * heat_width; i += 16)
        store(heat + i, _mm_subs_epu8(load(heat + i), decay8));

    alignas(16) uint16_t ring[3][wide_length];
    alignas(16) uint16_t pair[heat_width];
    uint16_t* above = ring[0];
    uint16_t* centre = ring[1];
    uint16_t* below = ring[2];
    widen_row(above, heat, heat_height - 1);
    widen_row(centre, heat, heat_height - 2);

    // Rows 238 down to 1 are 238 centres: an even number, so passes always come in pairs.
    for (int r = heat_height - 2; r >= 2; r -= 2) {
        const uint8_t* row_below = heat + (r - 1) * heat_width;
        below[lane0 - 1] = row_below[-1];
        run_pass<true>(
            Pass{above, centre, below, row_below, heat + (r + 1) * heat_width, pair, decay8});
        uint16_t* free_row = above;
        above = centre;
        centre = below;
        below = free_row;

        row_below = heat + (r - 2) * heat_width;
        if (r - 2 >= 1)
            below[lane0 - 1] = row_below[-1];
        run_pass<false>(
            Pass{nullptr, centre, below, row_below, heat + r * heat_width, pair, decay8});
        free_row = above;
        above = centre;
        centre = below;
        below = free_row;
    }
}

static void decay_at(CpuLevel level, uint8_t* heat, int32_t decay) {
    if (level == cpu_avx512)
        decay_and_rise_avx512(heat, decay);
    else if (level == cpu_avx2)
        decay_and_rise_avx2(heat, decay);
    else
        decay_and_rise_sse2(heat, decay);
}

// The paths are timed on a copy of the heat buffer they are first asked to step.
alignas(64) static uint8_t timed_heat[heat_size];

static void time_decay(CpuLevel level, void*) {
    decay_at(level, timed_heat, 2);
}

static CpuStep heat_step = {"heat step", 1u << cpu_sse2 | 1u << cpu_avx2 | 1u << cpu_avx512, -1};

void decay_and_rise(uint8_t* heat, int32_t decay) {
    if (heat_step.measured < 0 && cpu_forced_level() < 0)
        memcpy(timed_heat, heat, heat_size);
    decay_at(cpu_step_level(&heat_step, time_decay, nullptr), heat, decay);
}
