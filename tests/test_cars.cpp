/* Many cars as values: interleaved tick by tick on several threads, each car
 * drives exactly as caravelt-sim drives it alone. */
#include <random>
#include <thread>
#include "drive/script.h"
#include "support.h"
#include "drive/trace.h"

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
static std::vector<stretch> random_script(unsigned seed)
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

static std::vector<scripted_car> fleet(int n)
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
static void interleave(std::vector<scripted_car> &cars, size_t from, size_t step)
{
    for (bool left = true; left;) {
        left = false;
        for (size_t i = from; i < cars.size(); i += step)
            if (!cars[i].done())
                cars[i].step(), left = true;
    }
}

/* The two values hold the same bits in every variable of the lists (padding aside). */
static bool same_bits(const travel_memo &a, const travel_memo &b)
{
    for (int i = 0; i < 2; i++)
        if (a.at[i].angle_bits != b.at[i].angle_bits || std::bit_cast<uint64_t>(a.at[i].sin) != std::bit_cast<uint64_t>(b.at[i].sin)
            || std::bit_cast<uint64_t>(a.at[i].cos) != std::bit_cast<uint64_t>(b.at[i].cos))
            return false;
    return true;
}
template <class T> static bool same_bits(const T &a, const T &b) { return memcmp(&a, &b, sizeof a) == 0; }
static std::string differing(const car_state &a, const car_state &b)
{
    std::string s = memcmp(&a.params, &b.params, sizeof a.params) ? " params" : "";
#define DIFFERING(type, name, start) s += same_bits(a.name, b.name) ? "" : " " #name;
    SIM_STATE_ALL(DIFFERING)
    return s;
}

/* Catches a variable left out of the value or not put back, a cache (key masks, travel memo) not carried,
 * parameters leaking between cars, names shared between threads (cars_under_tsan runs it too): three
 * threads interleaving a fleet give each car caravelt-sim's trace and the value it reaches alone. */
TEST(Cars, ThreadsInterleavingTheirCarsDriveEachAsItDrivesAlone)
{
    const int n = 12;
    std::vector<scripted_car> cars = fleet(n), alone = fleet(n);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < 3; t++)
        threads.emplace_back([&cars, t] { interleave(cars, t, 3); });
    for (std::thread &t : threads)
        t.join();
    temp_dir d;
    for (int i = 0; i < n; i++) {
        SCOPED_TRACE(testing::Message() << "car " << i << " (" << cars[i].car_file << ")");
        std::string text;
        for (const stretch &s : cars[i].script) {
            char line[STRETCH_TEXT_MAX];
            text.append(line, put_stretch(line, &s));
        }
        write_file(d / "drive.txt", text);
        std::string car = cars[i].car_file.empty() ? "" : "--car '" CARAVELT_DATA_DIR "/" + cars[i].car_file + "' ";
        EXPECT_TRUE(tool_out(d, car + "--trace - drive.txt") == cars[i].trace) << "not caravelt-sim's trace";
        alone[i].run_alone();
        EXPECT_EQ(differing(cars[i].value, alone[i].value), "");
    }
    int titles = 0, resets = 0;
    for (const stretch &s : cars[0].script)
        titles += s.keys >> SIM_Q & 1, resets += s.keys >> SIM_R & 1;
    EXPECT_TRUE(titles > 3 && resets > 3) << titles << " title screens, " << resets << " resets";
}

/* Catches a tick that reads the place (x, y) for anything but moving it, as the sheet's loop shortcut
 * assumes: two cars equal but for x, y stay so under the same random scripts. */
TEST(Cars, TwoCarsEqualButForThePlaceStayEqualButForThePlace)
{
    std::vector<scripted_car> here = fleet(8), there = fleet(8);
    const float places[][2] = {{0, 0}, {1024, 768}, {1023.9f, 0.1f}, {-3, 800}, {100.25f, 700}, {512, -1}, {3000, 2000}, {7, 384}};
    for (int i = 0; i < 8; i++) {
        there[i].value.x = places[i][0], there[i].value.y = places[i][1];
        for (long t = 1; !here[i].done(); t++) {
            here[i].step(), there[i].step();
            car_state moved = there[i].value;
            moved.x = here[i].value.x, moved.y = here[i].value.y;
            ASSERT_EQ(differing(moved, here[i].value), "") << "car " << i << ", tick " << t;
        }
    }
}

/* Catches a variable left out of the shortcut's comparison, or the place counted in it: the
 * thread's names against a value that differs from them in one bit of one variable. */
TEST(Cars, SameStateSeesEveryVariableButThePlace)
{
    std::vector<scripted_car> cars = fleet(1);
    for (int t = 0; t < 500; t++)
        cars[0].tick_in();   /* every variable away from its start */
    car_state now;
    car_out(&now);
    EXPECT_TRUE(car_same_state(&now));
    auto flip = [](auto &v) { reinterpret_cast<unsigned char *>(&v)[0] ^= 1; };
#define ONE_BIT_OFF(type, name, start)                                                                  \
    {                                                                                                   \
        car_state c = now;                                                                              \
        flip(c.name);                                                                                   \
        EXPECT_EQ(car_same_state(&c), std::string(#name) == "x" || std::string(#name) == "y") << #name; \
    }
    SIM_STATE_ALL(ONE_BIT_OFF)
    car_state memo = now;
    flip(memo.TravelMemo.at[1].cos);
    EXPECT_FALSE(car_same_state(&memo)) << "the older memo entry";
}
