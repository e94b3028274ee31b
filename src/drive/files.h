/*
 * drive/files.h -- which file a name stands for, so that no output of the
 * game or of caravelt-sim overwrites its own input or another output;
 * and whether an output is still there to be written.
 *
 * Device and inode where the file exists; where it does not yet, its path
 * with the folder resolved.  Only regular files (or ones still to be
 * made) can be one another: a device such as /dev/null may be named for
 * two outputs.
 */
#ifndef CARAVELT_DRIVE_FILES_H
#define CARAVELT_DRIVE_FILES_H

#include <cstddef>
#include <string>
#include <sys/types.h>
#include <vector>

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

/* One file a run reads or writes: what messages call it ("the trace"),
 * the name it was given, and which file that is. */
struct run_file {
    std::string what;
    std::string name;
    file_id id;
    bool output;
};

/* The one rule of both programs: no output may be any file the run reads
 * (car files, scripts and recordings, pictures) nor another output.  0,
 * or -1 with one line in err for the first output that is:
 *   the trace "my.toml" would overwrite the car file "my.toml"
 *   the frame "a.bmp" and the trace "a.bmp" are the same file */
int check_run_files(const std::vector<run_file> &files, char *err, size_t errsize);

/* Whether the file open as fd has been removed (its last name unlinked,
 * its folder deleted): what is written to it then is lost. */
bool file_removed(int fd);

/* Kept as a write's failure where an errno would be: the file was removed. */
enum { FILE_REMOVED = -1 };

/* A failure as messages give it: errno's text, or that the file was removed. */
const char *failure_text(int failure);

#endif
