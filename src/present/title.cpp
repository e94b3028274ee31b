/*
 * present/title.cpp -- the title and controls screen.
 */
#include "present.h"

const title_text title_texts[TITLE_TEXTS] = {
    {300, 50, "2D Top Down Caravelt Project Version 0.1"},
    {415, 295, "Controls:"},
    {450, 310, "Up to Accelerate"},
    {450, 325, "Down to Brake"},
    {450, 340, "Left to Turn left"},
    {450, 355, "Right to Turn right"},
    {450, 370, "A to Gear up"},
    {450, 385, "Z to Gear down"},
    {450, 400, "X to Clutch(Useless for now)"},
    {450, 415, "R to Reset car"},
    {450, 430, "Q to Return to this screen"},
    {450, 445, "ESC to Exit anytime"},
    {400, 500, "Resolution is 1024x768"},
    {400, 530, "Press space to run."},
    {10, 748, "Made by Tovrel. Thanks to Quendra team for inspiration!"},
};

const title_text title_course_texts[TITLE_COURSE_TEXTS] = {
    {400, 580, "On a course:"},
    {450, 595, "T to hide or show the telemetry"},
    {450, 610, "The lap starts on the line after 3 s"},
};

bool title_course;

/* A disc of radius 1024 about the centre covers the whole frame: the far
 * corner is only 640 px away. */
void draw_title(BITMAP *dst)
{
    circlefill(dst, 512, 384, 1024, makecol(0, 0, 0));
    int white = makecol(255, 255, 255);
    for (const title_text &t : title_texts)
        textprintf_ex(dst, font, t.col, t.row, white, -1, "%s", t.text);
    for (int i = 0; title_course && i < TITLE_COURSE_TEXTS; i++)
        textprintf_ex(dst, font, title_course_texts[i].col, title_course_texts[i].row, white, -1, "%s",
                      title_course_texts[i].text);
}
