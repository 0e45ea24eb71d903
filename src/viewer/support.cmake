# The recording list model (in window/), shared by the viewer's windows.
add_library(tamek_viewer_support STATIC
    ${CMAKE_CURRENT_LIST_DIR}/window/TMKMediaListModel.cpp
    ${CMAKE_CURRENT_LIST_DIR}/window/TMKMediaListModel.h
)
set_target_properties(tamek_viewer_support PROPERTIES AUTOMOC ON)
target_include_directories(tamek_viewer_support PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(tamek_viewer_support PUBLIC tamek_media tamek_player tamek_strings tamek_widgets Qt6::Widgets Qt6::Concurrent)
