vz_add_test(engine_session_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/engine_session_test.cpp
    LIBS vz_scan_engine_session vz_dynlib vz_registry vz_platform)
add_dependencies(engine_session_test vz_scan_engine_files)
