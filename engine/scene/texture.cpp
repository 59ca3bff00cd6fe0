#include "scene/material.h"

// The mip levels live in the one block that `pixels` points to; the table
// only points into it.
void FreeTexture(Texture* texture)
{
    if (!texture)
        return;
    MemFree(texture->name);
    MemFree(texture->pixels);
    MemFree(texture->bumpMap);
    MemFree(texture->greyMap);
    MemFree(texture->mipTable);
    MemFree(texture);
}
