// kvorimport: the command line, the Assimp import and the files written.
//
//   kvorimport [options] MODEL OUTPUT.kvor
//
// Textures are written beside OUTPUT as OUTPUTSTEM_N.iff and named in the
// scene by their bare file names, so a program that reads texture names
// against the scene file's own folder finds them. The scene file appears
// only once complete; when the import fails nothing is left behind.
// Exit status: 0; 1 when the model cannot be read or nothing of it can be
// drawn, or a file cannot be written (one line on standard error naming the
// file); 2 for a usage error.
#include "kvorimport.h"

#include "options.h"
#include "palette_file.h"

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

using namespace kvor3d;
using namespace kvorimport;

namespace {

constexpr int EXIT_FAILED = 1;
constexpr uint32_t LARGEST_TEXTURE = 1024;
constexpr uint32_t MOST_PERSPECTIVE = 8;
constexpr uint32_t NO_PERSPECTIVE = MOST_PERSPECTIVE + 1;

enum Key {
    MAX_TEXTURE = cli::LONG_ONLY,
    VIEW,
    TURNTABLE,
    PERSPECTIVE,
    FILTER,
    FLAT,
    SHADED,
    SCALE,
    UP,
};

const cli::Program COMMAND_LINE = {
    PROGRAM,
    "kvorimport [options] MODEL OUTPUT.kvor",
    "Converts a 3D model (OBJ, glTF, 3DS, LWO, FBX, Collada and the other\n"
    "formats Assimp reads) into a kvor3d scene file: meshes as objects, the\n"
    "node hierarchy as parents, diffuse colours and textures (PNG or JPEG,\n"
    "written beside OUTPUT as ILBM files), opacity, cameras, point lights and\n"
    "the first animation. A model without a camera gets one that frames it,\n"
    "and one without lights a light. A folder without a .palette gets one\n"
    "for kvorview. What is left out is told on standard error.",
    {{MAX_TEXTURE, "max-texture", "N", "longest texture side, a power of two up to 1024\n(default 256)"},
     {VIEW, "view", "SIDE",
      "frame the model from front, back, left, right, top,\n"
      "iso or quarter (default: a 3/4 view); given, it\n"
      "replaces the model's own camera"},
     {TURNTABLE, "turntable", "SECONDS", "turn the model once around its vertical in SECONDS"},
     {PERSPECTIVE, "perspective", "K",
      "perspective correction of textured objects every 2^K\n"
      "pixels, K from 0 to 8, or off (default 3)"},
     {FILTER, "filter", "NAME", "texture filter: nearest (default) or bilinear"},
     {FLAT, "flat", nullptr, "draw every surface in its own colour, unlit"},
     {SHADED, "shaded", nullptr, "light opaque surfaces at their vertices (default)"},
     {SCALE, "scale", "F",
      "multiply the model's units by F (default: fit the\n"
      "model into a radius of 100 units)"},
     {UP, "up", "AXIS", "the model's up axis: x, y (default) or z"}},
    "Exit status: 0 on success, 1 when the model cannot be imported or a file\ncannot be written, 2 for a usage error.",
};

bool ParseNumber(const char* text, double low, double high, double* value)
{
    char* end = nullptr;
    const double parsed = std::strtod(text, &end);
    if (!*text || *end || !std::isfinite(parsed) || parsed < low || parsed > high)
        return false;
    *value = parsed;
    return true;
}

std::string Apply(Options* options, int key, const char* value)
{
    unsigned long long count = 0;
    double number = 0;
    static const std::map<std::string, View> VIEWS = {{"quarter", View::QUARTER}, {"front", View::FRONT},
                                                       {"back", View::BACK},       {"left", View::LEFT},
                                                       {"right", View::RIGHT},     {"top", View::TOP},
                                                       {"iso", View::ISO}};
    switch (key) {
    case MAX_TEXTURE:
        if (!cli::ParseCount(value, 1, LARGEST_TEXTURE, &count) || (count & (count - 1)))
            return "--max-texture takes a power of two from 1 to 1024";
        options->maxTexture = uint32_t(count);
        break;
    case VIEW:
        if (!VIEWS.count(value))
            return "--view takes front, back, left, right, top, iso or quarter";
        options->view = VIEWS.at(value);
        options->viewGiven = true;
        break;
    case TURNTABLE:
        if (!ParseNumber(value, 0.01, 3600, &options->turntable))
            return "--turntable takes seconds from 0.01 to 3600";
        break;
    case PERSPECTIVE:
        if (std::strcmp(value, "off") == 0)
            options->perspective = NO_PERSPECTIVE;
        else if (cli::ParseCount(value, 0, MOST_PERSPECTIVE, &count))
            options->perspective = uint32_t(count);
        else
            return "--perspective takes a number from 0 to 8, or off";
        break;
    case FILTER:
        if (std::strcmp(value, "nearest") != 0 && std::strcmp(value, "bilinear") != 0)
            return "--filter takes nearest or bilinear";
        options->bilinear = std::strcmp(value, "bilinear") == 0;
        break;
    case FLAT:
    case SHADED:
        options->shaded = key == SHADED;
        break;
    case SCALE:
        if (!ParseNumber(value, 1e-6, 1e6, &number))
            return "--scale takes a factor from 0.000001 to 1000000";
        options->scale = number;
        break;
    case UP:
        if (std::strlen(value) != 1 || !std::strchr("xyz", value[0]))
            return "--up takes x, y or z";
        options->up = value[0];
        break;
    }
    return "";
}

std::string Plural(uint32_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

void PrintSummary(const std::string& model, const std::string& output, const Summary& summary)
{
    std::fprintf(stderr, "%s: %s: %s, %s, %s, %s, %s, %s, %s, %s -> %s\n", PROGRAM, model.c_str(),
                 Plural(summary.meshes, "mesh", "meshes").c_str(), Plural(summary.objects, "object", "objects").c_str(),
                 Plural(summary.faces, "face", "faces").c_str(), Plural(summary.textures, "texture", "textures").c_str(),
                 Plural(summary.cameras, "camera", "cameras").c_str(), Plural(summary.lights, "light", "lights").c_str(),
                 Plural(summary.morphs, "morph object", "morph objects").c_str(),
                 Plural(summary.keys, "key", "keys").c_str(), output.c_str());
    for (const auto& [reason, count] : summary.dropped)
        std::fprintf(stderr, "%s: left out: %s (%u)\n", PROGRAM, reason.c_str(), count);
}

std::string FolderOf(const std::string& path)
{
    const std::string folder = std::filesystem::path(path).parent_path().string();
    return folder.empty() ? "" : folder + "/";
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    std::vector<const char*> operands;
    const int parsed = cli::Parse(
        COMMAND_LINE, argc, argv, [&](int key, const char* value) { return Apply(&options, key, value); }, &operands);
    if (parsed != cli::NONE)
        return parsed;
    if (operands.size() != 2)
        return cli::UsageError(COMMAND_LINE, "needs a MODEL and an OUTPUT file");
    const std::string model = operands[0], output = operands[1];

    // Spherical, cylindrical and planar mappings and texture transforms
    // become plain texture coordinates, which is all the engine draws with.
    Assimp::Importer importer;
    const aiScene* imported = importer.ReadFile(
        model, aiProcess_Triangulate | aiProcess_JoinIdenticalVertices | aiProcess_SortByPType |
                   aiProcess_ValidateDataStructure | aiProcess_GenUVCoords | aiProcess_TransformUVCoords);
    if (!imported) {
        std::fprintf(stderr, "%s: %s: %s\n", PROGRAM, model.c_str(), importer.GetErrorString());
        return EXIT_FAILED;
    }
    TextureFiles files;
    files.modelFolder = FolderOf(model);
    files.outputFolder = FolderOf(output);
    files.stem = std::filesystem::path(output).stem().string();
    Summary summary;
    std::string error;
    Scene* scene = BuildScene(imported, options, &files, &summary, &error);
    // The viewer builds its colour table from a .palette beside the scene;
    // a folder that has one keeps it.
    const std::string palette = files.outputFolder + ".palette";
    if (scene && access(palette.c_str(), F_OK) != 0) {
        if (WriteWhole(palettefile::CubePalette(), palette))
            files.written.push_back(palette);
        else
            error = "cannot write " + palette;
    }
    int32_t saved = -1;
    if (scene && error.empty()) {
        const TagItem tags[] = {{TAG_SAVESCENE_FILENAME, TagPtr(output.c_str())},
                                {TAG_SAVESCENE_ERROR, TagPtr(&saved)},
                                {TAG_DONE, 0}};
        if (SaveScene(scene, tags) == 0 || saved != 0)
            error = "cannot write " + output;
    }
    FreeScene(scene);
    if (saved != 0) {
        for (const std::string& path : files.written)
            unlink(path.c_str());
        std::fprintf(stderr, "%s: %s: %s\n", PROGRAM, model.c_str(), error.c_str());
        return EXIT_FAILED;
    }
    PrintSummary(model, output, summary);
    return 0;
}
