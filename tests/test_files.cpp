/* What the game and caravelt-sim read and write: no output on an input, every failed write said. */
#include <filesystem>
#include <map>
#include <thread>
#include "drive/header.h"
#include "drive/script.h"
#include "support.h"

/* Every file under d by path, with its bytes. */
static std::map<std::string, std::string> contents(const temp_dir &d)
{
    std::map<std::string, std::string> m;
    for (const auto &e : std::filesystem::recursive_directory_iterator(d.path))
        if (e.is_regular_file() && e.path().filename() != ".stderr")
            m[e.path().string()] = read_file(e.path().string());
    return m;
}

/* Catches an output on a file the run reads (car file, a replay's car, script, replay, picture; by any
 * name or a hard link) or on another output, in either program, not refused alone with one line. */
TEST(Files, NoOutputIsAFileTheRunReads)
{
    const char *GAME = CARAVELT_GAME_EXE, *SIM = CARAVELT_SIM_EXE;
    const std::string car = " would overwrite the car file \"my.toml\"";
    const struct { const char *exe; std::string args, message; } cases[] = {
        {GAME, "--car my.toml --record my.toml", "the recording \"my.toml\"" + car},
        {GAME, "--car my.toml --trace alias.toml", "the trace \"alias.toml\"" + car},
        {GAME, "--replay drive.txt --record ./drive.txt", "the recording \"./drive.txt\" would overwrite the replay \"drive.txt\""},
        {GAME, "--replay link.txt --trace drive.txt", "the trace \"drive.txt\" would overwrite the replay \"link.txt\""},
        {GAME, "--trace tarmac.bmp", "the trace \"tarmac.bmp\" would overwrite the picture \"tarmac.bmp\""},
        {GAME, "--record car/../car/kvtcar.bmp", "the recording \"car/../car/kvtcar.bmp\" would overwrite the picture \"car/kvtcar.bmp\""},
        {GAME, "--record new.rec --trace ./new.rec", "the trace \"./new.rec\" and the recording \"new.rec\" are the same file"},
        {GAME, "--replay named.rec --trace alias.toml", "the trace \"alias.toml\" would overwrite the car file \"$PWD/my.toml\""},
        {SIM, "--trace my.toml named.rec", "the trace \"my.toml\" would overwrite the car file \"$PWD/my.toml\""},
        {SIM, "--car my.toml --trace my.toml drive.txt", "the trace \"my.toml\"" + car},
        {SIM, "--car my.toml --frame alias.bmp drive.txt", "the frame \"alias.bmp\"" + car},
        {SIM, "--trace drive.txt drive.txt", "the trace \"drive.txt\" would overwrite the script \"drive.txt\""},
        {SIM, "--trace ./drive.txt - <drive.txt", "the trace \"./drive.txt\" would overwrite the script \"standard input\""},
        {SIM, "--trace - link.txt >>drive.txt", "the trace \"standard output\" would overwrite the script \"link.txt\""},
        {SIM, "--frame tarmac.bmp --data . drive.txt", "the frame \"tarmac.bmp\" would overwrite the picture \"./tarmac.bmp\""},
        {SIM, "--frame car/kvtcar.bmp --data \"$PWD\" drive.txt", "the frame \"car/kvtcar.bmp\" would overwrite the picture \"" + std::string("$PWD") + "/car/kvtcar.bmp\""},
        {SIM, "--frame new.bmp --trace ./new.bmp drive.txt", "the frame \"new.bmp\" and the trace \"./new.bmp\" are the same file"},
        {SIM, "--sheet --car my.toml --runs my.toml", "the runs \"my.toml\"" + car},
        {SIM, "--sheet --car alias.toml >>my.toml", "the sheet \"standard output\" would overwrite the car file \"alias.toml\""},
        {SIM, "--sheet --runs runs.csv >>runs.csv", "the sheet \"standard output\" and the runs \"runs.csv\" are the same file"},
        {SIM, "--sheet --vary G=1:2:1 --car alias.toml >>my.toml", "the sweep \"standard output\" would overwrite the car file \"alias.toml\""},
    };
    temp_dir d{{"my.toml", "Mass = 900\n"}, {"drive.txt", "1 A\n10 Up\n"}, {"runs.csv", "keep\n"}};
    ASSERT_EQ(system(("cd '" + d.path + "' && cp -r '" CARAVELT_DATA_DIR "/tarmac.bmp' '" CARAVELT_DATA_DIR "/car' . && "
                      "ln my.toml alias.toml && ln my.toml alias.bmp && ln -s drive.txt link.txt").c_str()), 0);
    const struct car mine = car_of(d / "my.toml");   /* a recording that names my.toml, as it is: the replay reads it */
    write_file(d / "named.rec", "# car: " + d / "my.toml" + ", parameters hash " + hex16(car_hash_of(&mine)) + "\n1 A\n");
    const auto before = contents(d);
    for (const auto &c : cases) {
        tool_run r = run_tool(d, c.args, c.exe);
        std::string message = c.message;
        for (size_t at; (at = message.find("$PWD")) != std::string::npos;)
            message.replace(at, 4, d.path);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_EQ(r.err, (c.exe == GAME ? "caravelt: " : "caravelt-sim: ") + message + "\n") << c.args;
        EXPECT_TRUE(contents(d) == before) << c.args << ": a file was made or changed";
    }
}

/* Catches a failed write said nowhere, twice, or ending the program by a signal: a full device, a pipe
 * closed early, a file unlinked while written; the sheet's runs; a sweep's rows. */
TEST(Files, EveryFailedWriteIsSaidOnceWithTheFileAndWhy)
{
    enum reader { NONE, CLOSES, UNLINKS };
    const struct { reader fifo; std::string args, message; } cases[] = {
        {NONE, "--trace /dev/full drive.txt", "cannot write the trace \"/dev/full\": No space left on device"},
        {NONE, "--trace - drive.txt >/dev/full", "cannot write the trace \"standard output\": No space left on device"},
        {CLOSES, "--trace out.fifo drive.txt", "cannot write the trace \"out.fifo\": Broken pipe"},
        {CLOSES, "--trace - drive.txt >out.fifo", "cannot write the trace \"standard output\": Broken pipe"},
        {UNLINKS, "--trace out.fifo drive.txt", "cannot write the trace \"out.fifo\": the file was removed while it was being written"},
        {NONE, "--sheet --runs /dev/full", "cannot write the runs \"/dev/full\": No space left on device"},
        {NONE, "--sheet --vary G=1:1.1:0.1 >/dev/full", "cannot write the sweep to standard output: No space left on device"},
    };
    temp_dir d{{"drive.txt", "1 A\n30000 Up Right\n"}};   /* about 4 MB of trace */
    for (const auto &c : cases) {
        std::thread reader;
        if (c.fifo != NONE) {
            ASSERT_EQ(mkfifo((d / "out.fifo").c_str(), 0600), 0);
            reader = std::thread([&] {
                FILE *f = fopen((d / "out.fifo").c_str(), "r");
                char buf[4096];
                EXPECT_EQ(fread(buf, 1, 100, f), 100u);
                if (c.fifo == UNLINKS)
                    for (unlink((d / "out.fifo").c_str()); fread(buf, 1, sizeof buf, f) > 0;) {
                    }
                fclose(f);
            });
        }
        tool_run r = run_tool(d, c.args);
        reader.joinable() ? reader.join() : void();
        unlink((d / "out.fifo").c_str());
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_EQ(r.err, "caravelt-sim: " + c.message + "\n") << c.args;
    }
}

/* Catches an endless pipe spooled until the disk fills: past the cap the script is refused. */
TEST(Files, PipeBeyondTheSpoolCapIsRefused)
{
    std::string text = "1 Up\n";
    while (text.size() < 1500) text += text;   /* 2560 bytes: within a pipe's buffer, so no writer waits */
    for (uint64_t cap : {(uint64_t)1024, (uint64_t)1 << 20}) {
        int p[2];
        ASSERT_EQ(pipe(p), 0);
        ASSERT_EQ(write(p[1], text.data(), text.size()), (ssize_t)text.size());
        close(p[1]);
        const std::string path = "/dev/fd/" + std::to_string(p[0]);
        char err[512] = "";
        script_in s;
        ASSERT_EQ(script_open(&s, path.c_str(), err, sizeof err), 0) << err;
        int st = script_check(&s, cap, err, sizeof err);
        script_close(&s);
        close(p[0]);
        EXPECT_EQ(st, cap == 1024 ? -1 : 0) << err;
        EXPECT_EQ(err, cap > 1024 ? "" : path + ": more than 1024 bytes of script from a pipe: give it as a file instead");
    }
}
