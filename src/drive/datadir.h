/*
 * drive/datadir.h -- where the game and caravelt-sim find their pictures,
 * and where their binaries are.
 *
 * --data DIR names the folder.  Without it, the folder the program was
 * started in when it holds both pictures (the game run from data/, as it
 * always could be); else the folder "data" beside the running binary,
 * which the build links to the sources' data/, so that build/caravelt
 * runs from anywhere.
 */
#ifndef CARAVELT_DRIVE_DATADIR_H
#define CARAVELT_DRIVE_DATADIR_H

#include <cstddef>
#include <string>

/* The two pictures, by their path within the folder. */
inline constexpr const char *PICTURE_FILES[2] = {"car/kvtcar.bmp", "tarmac.bmp"};

/* The folder the running binary is in, absolute; empty when unknown. */
std::string program_folder(void);

/* ----------------------------------------------------------------------
 * find_data_dir: the pictures' folder by the rule above: `given` as it
 * is, "" for the current folder, or the absolute path of the one beside
 * the binary.  0, or -1 with err naming the folders looked in.
 * ---------------------------------------------------------------------- */
int find_data_dir(const char *given, std::string *dir, char *err, size_t errsize);

/* name within dir, as find_data_dir gave it ("" is the current folder). */
std::string data_path(const std::string &dir, const char *name);

/* dir as a message names it: absolute where it can be made so. */
std::string folder_shown(const std::string &dir);

#endif
