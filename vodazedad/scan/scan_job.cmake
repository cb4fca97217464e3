# The on-demand scan job: targets, walk, engine test, progress, records.
add_library(vz_scan_job STATIC
    ${CMAKE_CURRENT_LIST_DIR}/scan_job.cpp
    ${CMAKE_CURRENT_LIST_DIR}/scan_job_state.cpp
    ${CMAKE_CURRENT_LIST_DIR}/scan_targets.cpp
    ${CMAKE_CURRENT_LIST_DIR}/folder_walker.cpp
    ${CMAKE_CURRENT_LIST_DIR}/test_pipeline.cpp
    ${CMAKE_CURRENT_LIST_DIR}/protected_files.cpp
    ${CMAKE_CURRENT_LIST_DIR}/progress_panels.cpp
)
target_link_libraries(vz_scan_job PUBLIC vz_scan_infection vz_scan_engine_session vz_records vz_settings vz_lang vz_platform vz_core)
