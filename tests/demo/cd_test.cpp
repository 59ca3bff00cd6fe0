// CD audio control: its messages on standard error and exit status 1 when
// the device cannot be opened or refuses a request.
#include "cd.h"
#include "demo/show_files.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

using show::Result;
using show::RunInChild;

char programName[] = "threnody-under-test";
char* argv[] = {programName, nullptr};

TEST(CdAudio, DeviceThatCannotBeOpenedIsNamedInTheMessage)
{
    TempDir dir;
    const std::string device = dir.Path("no-such-drive");
    const Result result = RunInChild(dir.Path(""), [&] { cd_open(1, argv, device.c_str()); });
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "can't open cdrom (" + device + ")\n");
    EXPECT_EQ(result.out, "");
}

// A regular file opens, but refuses every CD request: the program name
// leads the message.
TEST(CdAudio, RequestsThatTheDeviceRefusesEndWithTheirMessage)
{
    TempDir dir;
    const std::string device = dir.Write("not-a-drive", Bytes(16, 0));
    Result result = RunInChild(dir.Path(""), [&] {
        const int descriptor = cd_open(1, argv, device.c_str());
        if (descriptor >= 0)
            cd_play(1, argv, descriptor);
    });
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "threnody-under-test: ioctl cdromreadtochdr\n");

    result = RunInChild(dir.Path(""), [&] { cd_stop(1, argv, cd_open(1, argv, device.c_str())); });
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "threnody-under-test: ioctl cdromstop\n");
}

}  // namespace
