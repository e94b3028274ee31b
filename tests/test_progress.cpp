/* Long work said as it goes: a sweep's rows as they come, in order, a closed pipe stopping it
 * at once; the progress line on a terminal only, ended clean. */
#include <chrono>
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include "support.h"

/* caravelt-sim ARGS (shell words) in d, standard output into a pipe read here, standard error
 * into d/err.txt. */
struct piped {
    pid_t pid;
    FILE *out;
};
static piped sim_piped(const temp_dir &d, const std::string &args)
{
    int p[2];
    EXPECT_EQ(pipe(p), 0);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(p[1], 1), close(p[0]), close(p[1]);
        std::string cmd = "cd '" + d.path + "' && exec '" CARAVELT_SIM_EXE "' " + args + " 2>err.txt";
        execl("/bin/sh", "sh", "-c", cmd.c_str(), (char *)nullptr), _exit(127);
    }
    close(p[1]);
    return {pid, fdopen(p[0], "r")};
}

static double seconds_since(std::chrono::steady_clock::time_point t)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

/* Catches rows held back until a block is done (or the end), rows out of order between threads,
 * and a sweep that goes on computing for a reader that has gone, or says why it stopped wrongly. */
TEST(Progress, SweepRowsComeAsTheyAreDoneInOrderAndAClosedPipeStopsIt)
{
    temp_dir d;
    /* 401 setups, a second or two (a fifth of them under the sanitizers) */
    const int setups = 400 / CARAVELT_WORK_SHARE + 1;
    const std::string grid = "--sheet --vary Mass=800:" + std::to_string(800 + setups - 1) + ":1 --threads 2";
    auto began = std::chrono::steady_clock::now();
    piped s = sim_piped(d, grid);
    char line[512];
    ASSERT_TRUE(fgets(line, sizeof line, s.out) && fgets(line, sizeof line, s.out));
    double first = seconds_since(began);
    long last = 0, rows = 1;
    while (fgets(line, sizeof line, s.out)) {
        long index = strtol(line, nullptr, 10);
        ASSERT_EQ(index, last + 1) << "rows out of order";
        last = index, rows++;
    }
    fclose(s.out);
    int status;
    waitpid(s.pid, &status, 0);
    double all = seconds_since(began);
    EXPECT_EQ(rows, setups);
    EXPECT_LT(first, all / 4) << "the first row came after " << first << " s of " << all;

    s = sim_piped(d, grid);
    ASSERT_TRUE(fgets(line, sizeof line, s.out) && fgets(line, sizeof line, s.out));
    fclose(s.out);   /* the reader goes */
    began = std::chrono::steady_clock::now();
    waitpid(s.pid, &status, 0);
    EXPECT_LT(seconds_since(began), 1.0) << "a sweep went on for a closed pipe";
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(read_file(d / "err.txt"), "caravelt-sim: cannot write the sweep to standard output: Broken pipe\n");
}

/* What caravelt-sim ARGS writes on standard error when it is a terminal (until it exits). */
static std::string stderr_on_a_terminal(const temp_dir &d, const std::string &args)
{
    int master;
    pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
        std::string cmd = "cd '" + d.path + "' && exec '" CARAVELT_SIM_EXE "' " + args + " >/dev/null </dev/null";
        execl("/bin/sh", "sh", "-c", cmd.c_str(), (char *)nullptr), _exit(127);
    }
    std::string text;
    char buf[4096];
    for (ssize_t n; (n = read(master, buf, sizeof buf)) > 0;)
        text.append(buf, (size_t)n);
    close(master);
    waitpid(pid, nullptr, 0);
    return text;
}

/* Catches a progress line written where no one watches (a file, a pipe), left half-written at the
 * end, or not shown on a terminal; --quiet heard. */
TEST(Progress, LineOnATerminalOnlyAndEndedClean)
{
    /* work that lasts past the line's first 0.2 s in either build; a run has a line from 2,000,000
     * ticks on */
    temp_dir d{{"long.txt", "2500000 Up Right\n"}};
    const int setups = 200 / CARAVELT_WORK_SHARE + 1;
    const std::string sweep = "--sheet --vary Mass=800:" + std::to_string(800 + setups - 1) + ":1",
                      search = "--best-lap --budget 1 --course '" CARAVELT_DATA_DIR "/courses/slalom.toml'";
    for (const std::string &args : {sweep, std::string("--trace /dev/null long.txt"), search}) {
        std::string tty = stderr_on_a_terminal(d, args);
        EXPECT_NE(tty.find(args == sweep ? " of " + std::to_string(setups) + " setups"
                           : args == search ? " of 1 s ("
                                            : " of 2500000 ticks"),
                  std::string::npos) << tty;
        EXPECT_TRUE(tty.size() >= 4 && tty.substr(tty.size() - 4) == "\r\033[K") << "not cleared at the end: " << tty;
        EXPECT_EQ(stderr_on_a_terminal(d, args + " --quiet"), "");
        tool_run to_file = run_tool(d, args);
        EXPECT_EQ(to_file.status, 0);
        EXPECT_EQ(to_file.err, "") << "progress written to a file";
    }
}
