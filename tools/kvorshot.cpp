// kvorshot: renders a scene file without any display into PNG files: one
// frame at a given scene time, or a sequence of frames spread evenly over
// the scene's time range (its first key to its last, as kvorview plays it)
// into a folder. Frames are 320 × 200, drawn as kvorview's frame callback
// draws them, optionally enlarged by a whole factor for viewing.
//
//   kvorshot [-t SECONDS] [-s SCALE] [-p PALETTE] SCENE FILE.png
//   kvorshot -n FRAMES [-s SCALE] [-p PALETTE] SCENE FOLDER
//
// Texture files named in the scene are read relative to the current folder,
// as kvorview reads them. Each PNG is written under a temporary name and
// renamed when complete, so no half-written file ever carries its name.
// Exit status: 0; 1 when the scene, the palette or an output file cannot be
// read or written (one line on standard error naming the file); 2 for a
// usage error.
#include "headless.h"

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

namespace {

constexpr char PROGRAM[] = "kvorshot";
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;
constexpr uint32_t MAX_SCALE = 16;
constexpr uint32_t MAX_FRAMES = 100000;
constexpr uint32_t MIN_NAME_DIGITS = 4;

constexpr char USAGE[] = "usage: kvorshot [-t SECONDS | -n FRAMES] [-s SCALE] [-p PALETTE] SCENE OUTPUT\n";

constexpr char HELP[] =
    "Renders a kvor3d scene file into PNG pictures of 320 x 200 pixels, without\n"
    "a display. Texture files named in the scene are read from the current\n"
    "folder.\n"
    "\n"
    "  -t, --time SECONDS    one frame at this scene time into the file OUTPUT\n"
    "                        (default: the time of the scene's first key)\n"
    "  -n, --frames FRAMES   FRAMES frames spread evenly from the scene's first\n"
    "                        key to its last into the folder OUTPUT, named\n"
    "                        frame0000.png, frame0001.png, ...\n"
    "  -s, --scale SCALE     enlarge each pixel to SCALE x SCALE (1 to 16)\n"
    "  -p, --palette FILE    palette file for the scene's colour table\n"
    "  -h, --help            print this help and exit\n"
    "\n"
    "Exit status: 0 on success, 1 when a file cannot be read or written,\n"
    "2 for a usage error.\n";

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

int UsageError(const std::string& message)
{
    std::fprintf(stderr, "%s: %s\n%s", PROGRAM, message.c_str(), USAGE);
    return EXIT_USAGE;
}

int Failed(const std::string& file, const std::string& reason)
{
    std::fprintf(stderr, "%s: %s: %s\n", PROGRAM, file.c_str(), reason.c_str());
    return EXIT_FAILED;
}

// ---- Command line -------------------------------------------------------------

struct Options {
    bool help;
    bool timeGiven;
    uint32_t time;       // ticks
    uint32_t frames;     // 0: one frame into a file
    uint32_t scale;
    const char* palette;
    const char* scene;
    const char* output;
};

// Seconds as ticks: a finite, non-negative number whose tick count fits in
// 32 bits.
bool ParseSeconds(const char* text, uint32_t* ticks)
{
    char* end = nullptr;
    errno = 0;
    const double seconds = std::strtod(text, &end);
    if (end == text || *end || errno == ERANGE || !std::isfinite(seconds) || seconds < 0)
        return false;
    const double count = std::floor(seconds * TICKS_PER_SECOND);
    if (count > double(UINT32_MAX))
        return false;
    *ticks = uint32_t(count);
    return true;
}

// A whole number from low to high, in decimal digits only.
bool ParseCount(const char* text, uint32_t low, uint32_t high, uint32_t* value)
{
    if (!*text || std::strspn(text, "0123456789") != std::strlen(text) || std::strlen(text) > 9)
        return false;
    const unsigned long parsed = std::strtoul(text, nullptr, 10);
    if (parsed < low || parsed > high)
        return false;
    *value = uint32_t(parsed);
    return true;
}

// The option's value: attached ("-s2", "--scale=2") or the next argument.
// Null when there is none.
const char* OptionValue(int argc, char** argv, int* i, const char* attached)
{
    if (attached)
        return attached;
    if (*i + 1 >= argc)
        return nullptr;
    return argv[++*i];
}

// Applies one option that takes a value; 0 or the usage error's status.
int ApplyValue(char letter, const char* name, const char* value, Options* options)
{
    if (!value)
        return UsageError(Printed("option '%s' needs a value", name));
    switch (letter) {
    case 't':
        if (!ParseSeconds(value, &options->time))
            return UsageError(Printed("'%s' is not a scene time in seconds (0 to 6054)", value));
        options->timeGiven = true;
        return 0;
    case 'n':
        if (!ParseCount(value, 1, MAX_FRAMES, &options->frames))
            return UsageError(Printed("'%s' is not a frame count (1 to %u)", value, MAX_FRAMES));
        return 0;
    case 's':
        if (!ParseCount(value, 1, MAX_SCALE, &options->scale))
            return UsageError(Printed("'%s' is not a scale (1 to %u)", value, MAX_SCALE));
        return 0;
    default:
        options->palette = value;
        return 0;
    }
}

struct LongOption {
    const char* name;
    char letter;
};

constexpr LongOption LONG_OPTIONS[] = {{"time", 't'}, {"frames", 'n'}, {"scale", 's'}, {"palette", 'p'}};

// Short options take their value attached or as the next argument; long
// ones after '=' or as the next argument. "--" ends the options.
int ParseOptions(int argc, char** argv, Options* options)
{
    *options = Options{};
    options->scale = 1;
    std::vector<const char*> operands;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (optionsEnded || argument[0] != '-' || argument[1] == '\0') {
            operands.push_back(argument);
        } else if (std::strcmp(argument, "--") == 0) {
            optionsEnded = true;
        } else if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
            options->help = true;
        } else if (argument[1] == '-') {
            const char* equals = std::strchr(argument, '=');
            const std::string name(argument + 2, equals ? size_t(equals - argument - 2) : std::strlen(argument + 2));
            char letter = 0;
            for (const LongOption& option : LONG_OPTIONS) {
                if (name == option.name)
                    letter = option.letter;
            }
            if (!letter)
                return UsageError(Printed("unknown option '%s'", argument));
            const std::string shown = "--" + name;
            if (int status = ApplyValue(letter, shown.c_str(), OptionValue(argc, argv, &i, equals ? equals + 1 : nullptr),
                                        options))
                return status;
        } else {
            const char letter = argument[1];
            if (!std::strchr("tnsp", letter))
                return UsageError(Printed("unknown option '-%c'", letter));
            const char shown[3] = {'-', letter, '\0'};
            if (int status = ApplyValue(letter, shown, OptionValue(argc, argv, &i, argument[2] ? argument + 2 : nullptr),
                                        options))
                return status;
        }
    }
    if (options->help)
        return 0;
    if (options->timeGiven && options->frames)
        return UsageError("give either a time (-t) or a frame count (-n), not both");
    if (operands.size() != 2)
        return UsageError(operands.size() < 2 ? "a scene file and an output are needed"
                                              : Printed("one scene file and one output ('%s' is one too many)",
                                                        operands[2]));
    options->scene = operands[0];
    options->output = operands[1];
    return 0;
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

// Writes the view's frame as a PNG under a temporary name beside `path`,
// then renames it: the name appears only with a complete file. An empty
// result on success, else the reason.
std::string WritePng(const XView& view, uint32_t scale, const std::string& path)
{
    const std::vector<uint8_t> rgb = RgbRows(view, scale);
    std::string temporary = path + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0)
        return std::strerror(errno);
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    FILE* file = fdopen(fd, "wb");
    if (!file) {
        const std::string reason = std::strerror(errno);
        close(fd);
        unlink(temporary.c_str());
        return reason;
    }
    errno = 0;
    const bool encoded = EncodePng(file, rgb, uint32_t(view.width) * scale, uint32_t(view.height) * scale);
    const int encodeError = errno;
    const bool closed = std::fclose(file) == 0;
    if (!encoded || !closed) {
        const int error = !closed ? errno : encodeError;
        unlink(temporary.c_str());
        return error ? std::strerror(error) : "the picture could not be encoded";
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        const std::string reason = std::strerror(errno);
        unlink(temporary.c_str());
        return reason;
    }
    return "";
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
        headless::StopEngine();
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

int LoadSceneFile(const char* path, ColourTable* colours, Scene** scene)
{
    FILE* probe = OpenRegularFile(path);
    if (!probe)
        return Failed(path, std::strerror(errno));
    std::fclose(probe);
    int32_t error = 0;
    SceneLoadFailure failure{};
    TagItem tags[5] = {
        {TAG_LOADSCENE_FILENAME, TagPtr(path)},
        {TAG_LOADSCENE_ERROR, TagPtr(&error)},
        {TAG_LOADSCENE_FAILURE, TagPtr(&failure)},
    };
    size_t count = 3;
    if (colours)
        tags[count++] = {TAG_LOADSCENE_COLOURTABLE, TagPtr(colours)};
    tags[count] = {TAG_DONE, 0};
    *scene = LoadScene(tags);
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

int Run(const Options& options)
{
    Resources resources;
    if (!headless::StartEngine())
        return Failed(PROGRAM, "out of memory");
    if (options.palette) {
        if (int status = LoadPalette(options.palette, &resources.colours))
            return status;
    }
    if (int status = LoadSceneFile(options.scene, resources.colours, &resources.scene))
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
    if (!options.frames) {
        headless::RenderAt(resources.scene, resources.view, options.timeGiven ? options.time : start);
        const std::string reason = WritePng(*resources.view, options.scale, options.output);
        return reason.empty() ? 0 : Failed(options.output, "cannot write: " + reason);
    }
    if (int status = MakeFolder(options.output))
        return status;
    for (uint32_t i = 0; i < options.frames; ++i) {
        headless::RenderAt(resources.scene, resources.view, headless::FrameTime(start, end, i, options.frames));
        const std::string name = FrameName(options.output, i, options.frames);
        const std::string reason = WritePng(*resources.view, options.scale, name);
        if (!reason.empty())
            return Failed(name, "cannot write: " + reason);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (int status = ParseOptions(argc, argv, &options))
        return status;
    if (options.help) {
        std::fputs(USAGE, stdout);
        std::fputs(HELP, stdout);
        return std::fflush(stdout) == 0 ? 0 : EXIT_FAILED;
    }
    try {
        return Run(options);
    } catch (const std::bad_alloc&) {
        return Failed(PROGRAM, "out of memory");
    }
}
