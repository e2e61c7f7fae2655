# zucamd in USB mode against a fake adb on PATH: the phone simulator streams
# through the "mapped" port and zucam-camera reads the machine-wide queue.
zucam_add_gtest(zucamd_usb_test LABEL e2e NETNS TIMEOUT 180 RESOURCE_LOCK zucam_streaming_e2e
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/zucamd/zucamd-usb-test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/zucamd/e2e-support.cpp
    LIBS cordlink_test_support platform)
add_dependencies(zucamd_usb_test zucamd zucam-camera zucam-phone-sim)
