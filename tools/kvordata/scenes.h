// The eleven scenes of the show, one function each, and what they share:
// their lengths (each at least what its part of the show needs) and the
// material settings they use.
#pragma once

#include "scenekit.h"

#include <cstdint>
#include <string>

namespace kvordata {

// Scene lengths in seconds. Part 1 wipes its picture in until 7 s; part 3
// cross-fades to the tunnel from 52.5 s for 1.5 s; part 4 fades to black
// from 37.7 s for 1.8 s; part 5 pulses its flare until 23.1 s; part 7
// flashes until 16.97 s, part 8 until 18.95 s; part 10 turns red from
// 18.4 s for 1 s; part 11 glitches at 6.8 s. Parts 9 and 10 are in
// kvordata.h, with the text strips that run on them.
constexpr double LOGO_SECONDS = 9.5;
constexpr double ALIEN_COR_SECONDS = 22.0;
constexpr double ALIEN_BORN_SECONDS = 56.0;
constexpr double LIGHTS_SECONDS = 41.0;
constexpr double PANI_SECONDS = 28.0;
constexpr double CUBE_SECONDS = 26.0;
constexpr double LESBY1_SECONDS = 20.0;
constexpr double LESBY3_SECONDS = 22.0;
constexpr double HAND3_SECONDS = 14.0;

// The object whose colour weight part 3 lowers frame by frame.
constexpr const char* ALIEN_BALL_NAME = "alien_ball.lwob";

// Texture filters (material word m1) and the environment filter (m2).
constexpr uint32_t FILTER_NEAREST = 0;
constexpr uint32_t FILTER_BILINEAR = 1;
constexpr uint32_t FILTER_MIPMAP = 2;
constexpr uint32_t FILTER_MIPMAP_BILINEAR = 3;
constexpr uint32_t ENV_FILTER_BILINEAR = 1;

// Gives the object its texture map and filter.
void Textured(Scene* scene, ObjectEntity* object, const std::string& file, uint32_t filter);

void LogoScene(const std::string& dir, uint64_t seed);
void AlienCorridorScene(const std::string& dir, uint64_t seed);
void AlienBornScene(const std::string& dir, uint64_t seed);
void LightsScene(const std::string& dir, uint64_t seed);
void PaniScene(const std::string& dir, uint64_t seed);
void CubeScene(const std::string& dir, uint64_t seed);
void Lesby1Scene(const std::string& dir, uint64_t seed);
void Lesby3Scene(const std::string& dir, uint64_t seed);
void SuecideScene(const std::string& dir, uint64_t seed);
void Suecide2Scene(const std::string& dir, uint64_t seed);
void Hand3Scene(const std::string& dir, uint64_t seed);

}  // namespace kvordata
