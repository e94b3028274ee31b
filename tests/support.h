/* tests/support.h -- drives the simulation through its seam; runs the built caravelt-sim. */
#ifndef CARAVELT_TESTS_SUPPORT_H
#define CARAVELT_TESTS_SUPPORT_H

#include <gtest/gtest.h>
#include <bit>
#include <cmath>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include "course/course.h"
#include "drive/header.h"
#include "sim/carfile.h"
#include "sim/sim.h"

enum { UP = SIM_KEY_UP, DOWN = SIM_KEY_DOWN, LEFT = SIM_KEY_LEFT, RIGHT = SIM_KEY_RIGHT,
       A = SIM_KEY_A, Z = SIM_KEY_Z, X = SIM_KEY_X, R = SIM_KEY_R, Q = SIM_KEY_Q };

/* Keys the test holds, by key index; on_title runs inside each title screen. */
inline bool held_keys[128];
inline std::function<void()> on_title;
inline int title_calls;
inline unsigned test_read_keys(void) { return sim_key_mask([](int k) { return (int)held_keys[k]; }); }
inline void hold(const std::vector<int> &keys) { std::fill_n(held_keys, 128, false); for (int k : keys) held_keys[k] = true; }
/* n ticks (or n of another stage) with exactly these keys held. */
inline void ticks(int n, const std::vector<int> &keys = {}, void (*step)(void) = logic)
{
    for (hold(keys); n-- > 0;)
        step();
}

/* A fresh run: the start state, no keys, a title screen that returns. */
class Sim : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim_start(), hold({}), on_title = nullptr, title_calls = 0;
        sim_read_keys = test_read_keys;
        sim_title_screen = [] { title_calls++, on_title ? on_title() : void(); };
    }
};

/* Exact equality, sign of zero included, NaN-safe. */
template <class T> uint32_t bits(T v) { return std::bit_cast<uint32_t>(v); }
#define EXPECT_BITS(actual, expected) EXPECT_EQ(bits(actual), bits(expected)) << #actual " = " << (actual)

/* Every state variable, taken when made; changed(): " name ..." of those that differ now. */
struct state_copy {
#define COPY_TAKE(type, name, start) type name = ::name;
    SIM_STATE(COPY_TAKE)
#define COPY_PUT(type, name, start) ::name = name;
    void restore() const { SIM_STATE(COPY_PUT) }
    std::string changed() const
    {
        std::string s;
#define COPY_DIFF(type, name, start) s += bits(name) != bits(::name) ? " " #name : "";
        SIM_STATE(COPY_DIFF)
        return s;
    }
};

/* FNV-1a over the bits of the traced state, in trace order; DRIVE_GOLDEN
 * its value at the end of bench/drive.txt, recorded. */
inline uint64_t state_hash(void)
{
    uint64_t h = 1469598103934665603ull;
#define HASH_STATE(type, name, start) \
    for (int i = 0; i < 4; i++) h = (h ^ ((bits(name) >> (8 * i)) & 0xff)) * 1099511628211ull;
    SIM_STATE_TRACED(HASH_STATE)
    return h;
}
inline constexpr uint64_t DRIVE_GOLDEN = 0x0d4afc397efa1b9aull;

/* Drives bench/drive.txt in-process, its keys read here, not by caravelt-sim's parser. */
inline void drive_scenario(void)
{
    static const char *const names[SIM_KEYS] = {"Up", "Down", "Left", "Right", "A", "Z", "X", "R", "Q"};
    std::ifstream f(CARAVELT_SCENARIO);
    ASSERT_TRUE(f) << CARAVELT_SCENARIO;
    for (std::string line, w; std::getline(f, line);) {
        std::istringstream words(line.substr(0, line.find('#')));
        int n = 0;
        for (words >> n, hold({}); words >> w;)
            for (int i = 0; i < SIM_KEYS; i++)
                held_keys[SIM_KEY_NUMBERS[i]] |= w == names[i];
        while (n-- > 0)
            logic();
    }
}

inline void write_file(const std::string &path, const std::string &text) { std::ofstream(path) << text; }
/* A scratch folder per test holding these files (name, text), removed with everything in it. */
struct temp_dir {
    std::string path;
    temp_dir(std::initializer_list<std::pair<std::string, std::string>> files = {})
    {
        char t[] = "/tmp/caravelt-test-XXXXXX";
        path = mkdtemp(t);
        for (const auto &[name, text] : files)
            write_file(*this / name, text);
    }
    ~temp_dir() { (void)!system(("rm -rf '" + path + "'").c_str()); }
    std::string operator/(const std::string &name) const { return path + "/" + name; }
};
inline std::string read_file(const std::string &path) { std::ifstream f(path); return {std::istreambuf_iterator<char>(f), {}}; }
inline bool exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

/* The program exe (caravelt-sim unless given; the game never finds a display)
 * with ARGS (shell words, may redirect) in d, stdin and stdout /dev/null by
 * default; status -1 if it did not exit. */
struct tool_run { int status; std::string err; long max_rss_kb; };
inline tool_run run_tool(const temp_dir &d, const std::string &args, const char *exe = CARAVELT_SIM_EXE)
{
    std::string cmd = "unset DISPLAY; cd '" + d.path + "' && exec '" + exe + "' </dev/null >/dev/null 2>.stderr " + args;
    pid_t pid = fork();
    if (pid == 0)
        execl("/bin/sh", "sh", "-c", cmd.c_str(), (char *)nullptr), _exit(127);
    int status = 0;
    struct rusage ru = {};
    wait4(pid, &status, 0, &ru);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file(d / ".stderr"), ru.ru_maxrss};
}
/* The standard output of exe ARGS in d, which must succeed. */
inline std::string tool_out(const temp_dir &d, const std::string &args, const char *exe = CARAVELT_SIM_EXE)
{
    tool_run r = run_tool(d, args + " >.stdout", exe);
    EXPECT_EQ(r.status, 0) << args << ": " << r.err;
    return read_file(d / ".stdout");
}
/* The car of a car file, which must read. */
inline car car_of(const std::string &path)
{
    car c = KVT;
    char err[512] = "";
    EXPECT_EQ(read_car_file(path.c_str(), &c, err, sizeof err), 0) << err;
    return c;
}
/* The course of a course file, which must read. */
inline course course_in(const std::string &path)
{
    course c;
    char err[512] = "";
    EXPECT_EQ(read_course_file(path.c_str(), &c, err, sizeof err), 0) << err;
    return c;
}
/* ARGS refused with status 2 and exactly this one line; nothing on
 * standard output, old.csv as it was and no new.bmp made. */
inline void expect_refused(const temp_dir &d, const std::string &args, const std::string &message)
{
    write_file(d / "old.csv", "keep me\n");
    tool_run r = run_tool(d, ">out.txt " + args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_EQ(r.err, "caravelt-sim: " + message + "\n") << args;
    EXPECT_EQ(read_file(d / "out.txt") + read_file(d / "old.csv"), "keep me\n") << args;
    EXPECT_FALSE(exists(d / "new.bmp")) << args;
}

/* caravelt-sim --sheet ARGS: column `col` (1 = the first car) by label; "figure": the name. */
inline std::map<std::string, std::string> sheet_table(const temp_dir &d, const std::string &args, int col = 1)
{
    std::map<std::string, std::string> m;
    std::istringstream in(tool_out(d, "--sheet " + args));
    for (std::string line, cell; std::getline(in, line);) {
        std::vector<std::string> cells;
        for (std::istringstream c(line); std::getline(c, cell, '|');)
            cells.push_back(cell.size() >= 2 ? cell.substr(1, cell.size() - 2) : cell);
        if (cells.size() > (size_t)col + 1)
            m[cells[1]] = cells[col + 1];
    }
    return m;
}

#endif
