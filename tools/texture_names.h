// Where kvorshot, kvorbench and kvorview find the files a scene names (its
// textures, and kvorview's palette), whatever the current folder:
//   1. an absolute name is used as given;
//   2. a relative name is looked for in the scene file's folder, and when it
//      is not there its last path component is looked for in that folder
//      (so "data/chrome.tex" of d7/cube.kvor is found as d7/chrome.tex);
//   3. with -C DIR relative names are looked for in DIR instead, the same
//      two ways.
// A name found nowhere is never looked for in the current folder: the load
// fails, and the program names the texture and the places looked.
//
// The scene reader's texture-file callback takes no context, so the folder
// of the scene being loaded and the outcome of the last look-up are kept
// here, for one load at a time.
#pragma once

#include "scene/fileformat.h"

#include <sys/stat.h>

#include <string>
#include <vector>

namespace texturenames {

// The folder a path's relative names resolve against: everything up to its
// last '/' ("d7/" for "d7/cube.kvor"), empty for a bare name, which is in
// the current folder.
inline std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// A folder given as -C DIR, as a prefix of the names in it.
inline std::string Folder(const std::string& dir)
{
    return dir.empty() || dir.back() == '/' ? dir : dir + "/";
}

// Where `name` is looked for, in order, with relative names in `folder` (a
// prefix from FolderOf or Folder).
inline std::vector<std::string> Places(const std::string& folder, const std::string& name)
{
    if (!name.empty() && name[0] == '/')
        return {name};
    std::vector<std::string> places = {folder + name};
    const size_t slash = name.rfind('/');
    if (slash != std::string::npos && slash + 1 < name.size())
        places.push_back(folder + name.substr(slash + 1));
    return places;
}

// The first place where a file that is not a folder exists; false, with
// `looked` listing the places ("a and b"), when there is none.
inline bool Find(const std::string& folder, const std::string& name, std::string* found, std::string* looked)
{
    const std::vector<std::string> places = Places(folder, name);
    looked->clear();
    for (const std::string& place : places) {
        struct stat status;
        if (stat(place.c_str(), &status) == 0 && !S_ISDIR(status.st_mode)) {
            *found = place;
            return true;
        }
        *looked += (looked->empty() ? "" : " and ") + place;
    }
    return false;
}

// The current load: its folder, the path last handed to the reader and the
// texture last found nowhere (empty when every name was found).
struct Lookup {
    std::string folder;
    std::string found;
    std::string missing;
    std::string looked;
};

inline Lookup& Current()
{
    static Lookup lookup;
    return lookup;
}

// The scene reader's TextureFileCallback for the load Begin started.
inline const char* FindTexture(const char* name)
{
    Lookup& lookup = Current();
    if (Find(lookup.folder, name, &lookup.found, &lookup.looked))
        return lookup.found.c_str();
    lookup.missing = name;
    return nullptr;
}

// Starts the load of the scene file `scene`: relative names resolve against
// `dir` when it is given (-C), else against the scene's folder. The result
// goes with TAG_LOADSCENE_TEXTUREFILES.
inline kvor3d::TextureFileCallback Begin(const char* scene, const char* dir)
{
    Current() = Lookup{dir ? Folder(dir) : FolderOf(scene), "", "", ""};
    return &FindTexture;
}

// After a failed load: the line that names the texture found nowhere, or an
// empty string when the load failed for another reason.
inline std::string Missing(const char* scene)
{
    const Lookup& lookup = Current();
    if (lookup.missing.empty())
        return "";
    return "texture \"" + lookup.missing + "\" of " + scene + " not found (looked for " + lookup.looked + ")";
}

}  // namespace texturenames
