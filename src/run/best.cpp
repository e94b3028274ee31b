/*
 * run/best.cpp -- your best lap of a course, kept (see best.h).
 */
#include "run/best.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "drive/header.h"
#include "run/ghost.h"

std::string best_folder(void)
{
    const char *xdg = getenv("XDG_DATA_HOME"), *home = getenv("HOME");
    if (xdg && *xdg)
        return std::string(xdg) + "/caravelt";
    if (home && *home)
        return std::string(home) + "/.local/share/caravelt";
    return "";
}

std::string best_file(const std::string &folder, const course *c, uint64_t car_hash)
{
    return folder + "/best/" + hex16(course_hash(c)) + "-" + hex16(car_hash) + ".rec";
}

void best_read(best_kept *k, const course *c, const char *course_name, course_race *race, std::string *note)
{
    note->clear();
    k->has = false;
    if (k->path.empty() || access(k->path.c_str(), F_OK) != 0)
        return;
    run_drive g;
    course_race lap;
    char err[1024];
    bool good = ghost_open(&g, k->path.c_str(), c, course_name, err, sizeof err) == 0
                && ghost_drive(&g, race ? race : &lap, err, sizeof err) == 0;
    drive_close(&g);
    if (good) {
        k->has = true;
        k->total = course_lap_total(c, race ? &race->given : &lap.given);
        return;
    }
    std::string aside = k->path + ".set-aside";
    *note = "the best kept in " + k->path + " will not do (" + err + "): "
            + (rename(k->path.c_str(), aside.c_str()) == 0 ? "set aside as " + aside
                                                            : std::string("cannot set it aside: ") + strerror(errno));
}

/* The folders of path made, as mkdir -p does. */
static void make_folders(const std::string &path)
{
    for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1))
        mkdir(path.substr(0, at).c_str(), 0777);
}

/* All of text into fd; 0, or the errno. */
static int write_all(int fd, const std::string &text)
{
    for (size_t at = 0; at < text.size();) {
        ssize_t n = write(fd, text.data() + at, text.size() - at);
        if (n < 0 && errno != EINTR)
            return errno;
        if (n > 0)
            at += (size_t)n;
    }
    return fsync(fd) == 0 ? 0 : errno;
}

int best_offer(best_kept *k, double total, const std::string &text, char *err, size_t errsize)
{
    if (k->path.empty() || (k->has && total >= k->total))
        return 0;
    make_folders(k->path);
    std::string temp = k->path + ".new-" + std::to_string(getpid());
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    int e = fd < 0 ? errno : write_all(fd, text);
    if (fd >= 0 && close(fd) != 0 && !e)
        e = errno;
    if (!e && rename(temp.c_str(), k->path.c_str()) != 0)
        e = errno;
    if (e) {
        unlink(temp.c_str());
        snprintf(err, errsize, "cannot keep the best lap in %s: %s", k->path.c_str(), strerror(e));
        return -1;
    }
    k->has = true;
    k->total = total;
    return 1;
}
