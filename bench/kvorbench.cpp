// kvorbench: the whole frame's cost on scene files, without a display. For
// each scene file named it renders F frames spread evenly from the scene's
// first key to its last, each as a program's frame callback draws it
// (evaluate, prepare, background, render into a 320 × 200 frame buffer),
// after one frame that is not counted (it makes the buffers drawn on first
// use), and prints one line:
//
//   scene=<file> frames=<F> ns_per_frame=<mean> fps=<frames per second>
//
// With --profile the line goes on with the mean nanoseconds per frame of each
// stage: evaluate, transform (prepare but the sort, and the point lighting),
// sort, background, shadows, main pass, glow, flares and blend.
//
//   kvorbench [-f F | --frames F] [--profile] [-p FILE | --palette FILE] [-C DIR] SCENE...
//
// Texture files named in a scene are found as texture_names.h says: an
// absolute name as given, a relative one in that scene file's folder (or in
// DIR of -C), else its last component there, never in the current folder.
// Exit status 0; 1 when a scene, a texture or the palette cannot be loaded;
// 2 for a usage error.
#include "headless.h"
#include "options.h"
#include "progress.h"
#include "texture_names.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

using namespace kvor3d;

namespace {

constexpr char PROGRAM[] = "kvorbench";
constexpr uint32_t DEFAULT_FRAMES = 500;
constexpr uint32_t MAX_FRAMES = 10000000;
constexpr int PROFILE = cli::LONG_ONLY;

const cli::Program COMMAND_LINE = {
    PROGRAM,
    "kvorbench [-f F | --frames F] [--profile] [-p FILE | --palette FILE] [-C DIR] SCENE...",
    "Renders F frames of each scene file without a display, spread evenly from\n"
    "its first key to its last, and prints the mean time per frame and the\n"
    "frame rate, one line per scene. A texture a scene names is read from that\n"
    "name when it is absolute; a relative one from the scene file's folder (or\n"
    "DIR), or else its last path component from there; a texture found nowhere\n"
    "is an error. A progress line goes to standard error when it is a terminal.",
    {{'f', "frames", "F", "frames per scene, 1 to 10000000 (default 500)"},
     {PROFILE, "profile", nullptr, "add the mean nanoseconds per frame of each stage"},
     {'p', "palette", "FILE", "palette file for the scenes' colour table"},
     {'C', "directory", "DIR", "look for relative texture names in DIR instead of\neach scene file's folder"}},
    "Exit status: 0 on success, 1 when a scene, a texture or the palette cannot\nbe loaded, 2 for a usage error.",
};

uint64_t Nanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return uint64_t(now.tv_sec) * 1000000000u + uint64_t(now.tv_nsec);
}

struct Options {
    uint32_t frames = DEFAULT_FRAMES;
    bool profile = false;
    const char* palette = nullptr;
    const char* directory = nullptr;  // -C; null: each scene's folder
    std::vector<const char*> scenes;
};

int ParseOptions(int argc, char** argv, Options* options)
{
    const int parsed = cli::Parse(
        COMMAND_LINE, argc, argv,
        [options](int key, const char* value) {
            unsigned long long frames = 0;
            switch (key) {
            case PROFILE:
                options->profile = true;
                return std::string();
            case 'p':
                options->palette = value;
                return std::string();
            case 'C':
                options->directory = value;
                return std::string();
            default:
                if (!cli::ParseCount(value, 1, MAX_FRAMES, &frames))
                    return "'" + std::string(value) + "' is not a frame count (1 to " + std::to_string(MAX_FRAMES) + ")";
                options->frames = uint32_t(frames);
                return std::string();
            }
        },
        &options->scenes);
    if (parsed != cli::NONE)
        return parsed;
    return options->scenes.empty() ? cli::UsageError(COMMAND_LINE, "no scene file given") : cli::NONE;
}

Scene* Load(const char* path, const char* directory, ColourTable* colours, SceneLoadFailure* failure)
{
    int32_t error = 0;
    TagItem tags[6] = {{TAG_LOADSCENE_FILENAME, TagPtr(path)},
                       {TAG_LOADSCENE_ERROR, TagPtr(&error)},
                       {TAG_LOADSCENE_FAILURE, TagPtr(failure)},
                       {TAG_LOADSCENE_TEXTUREFILES, TagPtr(texturenames::Begin(path, directory))}};
    size_t count = 4;
    if (colours)
        tags[count++] = {TAG_LOADSCENE_COLOURTABLE, TagPtr(colours)};
    tags[count] = {TAG_DONE, 0};
    return LoadScene(tags);
}

// One scene's frames and its line. False when the scene cannot be loaded.
bool Measure(const char* path, const Options& options, ColourTable* colours, XView* view)
{
    SceneLoadFailure failure{};
    Scene* scene = Load(path, options.directory, colours, &failure);
    if (const std::string missing = texturenames::Missing(path); !scene && !missing.empty()) {
        std::fprintf(stderr, "%s: %s\n", PROGRAM, missing.c_str());
        return false;
    }
    if (!scene && failure.file[0]) {
        std::fprintf(stderr, "%s: %s: cannot read %s: %s\n", PROGRAM, path, failure.file, std::strerror(failure.error));
        return false;
    }
    if (!scene) {
        std::fprintf(stderr, "%s: %s: cannot load the scene\n", PROGRAM, path);
        return false;
    }
    uint32_t start, end;
    headless::SceneTimeRange(scene, &start, &end);
    headless::RenderAt(scene, view, start);

    Profile = RenderProfile{};
    if (options.profile)
        Profile.clock = Nanoseconds;
    uint64_t evaluate = 0, background = 0;
    progress::Line shown(PROGRAM, path, options.frames);
    const uint64_t begin = Nanoseconds();
    for (uint32_t i = 0; i < options.frames; ++i) {
        const uint32_t t = headless::FrameTime(start, end, i, options.frames);
        if (options.profile) {
            uint64_t mark = Nanoseconds();
            EvaluateScene(scene, t);
            evaluate += Nanoseconds() - mark;
            PrepareScene(scene, scene->camera, view);
            mark = Nanoseconds();
            DrawBackground(scene, view);
            background += Nanoseconds() - mark;
            RenderScene(scene, scene->camera, view, 0);
        } else {
            headless::RenderAt(scene, view, t);
        }
        shown.Done(i + 1);
    }
    const double total = double(Nanoseconds() - begin);
    shown.End();
    Profile.clock = nullptr;

    const double frames = options.frames;
    const double mean = total / frames;
    std::printf("scene=%s frames=%u ns_per_frame=%.0f fps=%.1f", path, options.frames, mean, 1e9 / mean);
    if (options.profile) {
        const std::pair<const char*, uint64_t> stages[] = {
            {"evaluate", evaluate},       {"transform", Profile.transform}, {"sort", Profile.sort},
            {"background", background},   {"shadows", Profile.shadows},     {"main", Profile.mainPass},
            {"glow", Profile.glow},       {"flares", Profile.flares},       {"blend", Profile.blend},
        };
        for (const auto& stage : stages)
            std::printf(" %s_ns=%.0f", stage.first, double(stage.second) / frames);
    }
    std::printf("\n");
    std::fflush(stdout);
    FreeScene(scene);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (int status = ParseOptions(argc, argv, &options); status != cli::NONE)
        return status;
    if (!StartEngine(headless::VIEW_WIDTH)) {
        std::fprintf(stderr, "%s: out of memory\n", PROGRAM);
        return 1;
    }
    ColourTable* colours = nullptr;
    if (options.palette && !(colours = headless::ReadPalette(options.palette))) {
        std::fprintf(stderr, "%s: %s: cannot read the palette\n", PROGRAM, options.palette);
        return 1;
    }
    const TagItem viewTags[] = {
        {TAG_XVIEW_WIDTH, headless::VIEW_WIDTH},
        {TAG_XVIEW_HEIGHT, headless::VIEW_HEIGHT},
        {TAG_DONE, 0},
    };
    XView* view = XViewCreate(viewTags);
    if (!view) {
        std::fprintf(stderr, "%s: out of memory\n", PROGRAM);
        return 1;
    }
    int status = 0;
    for (const char* path : options.scenes) {
        if (!Measure(path, options, colours, view))
            status = 1;
    }
    XViewDelete(view);
    DeleteColourTable(colours);
    StopEngine();
    return status;
}
