vz_add_test(scan_job_test
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/scan_job_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/scan_parts_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/scan_safety_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/parallel_scan_test.cpp
    LIBS vz_scan_job vz_dynlib vz_window vz_platform)

vz_add_test(test_pipeline_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_pipeline_test.cpp
    LIBS vz_scan_job)

# The pipeline's tests again over a ThreadSanitizer build of the pipeline, so every
# run checks its threads for races.
add_executable(test_pipeline_tsan_test
    ${CMAKE_CURRENT_LIST_DIR}/test_pipeline_test.cpp
    ${CMAKE_SOURCE_DIR}/vodazedad/scan/test_pipeline.cpp
    ${CMAKE_SOURCE_DIR}/platform/linux/folder_linux.cpp
    ${CMAKE_SOURCE_DIR}/platform/linux/files_linux.cpp
    ${CMAKE_SOURCE_DIR}/platform/linux/descriptor_io.cpp
    ${CMAKE_SOURCE_DIR}/common/result.cpp
    ${CMAKE_SOURCE_DIR}/common/paths.cpp)
target_include_directories(test_pipeline_tsan_test PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(test_pipeline_tsan_test PRIVATE -fsanitize=thread -g -O1)
target_link_options(test_pipeline_tsan_test PRIVATE -fsanitize=thread)
target_link_libraries(test_pipeline_tsan_test PRIVATE GTest::gtest GTest::gtest_main Threads::Threads)
add_test(NAME test_pipeline_tsan_test COMMAND test_pipeline_tsan_test)
set_tests_properties(test_pipeline_tsan_test PROPERTIES
    LABELS "tsan"
    TIMEOUT 300
    ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1:exitcode=66:second_deadlock_stack=1")
