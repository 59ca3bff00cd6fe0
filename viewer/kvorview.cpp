// kvorview: the scene viewer. Opens the 320 × 200 view, loads the scene file
// named on its command line, plays it once in real time from its first key
// to its last and prints the frame rate it reached; closing the window (or
// Escape or q) stops it early, with the rate so far. It uses the engine in
// the standard order, so it is the reference for how a program drives it.
//
//   kvorview [-C DIR] [--scale N] [--fullscreen] [--fps N] SCENEFILE
//
// Reads the palette data/.palette and the texture files named in the scene
// as texture_names.h finds them: relative names in the scene file's folder
// (or in DIR of -C), else their last component there (.palette beside the
// scene), never in the current folder. Exit status 1 when the view cannot
// be opened or a texture is found nowhere, 2 for a usage error, else 0,
// also after the other errors it reports.
#include "desktop.h"
#include "kvor3d.h"
#include "texture_names.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace kvor3d;

namespace {

constexpr int32_t PIXEL_MODE_RGB15 = 1;
constexpr int32_t CHUNKY_WIDTH = 320;
constexpr int32_t POSITION_TABLE_ANGLE = 45;
constexpr int32_t POSITION_TABLE_FAR = 32000;
constexpr int32_t SHADE_OFFSET = 45;
constexpr size_t SCENE_NAME_BYTES = 256;
constexpr char PALETTE_FILE[] = "data/.palette";
constexpr DesktopProgram PROGRAM = {
    "kvorview",
    "kvorview [-C DIR] [options] SCENEFILE",
    "Plays the scene once and prints the frames a second it reached; as many as it draws unless\n"
    "--fps says otherwise. The palette data/.palette and the textures the scene names are read\n"
    "from the scene file's folder, or with -C DIR from DIR: a relative name from there, else its\n"
    "last path component from there (an absolute texture name as given); a texture found\n"
    "nowhere is an error.",
};

// The program's state; all zero at start.
DView* View;
ColourTable* Colours;
Scene* ViewedScene;
XView* RenderTarget;
uint32_t SceneTime;        // written by the playback loop
uint32_t FrameCount;       // frames presented
char SceneName[SCENE_NAME_BYTES];
bool SceneNameFits;        // the argument is shorter than the name buffer
uint32_t Palette[PALETTE_FILE_WORDS];
FramePacer Pacer = StartPacer(0);  // unpaced unless --fps is given

// One frame: prepare, background, render, present.
void DrawFrame(Scene* scene)
{
    PrepareScene(scene, scene->camera, RenderTarget);
    DrawBackground(scene, RenderTarget);
    RenderScene(scene, scene->camera, RenderTarget, 0);
    PresentView(View);
    ++FrameCount;
}

// The playback loop's stop poll, once a frame: playing stops when the
// window is to close; else it waits for the next frame's turn.
int KeepPlaying()
{
    if (ViewCloseRequested(View))
        return 1;
    PaceFrame(&Pacer);
    return 0;
}

void FreeTables()
{
    FreeNormalTable();
    FreePositionTable();
    FreeRadialTable();
}

// The reported failures print their line and end with `status`. The view is
// closed first, so that its window and shared memory go at once.
int Fail(const char* message, bool tablesBuilt, int status = 0)
{
    std::fputs(message, stdout);
    if (tablesBuilt)
        FreeTables();
    CloseView(View);
    return status;
}

// Takes "-C DIR" out of the program's own arguments into `directory`; a
// usage error ends the program as the desktop options' do.
void TakeDirectory(DesktopOptions* options, const char** directory)
{
    std::vector<char*>& arguments = options->arguments;
    for (auto at = arguments.begin(); at != arguments.end();) {
        if (std::strcmp(*at, "-C") != 0) {
            ++at;
            continue;
        }
        if (at + 1 == arguments.end()) {
            std::fprintf(stderr, "%s: option '-C' needs a value\nusage: %s\n", PROGRAM.name, PROGRAM.usage);
            std::exit(2);
        }
        *directory = at[1];
        at = arguments.erase(at, at + 2);
    }
}

// Reads the palette file found in `folder`; a short read leaves the rest of
// the buffer zero.
bool ReadPalette(const std::string& folder)
{
    std::string path, looked;
    if (!texturenames::Find(folder, PALETTE_FILE, &path, &looked))
        return false;
    FILE* file = OpenRegularFile(path.c_str());
    if (!file)
        return false;
    static_cast<void>(std::fread(Palette, sizeof(uint32_t), PALETTE_FILE_WORDS, file));
    std::fclose(file);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    DesktopOptions options = ReadDesktopOptions(argc, argv, PROGRAM);
    const char* directory = nullptr;
    TakeDirectory(&options, &directory);
    SetPixelMode(PIXEL_MODE_RGB15);
    View = OpenDesktopView(argc, argv, options);
    if (!View) {
        std::fputs("Cant open view\n", stdout);
        return 1;
    }
    if (options.arguments.empty())
        return Fail("Scene name missing\n", false);
    // A name that does not fit the buffer is not cut short: it is reported
    // as a scene that cannot be loaded.
    SceneNameFits = std::strlen(options.arguments[0]) < SCENE_NAME_BYTES;
    if (SceneNameFits)
        std::strcpy(SceneName, options.arguments[0]);
    Pacer = StartPacer(options.fps > 0 ? options.fps : 0);

    BuildSquareTable();
    BuildNormalTable();
    BuildRadialTable();
    BuildPositionTable(POSITION_TABLE_ANGLE, CHUNKY_WIDTH, POSITION_TABLE_FAR);

    const std::string folder = directory ? texturenames::Folder(directory) : texturenames::FolderOf(options.arguments[0]);
    if (!ReadPalette(folder))
        return Fail("cant read palette\n", true);
    const TagItem colourTags[] = {
        {TAG_COLOURTABLE_PALETTE, TagPtr(Palette)},
        {TAG_COLOURTABLE_OCTREE, 1},
        {TAG_DONE, 0},
    };
    Colours = CreateColourTable(colourTags);

    int32_t loadResult = 0;
    const TagItem sceneTags[] = {
        {TAG_LOADSCENE_FILENAME, TagPtr(SceneName)},
        {TAG_LOADSCENE_ERROR, TagPtr(&loadResult)},
        {TAG_LOADSCENE_COLOURTABLE, TagPtr(Colours)},
        {TAG_LOADSCENE_TEXTUREFILES, TagPtr(texturenames::Begin(SceneName, directory))},
        {TAG_DONE, 0},
    };
    ViewedScene = SceneNameFits ? LoadScene(sceneTags) : nullptr;
    if (const std::string missing = texturenames::Missing(SceneName); !ViewedScene && !missing.empty())
        return Fail(("kvorview: " + missing + "\n").c_str(), true, 1);
    if (!ViewedScene)
        return Fail("Cant load scene\n", true);
    AllocDrawLists(ViewedScene);
    TimerCreate();
    RenderTarget = View->xview;
    BuildShadeTable(Colours, SHADE_OFFSET);

    const TagItem playTags[] = {
        {TAG_PLAY_TIMESOURCE, TagPtr(&TimerRead)},
        {TAG_PLAY_FRAME, TagPtr(&DrawFrame)},
        {TAG_PLAY_SCENETIME, TagPtr(&SceneTime)},
        {TAG_PLAY_STOP, TagPtr(&KeepPlaying)},
        {TAG_DONE, 0},
    };
    PlayScene(ViewedScene, playTags);
    // The rate divides by the time playback ended at, not by the time it
    // took; a scene of one instant reports an infinite rate.
    std::printf("fps: %g\n", double(uint64_t(FrameCount) * TICKS_PER_SECOND) / double(uint64_t(SceneTime)));

    FreeTables();
    CloseView(View);
    TimerDelete();
    return 0;
}
