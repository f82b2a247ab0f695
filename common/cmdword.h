// The words of a command line, one at a time, through getopt_long over a program's table of
// long options, read the way the program has always read them: an option is one whole word
// ("--name", "--name=value", or "--name value" and "-t value"), a long name is never
// abbreviated, short options never share a word with each other or with their value, and
// "--" is an unknown option rather than the end of the options. Every word comes back in
// its order, so the program itself says what is wrong with it. Header only, so that
// vantrel-sim's bench options and the test harness read theirs the same way.
#ifndef VANTREL_COMMON_CMDWORD_H
#define VANTREL_COMMON_CMDWORD_H

#include <cstdio>
#include <cstring>
#include <getopt.h>

// getopt_long's option string for a table with these short options: non-options come back
// in their place (code 1), a missing value as ':', and getopt itself prints nothing.
#define CMD_OPTSTRING(shortOptions) "-:" shortOptions

#define CMD_END (-1)      // no word left
#define CMD_UNKNOWN (-2)  // an option the program does not have: "--bogus", "-x", "--"
#define CMD_ARGUMENT (-3) // a word that is no option at all

struct CmdWord {
    int code;          // the option's `val`, or one of the CMD_ codes
    const char* word;  // the word as given: "--range=7FFF", "-t", "extra"
    int nameLength;    // the length of the name it gives: 7 for "--range=7FFF"
    char name[24];     // a known option's name: "--range", "-t"
    const char* value; // its value; NULL when none was given (one after '=' even on a flag)
};

// Starts reading a new command line. getopt_long keeps its place in globals: it is set back
// to the start (optind 0 in glibc) and made to take up the ordering of `optstring` at once,
// by a first call that sees argv[0] only.
inline void startCmdWords(char* const* argv, const char* optstring, const struct option* table) {
    opterr = 0;
    optind = 0;
    (void)getopt_long(1, argv, optstring, table, nullptr);
}

// The option named exactly by the first `length` characters of `name`, or NULL.
inline const struct option* exactOption(const struct option* table, const char* name,
                                        size_t length) {
    for (; table->name; table++)
        if (strlen(table->name) == length && strncmp(table->name, name, length) == 0)
            return table;
    return nullptr;
}

// The word that getopt_long has just read at argv[at] as a long option, returning `c`.
inline int longCmdWord(const struct option* table, int c, int at, CmdWord* w) {
    const size_t length = (size_t)w->nameLength;
    const struct option* o = exactOption(table, w->word + 2, length - 2);
    if (!o) {
        // An abbreviation would have taken the next word as its value: that one is read
        // again as a word of its own.
        optind = at + 1;
        return w->code = CMD_UNKNOWN;
    }
    snprintf(w->name, sizeof w->name, "--%s", o->name);
    if (w->word[length] == '=')
        w->value = w->word + length + 1;
    else if (o->has_arg != no_argument && c != ':')
        w->value = optarg;
    return w->code = o->val;
}

// The word that getopt_long has just read as a short option ("-t"), returning `c`.
inline int shortCmdWord(const char* optstring, int c, CmdWord* w) {
    if (c == '?')
        return w->code = CMD_UNKNOWN;
    w->code = c == ':' ? optopt : c;
    snprintf(w->name, sizeof w->name, "-%c", w->code);
    const char* letter = strchr(optstring + 2, w->code);
    if (c != ':' && letter && letter[1] == ':')
        w->value = optarg;
    return w->code;
}

// The next word of argv into *w; returns its code (CMD_END after the last one).
inline int nextCmdWord(int argc, char* const* argv, const char* optstring,
                       const struct option* table, CmdWord* w) {
    const int at = optind;
    if (at >= argc)
        return w->code = CMD_END;
    const char* word = argv[at];
    const int isLong = word[0] == '-' && word[1] == '-';
    w->word = word;
    w->nameLength = (int)(isLong ? strcspn(word, "=") : strlen(word));
    w->name[0] = '\0';
    w->value = nullptr;
    if (strcmp(word, "--") == 0 || (word[0] == '-' && !isLong && w->nameLength > 2)) {
        optind = at + 1; // getopt_long would read it otherwise ("-t27256", "-ht")
        return w->code = CMD_UNKNOWN;
    }
    const int c = getopt_long(argc, argv, optstring, table, nullptr);
    if (c == -1)
        return w->code = CMD_END;
    if (c == 1) // "-" alone is no option getopt_long knows of, but no plain word either
        return w->code = word[0] == '-' ? CMD_UNKNOWN : CMD_ARGUMENT;
    return isLong ? longCmdWord(table, c, at, w) : shortCmdWord(optstring, c, w);
}

// Puts the options of `first` and then those of `second` (either may be NULL) into `table`,
// which has room for `room` of them with the zero entry that ends it. Returns 0 if they do
// not fit.
inline int joinOptions(const struct option* first, const struct option* second,
                       struct option* table, size_t room) {
    const struct option* parts[2] = {first, second};
    size_t n = 0;
    if (room == 0)
        return 0;
    for (const struct option* part : parts)
        for (const struct option* o = part; o && o->name; o++) {
            if (n + 1 >= room)
                return 0;
            table[n++] = *o;
        }
    table[n] = {nullptr, 0, nullptr, 0};
    return 1;
}

#endif
