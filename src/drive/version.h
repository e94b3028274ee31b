/*
 * drive/version.h -- what the programs say --version is.
 *
 * Made at every build (tools/version.cmake, into the build folder): the
 * project's version, and the git commit the sources were at, marked when
 * they held changes not committed; outside a git checkout, a plain word
 * that says so.
 */
#ifndef CARAVELT_DRIVE_VERSION_H
#define CARAVELT_DRIVE_VERSION_H

extern const char caravelt_version[];   /* "0.1" */
extern const char caravelt_commit[];    /* "commit 6580bade9d82", or why there is none */

#endif
