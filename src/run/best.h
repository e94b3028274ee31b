/*
 * run/best.h -- your best lap of a course, kept: for each course (by its
 * hash) and each car (by its parameters' hash) a recording of the drive
 * up to the end of its best lap, raced as the ghost the next time that
 * car drives that course.
 *
 * The folder is $XDG_DATA_HOME/caravelt, else $HOME/.local/share/caravelt
 * (neither set: nothing is kept); the file, best/COURSE-CAR.rec in it,
 * each part the hash in sixteen hex digits.  A faster lap's recording is
 * written whole to a temporary file beside it and renamed over it, so a
 * crash leaves the old best or the new one, never part of either.  A file
 * there that does not drive as this course's and car's best (damaged, or
 * another's) is set aside, renamed with ".set-aside", never fatal.
 */
#ifndef CARAVELT_RUN_BEST_H
#define CARAVELT_RUN_BEST_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "course/race.h"

/* The folder by the rule above, or "" when neither variable is set. */
std::string best_folder(void);

/* The kept best's file in folder for course c and a car of this hash. */
std::string best_file(const std::string &folder, const course *c, uint64_t car_hash);

/* What is kept: the file, and the lap in it. */
struct best_kept {
    std::string path;      /* "" when nothing is kept */
    bool has = false;      /* the file holds a lap */
    double total = 0;      /* s, that lap's total */
};

/* ----------------------------------------------------------------------
 * best_read: the file at k->path, when there, driven headless as a ghost
 * on c (course_name: how messages name c); its best lap's total into k,
 * and, when race is not null, made race's lap to beat.  A file that will
 * not do is set aside and *note says so and why (else *note is empty).
 * ---------------------------------------------------------------------- */
void best_read(best_kept *k, const course *c, const char *course_name, course_race *race, std::string *note);

/* ----------------------------------------------------------------------
 * best_offer: a lap just completed, of this total (s), and the recording
 * of the drive up to it (text: header and keys).  Nothing kept, or a
 * smaller total than the one kept: text is written to k->path in place of
 * the old file (its folder made when missing) and k holds the new total.
 * 1 written, 0 not faster (nothing written), -1 with one line in err.
 * ---------------------------------------------------------------------- */
int best_offer(best_kept *k, double total, const std::string &text, char *err, size_t errsize);

#endif
