/*
 * drive/header.h -- the recording's header: comment lines at its start
 * that say when it was made, with which car, on which course, and how to
 * replay it; and the checks a replay makes of its car and course against
 * them.
 *
 *   # caravelt recording, begun 2025-01-31 18:00:00 UTC
 *   # car: /home/me/caravelt/data/cars/drift.toml, parameters hash 0123456789abcdef
 *   # course: /home/me/caravelt/data/courses/slalom.toml, hash 0011223344556677
 *   # start: standing
 *   # ghost: /home/me/slalom.rec, hash 8899aabbccddeeff
 *   # replay headless: /home/me/caravelt/build/caravelt-sim --course /home/me/caravelt/data/courses/slalom.toml --trace trace.csv /home/me/r.rec
 *   # replay in the game: /home/me/caravelt/build/caravelt --course /home/me/caravelt/data/courses/slalom.toml --replay /home/me/r.rec
 *
 * The course line only for a drive on a course, the start line only for
 * one begun with a standing start (course/course.h), the ghost line only
 * for one raced against a ghost (its file and the hash of its bytes).  Paths are absolute, each
 * one shell word (shell_word), so the commands work from any folder and
 * the lines read back whatever the names.  The car and course lines have
 * one pattern, "# WHAT: FILE, ... hash HEX", read by header_file.  Which
 * car and course a replay then drives is run/'s rule (run/choose.h).
 */
#ifndef CARAVELT_DRIVE_HEADER_H
#define CARAVELT_DRIVE_HEADER_H

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

#include "course/course.h"
#include "drive/script.h"
#include "sim/state.h"

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
                   const char *course_file = nullptr, uint64_t course_hash = 0, bool standing = false,
                   const char *ghost_file = nullptr, uint64_t ghost_hash = 0);

/* FNV-1a over the bytes of the file at path: names a ghost's file.  0
 * with *hash, or -1 when it cannot be read. */
int file_hash(const char *path, uint64_t *hash);

/* Whether header (a script's leading comment lines) is a recording's: it
 * begins as record_header's does.  Any other script is no recording. */
bool header_is_recording(const std::string &header);

/* ----------------------------------------------------------------------
 * header_file: the line "# WHAT: FILE, HASH_NAME HEX" of in's header,
 * FILE one shell word or `preset`, HEX sixteen lower-case hexadecimal
 * digits, as record_header writes it (a CR before the newline aside).
 * 1 with *file ("" for `preset`) and *hash; 0 when there is none.  In a
 * recording's header (header_is_recording) a line beginning "# WHAT:"
 * that does not read so, or a header too long to keep whole, is -1, err
 * then saying "NAME:LINE: the car line does not read: why": never taken
 * as absent.  In any other script such a line is a comment.
 * header_course reads only a recording's: a plain script runs on the
 * course given.
 * ---------------------------------------------------------------------- */
int header_file(const script_in *in, const char *what, const char *hash_name, std::string *file,
                uint64_t *hash, char *err, size_t errsize);

/* The car line: header_file(in, "car", "parameters hash", ...); the
 * course line: header_file(in, "course", "hash", ...). */
int header_car(const script_in *in, std::string *file, uint64_t *hash, char *err, size_t errsize);
int header_course(const script_in *in, std::string *file, uint64_t *hash, char *err, size_t errsize);

/* The ghost line, header_file(in, "ghost", "hash", ...), a recording's only. */
int header_ghost(const script_in *in, std::string *file, uint64_t *hash, char *err, size_t errsize);

/* The start line of a recording's header, "# start: standing": 1 when it
 * is there, 0 when not (and for any script that is no recording); -1 for
 * a line beginning "# start:" that reads otherwise, err saying
 * "NAME:LINE: the start line does not read: ...", never taken as absent. */
int header_start(const script_in *in, char *err, size_t errsize);

/* A hash as the header and the refusals write it: sixteen hex digits. */
std::string hex16(uint64_t h);

#endif
