// Parts 5 to 8: the pulsing light, the cube, and the two scenes with white
// flashes.
#include "parts.h"

using namespace kvor3d;

namespace {

// Part 5: 7.0, 11.0, 14.0, 17.0, 20.0 and 23.1 s.
constexpr double LIGHT_JUMPS[] = {4965653, 7803169, 9931306, 12059443, 14187580, 16386654.9};
static_assert(sizeof LIGHT_JUMPS / sizeof LIGHT_JUMPS[0] * sizeof(uint32_t) == sizeof(PartState::lightJumps));
constexpr float LIGHT_JUMP_LEVEL = 0.31f;
constexpr double LIGHT_REST_LEVEL = 0.1;
constexpr double LIGHT_STEP = 0.02;

// Part 7: the camera zooms in by 2 degrees a frame while wider than 55.
constexpr float ZOOM_END = 55.0f;
constexpr float ZOOM_STEP = 2.0f;

// A white flash: called while its flag is clear and the time is later
// than `after`, from `start`.
struct Flash {
    double after;
    uint32_t start;
};

constexpr Flash FLASHES_1[] = {
    {0, 0},                   // from the first tick on
    {3156736.55, 3156736},    // 4.45 s
    {7157634.11, 7157634},    // 10.09 s
    {11328782.63, 11328782},  // 15.97 s
};
constexpr double FLASH_1_STRENGTH = 0.5;
static_assert(sizeof FLASHES_1 / sizeof FLASHES_1[0] * sizeof(uint32_t) == sizeof(PartState::flashes1));

constexpr Flash FLASHES_3[] = {
    {4823777.2, 4823777},     // 6.8 s
    {8760830.65, 8760830},    // 12.35 s
    {12733353.05, 12733353},  // 17.95 s
};
constexpr double FLASH_3_STRENGTH = 0.4;
static_assert(sizeof FLASHES_3 / sizeof FLASHES_3[0] * sizeof(uint32_t) == sizeof(PartState::flashes3));
constexpr double FLASH_SECONDS = 1.0;

template <size_t N>
void RunFlashes(const Flash (&flashes)[N], uint32_t* done, double strength)
{
    const uint32_t time = Show.sceneTime;
    for (size_t i = 0; i < N; ++i)
        if (!done[i] && time > flashes[i].after)
            done[i] = uint32_t(fade_from_white(Show.frame, flashes[i].start, time, FLASH_SECONDS, strength));
}

}  // namespace

// The level jumps to 0.31 at fixed times and sinks by 0.02 a frame while
// above 0.1; the comparison is in double precision, so the starting
// single-precision 0.1 sinks once too. It is written after the frame is
// shown, so the change shows in the next frame. A scene without a light
// effect element is left alone.
void pani_frame(Scene* scene)
{
    const uint32_t time = Show.sceneTime;
    Prepare(scene);
    Render(scene);
    Present();
    for (size_t i = 0; i < sizeof LIGHT_JUMPS / sizeof LIGHT_JUMPS[0]; ++i) {
        if (time > LIGHT_JUMPS[i] && !Parts.lightJumps[i]) {
            Parts.lightLevel = LIGHT_JUMP_LEVEL;
            Parts.lightJumps[i] = 1;
        }
    }
    if (double(Parts.lightLevel) > LIGHT_REST_LEVEL)
        Parts.lightLevel = float(double(Parts.lightLevel) - LIGHT_STEP);
    if (scene->lightEffects && scene->lightEffects->elements)
        scene->lightEffects->elements->e1 = uint32_t(int32_t(65536.0 * double(Parts.lightLevel)));
}

void cube_frame(Scene* scene)
{
    Prepare(scene);
    Background(scene);
    Render(scene);
    Present();
}

void lesby1_frame(Scene* scene)
{
    Prepare(scene);
    Render(scene);
    if (CameraEntity* camera = CameraOf(scene->camera))
        if (camera->fieldOfView > ZOOM_END)
            camera->fieldOfView -= ZOOM_STEP;
    RunFlashes(FLASHES_1, Parts.flashes1, FLASH_1_STRENGTH);
    Present();
}

// Opens from white every frame of its first second.
void lesby3_frame(Scene* scene)
{
    Prepare(scene);
    Render(scene);
    RunFlashes(FLASHES_3, Parts.flashes3, FLASH_3_STRENGTH);
    fade_from_white(Show.frame, 0, Show.sceneTime, FLASH_SECONDS, 1.0);
    Present();
}
