// kvorscenes: writes the scenes that kvorbench measures, with the raw
// textures they name, into a folder (made when missing):
//
//   kvorscenes FOLDER
//
// torus.kvor (a tumbling torus of 5000 perspective-textured triangles),
// showcase.kvor (every effect of the render pass) and shadows.kvor (a torus
// casting its shadow on a floor). Run kvorbench and kvorshot in FOLDER, where
// the textures are. Exit status 0; 1 when a file cannot be written; 2 for a
// usage error.
#include "options.h"
#include "showcase.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

using namespace kvor3d;

namespace {

const cli::Program PROGRAM = {
    "kvorscenes",
    "kvorscenes FOLDER",
    "Writes the scenes kvorbench measures into FOLDER (made when missing), with\n"
    "the textures they name: torus.kvor, showcase.kvor and shadows.kvor.",
    {},
    "Exit status: 0 on success, 1 when a file cannot be written, 2 for a usage\nerror.",
};

}  // namespace

int main(int argc, char** argv)
{
    std::vector<const char*> operands;
    const int parsed = cli::Parse(PROGRAM, argc, argv, [](int, const char*) { return std::string(); }, &operands);
    if (parsed != cli::NONE)
        return parsed;
    if (operands.size() != 1)
        return cli::UsageError(PROGRAM, operands.empty() ? "no folder given" : "one folder at a time");
    const char* folder = operands[0];
    if (mkdir(folder, 0777) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "kvorscenes: %s: %s\n", folder, std::strerror(errno));
        return 1;
    }
    SetPixelMode(1);
    if (!showcase::WriteAll(folder)) {
        std::fprintf(stderr, "kvorscenes: %s: cannot write the scenes and textures\n", folder);
        return 1;
    }
    return 0;
}
