/*
 * tests/tool_support.h -- runs the built caravelt-sim in a scratch folder.
 */
#ifndef CARAVELT_TESTS_TOOL_SUPPORT_H
#define CARAVELT_TESTS_TOOL_SUPPORT_H

#include <gtest/gtest.h>

#include <fstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

/* A scratch folder per test, removed with everything in it. */
struct temp_dir {
    std::string path;
    temp_dir() { char t[] = "/tmp/caravelt-sim-test-XXXXXX"; path = mkdtemp(t); }
    ~temp_dir() { (void)!system(("rm -rf '" + path + "'").c_str()); }
    std::string operator/(const std::string &name) const { return path + "/" + name; }
};

inline void write_file(const std::string &path, const std::string &text) { std::ofstream(path) << text; }
inline std::string read_file(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

struct tool_run { int status; std::string err; long max_rss_kb; };

/* caravelt-sim ARGS (shell words, may redirect) in dir, stdin and stdout
 * /dev/null by default; status -1 if it did not exit. */
inline tool_run run_tool(const temp_dir &d, const std::string &args)
{
    std::string cmd = "cd '" + d.path + "' && exec '" CARAVELT_SIM_EXE "' </dev/null >/dev/null 2>.stderr " + args;
    pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", cmd.c_str(), (char *)nullptr);
        _exit(127);
    }
    int status = 0;
    struct rusage ru = {};
    wait4(pid, &status, 0, &ru);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file(d / ".stderr"), ru.ru_maxrss};
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
    EXPECT_NE(access((d / "new.bmp").c_str(), F_OK), 0) << args;
}

#endif
