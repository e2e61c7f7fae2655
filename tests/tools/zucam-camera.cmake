# zucam-camera: its parts in-process, then the real program against a queue
# the test writes (a queue of the test process's own).
set(_camera_tests ${CMAKE_CURRENT_LIST_DIR}/zucam-camera)

zucam_add_gtest(zucam_camera_parts_test LABEL unit TIMEOUT 60
    SOURCES ${_camera_tests}/camera-options-test.cpp
            ${_camera_tests}/y4m-writer-test.cpp
            ${_camera_tests}/queue-reader-test.cpp
            ${_camera_tests}/picture-fitter-test.cpp
    LIBS zucam_camera_tool)

zucam_add_gtest(zucam_camera_test LABEL e2e TIMEOUT 120
    SOURCES ${_camera_tests}/zucam-camera-test.cpp
    LIBS devices platform)
add_dependencies(zucam_camera_test zucam-camera)

# The camera outputs: v4l2 device checks, and a real PipeWire daemon (the test
# run's, or one the test starts with scripts/services.sh) read by pipewiresrc.
zucam_add_gtest(zucam_camera_output_test LABEL e2e TIMEOUT 120
    SOURCES ${_camera_tests}/camera-output-test.cpp
    LIBS devices platform JsonCpp::JsonCpp)
add_dependencies(zucam_camera_output_test zucam-camera zucam-test-camera-writer)
