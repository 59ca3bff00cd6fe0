#include "desktop.h"

#include "kvor3d.h"

using namespace kvor3d;

namespace {

constexpr uintptr_t VIEW_DEPTH = 15;

}  // namespace

DView* OpenDesktopView(int argc, char** argv, const DesktopOptions& options)
{
    const TagItem tags[] = {
        {TAG_OPENVIEW_DEPTH, VIEW_DEPTH},
        {TAG_OPENVIEW_DOUBLEBUFFER, 0},
        {TAG_OPENVIEW_SCALE, options.scale},
        {TAG_OPENVIEW_FULLSCREEN, options.fullscreen},
        {TAG_DONE, 0},
    };
    return OpenView(argc, argv, tags);
}
