# The shared window pieces: stylesheets, frameless windows, the message box,
# the tip and the guide bubble, and the compiled-in resources.
find_package(Qt5 5.15 REQUIRED COMPONENTS Test)

zucam_add_gtest(ui_frame_test LABEL unit TIMEOUT 60
    SOURCES qss-manager-test.cpp frameless-helper-test.cpp message-box-dialog-test.cpp
            frame-pictures-test.cpp ui-resources-test.cpp
    LIBS ui ui_test_support ui_dialog_pictures Qt5::Test)
