/*
 * run/choose.cpp -- a recording's car and course, by its header's rules
 * (see choose.h).
 */
#include "run/choose.h"

#include <cstdio>
#include <sys/stat.h>

#include "drive/header.h"
#include "sim/carfile.h"

/* A file the header names (a car or a course file, read by read and
 * hashed by hash): true with *out when it reads and hashes as recorded
 * (want), or reads at all with force; false with *fault saying why it
 * was not taken, as the refusals go on: ", which ...". */
template <typename T>
static bool named_file(const std::string &path, int (*read)(const char *, T *, char *, size_t),
                       uint64_t (*hash)(const T *), uint64_t want, bool force, T *out, std::string *fault)
{
    char why[512];
    T t;
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        /* a name in a file, not one the user typed: no pipe to wait on */
        *fault = ", which cannot be read (not a regular file)";
        return false;
    }
    if (read(path.c_str(), &t, why, sizeof why) != 0) {
        *fault = std::string(", which cannot be read (") + why + ")";
        return false;
    }
    if (!force && hash(&t) != want) {
        *fault = ", which has changed since (hash " + hex16(hash(&t)) + ")";
        return false;
    }
    *out = std::move(t);
    return true;
}

/* A car as the refusal names it: its file as one word, or the preset. */
static std::string car_named(const std::string &file)
{
    return file.empty() ? "the preset" : shell_word(file.c_str());
}

/* The car the header names (file recorded, "" for the preset; hash
 * want), when no car is given: its file when it still reads and hashes
 * as recorded, else the preset when that hashes so; with force, the file
 * when it reads, else the preset.  True with *out and *file_used; false
 * with *fault saying why the named file was not taken ("" when it was
 * not tried). */
static bool own_car(const std::string &recorded, uint64_t want, bool force, car *out,
                    std::string *file_used, std::string *fault)
{
    fault->clear();
    if (!recorded.empty() && named_file(recorded, read_car_file, car_hash_of, want, force, out, fault)) {
        *file_used = recorded;
        return true;
    }
    if (force || car_hash_of(&KVT) == want) {
        *out = KVT;
        file_used->clear();
        return true;
    }
    return false;
}

int replay_car(const script_in *in, const char *given, const car *given_car, bool force, car *out,
               std::string *file_used, char *err, size_t errsize)
{
    std::string recorded, file_fault;
    uint64_t want = 0;
    const char *name = in->name;
    int line = header_car(in, &recorded, &want, err, errsize);
    if (line < 0)
        return -1;
    bool has_line = line == 1;
    if (given && (!has_line || force || car_hash_of(given_car) == want)) {
        *out = *given_car;
        *file_used = given;
        return 0;
    }
    if (!has_line) {
        *out = KVT;
        file_used->clear();
        return 0;
    }
    if (!given && own_car(recorded, want, force, out, file_used, &file_fault))
        return 0;

    const car *now = given ? given_car : &KVT;
    std::string this_car = given ? car_named(given) : "the preset";
    snprintf(err, errsize,
             "%s: recorded with %s (hash %s)%s; this car is %s (hash %s): pass --car with the car it was "
             "recorded with, or --force to replay it anyway",
             name, car_named(recorded).c_str(), hex16(want).c_str(), file_fault.c_str(), this_car.c_str(),
             hex16(car_hash_of(now)).c_str());
    return -1;
}

int recorded_car(const script_in *in, car *out, std::string *file_used, char *err, size_t errsize)
{
    std::string recorded, file_fault;
    uint64_t want = 0;
    const char *name = in->name;
    int line = header_car(in, &recorded, &want, err, errsize);
    if (line < 0)
        return -1;
    if (line == 0) {
        snprintf(err, errsize, "%s: its header names no car", name);
        return -1;
    }
    if (own_car(recorded, want, false, out, file_used, &file_fault))
        return 0;
    snprintf(err, errsize, "%s: recorded with %s (hash %s)%s%s: it is driven only with the car it was recorded with",
             name, car_named(recorded).c_str(), hex16(want).c_str(), file_fault.c_str(),
             recorded.empty() ? ", which has changed since" : "");
    return -1;
}

int replay_course(const script_in *in, const char *given, const course *given_course, bool force,
                  course *out, std::string *file_used, char *err, size_t errsize)
{
    std::string recorded, fault;
    uint64_t want = 0;
    const std::string &header = in->header;
    const char *name = in->name;
    int line = header_course(in, &recorded, &want, err, errsize);
    if (line < 0)
        return -1;
    bool on_course = line == 1;
    uint64_t hash = given ? course_hash(given_course) : 0;
    if (given && (force || !header_is_recording(header) || (on_course && hash == want))) {
        *out = *given_course;
        *file_used = given;
        return 0;
    }
    if (!given && on_course && named_file(recorded, read_course_file, course_hash, want, force, out, &fault)) {
        *file_used = recorded;
        return 0;
    }
    if (!given && (force || !on_course)) {
        file_used->clear();
        return 0;
    }

    std::string recorded_on = on_course ? "on the course " + shell_word(recorded.c_str()) + " (hash "
                                              + hex16(want) + ")" + fault
                                        : "without a course";
    std::string this_one = given ? "this course is " + shell_word(given) + " (hash " + hex16(hash) + ")"
                                 : "no course is given";
    snprintf(err, errsize, "%s: recorded %s; %s: %s, or --force to replay it anyway", name,
             recorded_on.c_str(), this_one.c_str(),
             on_course ? "pass --course with the course it was recorded on" : "replay it without --course");
    return -1;
}

int replay_start(const script_in *in, bool given, bool force, bool *standing, char *err, size_t errsize)
{
    int line = header_start(in, err, errsize);
    if (line < 0)
        return -1;
    if (line == 1 || !header_is_recording(in->header) || force) {
        *standing = line == 1 || given;
        return 0;
    }
    if (given) {
        snprintf(err, errsize, "%s: recorded without a standing start, so its keys drive from the course's start: "
                 "leave out --standing-start, or pass --force to run it so anyway", in->name);
        return -1;
    }
    *standing = false;
    return 0;
}
