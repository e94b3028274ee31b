/*
 * drive/header.h -- the recording's header: comment lines at its start
 * that say when it was made, with which car, on which course, and how to
 * replay it; and the checks a replay makes of its car and course against
 * them.
 *
 *   # caravelt recording, begun 2025-01-31 18:00:00 UTC
 *   # car: /home/me/caravelt/data/cars/drift.toml, parameters hash 0123456789abcdef
 *   # course: /home/me/caravelt/data/courses/slalom.toml, hash 0011223344556677
 *   # replay headless: /home/me/caravelt/build/caravelt-sim --course /home/me/caravelt/data/courses/slalom.toml --trace trace.csv /home/me/r.rec
 *   # replay in the game: /home/me/caravelt/build/caravelt --course /home/me/caravelt/data/courses/slalom.toml --replay /home/me/r.rec
 *
 * The course line only for a drive on a course.  Paths are absolute, each
 * one shell word (shell_word), so the commands work from any folder and
 * the lines read back whatever the names.  The car and course lines have
 * one pattern, "# WHAT: FILE, ... hash HEX", read by header_file.
 */
#ifndef CARAVELT_DRIVE_HEADER_H
#define CARAVELT_DRIVE_HEADER_H

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

#include "sim/state.h"
#include "course/course.h"

/* FNV-1a over the bytes of every parameter of a car, in field order:
 * tells apart recordings made with different cars.  car_hash: the
 * parameter variables, car_hash_of: a car value (the same hash once it is
 * loaded). */
uint64_t car_hash(void);
uint64_t car_hash_of(const car *c);

/* path as one shell word on one line, whatever bytes it holds. */
std::string shell_word(const char *path);

/* The path a shell word stands for, as shell_word writes them (plain,
 * '...' with '\'' for a quote, $'...' with \xHH, \\ and \'); false when
 * word is not one such word whole. */
bool shell_word_read(const std::string &word, std::string *path);

/* Appends the recording's header to out: when it began, which car
 * (car_file, or the preset when null, and the parameter variables' hash),
 * the course driven on when course_file is not null (course_hash: its
 * course_hash()) and the two commands that replay `path`.  The files are
 * named by their absolute paths; the programs too, when they are beside
 * the running binary. */
void record_header(std::string *out, const char *path, const char *car_file, time_t when,
                   const char *course_file = nullptr, uint64_t course_hash = 0);

/* Whether header (a script's leading comment lines) is a recording's: it
 * begins as record_header's does.  Any other script is no recording. */
bool header_is_recording(const std::string &header);

/* ----------------------------------------------------------------------
 * header_file: the line "# WHAT: FILE, HASH_NAME HEX" of header (a
 * script's leading comment lines, script_in::header).  1 with *file (""
 * when the line says `preset` instead of a file) and *hash; 0 when there
 * is no such line well formed.
 * ---------------------------------------------------------------------- */
int header_file(const std::string &header, const char *what, const char *hash_name,
                std::string *file, uint64_t *hash);

/* The car line: header_file(header, "car", "parameters hash", ...); the
 * course line: header_file(header, "course", "hash", ...). */
int header_car(const std::string &header, std::string *file, uint64_t *hash);
int header_course(const std::string &header, std::string *file, uint64_t *hash);

/* ----------------------------------------------------------------------
 * replay_car: the car a replay drives, by its header (`name`, as messages
 * give the recording) and what was asked.  given: --car's file and its
 * car, or null.  Without a car line, the given car or the preset, as any
 * script.  With one:
 *   - a given car drives when it hashes as recorded;
 *   - with none given, the car file named drives when it still reads and
 *     hashes as recorded; or the preset, when that hashes so;
 *   - else the replay is refused: 2, with one line in err naming both
 *     cars and their hashes (and why the named file was not taken);
 *   - force: the given car, or the named file when it reads, or the
 *     preset, whatever their hashes.
 * 0 with *out and *file_used (the car file driven, "" for the preset).
 * ---------------------------------------------------------------------- */
int replay_car(const std::string &header, const char *name, const char *given,
               const car *given_car, bool force, car *out, std::string *file_used,
               char *err, size_t errsize);

/* The car a recording drives on its own (a ghost's): as replay_car with
 * no car given and no force, but a header without a car line is refused
 * too.  0 with *out and *file_used, or 2 with one line in err. */
int recorded_car(const std::string &header, const char *name, car *out, std::string *file_used,
                 char *err, size_t errsize);

/* ----------------------------------------------------------------------
 * replay_course: the course a replay runs on, by its header (`name` as
 * messages give it) and what was asked.  given: --course's file and its
 * course, or null.  A recording runs where it was driven, for the
 * course's start is where its drive began:
 *   - on a given course that hashes as recorded;
 *   - with none given, on the course file named when it still reads and
 *     hashes as recorded;
 *   - on none when it was made on none and none is given;
 *   - else it is refused: 2, with one line in err naming both courses and
 *     their hashes (and why the named file was not taken);
 *   - force: the given course, or the named file when it reads, or none.
 * A script that is no recording runs on the given course or none.
 * 0 with *out and *file_used (the course file run on, "" for none).
 * ---------------------------------------------------------------------- */
int replay_course(const std::string &header, const char *name, const char *given,
                  const course *given_course, bool force, course *out, std::string *file_used,
                  char *err, size_t errsize);

#endif
