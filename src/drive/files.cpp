/*
 * drive/files.cpp -- telling whether two names are one file.
 */
#include "files.h"

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

file_id id_of_path(const char *path)
{
    struct stat st;
    if (stat(path, &st) == 0)
        return id_of_stat(st);
    file_id id;
    std::string dir = folder_of(path);
    const char *slash = strrchr(path, '/');
    char *real = realpath(dir.c_str(), nullptr);
    id.path = (real ? std::string(real) : dir) + "/" + (slash ? slash + 1 : path);
    free(real);
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
