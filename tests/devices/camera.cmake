# The virtual camera: frame queue and feeding step. Every test process takes a
# queue name of its own (tests/support), so the cases may run side by side.

# Holds the queue as its writer until killed (single-writer and takeover cases).
add_executable(zucam-test-camera-writer ${CMAKE_CURRENT_LIST_DIR}/camera-queue-writer.cpp)
target_link_libraries(zucam-test-camera-writer PRIVATE devices platform)
zucam_warnings(zucam-test-camera-writer)

zucam_add_gtest(virtual_camera_queue_test LABEL unit TIMEOUT 60
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/virtual-camera-queue-test.cpp
    LIBS devices platform)
add_dependencies(virtual_camera_queue_test zucam-test-camera-writer)

zucam_add_gtest(camera_feeder_test LABEL unit TIMEOUT 60
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/camera-feeder-test.cpp
    LIBS devices ffmpeg)
