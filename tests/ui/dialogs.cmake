# The settings dialog and the information dialogs, shown on the X server.
add_library(ui_dialog_pictures STATIC dialog-pictures.cpp)
target_include_directories(ui_dialog_pictures PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(ui_dialog_pictures PUBLIC Qt5::Widgets)
zucam_warnings(ui_dialog_pictures)

zucam_add_gtest(setting_dialog_test LABEL unit TIMEOUT 60
    SOURCES setting-dialog-test.cpp ${CMAKE_SOURCE_DIR}/tests/app/fake-main-window.h
    LIBS ui ui_test_support ui_dialog_pictures zucam_app)
set_target_properties(setting_dialog_test PROPERTIES AUTOMOC ON)

zucam_add_gtest(info_dialogs_test LABEL unit TIMEOUT 60
    SOURCES info-dialogs-test.cpp
    LIBS ui ui_test_support ui_dialog_pictures)

zucam_add_gtest(web_phone_dialog_test LABEL unit TIMEOUT 60
    SOURCES web-phone-dialog-test.cpp
    LIBS ui ui_test_support ui_dialog_pictures web)
