# The card tool windows. They build into the settings window's library: the
# settings window opens the format window, and both use its alert helpers.
target_sources(tamek_settings_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/TMKFormatWindowController.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TMKFormatWindowController.h
    ${CMAKE_CURRENT_LIST_DIR}/TMKTimeSetupController.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TMKTimeSetupController.h
)
target_include_directories(tamek_settings_ui PUBLIC ${PROJECT_SOURCE_DIR}/src)
