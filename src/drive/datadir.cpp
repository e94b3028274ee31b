/*
 * drive/datadir.cpp -- the pictures' folder and the binary's.
 */
#include "drive/datadir.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "drive/files.h"

std::string program_folder(void)
{
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return "";
    path[n] = '\0';
    return folder_of(path);
}

std::string data_path(const std::string &dir, const char *name)
{
    if (dir.empty())
        return name;
    return dir + (dir.back() == '/' ? "" : "/") + name;
}

std::string folder_shown(const std::string &dir)
{
    char *real = realpath(dir.empty() ? "." : dir.c_str(), nullptr);
    std::string shown = real ? real : dir.empty() ? "the current folder" : dir;
    free(real);
    return shown;
}

/* Both pictures are there to be read. */
static bool holds_pictures(const std::string &dir)
{
    for (const char *pic : PICTURE_FILES)
        if (access(data_path(dir, pic).c_str(), R_OK) != 0)
            return false;
    return true;
}

int find_data_dir(const char *given, std::string *dir, char *err, size_t errsize)
{
    if (given) {
        *dir = given;
        return 0;
    }
    if (holds_pictures("")) {
        *dir = "";
        return 0;
    }
    std::string beside = program_folder();
    if (!beside.empty() && holds_pictures(beside + "/data")) {
        *dir = beside + "/data";
        return 0;
    }
    std::string looked = folder_shown("");
    if (!beside.empty())
        looked += " nor in " + beside + "/data";
    snprintf(err, errsize, "cannot find the pictures %s and %s: not in %s (--data DIR names their folder)",
             PICTURE_FILES[1], PICTURE_FILES[0], looked.c_str());
    return -1;
}
