// The data set's pictures as ILBM files, and the file writer.
#include "kvordata.h"

#include "ilbm_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kvordata {

std::vector<uint8_t> EncodeIlbm(const Picture& picture)
{
    return ilbm::EncodeTrueColour(picture.width, picture.height, picture.rgb);
}

std::vector<uint8_t> EncodeIlbm(const IndexedPicture& picture)
{
    std::vector<uint8_t> cmap;
    for (const Rgb& c : picture.palette)
        for (float component : {c.r, c.g, c.b})
            cmap.push_back(uint8_t(std::clamp(int(std::lround(component * 255.0f)), 0, 255)));
    return ilbm::EncodeIndexed(picture.width, picture.height, picture.indices, cmap);
}

void WriteFile(const std::string& dir, const std::string& name, const std::vector<uint8_t>& bytes)
{
    const std::string path = dir + "/" + name;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() || std::fclose(file) != 0) {
        std::fprintf(stderr, "kvordata: cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

}  // namespace kvordata
