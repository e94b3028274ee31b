/*
 * caravelt-sim's trace text: numbers as printf prints them, rows that
 * read back to the state bit for bit, and the buffered writer.
 */
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "sim/sim.h"
#include "trace.h"

static std::string text_of(float f)
{
    char buf[FLOAT_TEXT_MAX + 1];
    *put_float(buf, f) = '\0';
    return buf;
}

static std::string printf_of(float f)
{
    char buf[64];
    snprintf(buf, sizeof buf, "%.9g", (double)f);
    return buf;
}

TEST(ToolTrace, FloatsPrintAsPrintfPercentNineG)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const float tricky[] = {
        0.0f, -0.0f, 1.0f, -1.0f, 512.0f, 360.0f, 0.1f, 0.025f, -1.8253923e-08f,
        0.999999583f, 1e-4f, 9.99999975e-5f, 1e-5f, 123456789.0f, 999999999.0f, 1e9f,
        1e10f, 100000000.0f, 16777217.0f, 0.5f, 3.14159265f, 1.2815561e-06f,
        FLT_MIN, -FLT_MIN, FLT_TRUE_MIN, FLT_MAX, -FLT_MAX, std::nextafter(0.0f, 1.0f),
        inf, -inf, nan, -nan};
    for (float f : tricky)
        EXPECT_EQ(text_of(f), printf_of(f)) << "bits 0x" << std::hex << std::bit_cast<uint32_t>(f);
    EXPECT_EQ(text_of(-0.0f), "-0");
    EXPECT_EQ(text_of(nan), "nan");
    EXPECT_EQ(text_of(-nan), "-nan");
    EXPECT_EQ(text_of(-inf), "-inf");
}

/* Random bit patterns cover every exponent, NaN payloads and subnormals;
 * each finite one reads back to the same bits. */
TEST(ToolTrace, RandomFloatsMatchPrintfAndReadBackExactly)
{
    std::mt19937 rng(7);
    for (int i = 0; i < 200000; i++) {
        uint32_t b = rng();
        float f = std::bit_cast<float>(b);
        std::string t = text_of(f);
        ASSERT_EQ(t, printf_of(f)) << "bits 0x" << std::hex << b;
        if (!std::isnan(f)) {
            ASSERT_EQ(std::bit_cast<uint32_t>(strtof(t.c_str(), nullptr)), b) << t;
        }
    }
}

/* A row of extreme values fits its bound and has the header's columns. */
TEST(ToolTrace, RowHasOneFieldPerColumnWithinItsBound)
{
    sim_start();
    for (float *f : {&x, &y, &AxisAngle, &TrueAngle, &Velocity, &TrueVelocity, &Acceleration,
                     &EngineRev, &TransmissionTotal, &PedalAccelerator, &PedalBrake,
                     &PedalClutch, &DrivingWheelTurning})
        *f = -1.17549435e-38f;   /* the longest %.9g text */
    Gear = KeyHeld = TractionSlip = INT_MIN;
    char buf[ROW_TEXT_MAX * 2];
    char *end = put_row(buf, UINT64_MAX);
    ASSERT_LE(end - buf, ROW_TEXT_MAX);
    std::string row(buf, end);
    EXPECT_EQ(row.back(), '\n');
    EXPECT_EQ(std::count(row.begin(), row.end(), ','),
              std::count(TRACE_HEADER, TRACE_HEADER + strlen(TRACE_HEADER), ','));
    sim_start();
}

/* Many rows through a small buffer arrive whole and in order. */
TEST(ToolTrace, WriterKeepsEveryRowThroughItsBuffer)
{
    char *mem = nullptr;
    size_t size = 0;
    FILE *f = open_memstream(&mem, &size);
    trace_out t;
    trace_open(&t, f, 1);   /* rounded up to the smallest buffer */
    trace_header(&t);
    sim_start();
    std::string want = std::string(TRACE_HEADER) + "\n";
    for (uint64_t tick = 1; tick <= 3000; tick++) {
        x = (float)tick / 7;
        trace_row(&t, tick);
        char row[ROW_TEXT_MAX];
        want.append(row, put_row(row, tick));
    }
    EXPECT_EQ(trace_close(&t), 0);
    fclose(f);
    EXPECT_EQ(std::string(mem, size), want);
    free(mem);
    sim_start();
}

TEST(ToolTrace, WriterReportsAFailedWrite)
{
    FILE *f = fopen("/dev/full", "w");
    ASSERT_NE(f, nullptr);
    trace_out t;
    trace_open(&t, f, 4096);
    trace_header(&t);
    for (int i = 1; i <= 100; i++)
        trace_row(&t, i);
    EXPECT_EQ(trace_close(&t), ENOSPC);
    fclose(f);
}
