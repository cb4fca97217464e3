vz_add_test(scan_job_test
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/scan_job_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/scan_parts_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/scan_safety_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/parallel_scan_test.cpp
    LIBS vz_scan_job vz_dynlib vz_window vz_platform)
