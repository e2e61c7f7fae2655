# The camera other programs see, started by ZuCam and zucamd: the child
# process keeper with a stand-in, then the real zucamd and zucam-camera.
zucam_add_gtest(camera_output_process_test LABEL unit TIMEOUT 60
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/camera-output-process-test.cpp
    LIBS zucam_core)

zucam_add_gtest(zucamd_camera_output_test LABEL e2e NETNS TIMEOUT 120
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/zucamd-camera-output-test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/zucamd/e2e-support.cpp
    LIBS devices platform Qt5::Gui JsonCpp::JsonCpp)
add_dependencies(zucamd_camera_output_test zucamd zucam-camera)

# cmake --install of this very build into temporary prefixes.
zucam_add_gtest(install_test LABEL e2e TIMEOUT 240 RESOURCE_LOCK cmake_install
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/install-test.cpp
    LIBS platform)
target_compile_definitions(install_test PRIVATE ZUCAM_BINARY_DIR="${CMAKE_BINARY_DIR}")
add_dependencies(install_test zucam zucamd zucam-camera zucam-phone-sim zup2p cordlink)

# ZuCam itself, with a stand-in main window.
zucam_add_gtest(zucam_camera_output_app_test LABEL unit TIMEOUT 60
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/zucam-camera-output-app-test.cpp
            ${CMAKE_SOURCE_DIR}/tests/app/fake-main-window.h
    LIBS zucam_app)
set_target_properties(zucam_camera_output_app_test PROPERTIES AUTOMOC ON)
target_compile_definitions(zucam_camera_output_app_test PRIVATE
    ZUCAM_LSAN_QT_SUPPRESSIONS="${CMAKE_SOURCE_DIR}/tests/app/lsan-qt-offscreen.supp")
add_dependencies(zucam_camera_output_app_test zucam-camera)
