# Helpers shared by every folder of the build.

# The installation folder that the build assembles, so everything runs from the build tree.
set(VZ_APPDIR ${CMAKE_BINARY_DIR}/appdir)
foreach(sub Reports Quarantine Backup Update Skins Translation)
    file(MAKE_DIRECTORY ${VZ_APPDIR}/${sub})
endforeach()

# A program of the installation folder: built into appdir, finds its libraries beside it.
function(vz_add_program target)
    add_executable(${target} ${ARGN})
    set_target_properties(${target} PROPERTIES
        RUNTIME_OUTPUT_DIRECTORY ${VZ_APPDIR}
        BUILD_WITH_INSTALL_RPATH TRUE
        INSTALL_RPATH "$ORIGIN")
endfunction()

# A shared library of the installation folder, under the exact file name given.
function(vz_add_appdir_library target file_name)
    add_library(${target} SHARED ${ARGN})
    set_target_properties(${target} PROPERTIES
        LIBRARY_OUTPUT_DIRECTORY ${VZ_APPDIR}
        OUTPUT_NAME ${file_name}
        PREFIX ""
        SUFFIX ""
        BUILD_WITH_INSTALL_RPATH TRUE
        INSTALL_RPATH "$ORIGIN")
endfunction()

# One GoogleTest binary; every test case becomes a CTest test.
# Tests never see the machine's real registry or runtime folder: the test main
# (tests/support/test_main.cpp) points both into a temporary folder of the process.
function(vz_add_test target)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${target} ${T_SOURCES})
    target_link_libraries(${target} PRIVATE ${T_LIBS} vz_test_support GTest::gtest GTest::gmock)
    if(NOT T_LABELS)
        set(T_LABELS unit)
    endif()
    # Every test has a time limit: a hang fails instead of stalling the run.
    gtest_discover_tests(${target}
        DISCOVERY_MODE PRE_TEST
        PROPERTIES LABELS "${T_LABELS}" TIMEOUT 300)
endfunction()

include(GoogleTest)

# Adds every listed sub-folder that has a CMakeLists.txt, so that a subsystem plugs in
# by creating its folder.
# VZ_SKIP (a list of folder paths relative to the source root, e.g. "driver;tests/driver")
# leaves folders out of a developer's build while someone else is working in them.
set(VZ_SKIP "" CACHE STRING "Folders (relative to the source root) to leave out of the build")
macro(vz_add_subdirectories)
    foreach(vz_sub ${ARGN})
        file(RELATIVE_PATH vz_rel ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/${vz_sub})
        if(vz_rel IN_LIST VZ_SKIP)
            message(STATUS "Leaving out ${vz_rel}")
        elseif(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${vz_sub}/CMakeLists.txt)
            add_subdirectory(${vz_sub})
        endif()
    endforeach()
endmacro()
