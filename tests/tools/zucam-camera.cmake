# zucam-camera: its parts in-process, then the real program against a queue
# the test writes (a queue of the test process's own).
set(_camera_tests ${CMAKE_CURRENT_LIST_DIR}/zucam-camera)

zucam_add_gtest(zucam_camera_parts_test LABEL unit TIMEOUT 60
    SOURCES ${_camera_tests}/camera-options-test.cpp
            ${_camera_tests}/y4m-writer-test.cpp
            ${_camera_tests}/queue-reader-test.cpp
    LIBS zucam_camera_tool)

zucam_add_gtest(zucam_camera_test LABEL e2e TIMEOUT 120
    SOURCES ${_camera_tests}/zucam-camera-test.cpp
    LIBS devices platform)
add_dependencies(zucam_camera_test zucam-camera)
