#include "cd.h"

#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>

namespace {

constexpr unsigned char MUSIC_TRACK = 2;
constexpr unsigned char MUSIC_INDEX = 1;

// The program name for the messages; argc is only checked so that an empty
// vector still gives a name.
const char* ProgramName(int argc, char** argv)
{
    return argc > 0 && argv && argv[0] ? argv[0] : "threnody";
}

[[noreturn]] void Fail(const char* format, const char* what)
{
    std::fprintf(stderr, format, what);
    std::exit(1);
}

}  // namespace

int cd_open(int, char**, const char* device)
{
    const int descriptor = open(device, O_RDONLY);
    if (descriptor == -1)
        Fail("can't open cdrom (%s)\n", device);
    return descriptor;
}

int cd_play(int argc, char** argv, int descriptor)
{
    cdrom_tochdr header{};
    if (ioctl(descriptor, CDROMREADTOCHDR, &header) == -1)
        Fail("%s: ioctl cdromreadtochdr\n", ProgramName(argc, argv));
    cdrom_ti track{MUSIC_TRACK, MUSIC_INDEX, MUSIC_TRACK, MUSIC_INDEX};
    const int result = ioctl(descriptor, CDROMPLAYTRKIND, &track);
    if (result == -1)
        Fail("%s: ioctl cdromplaytrkind\n", ProgramName(argc, argv));
    return result;
}

int cd_stop(int argc, char** argv, int descriptor)
{
    const int result = ioctl(descriptor, CDROMSTOP);
    if (result == -1)
        Fail("%s: ioctl cdromstop\n", ProgramName(argc, argv));
    return result;
}
