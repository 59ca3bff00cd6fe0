// The per-frame cost of showing a 320 × 200 frame: the conversion of the
// 15-bit source into each image layout the window may use, at the window
// scales that put each pixel into 1 × 1, 2 × 2 and 3 × 3 blocks, next to a
// plain copy of the same 128000 bytes for comparison.
#include "display/convert.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

using namespace kvor3d;

namespace {

constexpr uint32_t WIDTH = 320;  // already a multiple of 8
constexpr uint32_t HEIGHT = 200;
constexpr uint32_t PIXELS = WIDTH * HEIGHT;
constexpr uint32_t FRAME_BYTES = PIXELS * 2;

// A frame of varied 15-bit pixels (bit 15 clear).
std::vector<uint8_t> SourceFrame()
{
    std::vector<uint8_t> frame(FRAME_BYTES);
    for (uint32_t i = 0; i < PIXELS; ++i) {
        uint16_t pixel = uint16_t((i * 40503u) & 0x7FFF);
        std::memcpy(&frame[2 * i], &pixel, 2);
    }
    return frame;
}

void BM_Memcpy(benchmark::State& state)
{
    const std::vector<uint8_t> source = SourceFrame();
    std::vector<uint8_t> image(FRAME_BYTES);
    for (auto _ : state) {
        std::memcpy(image.data(), source.data(), FRAME_BYTES);
        benchmark::DoNotOptimize(image.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * FRAME_BYTES);
}
BENCHMARK(BM_Memcpy);

// Arguments: conversion code, opaque bits, scale.
void BM_Convert(benchmark::State& state)
{
    const std::vector<uint8_t> source = SourceFrame();
    const uint32_t scale = uint32_t(state.range(2));
    std::vector<uint8_t> image(PIXELS * 4 * scale * scale);
    std::vector<uint8_t> table(1024);
    const ConvertJob job{source.data(), image.data(), PIXELS, FRAME_BYTES, table.data(), uint32_t(state.range(1)),
                         WIDTH, scale};
    const int code = int(state.range(0));
    for (auto _ : state) {
        ConvertPixels(code, job);
        benchmark::DoNotOptimize(image.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * FRAME_BYTES);
}
BENCHMARK(BM_Convert)
    ->ArgNames({"code", "opaque", "scale"})
    ->Args({66, 0, 1})
    ->Args({130, 0, 1})
    ->Args({514, 0, 1})
    ->Args({514, 0xFF000000, 1})
    ->Args({258, 0, 1})
    ->Args({34, 0, 1})
    ->Args({130, 0, 2})
    ->Args({514, 0xFF000000, 2})
    ->Args({130, 0, 3})
    ->Args({514, 0xFF000000, 3});

}  // namespace
