#include "display/display.h"

#include "core/settings.h"
#include "display/canvo.h"

#include <algorithm>
#include <cstdlib>

namespace kvor3d {

namespace {

// The one window of the process: set by OpenView, used by PresentView and
// CloseView.
Canvo* window = nullptr;

constexpr const char* WINDOW_TITLE = "Kvoral 3D Render Window";
constexpr int SOURCE_DEPTH = 15;

bool ValidSize(int32_t width, int32_t height)
{
    return width > 0 && height > 0 && uint64_t(width) * uint64_t(height) * 4 <= UINT32_MAX;
}

template <typename T>
T* AllocPlane(int32_t width, int32_t height, uint32_t bytesPerElement)
{
    return static_cast<T*>(MemAlloc(uint32_t(width) * uint32_t(height), bytesPerElement));
}

bool FlagFromTag(const TagItem* item)
{
    return (item->data & 0xFFFF) != 0;
}

void FreeFrameBuffers(XView* view)
{
    if (view->flags & XVIEW_DOUBLEBUFFER) {
        MemFree(view->bufferA);
        MemFree(view->bufferB);
    } else {
        MemFree(view->current);
    }
    MemFree(view->bufferC);
    view->current = view->bufferA = view->bufferB = view->bufferC = nullptr;
}

}  // namespace

DView* OpenView(int argc, char** argv, const TagItem* tags)
{
    DView* view = static_cast<DView*>(MemAllocClear(sizeof(DView)));
    if (!view) {
        PrintText("cant alloc memory for dview \n");
        return nullptr;
    }
    const TagItem* item = FindTag(TAG_OPENVIEW_WIDTH, tags);
    uintptr_t width = item ? item->data : 320;
    item = FindTag(TAG_OPENVIEW_HEIGHT, tags);
    uintptr_t height = item ? item->data : 200;
    item = FindTag(TAG_OPENVIEW_DOUBLEBUFFER, tags);
    int16_t doubleBuffer = item ? int16_t(item->data & 0xFFFF) : 0;

    TagItem xviewTags[] = {
        {TAG_XVIEW_WIDTH, width},
        {TAG_XVIEW_HEIGHT, height},
        {TAG_XVIEW_DOUBLEBUFFER, uintptr_t(intptr_t(doubleBuffer))},
        {TAG_DONE, 0},
    };
    view->xview = XViewCreate(xviewTags);
    if (!view->xview) {
        CloseView(view);
        PrintText("cant init xview\n");
        return nullptr;
    }

    item = FindTag(TAG_OPENVIEW_SCALE, tags);
    int scale = item ? int(std::min<uintptr_t>(item->data, 32767)) : 1;
    item = FindTag(TAG_OPENVIEW_FULLSCREEN, tags);
    window = new Canvo();
    window->SetPresentation(scale, item && item->data);
    window->Open(argc, argv, view->xview->width, view->xview->height, SOURCE_DEPTH, WINDOW_TITLE);
    if (window->GetError() != ERR_CV_NONE) {
        PrintText("Error! Window could not be opened. Error code: \n");
        PrintText(window->GetErrorText());
        window->Close();
        delete window;
        window = nullptr;
        XViewDelete(view->xview);
        MemFree(view);
        std::exit(1);
    }
    return view;
}

// The window's lines are the view width rounded up to a multiple of 8, so
// the frame is copied line by line whenever the two differ; only the part
// that both share is copied (the view may have been resized since).
void PresentView(DView* view)
{
    if (!window || !view || !view->xview || !view->xview->current)
        return;
    const XView* xview = view->xview;
    uint8_t* target = window->GetSourceBuffer();
    int32_t targetLine = window->GetSourceBytesPerLine();
    int32_t sourceLine = xview->width * 2;
    int32_t rows = std::min(xview->height, window->GetHeight());
    const uint8_t* source = reinterpret_cast<const uint8_t*>(xview->current);
    if (sourceLine == targetLine && rows == xview->height) {
        MemCopy(target, source, sourceLine * rows);
    } else {
        int32_t lineBytes = std::min(sourceLine, targetLine);
        for (int32_t y = 0; y < rows; ++y)
            MemCopy(target + y * targetLine, source + y * sourceLine, lineBytes);
    }
    window->Refresh();
}

int ViewCloseRequested(DView* view)
{
    return view && window && window->CloseRequested() ? 1 : 0;
}

int ViewRefreshRate(DView* view)
{
    return view && window ? window->RefreshRate() : 0;
}

void CloseView(DView* view)
{
    if (!view)
        return;
    XViewDelete(view->xview);
    MemFree(view);
    if (window) {
        window->Close();
        delete window;
        window = nullptr;
    }
}

XView* XViewCreate(const TagItem* tags)
{
    const TagItem* widthTag = FindTag(TAG_XVIEW_WIDTH, tags);
    const TagItem* heightTag = FindTag(TAG_XVIEW_HEIGHT, tags);
    if (!widthTag || !heightTag)
        return nullptr;
    int32_t width = int32_t(widthTag->data);
    int32_t height = int32_t(heightTag->data);
    if (!ValidSize(width, height))
        return nullptr;
    const TagItem* doubleTag = FindTag(TAG_XVIEW_DOUBLEBUFFER, tags);
    FindTag(TAG_XVIEW_RESERVED, tags);

    XView* view = static_cast<XView*>(MemAllocClear(sizeof(XView)));
    if (!view)
        return nullptr;
    view->width = width;
    view->height = height;
    view->bytesPerPixel = GetBytesPerPixel();
    view->flags = (doubleTag && FlagFromTag(doubleTag)) ? XVIEW_DOUBLEBUFFER : 0;

    uint32_t pixelBytes = uint32_t(view->bytesPerPixel);
    if (view->flags & XVIEW_DOUBLEBUFFER) {
        view->bufferA = AllocPlane<uint16_t>(width, height, pixelBytes);
        view->bufferB = AllocPlane<uint16_t>(width, height, pixelBytes);
        view->current = view->bufferA;
        if (!view->bufferA || !view->bufferB) {
            XViewDelete(view);
            return nullptr;
        }
    } else {
        view->current = AllocPlane<uint16_t>(width, height, pixelBytes);
        if (!view->current) {
            XViewDelete(view);
            return nullptr;
        }
    }
    return view;
}

// Everything new is allocated before anything old is released, so a failed
// call leaves the view whole and consistent (buffers always match the size
// the record states). Going from single to double buffering keeps the old
// frame as buffer A.
int XViewSetAttrs(XView* view, const TagItem* tags)
{
    if (!view)
        return 0;
    const TagItem* item = FindTag(TAG_XVIEW_WIDTH, tags);
    int32_t width = item ? int32_t(item->data) : view->width;
    item = FindTag(TAG_XVIEW_HEIGHT, tags);
    int32_t height = item ? int32_t(item->data) : view->height;
    item = FindTag(TAG_XVIEW_DOUBLEBUFFER, tags);
    bool wasDouble = (view->flags & XVIEW_DOUBLEBUFFER) != 0;
    bool isDouble = item ? FlagFromTag(item) : wasDouble;
    if (!ValidSize(width, height))
        return 0;

    bool resized = width != view->width || height != view->height;
    uint32_t pixelBytes = uint32_t(view->bytesPerPixel);
    uint16_t* first = nullptr;   // new A (double) or new current (single)
    uint16_t* second = nullptr;  // new B
    float* depth = nullptr;
    uint8_t* mask = nullptr;
    bool ok = true;
    if (resized) {
        first = AllocPlane<uint16_t>(width, height, pixelBytes);
        ok = first != nullptr;
        if (isDouble) {
            second = AllocPlane<uint16_t>(width, height, pixelBytes);
            ok = ok && second;
        }
        if (view->depthBuffer) {
            depth = AllocPlane<float>(width, height, 4);
            ok = ok && depth;
        }
        if (view->shadowMask) {
            mask = AllocPlane<uint8_t>(width, height, 1);
            ok = ok && mask;
        }
    } else if (isDouble && !wasDouble) {
        second = AllocPlane<uint16_t>(width, height, pixelBytes);
        ok = second != nullptr;
    }
    if (!ok) {
        MemFree(first);
        MemFree(second);
        MemFree(depth);
        MemFree(mask);
        return 0;
    }

    if (resized) {
        FreeFrameBuffers(view);
        view->current = first;
        if (isDouble) {
            view->bufferA = first;
            view->bufferB = second;
        }
        if (depth) {
            MemFree(view->depthBuffer);
            view->depthBuffer = depth;
        }
        if (mask) {
            MemFree(view->shadowMask);
            view->shadowMask = mask;
        }
    } else if (wasDouble && !isDouble) {
        MemFree(view->bufferB);
        MemFree(view->bufferC);
        view->current = view->bufferA;
        view->bufferA = view->bufferB = view->bufferC = nullptr;
    } else if (!wasDouble && isDouble) {
        view->bufferA = view->current;
        view->bufferB = second;
    }
    view->width = width;
    view->height = height;
    view->flags = isDouble ? (view->flags | XVIEW_DOUBLEBUFFER) : (view->flags & ~XVIEW_DOUBLEBUFFER);
    return 1;
}

void XViewDelete(XView* view)
{
    if (!view)
        return;
    FreeFrameBuffers(view);
    MemFree(view->depthBuffer);
    MemFree(view->shadowMask);
    MemFree(view);
}

}  // namespace kvor3d
