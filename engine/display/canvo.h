// Canvo: the one X11 window, backed by a MIT shared-memory pixmap. The engine
// renders into the source buffer; Refresh converts it into the pixmap and has
// the server repaint the window from it. Only engine/display includes Xlib.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <cstdint>

namespace kvor3d {

enum CanvoError {
    ERR_CV_NONE = 0,
    ERR_CV_GC = 1,
    ERR_CV_DISPLAY = 2,
    ERR_CV_NO_VISUAL = 3,
    ERR_CV_PROPERTIES = 4,
    ERR_CV_VIRTUALSCREEN = 5,
    ERR_CV_INGRAPHICS = 6,
    ERR_CV_DIRECTVIDEO = 7,
};

// Text of an error code; an unknown code reads as "".
const char* CanvoErrorText(int error);

class Canvo {
public:
    Canvo();
    Canvo(int argc, char** argv, int width, int height, int sourceDepth, const char* title);
    ~Canvo();
    Canvo(const Canvo&) = delete;
    Canvo& operator=(const Canvo&) = delete;

    // Opens display, window and shared pixmap; 0 or an ERR_CV_* code. A failed
    // Open releases everything it created.
    int Open(int argc, char** argv, int width, int height, int sourceDepth, const char* title);
    void Close();
    // Takes the pending window events (a resize re-chooses the scale),
    // converts the source buffer into the pixmap and waits for the repaint.
    void Refresh();
    // Colour `index` of an 8-bit source (colormap entry or converter table).
    void SetColor(int index, int red, int green, int blue);

    // Before Open: each frame pixel is shown as a scale × scale block (0: the
    // largest scale whose window fits comfortably on the screen), and whether
    // the window asks the window manager for the full-screen state.
    void SetPresentation(int scale, bool fullScreen);
    // Reads the pending events without blocking; true once the user has asked
    // to close the window. From the first call on, the window manager's close
    // and the Escape and q keys come to the program.
    bool CloseRequested();
    // The screen's refresh rate in whole Hz as RandR reports it; 0 when unknown.
    int RefreshRate() const;

    int GetError() const { return error; }
    const char* GetErrorText() const { return CanvoErrorText(error); }

    Display* GetDisplay() const { return display; }
    Window GetWindow() const { return window; }
    int GetVisualDepth() const { return visualDepth; }
    int GetSourceDepth() const { return sourceDepth; }
    int GetWidth() const { return width; }
    int GetHeight() const { return height; }
    int GetSourceBytesPerLine() const { return sourceBytesPerLine; }
    uint8_t* GetSourceBuffer() const { return sourceBuffer; }
    uint8_t* GetImage() const { return image; }
    // Bits per pixel of the image, from the server's pixmap formats.
    int GetImageBitsPerPixel() const { return imageBitsPerPixel; }
    int GetConversionCode() const { return conversionCode; }
    int GetScale() const { return scale; }

private:
    int OpenSteps(int argc, char** argv, const char* title);
    int ChooseVisual();
    int CreateWindow();
    int SetProperties(int argc, char** argv, const char* title);
    int CreateGC();
    int CreateSharedImage();
    void LoadColourCube();
    void ForgetBackgroundTile();
    void Release();
    void ChooseScale();
    void CreatePicture();
    void ShowAtScale(int newScale);
    void LayOut(int newWidth, int newHeight);
    void DestroyPicture();
    bool ConvertSource();
    void WatchCloseRequests();
    void HandleEvents();
    bool IsCloseRequest(const XEvent& event) const;
    int CrtcRefreshRate() const;

    Display* display = nullptr;
    Window window = 0;
    Visual* visual = nullptr;
    Screen* screen = nullptr;
    int screenNumber = 0;
    int width = 0;
    int height = 0;
    int sourceBytesPerLine = 0;
    GC gc = nullptr;
    Colormap colormap = 0;
    uint8_t* sourceBuffer = nullptr;
    uint8_t* image = nullptr;
    XShmSegmentInfo segmentInfo{};
    int sourceDepth = 0;
    int visualDepth = 0;
    int conversionCode = 0;
    int inGraphics = 0;
    int error = ERR_CV_NONE;
    int borderWidth = 0;
    alignas(4) uint8_t colourTable[1024] = {};

    // Not in the original record: what the server told us about the chosen
    // visual and what Close must undo.
    int imageBitsPerPixel = 0;
    uint32_t opaqueBits = 0;
    bool colormapWritable = false;
    bool holdsPipeSignal = false;
    bool segmentAttached = false;
    Pixmap pixmap = 0;

    // How the picture is shown and what the user asked for. The window
    // (black) holds one child, the picture, whose background is the shared
    // pixmap: width × height frame pixels at `scale`, centred in the window.
    // The segment has room for the picture at up to `capacityScale`.
    int requestedScale = 1;
    bool fullScreen = false;
    int scale = 1;
    int capacityScale = 1;
    int windowWidth = 0;
    int windowHeight = 0;
    Window picture = 0;
    bool watchingClose = false;
    bool closeRequested = false;
    Pixmap spareTile = 0;  // passed through the server's paint cache after each repaint
};

}  // namespace kvor3d
