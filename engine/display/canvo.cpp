#include "display/canvo.h"

#include "core/core.h"
#include "display/convert.h"

#include <X11/Xatom.h>
#include <X11/extensions/Xrandr.h>
#include <X11/keysym.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace kvor3d {

namespace {

const char* const errorTexts[] = {
    "ERR_CV_NONE: No error",
    "ERR_CV_GC: Graphics Context could not be allocated",
    "ERR_CV_DISPLAY: Display could not be opened",
    "ERR_CV_NO_VISUAL: No visual found",
    "ERR_CV_PROPERTIES: Properties could not be set",
    "ERR_CV_VIRTUALSCREEN: Virtual screen could not be allocated",
    "ERR_CV_INGRAPHICS: Already in a graphics window",
    "ERR_CV_DIRECTVIDEO: Shared memory frame buffer could not be mapped",
};

// X errors are reported asynchronously and Xlib's default handler ends the
// process. While a Canvo opens, errors are caught here instead and turned
// into error codes; XSync makes every request's answer arrive in time.
int trappedError = 0;

int TrapXError(Display*, XErrorEvent* event)
{
    trappedError = event->error_code;
    return 0;
}

class ErrorTrap {
public:
    explicit ErrorTrap(Display* display) : display(display)
    {
        XSync(display, False);
        trappedError = 0;
        previous = XSetErrorHandler(TrapXError);
    }
    ~ErrorTrap()
    {
        XSync(display, False);
        XSetErrorHandler(previous);
    }
    // True when any request since the trap was set (or last checked) failed.
    bool Failed()
    {
        XSync(display, False);
        bool failed = trappedError != 0;
        trappedError = 0;
        return failed;
    }

private:
    Display* display;
    XErrorHandler previous;
};

struct DepthPreference {
    int sourceDepth;
    int depths[5];
};

const DepthPreference depthPreferences[] = {
    {8, {8, 16, 15, 32, 24}},
    {15, {15, 16, 32, 24, 8}},
    {16, {16, 15, 32, 24, 8}},
    {24, {24, 32, 16, 15, 8}},
    {32, {32, 24, 16, 15, 8}},
};

const int* PreferredDepths(int sourceDepth)
{
    for (const DepthPreference& p : depthPreferences) {
        if (p.sourceDepth == sourceDepth)
            return p.depths;
    }
    return nullptr;
}

// Bits per pixel that the server uses for images of `depth`; 0 when it has no
// pixmap format for that depth.
int PixmapBitsPerPixel(Display* display, int depth)
{
    int count = 0;
    XPixmapFormatValues* formats = XListPixmapFormats(display, &count);
    int bits = 0;
    for (int i = 0; i < count; ++i) {
        if (formats[i].depth == depth)
            bits = formats[i].bits_per_pixel;
    }
    if (formats)
        XFree(formats);
    return bits;
}

// PseudoColor, GrayScale and DirectColor (the odd classes) have writable
// colormaps; the 3-3-2 cube and SetColor can only be stored into those.
bool HasWritableColormap(const XVisualInfo& info)
{
    return (info.c_class & 1) != 0;
}

// Xlib calls this when the connection breaks (the server went away); it
// must not return. One line replaces Xlib's own report, and the process
// ends at once: exit handlers and destructors would only talk to the dead
// connection again.
int LoseConnection(Display*)
{
    std::fputs("lost the connection to the X display\n", stderr);
    std::fflush(stdout);
    std::_Exit(1);
}

// A server that goes away while a request is being written would end the
// process with SIGPIPE before Xlib ever saw the broken connection. While any
// display is open the signal is ignored, so the write fails and Xlib calls
// LoseConnection instead; a disposition the program chose itself is left
// alone, and the default comes back when the last display closes.
int pipeSignalHolders = 0;
bool pipeSignalIgnoredHere = false;

void HoldPipeSignal()
{
    if (pipeSignalHolders++ > 0)
        return;
    struct sigaction current {};
    sigaction(SIGPIPE, nullptr, &current);
    pipeSignalIgnoredHere = !(current.sa_flags & SA_SIGINFO) && current.sa_handler == SIG_DFL;
    if (pipeSignalIgnoredHere)
        std::signal(SIGPIPE, SIG_IGN);
}

void LetGoOfPipeSignal()
{
    if (--pipeSignalHolders > 0 || !pipeSignalIgnoredHere)
        return;
    std::signal(SIGPIPE, SIG_DFL);
    pipeSignalIgnoredHere = false;
}

// Asks the server itself: the MIT-SHM calls would have Xlib print a warning
// of its own on a server without the extension.
bool HasSharedMemoryExtension(Display* display)
{
    int opcode = 0, firstEvent = 0, firstError = 0;
    return XQueryExtension(display, "MIT-SHM", &opcode, &firstEvent, &firstError);
}

}  // namespace

const char* CanvoErrorText(int error)
{
    if (error < 0 || error >= int(sizeof errorTexts / sizeof errorTexts[0]))
        return "";
    return errorTexts[error];
}

Canvo::Canvo()
{
    segmentInfo.shmid = -1;
}

Canvo::Canvo(int argc, char** argv, int width, int height, int sourceDepth, const char* title) : Canvo()
{
    error = Open(argc, argv, width, height, sourceDepth, title);
}

Canvo::~Canvo()
{
    Close();
}

int Canvo::Open(int argc, char** argv, int width, int height, int sourceDepth, const char* title)
{
    if (inGraphics) {
        error = ERR_CV_INGRAPHICS;
        return error;
    }
    this->width = width;
    this->height = height;
    this->sourceDepth = sourceDepth;
    watchingClose = closeRequested = false;
    error = OpenSteps(argc, argv, title);
    if (error != ERR_CV_NONE) {
        Release();
        return error;
    }
    inGraphics = 1;
    return ERR_CV_NONE;
}

int Canvo::OpenSteps(int argc, char** argv, const char* title)
{
    if (width <= 0 || height <= 0 || width > 32767 || height > 32767)
        return ERR_CV_VIRTUALSCREEN;
    const char* name = std::getenv("DISPLAY");
    display = XOpenDisplay(name ? name : ":0.0");
    if (!display)
        return ERR_CV_DISPLAY;
    XSetIOErrorHandler(LoseConnection);
    HoldPipeSignal();
    holdsPipeSignal = true;
    screen = DefaultScreenOfDisplay(display);
    screenNumber = DefaultScreen(display);

    ErrorTrap trap(display);
    int result = ChooseVisual();
    if (result == ERR_CV_NONE)
        result = CreateWindow();
    if (result == ERR_CV_NONE)
        CreatePicture();
    if (result == ERR_CV_NONE && trap.Failed())
        result = ERR_CV_NO_VISUAL;
    if (result == ERR_CV_NONE)
        result = SetProperties(argc, argv, title);
    if (result == ERR_CV_NONE && trap.Failed())
        result = ERR_CV_PROPERTIES;
    if (result == ERR_CV_NONE)
        result = CreateGC();
    if (result == ERR_CV_NONE && trap.Failed())
        result = ERR_CV_GC;
    if (result == ERR_CV_NONE)
        result = CreateSharedImage();
    if (result == ERR_CV_NONE) {
        XMapWindow(display, window);
        ForgetBackgroundTile();
        LoadColourCube();
        if (trap.Failed())
            result = ERR_CV_DIRECTVIDEO;
    }
    return result;
}

// Scans the preference list of the source depth; for each depth the first
// visual of that depth in the server's order wins. Depths whose image layout
// no converter writes are passed over.
int Canvo::ChooseVisual()
{
    const int* depths = PreferredDepths(sourceDepth);
    int sourceFlag = SourceFlag(sourceDepth);
    if (!depths || !sourceFlag)
        return ERR_CV_NO_VISUAL;

    XVisualInfo templ{};
    templ.screen = screenNumber;
    int count = 0;
    XVisualInfo* infos = XGetVisualInfo(display, VisualScreenMask, &templ, &count);
    if (!infos || count < 1) {
        if (infos)
            XFree(infos);
        return ERR_CV_NO_VISUAL;
    }
    const XVisualInfo* chosen = nullptr;
    for (int d = 0; d < 5 && !chosen; ++d) {
        int bits = PixmapBitsPerPixel(display, depths[d]);
        int destinationFlag = DestinationFlag(depths[d], bits);
        if (!destinationFlag)
            continue;
        for (int i = 0; i < count; ++i) {
            if (infos[i].depth == depths[d]) {
                chosen = &infos[i];
                imageBitsPerPixel = bits;
                conversionCode = sourceFlag | destinationFlag;
                break;
            }
        }
    }
    if (chosen) {
        visual = chosen->visual;
        visualDepth = chosen->depth;
        colormapWritable = HasWritableColormap(*chosen);
        // A 32-bit visual whose colour masks leave bits free carries alpha:
        // those bits are written set so a compositor shows the window opaque.
        if (visualDepth == 32)
            opaqueBits = ~uint32_t(chosen->red_mask | chosen->green_mask | chosen->blue_mask);
    }
    XFree(infos);
    return chosen ? ERR_CV_NONE : ERR_CV_NO_VISUAL;
}

// A window whose visual is not the screen's default needs a colormap of that
// visual and a border pixel, or the server refuses it (BadMatch). An 8-bit
// visual with a writable colormap gets one of its own with every entry ours.
int Canvo::CreateWindow()
{
    width = (width + 7) & ~7;
    sourceBytesPerLine = ((sourceDepth + 7) / 8) * width;
    ChooseScale();

    Window root = RootWindow(display, screenNumber);
    XSetWindowAttributes attributes{};
    unsigned long mask = 0;
    if (visualDepth == 8 && colormapWritable)
        colormap = XCreateColormap(display, root, visual, AllocAll);
    else if (visual != DefaultVisual(display, screenNumber))
        colormap = XCreateColormap(display, root, visual, AllocNone);
    if (colormap) {
        attributes.colormap = colormap;
        mask |= CWColormap;
    }
    if (visual != DefaultVisual(display, screenNumber)) {
        attributes.border_pixel = 0;
        mask |= CWBorderPixel;
    }
    window = XCreateWindow(display, root, 0, 0, unsigned(windowWidth), unsigned(windowHeight), unsigned(borderWidth),
                           visualDepth, InputOutput, visual, mask, &attributes);
    if (!window)
        return ERR_CV_NO_VISUAL;
    if (visualDepth == 8 && colormap)
        XSetWindowColormap(display, window, colormap);
    return ERR_CV_NONE;
}

int Canvo::SetProperties(int argc, char** argv, const char* title)
{
    char nameBuffer[1024];
    std::snprintf(nameBuffer, sizeof nameBuffer, "%s", title ? title : "Canvo");
    char* names[1] = {nameBuffer};
    XTextProperty windowName{};
    if (!XStringListToTextProperty(names, 1, &windowName))
        return ERR_CV_PROPERTIES;

    XSizeHints* sizeHints = XAllocSizeHints();
    XWMHints* wmHints = XAllocWMHints();
    XClassHint* classHint = XAllocClassHint();
    int result = ERR_CV_PROPERTIES;
    if (sizeHints && wmHints && classHint) {
        sizeHints->flags = PPosition | PSize | PMinSize;
        sizeHints->min_width = fullScreen ? width : windowWidth;
        sizeHints->min_height = fullScreen ? height : windowHeight;
        wmHints->flags = InputHint | StateHint | IconPixmapHint;
        wmHints->input = True;
        wmHints->initial_state = NormalState;
        wmHints->icon_pixmap = None;
        char className[] = "Canvo";
        classHint->res_name = (argc > 0 && argv && argv[0]) ? argv[0] : className;
        classHint->res_class = className;
        XSetWMProperties(display, window, &windowName, nullptr, argv, argv ? argc : 0, sizeHints, wmHints, classHint);
        result = ERR_CV_NONE;
    }
    if (sizeHints)
        XFree(sizeHints);
    if (wmHints)
        XFree(wmHints);
    if (classHint)
        XFree(classHint);
    XFree(windowName.value);
    return result;
}

int Canvo::CreateGC()
{
    // Copies with this context are pixmap to pixmap and never need to be
    // told of areas they could not read.
    XGCValues values{};
    values.graphics_exposures = False;
    gc = XCreateGC(display, window, GCGraphicsExposures, &values);
    if (!gc)
        return ERR_CV_GC;
    XSetForeground(display, gc, WhitePixelOfScreen(screen));
    XSetBackground(display, gc, BlackPixelOfScreen(screen));
    return ERR_CV_NONE;
}

// The segment is private to this user (0600) and marked for removal as soon
// as both sides have attached it, so it disappears with the last detach even
// when the process is killed.
int Canvo::CreateSharedImage()
{
    sourceBuffer = static_cast<uint8_t*>(MemAlloc(uint32_t(height), uint32_t(sourceBytesPerLine)));
    if (!sourceBuffer)
        return ERR_CV_VIRTUALSCREEN;

    int major = 0, minor = 0;
    Bool sharedPixmaps = False;
    if (!HasSharedMemoryExtension(display) || !XShmQueryVersion(display, &major, &minor, &sharedPixmaps) ||
        !sharedPixmaps || XShmPixmapFormat(display) != ZPixmap)
        return ERR_CV_DIRECTVIDEO;

    size_t bytes = size_t(width) * size_t(height) * size_t(imageBitsPerPixel / 8) * size_t(capacityScale) *
                   size_t(capacityScale);
    segmentInfo.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (segmentInfo.shmid < 0)
        return ERR_CV_DIRECTVIDEO;
    void* address = shmat(segmentInfo.shmid, nullptr, 0);
    if (address == reinterpret_cast<void*>(-1))
        return ERR_CV_DIRECTVIDEO;
    image = static_cast<uint8_t*>(address);
    segmentInfo.shmaddr = reinterpret_cast<char*>(address);
    segmentInfo.readOnly = False;

    ErrorTrap trap(display);
    XShmAttach(display, &segmentInfo);
    if (trap.Failed())
        return ERR_CV_DIRECTVIDEO;
    segmentAttached = true;
    shmctl(segmentInfo.shmid, IPC_RMID, nullptr);
    segmentInfo.shmid = -1;

    ShowAtScale(scale);
    if (trap.Failed()) {
        pixmap = 0;
        return ERR_CV_DIRECTVIDEO;
    }
    return ERR_CV_NONE;
}

// For a true-colour source on an 8-bit visual: entry r×32 + g×4 + b holds
// (32r, 32g, 64b), the 3-3-2 cube that converters 34..48 index.
void Canvo::LoadColourCube()
{
    if (visualDepth != 8 || sourceDepth == 8 || !colormapWritable || !colormap)
        return;
    for (int r = 0; r < 8; ++r) {
        for (int g = 0; g < 8; ++g) {
            for (int b = 0; b < 4; ++b) {
                XColor colour{};
                colour.pixel = unsigned(r * 32 + g * 4 + b);
                colour.red = uint16_t(32 * r * 256);
                colour.green = uint16_t(32 * g * 256);
                colour.blue = uint16_t(64 * b * 256);
                colour.flags = DoRed | DoGreen | DoBlue;
                XStoreColor(display, colormap, &colour);
            }
        }
    }
}

// The server paints a window's background through a scratch graphics context
// that keeps the last tile it used, and with it a reference to our pixmap
// and so to the shared segment: a process killed outright would leave the
// segment attached until the server paints some other tiled background.
// After each paint from the pixmap, a throw-away 8 × 8 tile (a 1 × 1 tile
// would be painted as a solid colour and not reach the cache) is passed
// through that context instead: the picture's first pixel is copied into
// the tile's, the tile becomes its background, the first pixel is cleared
// (a nonempty area: an empty one is not painted at all), repainting it with
// the colour it had, and the pixmap is made the background again. Only the
// tile is drawn with our graphics context, without exposure events.
// Exposures the server repaints on its own (a window moved away, a window
// manager mapping the window late, a new scale or layout) cache the pixmap
// again until the next frame.
void Canvo::ForgetBackgroundTile()
{
    if (!spareTile)
        spareTile = XCreatePixmap(display, window, 8, 8, unsigned(visualDepth));
    XCopyArea(display, pixmap, spareTile, gc, 0, 0, 1, 1, 0, 0);
    XSetWindowBackgroundPixmap(display, picture, spareTile);
    XClearArea(display, picture, 0, 0, 1, 1, False);
    XSetWindowBackgroundPixmap(display, picture, pixmap);
}

// Releases whatever Open created, in reverse order; safe on a half-open object.
// The window goes first: as long as it shows the pixmap, the server keeps
// the pixmap, and with it the segment, attached. Servers also keep the last
// background tile they painted with in a cached graphics context, so the
// window is repainted once with a throw-away 8 × 8 tile before it goes (a
// 1 × 1 tile would be painted as a solid colour and change nothing);
// otherwise the segment would stay attached until some other window's
// background is painted.
void Canvo::Release()
{
    DestroyPicture();
    if (display) {
        if (window && pixmap) {
            Pixmap tile = XCreatePixmap(display, window, 8, 8, unsigned(visualDepth));
            XSetWindowBackgroundPixmap(display, window, tile);
            XClearWindow(display, window);
            XFreePixmap(display, tile);
        }
        if (spareTile)
            XFreePixmap(display, spareTile);
        if (window)
            XDestroyWindow(display, window);
        if (pixmap)
            XFreePixmap(display, pixmap);
        if (segmentAttached)
            XShmDetach(display, &segmentInfo);
        XSync(display, False);
    }
    if (segmentInfo.shmid >= 0)
        shmctl(segmentInfo.shmid, IPC_RMID, nullptr);
    if (image)
        shmdt(image);
    MemFree(sourceBuffer);
    if (display) {
        if (gc)
            XFreeGC(display, gc);
        if (colormap)
            XFreeColormap(display, colormap);
        XCloseDisplay(display);
    }
    if (holdsPipeSignal)
        LetGoOfPipeSignal();
    holdsPipeSignal = false;
    display = nullptr;
    window = 0;
    visual = nullptr;
    screen = nullptr;
    gc = nullptr;
    colormap = 0;
    sourceBuffer = nullptr;
    image = nullptr;
    segmentInfo = XShmSegmentInfo{};
    segmentInfo.shmid = -1;
    segmentAttached = false;
    pixmap = 0;
    spareTile = 0;
    opaqueBits = 0;
    colormapWritable = false;
}

void Canvo::Close()
{
    if (!inGraphics)
        return;
    Release();
    inGraphics = 0;
}

void Canvo::Refresh()
{
    if (!inGraphics || error != ERR_CV_NONE)
        return;
    HandleEvents();
    if (!ConvertSource())
        return;
    XClearWindow(display, picture);
    ForgetBackgroundTile();
    XSync(display, False);
}

void Canvo::SetColor(int index, int red, int green, int blue)
{
    if (!inGraphics || error != ERR_CV_NONE || sourceDepth != 8 || index < 0 || index > 255)
        return;
    if (visualDepth == 8) {
        if (!colormapWritable)
            return;
        XColor colour{};
        colour.pixel = unsigned(index);
        colour.red = uint16_t(red * 256);
        colour.green = uint16_t(green * 256);
        colour.blue = uint16_t(blue * 256);
        colour.flags = DoRed | DoGreen | DoBlue;
        XStoreColor(display, colormap, &colour);
        return;
    }
    if (visualDepth == 15 || visualDepth == 16) {
        uint16_t entry = visualDepth == 15 ? uint16_t((red / 8) * 1024 + (green / 8) * 32 + blue / 8)
                                           : uint16_t((red / 8) * 2048 + (green / 4) * 32 + blue / 8);
        std::memcpy(colourTable + 2 * index, &entry, 2);
    } else {
        uint32_t entry = uint32_t(red) * 65536 + uint32_t(green) * 256 + uint32_t(blue);
        std::memcpy(colourTable + 4 * index, &entry, 4);
    }
}

void Canvo::SetPresentation(int scale, bool fullScreen)
{
    requestedScale = scale < 0 ? 1 : scale;
    this->fullScreen = fullScreen;
}

// The scale the window opens at and the largest the segment makes room for:
// at least the largest scale that fits the screen, so that a resize or the
// full-screen state re-chooses the scale without a new segment. A requested
// scale is kept within X's largest window side.
void Canvo::ChooseScale()
{
    const int screenWidth = WidthOfScreen(screen);
    const int screenHeight = HeightOfScreen(screen);
    const int fit = std::max(1, std::min(screenWidth / width, screenHeight / height));
    const int comfortable = std::max(1, std::min(screenWidth * 3 / 4 / width, screenHeight * 3 / 4 / height));
    const int largest = std::max(1, std::min(32767 / width, 32767 / height));
    scale = fullScreen ? fit : requestedScale == 0 ? comfortable : std::min(requestedScale, largest);
    capacityScale = std::max(scale, fit);
    windowWidth = fullScreen ? std::max(screenWidth, width) : width * scale;
    windowHeight = fullScreen ? std::max(screenHeight, height) : height * scale;
}

// The window's own background is black (pixel 0 in every true-colour layout
// and in the colour cube, with the alpha bits set where the visual has
// them). The picture is a child window of the same visual that selects no
// input, so key presses over it go to the window. The full-screen state is
// asked for the way a window not yet mapped does: in its _NET_WM_STATE
// property.
void Canvo::CreatePicture()
{
    XSetWindowBackground(display, window, opaqueBits);
    picture = XCreateSimpleWindow(display, window, 0, 0, unsigned(width * scale), unsigned(height * scale), 0, 0, 0);
    XMapWindow(display, picture);
    XSelectInput(display, window, StructureNotifyMask);
    LayOut(windowWidth, windowHeight);
    if (fullScreen) {
        Atom state = XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False);
        XChangeProperty(display, window, XInternAtom(display, "_NET_WM_STATE", False), XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&state), 1);
    }
}

// A pixmap of the picture's size at `newScale` over the start of the
// segment becomes the picture's background; the old one goes.
void Canvo::ShowAtScale(int newScale)
{
    Pixmap shown = XShmCreatePixmap(display, window, segmentInfo.shmaddr, &segmentInfo, unsigned(width * newScale),
                                    unsigned(height * newScale), unsigned(visualDepth));
    XSetWindowBackgroundPixmap(display, picture, shown);
    XResizeWindow(display, picture, unsigned(width * newScale), unsigned(height * newScale));
    if (pixmap)
        XFreePixmap(display, pixmap);
    pixmap = shown;
    scale = newScale;
}

// The largest scale that fits the window (at least 1, at most what the
// segment holds), the picture centred; a smaller window shows its middle.
// A new scale is converted at once from the frame last shown, so the
// server never paints the segment's old layout.
void Canvo::LayOut(int newWidth, int newHeight)
{
    windowWidth = newWidth;
    windowHeight = newHeight;
    const int fit = std::max(1, std::min({newWidth / width, newHeight / height, capacityScale}));
    if (fit != scale && pixmap) {
        scale = fit;
        ConvertSource();
        ShowAtScale(fit);
    }
    XMoveWindow(display, picture, (newWidth - width * scale) / 2, (newHeight - height * scale) / 2);
}

// The picture goes before the window is repainted with the throw-away tile:
// while it covers the window, that repaint would paint nothing.
void Canvo::DestroyPicture()
{
    if (display && picture)
        XDestroyWindow(display, picture);
    picture = 0;
}

bool Canvo::ConvertSource()
{
    ConvertJob job{sourceBuffer, image, uint32_t(width) * uint32_t(height),
                   uint32_t(height) * uint32_t(sourceBytesPerLine), colourTable, opaqueBits,
                   uint32_t(width), uint32_t(scale)};
    return ConvertPixels(conversionCode, job);
}

// The window manager's close and the keys come only once the program reads
// close requests: until then closing the window ends the client as it
// always has.
void Canvo::WatchCloseRequests()
{
    Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, window, &deleteWindow, 1);
    XSelectInput(display, window, StructureNotifyMask | KeyPressMask);
    watchingClose = true;
}

bool Canvo::IsCloseRequest(const XEvent& event) const
{
    if (event.type == ClientMessage)
        return event.xclient.window == window && event.xclient.format == 32 &&
               event.xclient.message_type == XInternAtom(display, "WM_PROTOCOLS", True) &&
               Atom(event.xclient.data.l[0]) == XInternAtom(display, "WM_DELETE_WINDOW", True);
    if (event.type == KeyPress) {
        XKeyEvent key = event.xkey;
        KeySym symbol = XLookupKeysym(&key, 0);
        return symbol == XK_Escape || symbol == XK_q;
    }
    return false;
}

// Takes every event already received or waiting on the connection; XPending
// reads what has arrived and never waits for more.
void Canvo::HandleEvents()
{
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == ConfigureNotify && event.xconfigure.window == window)
            LayOut(event.xconfigure.width, event.xconfigure.height);
        else if (IsCloseRequest(event))
            closeRequested = true;
    }
}

bool Canvo::CloseRequested()
{
    if (!inGraphics || error != ERR_CV_NONE)
        return false;
    if (!watchingClose)
        WatchCloseRequests();
    HandleEvents();
    return closeRequested;
}

namespace {

// Whole Hz of a mode: pixel clock over the pixels of a frame, rounded;
// interlaced modes show two fields per frame, double-scanned ones half.
int ModeRate(const XRRModeInfo& mode)
{
    uint64_t pixels = uint64_t(mode.hTotal) * mode.vTotal;
    if (mode.modeFlags & RR_DoubleScan)
        pixels *= 2;
    if (mode.modeFlags & RR_Interlace)
        pixels /= 2;
    return pixels ? int((mode.dotClock + pixels / 2) / pixels) : 0;
}

}  // namespace

// The rate of the monitor (CRTC) that shows the window's centre, else of the
// first monitor that shows anything.
int Canvo::CrtcRefreshRate() const
{
    Window root = RootWindow(display, screenNumber);
    XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, root);
    if (!resources)
        return 0;
    int centreX = 0, centreY = 0;
    Window child;
    XTranslateCoordinates(display, window, root, windowWidth / 2, windowHeight / 2, &centreX, &centreY, &child);
    int first = 0, shown = 0;
    for (int c = 0; c < resources->ncrtc && !shown; ++c) {
        XRRCrtcInfo* crtc = XRRGetCrtcInfo(display, resources, resources->crtcs[c]);
        if (!crtc)
            continue;
        for (int m = 0; m < resources->nmode && crtc->mode != None; ++m) {
            if (resources->modes[m].id != crtc->mode)
                continue;
            int rate = ModeRate(resources->modes[m]);
            first = first ? first : rate;
            if (centreX >= crtc->x && centreY >= crtc->y && centreX < crtc->x + int(crtc->width) &&
                centreY < crtc->y + int(crtc->height))
                shown = rate;
        }
        XRRFreeCrtcInfo(crtc);
    }
    XRRFreeScreenResources(resources);
    return shown ? shown : first;
}

// RandR 1.2 and later describe each monitor's mode; older servers, and
// modes without timings, leave the screen's one rate of RandR 1.1.
int Canvo::RefreshRate() const
{
    if (!inGraphics || error != ERR_CV_NONE)
        return 0;
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XRRQueryExtension(display, &eventBase, &errorBase) || !XRRQueryVersion(display, &major, &minor))
        return 0;
    int rate = (major > 1 || minor >= 2) ? CrtcRefreshRate() : 0;
    if (rate == 0) {
        if (XRRScreenConfiguration* config = XRRGetScreenInfo(display, RootWindow(display, screenNumber))) {
            rate = XRRConfigCurrentRate(config);
            XRRFreeScreenConfigInfo(config);
        }
    }
    return rate > 0 ? rate : 0;
}

}  // namespace kvor3d
