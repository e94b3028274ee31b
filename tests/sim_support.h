/*
 * tests/sim_support.h -- drives the simulation through its seam.
 */
#ifndef CARAVELT_TESTS_SIM_SUPPORT_H
#define CARAVELT_TESTS_SIM_SUPPORT_H

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <functional>
#include <vector>

#include "sim/sim.h"

/* Keys the test holds, by key index; the simulation reads them at the
 * start of the controls and when the title screen returns. */
inline bool held_keys[128];
/* What the title screen does while it is "up" (may change the keys). */
inline std::function<void()> on_title;
inline int title_calls;

inline int test_key_held(int k) { return held_keys[k]; }
inline unsigned test_read_keys(void) { return sim_key_mask(test_key_held); }
inline void test_title_screen(void)
{
    title_calls++;
    if (on_title)
        on_title();
}

inline void hold(const std::vector<int> &keys)
{
    for (bool &k : held_keys)
        k = false;
    for (int k : keys)
        held_keys[k] = true;
}

/* Runs n ticks with exactly these keys held. */
inline void ticks(int n, const std::vector<int> &keys = {})
{
    hold(keys);
    for (int i = 0; i < n; i++)
        logic();
}

/* A fresh run: the state start-up leaves, no keys, a title screen that
 * returns at once. */
class Sim : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim_start();
        hold({});
        on_title = nullptr;
        title_calls = 0;
        sim_read_keys = test_read_keys;
        sim_title_screen = test_title_screen;
    }
};

inline uint32_t bits(float f) { return std::bit_cast<uint32_t>(f); }

/* Exact float equality, sign of zero included, NaN-safe. */
#define EXPECT_BITS(actual, expected) EXPECT_EQ(bits(actual), bits(expected)) \
    << #actual " = " << (actual) << ", want " << (expected)

/* FNV-1a over the bits of every traced state variable, in trace order. */
inline uint64_t state_hash(void)
{
    uint64_t h = 1469598103934665603ull;
    auto mix = [&h](uint32_t v) {
        for (int i = 0; i < 4; i++) {
            h ^= (v >> (8 * i)) & 0xff;
            h *= 1099511628211ull;
        }
    };
    auto word = [](auto v) { return std::bit_cast<uint32_t>(v); };
#define HASH_STATE(type, name, start) mix(word(name));
    SIM_STATE_TRACED(HASH_STATE)
    return h;
}

#endif
