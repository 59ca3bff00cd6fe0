// kvor3d: the whole engine interface, one header per subsystem.
#pragma once

#include "core/version.h"
#include "core/core.h"
#include "core/settings.h"
#include "core/tables.h"
#include "display/display.h"
#include "colour/colour.h"
#include "image/image.h"
#include "scene/material.h"
#include "scene/scene.h"
#include "scene/keys.h"
#include "scene/lightfile.h"
#include "scene/sceneio.h"
#include "anim/anim.h"
#include "render/render.h"
#include "render/raster.h"
#include "render/pass.h"
#include "effects/effects.h"

namespace kvor3d {

}  // namespace kvor3d
