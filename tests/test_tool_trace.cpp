/*
 * caravelt-sim's numbers: std::to_chars text is printf's "%.9g" and reads
 * back to the same bits.
 */
#include <bit>
#include <cfloat>
#include <cmath>
#include <random>

#include "sim_support.h"
#include "trace.h"

TEST(ToolTrace, FloatsPrintAsPrintfAndReadBackBitForBit)
{
    std::vector<float> values = {0.0f, -0.0f, 0.1f, 16777217.0f, 1e9f, 123456789.0f,
                                 FLT_TRUE_MIN, -FLT_MIN, FLT_MAX, -FLT_MAX, INFINITY,
                                 -INFINITY, NAN, -NAN};
    std::mt19937 rng(7);   /* every exponent, NaN payloads, subnormals */
    for (int i = 0; i < 100000; i++)
        values.push_back(std::bit_cast<float>((uint32_t)rng()));
    for (float f : values) {
        char text[FLOAT_TEXT_MAX + 1], want[64];
        *put_float(text, f) = '\0';
        snprintf(want, sizeof want, "%.9g", (double)f);
        ASSERT_STREQ(text, want) << "bits 0x" << std::hex << bits(f);
        ASSERT_TRUE(std::isnan(f) || bits(strtof(text, nullptr)) == bits(f)) << text;
    }
}
