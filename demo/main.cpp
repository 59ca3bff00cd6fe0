// threnody: the show. Loads everything from data/ in the current folder,
// opens its window (the 320 × 200 frame, scaled) and plays its eleven parts
// one after the other at the screen's pace; the last one repeats until the
// window is closed (or Escape or q pressed) or the process is ended.
//
//   threnody [-cdrom <device>] [--scale N] [--fullscreen] [--fps N]
#include "cd.h"
#include "data.h"
#include "desktop.h"
#include "parts.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

using namespace kvor3d;

namespace {

// Scene files in the order they are loaded.
enum SceneIndex {
    SCENE_LIGHTS,
    SCENE_LOGO,
    SCENE_HAND3,
    SCENE_ALIEN_COR,
    SCENE_ALIEN_BORN,
    SCENE_LESBY_1,
    SCENE_LESBY_3,
    SCENE_PANI,
    SCENE_SUECIDE,
    SCENE_SUECIDE2,
    SCENE_CUBE,
    SCENE_COUNT,
};

constexpr const char* SCENE_FILES[SCENE_COUNT] = {
    "data/lights.kvor",     "data/logo.kvor",    "data/hand3.kvor",    "data/alien_cor.kvor",
    "data/alien_born.kvor", "data/lesby_1.kvor", "data/lesby_3.kvor",  "data/pani.kvor",
    "data/suecide.kvor",    "data/suecide2.kvor", "data/cube.kvor",
};

// The parts before the last, in playing order.
struct TimelinePart {
    SceneIndex scene;
    FrameCallback frame;
};

constexpr TimelinePart TIMELINE[] = {
    {SCENE_LOGO, logo_frame},        {SCENE_ALIEN_COR, alien_cor_frame}, {SCENE_ALIEN_BORN, alien_born_frame},
    {SCENE_LIGHTS, lights_frame},    {SCENE_PANI, pani_frame},           {SCENE_CUBE, cube_frame},
    {SCENE_LESBY_1, lesby1_frame},   {SCENE_LESBY_3, lesby3_frame},      {SCENE_SUECIDE, suecide_frame},
    {SCENE_SUECIDE2, suecide2_frame},
};

constexpr int32_t POSITION_TABLE_ANGLE = 45;
constexpr int32_t POSITION_TABLE_FAR = 32768;

constexpr DesktopProgram PROGRAM = {
    "threnody",
    "threnody [-cdrom DEVICE] [options]",
    "Plays the show from data/ in the current folder; -cdrom DEVICE, first of its own arguments,\n"
    "plays the music from track 2 of the CD in DEVICE. The frames follow the screen's refresh\n"
    "rate (60 a second where it is unknown) unless --fps says otherwise.",
};

// The show's effects count frames, so it draws at a display's pace.
constexpr int32_t DEFAULT_FPS = 60;

constexpr const char* CREDITS_NOTICE = "threnody - a kvor3d show: code, scenes and pictures by the kvor3d team\n";

// What the start-up holds for the exit routine and the CD messages.
struct ProgramState {
    int argc;
    char** argv;
    int cd;  // the CD device's descriptor; −1 while CD audio is off (0 is a descriptor too)
    ColourTable* colours;
    Scene* scenes[SCENE_COUNT];
};

ProgramState Program = {0, nullptr, -1, nullptr, {}};
FramePacer Pacer = StartPacer(0);

// Never returns: frees the engine tables and the scenes, prints the
// credits notice, closes the view, stops the CD and ends with status 0.
// The colour table and the pictures are left to the process exit.
[[noreturn]] void demo_exit()
{
    FreeNormalTable();
    FreePositionTable();
    FreeRadialTable();
    for (Scene*& scene : Program.scenes) {
        FreeScene(scene);
        scene = nullptr;
    }
    std::printf("%s", CREDITS_NOTICE);
    CloseView(Show.view);
    Show.view = nullptr;
    TimerDelete();
    if (Program.cd != -1) {
        cd_stop(Program.argc, Program.argv, Program.cd);
        close(Program.cd);
    }
    std::exit(0);
}

// PlayScene's stop poll, once a frame after the part's callback: a window
// to be closed ends the show as its exit routine does; else it waits for
// the next frame's turn. The show never stops by itself.
int keep_playing()
{
    if (ViewCloseRequested(Show.view))
        demo_exit();
    PaceFrame(&Pacer);
    return 0;
}

void PlayPart(Scene* scene, FrameCallback frame)
{
    const TagItem tags[] = {
        {TAG_PLAY_TIMESOURCE, TagPtr(&TimerRead)},
        {TAG_PLAY_FRAME, TagPtr(frame)},
        {TAG_PLAY_SCENETIME, TagPtr(&Show.sceneTime)},
        {TAG_PLAY_STOP, TagPtr(&keep_playing)},
        {TAG_DONE, 0},
    };
    PlayScene(scene, tags);
}

void LoadScenes()
{
    for (int i = 0; i < SCENE_COUNT; ++i) {
        int32_t result = 0;
        const TagItem tags[] = {
            {TAG_LOADSCENE_FILENAME, TagPtr(SCENE_FILES[i])},
            {TAG_LOADSCENE_ERROR, TagPtr(&result)},
            {TAG_LOADSCENE_COLOURTABLE, TagPtr(Program.colours)},
            {TAG_LOADSCENE_PLACEHOLDERS, 0},
            {TAG_DONE, 0},
        };
        Program.scenes[i] = LoadScene(tags);
        if (!Program.scenes[i])
            demo_exit();
    }
}

[[noreturn]] void PlayTimeline()
{
    for (const TimelinePart& part : TIMELINE) {
        PlayPart(Program.scenes[part.scene], part.frame);
        if (part.frame == suecide_frame)
            suecide_handover(Show.sceneTime);  // part 10 goes on with part 9's held frame
    }
    for (;;) {
        PlayPart(Program.scenes[SCENE_HAND3], hand3_frame);
        hand3_repeat();
    }
}

}  // namespace

int main(int argc, char** argv)
{
    // Progress lines appear at once also when the output is a pipe.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const DesktopOptions options = ReadDesktopOptions(argc, argv, PROGRAM);
    const std::vector<char*>& args = options.arguments;
    Program.argc = argc;
    Program.argv = argv;

    std::printf("** Starting Timer\n");
    if (!TimerCreate()) {
        std::printf("Creating timer object failed\n");
        demo_exit();
    }
    if (!args.empty() && std::strcmp(args[0], "-cdrom") == 0) {
        if (args.size() < 2) {
            std::printf("Please specify cdrom device\n");
            std::printf("For example: Threnody.Linux -cdrom /dev/cdrom\n");
            return 0;
        }
        Program.cd = cd_open(argc, argv, args[1]);
    }

    SetPixelMode(1);
    BuildSquareTable();
    BuildNormalTable();
    BuildRadialTable();

    std::printf("** Loading Data. Please stand by.\n");
    load_show_data();
    const TagItem colourTags[] = {
        {TAG_COLOURTABLE_PALETTE, TagPtr(Data.palette)},
        {TAG_COLOURTABLE_OCTREE, 1},
        {TAG_DONE, 0},
    };
    Program.colours = CreateColourTable(colourTags);
    LoadScenes();

    std::printf("** Opening Display\n");
    Show.view = OpenDesktopView(argc, argv, options);
    if (!Show.view) {
        std::printf("Cant open view\n");
        return 1;
    }
    Show.frame = Show.view->xview;
    const int32_t refresh = ViewRefreshRate(Show.view);
    Pacer = StartPacer(options.fps >= 0 ? options.fps : refresh > 0 ? refresh : DEFAULT_FPS);
    BuildPositionTable(POSITION_TABLE_ANGLE, Show.frame->width, POSITION_TABLE_FAR);
    if (Program.cd != -1)
        cd_play(argc, argv, Program.cd);
    PlayTimeline();
}
