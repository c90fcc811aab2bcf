# The Windows build (cmake/mingw-w64.cmake): GoogleTest from Debian's sources, and every test and
# benchmark run through Wine in a prefix of this build folder (scripts/wine-run.sh makes it once).

# Windows 10 API level (CancelIoEx and friends); lean headers without min/max macros.
add_compile_definitions(_WIN32_WINNT=0x0A00 WINVER=0x0A00 WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE)

set(KARVEX_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine)
set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/scripts/wine-run.sh ${KARVEX_WINE_PREFIX})

# karvex-board-host (built by the default preset) gives each run of a board test a simulated
# board of its own behind a free COM number of the prefix (10..99).
set(KARVEX_NATIVE_BUILD ${PROJECT_SOURCE_DIR}/build/default CACHE PATH
    "Native (Linux) build folder that holds karvex-board-host")
set(KARVEX_BOARD_HOST ${KARVEX_NATIVE_BUILD}/tests/wine/host/karvex-board-host)
if(NOT EXISTS ${KARVEX_BOARD_HOST})
    message(WARNING "${KARVEX_BOARD_HOST} not found: build the default preset first, "
                    "or the board tests fail")
endif()

# The prefix is made at build time, once, so that the first test run does not pay for it.
add_custom_command(OUTPUT ${KARVEX_WINE_PREFIX}/.karvex-ready
    COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-prefix.sh ${KARVEX_WINE_PREFIX}
    DEPENDS ${PROJECT_SOURCE_DIR}/scripts/wine-prefix.sh
    COMMENT "Making the Wine prefix (once per build folder)")
add_custom_target(wine_prefix ALL DEPENDS ${KARVEX_WINE_PREFIX}/.karvex-ready)

# GoogleTest for Windows, from the sources Debian ships in /usr/src/googletest.
set(KARVEX_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${KARVEX_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
foreach(target gtest gtest_main)
    target_compile_options(${target} PRIVATE -Wno-error)
endforeach()

# CLI11 and nlohmann-json are header-only Debian packages in /usr/include. That folder must not
# reach the MinGW compiler (glibc's headers would shadow its own), so the Windows build gets a
# folder of its own that holds links to just those two.
set(KARVEX_HEADER_ONLY ${CMAKE_BINARY_DIR}/header-only)
file(MAKE_DIRECTORY ${KARVEX_HEADER_ONLY})
foreach(dir CLI nlohmann)
    if(NOT EXISTS /usr/include/${dir})
        message(FATAL_ERROR "/usr/include/${dir} not found: install libcli11-dev and nlohmann-json3-dev")
    endif()
    file(CREATE_LINK /usr/include/${dir} ${KARVEX_HEADER_ONLY}/${dir} SYMBOLIC)
endforeach()
add_library(CLI11::CLI11 INTERFACE IMPORTED)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
foreach(target CLI11::CLI11 nlohmann_json::nlohmann_json)
    set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${KARVEX_HEADER_ONLY})
endforeach()
