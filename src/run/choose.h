/*
 * run/choose.h -- which car and course a script or a recording runs with:
 * the rules of a recording's header (drive/header.h), for every front
 * end alike.
 *
 * A recording names its car and its course by file and hash.  It is
 * driven with the car it was recorded with and on the course it was
 * driven on (the course's start is where its drive began), or refused,
 * unless forced.  A header line that names a file but does not read is
 * refused too, never taken as absent.  A script that is no recording
 * runs with what is given.  Each function returns 0, or -1 with one
 * line in err (the front ends refuse with status 2).
 */
#ifndef CARAVELT_RUN_CHOOSE_H
#define CARAVELT_RUN_CHOOSE_H

#include <cstddef>
#include <string>

#include "course/course.h"
#include "drive/script.h"
#include "sim/state.h"

/* ----------------------------------------------------------------------
 * replay_car: the car a replay of `in` (checked, so its header is read)
 * drives, by its header and what was asked.  given: --car's file and its
 * car, or null.  Without a car line, the given car or the preset, as any
 * script.  With one:
 *   - a given car drives when it hashes as recorded;
 *   - with none given, the car file named drives when it still reads and
 *     hashes as recorded; or the preset, when that hashes so;
 *   - else the replay is refused, naming both cars and their hashes (and
 *     why the named file was not taken);
 *   - force: the given car, or the named file when it reads, or the
 *     preset, whatever their hashes.
 * 0 with *out and *file_used (the car file driven, "" for the preset).
 * ---------------------------------------------------------------------- */
int replay_car(const script_in *in, const char *given, const car *given_car, bool force, car *out,
               std::string *file_used, char *err, size_t errsize);

/* The car a recording drives on its own (a ghost's): as replay_car with
 * no car given and no force, but a header without a car line is refused
 * too. */
int recorded_car(const script_in *in, car *out, std::string *file_used, char *err, size_t errsize);

/* ----------------------------------------------------------------------
 * replay_course: the course a replay of `in` runs on, by its header and
 * what was asked.  given: --course's file and its course, or null:
 *   - on a given course that hashes as recorded;
 *   - with none given, on the course file named when it still reads and
 *     hashes as recorded;
 *   - on none when it was made on none and none is given;
 *   - else it is refused, naming both courses and their hashes (and why
 *     the named file was not taken);
 *   - force: the given course, or the named file when it reads, or none.
 * A script that is no recording runs on the given course or none.
 * 0 with *out and *file_used (the course file run on, "" for none).
 * ---------------------------------------------------------------------- */
int replay_course(const script_in *in, const char *given, const course *given_course, bool force,
                  course *out, std::string *file_used, char *err, size_t errsize);

/* ----------------------------------------------------------------------
 * replay_start: whether a drive of `in` begins with a standing start
 * (course/course.h): a recording as its header's start line says, any
 * other script as asked (given).  Asked of a recording made without one,
 * it is refused, unless forced (then as asked): the same keys would
 * drive another drive.  0 with *standing.
 * ---------------------------------------------------------------------- */
int replay_start(const script_in *in, bool given, bool force, bool *standing, char *err, size_t errsize);

#endif
