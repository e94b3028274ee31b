/* Courses in the built programs: caravelt-sim's lap rows, and what both programs refuse. */
#include <filesystem>
#include <set>
#include "drive/header.h"
#include "support.h"

static const std::string COURSES = CARAVELT_DATA_DIR "/courses/", SCRIPTS = CARAVELT_DOCS_DIR "/courses/";

/* Catches lap rows not the laps the shipped scripts drive (a gate, tick or split off); a course
 * that pushes the car (its gates moved away, the same trace) or changes the sheet's own figures. */
TEST(CourseRun, ShippedCoursesGiveTheirLapRows)
{
    struct { const char *name, *rows; } cases[] = {
        {"slalom", "lap,start_tick,ticks,cones,time_s,total_s,gate2_s,gate3_s,gate4_s,gate5_s,gate6_s\n"
                   "1,426,964,0,9.64,9.64,2.26,4.05,5.51,6.76,7.89\n"
                   "2,1390,521,0,5.21,5.21,0.78,1.62,2.43,3.22,4.00\n"
                   "3,1911,385,0,3.85,3.85,0.56,1.18,1.79,2.37,2.92\n"},
        {"figure8", "lap,start_tick,ticks,cones,time_s,total_s,gate2_s,gate3_s,gate4_s,gate5_s,gate6_s,gate7_s,gate8_s\n"
                    "1,438,986,0,9.86,9.86,2.93,4.04,5.15,5.99,7.67,8.31,9.23\n"
                    "2,1424,458,0,4.58,4.58,0.78,1.26,1.83,2.28,3.18,3.64,4.14\n"},
        {"autocross", "lap,start_tick,ticks,cones,time_s,total_s,gate2_s,gate3_s,gate4_s,gate5_s,gate6_s,gate7_s,gate8_s,gate9_s,gate10_s\n"
                      "1,378,1238,0,12.38,12.38,1.91,3.65,5.04,6.56,8.39,9.01,9.74,10.38,11.36\n"
                      "2,1616,642,0,6.42,6.42,0.49,1.12,1.75,2.50,3.55,4.01,4.48,4.93,5.59\n"},
    };
    temp_dir d;
    for (const auto &k : cases) {
        std::string file = COURSES + k.name + ".toml", script = SCRIPTS + k.name + ".txt", text = read_file(file);
        tool_run r = run_tool(d, "--course '" + file + "' --laps laps.csv --trace t.csv '" + script + "'");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(read_file(d / "laps.csv"), k.rows) << k.name;
        write_file(d / "bare.toml", text.substr(0, text.find("[[")) + "[[gate]]\na = [0, 0]\nb = [0.5, 0]\n");
        r = run_tool(d, "--course bare.toml --trace bare.csv '" + script + "'");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(read_file(d / "bare.csv") == read_file(d / "t.csv")) << k.name << ": its cones or gates moved the car";
    }
    EXPECT_EQ(run_tool(d, ">plain.md --sheet").status, 0);
    EXPECT_EQ(run_tool(d, ">course.md --sheet --budget-drives 50 --course '" + COURSES + "slalom.toml'").status, 0);
    std::string plain = read_file(d / "plain.md"), with = read_file(d / "course.md");
    EXPECT_EQ(with.substr(0, plain.size()), plain) << "the course changed the sheet's own figures";
    EXPECT_EQ(with.substr(plain.size(), 30), "| best lap on the course (s) |");
}

/* The names in folder d but the hidden ones (run_tool's .stderr), sorted. */
static std::set<std::string> names_in(const temp_dir &d)
{
    std::set<std::string> names;
    for (const auto &e : std::filesystem::directory_iterator(d.path))
        if (e.path().filename().string()[0] != '.')
            names.insert(e.path().filename());
    return names;
}

/* Catches a bad course, a ghost or replay of another course or car taken, or refused without its
 * one line and status or after writing something; unwritable laps passed; a good command refused. */
TEST(CourseRun, RefusedInOneTable)
{
    const std::string lap = read_file(SCRIPTS + "slalom.txt"), good = read_file(COURSES + "slalom.toml");
    temp_dir d{{"good.toml", good}, {"edited.toml", good + "\n[[cone]]\nat = [1.0, 1.0]\n"}, {"s.txt", "10 Up\n"},
               {"bad.toml", "name = \"x\"\nstart = { x = 8.0, y = 38.4, heading = 90.0 }\nlap = 2\n"},
               {"car.toml", "Mass = 900\n"}, {"changed.toml", "Mass = 950\n"}, {"old.csv", "keep me\n"}};
    const course slalom = course_in(COURSES + "slalom.toml"), edited = course_in(d / "edited.toml");
    const uint64_t hash = course_hash(&slalom);
    /* the recording `name` of these keys, made with the car file `car` on `course` */
    auto record = [&](const char *name, const char *car, const char *course, uint64_t hash, const std::string &keys) {
        std::string text;
        record_header(&text, "x.rec", car ? (d / car).c_str() : nullptr, 0, course ? (d / course).c_str() : nullptr, hash);
        write_file(d / name, text + keys);
    };
    sim_start();
    record("lap.rec", nullptr, "good.toml", hash, lap);
    record("on.rec", nullptr, "good.toml", hash, "10 Up\n");
    record("other.rec", nullptr, "figure8.toml", hash ^ 1, lap);
    record("none.rec", nullptr, nullptr, 0, lap);
    record("edited.rec", nullptr, "edited.toml", hash, "10 Up\n");
    car light = KVT;
    light.Mass = 900;
    load_car(&light);   /* the recordings below made with car.toml as it was */
    const uint64_t light_hash = car_hash();
    record("carok.rec", "car.toml", "good.toml", hash, "10 Up\n");
    record("car.rec", "changed.toml", "good.toml", hash, lap);   /* changed since */
    record("nocar.rec", "missing.toml", "good.toml", hash, lap);
    light.Mass = 950;
    load_car(&light);
    const uint64_t changed_hash = car_hash();
    load_preset();
    const std::string or_force = ", or --force to replay it anyway", driven = ": it is driven only with the car it was recorded with";
    const std::string other = "other.rec: recorded on the course " + d / "figure8.toml" + " (hash " + hex16(hash ^ 1)
                              + "); this course is good.toml (hash " + hex16(hash) + "): ";
    const std::string recorded_on = "pass --course with the course it was recorded on" + or_force;
    const std::string edited_said = "edited.rec: recorded on the course " + d / "edited.toml" + " (hash " + hex16(hash)
                                    + "), which has changed since (hash " + hex16(course_hash(&edited)) + "); no course "
                                    "is given: " + recorded_on;
    auto car_was = [&](const char *file, const std::string &now) {
        return "recorded with " + d / file + " (hash " + hex16(light_hash) + "), which " + now + driven;
    };
    const char *SIM = CARAVELT_SIM_EXE, *GAME = CARAVELT_GAME_EXE;
    const std::string no_display = "cannot start the Allegro library: no display to open (DISPLAY is not set)";
    const struct { const char *exe; std::string args; int status; std::string message; } cases[] = {
        {SIM, "--course bad.toml s.txt", 2, "bad.toml:3: unknown key \"lap\" (did you mean \"laps\"?)"},
        {GAME, "--course bad.toml --trace new.csv", 1, "bad.toml:3: unknown key \"lap\" (did you mean \"laps\"?)"},
        {SIM, "--laps new.csv s.txt", 2, "--laps needs --course: laps are counted on a course"},
        {SIM, "--sheet --laps new.csv", 2, "--sheet runs its own manoeuvres: it takes no --laps"},
        {SIM, "--course good.toml --laps good.toml s.txt", 2, "the laps \"good.toml\" would overwrite the course file \"good.toml\""},
        {SIM, "--course good.toml --laps old.csv --trace old.csv s.txt", 2, "the laps \"old.csv\" and the trace \"old.csv\" are the same file"},
        {SIM, "--course good.toml --laps no/such.csv --trace new.csv s.txt", 1,
              "cannot write the laps \"no/such.csv\": No such file or directory"},
        {SIM, "--course good.toml --laps /dev/full --trace /dev/null s.txt", 1,
              "cannot write the laps \"/dev/full\": No space left on device"},
        {SIM, "--course good.toml other.rec", 2, other + recorded_on},
        {SIM, "--trace /dev/null on.rec", 0, ""},   /* brings its own course */
        {SIM, "--laps new.csv --trace /dev/null edited.rec", 2, edited_said},
        {SIM, "--force --trace /dev/null edited.rec", 0, ""},
        {GAME, "--course good.toml --replay other.rec --trace new.csv", 2, other + recorded_on},
        {GAME, "--replay edited.rec --trace new.csv", 2, edited_said},
        {GAME, "--ghost lap.rec", 2, "--ghost needs a course (--course, or a replay made on one): a ghost is a lap of a course"},
        {GAME, "--course good.toml --ghost s.txt", 2, "s.txt: no lap of the course completed: no ghost to race"},
        {GAME, "--course good.toml --ghost '" + SCRIPTS + "slalom.txt' --trace new.csv", 1, no_display},   /* a script's lap */
        {GAME, "--replay on.rec --ghost lap.rec --trace new.csv", 1, no_display},   /* the replay's own course */
        {GAME, "--course good.toml --ghost none.rec", 2, "none.rec: not a recording made on a course: a ghost is a lap recorded with --course"},
        {GAME, "--course good.toml --replay lap.rec --force --ghost other.rec", 2, other + "a ghost is a lap of the course raced"},
        {GAME, "--course good.toml --ghost on.rec --trace new.csv", 2, "on.rec: no lap of the course completed: no ghost to race"},
        {GAME, "--course good.toml --ghost car.rec", 2,
               "car.rec: " + car_was("changed.toml", "has changed since (hash " + hex16(changed_hash) + ")")},
        {GAME, "--course good.toml --ghost nocar.rec", 2,
               "nocar.rec: " + car_was("missing.toml", "cannot be read (" + d / "missing.toml" + ": No such file or directory)")},
        {GAME, "--course good.toml --ghost missing.rec", 2, "missing.rec: No such file or directory"},
        {GAME, "--course good.toml --ghost lap.rec --record good.toml", 2, "the recording \"good.toml\" would overwrite the course file \"good.toml\""},
        {GAME, "--course good.toml --ghost lap.rec --trace lap.rec", 2, "the trace \"lap.rec\" would overwrite the ghost \"lap.rec\""},
        {GAME, "--course good.toml --ghost carok.rec --trace car.toml", 2, "the trace \"car.toml\" would overwrite the ghost's car file \""
               + d / "car.toml" + "\""},
        {GAME, "--course good.toml --ghost - --replay - <lap.rec", 2, "--ghost and --replay cannot both read standard input"},
        /* accepted: the game goes as far as the display; caravelt-sim runs */
        {GAME, "--course good.toml --ghost lap.rec --trace new.csv --record old.csv", 1, no_display},
        {GAME, "--course good.toml --replay on.rec --ghost - <lap.rec --trace new.csv", 1, no_display},
        {GAME, "--course good.toml --replay other.rec --force --trace new.csv", 1, no_display},
        {GAME, "--replay on.rec --trace new.csv", 1, no_display},
    };
    const std::set<std::string> before = names_in(d);
    for (const auto &k : cases) {
        tool_run r = run_tool(d, k.args, k.exe);
        std::string prefix = k.exe == SIM ? "caravelt-sim: " : "caravelt: ";
        EXPECT_EQ(r.status, k.status) << k.args;
        EXPECT_EQ(r.err, k.message.empty() ? "" : prefix + k.message + "\n") << k.args;
        EXPECT_EQ(names_in(d), before) << k.args << ": a file made or left";
        EXPECT_EQ(read_file(d / "old.csv") + read_file(d / "good.toml").substr(0, 8), "keep me\n# Slalom") << k.args;
    }
}
