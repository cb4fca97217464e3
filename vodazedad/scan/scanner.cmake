# The command-line scanner.
add_library(vz_scanner_options STATIC
    ${CMAKE_CURRENT_LIST_DIR}/scanner_options.cpp
    ${CMAKE_CURRENT_LIST_DIR}/scan_listing.cpp
    ${CMAKE_CURRENT_LIST_DIR}/exclusion_patterns.cpp)
target_link_libraries(vz_scanner_options PUBLIC vz_scan_job)

vz_add_program(vodazedad-scan ${CMAKE_CURRENT_LIST_DIR}/scanner_main.cpp)
target_compile_definitions(vodazedad-scan PRIVATE VZ_PROGRAM_VERSION="${PROJECT_VERSION}")
target_link_libraries(vodazedad-scan PRIVATE
    vz_scanner_options vz_scan_memory vz_scan_job vz_language vz_console_ui vz_drives vz_dynlib vz_processes vz_window vz_platform)

# The sample folder the README's first command scans.
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/sample/.complete
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/make-sample-folder.sh ${CMAKE_BINARY_DIR}/sample
    DEPENDS ${CMAKE_SOURCE_DIR}/scripts/make-sample-folder.sh)
add_custom_target(sample_folder ALL DEPENDS ${CMAKE_BINARY_DIR}/sample/.complete)
