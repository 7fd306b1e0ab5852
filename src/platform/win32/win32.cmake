# The Win32 back end and the Windows program: included from src/CMakeLists.txt when
# HALVIK_BACKEND is win32 (the default for a Windows target, native or cross-built).
enable_language(RC)

set(HALVIK_WIN32_DIR ${CMAKE_CURRENT_LIST_DIR})

add_library(halvik_win32 STATIC
  ${HALVIK_WIN32_DIR}/DibPixelStore.cpp
  ${HALVIK_WIN32_DIR}/ExcludeFromCapture.cpp
  ${HALVIK_WIN32_DIR}/Win32Api.cpp
  ${HALVIK_WIN32_DIR}/Win32Backend.cpp
)
target_link_libraries(halvik_win32 PUBLIC halvik_platform user32 gdi32 kernel32)
# The Unicode entry points throughout; <windows.h> stays lean and without min/max.
target_compile_definitions(halvik_win32 PUBLIC UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN)

# The version the resource states.
set(HALVIK_VERSION 1.0.0.0 CACHE STRING "Version recorded in halvik.exe")
string(REPLACE "." "," HALVIK_VERSION_COMMAS ${HALVIK_VERSION})
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/halvik_version.h CONTENT
  "#define HALVIK_VERSION_COMMAS ${HALVIK_VERSION_COMMAS}\n#define HALVIK_VERSION_TEXT \"${HALVIK_VERSION}\"\n")

target_sources(halvik PRIVATE ${HALVIK_WIN32_DIR}/BuildBackend.cpp ${HALVIK_WIN32_DIR}/halvik.rc)
set_source_files_properties(${HALVIK_WIN32_DIR}/halvik.rc PROPERTIES
  OBJECT_DEPENDS "${HALVIK_WIN32_DIR}/halvik.manifest;${CMAKE_CURRENT_BINARY_DIR}/halvik_version.h")
# The resource script finds its manifest and the generated version beside it.
target_include_directories(halvik PRIVATE ${CMAKE_CURRENT_BINARY_DIR} ${HALVIK_WIN32_DIR})
target_link_libraries(halvik PRIVATE halvik_app halvik_win32)
# A GUI program (no console), with the C++ runtime and winpthread inside it: the exe needs
# nothing on Windows but the system's own DLLs.
target_link_options(halvik PRIVATE -static -mwindows)
