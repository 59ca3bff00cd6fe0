// kvordata [--seed N] [folder]: writes the data folder (default "data") that
// threnody and kvorview run on. The same seed always gives the same bytes.
#include "kvordata.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>

namespace {

constexpr uint64_t DEFAULT_SEED = 1997;

int Usage()
{
    std::fprintf(stderr, "usage: kvordata [--seed N] [folder]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    uint64_t seed = DEFAULT_SEED;
    std::string dir = "data";
    bool dirGiven = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seed") == 0 && i + 1 < argc) {
            char* end = nullptr;
            errno = 0;
            seed = std::strtoull(argv[++i], &end, 0);
            if (errno != 0 || !end || *end != '\0' || argv[i][0] == '\0')
                return Usage();
        } else if (argv[i][0] != '-' && !dirGiven) {
            dir = argv[i];
            dirGiven = true;
        } else {
            return Usage();
        }
    }
    if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "kvordata: cannot make the folder %s\n", dir.c_str());
        return 1;
    }
    SetPixelMode(1);
    kvordata::WriteShowFiles(dir, seed);
    kvordata::WriteTextures(dir, seed);
    kvordata::WriteScenes(dir, seed);
    return 0;
}
