/*
 * drive/header.cpp -- the recording's header written and read back; the
 * replay's car and course checked against it.
 */
#include "header.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "datadir.h"
#include "files.h"
#include "sim/carfile.h"

uint64_t car_hash_of(const car *c)
{
    uint64_t h = 1469598103934665603ull;
    auto mix = [&h](const void *p, size_t n) {
        for (size_t i = 0; i < n; i++) {
            h ^= ((const unsigned char *)p)[i];
            h *= 1099511628211ull;
        }
    };
#define CAR_FIELD_HASH(type, name) mix(&c->name, sizeof c->name);
#define CAR_ARRAY_HASH(type, name, n) mix(c->name, sizeof c->name);
    CAR_FIELDS(CAR_FIELD_HASH, CAR_ARRAY_HASH)
    return h;
}

uint64_t car_hash(void)
{
    car c;
#define CAR_FIELD_TAKE(type, name) c.name = name;
#define CAR_ARRAY_TAKE(type, name, n) memcpy(c.name, name, sizeof c.name);
    CAR_FIELDS(CAR_FIELD_TAKE, CAR_ARRAY_TAKE)
    return car_hash_of(&c);
}

/* A hash as the header and the refusals write it. */
static std::string hex16(uint64_t h)
{
    char t[20];
    snprintf(t, sizeof t, "%016" PRIx64, h);
    return t;
}

/* Bytes a plain word may hold: no shell reads them specially. */
static bool plain_byte(unsigned char c)
{
    return (c && strchr("_./-+=:,@%", c)) || (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z');
}

/* path as one shell word on one line: as it is when plainly safe; in
 * single quotes when it holds no control character; else as $'...' with
 * each control character as \xHH, which bash, zsh and ksh read back byte
 * for byte.  So the header's lines stay lines, whatever the names. */
std::string shell_word(const char *path)
{
    bool plain = *path != '\0', control = false;
    for (const unsigned char *p = (const unsigned char *)path; *p; p++) {
        plain = plain && plain_byte(*p);
        control = control || *p < 0x20 || *p == 0x7f;
    }
    if (plain)
        return path;
    std::string w = control ? "$'" : "'";
    for (const unsigned char *p = (const unsigned char *)path; *p; p++) {
        char esc[8] = "";
        if (!control)
            w += *p == '\'' ? std::string("'\\''") : std::string(1, (char)*p);
        else if (*p == '\'' || *p == '\\')
            w += std::string("\\") + (char)*p;
        else if (*p < 0x20 || *p == 0x7f)
            snprintf(esc, sizeof esc, "\\x%02x", *p), w += esc;
        else
            w += (char)*p;
    }
    return w + "'";
}

static int hex_digit(char c)
{
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

/* The word's parts in turn: '...' as it stands, \' a quote, $'...' with
 * its escapes, plain bytes. */
bool shell_word_read(const std::string &word, std::string *path)
{
    std::string p;
    size_t i = 0, n = word.size();
    while (i < n) {
        if (word[i] == '\'') {
            size_t end = word.find('\'', i + 1);
            if (end == std::string::npos)
                return false;
            p.append(word, i + 1, end - i - 1);
            i = end + 1;
        } else if (word.compare(i, 2, "\\'") == 0) {
            p += '\'';
            i += 2;
        } else if (word.compare(i, 2, "$'") == 0) {
            for (i += 2; i < n && word[i] != '\''; i++) {
                if (word[i] != '\\') {
                    p += word[i];
                    continue;
                }
                if (i + 1 < n && (word[i + 1] == '\\' || word[i + 1] == '\'')) {
                    p += word[++i];
                    continue;
                }
                int hi = i + 3 < n && word[i + 1] == 'x' ? hex_digit(word[i + 2]) : -1;
                int lo = hi >= 0 ? hex_digit(word[i + 3]) : -1;
                if (lo < 0)
                    return false;
                p += (char)(hi * 16 + lo);
                i += 3;
            }
            if (i++ >= n)
                return false;
        } else if (plain_byte((unsigned char)word[i])) {
            p += word[i++];
        } else {
            return false;
        }
    }
    if (p.empty())
        return false;
    *path = p;
    return true;
}

/* A program beside the running one (the game and caravelt-sim are built
 * side by side) by its absolute path, else by its name. */
static std::string program_word(const char *name)
{
    std::string beside = program_folder() + "/" + name;
    return shell_word(access(beside.c_str(), X_OK) == 0 ? beside.c_str() : name);
}

/* The header's first words: what tells a recording from any script. */
static const char RECORDING_MARK[] = "# caravelt recording";

bool header_is_recording(const std::string &header)
{
    return header.compare(0, sizeof RECORDING_MARK - 1, RECORDING_MARK) == 0;
}

void record_header(std::string *out, const char *path, const char *car_file, time_t when,
                   const char *course_file, uint64_t course_hash)
{
    char stamp[64] = "";
    struct tm tm;
    if (gmtime_r(&when, &tm))
        strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S UTC", &tm);
    std::string file = shell_word(absolute_path(path).c_str());
    std::string course = course_file ? shell_word(absolute_path(course_file).c_str()) : "";
    std::string on = course_file ? " --course " + course : "";

    *out += RECORDING_MARK;
    *out += ", begun ";
    *out += stamp;
    *out += "\n# car: ";
    *out += car_file ? shell_word(absolute_path(car_file).c_str()) : "preset";
    *out += ", parameters hash " + hex16(car_hash());
    if (course_file)
        *out += "\n# course: " + course + ", hash " + hex16(course_hash);
    *out += "\n# replay headless: " + program_word("caravelt-sim") + on + " --trace trace.csv " + file;
    *out += "\n# replay in the game: " + program_word("caravelt") + on + " --replay " + file;
    *out += "\n# one line per stretch of ticks: TICKS KEY...; after \"/\", the keys held"
            "\n# when a title screen inside that tick returned\n";
}

int header_file(const std::string &header, const char *what, const char *hash_name,
                std::string *file, uint64_t *hash)
{
    const std::string head = std::string("# ") + what + ": ", tail = std::string(", ") + hash_name + " ";
    for (size_t at = 0, end; at < header.size(); at = end + 1) {
        end = header.find('\n', at);
        if (end == std::string::npos)
            end = header.size();
        std::string line = header.substr(at, end - at);
        if (!line.empty() && line.back() == '\r')   /* a recording saved with CRLF */
            line.pop_back();
        if (line.compare(0, head.size(), head) != 0 || line.size() < head.size() + tail.size() + 16)
            continue;
        size_t hex = line.size() - 16, cut = hex - tail.size();
        uint64_t h = 0;
        bool digits = line.compare(cut, tail.size(), tail) == 0;
        for (size_t i = hex; digits && i < line.size(); i++)
            digits = hex_digit(line[i]) >= 0, h = h << 4 | (uint64_t)hex_digit(line[i]);
        std::string word = line.substr(head.size(), cut - head.size()), path;
        if (!digits)
            continue;
        if (word == "preset")
            path.clear();
        else if (!shell_word_read(word, &path))
            continue;
        *file = path;
        *hash = h;
        return 1;
    }
    return 0;
}

int header_car(const std::string &header, std::string *file, uint64_t *hash)
{
    return header_file(header, "car", "parameters hash", file, hash);
}

int header_course(const std::string &header, std::string *file, uint64_t *hash)
{
    return header_file(header, "course", "hash", file, hash);
}

/* ----------------------------------------------------------------------
 * The replay's car and course (see header.h).
 * ---------------------------------------------------------------------- */

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

int replay_car(const std::string &header, const char *name, const char *given,
               const car *given_car, bool force, car *out, std::string *file_used,
               char *err, size_t errsize)
{
    std::string recorded, file_fault;
    uint64_t want;
    bool has_line = header_car(header, &recorded, &want) == 1;
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
    return 2;
}

int recorded_car(const std::string &header, const char *name, car *out, std::string *file_used,
                 char *err, size_t errsize)
{
    std::string recorded, file_fault;
    uint64_t want;
    if (header_car(header, &recorded, &want) != 1) {
        snprintf(err, errsize, "%s: its header names no car", name);
        return 2;
    }
    if (own_car(recorded, want, false, out, file_used, &file_fault))
        return 0;
    snprintf(err, errsize, "%s: recorded with %s (hash %s)%s%s: it is driven only with the car it was recorded with",
             name, car_named(recorded).c_str(), hex16(want).c_str(), file_fault.c_str(),
             recorded.empty() ? ", which has changed since" : "");
    return 2;
}

int replay_course(const std::string &header, const char *name, const char *given,
                  const course *given_course, bool force, course *out, std::string *file_used,
                  char *err, size_t errsize)
{
    std::string recorded, fault;
    uint64_t want = 0;
    bool on_course = header_is_recording(header) && header_course(header, &recorded, &want) == 1;
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
    return 2;
}
