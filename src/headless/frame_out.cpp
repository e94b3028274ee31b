/*
 * headless/frame_out.cpp -- the driving view into a BMP file.
 */
#include "headless/frame_out.h"

#include <allegro.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "drive/datadir.h"
#include "drive/files.h"
#include "present/present.h"

int frame_begin(const char *data_dir, char *err, size_t errsize)
{
    if (start_headless(err, errsize) != 0)
        return -1;
    if (!(kvtcar = open_picture(data_path(data_dir, PICTURE_FILES[0]).c_str(), err, errsize))
        || !(Track = open_picture(data_path(data_dir, PICTURE_FILES[1]).c_str(), err, errsize))) {
        frame_end();
        return -1;
    }
    if (!(buffer = create_bitmap(1024, 768))) {
        snprintf(err, errsize, "cannot create the 1024x768 frame: out of memory");
        frame_end();
        return -1;
    }
    return 0;
}

/* ----------------------------------------------------------------------
 * The library writes the BMP through this sink onto a stdio stream.  Its
 * own file layer retries every buffer after a failed write (seconds on a
 * full disk) and reports any failure as EFAULT; the sink stops at the
 * first error and keeps its errno.
 * ---------------------------------------------------------------------- */
struct sink {
    FILE *f;
    int error;
};

static long sink_write(const void *p, long n, void *ud)
{
    sink *s = (sink *)ud;
    if (s->error)
        return 0;
    if ((long)fwrite(p, 1, (size_t)n, s->f) != n) {
        s->error = errno ? errno : EIO;
        return 0;
    }
    return n;
}

static int sink_putc(int c, void *ud)
{
    unsigned char b = (unsigned char)c;
    return sink_write(&b, 1, ud) == 1 ? c : EOF;
}

static int sink_error(void *ud) { return ((sink *)ud)->error != 0; }
static int sink_close(void *) { return 0; }    /* the stream is closed by its owner */
static int sink_getc(void *) { return EOF; }    /* write-only */
static int sink_ungetc(int, void *) { return EOF; }
static long sink_read(void *, long, void *) { return 0; }
static int sink_seek(void *, int) { return -1; }
static int sink_eof(void *) { return 1; }

static const PACKFILE_VTABLE sink_vtable = {
    sink_close, sink_getc, sink_ungetc, sink_read, sink_putc,
    sink_write, sink_seek, sink_eof, sink_error,
};

int frame_save(const char *path, char *err, size_t errsize)
{
    draw_frame(buffer);

    sink s = {fopen(path, "wb"), 0};
    if (!s.f) {
        snprintf(err, errsize, "cannot write the frame \"%s\": %s", path, strerror(errno));
        return -1;
    }
    PACKFILE *pf = pack_fopen_vtable(&sink_vtable, &s);
    if (!pf)
        s.error = ENOMEM;
    else {
        errno = 0;
        if (save_bmp_pf(pf, buffer, NULL) != 0 && !s.error)
            s.error = EIO;
        pack_fclose(pf);
    }
    if (fflush(s.f) != 0 && !s.error)
        s.error = errno ? errno : EIO;
    if (!s.error && file_removed(fileno(s.f)))
        s.error = FILE_REMOVED;
    if (fclose(s.f) != 0 && !s.error)
        s.error = errno ? errno : EIO;
    if (s.error) {
        snprintf(err, errsize, "cannot write the frame \"%s\": %s", path, failure_text(s.error));
        return -1;
    }
    return 0;
}

void frame_end(void)
{
    forget_course_ground();
    if (buffer)
        destroy_bitmap(buffer);
    if (Track)
        destroy_bitmap(Track);
    if (kvtcar)
        destroy_bitmap(kvtcar);
    buffer = Track = kvtcar = NULL;
}
