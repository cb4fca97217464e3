# The engine session: engine start and stop, job options, error and warning texts.
add_library(vz_scan_engine_session STATIC
    ${CMAKE_CURRENT_LIST_DIR}/engine_session.cpp
)
target_link_libraries(vz_scan_engine_session PUBLIC vz_engine vz_settings vz_lang vz_core)
