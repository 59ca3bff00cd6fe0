// snapshot: the engine embedded in a program of its own, the shortest way:
// one scene file evaluated at one time, drawn into a 320 × 200 view without
// any window, and the frame written as a PNG picture.
//
//   snapshot SCENE SECONDS OUTPUT.png
//
// Texture files named in the scene are read relative to the current folder.
// Exit status: 0; 1 when the scene cannot be loaded or the picture written;
// 2 for a usage error. Built in the tree and against an installed kvor3d
// alike (examples/CMakeLists.txt).
#include <kvor3d/kvor3d.h>

#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace kvor3d;

namespace {

constexpr int32_t WIDTH = 320;
constexpr int32_t HEIGHT = 200;

// The view's 15-bit words (0RRRRRGGGGGBBBBB) as 8-bit RGB, each 5-bit
// component widened so that 31 becomes 255.
std::vector<uint8_t> Rgb(const XView& view)
{
    std::vector<uint8_t> rgb;
    const auto widen = [](uint32_t c) { return uint8_t((c << 3) | (c >> 2)); };
    for (int32_t i = 0; i < view.width * view.height; ++i) {
        const uint32_t p = view.current[i];
        rgb.insert(rgb.end(), {widen((p >> 10) & 31), widen((p >> 5) & 31), widen(p & 31)});
    }
    return rgb;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("snapshot (kvor3d) %s\n", KVOR3D_VERSION);
        return 0;
    }
    char* end = nullptr;
    const double seconds = argc == 4 ? std::strtod(argv[2], &end) : -1;
    if (argc != 4 || *end || !(seconds >= 0 && seconds < 1e6)) {
        std::fprintf(stderr, "usage: snapshot SCENE SECONDS OUTPUT.png\n");
        return 2;
    }
    // The 15-bit pixel mode and the lookup tables every frame reads, once
    // per process, for views of this width.
    if (!StartEngine(WIDTH)) {
        std::fprintf(stderr, "snapshot: not enough memory for the renderer's tables\n");
        return 1;
    }
    const TagItem sceneTags[] = {{TAG_LOADSCENE_FILENAME, TagPtr(argv[1])}, {TAG_DONE, 0}};
    Scene* scene = LoadScene(sceneTags);
    if (!scene) {
        std::fprintf(stderr, "snapshot: %s: cannot load the scene\n", argv[1]);
        return 1;
    }
    const TagItem viewTags[] = {{TAG_XVIEW_WIDTH, WIDTH}, {TAG_XVIEW_HEIGHT, HEIGHT}, {TAG_DONE, 0}};
    XView* view = XViewCreate(viewTags);
    if (!view) {
        std::fprintf(stderr, "snapshot: not enough memory for the view\n");
        FreeScene(scene);
        return 1;
    }
    // One frame as the playback loop draws it: every track at the time, the
    // camera's view of the scene with its sorted draw list, the background,
    // then the faces, shadows, glow and flares over it.
    EvaluateScene(scene, uint32_t(std::floor(seconds * TICKS_PER_SECOND)));
    PrepareScene(scene, scene->camera, view);
    DrawBackground(scene, view);
    RenderScene(scene, scene->camera, view, 0);

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = uint32_t(view->width);
    image.height = uint32_t(view->height);
    image.format = PNG_FORMAT_RGB;
    const bool written = png_image_write_to_file(&image, argv[3], 0, Rgb(*view).data(), 0, nullptr);
    if (!written)
        std::fprintf(stderr, "snapshot: %s: cannot write the picture\n", argv[3]);
    XViewDelete(view);
    FreeScene(scene);
    StopEngine();
    return written ? 0 : 1;
}
