/*
 * drive/header.cpp -- the recording's header written and read back; the
 * replay's car checked against it.
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

void record_header(std::string *out, const char *path, const char *car_file, time_t when)
{
    char stamp[64] = "";
    struct tm tm;
    if (gmtime_r(&when, &tm))
        strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S UTC", &tm);
    char hash[32];
    snprintf(hash, sizeof hash, "%016" PRIx64, car_hash());
    std::string file = shell_word(absolute_path(path).c_str());

    *out += "# caravelt recording, begun ";
    *out += stamp;
    *out += "\n# car: ";
    *out += car_file ? shell_word(absolute_path(car_file).c_str()) : "preset";
    *out += ", parameters hash ";
    *out += hash;
    *out += "\n# replay headless: " + program_word("caravelt-sim") + " --trace trace.csv " + file;
    *out += "\n# replay in the game: " + program_word("caravelt") + " --replay " + file;
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

/* ----------------------------------------------------------------------
 * The replay's car (see header.h).
 * ---------------------------------------------------------------------- */

/* A car as the refusal names it: its file as one word, or the preset. */
static std::string car_named(const std::string &file)
{
    return file.empty() ? "the preset" : shell_word(file.c_str());
}

int replay_car(const std::string &header, const char *name, const char *given,
               const car *given_car, bool force, car *out, std::string *file_used,
               char *err, size_t errsize)
{
    std::string recorded;
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

    /* What the refusal says of the named file, when it was not taken. */
    std::string file_fault;
    if (!given && !recorded.empty()) {
        char why[512];
        car c;
        struct stat st;
        if (stat(recorded.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
            /* a name in a file, not one the user typed: no pipe to wait on */
            file_fault = ", which cannot be read (not a regular file)";
        } else if (read_car_file(recorded.c_str(), &c, why, sizeof why) != 0) {
            file_fault = std::string(", which cannot be read (") + why + ")";
        } else if (force || car_hash_of(&c) == want) {
            *out = c;
            *file_used = recorded;
            return 0;
        } else {
            char h[64];
            snprintf(h, sizeof h, ", which has changed since (hash %016" PRIx64 ")", car_hash_of(&c));
            file_fault = h;
        }
    }
    if (!given && (force || car_hash_of(&KVT) == want)) {
        *out = KVT;
        file_used->clear();
        return 0;
    }

    const car *now = given ? given_car : &KVT;
    std::string this_car = given ? car_named(given) : "the preset";
    snprintf(err, errsize,
             "%s: recorded with %s (hash %016" PRIx64 ")%s; this car is %s (hash %016" PRIx64
             "): pass --car with the car it was recorded with, or --force to replay it anyway",
             name, car_named(recorded).c_str(), want, file_fault.c_str(), this_car.c_str(), car_hash_of(now));
    return 2;
}
