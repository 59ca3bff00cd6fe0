// The scene reader on long chains: LoadScene and FreeScene of a file of n
// bare entities, each a parent of the next, and of one light effect of n
// elements in rising e0 order (the reader puts them largest first). Both
// must grow in proportion to n.
#include "kvor3d.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

using namespace kvor3d;

namespace {

void PutWord(std::vector<uint8_t>* file, uint32_t word)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        file->push_back(uint8_t(word >> shift));
}

void PutChunk(std::vector<uint8_t>* file, const char* id, std::initializer_list<uint32_t> words)
{
    file->insert(file->end(), id, id + 4);
    PutWord(file, uint32_t(4 * words.size()));
    for (uint32_t word : words)
        PutWord(file, word);
}

// A string chunk: the text, its NUL and a pad byte to an even size.
void PutString(std::vector<uint8_t>* file, const char* id, const std::string& text)
{
    const uint32_t size = uint32_t(text.size() + 2) & ~1u;
    file->insert(file->end(), id, id + 4);
    PutWord(file, size);
    file->insert(file->end(), text.begin(), text.end());
    file->insert(file->end(), size - text.size(), 0);
}

// FORM KVOR around the chunks `add` appends; the FORM size is set last.
template <typename Add>
std::vector<uint8_t> SceneFile(Add add)
{
    std::vector<uint8_t> file = {'F', 'O', 'R', 'M', 0, 0, 0, 0, 'K', 'V', 'O', 'R'};
    PutChunk(&file, "VERS", {7});
    add(&file);
    const uint32_t size = uint32_t(file.size() - 8);
    for (int i = 0; i < 4; ++i)
        file[4 + i] = uint8_t(size >> (24 - 8 * i));
    return file;
}

void LoadAndFree(benchmark::State& state, const std::vector<uint8_t>& file)
{
    const TagItem tags[] = {
        {TAG_LOADSCENE_MEMORY, TagPtr(file.data())},
        {TAG_LOADSCENE_MEMORYSIZE, file.size()},
        {TAG_DONE, 0},
    };
    for (auto _ : state) {
        Scene* scene = LoadScene(tags);
        if (!scene) {
            state.SkipWithError("the scene was refused");
            return;
        }
        FreeScene(scene);
    }
    state.SetComplexityN(state.range(0));
}

// Entity i is named by its number and names entity i − 1 as its parent.
void BM_LoadEntityChain(benchmark::State& state)
{
    const uint32_t count = uint32_t(state.range(0));
    const std::vector<uint8_t> file = SceneFile([count](std::vector<uint8_t>* out) {
        for (uint32_t i = 0; i < count; ++i) {
            PutChunk(out, "ENTY", {0, 0});
            PutString(out, "NAME", "e" + std::to_string(i));
            if (i > 0)
                PutString(out, "PRNT", "e" + std::to_string(i - 1));
        }
    });
    LoadAndFree(state, file);
}
BENCHMARK(BM_LoadEntityChain)->Arg(12500)->Arg(50000)->Arg(200000)->Unit(benchmark::kMillisecond)->Complexity();

void BM_LoadEffectElements(benchmark::State& state)
{
    const uint32_t count = uint32_t(state.range(0));
    const std::vector<uint8_t> file = SceneFile([count](std::vector<uint8_t>* out) {
        PutChunk(out, "LTEF", {0});
        for (uint32_t i = 0; i < count; ++i)
            PutChunk(out, "LEEL", {i, 0x10000, 0x10000, 0});
    });
    LoadAndFree(state, file);
}
BENCHMARK(BM_LoadEffectElements)->Arg(12500)->Arg(50000)->Arg(200000)->Unit(benchmark::kMillisecond)->Complexity();

}  // namespace
