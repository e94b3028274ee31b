/* Threads: the pool, cars, courses and sweeps side by side, each as one thread alone gives it.
 * Also built under ThreadSanitizer (threads_under_tsan): anything else shared is a race it reports. */
#include <algorithm>
#include <thread>
#include "cars.h"
#include "course/race.h"
#include "run/drive.h"
#include "run/threads.h"
#include "sheet/sweep.h"

/* Catches a pool that loses a block, runs one twice, or hangs when reused or given little work. */
TEST(Run, PoolCoversEveryIndexOnceCallAfterCall)
{
    run_pool *p = run_pool_new(3);
    for (size_t n : {0, 1, 2, 7, 100, 5000, 3, 100000}) {
        std::vector<std::atomic<int>> seen(n);
        run_split(p, n, 1, [&](size_t first, size_t last) {
            for (size_t i = first; i < last; i++)
                seen[i]++;
        });
        for (size_t i = 0; i < n; i++)
            ASSERT_EQ(seen[i].load(), 1) << "index " << i << " of " << n;
    }
    run_pool_free(p);
}

/* Catches a variable left out of the value or not put back, a cache not carried, parameters leaking
 * between cars: three threads interleaving a fleet give each car caravelt-sim's trace and lone value. */
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


/* The lap rows of the shipped course's script `name` driven on c, every tick counted. */
static std::string drive_script(const course &c, const std::string &name)
{
    std::string path = CARAVELT_DOCS_DIR "/courses/" + name + ".txt", rows;
    run_drive d;
    run_given given;
    given.course_file = name.c_str(), given.track = &c;
    char err[512] = "";
    EXPECT_EQ(drive_open(&d, path.c_str(), &given, err, sizeof err), 0) << err;
    drive_start(&d, RUN_STOP, run_hooks{}, false);
    course_laps_header(&rows, &c);
    for (unsigned bits; !((bits = drive_tick(&d)) & RUN_SKIPPED);)
        if (bits & COURSE_LAP_DONE) {
            course_lap last = course_lap_of(&d.race.p, COURSE_LAST);
            course_lap_row(&rows, &c, &last);
        }
    drive_close(&d);
    return rows;
}

/* Catches anything shared between cars counted on courses from several threads (the Python fleet's
 * way): each drives every shipped course in its own order and gets the rows one thread gets alone. */
TEST(CourseFile, CarsOnThreadsCountAsOneThreadAlone)
{
    const std::string names[] = {"slalom", "figure8", "autocross"};
    std::vector<course> courses(3);
    std::vector<std::string> alone(3);
    for (int i = 0; i < 3; i++)
        courses[i] = course_in(CARAVELT_DATA_DIR "/courses/" + names[i] + ".toml"), alone[i] = drive_script(courses[i], names[i]);
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; t++)
        threads.emplace_back([&, t] {
            for (int k = 0; k < 3; k++) {
                int i = (t + k) % 3;
                EXPECT_EQ(drive_script(courses[i], names[i]), alone[i]) << "thread " << t << ", " << names[i];
            }
        });
    for (std::thread &t : threads)
        t.join();
}


/* Catches sweep threads sharing anything but the next index: three threads measure one thread's grid. */
TEST(Sweep, ThreadsShareNothingButTheNextIndex)
{
    sweep_grid g;
    g.base = KVT;
    char err[512];
    ASSERT_EQ(sweep_add_axis(&g, "G=0.9:1.2:0.1", err, sizeof err), 0) << err;
    std::string out[2];
    for (int threads : {1, 3}) {
        char *text = nullptr;
        size_t size = 0;
        FILE *f = open_memstream(&text, &size);
        sweep_how how;
        how.threads = threads;
        EXPECT_EQ(sweep_print(&g, &how, f), 0);
        fclose(f);
        out[threads / 2] = text;
        free(text);
    }
    EXPECT_EQ(std::count(out[0].begin(), out[0].end(), '\n'), 5) << "header and 4 rows";
    EXPECT_EQ(out[1], out[0]);
}
