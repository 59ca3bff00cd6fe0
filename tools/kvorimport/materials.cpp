// The objects' colours, opacity and sides, and their diffuse textures
// written as ILBM files.
#include "builder.h"

#include <assimp/material.h>

#include <cctype>
#include <filesystem>
#include <fstream>

namespace kvorimport {

Texture* Builder::TextureRecord(const std::string& name)
{
    Texture* texture = Check(AllocRecord<Texture>());
    Texture** link = &scene_->textures;
    while (*link)
        link = &(*link)->next;
    *link = texture;
    texture->name = Check(CopyName(name.c_str()));
    return texture;
}

namespace {

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

// The file of the model's folder whose name is `bare` in any case, as the
// names written on systems that ignore case often differ from the files'.
std::string AnyCase(const std::string& folder, const std::string& bare)
{
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder.empty() ? "." : folder, error))
        if (Lower(entry.path().filename().string()) == Lower(bare))
            return entry.path().string();
    return "";
}

}  // namespace

// The file as named, relative to the model's folder; failing that its last
// path component (either slash, any case) in the model's folder.
std::string Builder::ReadPicture(const std::string& path, Picture* picture)
{
    std::string name = path;
    std::replace(name.begin(), name.end(), '\\', '/');
    const std::string bare = name.substr(name.find_last_of('/') + 1);
    const std::string candidates[] = {name.empty() || name[0] == '/' ? name : files_->modelFolder + name,
                                      files_->modelFolder + bare, AnyCase(files_->modelFolder, bare)};
    for (const std::string& candidate : candidates) {
        std::ifstream stream(candidate, std::ios::binary);
        if (!stream)
            continue;
        std::vector<uint8_t> bytes;
        char block[65536];
        while (stream.read(block, sizeof block) || stream.gcount() > 0) {
            bytes.insert(bytes.end(), block, block + stream.gcount());
            if (bytes.size() > MAX_PICTURE_FILE)
                return "file larger than 256 MiB";
        }
        return DecodePicture(bytes.data(), bytes.size(), picture);
    }
    return "file not found";
}

const TextureUse* Builder::UseTexture(const aiString& path)
{
    const std::string key = path.C_Str();
    const auto found = textures_.find(key);
    if (found != textures_.end())
        return found->second.map ? &found->second : nullptr;
    TextureUse& use = textures_[key];
    Picture picture;
    std::string refused;
    if (const aiTexture* embedded = model_->GetEmbeddedTexture(path.C_Str())) {
        if (embedded->mHeight == 0) {
            refused = DecodePicture(reinterpret_cast<const uint8_t*>(embedded->pcData), embedded->mWidth, &picture);
        } else {
            picture.width = int(embedded->mWidth);
            picture.height = int(embedded->mHeight);
            for (size_t i = 0; i < size_t(embedded->mWidth) * embedded->mHeight; ++i) {
                const aiTexel& t = embedded->pcData[i];
                picture.rgba.insert(picture.rgba.end(), {t.r, t.g, t.b, t.a});
            }
        }
    } else if (key.empty() || key[0] == '*') {
        refused = "embedded picture missing";
    } else {
        refused = ReadPicture(key, &picture);
    }
    if (!refused.empty() || picture.width <= 0 || picture.height <= 0) {
        summary_->Drop("texture " + key + ": " + (refused.empty() ? "empty picture" : refused));
        return nullptr;
    }
    const Picture resampled = Resample(picture, options_.maxTexture);
    bool alpha = false;
    for (size_t i = 3; i < resampled.rgba.size(); i += 4)
        alpha = alpha || resampled.rgba[i] < 255;
    const std::string name = files_->stem + "_" + std::to_string(summary_->textures);
    for (int layer = 0; layer < (alpha ? 2 : 1); ++layer) {
        const std::string file = name + (layer ? "a" : "") + ".iff";
        const std::string written = files_->outputFolder + file;
        if (!WritePicture(resampled, layer == 1, written))
            throw std::runtime_error("cannot write " + written);
        files_->written.push_back(written);
        (layer ? use.alphaMap : use.map) = TextureRecord(file);
    }
    ++summary_->textures;
    use.width = resampled.width;
    use.height = resampled.height;
    return &use;
}

// Colour, opacity, sides and the diffuse texture of the mesh's material
// as object flags, colour and maps.
void Builder::SetMaterial(ObjectEntity* object, const aiMesh* mesh, const TextureUse** texture)
{
    *texture = nullptr;
    const aiMaterial* material = mesh->mMaterialIndex < model_->mNumMaterials ? model_->mMaterials[mesh->mMaterialIndex]
                                                                              : nullptr;
    aiColor4D diffuse(0.8f, 0.8f, 0.8f, 1.0f);
    float opacity = 1.0f;
    int twoSided = 0, shading = aiShadingMode_Gouraud;
    aiString path;
    bool textured = false;
    if (material) {
        if (aiGetMaterialColor(material, AI_MATKEY_COLOR_DIFFUSE, &diffuse) != AI_SUCCESS)
            aiGetMaterialColor(material, AI_MATKEY_BASE_COLOR, &diffuse);
        aiGetMaterialFloat(material, AI_MATKEY_OPACITY, &opacity);
        aiGetMaterialInteger(material, AI_MATKEY_TWOSIDED, &twoSided);
        aiGetMaterialInteger(material, AI_MATKEY_SHADING_MODEL, &shading);
        textured = material->GetTexture(aiTextureType_DIFFUSE, 0, &path) == AI_SUCCESS ||
                   material->GetTexture(aiTextureType_BASE_COLOR, 0, &path) == AI_SUCCESS;
        for (int type = aiTextureType_SPECULAR; type <= aiTextureType_TRANSMISSION; ++type)
            if (type != aiTextureType_BASE_COLOR && material->GetTextureCount(aiTextureType(type)) > 0)
                summary_->Drop(std::string(aiTextureTypeToString(aiTextureType(type))) + " maps (only diffuse maps are drawn)");
    }
    if (!(opacity > 0.0f)) {
        summary_->Drop("opacity 0 (read as opaque)");
        opacity = 1.0f;
    }
    if (textured && !mesh->HasTextureCoords(0)) {
        summary_->Drop("textures of meshes without texture coordinates");
        textured = false;
    }
    if (textured)
        *texture = UseTexture(path);
    uint32_t flags = 0;
    uint32_t alpha = 255;
    if (*texture) {
        flags |= OBJECT_TEXTURE;
        if (options_.perspective <= 8) {
            flags |= OBJECT_PERSPECTIVE;
            object->correctionValue = options_.perspective;
        }
        object->material[1] = options_.bilinear ? 1 : 0;
        if ((*texture)->alphaMap) {
            object->transparencyMap = (*texture)->alphaMap;
            flags |= OBJECT_TRANSPARENT;
        }
        object->textureMap = (*texture)->map;
    }
    if (opacity < 1.0f) {
        flags |= OBJECT_TRANSPARENT;
        alpha = Channel(opacity);
    }
    // The engine draws no shaded transparent surface.
    if (options_.shaded && !(flags & OBJECT_TRANSPARENT) && shading != aiShadingMode_NoShading)
        flags |= OBJECT_SHADED;
    if (twoSided)
        flags |= OBJECT_DOUBLESIDED;
    object->objectFlags = flags;
    object->colour = alpha << 24 | Rgb(aiColor3D(diffuse.r, diffuse.g, diffuse.b));
}

}  // namespace kvorimport
