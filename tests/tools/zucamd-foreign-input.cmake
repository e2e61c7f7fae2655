# zucamd and what strangers send it: phone names made of markup and terminal
# control, pictures it cannot show, and connections that race the phone for
# its stream port.
zucam_add_gtest(zucamd_foreign_input_e2e_test LABEL e2e NETNS TIMEOUT 240
    RESOURCE_LOCK zucam_streaming_e2e
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/zucamd/zucamd-foreign-input-test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/zucamd/e2e-support.cpp
    LIBS phone_sim_lib platform h264_test_stream)
add_dependencies(zucamd_foreign_input_e2e_test zucamd zucam-camera zucam-phone-sim)
