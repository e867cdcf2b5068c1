# gen_artwork draws the panel pictures, the logo and the icon from the panel geometry (res/
# runs it at build time); render_panel shows panel states as PNG files for a look by eye.
add_executable(gen_artwork
  ${CMAKE_CURRENT_LIST_DIR}/gen_artwork.cpp
  ${CMAKE_CURRENT_LIST_DIR}/artwork.cpp
  ${CMAKE_CURRENT_LIST_DIR}/artwork.h
  ${CMAKE_CURRENT_LIST_DIR}/artwork_font.cpp
  ${CMAKE_CURRENT_LIST_DIR}/artwork_font.h)
# Only the geometry header of display/: the generator must not need the renderers it feeds.
target_include_directories(gen_artwork PRIVATE ${PROJECT_SOURCE_DIR}/display)
target_link_libraries(gen_artwork PRIVATE Qt6::Gui)

add_executable(render_panel ${CMAKE_CURRENT_LIST_DIR}/render_panel.cpp)
target_link_libraries(render_panel PRIVATE orvel_display)
