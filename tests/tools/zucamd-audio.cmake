# zucamd's sound end to end: recordings made on the phone's commands, checked
# with ffprobe and ffmpeg, and the virtual microphone against a real
# PulseAudio server. Both start zucamd, which owns the machine-wide camera
# queue; the microphone tests also load the server's one "ZuAudioDevice".
set(_zucamd_e2e_support
    ${CMAKE_CURRENT_LIST_DIR}/zucamd/e2e-support.cpp
    ${CMAKE_CURRENT_LIST_DIR}/zucamd/media-probe.cpp
    ${CMAKE_SOURCE_DIR}/tests/devices/audio-test-support.cpp)

zucam_add_gtest(zucamd_record_e2e_test LABEL e2e NETNS TIMEOUT 180
    RESOURCE_LOCK zucam_streaming_e2e
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/zucamd/zucamd-record-test.cpp
            ${_zucamd_e2e_support}
    LIBS zucam_core platform PkgConfig::FFMPEG)
add_dependencies(zucamd_record_e2e_test zucamd zucam-phone-sim)

zucam_add_gtest(zucamd_vmic_e2e_test LABEL e2e NETNS TIMEOUT 240
    RESOURCE_LOCK zucam_streaming_e2e zucam_pulse_audio_source
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/zucamd/zucamd-vmic-test.cpp
            ${_zucamd_e2e_support}
            ${CMAKE_SOURCE_DIR}/tests/devices/pulse-test-server.cpp
    LIBS devices zucam_core platform Qt5::Core)
add_dependencies(zucamd_vmic_e2e_test zucamd zucam-camera zucam-phone-sim)

# What a recording keeps when something ends it early: the first pictures in
# the file within seconds, a kill -9, a full disk; with and without sound.
zucam_add_gtest(zucamd_record_loss_e2e_test LABEL e2e NETNS TIMEOUT 240
    RESOURCE_LOCK zucam_streaming_e2e
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/zucamd/zucamd-record-loss-test.cpp
            ${_zucamd_e2e_support}
    LIBS zucam_core platform PkgConfig::FFMPEG)
add_dependencies(zucamd_record_loss_e2e_test zucamd zucam-phone-sim)
