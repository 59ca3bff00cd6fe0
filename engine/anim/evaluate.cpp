#include "anim/anim.h"

namespace kvor3d {

namespace {

constexpr int MOTION_VALUES = 9;

void ReadValues(const EntityKey* key, float* values)
{
    for (int i = 0; i < 3; ++i) {
        values[i] = key->position[i];
        values[3 + i] = key->rotation[i];
        values[6 + i] = key->size[i];
    }
}

void ReadValues(const LightKey* key, float* values)
{
    values[0] = key->value;
}

// A ratio of two tick differences as a 32-bit float; 0 for an empty span.
float TimeRatio(int64_t numerator, int64_t denominator)
{
    return denominator == 0 ? 0.0f : float(double(numerator) / double(denominator));
}

// Kochanek–Bartels interval from a to b at s. Coefficients, time ratios and
// Hermite weights are 32-bit floats; a missing outer neighbour gives the
// tangent (c1 + c2) × 0.5 × (b − a).
template <typename K, int N>
void Spline(const K* a, const float* av, const K* b, const float* bv, float s, float* out)
{
    const K* p = static_cast<const K*>(a->prev);
    const K* q = static_cast<const K*>(b->next);
    float pv[N];
    float qv[N];
    if (p)
        ReadValues(p, pv);
    if (q)
        ReadValues(q, qv);

    float a1 = (1.0f - a->k0) * (1.0f + a->k1) * (1.0f + a->k2);
    float a2 = (1.0f - a->k0) * (1.0f - a->k1) * (1.0f - a->k2);
    float b1 = (1.0f - b->k0) * (1.0f - b->k1) * (1.0f + b->k2);
    float b2 = (1.0f - b->k0) * (1.0f + b->k1) * (1.0f - b->k2);
    int64_t delta = int64_t(b->time) - int64_t(a->time);
    float outRatio = p ? TimeRatio(delta, int64_t(b->time) - int64_t(p->time)) : 0.0f;
    float inRatio = q ? TimeRatio(delta, int64_t(q->time) - int64_t(a->time)) : 0.0f;

    float s2 = s * s;
    float s3 = s2 * s;
    float h1 = 3.0f * s2 - 2.0f * s3;
    float h2 = s3 - 2.0f * s2 + s;
    float h3 = s3 - s2;
    for (int i = 0; i < N; ++i) {
        float d = bv[i] - av[i];
        float outgoing = p ? (a1 * (av[i] - pv[i]) + a2 * d) * outRatio : (a1 + a2) * 0.5f * d;
        float incoming = q ? (b1 * d + b2 * (qv[i] - bv[i])) * inRatio : (b1 + b2) * 0.5f * d;
        out[i] = av[i] + d * h1 + outgoing * h2 + incoming * h3;
    }
}

template <typename K, int N>
void EvaluateValues(const K* a, float f, float* out)
{
    if (!a)
        return;
    const K* b = static_cast<const K*>(a->next);
    float av[N];
    ReadValues(a, av);
    if (f > 0.0f && b && (b->keyFlags & KEY_INTERPOLATE)) {
        float bv[N];
        ReadValues(b, bv);
        if (f >= 1.0f) {
            for (int i = 0; i < N; ++i)
                out[i] = bv[i];
        } else if (b->keyFlags & KEY_SPLINE) {
            Spline<K, N>(a, av, b, bv, f, out);
        } else {
            for (int i = 0; i < N; ++i)
                out[i] = av[i] + (bv[i] - av[i]) * f;
        }
        return;
    }
    for (int i = 0; i < N; ++i)
        out[i] = av[i];
}

// Copies a target's shape into the vertex array.
void ShowTarget(MorphEntity* morph, MorphTarget* target)
{
    if (!target || !target->targetVertices || morph->currentTarget == target)
        return;
    for (uint32_t v = 0; v < morph->vertexCount; ++v) {
        for (int i = 0; i < 3; ++i) {
            morph->vertices[v].position[i] = target->targetVertices[v].position[i];
            morph->vertices[v].normal[i] = target->targetVertices[v].normal[i];
        }
    }
    morph->currentTarget = target;
}

void BlendTargets(MorphEntity* morph, const MorphTarget* from, const MorphTarget* to, float f)
{
    if (!from || !to || !from->targetVertices || !to->targetVertices)
        return;
    for (uint32_t v = 0; v < morph->vertexCount; ++v) {
        const TargetVertex& a = from->targetVertices[v];
        const TargetVertex& b = to->targetVertices[v];
        for (int i = 0; i < 3; ++i) {
            morph->vertices[v].position[i] = a.position[i] + (b.position[i] - a.position[i]) * f;
            morph->vertices[v].normal[i] = a.normal[i] + (b.normal[i] - a.normal[i]) * f;
        }
    }
    morph->currentTarget = nullptr;
}

}  // namespace

void EvaluateKey(const EntityKey* a, float fraction, float values[9])
{
    EvaluateValues<EntityKey, MOTION_VALUES>(a, fraction, values);
}

void EvaluateKey(const LightKey* a, float fraction, float* value)
{
    EvaluateValues<LightKey, 1>(a, fraction, value);
}

// Visibility follows the key at or before t and is not interpolated.
void EvaluateEntity(Entity* entity, uint32_t t)
{
    if (!entity)
        return;
    float f;
    auto* a = static_cast<EntityKey*>(FindKeyInterval(&entity->keys, t, &f));
    if (!a)
        return;
    float values[MOTION_VALUES];
    EvaluateKey(a, f, values);
    for (int i = 0; i < 3; ++i) {
        entity->position[i] = values[i];
        entity->rotation[i] = values[3 + i];
        entity->size[i] = values[6 + i];
    }
    if (a->keyFlags & KEY_HIDDEN)
        entity->entityFlags &= ~ENTITY_DRAWN;
    else
        entity->entityFlags |= ENTITY_DRAWN;
}

void EvaluateLight(LightEntity* light, uint32_t t)
{
    if (!light)
        return;
    float f;
    auto* a = static_cast<LightKey*>(FindKeyInterval(&light->keys2, t, &f));
    EvaluateKey(a, f, &light->lightValue1);
}

// An interval whose later key asks for a spline keeps the shape it had when
// the interval was entered: shapes are only ever blended linearly.
void EvaluateMorph(MorphEntity* morph, uint32_t t)
{
    if (!morph || !morph->vertices)
        return;
    float f;
    auto* a = static_cast<MorphKey*>(FindKeyInterval(&morph->morphKeys, t, &f));
    if (!a)
        return;
    auto* b = static_cast<MorphKey*>(a->next);
    if (f > 0.0f && b && (b->keyFlags & KEY_INTERPOLATE)) {
        if (f >= 1.0f) {
            ShowTarget(morph, b->target);
        } else if (!(b->keyFlags & KEY_SPLINE)) {
            BlendTargets(morph, a->target, b->target, f);
        }
        return;
    }
    ShowTarget(morph, a->target);
}

void EvaluateScene(Scene* scene, uint32_t t)
{
    if (!scene)
        return;
    for (Entity* entity = scene->entities; entity; entity = entity->next) {
        EvaluateEntity(entity, t);
        if (MorphEntity* morph = MorphOf(entity))
            EvaluateMorph(morph, t);
        else if (LightEntity* light = LightOf(entity); light && light->keys2.head)
            EvaluateLight(light, t);
    }
    EvaluateEntity(scene->camera, t);
}

}  // namespace kvor3d
