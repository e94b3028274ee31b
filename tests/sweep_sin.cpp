/* tests/sweep_sin.cpp -- Sin against its definition over its fast range, |i| <= 65536
 * degrees (every angle the car reaches): --full every float (a minute), else every 251st,
 * those within 64 steps of each multiple of 90, and the edges.  Exits 1 on a difference. */
#include <cmath>
#include <cstring>
#include "sweep.h"
#include "sim/sim.h"

/* The definition, as powertrain.cpp writes it. */
static float sin_definition(float i)
{
    long double a = (long double)i * PI8 / 180;
    return (float)std::sin((double)a);
}
static void check(uint32_t u)
{
    float i = from_bits(u), got = Sin(i), want = sin_definition(i);
    if (tally(bits_of(got) == bits_of(want)))
        printf("Sin(%a) = %a, the definition gives %a\n", (double)i, (double)got, (double)want);
}
int main(int argc, char **argv)
{
    const float inf = INFINITY;
    for (float f : {0.0f, 1e-45f, 1.1754944e-38f, 65536.0f, 65536.008f, 1e30f, 3.4028235e38f, inf, NAN})
        check(bits_of(f)), check(bits_of(-f));   /* the edges */
    const uint32_t top = bits_of(65536.0f);
    if (argc > 1 && strcmp(argv[1], "--full") == 0) {
        over_bits(0, top, 1, check);
    } else {
        over_bits(0, top, 251, check);
        for (int q = 0; q * 90 <= 65536 + 90; q++) {   /* around each quarter turn */
            uint32_t mid = bits_of((float)(q * 90));
            over_bits(mid < 64 ? 0 : mid - 64, mid + 64, 1, check);
        }
    }
    return sweep_report("sweep_sin");
}
