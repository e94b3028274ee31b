/*
 * tests/sim_support.h -- drives the simulation through its seam.
 */
#ifndef CARAVELT_TESTS_SIM_SUPPORT_H
#define CARAVELT_TESTS_SIM_SUPPORT_H

#include <gtest/gtest.h>

#include <bit>
#include <fstream>
#include <functional>
#include <sstream>

#include "sim/sim.h"

/* Keys the test holds, by key index; on_title runs inside each title screen. */
inline bool held_keys[128];
inline std::function<void()> on_title;
inline int title_calls;

inline unsigned test_read_keys(void) { return sim_key_mask([](int k) { return (int)held_keys[k]; }); }
inline void test_title_screen(void) { title_calls++, on_title ? on_title() : void(); }

inline void hold(const std::vector<int> &keys)
{
    std::fill(std::begin(held_keys), std::end(held_keys), false);
    for (int k : keys)
        held_keys[k] = true;
}

/* Runs n ticks with exactly these keys held. */
inline void ticks(int n, const std::vector<int> &keys = {})
{
    hold(keys);
    while (n-- > 0)
        logic();
}

/* A fresh run: the start state, no keys, a title screen that returns. */
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

template <class T> uint32_t bits(T v) { return std::bit_cast<uint32_t>(v); }

/* Exact equality, sign of zero included, NaN-safe. */
#define EXPECT_BITS(actual, expected) EXPECT_EQ(bits(actual), bits(expected)) << #actual " = " << (actual)

/* Every state variable, taken when made; changed(): " name ..." of those
 * that differ from now. */
struct state_copy {
#define COPY_TAKE(type, name, start) type name = ::name;
    SIM_STATE(COPY_TAKE)
#define COPY_PUT(type, name, start) ::name = name;
    void restore() const { SIM_STATE(COPY_PUT) }
    std::string changed() const
    {
        std::string s;
#define COPY_DIFF(type, name, start) if (bits(name) != bits(::name)) s += " " #name;
        SIM_STATE(COPY_DIFF)
        return s;
    }
};

/* FNV-1a over the bits of every traced state variable, in trace order. */
inline uint64_t state_hash(void)
{
    uint64_t h = 1469598103934665603ull;
#define HASH_STATE(type, name, start) \
    for (int i = 0; i < 4; i++) h = (h ^ ((bits(name) >> (8 * i)) & 0xff)) * 1099511628211ull;
    SIM_STATE_TRACED(HASH_STATE)
    return h;
}

/* The hash at the end of bench/drive.txt, recorded: any change to the
 * arithmetic, the order of a tick or the scenario shows here. */
inline constexpr uint64_t DRIVE_GOLDEN = 0x0d4afc397efa1b9aull;

/* Drives bench/drive.txt in-process, its keys read here rather than by
 * caravelt-sim's parser. */
inline void drive_scenario(void)
{
    static const char *const names[SIM_KEYS] = {"Up", "Down", "Left", "Right", "A", "Z", "X", "R", "Q"};
    std::ifstream f(CARAVELT_SCENARIO);
    ASSERT_TRUE(f) << CARAVELT_SCENARIO;
    int n;
    for (std::string line; std::getline(f, line);) {
        std::istringstream words(line.substr(0, line.find('#')));
        if (!(words >> n))
            continue;
        hold({});
        for (std::string w; words >> w;)
            for (int i = 0; i < SIM_KEYS; i++)
                held_keys[SIM_KEY_NUMBERS[i]] |= w == names[i];
        while (n-- > 0)
            logic();
    }
}

#endif
