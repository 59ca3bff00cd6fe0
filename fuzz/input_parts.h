// Shared by the targets: splitting an input into a file and the pictures
// after it, served to the texture callback, and writing an input to a file
// so that the readers' file-name paths run.
#pragma once

#include "kvor3d.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace kvor3d;

namespace parts {

inline uint32_t Big32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

// The length of the FORM at the start: its header and the bytes its size
// word counts, at most what the input holds.
inline size_t FormLength(const uint8_t* data, size_t size)
{
    if (size < 8)
        return size;
    return size_t(std::min<uint64_t>(8 + uint64_t(Big32(data + 4)), size));
}

// The bytes after the file: each FORM there is one picture, handed out in
// the order the textures are asked for. The callback gets no size, so each
// picture is copied into a block of exactly its FORM's length (the size
// word cut down to the bytes there are, and at least the 12-byte header the
// texture code reads to recognise it): reading past it is the reader's
// fault. A FORM of another type is taken for a raw square, so its block is
// filled up with zeros to a square's size. Once no FORM is left, the answer
// is the raw 256 × 256 square.
class Pictures {
public:
    void Reset(const uint8_t* data, size_t size)
    {
        tail.assign(data, data + size);
        at = 0;
        served.clear();
    }

    const void* Next()
    {
        static std::vector<uint16_t> raw(TEXTURE_RAW_SIDE * TEXTURE_RAW_SIDE, 0x4210);
        const size_t left = tail.size() - at;
        if (left < 12 || std::memcmp(tail.data() + at, "FORM", 4) != 0)
            return raw.data();
        const size_t length = std::max<size_t>(FormLength(tail.data() + at, left), 12);
        served.emplace_back(tail.begin() + long(at), tail.begin() + long(at + length));
        const uint32_t sizeWord = uint32_t(length - 8);
        for (int i = 0; i < 4; ++i)
            served.back()[size_t(4 + i)] = uint8_t(sizeWord >> (24 - 8 * i));
        if (std::memcmp(served.back().data() + 8, "ILBM", 4) != 0)
            served.back().resize(std::max(length, raw.size() * sizeof raw[0]));
        at += length + (length & 1);
        at = std::min(at, tail.size());
        return served.back().data();
    }

private:
    std::vector<uint8_t> tail;
    size_t at = 0;
    std::vector<std::vector<uint8_t>> served;
};

inline Pictures& ThePictures()
{
    static Pictures pictures;
    return pictures;
}

inline const void* NextPicture(const char*)
{
    return ThePictures().Next();
}

// A file in a folder of its own, removed when the process ends normally.
// The folder is made in memory (/dev/shm) when the system has one: a file
// system on disk may flush a file rewritten from nothing on every close,
// which makes each run take milliseconds.
class InputFile {
public:
    InputFile()
    {
        char pattern[] = "/dev/shm/kvor_fuzz.XXXXXX";
        char fallback[] = "/tmp/kvor_fuzz.XXXXXX";
        const char* made = mkdtemp(pattern);
        if (!made)
            made = mkdtemp(fallback);
        if (!made)
            std::abort();
        folder = made;
        name = folder + "/input";
    }
    ~InputFile()
    {
        unlink(name.c_str());
        rmdir(folder.c_str());
    }

    // Writes the bytes into the file; its name.
    const char* Write(const uint8_t* data, size_t size) const
    {
        const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0 || write(fd, data, size) != ssize_t(size) || close(fd) != 0)
            std::abort();
        return name.c_str();
    }

private:
    std::string folder, name;
};

inline const char* WriteInput(const uint8_t* data, size_t size)
{
    static const InputFile file;
    return file.Write(data, size);
}

}  // namespace parts
