/*
 * drive/files.cpp -- telling whether two names are one file, and whether
 * an open file is still there.
 */
#include "drive/files.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

std::string folder_of(const char *path)
{
    const char *slash = strrchr(path, '/');
    if (!slash)
        return ".";
    return slash == path ? "/" : std::string(path, slash);
}

static file_id id_of_stat(const struct stat &st)
{
    file_id id;
    id.exists = true;
    id.regular = S_ISREG(st.st_mode);
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    return id;
}

std::string absolute_path(const char *path)
{
    std::string dir = folder_of(path);
    const char *slash = strrchr(path, '/');
    char *real = realpath(dir.c_str(), nullptr);
    std::string abs = real ? std::string(real) : dir;
    free(real);
    return abs + (abs.back() == '/' ? "" : "/") + (slash ? slash + 1 : path);
}

file_id id_of_path(const char *path)
{
    struct stat st;
    if (stat(path, &st) == 0)
        return id_of_stat(st);
    file_id id;
    id.path = absolute_path(path);
    return id;
}

file_id id_of_fd(int fd)
{
    struct stat st;
    return fstat(fd, &st) == 0 ? id_of_stat(st) : file_id{};
}

bool same_file(const file_id &a, const file_id &b)
{
    if (a.exists || b.exists)
        return a.exists && b.exists && a.regular && a.dev == b.dev && a.ino == b.ino;
    return a.path == b.path;
}

bool same_file(const char *a, const char *b)
{
    return same_file(id_of_path(a), id_of_path(b));
}

int check_run_files(const std::vector<run_file> &files, char *err, size_t errsize)
{
    for (size_t out = 0; out < files.size(); out++) {
        if (!files[out].output)
            continue;
        for (size_t other = 0; other < files.size(); other++) {
            const run_file &a = files[out], &b = files[other];
            if (other == out || (b.output && other > out) || !same_file(a.id, b.id))
                continue;
            if (b.output)
                snprintf(err, errsize, "%s \"%s\" and %s \"%s\" are the same file",
                         a.what.c_str(), a.name.c_str(), b.what.c_str(), b.name.c_str());
            else
                snprintf(err, errsize, "%s \"%s\" would overwrite %s \"%s\"", a.what.c_str(),
                         a.name.c_str(), b.what.c_str(), b.name.c_str());
            return -1;
        }
    }
    return 0;
}

bool file_removed(int fd)
{
    struct stat st;
    return fstat(fd, &st) == 0 && st.st_nlink == 0;
}

const char *failure_text(int failure)
{
    if (failure == FILE_REMOVED)
        return "the file was removed while it was being written";
    return strerror(failure);
}
