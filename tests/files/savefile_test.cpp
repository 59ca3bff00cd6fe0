// SaveScene and SaveLightEffects on the file system: the temporary file
// they write is new, never a file or link found at some name, gets the mode
// fopen would give, and is gone after any failure.
#include "files/scene_bytes.h"
#include "support/run_program.h"
#include "support/scene_builder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <set>

#include <sys/resource.h>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using bytes::ScenePtr;

struct Writer {
    const char* what;
    std::function<uint32_t(const std::string& name, int32_t* error)> save;
};

std::vector<Writer> Writers()
{
    static ScenePtr scene = [] {
        ScenePtr made(AllocScene());
        build::AddNull(made.get(), "box");
        return made;
    }();
    static LightEffect* effect = build::AddLightEffect(scene.get(), "glow");
    return {{"SaveScene",
             [](const std::string& name, int32_t* error) {
                 const TagItem tags[] = {{TAG_SAVESCENE_FILENAME, TagPtr(name.c_str())},
                                         {TAG_SAVESCENE_ERROR, TagPtr(error)}, {TAG_DONE, 0}};
                 return SaveScene(scene.get(), tags);
             }},
            {"SaveLightEffects", [](const std::string& name, int32_t* error) {
                 const TagItem tags[] = {{TAG_SAVELIGHTEFFECTS_FILENAME, TagPtr(name.c_str())},
                                         {TAG_SAVELIGHTEFFECTS_ERROR, TagPtr(error)}, {TAG_DONE, 0}};
                 return SaveLightEffects(effect, tags);
             }}};
}

std::set<std::string> Listing(const std::string& folder)
{
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// A link planted at the name the writers once used is neither followed nor
// renamed into place.
TEST(SaveFile, LeavesALinkAtTheOldTemporaryNameAlone)
{
    for (const Writer& writer : Writers()) {
        const run::TempFolder folder;
        const std::string victim = folder.Write("victim", std::string("keep"));
        fs::create_symlink(victim, folder.Path("out.kvor.tmp"));
        int32_t error = 1;
        EXPECT_GT(writer.save(folder.Path("out.kvor"), &error), 0u) << writer.what;
        EXPECT_EQ(error, 0) << writer.what;
        EXPECT_EQ(run::ReadText(victim), "keep") << writer.what;
        EXPECT_TRUE(fs::is_symlink(folder.Path("out.kvor.tmp"))) << writer.what;
        EXPECT_FALSE(fs::is_symlink(folder.Path("out.kvor"))) << writer.what;
        EXPECT_EQ(Listing(folder.Path()), (std::set<std::string>{"out.kvor", "out.kvor.tmp", "victim"}));
    }
}

TEST(SaveFile, GivesTheModeTheUmaskAllows)
{
    for (const Writer& writer : Writers()) {
        for (const auto& [mask, mode] : {std::pair{022u, 0644u}, {077u, 0600u}}) {
            const run::TempFolder folder;
            const mode_t previous = umask(mask);
            writer.save(folder.Path("out.kvor"), nullptr);
            umask(previous);
            struct stat status {};
            ASSERT_EQ(stat(folder.Path("out.kvor").c_str(), &status), 0) << writer.what;
            EXPECT_EQ(status.st_mode & 07777, mode) << writer.what << " umask " << mask;
        }
    }
}

// A missing folder fails the open; a folder in the way fails the rename and
// a file-size cap the write: either way nothing is left behind.
TEST(SaveFile, FailuresLeaveTheFolderAsItWas)
{
    for (const Writer& writer : Writers()) {
        for (const char* failure : {"missing folder", "folder in the way", "size cap"}) {
            const run::TempFolder folder;
            std::string name = folder.Path("out.kvor");
            if (failure[0] == 'm')
                name = folder.Path("missing/out.kvor");
            if (failure[0] == 'f')
                fs::create_directories(folder.Path("out.kvor/inside"));
            const std::set<std::string> before = Listing(folder.Path());
            int32_t error = 1;
            struct rlimit saved {};
            getrlimit(RLIMIT_FSIZE, &saved);
            struct rlimit limited = saved;
            limited.rlim_cur = failure[0] == 's' ? 16 : saved.rlim_cur;
            auto previous = std::signal(SIGXFSZ, SIG_IGN);
            setrlimit(RLIMIT_FSIZE, &limited);
            const uint32_t total = writer.save(name, &error);
            setrlimit(RLIMIT_FSIZE, &saved);
            std::signal(SIGXFSZ, previous);
            EXPECT_EQ(total, 0u) << writer.what << ", " << failure;
            EXPECT_EQ(error, -1) << writer.what << ", " << failure;
            EXPECT_EQ(Listing(folder.Path()), before) << writer.what << ", " << failure;
        }
    }
}

}  // namespace
