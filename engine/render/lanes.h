// Eight-lane vectors for the front end's wide loops (point lights, vertex
// transformation, sky and floor), compiled in each clone of the function
// that uses them. Comparisons give lanes of all ones (−1) or zero. Internal
// to the front end.
#pragma once

#include "scene/scene.h"

#include <cstdint>
#include <cstring>

namespace kvor3d {

using Floats = float __attribute__((vector_size(32)));
using Ints = int32_t __attribute__((vector_size(32)));
constexpr int32_t LANES = 8;

// Whether every lane of a comparison holds all ones: the halves together,
// then their two 64-bit quarters.
inline __attribute__((always_inline)) bool Every(const Ints& lanes)
{
    using Quarters = uint64_t __attribute__((vector_size(16)));
    const Quarters both =
        Quarters(__builtin_shufflevector(lanes, lanes, 0, 1, 2, 3) & __builtin_shufflevector(lanes, lanes, 4, 5, 6, 7));
    return (both[0] & both[1]) == ~uint64_t(0);
}

// The three components of a vertex field of eight vertices, through a
// plain array.
template <float (Vertex::*Field)[3]>
inline __attribute__((always_inline)) void Gather(const Vertex* v, Floats* lanes)
{
    for (int j = 0; j < 3; ++j) {
        float values[LANES];
        for (int32_t lane = 0; lane < LANES; ++lane)
            values[lane] = (v[lane].*Field)[j];
        std::memcpy(&lanes[j], values, sizeof values);
    }
}

}  // namespace kvor3d
