/*
 * headless/sim_tool.h -- caravelt-sim: the game's simulation driven by a
 * script, with no timer, window or title screen.
 *
 *   caravelt-sim [--car FILE] [--force] [--course FILE [--laps FILE.csv] [--standing-start]] [--trace FILE]
 *                [--frame FILE.bmp] [--data DIR] [--quiet] [SCRIPT]
 *   caravelt-sim --course FILE --best-lap [--budget SECONDS | --budget-drives N] [--seed N]
 *                [--record FILE] [--laps FILE.csv] [--car FILE] [--threads N] [--quiet]
 *   caravelt-sim --sheet [--car FILE]... [--shift RPM] [--runs FILE.csv]
 *                [--course FILE [--budget-drives N]]
 *   caravelt-sim --sheet --vary NAME=FROM:TO:STEP... [--car FILE] [--shift RPM]
 *                [--course FILE [--budget-drives N]] [--threads N] [--shard K/N] [--quiet]
 *   caravelt-sim [-h | --help] [--version]
 *
 * Exit status: 0 done; 1 a trace, laps or frame that cannot be made
 * (missing picture, unwritable output), or a course the driver found no
 * clean drive of; 2 bad usage or a bad script, refused
 * before anything runs or is written.  Every failure is one line on
 * standard error.
 */
#ifndef CARAVELT_HEADLESS_SIM_TOOL_H
#define CARAVELT_HEADLESS_SIM_TOOL_H

/* The whole program; returns the exit status.  Callable more than once
 * in a process (the benchmarks do). */
int sim_tool_main(int argc, char **argv);

#endif
