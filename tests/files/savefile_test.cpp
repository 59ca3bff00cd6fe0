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

using namespace kvor3d;

namespace {

namespace fs = std::filesystem;
using Save = std::function<uint32_t(const std::string& name, int32_t* error)>;

// SaveScene and SaveLightEffects of a small scene and its effect.
std::vector<Save> Writers()
{
    static bytes::ScenePtr scene(AllocScene());
    static LightEffect* effect = build::AddLightEffect(scene.get(), "glow");
    return {[](const std::string& name, int32_t* error) {
                const TagItem tags[] = {{TAG_SAVESCENE_FILENAME, TagPtr(name.c_str())},
                                        {TAG_SAVESCENE_ERROR, TagPtr(error)}, {TAG_DONE, 0}};
                return SaveScene(scene.get(), tags);
            },
            [](const std::string& name, int32_t* error) {
                const TagItem tags[] = {{TAG_SAVELIGHTEFFECTS_FILENAME, TagPtr(name.c_str())},
                                        {TAG_SAVELIGHTEFFECTS_ERROR, TagPtr(error)}, {TAG_DONE, 0}};
                return SaveLightEffects(effect, tags);
            }};
}

std::set<std::string> Listing(const std::string& folder)
{
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// A link planted at the name the writers once used is neither followed nor
// renamed into place; the file gets 0666 less the umask.
TEST(SaveFile, LeavesALinkAtTheOldTemporaryNameAloneAndHonoursTheUmask)
{
    for (const Save& save : Writers()) {
        for (const auto& [mask, mode] : {std::pair{022u, 0644u}, {077u, 0600u}}) {
            const run::TempFolder folder;
            const std::string victim = folder.Write("victim", std::string("keep"));
            fs::create_symlink(victim, folder.Path("out.kvor.tmp"));
            const mode_t previous = umask(mask);
            EXPECT_GT(save(folder.Path("out.kvor"), nullptr), 0u);
            umask(previous);
            EXPECT_EQ(run::ReadText(victim), "keep");
            EXPECT_TRUE(fs::is_symlink(folder.Path("out.kvor.tmp")));
            EXPECT_EQ(Listing(folder.Path()), (std::set<std::string>{"out.kvor", "out.kvor.tmp", "victim"}));
            struct stat status {};
            EXPECT_EQ(lstat(folder.Path("out.kvor").c_str(), &status), 0);
            EXPECT_EQ(status.st_mode & (S_IFMT | 07777), S_IFREG | mode) << "umask " << mask;
        }
    }
}

// A missing folder fails the open, a folder in the way the rename and a
// file-size cap the write: each time nothing is left behind.
TEST(SaveFile, FailuresLeaveTheFolderAsItWas)
{
    for (const Save& save : Writers()) {
        for (const std::string failure : {"missing folder", "folder in the way", "size cap"}) {
            const run::TempFolder folder;
            if (failure == "folder in the way")
                fs::create_directories(folder.Path("out.kvor/inside"));
            const std::set<std::string> before = Listing(folder.Path());
            struct rlimit saved {};
            getrlimit(RLIMIT_FSIZE, &saved);
            struct rlimit limited = saved;
            limited.rlim_cur = failure == "size cap" ? 16 : saved.rlim_cur;
            auto previous = std::signal(SIGXFSZ, SIG_IGN);
            setrlimit(RLIMIT_FSIZE, &limited);
            int32_t error = 1;
            const uint32_t total = save(folder.Path(failure == "missing folder" ? "missing/out.kvor" : "out.kvor"), &error);
            setrlimit(RLIMIT_FSIZE, &saved);
            std::signal(SIGXFSZ, previous);
            EXPECT_EQ(total, 0u) << failure;
            EXPECT_EQ(error, -1) << failure;
            EXPECT_EQ(Listing(folder.Path()), before) << failure;
        }
    }
}

}  // namespace
