vz_add_test(scanner_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/scanner_test.cpp ${CMAKE_CURRENT_LIST_DIR}/scan_listing_test.cpp
    LIBS vz_scanner_options vz_records vz_platform)
add_dependencies(scanner_test vodazedad-scan sample_folder)
