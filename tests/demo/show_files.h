// A data/ folder for the show built by the tests: the raw files at their
// sizes, a palette, the tunnel texture as a 256 × 256 ILBM picture, and
// empty scenes written with SaveScene. Also a way to run code or the
// program in a child process and collect what it printed.
#pragma once

// The engine's header first: the picture builders' Chunk() then hides the
// scene format's Chunk record only in this file's users, not in the engine.
#include "kvor3d.h"
#include "image/ilbm_files.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace show {

const std::vector<std::string> SCENES = {
    "lights", "logo", "hand3", "alien_cor", "alien_born", "lesby_1",
    "lesby_3", "pani", "suecide", "suecide2", "cube",
};

// A paletted ILBM picture of w × h pixels; pixel (x, y) has colour index
// (x + y) % 4 of black, red, green and blue.
inline Bytes PictureFile(uint32_t w, uint32_t h)
{
    std::vector<uint32_t> values(size_t(w) * h);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            values[size_t(y) * w + x] = (x + y) % 4;
    return Form({Chunk("BMHD", Bmhd(w, h, 2, 0, 1)),
                 Chunk("CMAP", Cmap({{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}})),
                 Chunk("BODY", BodyOf(values, w, h, 2, false, true))});
}

// 256 colours: colour i is (i, i, i).
inline Bytes PaletteFile(uint32_t count = 256)
{
    std::vector<uint32_t> words(PALETTE_FILE_WORDS, 0);
    words[0] = count << 16;
    for (uint32_t i = 0; i < 256; ++i)
        words[1 + 3 * i] = words[2 + 3 * i] = words[3 + 3 * i] = i << 24;
    Bytes out(PALETTE_FILE_BYTES);
    std::memcpy(out.data(), words.data(), PALETTE_FILE_BYTES);
    return out;
}

inline void WriteEmptyScene(const std::string& path)
{
    Scene* scene = AllocScene();
    ASSERT_NE(scene, nullptr);
    int32_t error = -1;
    const TagItem tags[] = {{TAG_SAVESCENE_FILENAME, TagPtr(path.c_str())},
                            {TAG_SAVESCENE_ERROR, TagPtr(&error)},
                            {TAG_DONE, 0}};
    SaveScene(scene, tags);
    FreeScene(scene);
    ASSERT_EQ(error, 0);
}

// A folder holding data/ with every file the show reads before its scenes,
// and as many of the scenes, in loading order, as asked for.
class ShowFolder {
public:
    explicit ShowFolder(size_t scenes = 0)
    {
        SetPixelMode(1);
        std::filesystem::create_directory(dir.Path("data"));
        Write("fademask.cnk", Bytes(64000, 0x80));
        Write("fademask1.cnk", Bytes(64000, 0x40));
        Write("alien1.rgb15", Bytes(128000, 0x11));
        Write(".palette", PaletteFile());
        Write("clip1.iff", PictureFile(159, 159));
        Write("credits.iff", PictureFile(120, 78));
        Write("end_back.iff", PictureFile(320, 200));
        Write("bitch.iff", PictureFile(76, 200));
        Write("bitch2.iff", PictureFile(76, 200));
        Write("txt.iff", PictureFile(320, 14 * 30));
        Write("logo.iff", PictureFile(256, 184));
        Write("pl_txt.iff", PictureFile(256, 256));
        Write("tabxy.bin", Bytes(128000, 0));
        for (size_t i = 0; i < scenes && i < SCENES.size(); ++i)
            WriteEmptyScene(Path("data/" + SCENES[i] + ".kvor"));
    }

    std::string Path(const std::string& name) const { return dir.Path(name); }
    std::string Root() const { return dir.Path(""); }
    void Write(const std::string& name, const Bytes& bytes) const { dir.Write("data/" + name, bytes); }
    void Remove(const std::string& name) const { std::filesystem::remove(dir.Path("data/" + name)); }

private:
    TempDir dir;
};

struct Result {
    int status = -1;  // exit status; −1 when the process did not exit normally
    pid_t pid = -1;
    std::string out;
    std::string err;
};

inline std::string ReadAll(int fd)
{
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, size_t(n));
    close(fd);
    return text;
}

// Runs `body` in a child process in the folder `cwd`, with standard output
// and standard error captured; the child ends with status 99 when `body`
// returns.
template <typename Body>
Result RunInChild(const std::string& cwd, Body body)
{
    int out[2], err[2];
    Result result;
    if (pipe(out) != 0 || pipe(err) != 0)
        return result;
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = fork();
    if (child == 0) {
        dup2(out[1], 1);
        dup2(err[1], 2);
        close(out[0]);
        close(err[0]);
        if (chdir(cwd.c_str()) == 0)
            body();
        std::fflush(stdout);
        _exit(99);
    }
    close(out[1]);
    close(err[1]);
    result.pid = child;
    result.out = ReadAll(out[0]);
    result.err = ReadAll(err[0]);
    int raw = 0;
    waitpid(child, &raw, 0);
    if (WIFEXITED(raw))
        result.status = WEXITSTATUS(raw);
    return result;
}

// The build puts the test programs in <build>/tests and threnody in
// <build>/demo.
inline std::string ThrenodyPath()
{
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return "";
    const std::filesystem::path program(std::string(self, size_t(length)));
    return (program.parent_path().parent_path() / "demo" / "threnody").string();
}

// Runs threnody with these arguments in the folder `cwd` and waits for it.
inline Result RunThrenody(const std::string& cwd, const std::vector<std::string>& args)
{
    const std::string program = ThrenodyPath();
    return RunInChild(cwd, [&] {
        std::vector<std::string> copies = {program};
        copies.insert(copies.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : copies)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execve(program.c_str(), argv.data(), environ);
    });
}

}  // namespace show
