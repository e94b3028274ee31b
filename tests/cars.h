/* tests/cars.h -- cars with their own car files and random scripts, run a tick at a time as
 * values, against caravelt-sim's trace of each alone. */
#ifndef CARAVELT_TESTS_CARS_H
#define CARAVELT_TESTS_CARS_H

#include <random>
#include "drive/script.h"
#include "drive/trace.h"
#include "support.h"

/* One car with its own car file and script, run a tick at a time. */
struct scripted_car {
    std::string car_file;          /* "" for the preset */
    std::vector<stretch> script;
    car_state value;
    std::string trace;             /* caravelt-sim's header and rows, made here */
    size_t line = 0;
    uint64_t used = 0, tick = 0;

    bool done() const { return line == script.size(); }
    /* Its next tick, on the car that is in. */
    void tick_in()
    {
        hold_keys(script[line].keys, script[line].after);
        logic();
        char row[ROW_TEXT_MAX];
        trace.append(row, put_row(row, ++tick));
        if (++used == script[line].ticks)
            line++, used = 0;
    }
    /* Its next tick, with this thread's names standing for it only meanwhile. */
    void step() { car_in(&value), tick_in(), car_out(&value); }
    /* All its ticks, brought in once; value then holds the names, taken from the lists, not by car_out. */
    void run_alone()
    {
        car_in(&value);
        while (!done())
            tick_in();
#define TAKE_NAME(type, name, start) value.name = ::name;
        SIM_STATE_ALL(TAKE_NAME)
    }
};

/* Scripts of random stretches: every key, title screens whose keys change while they are up
 * (Q lines with "/"), resets, long holds; the same for every run. */
inline std::vector<stretch> random_script(unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<stretch> s = {{1, 1u << SIM_A, 1u << SIM_A}};
    for (int i = 0; i < 60; i++) {
        unsigned keys = rng() & 0x1ff & ~(rng() % 3 ? 1u << SIM_R : 0) & ~(rng() % 4 ? 1u << SIM_Q : 0);
        if (keys >> SIM_Q & 1)
            s.push_back({1, keys, (unsigned)(rng() & 0x1ff)});
        else
            s.push_back({1 + rng() % (rng() % 5 ? 40 : 400), keys, keys});
    }
    return s;
}

inline std::vector<scripted_car> fleet(int n)
{
    const char *files[] = {"", "cars/light.toml", "cars/drift.toml", "cars/kvt.toml"};
    std::vector<scripted_car> cars(n);
    for (int i = 0; i < n; i++) {
        scripted_car &c = cars[i];
        c.car_file = files[i % 4];
        c.script = random_script(1000 + i);
        const car params = c.car_file.empty() ? KVT : car_of(CARAVELT_DATA_DIR "/" + c.car_file);
        car_start(&c.value, &params);
        c.trace = std::string(TRACE_HEADER) + "\n";
    }
    return cars;
}

/* Round robin, one tick per car per turn, over cars[from], cars[from + step], ... */
inline void interleave(std::vector<scripted_car> &cars, size_t from, size_t step)
{
    for (bool left = true; left;) {
        left = false;
        for (size_t i = from; i < cars.size(); i += step)
            if (!cars[i].done())
                cars[i].step(), left = true;
    }
}

/* The two values hold the same bits in every variable of the lists (padding aside). */
inline bool same_bits(const travel_memo &a, const travel_memo &b)
{
    for (int i = 0; i < 2; i++)
        if (a.at[i].angle_bits != b.at[i].angle_bits || std::bit_cast<uint64_t>(a.at[i].sin) != std::bit_cast<uint64_t>(b.at[i].sin)
            || std::bit_cast<uint64_t>(a.at[i].cos) != std::bit_cast<uint64_t>(b.at[i].cos))
            return false;
    return true;
}
template <class T> inline bool same_bits(const T &a, const T &b) { return memcmp(&a, &b, sizeof a) == 0; }
inline std::string differing(const car_state &a, const car_state &b)
{
    std::string s = memcmp(&a.params, &b.params, sizeof a.params) ? " params" : "";
#define DIFFERING(type, name, start) s += same_bits(a.name, b.name) ? "" : " " #name;
    SIM_STATE_ALL(DIFFERING)
    return s;
}


#endif
