/*
 * course/course.h -- courses: gates and cones on the tarmac, timed laps
 * with splits, and the best lap's poses for a ghost.
 *
 * A course file (TOML, lengths in metres from the screen's top-left
 * corner, y down, angles in degrees clockwise from up):
 *
 *   name = "Slalom"
 *   start = { x = 8.0, y = 38.4, heading = 90.0 }   # where start-up and R put the car
 *   laps = 3                                          # 0: no limit
 *   penalty = 2.0                                     # seconds per cone knocked
 *   [[gate]]                                          # in driving order; the first is
 *   a = [14.0, 34.4]                                  # start and finish
 *   b = [14.0, 42.4]
 *   [[cone]]
 *   at = [26.0, 36.4]
 *
 * Kept in pixels (10 a metre), each number rounded once from its decimal
 * text to the stored float.  Everything that counts is worked out here, in
 * double from those floats and the car's, once per tick, for every front
 * end alike: the game, caravelt-sim and a fleet of cars in Python.  A
 * course is read once and then only read, so any number of threads may
 * count their own cars on one course, each with its own progress value.
 *
 * What counts, per tick, from the car's centre before and after it, its
 * heading after it and whether R was held in it:
 *   - a gate is passed when the centre's move crosses its segment, each
 *     segment's ends strictly on opposite sides of the other's line
 *     (touching is not crossing); the move is taken the short way across
 *     a screen edge.  Only the next gate in order counts.
 *   - passing the first gate begins a lap; passing it again after all the
 *     others ends that lap and begins the next.  A lap's time is its ticks
 *     / 100 s; its splits, the ticks from its start to each later gate.
 *   - a cone is knocked when, after the tick, the car's footprint (2.2 m by
 *     4.4 m, centred on the car, long side along AxisAngle) comes nearer
 *     than 0.25 m to it, across the screen's wrap too; once per lap, and it
 *     lies fallen until that lap ends.  Only cones knocked in a lap count;
 *     the gates of a tick come first, so a cone knocked in the tick that
 *     ends a lap counts for the next.
 *   - a tick with R held passes no gate and abandons the lap in progress.
 *   - a lap goes by its next gate (missed) when a move that does not pass
 *     it crosses its line within a gate's length beyond a post (beside
 *     it), or passes a gate later in the lap (the start gate once the lap
 *     is past its second); it is said once, and holds
 *     until the gate is passed, R, or the lap ends.  Nothing else changes:
 *     the lap goes on once the car has gone back through the gate.
 *   - with a standing start, no gate counts during the countdown; the
 *     tick that ends it begins a lap, the car on the line; R begins the
 *     countdown again.
 * Nothing here writes the car: the drive is the same with or without one.
 */
#ifndef CARAVELT_COURSE_COURSE_H
#define CARAVELT_COURSE_COURSE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

/* The screen the car drives on, in pixels, and its scale. */
inline constexpr int COURSE_SCREEN_W = 1024, COURSE_SCREEN_H = 768, COURSE_PX_PER_M = 10;

/* The timing box the game draws over a course, px: its size, and where it
 * stands unless the course file says (`timing`, its top-left corner). */
inline constexpr int COURSE_TIMING_W = 360, COURSE_TIMING_H = 66, COURSE_TIMING_X = 332, COURSE_TIMING_Y = 42;

/* A standing start's countdown: 3 s of ticks, the car held on the line. */
inline constexpr int COURSE_COUNTDOWN = 300;

/* The poses kept of one lap at most: an hour of it (4.3 MB). */
inline constexpr size_t COURSE_POSES_MAX = 360000;

/* What a course file may hold at most. */
inline constexpr int COURSE_GATES_MAX = 100, COURSE_CONES_MAX = 2000, COURSE_NAME_MAX = 80;

struct course_point { float x, y; };          /* px from the top-left, y down */
struct course_gate { course_point a, b; };    /* a segment, passed either way */

struct course {
    std::string name;
    course_point start;                       /* where start-up and R put the car */
    float heading;                            /* deg, the car's heading there */
    int laps;                                 /* laps that count; 0: no limit */
    float penalty;                            /* s added to a lap per cone knocked */
    std::vector<course_gate> gates;           /* in driving order; [0] starts and finishes */
    std::vector<course_point> cones;          /* their centres */
    std::string text;                         /* the file's text it was read from, if any */
    course_point timing = {COURSE_TIMING_X, COURSE_TIMING_Y};   /* the timing box's top-left corner;
                                                 no drive changes with it, so not hashed */

    /* Made by course_index: for each 32 px cell of the screen, the cones a
     * car centred in it could touch and the gates a move ending in it could
     * pass, so that a tick looks at a handful or none. */
    std::vector<uint32_t> cell_first;         /* cell c's cones: cell_cones[cell_first[c] ..
                                                 cell_first[c + 1]) */
    std::vector<uint16_t> cell_cones;
    std::vector<uint64_t> cell_gates;         /* bit g % 64 of word 2 c + g / 64: gate g */
};

/* ----------------------------------------------------------------------
 * read_course_file: the course in the file at path.  0 with *out filled
 * (indexed, ready to count), or -1 with *out untouched and one line in
 * err, "PATH:LINE: reason" where the fault has a line, else "PATH:
 * reason".  Refused: TOML syntax, unknown keys, wrong types, numbers not
 * finite or beyond a float, a point off the screen, a gate of zero
 * length, no gate, more than COURSE_GATES_MAX gates or COURSE_CONES_MAX
 * cones, a negative penalty or lap count, a heading outside 0 to 360, no
 * start, a timing box that would not fit on the screen, a name with control characters or longer than COURSE_NAME_MAX
 * bytes.  Without `name` the course is named after the file (its last
 * part, less the extension); without `laps`, no limit; without
 * `penalty`, 0.
 * ---------------------------------------------------------------------- */
int read_course_file(const char *path, course *out, char *err, size_t errsize);

/* read_course_file of a course file's text, named path (whose last part
 * names the course when the text does not). */
int read_course_text(const char *path, const std::string &text, course *out, char *err, size_t errsize);

/* Builds c's index of cones and gates; the reader calls it, and so must
 * whoever makes or changes a course in code.  0, or -1 (nothing built, so
 * not to be counted on) when c has no gate, more than COURSE_GATES_MAX
 * gates or more than COURSE_CONES_MAX cones. */
int course_index(course *c);

/* FNV-1a over the course's values (name, start, laps, penalty, gates,
 * cones): names the course a recording was driven on. */
uint64_t course_hash(const course *c);

/* On this thread's car: R puts it at c's start from now on, and it is put
 * there now, stopped, heading included (a fresh car starts so). */
void course_start(const course *c);

/* A standing start: the car's centre on the start gate's middle, the
 * start's heading. */
course_point course_line(const course *c);

/* course_start, but on the line (course_line) and in first gear: where a
 * standing start puts the car, and R then. */
void course_start_standing(const course *c);

/* ----------------------------------------------------------------------
 * Progress: what one car has done on a course.  A plain value, one per
 * car, changed only by course_count.
 * ---------------------------------------------------------------------- */

/* Where the car stood after a tick: x, y in px, angle its AxisAngle. */
struct course_pose { float x, y, angle; };

/* One lap: its number, the tick that began it (the count of ticks
 * course_count has seen, 1 for the first), its ticks, the cones it knocked
 * and the ticks from its start to each gate after the first (splits[0]
 * for the second gate).  In progress, ticks is 0 and splits are filled as
 * the gates are passed. */
struct course_lap {
    int lap;
    uint64_t start_tick, ticks;
    int cones;
    uint64_t splits[COURSE_GATES_MAX - 1];
};

struct course_progress {
    /* A standing start: every lap run begins on the line, COURSE_COUNTDOWN
     * ticks after the start or the last tick with R held, the car held
     * meanwhile; set before course_progress_start, which keeps it. */
    bool standing = false;
    int countdown;             /* ticks of the countdown left; 0 once it is over */
    uint64_t tick;             /* ticks counted */
    bool in_lap;               /* a lap is being timed */
    int next_gate;             /* the gate that counts next (0 outside a lap) */
    int laps_done;             /* laps completed */
    course_lap now;            /* the lap in progress, while in_lap */
    course_lap last, best;     /* the last completed lap; the one with the least total */
    bool has_best;             /* best (and last) hold a lap */
    int missed;                /* the next gate's number (1 the start gate) once the lap in progress
                                  has gone by it (course_count); 0 when it has not */
    std::vector<uint8_t> knocked;   /* per cone, 1 while it lies fallen */

    /* The car's pose after each tick of the lap in progress, from the tick
     * that began it (poses[k]: k ticks into the lap), and likewise of the
     * best lap, its end included: a ghost k ticks into a lap stands at
     * best_poses[k].  Reused from lap to lap; kept only when keep_poses,
     * and for a lap's first COURSE_POSES_MAX ticks only, so that memory
     * stays bounded however long a lap takes. */
    bool keep_poses;
    std::vector<course_pose> poses, best_poses;

    /* The sine and cosine of the last heading a cone was checked at. */
    uint32_t angle_bits;
    double angle_sin, angle_cos;
};

/* p fresh for course c: no tick counted, no lap, every cone standing, and
 * with a standing start the countdown begun.
 * keep_poses: note the laps' poses, for a ghost (some 12 bytes a tick of
 * the lap in progress and of the best; a fleet that draws none saves it). */
void course_progress_start(course_progress *p, const course *c, bool keep_poses = true);

/* A progress from outside (a pickle) for course c: each count within
 * c's gates, cones and laps, no lap's poses.  0, or -1 with why in err. */
int course_progress_check(const course_progress *p, const course *c, char *err, size_t errsize);

/* After the course's last lap: its laps begin again, as at the start (lap
 * 1 next, once the start gate is passed; every cone standing), with the
 * ticks counted and the best lap and its poses kept.  Nothing else
 * counts after the last lap; the game and caravelt-sim call this on a
 * tick with R held then (course_race). */
void course_progress_again(course_progress *p, const course *c);

/* Whether p has done c's last lap (never, when c has no limit). */
inline bool course_finished(const course *c, const course_progress *p)
{
    return c->laps && p->laps_done >= c->laps;
}

/* One tick's move: the car's centre before and after it (px, as the
 * simulation holds them, before or after its screen wrap), its AxisAngle
 * after it, and whether R was held in it. */
struct course_move {
    float x0, y0, x1, y1, angle;
    bool reset;
};

/* What a tick did, as bits of course_count's result. */
enum {
    COURSE_LAP_BEGUN = 1,      /* p->now is a new lap */
    COURSE_GATE = 2,           /* a gate after the first: p->now.splits has its split */
    COURSE_LAP_DONE = 4,       /* p->last is the lap just completed */
    COURSE_FINISHED = 8,       /* ... and it was the course's last */
    COURSE_CONE = 16,          /* a cone knocked that counts */
    COURSE_ABANDONED = 32,     /* R: the lap in progress is dropped */
    COURSE_COUNTING = 64,      /* a standing start's countdown runs (or begins again: R) */
    COURSE_MISSED = 128,       /* the lap has just gone by the next gate: p->missed says which */
};

/* ----------------------------------------------------------------------
 * course_count: counts one tick of p's car on c (see the top of this
 * file); returns what happened as COURSE_ bits.
 * ---------------------------------------------------------------------- */
unsigned course_count(const course *c, course_progress *p, const course_move *m);

/* course_count for the tick this thread's car has just run: the move
 * from (x0, y0), its place before the tick, to x, y; AxisAngle; R as the
 * tick's KeyMask held it. */
unsigned course_after_tick(const course *c, course_progress *p, float x0, float y0);

/* A lap's total in seconds: its time plus the penalty per cone. */
double course_lap_total(const course *c, const course_lap *l);

/* ----------------------------------------------------------------------
 * Lap rows, CSV: "lap,start_tick,ticks,cones,time_s,total_s" and a split
 * column per gate after the first, "gate2_s,gate3_s,..."; times to the
 * hundredth.  Each appends one line, with its newline, to out.
 * ---------------------------------------------------------------------- */
void course_laps_header(std::string *out, const course *c);
void course_lap_row(std::string *out, const course *c, const course_lap *l);

#endif
