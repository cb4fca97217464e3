add_executable(vz_infected_process ${CMAKE_CURRENT_LIST_DIR}/infected_process.cpp)

vz_add_test(memory_scan_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/memory_scan_test.cpp
    LIBS vz_scan_memory vz_processes vz_dynlib vz_platform)
add_dependencies(memory_scan_test vz_infected_process)
target_compile_definitions(memory_scan_test PRIVATE VZ_INFECTED_PROCESS="$<TARGET_FILE:vz_infected_process>")
