/*
 * drive/cli.cpp -- reading a command line against a program's table.
 */
#include "drive/cli.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <string>

#include "drive/version.h"

int cli_vcomplain(const char *program, int status, const char *fmt, va_list ap)
{
    fprintf(stderr, "%s: ", program);
    vfprintf(stderr, fmt, ap);
    fputc('\n', stderr);
    return status;
}

int cli_complain(const char *program, int status, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    cli_vcomplain(program, status, fmt, ap);
    va_end(ap);
    return status;
}

void cli_version(const char *program, FILE *out)
{
    fprintf(out, "%s %s (%s)\n", program, caravelt_version, caravelt_commit);
}

/* An option's name and value, as its line begins. */
static std::string option_left(const char *name, const char *value)
{
    return std::string(name) + (value ? std::string(" ") + value : "");
}

/* One option's line: the name and value in a column `width` wide, then the help. */
static void option_line(FILE *out, int width, const char *name, const char *value, const char *help)
{
    fprintf(out, "  %-*s %s\n", width, option_left(name, value).c_str(), help);
}

void cli_usage(const cli_program *p, FILE *out)
{
    size_t width = 18;   /* the column as wide as the longest, and no narrower */
    for (size_t i = 0; i < p->count; i++)
        width = std::max(width, option_left(p->options[i].name, p->options[i].value).size());
    fputs(p->usage, out);
    fputs("\nOptions:\n", out);
    for (size_t i = 0; i < p->count; i++)
        option_line(out, (int)width, p->options[i].name, p->options[i].value, p->options[i].help);
    option_line(out, (int)width, "-h, --help", nullptr, "print this help and exit");
    option_line(out, (int)width, "--version", nullptr, "print the version and the git commit built from, and exit");
    if (p->after) {
        fputc('\n', out);
        fputs(p->after, out);
    }
}

int cli_parse(const cli_program *p, int argc, char **argv)
{
    bool only_operands = false;
    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        bool option = !only_operands && a[0] == '-' && a[1] != '\0';
        if (!option) {
            if (!p->operands)
                return cli_complain(p->name, 2, "unexpected \"%s\": %s takes options only (try --help)",
                                    a, p->name);
            p->operands->push_back(a);
            continue;
        }
        if (strcmp(a, "--") == 0) {
            only_operands = true;
            continue;
        }
        if (strcmp(a, "-h") == 0 || strcmp(a, "--help") == 0) {
            cli_usage(p, stdout);
            return 0;
        }
        if (strcmp(a, "--version") == 0) {
            cli_version(p->name, stdout);
            return 0;
        }
        const cli_option *o = nullptr;
        for (size_t k = 0; k < p->count && !o; k++)
            if (strcmp(a, p->options[k].name) == 0)
                o = &p->options[k];
        if (!o)
            return cli_complain(p->name, 2, "unknown option \"%s\" (try --help)", a);
        if (o->flag) {
            *o->flag = true;
            continue;
        }
        if (i + 1 >= argc || argv[i + 1][0] == '\0')
            return cli_complain(p->name, 2, "option %s needs a value (%s)", o->name, o->value);
        const char *v = argv[++i];
        if (o->list) {
            o->list->push_back(v);
            continue;
        }
        if (*o->text)
            return cli_complain(p->name, 2, "option %s given twice: it takes one %s", o->name, o->value);
        *o->text = v;
    }
    return CLI_RUN;
}
