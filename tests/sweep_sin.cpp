/* tests/sweep_sin.cpp -- Sin against its definition over its fast range, |i| <= 65536
 * degrees (every angle the car reaches): --full every float (a minute), else every 251st,
 * those within 64 steps of each multiple of 90, and the edges.  Exits 1 on a difference. */
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include "sweep.h"
#include "sim/sim.h"

/* The definition, as powertrain.cpp writes it. */
static float sin_definition(float i)
{
    long double a = (long double)i * PI8 / 180;
    return (float)std::sin((double)a);
}
static float from_bits(uint32_t u)
{
    float f;
    memcpy(&f, &u, sizeof f);
    return f;
}
static uint32_t bits_of(float f)
{
    uint32_t u;
    memcpy(&u, &f, sizeof u);
    return u;
}
static void check(float i)
{
    float got = Sin(i), want = sin_definition(i);
    if (bits_of(got) == bits_of(want)) {
        passed++;
        return;
    }
    if (failed++ < 10)
        printf("Sin(%a) = %a, the definition gives %a\n", (double)i, (double)got,
               (double)want);
}
static void sweep(uint32_t stride)
{
    const uint32_t top = bits_of(65536.0f);
    for (uint32_t u = 0; u <= top; u += stride) {
        check(from_bits(u));
        check(from_bits(u | 0x80000000u));
    }
    if (top % stride != 0) {
        check(from_bits(top));
        check(-from_bits(top));
    }
}
static void quarter_turns(void)
{
    for (int q = 0; q * 90 <= 65536 + 90; q++)
        for (float sign : {1.0f, -1.0f}) {
            uint32_t mid = bits_of((float)(q * 90));
            for (uint32_t u = mid < 64 ? 0 : mid - 64; u <= mid + 64; u++)
                check(sign * from_bits(u));
        }
}
static void edges(void)
{
    const float inf = INFINITY;
    for (float f : {0.0f, -0.0f, 1e-45f, -1e-45f, 1.1754944e-38f, 65536.0f, -65536.0f,
                    65536.008f, -65536.008f, 1e30f, -1e30f, 3.4028235e38f, inf, -inf,
                    NAN, -NAN})
        check(f);
}
int main(int argc, char **argv)
{
    bool full = argc > 1 && strcmp(argv[1], "--full") == 0;
    edges();
    if (full) {
        sweep(1);
    } else {
        sweep(251);
        quarter_turns();
    }
    return sweep_report("sweep_sin");
}
