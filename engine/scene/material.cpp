#include "scene/material.h"

#include "scene/scene.h"
#include "scene/tagread.h"

void ReleaseMaterial(Material* material, const TagItem* tags)
{
    if (!material)
        return;
    if (material->users > 0)
        --material->users;
    const TagItem* force = FindTagIn(TAG_MATERIAL_FORCE, tags);
    if (material->users > 0 && !(force && TagBool(force)))
        return;
    if (Scene* scene = TagPointer<Scene>(TAG_MATERIAL_RELEASESCENE, tags)) {
        for (Material** link = &scene->materials; *link; link = &(*link)->next) {
            if (*link == material) {
                *link = material->next;
                break;
            }
        }
    }
    MemFree(material->table);
    MemFree(material);
}
