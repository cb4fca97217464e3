# The memory scan: the program images of running processes.
add_library(vz_scan_memory STATIC
    ${CMAKE_CURRENT_LIST_DIR}/memory_scan.cpp
)
target_link_libraries(vz_scan_memory PUBLIC vz_scan_job vz_records vz_lang vz_core)
