/*
 * drive/files.h -- which file a name stands for, so that no output of the
 * game or of caravelt-sim overwrites its own input or another output.
 *
 * Device and inode where the file exists; where it does not yet, its path
 * with the folder resolved.  Only regular files (or ones still to be
 * made) can be one another: a device such as /dev/null may be named for
 * two outputs.
 */
#ifndef CARAVELT_DRIVE_FILES_H
#define CARAVELT_DRIVE_FILES_H

#include <string>
#include <sys/types.h>

struct file_id {
    bool exists = false, regular = false;
    dev_t dev = 0;
    ino_t ino = 0;
    std::string path;   /* when it does not exist: folder resolved, then name */
};

/* The folder a file at path is in (or would go in): "." for a bare name. */
std::string folder_of(const char *path);

file_id id_of_path(const char *path);
file_id id_of_fd(int fd);

/* Whether the two stand for one file. */
bool same_file(const file_id &a, const file_id &b);
bool same_file(const char *a, const char *b);

#endif
