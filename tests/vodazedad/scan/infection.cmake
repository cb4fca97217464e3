vz_add_test(infection_test
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/infection_handler_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/quarantine_store_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/quarantine_crash_test.cpp
    LIBS vz_scan_infection)
