// threnody's start-up run as a program on the data set kvordata writes, up
// to the point where it would open its window, and its picture reader.
#include "data.h"
#include "support/run_program.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

using namespace kvor3d;

namespace {

const std::string STARTING = "** Starting Timer\n";
const std::string LOADING = "** Loading Data. Please stand by.\n";
const std::string CREDITS = "threnody - a kvor3d show: code, scenes and pictures by the kvor3d team\n";

std::string Big32(uint32_t v)
{
    return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

std::string Chunk(const char* id, const std::string& data)
{
    return id + Big32(uint32_t(data.size())) + data + (data.size() % 2 ? std::string(1, '\0') : "");
}

std::string Form(const std::string& chunks)
{
    return "FORM" + Big32(uint32_t(chunks.size() + 4)) + "ILBM" + chunks;
}

// The command line and the data files as the start-up meets them; a data
// without its scenes runs the exit routine before the window opens,
// which stops the CD (a regular file opens as the device and refuses that).
TEST(Threnody, CommandLinesAndDataFiles)
{
    run::TempFolder folder;
    const std::string threnody = run::BuiltProgram("demo/threnody");
    // Every file the show reads before its scenes, the tunnel texture as a
    // blank 256 × 256 picture, a palette of 256 colours; no scene.
    std::filesystem::create_directories(folder.Path("show/data"));
    for (const auto& [name, bytes] : {std::pair{"fademask.cnk", 64000}, {"fademask1.cnk", 64000}, {"alien1.rgb15", 128000},
                                      {"tabxy.bin", 128000}, {".palette", int(PALETTE_FILE_BYTES)}})
        folder.Write(std::string("show/data/") + name, std::string(3, '\0') + char(1) + std::string(size_t(bytes - 4), '\0'));
    const std::string bmhd = std::string{1, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 1, 1, 0, 1, 0};
    folder.Write("show/data/pl_txt.iff", Form(Chunk("BMHD", bmhd) + Chunk("CMAP", std::string(6, '\0')) + Chunk("BODY", std::string(8192, '\0'))));
    std::filesystem::create_directory(folder.Path("empty"));
    std::filesystem::create_directories(folder.Path("pipe/data"));
    ASSERT_EQ(mkfifo(folder.Path("pipe/data/fademask.cnk").c_str(), 0600), 0);
    const std::string device = folder.Write("drive", std::string(4, '\0'));
    const std::string missing = folder.Path("no-such-drive");
    const std::string noMask = "cant read file: data/fademask.cnk\n";
    struct Row {
        const char* dir;
        std::vector<std::string> args;
        int status;
        std::string out, err;
    };
    const Row rows[] = {
        {"empty", {}, 0, STARTING + LOADING + noMask, ""},
        {"pipe", {}, 0, STARTING + LOADING + noMask, ""},
        {"empty", {"--fps=30", "-cdrom"}, 0, STARTING + "Please specify cdrom device\nFor example: Threnody.Linux -cdrom /dev/cdrom\n", ""},
        {"empty", {"-cdrom", missing, "--fps", "x"}, 2, "", "threnody: 'x' is not a frame rate (0 to 1000)\nusage: threnody [-cdrom DEVICE] [options]\n"},
        {"empty", {"-cdrom", missing}, 1, STARTING, "can't open cdrom (" + missing + ")\n"},
        {"empty", {"-cdrom", device}, 0, STARTING + LOADING + noMask, ""},
        {"empty", {"x", "-cdrom", missing}, 0, STARTING + LOADING + noMask, ""},
        {"empty", {"-cdromx", missing}, 0, STARTING + LOADING + noMask, ""},
        {"empty", {"-CDROM"}, 0, STARTING + LOADING + noMask, ""},
        {"show", {}, 0, STARTING + LOADING + CREDITS, ""},
        {"show", {"-cdrom", device}, 1, STARTING + LOADING + CREDITS, threnody + ": ioctl cdromstop\n"},
    };
    alarm(120);  // ends the test program should a read wait on the pipe for a writer
    for (const Row& r : rows) {
        std::vector<std::string> argv = {threnody};
        argv.insert(argv.end(), r.args.begin(), r.args.end());
        const run::Result result = run::Run(argv, folder.Path(r.dir));
        const std::string shown = r.args.empty() ? r.dir : r.args[0];
        EXPECT_EQ(result.status, r.status) << shown;
        EXPECT_EQ(result.out, r.out) << shown;
        EXPECT_EQ(result.err, r.err) << shown;
    }
    alarm(0);
    std::filesystem::resize_file(folder.Path("show/data/alien1.rgb15"), 127999);
    EXPECT_EQ(run::Run({threnody}, folder.Path("show")).out, STARTING + LOADING + "cant read file: data/alien1.rgb15\n");
}

// A 16 × 2 one-plane picture, stored rows 0xA5 0x0F and 0x01 0x80, with an
// odd chunk before its BODY: index 1 is red, 0 black.
TEST(DemoIlbmLoad, PlaneBitsGiveEachPixelItsColour)
{
    SetPixelMode(1);
    const std::string bmhd = std::string{0, 16, 0, 2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 1, 0, 16, 0, 2};
    const std::string file = Chunk("BMHD", bmhd) + Chunk("ANNO", "abc") + Chunk("CMAP", std::string{0, 0, 0, char(255), 0, 0}) +
                             Chunk("BODY", std::string{char(0xA5), 0x0F, 0x01, char(0x80)});
    const std::string form = Form(file);
    int32_t w = 0, h = 0, planes = 0;
    auto* pixels = static_cast<uint16_t*>(demo_ilbm_load(nullptr, form.data(), form.size(), &w, &h, &planes));
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(w * 100 + h * 10 + planes, 1621);
    std::string bits;
    for (int i = 0; i < 32; ++i)
        bits += pixels[i] == 0x7C00 ? '1' : pixels[i] == 0 ? '0' : '?';
    EXPECT_EQ(bits, "10100101000011110000000110000000");
    std::free(pixels);
    const std::string cut = form.substr(0, form.size() - 2);
    EXPECT_EQ(demo_ilbm_load(nullptr, cut.data(), cut.size(), &w, &h, &planes), nullptr);
    // 4112 × 1, one plane stored: wider than a picture may be.
    const std::string wide = Form(Chunk("BMHD", std::string{0x10, 0x10, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 1, 0x10, 0x10, 0, 1}) +
                                  Chunk("CMAP", std::string(6, '\0')) + Chunk("BODY", std::string(514, '\0')));
    EXPECT_EQ(demo_ilbm_load(nullptr, wide.data(), wide.size(), &w, &h, &planes), nullptr);
}

}  // namespace
