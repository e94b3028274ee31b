/* Driving through run/: keys recorded and replayed exactly, seeks, each rule for a state no longer
 * finite, a recording's header read strictly, and every front end giving the same rows. */
#include "course/race.h"
#include "drive/script.h"
#include "drive/trace.h"
#include "run/drive.h"
#include "run/fleet.h"
#include "run/log.h"
#include "support.h"

/* A car file whose state stops being finite within a second of A, then Up and Right. */
static const char WILD_CAR[] = "Mass = 10\nPeakTorque = 100000\nTransmissionFinal = 20\nDragCoeficient = 200000\n";

/* A drive's recording and trace, as the game writes them: what the log holds at the end. */
struct logged {
    run_log log;
    logged() { log.recording = log.tracing = true, log.trace_text = std::string(TRACE_HEADER) + "\n"; }
    run_hooks hooks() { run_hooks h; run_log_hooks(&log, &h); return h; }
    std::string text() { run_log_flush_line(&log); return log.keys_text + log.trace_text; }
};

/* Catches a title screen's tick recorded with one key set, or replayed with other keys:
 * R pressed, keys let go or kept while the title is up, the Q latch held and freed. */
TEST_F(Sim, KeysChangedAcrossTheTitleScreenReplayExactly)
{
    logged l;
    record_header(&l.log.keys_text, "drive.rec", nullptr, 0);
    run_car r;
    r.hooks = l.hooks();
    const struct { int n; std::vector<int> keys; std::function<void()> title; } drive[] = {
        {1, {A}, nullptr}, {300, {UP, RIGHT}, nullptr}, {1, {UP, RIGHT, Q}, [] { hold({UP, R}); }},
        {50, {UP}, [] { hold({Q}); }}, {1, {Q, LEFT}, nullptr}, {1, {}, nullptr},
        {1, {Q}, [] { hold({}); }}, {1, {Q}, nullptr}, {1, {}, [] {}}, {3, {Q, UP}, nullptr},
    };
    for (auto &s : drive) {
        on_title = s.title ? s.title : on_title;   /* until the next row that sets one */
        hold(s.keys);
        for (int i = 0; i < s.n; i++)
            run_tick_read(&r, [](int) { return test_read_keys(); }, [] { title_calls++, on_title ? on_title() : void(); });
    }
    EXPECT_EQ(title_calls, 5);
    run_log_flush_line(&l.log);
    for (const char *line : {"\n1 Up Right Q / Up R\n", "\n1 Left Q / Q\n", "\n1 Q /\n1 Q /\n", "\n3 Up Q\n"})
        EXPECT_NE(l.log.keys_text.find(line), std::string::npos) << line << " in\n" << l.log.keys_text;
    temp_dir d{{"drive.rec", l.log.keys_text}};
    EXPECT_TRUE(tool_out(d, "--trace - drive.rec") == l.log.trace_text) << "the replay's trace differs";
}

/* Catches ticks run back to back (after a long title screen or a stopped process) holding
 * all their text until the next frame: it is handed on as soon as it passes the bound. */
TEST_F(Sim, TextWaitingStaysBoundedHoweverManyTicksRunAtOnce)
{
    logged l;
    static size_t spills;
    spills = 0;
    l.log.spill = [](void *ctx) { spills++, ((run_log *)ctx)->keys_text.clear(), ((run_log *)ctx)->trace_text.clear(); };
    l.log.spill_ctx = &l.log;
    run_car r;
    r.hooks = l.hooks();
    size_t most = 0;
    for (int i = 0; i < 60000; i++) {   /* ten minutes owed: some 4 MB of rows */
        run_tick(&r, i % 7 ? 1u << SIM_UP : 1u << SIM_UP | 1u << SIM_LEFT);
        most = std::max(most, l.log.keys_text.size() + l.log.trace_text.size());
    }
    EXPECT_GE(spills, 2u);
    EXPECT_LT(most, (size_t)RUN_LOG_SPILL_AT);
}

/* The state's bits after the last tick run, as the trace writes it. */
static std::string row_now(uint64_t tick)
{
    char row[ROW_TEXT_MAX];
    return std::string(row, put_row(row, tick));
}

/* Catches a seek a tick short or long, a re-run writing ticks twice or skipping some, laps not
 * counted again, a rewind losing the script: seeking about ends as one straight run does. */
TEST_F(Sim, SeekBackAndForthWritesEachTickOnceAndEqualsAStraightRun)
{
    temp_dir d{{"s.txt", read_file(CARAVELT_DOCS_DIR "/courses/slalom.txt")}};   /* laps the slalom */
    course slalom = course_in(CARAVELT_DATA_DIR "/courses/slalom.toml");
    char err[512] = "";
    run_given given;
    given.course_file = "slalom.toml", given.track = &slalom;
    const uint64_t targets[] = {700, 0, 300, 2199, 1, 1500};
    std::string text[2], states[2];
    int laps[2];
    for (uint64_t target : targets) {   /* where a straight run stands at each target */
        run_drive straight;
        ASSERT_EQ(drive_open(&straight, (d / "s.txt").c_str(), &given, err, sizeof err), 0) << err;
        drive_start(&straight, RUN_HALT, run_hooks{}, false);
        for (uint64_t t = 0; t < target; t++)
            drive_tick(&straight);
        states[0] += row_now(target);
        drive_close(&straight);
    }
    for (int pass = 0; pass < 2; pass++) {
        run_drive dr;
        ASSERT_EQ(drive_open(&dr, (d / "s.txt").c_str(), &given, err, sizeof err), 0) << err;
        ASSERT_GT(dr.in.ticks, 2199u);
        logged l;
        drive_start(&dr, RUN_HALT, l.hooks(), true);
        for (uint64_t target : targets)
            if (pass == 1) {
                ASSERT_TRUE(drive_seek(&dr, target) && dr.played == target) << target;
                states[1] += row_now(target);
            }
        drive_to_end(&dr);
        laps[pass] = dr.race.p.laps_done;
        text[pass] = l.text();
        drive_close(&dr);
    }
    EXPECT_EQ(states[1], states[0]) << "a seek did not land on the state a straight run has there";
    EXPECT_TRUE(text[1] == text[0]) << "a re-run wrote its ticks again, or skipped some";
    EXPECT_TRUE(laps[1] == slalom.laps && laps[0] == slalom.laps) << laps[0] << " " << laps[1];
}

/* Catches a front end's rule for a state that stops being finite not kept: the tick traced or
 * counted, a stopped car ticked on into NaN, a halted one not begun again from the start state. */
TEST(Run, EachRuleDoesWhatItSaysWithAStateNoLongerFinite)
{
    temp_dir d{{"wild.toml", WILD_CAR}};
    const car wild = car_of(d / "wild.toml");
    for (run_fault_rule rule : {RUN_STOP, RUN_HALT, RUN_END, RUN_FLAG}) {
        SCOPED_TRACE(testing::Message() << "rule " << rule);
        car_state c;
        car_start(&c, &wild);
        car_in(&c);
        logged l;
        run_car r;
        r.rule = rule, r.hooks = l.hooks();
        uint64_t fault = 0;
        for (int t = 1; t <= 100 && !fault; t++)
            if (run_tick(&r, t == 1 ? 1u << SIM_A : 1u << SIM_UP | 1u << SIM_RIGHT) & RUN_FAULT)
                fault = (uint64_t)t;
        ASSERT_GT(fault, 1u) << "the wild car never left the finite";
        EXPECT_EQ(r.fault_tick, fault);
        EXPECT_EQ(std::count(l.log.trace_text.begin(), l.log.trace_text.end(), '\n'), (long)fault) << "header and "
            "a row for each tick before the fault";
        unsigned next = run_tick(&r, 1u << SIM_UP);
        if (rule == RUN_HALT) {
            EXPECT_FALSE(next & (RUN_SKIPPED | RUN_FAULT));
            EXPECT_EQ(r.tick, fault + 1);
            EXPECT_EQ(r.fault, nullptr);
            EXPECT_LT(std::fabs(y - 384), 1) << "not begun again from the start";
        } else {
            EXPECT_TRUE(next & RUN_SKIPPED) << "ticked on after the fault";
            EXPECT_EQ(r.tick, fault);
            char why[128];
            run_fault_text(&r, why, sizeof why);
            EXPECT_NE(std::string(why).find("became"), std::string::npos) << why;
        }
    }
}

/* Catches a car or course line that does not read taken as absent: each is refused with its line,
 * by caravelt-sim and the drive alike; lines as written (CRLF too), a plain script's comments, read. */
TEST(Run, HeaderLinesThatDoNotReadAreRefusedWithTheirLine)
{
    const std::string h = hex16(car_hash_of(&KVT)), ok = "", hex = "the hash is not sixteen lower-case hexadecimal digits",
                      word = "the file is not one shell word as the header writes it (plain, '...' or $'...')";
    const struct { std::string line; std::string why; } cases[] = {
        {"# car: preset, parameters hash " + h, ok},
        {"# car: preset, parameters hash " + h + "\r", ok},
        {"# car: preset, parameters hash " + h + " ", hex},
        {"# car: preset, parameters hash " + std::string(h).replace(0, 1, "A"), hex},
        {"# car: preset, parameters hash " + h.substr(1), hex},
        {"# car: 'open.toml, parameters hash " + h, word},
        {"# car: a b.toml, parameters hash " + h, word},
        {"# car: preset, hash " + h, "it does not end with \", parameters hash \" and the hash"},
        {"# car:preset, parameters hash " + h, "no space after the colon"},
    };
    temp_dir d;
    for (const auto &k : cases) {
        write_file(d / "r.rec", "# caravelt recording, begun 2026-01-01 00:00:00 UTC\n" + k.line + "\n1 Up\n");
        const std::string want = k.why.empty() ? "" : "r.rec:2: the car line does not read: " + k.why;
        tool_run sim = run_tool(d, "--trace /dev/null r.rec");
        EXPECT_EQ(sim.status, k.why.empty() ? 0 : 2) << k.line;
        EXPECT_EQ(sim.err, k.why.empty() ? "" : "caravelt-sim: " + want + "\n") << k.line;
        run_drive dr;
        run_given none;
        char err[512] = "";
        EXPECT_EQ(drive_open(&dr, (d / "r.rec").c_str(), &none, err, sizeof err), k.why.empty() ? 0 : -1) << k.line;
        EXPECT_EQ(std::string(err), k.why.empty() ? "" : d / want) << k.line;
        drive_close(&dr);
    }
    write_file(d / "plain.txt", "# car: my favourite one\n1 Up\n");   /* no recording: a comment */
    EXPECT_EQ(run_tool(d, "--trace /dev/null plain.txt").status, 0);
    write_file(d / "course.rec", "# caravelt recording\n# course: x.toml, hash 0123456789ABCDEF\n1 Up\n");
    EXPECT_EQ(run_tool(d, "--trace /dev/null course.rec").err, "caravelt-sim: course.rec:2: the course line does not "
              "read: " + hex + "\n");
}

/* Catches a recording never replayable: a car file as deep as a path can be, named with quotes and
 * control characters, is named in the header, read back and driven. */
TEST(Run, AnyPathTheSystemOpensRoundTripsThroughARecording)
{
    temp_dir d;
    std::string dir = d.path;
    const std::string part = "it's\x01 a \"deep\"\tfolder $x `y` \\ name " + std::string(180, 'n');
    while (dir.size() + part.size() + 40 < 4000) {
        dir += "/" + part;
        ASSERT_EQ(mkdir(dir.c_str(), 0700), 0) << dir.size();
    }
    const std::string file = dir + "/car\n'\x7f.toml";
    write_file(file, "Mass = 1000\n");
    const car c = car_of(file);
    car_state v;
    car_start(&v, &c);
    car_in(&v);
    std::string rec;
    record_header(&rec, (d / "r.rec").c_str(), file.c_str(), 0);
    write_file(d / "r.rec", rec + "1 A\n200 Up\n");
    write_file(d / "keys.txt", "1 A\n200 Up\n");
    write_file(d / "same.toml", "Mass = 1000\n");
    EXPECT_EQ(tool_out(d, "--trace - r.rec"), tool_out(d, "--car same.toml --trace - keys.txt"));
}

/* The trace (or the refusal) of a script in d by caravelt-sim: "status: stderr" then stdout. */
static std::string by_sim(const temp_dir &d, const std::string &args)
{
    tool_run r = run_tool(d, ">.out " + args);
    return std::to_string(r.status) + ": " + r.err + read_file(d / ".out");
}

/* The same through a drive, as the game's replay runs it (halting, but rows to the fault alike). */
static std::string by_drive(const temp_dir &d, const char *script, const run_given &given, run_fault_rule rule)
{
    run_drive dr;
    char err[1024] = "";
    if (drive_open(&dr, (d / script).c_str(), &given, err, sizeof err) != 0)
        return "2: caravelt-sim: " + std::string(err).substr(d.path.size() + 1) + "\n";
    logged l;
    l.log.recording = false;
    drive_start(&dr, rule, l.hooks(), false);
    while (!(drive_tick(&dr) & (RUN_SKIPPED | RUN_FAULT))) {
    }
    std::string out = dr.run.fault ? "1: fault at " + std::to_string(dr.run.fault_tick) + "\n" : "0: ";
    out += l.log.trace_text;
    drive_close(&dr);
    return out;
}

/* Catches a front end driving a recording with another car or course than its header names, or going
 * on past a state not finite: caravelt-sim, the game's replay and a fleet give the same rows. */
TEST(Run, FrontEndsGiveTheSameRowsOrTheSameRefusal)
{
    temp_dir d{{"light.toml", "Mass = 950\nG = 1.1\n"}, {"wild.toml", WILD_CAR}, {"keys.txt", "1 A\n300 Up Right\n"}};
    const car light = car_of(d / "light.toml"), wild = car_of(d / "wild.toml");
    const course slalom = course_in(CARAVELT_DATA_DIR "/courses/slalom.toml");
    auto recording = [&](const std::string &name, const car *c, const char *car_file, const char *course_file) {
        car_state v;
        car_start(&v, c);
        car_in(&v);
        std::string rec;
        record_header(&rec, (d / name).c_str(), car_file, 0, course_file, course_file ? course_hash(&slalom) : 0);
        write_file(d / name, rec + "1 A\n300 Up Right\n");
    };
    recording("light.rec", &light, (d / "light.toml").c_str(), nullptr);
    recording("slalom.rec", &KVT, nullptr, CARAVELT_DATA_DIR "/courses/slalom.toml");
    recording("wild.rec", &wild, (d / "wild.toml").c_str(), nullptr);
    run_given none, with_light;
    with_light.car_file = "light.toml", with_light.params = &light;
    const struct { const char *script; std::string sim_args; run_given given; std::string same_as; } cases[] = {
        {"light.rec", "", none, "--car light.toml keys.txt"},           /* the header's car */
        {"light.rec", "--car light.toml", with_light, ""},
        {"slalom.rec", "", none, "--course '" CARAVELT_DATA_DIR "/courses/slalom.toml' keys.txt"},
        {"wild.rec", "", none, ""},                                      /* stops at the fault */
    };
    for (const auto &k : cases) {
        SCOPED_TRACE(k.script);
        const std::string sim = by_sim(d, "--trace - " + k.sim_args + " " + k.script);
        EXPECT_TRUE(k.same_as.empty() || sim == by_sim(d, "--trace - " + k.same_as)) << "not the header's car or course";
        std::string drive = by_drive(d, k.script, k.given, RUN_HALT);
        if (sim[0] == '1') {   /* the fault: the same rows up to it, and the same tick */
            size_t rows = sim.find(TRACE_HEADER);
            ASSERT_NE(rows, std::string::npos) << sim;
            EXPECT_NE(sim.find(": tick " + drive.substr(drive.find("at ") + 3, drive.find('\n') - drive.find("at ") - 3)
                               + ": "), std::string::npos) << sim << " against " << drive.substr(0, 40);
            EXPECT_EQ(sim.substr(rows), drive.substr(drive.find('\n') + 1));
        } else {
            EXPECT_TRUE(sim == drive) << sim.substr(0, 200) << "\nagainst\n" << drive.substr(0, 200);
        }
    }
    /* A fleet of the wild car flags it at caravelt-sim's tick and runs it no further. */
    car_motion c;
    motion_start(&c);
    run_car r;
    r.rule = RUN_FLAG;
    fleet_cars f = {&c, &wild, &r, 1, nullptr, nullptr, nullptr, false};
    uint16_t a = 1u << SIM_A, up = 1u << SIM_UP | 1u << SIM_RIGHT;
    fleet_step(f, &a, true, 1);
    fleet_step(f, &up, true, 300);
    const std::string sim = by_sim(d, "--trace /dev/null wild.rec");
    char text[200];
    fleet_fault_text(f, 0, text, sizeof text);
    ASSERT_TRUE(fleet_faulted(f, 0));
    EXPECT_NE(sim.find(std::string(text)), std::string::npos) << sim << " against " << text;
    const car_motion stopped = c;
    fleet_step(f, &up, true, 10);
    EXPECT_EQ(memcmp(&stopped, &c, sizeof c), 0) << "a flagged car was stepped on";
}
