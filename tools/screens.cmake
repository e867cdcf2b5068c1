# orvel-screens: draws the settings dialog and the about box into PNG files under the running
# platform; tools/screenshots.sh runs it under Xvfb next to a capture of the console itself.
add_executable(orvel-screens ${CMAKE_CURRENT_LIST_DIR}/screens.cpp)
target_link_libraries(orvel-screens PRIVATE orvel_console)
