/*
 * drive/record.cpp -- noting the keys the seam hands out, run-length
 * lines, trace rows, the recording's header.
 */
#include "record.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "script.h"
#include "sim/sim.h"
#include "trace.h"

std::string record_text, trace_text;
bool recording, tracing;
uint64_t ticks_recorded;
void (*record_spill)(void);

static unsigned (*key_source)(int read);

/* What the seam handed out in the tick being run: reads made, and the
 * first two masks (the start of the controls, after a title screen). */
static int reads;
static unsigned seen[2];

static unsigned noted_read_keys(void)
{
    unsigned m = key_source(reads == 0 ? 0 : 1);
    if (reads < 2)
        seen[reads] = m;
    reads++;
    return m;
}

void record_keys_from(unsigned (*source)(int read))
{
    key_source = source;
    sim_read_keys = noted_read_keys;
}

/* The line being counted: `run` ticks of these keys, none yet when 0. */
static stretch line;

void record_flush_line(void)
{
    if (line.ticks == 0)
        return;
    char text[STRETCH_TEXT_MAX];
    record_text.append(text, put_stretch(text, &line));
    line.ticks = 0;
}

/* One tick of keys; a tick whose keys changed across a title screen is a
 * line of its own. */
static void record_keys(unsigned keys, unsigned after)
{
    if (line.ticks && (keys != line.keys || after != line.after || after != keys
                       || line.ticks == SCRIPT_MAX_TICKS))
        record_flush_line();
    if (line.ticks == 0)
        line = {0, keys, after};
    line.ticks++;
}

bool recorded_tick(void)
{
    reads = 0;
    logic();
    ticks_recorded++;
    if (recording)
        record_keys(seen[0], reads > 1 ? seen[1] : seen[0]);
    bool finite = !state_not_finite();
    if (tracing && finite) {
        char row[ROW_TEXT_MAX];
        trace_text.append(row, put_row(row, ticks_recorded));
    }
    if (record_spill && record_text.size() + trace_text.size() >= RECORD_SPILL_AT)
        record_spill();
    return finite;
}

uint64_t car_hash(void)
{
    uint64_t h = 1469598103934665603ull;
    auto mix = [&h](const void *p, size_t n) {
        for (size_t i = 0; i < n; i++) {
            h ^= ((const unsigned char *)p)[i];
            h *= 1099511628211ull;
        }
    };
#define CAR_FIELD_HASH(type, name) mix(&name, sizeof name);
#define CAR_ARRAY_HASH(type, name, n) mix(name, sizeof name);
    CAR_FIELDS(CAR_FIELD_HASH, CAR_ARRAY_HASH)
    return h;
}

/* path as one shell word on one line: as it is when plainly safe; in
 * single quotes when it holds no control character; else as $'...' with
 * each control character as \xHH, which bash, zsh and ksh read back byte
 * for byte.  So the header's lines stay lines, whatever the names. */
std::string shell_word(const char *path)
{
    bool plain = *path != '\0', control = false;
    for (const unsigned char *p = (const unsigned char *)path; *p; p++) {
        plain = plain && (strchr("_./-+=:,@%", *p) || (*p >= '0' && *p <= '9')
                          || ((*p | 0x20) >= 'a' && (*p | 0x20) <= 'z'));
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

/* The header's first words: what tells a recording from any script. */
static const char RECORDING_MARK[] = "# caravelt recording";

void record_header(std::string *out, const char *path, const char *car_file, time_t when,
                   const char *course_file, uint64_t course_hash)
{
    char stamp[64] = "";
    struct tm tm;
    if (gmtime_r(&when, &tm))
        strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S UTC", &tm);
    char hash[32];
    snprintf(hash, sizeof hash, "%016llx", (unsigned long long)car_hash());
    std::string car = car_file ? "--car " + shell_word(car_file) + " " : "";
    car += course_file ? "--course " + shell_word(course_file) + " " : "";
    std::string file = shell_word(path);

    *out += RECORDING_MARK;
    *out += ", begun ";
    *out += stamp;
    *out += "\n# car: ";
    *out += car_file ? shell_word(car_file) : "preset";
    *out += ", parameters hash ";
    *out += hash;
    if (course_file) {
        snprintf(hash, sizeof hash, "%016llx", (unsigned long long)course_hash);
        *out += "\n# course: " + shell_word(course_file) + ", hash " + hash;
    }
    *out += "\n# replay headless: caravelt-sim " + car + "--trace trace.csv " + file;
    *out += "\n# replay in the game: caravelt " + car + "--replay " + file;
    *out += "\n# one line per stretch of ticks: TICKS KEY...; after \"/\", the keys held"
            "\n# when a title screen inside that tick returned\n";
}

bool shell_word_back(const std::string &word, std::string *out)
{
    out->clear();
    size_t n = word.size();
    if (n >= 3 && word.compare(0, 2, "$'") == 0 && word[n - 1] == '\'') {
        for (size_t i = 2; i + 1 < n; i++) {
            unsigned v;
            if (word[i] != '\\')
                *out += word[i];
            else if (i + 2 < n && (word[i + 1] == '\\' || word[i + 1] == '\''))
                *out += word[++i];
            else if (i + 4 < n && word[i + 1] == 'x' && sscanf(word.c_str() + i + 2, "%2x", &v) == 1
                     && isxdigit((unsigned char)word[i + 3]))
                *out += (char)v, i += 3;
            else
                return false;
        }
        return true;
    }
    if (n >= 2 && word[0] == '\'' && word[n - 1] == '\'') {
        for (size_t i = 1; i + 1 < n; i++) {
            if (word[i] != '\'')
                *out += word[i];
            else if (word.compare(i, 4, "'\\''") == 0 && i + 4 < n)
                *out += '\'', i += 3;
            else
                return false;
        }
        return true;
    }
    *out = word;
    return !word.empty() && shell_word(word.c_str()) == word;
}

/* The header line that begins with `label`: its text up to the last
 * `tag`, and the 16 hex digits after; false when there is none such. */
static bool header_line(const std::string &head, const char *label, const char *tag, std::string *word,
                        uint64_t *hash)
{
    for (size_t at = 0; at < head.size();) {
        size_t end = head.find('\n', at);
        std::string line = head.substr(at, end - at);
        at = end == std::string::npos ? head.size() : end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t t = line.rfind(tag);
        if (line.compare(0, strlen(label), label) != 0 || t == std::string::npos)
            continue;
        const char *hex = line.c_str() + t + strlen(tag);
        char *stop;
        *hash = strtoull(hex, &stop, 16);
        *word = line.substr(strlen(label), t - strlen(label));
        return stop == hex + 16 && *stop == '\0';
    }
    return false;
}

recorded_header read_recorded_header(const std::string &head)
{
    recorded_header h;
    h.recording = head.compare(0, strlen(RECORDING_MARK), RECORDING_MARK) == 0;
    if (!h.recording)
        return h;
    std::string word;
    if (header_line(head, "# car: ", ", parameters hash ", &word, &h.car_hash)) {
        h.car_preset = word == "preset";
        h.has_car = h.car_preset || shell_word_back(word, &h.car);
    }
    if (header_line(head, "# course: ", ", hash ", &h.course_word, &h.course_hash))
        h.has_course = shell_word_back(h.course_word, &h.course);
    return h;
}

int check_recorded_course(const script_in *s, const char *course_file, uint64_t hash, char *err,
                          size_t errsize)
{
    recorded_header h = read_recorded_header(s->head);
    if (!h.recording || (h.has_course && course_file && h.course_hash == hash))
        return 0;
    if (h.has_course && course_file)
        snprintf(err, errsize, "%s: recorded on another course, %s (hash %016llx); %s has hash %016llx",
                 s->name, h.course_word.c_str(), (unsigned long long)h.course_hash, course_file,
                 (unsigned long long)hash);
    else if (h.has_course)
        snprintf(err, errsize, "%s: recorded on the course %s: replay it with --course", s->name,
                 h.course_word.c_str());
    else if (course_file)
        snprintf(err, errsize, "%s: recorded without a course: replay it without --course", s->name);
    else
        return 0;
    return 2;
}
