// kvor3d: the whole engine interface, one header per subsystem.
#pragma once

#include "core/core.h"
#include "core/settings.h"
#include "core/tables.h"
#include "display/display.h"
#include "colour/colour.h"
