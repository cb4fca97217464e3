# Infection handling and the quarantine store: what happens to an infected file.
add_library(vz_scan_infection STATIC
    ${CMAKE_CURRENT_LIST_DIR}/infection_handler.cpp
    ${CMAKE_CURRENT_LIST_DIR}/quarantine_store.cpp
)
target_link_libraries(vz_scan_infection PUBLIC vz_records vz_lang vz_platform vz_core)
