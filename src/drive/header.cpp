/*
 * drive/header.cpp -- the recording's header written and read back; the
 * replay's car and course checked against it.
 */
#include "drive/header.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "drive/datadir.h"
#include "drive/files.h"
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
    car_in_force(&c);
    return car_hash_of(&c);
}

std::string hex16(uint64_t h)
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
                   const char *course_file, uint64_t course_hash, bool standing, const char *ghost_file,
                   uint64_t ghost_hash)
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
    if (standing)
        *out += "\n# start: standing";
    if (ghost_file)
        *out += "\n# ghost: " + shell_word(absolute_path(ghost_file).c_str()) + ", hash " + hex16(ghost_hash);
    *out += "\n# replay headless: " + program_word("caravelt-sim") + on + " --trace trace.csv " + file;
    *out += "\n# replay in the game: " + program_word("caravelt") + on + " --replay " + file;
    *out += "\n# one line per stretch of ticks: TICKS KEY...; after \"/\", the keys held"
            "\n# when a title screen inside that tick returned\n";
}

/* The header's line k (its text, no newline, a CR before it dropped). */
static std::string header_line(const std::string &header, size_t *at)
{
    size_t end = header.find('\n', *at);
    if (end == std::string::npos)
        end = header.size();
    std::string line = header.substr(*at, end - *at);
    *at = end + 1;
    if (!line.empty() && line.back() == '\r')   /* a recording saved with CRLF */
        line.pop_back();
    return line;
}

/* Why rest (the line after "# WHAT: ") does not read as "FILE, HASH_NAME
 * HEX" (tail: ", HASH_NAME "), or "" with *file and *hash. */
static std::string file_line_fault(const std::string &rest, const std::string &tail, std::string *file,
                                   uint64_t *hash)
{
    size_t cut = rest.rfind(tail);
    if (cut == std::string::npos)
        return "it does not end with \"" + tail + "\" and the hash";
    std::string hex = rest.substr(cut + tail.size()), word = rest.substr(0, cut), path;
    uint64_t h = 0;
    for (char c : hex)
        h = h << 4 | (uint64_t)(hex_digit(c) & 15);
    if (hex.size() != 16 || std::any_of(hex.begin(), hex.end(), [](char c) { return hex_digit(c) < 0; }))
        return "the hash is not sixteen lower-case hexadecimal digits";
    if (word != "preset" && !shell_word_read(word, &path))
        return "the file is not one shell word as the header writes it (plain, '...' or $'...')";
    *file = path;
    *hash = h;
    return "";
}

int header_file(const script_in *in, const char *what, const char *hash_name, std::string *file,
                uint64_t *hash, char *err, size_t errsize)
{
    const std::string &header = in->header;
    bool recording = header_is_recording(header);
    const std::string head = std::string("# ") + what + ":", tail = std::string(", ") + hash_name + " ";
    size_t at = 0;
    for (size_t k = 0; at < header.size(); k++) {
        std::string line = header_line(header, &at);
        if (line.compare(0, head.size(), head) != 0)
            continue;
        std::string why = line.size() > head.size() && line[head.size()] == ' '
                              ? file_line_fault(line.substr(head.size() + 1), tail, file, hash)
                              : "no space after the colon";
        if (why.empty())
            return 1;
        if (!recording)
            continue;   /* a plain script's comment */
        unsigned long number = k < in->header_lines.size() ? in->header_lines[k] : 0;
        snprintf(err, errsize, "%s:%lu: the %s line does not read: %s", in->name, number, what, why.c_str());
        return -1;
    }
    if (recording && in->header_cut) {
        snprintf(err, errsize, "%s: its header is longer than %d bytes: its %s line cannot be read", in->name,
                 (int)SCRIPT_HEADER_MAX, what);
        return -1;
    }
    return 0;
}

int header_car(const script_in *in, std::string *file, uint64_t *hash, char *err, size_t errsize)
{
    return header_file(in, "car", "parameters hash", file, hash, err, errsize);
}

int header_course(const script_in *in, std::string *file, uint64_t *hash, char *err, size_t errsize)
{
    if (!header_is_recording(in->header))
        return 0;   /* a plain script runs on the course given */
    return header_file(in, "course", "hash", file, hash, err, errsize);
}

int header_ghost(const script_in *in, std::string *file, uint64_t *hash, char *err, size_t errsize)
{
    if (!header_is_recording(in->header))
        return 0;
    return header_file(in, "ghost", "hash", file, hash, err, errsize);
}

int file_hash(const char *path, uint64_t *hash)
{
    FILE *f = fopen(path, "rb");
    if (!f)
        return -1;
    uint64_t h = 1469598103934665603ull;
    unsigned char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        for (size_t i = 0; i < n; i++)
            h = (h ^ buf[i]) * 1099511628211ull;
    bool bad = ferror(f) != 0;
    fclose(f);
    if (bad)
        return -1;
    *hash = h;
    return 0;
}

int header_start(const script_in *in, char *err, size_t errsize)
{
    const std::string &header = in->header;
    if (!header_is_recording(header))
        return 0;
    static const std::string head = "# start:";
    size_t at = 0;
    for (size_t k = 0; at < header.size(); k++) {
        std::string line = header_line(header, &at);
        if (line.compare(0, head.size(), head) != 0)
            continue;
        if (line == head + " standing")
            return 1;
        unsigned long number = k < in->header_lines.size() ? in->header_lines[k] : 0;
        snprintf(err, errsize, "%s:%lu: the start line does not read: it says \"%s\", not \"standing\"", in->name,
                 number, line.substr(line.size() > head.size() && line[head.size()] == ' ' ? head.size() + 1
                                                                                         : head.size()).c_str());
        return -1;
    }
    if (in->header_cut) {
        snprintf(err, errsize, "%s: its header is longer than %d bytes: its start line cannot be read", in->name,
                 (int)SCRIPT_HEADER_MAX);
        return -1;
    }
    return 0;
}
