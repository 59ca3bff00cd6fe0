// kvordata [--seed N] [FOLDER]: writes the data folder (default "data") that
// threnody and kvorview run on. The same seed always gives the same bytes.
#include "kvordata.h"
#include "options.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace kvor3d;

namespace {

constexpr uint64_t DEFAULT_SEED = 1997;

const cli::Program PROGRAM = {
    "kvordata",
    "kvordata [--seed N] [FOLDER]",
    "Writes the data folder FOLDER (default \"data\", made when missing) that\n"
    "threnody and kvorview run on: the show's files, the textures and the\n"
    "scenes, every byte derived from the seed.",
    {{cli::LONG_ONLY, "seed", "N",
      "the seed, a whole number from 0 to 18446744073709551615\n(decimal, 0x hexadecimal or 0 octal; default 1997)"}},
    "Exit status: 0 on success, 1 when the folder cannot be made, 2 for a usage\nerror.",
};

// A seed as strtoull reads it in base 0, but only digits: no sign, no
// spaces, nothing after the number and nothing beyond 64 bits.
bool ParseSeed(const char* text, uint64_t* seed)
{
    if (!(*text >= '0' && *text <= '9'))
        return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long parsed = std::strtoull(text, &end, 0);
    if (errno == ERANGE || *end)
        return false;
    *seed = parsed;
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    uint64_t seed = DEFAULT_SEED;
    std::vector<const char*> operands;
    const int parsed = cli::Parse(
        PROGRAM, argc, argv,
        [&](int, const char* value) {
            return ParseSeed(value, &seed) ? std::string()
                                           : "'" + std::string(value) + "' is not a seed (a whole number from 0 to " +
                                                 std::to_string(UINT64_MAX) + ")";
        },
        &operands);
    if (parsed != cli::NONE)
        return parsed;
    if (operands.size() > 1)
        return cli::UsageError(PROGRAM, "one folder at a time ('" + std::string(operands[0]) + "' and '" +
                                                 operands[1] + "')");
    const std::string dir = operands.empty() ? "data" : operands[0];
    if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "kvordata: %s: %s\n", dir.c_str(), std::strerror(errno));
        return 1;
    }
    SetPixelMode(1);
    kvordata::WriteShowFiles(dir, seed);
    kvordata::WriteTextures(dir, seed);
    kvordata::WriteScenes(dir, seed);
    return 0;
}
