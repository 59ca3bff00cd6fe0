// The command line of the tools: one parser on getopt_long for kvordata,
// kvordump, kvorshot, kvorbench and kvorscenes, so that they all read their
// options alike. Long options take their value after '=' or as the next
// argument, short ones attached or as the next argument; flags group ("-ch");
// options and operands may come in any order and "--" ends the options.
// Every program has --help (usage and options on standard output, status 0)
// and --version (the program's name and the project's version). A wrong
// argument is one line "PROGRAM: what is wrong" on standard error, then the
// usage line, and status 2.
#pragma once

#include "core/version.h"

#include <getopt.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace cli {

constexpr int EXIT_USAGE = 2;
constexpr int NONE = -1;  // Parse's result when the program goes on

// Keys of options without a short form; a key below this is the option's
// short letter.
constexpr int LONG_ONLY = 256;

struct Option {
    int key;            // the short letter, or LONG_ONLY and up
    const char* name;   // the long name, without "--"
    const char* value;  // what the value is ("SECONDS"); null for a flag
    const char* help;   // lines separated by '\n'
};

struct Program {
    const char* name;
    const char* usage;     // the usage line, without "usage: "
    const char* about;     // what the program does, before the options
    std::vector<Option> options;  // --help and --version are added
    const char* after;     // after the options: the exit status
};

// Checks and stores one option's value (null for a flag); the reason it is
// refused, or an empty string.
using Apply = std::function<std::string(int key, const char* value)>;

inline int UsageError(const Program& program, const std::string& message)
{
    std::fprintf(stderr, "%s: %s\nusage: %s\n", program.name, message.c_str(), program.usage);
    return EXIT_USAGE;
}

// The usage line, the text and every option with its help aligned in one
// column.
inline void PrintHelp(const Program& program, const std::vector<Option>& all)
{
    constexpr size_t HELP_COLUMN = 26;
    std::printf("usage: %s\n\n%s\n\n", program.usage, program.about);
    for (const Option& option : all) {
        std::string head = option.key < LONG_ONLY ? std::string("  -") + char(option.key) + ", --" : "      --";
        head += option.name;
        if (option.value)
            head += std::string(" ") + option.value;
        head += head.size() + 2 <= HELP_COLUMN ? std::string(HELP_COLUMN - head.size(), ' ')
                                               : "\n" + std::string(HELP_COLUMN, ' ');
        std::fputs(head.c_str(), stdout);
        for (const char* line = option.help; *line;) {
            const size_t length = std::strcspn(line, "\n");
            std::printf("%.*s\n", int(length), line);
            line += length;
            if (*line == '\n' && *++line)
                std::printf("%*s", int(HELP_COLUMN), "");
        }
    }
    if (program.after)
        std::printf("\n%s\n", program.after);
}

// The option as the user wrote it, for a message: "--name" (without any
// "=value") or "-x".
inline std::string Written(const char* argument, int letter)
{
    if (argument && std::strncmp(argument, "--", 2) == 0)
        return std::string(argument, std::strcspn(argument, "="));
    return std::string("-") + char(letter);
}

// Parses argv: each option goes to `apply`, the operands (in order) into
// `operands`. NONE when the program goes on; otherwise its exit status: 0
// after --help or --version, 1 when those could not be written, 2 after a
// usage error, which has been reported.
inline int Parse(const Program& program, int argc, char** argv, const Apply& apply,
                 std::vector<const char*>* operands)
{
    constexpr int HELP = 'h', VERSION = LONG_ONLY + 0xFFFF;
    std::vector<Option> all = program.options;
    all.push_back({HELP, "help", nullptr, "print this help and exit"});
    all.push_back({VERSION, "version", nullptr, "print the program's name and version and exit"});

    std::string shorts = ":";  // ':' first: a missing value is told apart from an unknown option
    std::vector<option> longs;
    for (const Option& o : all) {
        if (o.key < LONG_ONLY)
            shorts += std::string(1, char(o.key)) + (o.value ? ":" : "");
        longs.push_back({o.name, o.value ? required_argument : no_argument, nullptr, o.key});
    }
    longs.push_back({nullptr, 0, nullptr, 0});

    opterr = 0;
    optind = 0;  // a full reset of getopt's state
    for (;;) {
        const int previous = optind ? optind : 1;
        const int key = getopt_long(argc, argv, shorts.c_str(), longs.data(), nullptr);
        if (key == -1)
            break;
        // getopt leaves optind past the argument it has just read, except
        // within a group of short flags, where it stays on it.
        const char* argument = argv[optind > previous ? optind - 1 : previous];
        if (key == ':')
            return UsageError(program, "option '" + Written(argument, optopt) + "' needs a value");
        if (key == '?') {
            if (optopt && std::strncmp(argument, "--", 2) == 0)
                return UsageError(program, "option '" + Written(argument, optopt) + "' takes no value");
            return UsageError(program, "unknown option '" +
                                           (optopt ? std::string("-") + char(optopt) : std::string(argument)) + "'");
        }
        if (key == HELP) {
            PrintHelp(program, all);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
        if (key == VERSION) {
            std::printf("%s (kvor3d) %s\n", program.name, KVOR3D_VERSION);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
        const std::string refused = apply(key, optarg);
        if (!refused.empty())
            return UsageError(program, refused);
    }
    for (int i = optind; i < argc; ++i)
        operands->push_back(argv[i]);
    return NONE;
}

// A whole number from low to high in decimal digits only: no sign, no
// spaces, no exponent.
inline bool ParseCount(const char* text, unsigned long long low, unsigned long long high, unsigned long long* value)
{
    if (!*text || std::strspn(text, "0123456789") != std::strlen(text))
        return false;
    errno = 0;
    const unsigned long long parsed = std::strtoull(text, nullptr, 10);
    if (errno == ERANGE || parsed < low || parsed > high)
        return false;
    *value = parsed;
    return true;
}

}  // namespace cli
