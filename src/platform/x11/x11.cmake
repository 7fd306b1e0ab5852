# The X11 back end: Xlib with Composite, SHAPE, XFixes, RENDER and MIT-SHM. Included from
# src/CMakeLists.txt when HALVIK_BACKEND is x11.
find_package(X11 REQUIRED)
foreach(part Xext Xshape XShm Xcomposite Xfixes Xrender)
  if(NOT X11_${part}_FOUND)
    message(FATAL_ERROR "The X11 back end needs ${part} (Debian: libx11-dev libxext-dev libxcomposite-dev libxfixes-dev libxrender-dev)")
  endif()
endforeach()

add_library(halvik_x11 STATIC
  ${CMAKE_CURRENT_LIST_DIR}/ColorKeyShape.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ScreenCopy.cpp
  ${CMAKE_CURRENT_LIST_DIR}/X11Backend.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XErrors.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XImageBuffer.cpp
)
target_link_libraries(halvik_x11 PUBLIC halvik_platform X11::X11 X11::Xext X11::Xcomposite X11::Xfixes X11::Xrender)

target_sources(halvik PRIVATE ${CMAKE_CURRENT_LIST_DIR}/BuildBackend.cpp)
target_link_libraries(halvik PRIVATE halvik_app halvik_x11)

# A generated scene as the root background, for running without a desktop and for the tests.
add_library(halvik_x11_scene STATIC ${CMAKE_CURRENT_LIST_DIR}/tools/Scene.cpp)
target_link_libraries(halvik_x11_scene PUBLIC halvik_platform X11::X11)
add_executable(halvik_scene ${CMAKE_CURRENT_LIST_DIR}/tools/halvik_scene.cpp)
target_link_libraries(halvik_scene PRIVATE halvik_x11_scene)
