/* tests/sweep_float_text.cpp -- put_float's short way (2^-29 <= |f| < 2^30) against
 * std::to_chars ("%.9g"): --full every float (minutes), else every 97th and those within
 * 64 steps of each power of ten and each tie; then floats of every kind, NaN too, against
 * printf itself.  Exits 1 on a difference. */
#include <charconv>
#include <cstring>
#include <random>
#include "sweep.h"
#include "drive/trace.h"

static void check(uint32_t u)
{
    float f = from_bits(u);
    char got[FLOAT_TEXT_MAX + 1], want[FLOAT_TEXT_MAX + 1];
    *put_float(got, f) = '\0';
    /* the long way, as put_float_general writes it (no NaN here) */
    *std::to_chars(want, want + FLOAT_TEXT_MAX, (double)f, std::chars_format::general, 9).ptr = '\0';
    if (tally(strcmp(got, want) == 0))
        printf("0x%08x: \"%s\", the long way gives \"%s\"\n", u, got, want);
}
static void check_printf(uint32_t u)
{
    char got[FLOAT_TEXT_MAX + 1], want[64];
    *put_float(got, from_bits(u)) = '\0';
    snprintf(want, sizeof want, "%.9g", (double)from_bits(u));
    if (tally(strcmp(got, want) == 0))
        printf("0x%08x: \"%s\", printf gives \"%s\"\n", u, got, want);
}
static void around(float f) { over_bits(bits_of(f) - 64, bits_of(f) + 64, 1, check); }
int main(int argc, char **argv)
{
    bool full = argc > 1 && strcmp(argv[1], "--full") == 0;
    over_bits(bits_of(0x1p-29f) - 64, bits_of(0x1p30f) + 64, full ? 1 : 97, check);
    for (uint32_t u : {0x00000000u, 0x00000001u, 0x00800000u, 0x7f7fffffu, 0x7f800000u})
        check(u), check(u | 0x80000000u);   /* zeros and the long way's edges */
    if (!full) {
        for (double p = 1e-9; p < 2e9; p *= 10)
            around((float)p);
        /* ten-digit values ending in 5: ties, rounded to even */
        for (float f : {1048576.125f, 1048576.375f, 8388607.5f, 999999999.5f, 99999999.5f})
            around(f);
    }
    std::mt19937 rng(7);   /* random bits: tiny, huge, infinite, NaN */
    for (int i = 0; i < 100000; i++)
        check_printf((uint32_t)rng());
    for (uint32_t u : {0x00000000u, 0x00000001u, 0x00800000u, 0x7f7fffffu, 0x7f800000u, 0x7fc00000u})
        check_printf(u), check_printf(u | 0x80000000u);   /* zeros, edges, NaN */
    return sweep_report("sweep_float_text");
}
