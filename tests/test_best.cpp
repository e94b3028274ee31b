/* Your best lap kept: where, which file, replaced only by a faster lap, a bad file set aside. */
#include <cstdlib>
#include <filesystem>
#include "course/race.h"
#include "drive/header.h"
#include "run/best.h"
#include "run/targets.h"
#include "support.h"

static const std::string COURSES = CARAVELT_DATA_DIR "/courses/";

static course course_of(const std::string &name) { return course_in(COURSES + name + ".toml"); }

/* An environment variable set (or unset, v null) for a test's length, put back after. */
struct env_set {
    std::string name;
    bool had;
    std::string old;
    env_set(const char *n, const char *v) : name(n), had(getenv(n)), old(had ? getenv(n) : "") { v ? setenv(n, v, 1) : unsetenv(n); }
    ~env_set() { had ? setenv(name.c_str(), old.c_str(), 1) : unsetenv(name.c_str()); }
};

/* Catches the XDG folder not honoured (or honoured when empty), two cars or two courses sharing
 * one file. */
TEST(Best, KeptInTheUsersDataFolderOneFilePerCourseAndCar)
{
    const struct { const char *xdg, *home, *folder; } homes[] = {
        {"/tmp/xdg", "/home/me", "/tmp/xdg/caravelt"}, {"", "/home/me", "/home/me/.local/share/caravelt"}, {nullptr, nullptr, ""}};
    for (const auto &h : homes) {
        env_set x("XDG_DATA_HOME", h.xdg), home("HOME", h.home);
        EXPECT_EQ(best_folder(), h.folder) << (h.xdg ? h.xdg : "no XDG_DATA_HOME");
    }
    const course slalom = course_of("slalom"), eight = course_of("figure8");
    const std::string a = best_file("/f", &slalom, 1), b = best_file("/f", &slalom, 2), e = best_file("/f", &eight, 1);
    EXPECT_TRUE(a != b && a != e && b != e);
    EXPECT_EQ(a, "/f/best/" + hex16(course_hash(&slalom)) + "-0000000000000001.rec");
}

/* Catches a slower or equal lap replacing the best (a faster one not), a temporary file left, the kept
 * lap not raced as the ghost, a damaged or another course's file kept, two cars' bests sharing a file. */
TEST(Best, AFasterLapReplacesTheFileASlowerOneDoesNot)
{
    temp_dir d;
    const course slalom = course_of("slalom");
    const std::string gold = read_file(COURSES + "targets/slalom-gold.rec"),
                      silver = read_file(COURSES + "targets/slalom-silver.rec");
    best_kept k, other;
    k.path = best_file(d / "caravelt", &slalom, 1), other.path = best_file(d / "caravelt", &slalom, 2);
    char err[512] = "";
    std::string note;
    best_read(&k, &slalom, "slalom", nullptr, &note);
    EXPECT_TRUE(!k.has && note.empty()) << "nothing kept yet";

    EXPECT_EQ(best_offer(&k, 5.64, silver, err, sizeof err), 1) << err;   /* the folders made */
    EXPECT_EQ(read_file(k.path), silver);
    EXPECT_EQ(best_offer(&k, 5.65, gold, err, sizeof err), 0) << "slower";
    EXPECT_EQ(best_offer(&k, 5.64, gold, err, sizeof err), 0) << "as fast";
    EXPECT_EQ(read_file(k.path), silver);
    EXPECT_EQ(best_offer(&other, 9.0, gold, err, sizeof err), 1) << "another car's, beside it";
    EXPECT_EQ(best_offer(&k, 3.80, gold, err, sizeof err), 1) << err;
    EXPECT_EQ(read_file(k.path), gold);
    EXPECT_EQ(read_file(other.path), gold);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(std::filesystem::path(k.path).parent_path()), {}), 2)
        << "no temporary file left";

    best_kept again;
    again.path = k.path;
    course_race race;
    race_start(&race, &slalom);
    best_read(&again, &slalom, "slalom", &race, &note);
    EXPECT_TRUE(again.has && note.empty()) << note;
    EXPECT_DOUBLE_EQ(again.total, 3.80);
    EXPECT_TRUE(race.has_given && race.given.ticks == 380 && !race.given_poses.empty()) << "raced as the ghost";

    for (const std::string &bad : {std::string("1 Upp\n"), read_file(COURSES + "targets/figure8-gold.rec")}) {
        write_file(k.path, bad);
        best_kept b;
        b.path = k.path;
        best_read(&b, &slalom, "slalom", nullptr, &note);
        EXPECT_FALSE(b.has);
        EXPECT_NE(note.find("will not do"), std::string::npos) << note;
        EXPECT_NE(note.find("set aside as " + k.path + ".set-aside"), std::string::npos) << note;
        EXPECT_FALSE(std::filesystem::exists(k.path));
        EXPECT_EQ(read_file(k.path + ".set-aside"), bad);
        EXPECT_EQ(best_offer(&b, 20, gold, err, sizeof err), 1) << "any lap is the best now";
    }
}

/* Catches targets out of order, or read from another course's files. */
TEST(Best, TargetsAreTheShippedRecordingsSlowestFirst)
{
    const course slalom = course_of("slalom");
    course_race race;
    race_start(&race, &slalom);
    std::string note;
    targets_load((COURSES + "slalom.toml").c_str(), &slalom, &race.targets, &note);
    EXPECT_EQ(note, "");
    ASSERT_EQ(race.targets.size(), 3u);
    EXPECT_EQ(race.targets[0].name + race.targets[1].name + race.targets[2].name, "bronzesilvergold");
    EXPECT_DOUBLE_EQ(race.targets[2].total, 3.80);
    EXPECT_EQ(race_next_target(&race), &race.targets[0]);
    race.p.has_best = true, race.p.best.ticks = 400;   /* beats bronze (6.81) and silver (5.64) */
    race.laps = {race.p.best};
    EXPECT_EQ(race_next_target(&race), &race.targets[2]);
    EXPECT_TRUE(race_beat(&race, &race.targets[1]) && !race_beat(&race, &race.targets[2]));

    const course eight = course_of("figure8");
    targets_load((COURSES + "slalom.toml").c_str(), &eight, &race.targets, &note);
    EXPECT_TRUE(race.targets.empty());
    EXPECT_NE(note.find("target bronze left out"), std::string::npos) << note;
}
