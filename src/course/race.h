/*
 * course/race.h -- a course as the game and caravelt-sim drive it: the
 * car's progress, the lap to beat and its ghost, the split a timing
 * screen shows, and R after the last lap beginning the laps again.  Both
 * front ends count a drive through here, so a recording counts the same
 * in either; a fleet counts each car's timing here too, without the
 * race's lap given and targets.  No game library: the drawing is in
 * present/.
 */
#ifndef CARAVELT_COURSE_RACE_H
#define CARAVELT_COURSE_RACE_H

#include <string>
#include <vector>

#include "course.h"

/* What the timing screen shows under the times: the split at the gate
 * passed last, or the lap just done, each against the lap to beat. */
struct course_split {
    enum : uint8_t { NONE, GATE, LAP } kind;
    bool compared;      /* there was a lap to beat (at a gate: and its split there is kept) */
    int number;         /* GATE: the gate's number (2 for the second); LAP: the lap's */
    double time;        /* s: the split, or the lap's total */
    double delta;       /* s, when compared: time less the lap to beat's; < 0 ahead */
};

/* A lap time to beat (a shipped course's bronze, silver or gold): its
 * name and its total, s. */
struct course_target {
    std::string name;
    double total;
};

/* One car's count on a course and what its timing screen shows of it:
 * all that a fleet keeps of a car on its course. */
struct course_timing {
    course_progress p;
    course_split split = {};

    /* The laps completed since the laps last began (at the start, or R
     * after the last lap), in order: the result's. */
    std::vector<course_lap_head> laps;
};

/* A race: a timing (p keeping its laps' splits, and their poses when
 * asked) with its course, a lap given to beat and targets. */
struct course_race : course_timing {
    const course *c = nullptr;

    /* A lap from elsewhere to beat (--ghost: a recording's best on this
     * course), when has_given: its numbers and its car's pose after each
     * of its ticks.  It stays the lap to beat until a lap of this car's
     * has a smaller total. */
    bool has_given = false;
    course_lap given = {};
    std::vector<course_pose> given_poses;

    /* Targets to beat, slowest first; none unless a front end loads them. */
    std::vector<course_target> targets;
};

/* r fresh on c: no tick counted, no lap, no lap given.  The laps' splits
 * kept, and with keep_poses their poses too, for a ghost
 * (course_progress_start); standing: each run of laps begins with a
 * standing start's countdown. */
void race_start(course_race *r, const course *c, bool keep_poses = true, bool standing = false);

/* r as race_start left it, but the lap given kept: the drive counted
 * again from its first tick (a replay run again from its start). */
void race_again(course_race *r);

/* ----------------------------------------------------------------------
 * race_after_tick: the tick this thread's car has just run, from (x0,
 * y0), counted on the course (course_after_tick) and the split noted.  A
 * tick with R held after the last lap begins the laps again first
 * (course_progress_again).  Returns the COURSE_ bits.
 * ---------------------------------------------------------------------- */
unsigned race_after_tick(course_race *r, float x0, float y0);

/* t fresh on c, keeping nothing but its laps' heads (a fleet's car): no
 * tick counted, no lap, no standing start. */
void timing_start(course_timing *t, const course *c);

/* race_after_tick of t on c, with no lap given: the lap to beat is t's
 * own best, and a gate's split is compared with its split there only
 * when t keeps splits. */
unsigned timing_after_tick(const course *c, course_timing *t, float x0, float y0);

/* The lap to beat: the best of this car's laps and the lap given, by
 * total (a tie keeps the one that was first); null before there is any. */
const course_lap_head *race_best(const course_race *r);

/* The slowest target no lap of this drive has beaten (a smaller total),
 * or null: none loaded, or every one beaten. */
const course_target *race_next_target(const course_race *r);

/* Whether a lap in r->laps (this run of laps) beats target t. */
bool race_beat(const course_race *r, const course_target *t);

/* Where the car of the lap to beat stood as far into its lap as this car
 * is into its own (k ticks after the tick that began each), or null:
 * outside a lap, no lap to beat, or past its end. */
const course_pose *race_ghost(const course_race *r);

#endif
