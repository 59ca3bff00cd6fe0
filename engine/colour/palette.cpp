#include "colour/colour.h"
#include "colour/structures.h"
#include "core/tables.h"

#include <cstdio>
#include <cstring>

namespace kvor3d {

int32_t ReadPaletteFile(const char* name, uint32_t* words)
{
    std::FILE* file = OpenRegularFile(name);
    if (!file)
        return ERR_PALETTE_OPEN;
    // One byte more than a palette file holds, to tell a longer file apart.
    uint8_t bytes[PALETTE_FILE_BYTES + 1];
    size_t got = std::fread(bytes, 1, sizeof bytes, file);
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        return ERR_PALETTE_OPEN;
    if (got != PALETTE_FILE_BYTES)
        return ERR_PALETTE_SIZE;
    uint32_t head;
    std::memcpy(&head, bytes, sizeof head);
    // 3n + 2 words must lie inside the file for the table to copy them.
    if ((head >> 16) > (PALETTE_FILE_WORDS - 2) / 3)
        return ERR_PALETTE_COUNT;
    std::memcpy(words, bytes, PALETTE_FILE_BYTES);
    return PALETTE_OK;
}

namespace {

bool Switched(uint32_t id, const TagItem* tags)
{
    const TagItem* item = FindTag(id, tags);
    return item && (item->data & 0xFFFF) != 0;
}

}  // namespace

// The octree is built before the grid; either is simply left out when it
// cannot be built.
ColourTable* CreateColourTable(const TagItem* tags)
{
    const TagItem* source = FindTag(TAG_COLOURTABLE_PALETTE, tags);
    if (!source || !source->data)
        return nullptr;
    const uint32_t* data = reinterpret_cast<const uint32_t*>(source->data);
    const uint32_t count = data[0] >> 16;

    auto* table = static_cast<ColourTable*>(MemAlloc(1, sizeof(ColourTable)));
    if (!table)
        return nullptr;
    table->palette = static_cast<uint32_t*>(MemAlloc(3 * count + 2, sizeof(uint32_t)));
    table->components = static_cast<int32_t*>(MemAlloc(3 * count, sizeof(int32_t)));
    if (!table->palette || (count && !table->components)) {
        DeleteColourTable(table);
        return nullptr;
    }
    MemCopy(table->palette, data, int32_t((3 * count + 2) * sizeof(uint32_t)));
    for (uint32_t i = 0; i < 3 * count; ++i)
        table->components[i] = int32_t(data[1 + i] >> 24);

    if (Switched(TAG_COLOURTABLE_OCTREE, tags))
        table->octree = BuildColourOctree(table->components, int32_t(count));
    // Nearest reads its distances from the square table.
    if (Switched(TAG_COLOURTABLE_GRID, tags) && (SquareTable || BuildSquareTable()))
        table->grid = BuildColourGrid(table->components, int32_t(count));
    return table;
}

void DeleteColourTable(ColourTable* table)
{
    if (!table)
        return;
    MemFree(table->palette);
    MemFree(table->components);
    FreeColourGrid(table->grid);
    FreeColourOctree(table->octree);
    MemFree(table);
}

}  // namespace kvor3d
