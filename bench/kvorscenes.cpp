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
#include "showcase.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc != 2 || argv[1][0] == '-') {
        std::fputs("usage: kvorscenes FOLDER\n", stderr);
        return 2;
    }
    if (mkdir(argv[1], 0777) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "kvorscenes: %s: %s\n", argv[1], std::strerror(errno));
        return 1;
    }
    SetPixelMode(1);
    if (!showcase::WriteAll(argv[1])) {
        std::fprintf(stderr, "kvorscenes: %s: cannot write the scenes and textures\n", argv[1]);
        return 1;
    }
    return 0;
}
