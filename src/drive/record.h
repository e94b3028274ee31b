/*
 * drive/record.h -- a drive written down as it runs: each tick's keys as a
 * driving script (script.h) and the state as trace rows (trace.h).
 *
 * Both go to text in memory while ticks run; the caller writes the text
 * out between frames and empties it, so a tick rarely waits on a file.
 * However many ticks run back to back (the ticks owed after a long title
 * screen, or a stopped process), the text waiting stays bounded: past
 * RECORD_SPILL_AT bytes, a tick hands it to record_spill at once.
 *
 * What a tick's keys are is what the simulation's key seam handed out in
 * it: the mask read at the start of the controls, and, when a title screen
 * came up inside the tick, the mask read when it returned.  Those two
 * masks make the tick's line ("1 Q Up / Up R" when they differ).
 */
#ifndef CARAVELT_DRIVE_RECORD_H
#define CARAVELT_DRIVE_RECORD_H

#include <cstdint>
#include <ctime>
#include <string>

#include "script.h"

/* Text waiting to be written out; whoever writes it clears it. */
extern std::string record_text;   /* script lines, once recording is on */
extern std::string trace_text;    /* trace rows, once tracing is on */
extern bool recording, tracing;

/* Ticks run through recorded_tick so far: the trace's tick column. */
extern uint64_t ticks_recorded;

/* Text waiting past this many bytes is written out after the tick that
 * made it, through record_spill (which must empty it). */
enum { RECORD_SPILL_AT = 1 << 20 };
extern void (*record_spill)(void);

/* Points the simulation's key seam at source, through a note of what it
 * hands out.  source(0) is asked at the start of the controls, source(1)
 * when a title screen inside the tick has returned. */
void record_keys_from(unsigned (*source)(int read));

/* ----------------------------------------------------------------------
 * recorded_tick: logic(), then the tick's keys added to the recording
 * and its row to the trace (each when on).  Consecutive ticks with the
 * same keys make one line, closed when the keys change or by
 * record_flush_line.  A tick that leaves a state that is not finite
 * (state_not_finite) gets no trace row; false then, else true.
 * ---------------------------------------------------------------------- */
bool recorded_tick(void);

/* Appends the line still being counted to record_text: the recording is
 * then complete up to the last tick run.  Ticks after it start a new line
 * (two lines with the same keys replay as one). */
void record_flush_line(void);

/* FNV-1a over the bytes of every car parameter variable, in field order:
 * tells apart recordings made with different cars. */
uint64_t car_hash(void);

/* path as one shell word on one line, whatever bytes it holds. */
std::string shell_word(const char *path);

/* Appends the recording's comment header to out: when it began, which
 * car (car_file, or the preset when null), the course driven on when
 * course_file is not null (course_hash: course_hash() of it) and how to
 * replay `path`. */
void record_header(std::string *out, const char *path, const char *car_file, time_t when,
                   const char *course_file = nullptr, uint64_t course_hash = 0);

/* A shell word as shell_word writes it, back to the bytes it stands for;
 * false when word is not one shell_word could have written. */
bool shell_word_back(const std::string &word, std::string *out);

/* What a recording's header (script_in::head) says of its car and course;
 * nothing of either in a script that is not a recording. */
struct recorded_header {
    bool recording = false;              /* the head begins as record_header's does */
    bool has_car = false, car_preset = false;
    std::string car;                     /* the car file, when not the preset */
    uint64_t car_hash = 0;
    bool has_course = false;
    std::string course, course_word;     /* the course file, and as the header writes it */
    uint64_t course_hash = 0;
};
recorded_header read_recorded_header(const std::string &head);

/* ----------------------------------------------------------------------
 * check_recorded_course: a recording is replayed on the course it was
 * driven on, or none when it was driven on none: the course's start is
 * where its drive began.  course_file null: no course; else hash is its
 * course_hash().  A script that is no recording goes anywhere.  0, or 2
 * with one line in err naming the script.
 * ---------------------------------------------------------------------- */
int check_recorded_course(const script_in *s, const char *course_file, uint64_t hash, char *err,
                          size_t errsize);

#endif
