/*
 * tests/tool_support.h -- runs the built caravelt-sim and reads what it
 * leaves; drives the same script in-process through the test seam.
 */
#ifndef CARAVELT_TESTS_TOOL_SUPPORT_H
#define CARAVELT_TESTS_TOOL_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "sim_support.h"

/* One stretch of a script: ticks with these SIM_KEY_ keys held. */
struct step {
    int ticks;
    std::vector<int> keys;
};

inline const char *key_name(int k)
{
    switch (k) {
    case SIM_KEY_UP: return "Up";
    case SIM_KEY_DOWN: return "Down";
    case SIM_KEY_LEFT: return "Left";
    case SIM_KEY_RIGHT: return "Right";
    case SIM_KEY_A: return "A";
    case SIM_KEY_Z: return "Z";
    case SIM_KEY_X: return "X";
    case SIM_KEY_R: return "R";
    default: return "Q";
    }
}

/* The script text of steps. */
inline std::string script_text(const std::vector<step> &steps)
{
    std::string s = "# written by the tests\n";
    for (const step &st : steps) {
        s += std::to_string(st.ticks);
        for (int k : st.keys)
            s += std::string(" ") + key_name(k);
        s += "\n";
    }
    return s;
}

/* Through the gears, a slide, braking, the clutch, reverse, a title
 * screen and a reset: every stage of the tick. */
inline std::vector<step> drive_steps(void)
{
    return {
        {1, {SIM_KEY_A}}, {300, {SIM_KEY_UP}}, {2, {}}, {1, {SIM_KEY_A, SIM_KEY_UP}},
        {250, {SIM_KEY_UP}}, {400, {SIM_KEY_UP, SIM_KEY_RIGHT}},
        {150, {SIM_KEY_DOWN, SIM_KEY_LEFT}}, {100, {SIM_KEY_X, SIM_KEY_UP}},
        {1, {SIM_KEY_Z}}, {1, {}}, {1, {SIM_KEY_Z}}, {1, {}}, {1, {SIM_KEY_Z}},
        {300, {SIM_KEY_UP, SIM_KEY_LEFT}}, {1, {SIM_KEY_Q}}, {3, {SIM_KEY_R}},
        {1, {SIM_KEY_A}}, {1, {}}, {1, {SIM_KEY_A}}, {200, {SIM_KEY_UP, SIM_KEY_RIGHT}},
    };
}

/* A fresh temporary folder per test, removed with everything in it. */
struct temp_dir {
    std::string path;
    temp_dir()
    {
        char t[] = "/tmp/caravelt-sim-test-XXXXXX";
        path = mkdtemp(t);
    }
    ~temp_dir() { (void)!system(("rm -rf '" + path + "'").c_str()); }
    std::string operator/(const std::string &name) const { return path + "/" + name; }
};

inline void write_file(const std::string &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string read_file(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

inline bool exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

struct tool_run {
    int status;       /* exit status, or -1 if it did not exit */
    std::string out;  /* standard output */
    std::string err;  /* standard error */
    long max_rss_kb;  /* its peak resident memory */
};

/* Runs caravelt-sim with args in folder `dir`, standard input from
 * `in_path` ("" for /dev/null). */
inline tool_run run_tool(const temp_dir &dir, std::vector<std::string> args,
                         const std::string &in_path = "")
{
    std::string out = dir / ".stdout", err = dir / ".stderr";
    std::vector<char *> argv;
    args.insert(args.begin(), CARAVELT_SIM_EXE);
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_t pid = fork();
    if (pid == 0) {
        int i = open(in_path.empty() ? "/dev/null" : in_path.c_str(), O_RDONLY);
        int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (i < 0 || o < 0 || e < 0 || chdir(dir.path.c_str()) != 0)
            _exit(127);
        dup2(i, 0);
        dup2(o, 1);
        dup2(e, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage ru = {};
    wait4(pid, &status, 0, &ru);
    tool_run r;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = read_file(out);
    r.err = read_file(err);
    r.max_rss_kb = ru.ru_maxrss;
    unlink(out.c_str());
    unlink(err.c_str());
    return r;
}

/* Runs the steps in-process from the start state; after_tick(n) is
 * called after tick n (from 1). */
template <class F>
void drive_in_process(const std::vector<step> &steps, F after_tick)
{
    sim_start();
    sim_key_held = test_key_held;
    sim_title_screen = [] {};
    int n = 0;
    for (const step &s : steps) {
        for (bool &k : held_keys)
            k = false;
        for (int k : s.keys)
            held_keys[k] = true;
        for (int i = 0; i < s.ticks; i++) {
            logic();
            after_tick(++n);
        }
    }
}

#endif
