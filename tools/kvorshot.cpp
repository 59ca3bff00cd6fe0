// kvorshot: renders a scene file without any display into PNG files: one
// frame at a given scene time, or a sequence of frames spread evenly over
// the scene's time range (its first key to its last, as kvorview plays it)
// into a folder; or the same frames as one YUV4MPEG2 video stream. Frames
// are 320 × 200, drawn as kvorview's frame callback draws them, optionally
// enlarged by a whole factor for viewing.
//
//   kvorshot [-t SECONDS] [-s SCALE] [-p PALETTE] [-C DIR] SCENE FILE.png
//   kvorshot -n FRAMES [-s SCALE] [-p PALETTE] [-C DIR] SCENE FOLDER
//   kvorshot [-t SECONDS | -n FRAMES] [-s SCALE] [-p PALETTE] [-C DIR] --y4m FILE SCENE
//
// Texture files named in the scene are found as texture_names.h says: an
// absolute name as given, a relative one in the scene file's folder (or in
// DIR of -C), else its last component there, never in the current folder;
// paths on the command line are the current folder's. Each file is written
// under a temporary name and renamed when complete, so no half-written file
// ever carries its name; an output path that exists and is no regular file
// is never replaced: a character device is written in place, anything else
// is refused.
// Exit status: 0; 1 when the scene, a texture, the palette or an output
// file cannot be found, read or written (one line on standard error naming
// the file); 2 for a usage error.
#include "headless.h"
#include "options.h"
#include "progress.h"
#include "texture_names.h"

#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

using namespace kvor3d;

namespace {

constexpr char PROGRAM[] = "kvorshot";
constexpr int EXIT_FAILED = 1;
constexpr uint32_t MAX_SCALE = 16;
constexpr uint32_t MAX_FRAMES = 100000;
constexpr uint32_t MIN_NAME_DIGITS = 4;

constexpr int Y4M = cli::LONG_ONLY;

const cli::Program COMMAND_LINE = {
    PROGRAM,
    "kvorshot [-t SECONDS | -n FRAMES] [-s SCALE] [-p PALETTE] [-C DIR] SCENE OUTPUT",
    "Renders a kvor3d scene file into PNG pictures of 320 x 200 pixels, or into\n"
    "a YUV4MPEG2 video stream with --y4m FILE in place of OUTPUT, without a\n"
    "display. A texture the scene names is read from that name when it is\n"
    "absolute; a relative one from the scene file's folder (or DIR), or else\n"
    "its last path component from there; a texture found nowhere is an error.\n"
    "An existing OUTPUT is replaced only when it is a regular file (a\n"
    "character device such as /dev/null is written in place). A sequence shows\n"
    "a progress line on standard error when it is a terminal.",
    {{'t', "time", "SECONDS",
      "one frame at this scene time, within the scene's first key\n"
      "and its last, into the file OUTPUT (default: the first key)"},
     {'n', "frames", "FRAMES",
      "FRAMES frames spread evenly from the scene's first key to\n"
      "its last into the folder OUTPUT, named frame0000.png,\n"
      "frame0001.png, ..."},
     {'s', "scale", "SCALE", "enlarge each pixel to SCALE x SCALE (1 to 16)"},
     {'p', "palette", "FILE", "palette file for the scene's colour table"},
     {'C', "directory", "DIR", "look for relative texture names in DIR instead of\nthe scene file's folder"},
     {Y4M, "y4m", "FILE",
      "write the frames as one YUV4MPEG2 stream (4:4:4, BT.601\n"
      "studio range) into FILE instead of PNG files; \"-\" is\n"
      "standard output. With -n it plays at the scene's own pace"}},
    "Exit status: 0 on success, 1 when a file cannot be found, read or\nwritten, 2 for a usage error.",
};

std::string Printed(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string Printed(const char* format, ...)
{
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    return text;
}

int Failed(const std::string& file, const std::string& reason)
{
    std::fprintf(stderr, "%s: %s: %s\n", PROGRAM, file.c_str(), reason.c_str());
    return EXIT_FAILED;
}

// ---- Command line -------------------------------------------------------------

struct Options {
    bool timeGiven;
    double time;         // seconds
    const char* timeText;
    uint32_t frames;     // 0: one frame into a file
    uint32_t scale;
    const char* palette;
    const char* directory;  // -C: where relative texture names are looked for; null: the scene's folder
    const char* y4m;     // null: PNG files
    const char* scene;
    const char* output;  // null with y4m
};

// Seconds: a finite, non-negative number.
bool ParseSeconds(const char* text, double* seconds)
{
    char* end = nullptr;
    errno = 0;
    *seconds = std::strtod(text, &end);
    return end != text && !*end && errno != ERANGE && std::isfinite(*seconds) && *seconds >= 0;
}

// Applies one option; the reason its value is refused, or an empty string.
std::string ApplyOption(int key, const char* value, Options* options)
{
    unsigned long long count = 0;
    switch (key) {
    case 't':
        if (!ParseSeconds(value, &options->time))
            return Printed("'%s' is not a time in seconds", value);
        options->timeGiven = true;
        options->timeText = value;
        return "";
    case 'n':
        if (!cli::ParseCount(value, 1, MAX_FRAMES, &count))
            return Printed("'%s' is not a frame count (1 to %u)", value, MAX_FRAMES);
        options->frames = uint32_t(count);
        return "";
    case 's':
        if (!cli::ParseCount(value, 1, MAX_SCALE, &count))
            return Printed("'%s' is not a scale (1 to %u)", value, MAX_SCALE);
        options->scale = uint32_t(count);
        return "";
    case Y4M:
        options->y4m = value;
        return "";
    case 'C':
        options->directory = value;
        return "";
    default:
        options->palette = value;
        return "";
    }
}

// NONE, or the program's exit status.
int ParseOptions(int argc, char** argv, Options* options)
{
    *options = Options{};
    options->scale = 1;
    std::vector<const char*> operands;
    const int parsed = cli::Parse(
        COMMAND_LINE, argc, argv, [options](int key, const char* value) { return ApplyOption(key, value, options); },
        &operands);
    if (parsed != cli::NONE)
        return parsed;
    if (options->timeGiven && options->frames)
        return cli::UsageError(COMMAND_LINE, "give either a time (-t) or a frame count (-n), not both");
    const size_t needed = options->y4m ? 1 : 2;
    if (operands.size() < needed)
        return cli::UsageError(COMMAND_LINE, options->y4m ? "a scene file is needed" : "a scene file and an output are needed");
    if (operands.size() > needed)
        return cli::UsageError(COMMAND_LINE, options->y4m ? Printed("one scene file with --y4m ('%s' is one too many)", operands[1])
                                                          : Printed("one scene file and one output ('%s' is one too many)",
                                                                    operands[2]));
    options->scene = operands[0];
    options->output = options->y4m ? nullptr : operands[1];
    return cli::NONE;
}

// Seconds for a message, to the millisecond without trailing zeros; `up`
// rounds up, else down, so that every time shown lies within the range.
std::string SecondsText(uint32_t ticks, bool up)
{
    const double milliseconds = double(ticks) * 1000 / TICKS_PER_SECOND;
    std::string text = Printed("%.3f", (up ? std::ceil(milliseconds) : std::floor(milliseconds)) / 1000);
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.')
        text.pop_back();
    return text;
}

// ---- Output files ----------------------------------------------------------------

// An output being written: a temporary file beside the path, renamed to it
// when complete, or the path itself when it is a character device (written
// in place), or standard output.
struct Output {
    std::string path;
    std::string temporary;  // empty when written in place
    FILE* file = nullptr;
};

// What a path that exists and is no regular file is, for the refusal.
const char* KindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISBLK(mode))
        return "a block device";
    return "not a regular file";
}

// Opens `path` for writing: a missing path or a regular file is written
// under a temporary name; a character device in place; anything else is
// refused, never replaced. An empty result on success, else the reason.
std::string OpenOutput(const std::string& path, Output* output)
{
    output->path = path;
    struct stat status;
    if (stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
        if (!S_ISCHR(status.st_mode))
            return Printed("it is %s, which kvorshot does not replace", KindOf(status.st_mode));
        output->file = std::fopen(path.c_str(), "wb");
        return output->file ? "" : std::strerror(errno);
    }
    output->temporary = path + ".XXXXXX";
    const int fd = mkstemp(output->temporary.data());
    if (fd < 0)
        return std::strerror(errno);
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    output->file = fdopen(fd, "wb");
    if (!output->file) {
        const std::string reason = std::strerror(errno);
        close(fd);
        unlink(output->temporary.c_str());
        return reason;
    }
    return "";
}

// Closes the output; a temporary file is renamed to the path when all was
// written (`complete`) and removed otherwise. `failure` is the reason when
// not complete; the result is the reason the output failed, or empty.
std::string CloseOutput(Output* output, bool complete, const std::string& failure)
{
    const bool standard = output->file == stdout;
    const bool closed = (standard ? std::fflush(output->file) : std::fclose(output->file)) == 0;
    const std::string reason = !complete ? failure : closed ? "" : std::strerror(errno);
    if (output->temporary.empty())
        return reason;
    if (reason.empty() && std::rename(output->temporary.c_str(), output->path.c_str()) == 0)
        return "";
    const std::string why = reason.empty() ? std::strerror(errno) : reason;
    unlink(output->temporary.c_str());
    return why;
}

// ---- PNG ---------------------------------------------------------------------------

// libpng reports errors by jumping back to the encoder; warnings are not
// shown.
void PngError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp)
{
}

// 8-bit RGB rows of the view's shown buffer, each pixel repeated scale ×
// scale times; five-bit channels widen as (c << 3) | (c >> 2), so that 31
// becomes 255.
std::vector<uint8_t> RgbRows(const XView& view, uint32_t scale)
{
    const size_t width = size_t(view.width) * scale;
    std::vector<uint8_t> rgb(width * size_t(view.height) * scale * 3);
    const auto widen = [](uint32_t c) { return uint8_t((c << 3) | (c >> 2)); };
    for (size_t y = 0; y < size_t(view.height) * scale; ++y) {
        const uint16_t* line = view.current + (y / scale) * size_t(view.width);
        uint8_t* to = rgb.data() + y * width * 3;
        for (size_t x = 0; x < width; ++x) {
            const uint32_t p = line[x / scale];
            *to++ = widen((p >> 10) & 0x1F);
            *to++ = widen((p >> 5) & 0x1F);
            *to++ = widen(p & 0x1F);
        }
    }
    return rgb;
}

bool EncodePng(FILE* file, const std::vector<uint8_t>& rgb, uint32_t width, uint32_t height)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (uint32_t y = 0; y < height; ++y)
        png_write_row(png, rgb.data() + size_t(y) * width * 3);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

// Writes the view's frame as a PNG to `path` (see OpenOutput): the name
// appears only with a complete file. An empty result on success, else the
// reason.
std::string WritePng(const XView& view, uint32_t scale, const std::string& path)
{
    const std::vector<uint8_t> rgb = RgbRows(view, scale);
    Output output;
    if (std::string reason = OpenOutput(path, &output); !reason.empty())
        return reason;
    errno = 0;
    const bool encoded = EncodePng(output.file, rgb, uint32_t(view.width) * scale, uint32_t(view.height) * scale);
    const int error = errno;
    return CloseOutput(&output, encoded, error ? std::strerror(error) : "the picture could not be encoded");
}

// ---- YUV4MPEG2 -------------------------------------------------------------------

// 4:4:4 keeps every pixel's colour: the frames are full of one-pixel
// detail (edges, glints, flare rays) that halved chroma would smear, and
// each pixel converts on its own. An encoder that needs 4:2:0 subsamples
// with its own filter.
constexpr char Y4M_COLOURS[] = "C444";

// The stream's frame rate as a fraction: with a sequence, the frames'
// spacing in scene time, so that the video lasts as long as the scene;
// otherwise 25 frames a second. Terms are kept within 31 bits, as readers
// take them.
void FrameRate(uint32_t start, uint32_t end, uint32_t frames, uint64_t* numerator, uint64_t* denominator)
{
    *numerator = 25;
    *denominator = 1;
    if (frames < 2 || end <= start)
        return;
    uint64_t a = uint64_t(frames - 1) * TICKS_PER_SECOND, b = end - start;
    for (uint64_t x = a, y = b; y;) {
        const uint64_t r = x % y;
        x = y;
        y = r;
        if (!y) {
            a /= x;
            b /= x;
        }
    }
    while (a > INT32_MAX || b > INT32_MAX) {
        a = (a + 1) >> 1;
        b = std::max<uint64_t>((b + 1) >> 1, 1);
    }
    *numerator = a;
    *denominator = b;
}

// One frame as "FRAME" and its Y, Cb and Cr planes: BT.601 (Kr 0.299,
// Kb 0.114) in studio range, Y 16 to 235 and Cb, Cr 16 to 240, what a
// YUV4MPEG2 reader assumes; each value rounded to nearest, halves up.
bool WriteY4mFrame(FILE* file, const std::vector<uint8_t>& rgb)
{
    const size_t pixels = rgb.size() / 3;
    std::vector<uint8_t> planes(pixels * 3);
    for (size_t i = 0; i < pixels; ++i) {
        const double r = rgb[3 * i], g = rgb[3 * i + 1], b = rgb[3 * i + 2];
        const double y = 0.299 * r + 0.587 * g + 0.114 * b;
        planes[i] = uint8_t(std::floor(16 + y * 219 / 255 + 0.5));
        planes[pixels + i] = uint8_t(std::floor(128 + (b - y) / 1.772 * 224 / 255 + 0.5));
        planes[2 * pixels + i] = uint8_t(std::floor(128 + (r - y) / 1.402 * 224 / 255 + 0.5));
    }
    return std::fputs("FRAME\n", file) >= 0 && std::fwrite(planes.data(), 1, planes.size(), file) == planes.size();
}

// ---- Rendering ---------------------------------------------------------------------

struct Resources {
    ColourTable* colours = nullptr;
    Scene* scene = nullptr;
    XView* view = nullptr;

    ~Resources()
    {
        XViewDelete(view);
        FreeScene(scene);
        DeleteColourTable(colours);
        StopEngine();
    }
};

// The palette file's 770 words, made into a colour table.
int LoadPalette(const char* path, ColourTable** colours)
{
    FILE* file = OpenRegularFile(path);
    if (!file)
        return Failed(path, std::strerror(errno));
    std::vector<uint32_t> words(PALETTE_FILE_WORDS);
    const size_t read = std::fread(words.data(), sizeof(uint32_t), words.size(), file);
    const bool failed = std::ferror(file);
    std::fclose(file);
    if (failed)
        return Failed(path, "cannot be read");
    if (read != words.size())
        return Failed(path, Printed("not a palette file (%u bytes expected)", PALETTE_FILE_BYTES));
    const TagItem tags[] = {
        {TAG_COLOURTABLE_PALETTE, TagPtr(words.data())},
        {TAG_COLOURTABLE_OCTREE, 1},
        {TAG_DONE, 0},
    };
    *colours = CreateColourTable(tags);
    return *colours ? 0 : Failed(path, "not a palette file");
}

int LoadSceneFile(const char* path, const char* directory, ColourTable* colours, Scene** scene)
{
    FILE* probe = OpenRegularFile(path);
    if (!probe)
        return Failed(path, std::strerror(errno));
    std::fclose(probe);
    int32_t error = 0;
    SceneLoadFailure failure{};
    TagItem tags[6] = {
        {TAG_LOADSCENE_FILENAME, TagPtr(path)},
        {TAG_LOADSCENE_ERROR, TagPtr(&error)},
        {TAG_LOADSCENE_FAILURE, TagPtr(&failure)},
        {TAG_LOADSCENE_TEXTUREFILES, TagPtr(texturenames::Begin(path, directory))},
    };
    size_t count = 4;
    if (colours)
        tags[count++] = {TAG_LOADSCENE_COLOURTABLE, TagPtr(colours)};
    tags[count] = {TAG_DONE, 0};
    *scene = LoadScene(tags);
    if (const std::string missing = texturenames::Missing(path); !*scene && !missing.empty()) {
        std::fprintf(stderr, "%s: %s\n", PROGRAM, missing.c_str());
        return EXIT_FAILED;
    }
    if (!*scene && failure.file[0])
        return Failed(path, Printed("cannot read %s: %s", failure.file, std::strerror(failure.error)));
    if (!*scene)
        return Failed(path, "not a scene file the reader accepts");
    return 0;
}

// The folder for a sequence: made when missing, refused when the name is
// taken by something else.
int MakeFolder(const char* path)
{
    if (mkdir(path, 0777) == 0)
        return 0;
    if (errno != EEXIST)
        return Failed(path, std::strerror(errno));
    struct stat status;
    if (stat(path, &status) != 0)
        return Failed(path, std::strerror(errno));
    return S_ISDIR(status.st_mode) ? 0 : Failed(path, "exists and is not a folder");
}

std::string FrameName(const char* folder, uint32_t i, uint32_t frames)
{
    int digits = 1;
    for (uint32_t last = frames - 1; last >= 10; last /= 10)
        ++digits;
    return Printed("%s/frame%0*u.png", folder, std::max(digits, int(MIN_NAME_DIGITS)), i);
}

// The frames as one YUV4MPEG2 stream into the file or standard output that
// --y4m names: a sequence with -n, else the one frame at `time`.
int WriteVideo(const Options& options, Scene* scene, XView* view, uint32_t start, uint32_t end, uint32_t time)
{
    Output output;
    if (std::strcmp(options.y4m, "-") == 0) {
        if (isatty(STDOUT_FILENO))
            return cli::UsageError(COMMAND_LINE, "standard output is a terminal: give the stream a file or a pipe");
        output.path = "standard output";
        output.file = stdout;
    } else if (std::string reason = OpenOutput(options.y4m, &output); !reason.empty()) {
        return Failed(options.y4m, "cannot write: " + reason);
    }
    const uint32_t frames = options.frames ? options.frames : 1;
    uint64_t numerator, denominator;
    FrameRate(start, end, options.frames, &numerator, &denominator);
    errno = 0;
    bool written = std::fprintf(output.file, "YUV4MPEG2 W%u H%u F%llu:%llu Ip A1:1 %s\n",
                                uint32_t(view->width) * options.scale, uint32_t(view->height) * options.scale,
                                (unsigned long long)numerator, (unsigned long long)denominator, Y4M_COLOURS) > 0;
    progress::Line shown(PROGRAM, options.scene, frames);
    for (uint32_t i = 0; written && i < frames; ++i) {
        headless::RenderAt(scene, view, options.frames ? headless::FrameTime(start, end, i, frames) : time);
        written = WriteY4mFrame(output.file, RgbRows(*view, options.scale));
        shown.Done(i + 1);
    }
    const int error = errno;
    shown.End();
    const std::string reason = CloseOutput(&output, written, error ? std::strerror(error) : "the stream could not be written");
    return reason.empty() ? 0 : Failed(output.path, "cannot write: " + reason);
}

int Run(const Options& options)
{
    Resources resources;
    if (!StartEngine(headless::VIEW_WIDTH))
        return Failed(PROGRAM, "out of memory");
    if (options.palette) {
        if (int status = LoadPalette(options.palette, &resources.colours))
            return status;
    }
    if (int status = LoadSceneFile(options.scene, options.directory, resources.colours, &resources.scene))
        return status;
    const TagItem viewTags[] = {
        {TAG_XVIEW_WIDTH, headless::VIEW_WIDTH},
        {TAG_XVIEW_HEIGHT, headless::VIEW_HEIGHT},
        {TAG_DONE, 0},
    };
    resources.view = XViewCreate(viewTags);
    if (!resources.view)
        return Failed(PROGRAM, "out of memory");

    uint32_t start, end;
    headless::SceneTimeRange(resources.scene, &start, &end);
    uint32_t time = start;
    if (options.timeGiven) {
        const double ticks = std::floor(options.time * TICKS_PER_SECOND);
        if (ticks < start || ticks > end)
            return cli::UsageError(COMMAND_LINE, Printed("'%s' is outside the scene's times, %s to %s seconds",
                                                         options.timeText, SecondsText(start, true).c_str(),
                                                         SecondsText(end, false).c_str()));
        time = uint32_t(ticks);
    }
    if (options.y4m)
        return WriteVideo(options, resources.scene, resources.view, start, end, time);
    if (!options.frames) {
        headless::RenderAt(resources.scene, resources.view, time);
        const std::string reason = WritePng(*resources.view, options.scale, options.output);
        return reason.empty() ? 0 : Failed(options.output, "cannot write: " + reason);
    }
    if (int status = MakeFolder(options.output))
        return status;
    progress::Line shown(PROGRAM, options.scene, options.frames);
    for (uint32_t i = 0; i < options.frames; ++i) {
        headless::RenderAt(resources.scene, resources.view, headless::FrameTime(start, end, i, options.frames));
        const std::string name = FrameName(options.output, i, options.frames);
        const std::string reason = WritePng(*resources.view, options.scale, name);
        if (!reason.empty()) {
            shown.End();
            return Failed(name, "cannot write: " + reason);
        }
        shown.Done(i + 1);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (int status = ParseOptions(argc, argv, &options); status != cli::NONE)
        return status;
    try {
        return Run(options);
    } catch (const std::bad_alloc&) {
        return Failed(PROGRAM, "out of memory");
    }
}
