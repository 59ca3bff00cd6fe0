# find_package(kvor3d): the imported target kvor3d::kvor3d, the static
# engine library with its headers (#include <kvor3d/kvor3d.h>) and the X11,
# Xext, Xrandr and libm libraries it links.
include(CMakeFindDependencyMacro)
find_dependency(X11)
if(NOT X11_Xext_FOUND OR NOT X11_Xrandr_FOUND)
  set(kvor3d_FOUND FALSE)
  set(kvor3d_NOT_FOUND_MESSAGE "kvor3d needs libXext and libXrandr")
  return()
endif()
include(${CMAKE_CURRENT_LIST_DIR}/kvor3dTargets.cmake)
