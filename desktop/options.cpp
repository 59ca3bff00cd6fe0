#include "desktop.h"

#include "core/version.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* OPTIONS_HELP =
    "  --scale N     window scale from 1 to 16; 0 (the default): the largest that fits comfortably\n"
    "  --fullscreen  full screen, the picture scaled by a whole number and centred on black\n"
    "  --fps N       frames a second, at most 1000; 0: as many as the machine draws\n"
    "  --help        print this help and exit\n"
    "  --version     print the program's name and version and exit\n"
    "\nClosing the window, Escape or q ends the program.\n";

// A whole number from 0 to `most`, digits only.
bool ReadCount(const char* text, int64_t most, int64_t* value)
{
    if (!*text || std::strlen(text) > 9 || std::strspn(text, "0123456789") != std::strlen(text))
        return false;
    *value = std::strtoll(text, nullptr, 10);
    return *value <= most;
}

}  // namespace

bool ParseDesktopOptions(int argc, char** argv, DesktopOptions* options, std::string* error)
{
    *options = DesktopOptions{};
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        char* arg = argv[i];
        if (optionsEnded || std::strncmp(arg, "--", 2) != 0) {
            options->arguments.push_back(arg);
            continue;
        }
        if (std::strcmp(arg, "--") == 0) {
            optionsEnded = true;
            continue;
        }
        const char* equals = std::strchr(arg, '=');
        const std::string name = equals ? std::string(arg, size_t(equals - arg)) : std::string(arg);
        const bool counted = name == "--scale" || name == "--fps";
        if (!counted && name != "--fullscreen" && name != "--help" && name != "--version") {
            *error = "unknown option '" + name + "'";
            return false;
        }
        if (!counted) {
            if (equals) {
                *error = "option '" + name + "' takes no value";
                return false;
            }
            (name == "--help" ? options->help : name == "--version" ? options->version : options->fullscreen) = true;
            continue;
        }
        const char* value = equals ? equals + 1 : i + 1 < argc ? argv[++i] : nullptr;
        const bool scale = name == "--scale";
        const int64_t most = scale ? DESKTOP_MAX_SCALE : DESKTOP_MAX_FPS;
        int64_t count = 0;
        if (!value) {
            *error = "option '" + name + "' needs a value";
            return false;
        }
        if (!ReadCount(value, most, &count)) {
            *error = std::string("'") + value + "' is not a " + (scale ? "scale" : "frame rate") + " (0 to " +
                     std::to_string(most) + ")";
            return false;
        }
        if (scale)
            options->scale = uint32_t(count);
        else
            options->fps = int32_t(count);
    }
    return true;
}

DesktopOptions ReadDesktopOptions(int argc, char** argv, const DesktopProgram& program)
{
    DesktopOptions options;
    std::string error;
    if (!ParseDesktopOptions(argc, argv, &options, &error)) {
        std::fprintf(stderr, "%s: %s\nusage: %s\n", program.name, error.c_str(), program.usage);
        std::exit(2);
    }
    if (options.version) {
        std::printf("%s (kvor3d) %s\n", program.name, KVOR3D_VERSION);
        std::exit(std::fflush(stdout) == 0 ? 0 : 1);
    }
    if (options.help) {
        std::printf("usage: %s\n\n%s\n\n%s", program.usage, program.about, OPTIONS_HELP);
        std::exit(std::fflush(stdout) == 0 ? 0 : 1);
    }
    return options;
}
