// An installed kvor3d used from outside the tree: draws the scene file
// named on the command line at its time 0 without a window and fails
// unless its objects cover part of the frame (at least 1 % of the pixels
// differ from the background alone). Prints a checksum of the frame, the
// same for every build of the same library.
#include <kvor3d/kvor3d.h>

#include <cstdio>
#include <vector>

using namespace kvor3d;

int main(int argc, char** argv)
{
    const TagItem viewTags[] = {{TAG_XVIEW_WIDTH, 320}, {TAG_XVIEW_HEIGHT, 200}, {TAG_DONE, 0}};
    XView* view = XViewCreate(viewTags);
    if (argc != 2 || !view || !StartEngine(view->width))
        return 2;
    const TagItem sceneTags[] = {{TAG_LOADSCENE_FILENAME, TagPtr(argv[1])}, {TAG_DONE, 0}};
    Scene* scene = LoadScene(sceneTags);
    if (!scene)
        return 1;
    EvaluateScene(scene, 0);
    PrepareScene(scene, scene->camera, view);
    DrawBackground(scene, view);
    const size_t pixels = size_t(view->width) * size_t(view->height);
    const std::vector<uint16_t> background(view->current, view->current + pixels);
    RenderScene(scene, scene->camera, view, 0);
    size_t drawn = 0;
    uint32_t checksum = 2166136261u;  // FNV-1a over the words
    for (size_t i = 0; i < pixels; ++i) {
        drawn += view->current[i] != background[i];
        checksum = (checksum ^ view->current[i]) * 16777619u;
    }
    std::printf("%s (kvor3d %s): %zu of %zu pixels drawn, checksum %08x\n", argv[1], KVOR3D_VERSION, drawn, pixels,
                checksum);
    FreeScene(scene);
    XViewDelete(view);
    StopEngine();
    return drawn * 100 >= pixels ? 0 : 1;
}
