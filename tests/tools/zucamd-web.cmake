# zucamd with a phone's browser (headless Chromium) instead of the app.
zucam_add_gtest(zucamd_web_e2e_test LABEL e2e NETNS TIMEOUT 300 RESOURCE_LOCK zucam_streaming_e2e
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/zucamd/zucamd-web-test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/zucamd/browser-phone.cpp
            ${CMAKE_CURRENT_LIST_DIR}/zucamd/e2e-support.cpp
    LIBS platform Qt5::Gui Qt5::Network)
add_dependencies(zucamd_web_e2e_test zucamd zucam-camera)

# The page's sound through zucamd --vmic to a real PulseAudio server.
zucam_add_gtest(zucamd_web_audio_e2e_test LABEL e2e NETNS TIMEOUT 240
    RESOURCE_LOCK zucam_streaming_e2e zucam_pulse_audio_source
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/zucamd/zucamd-web-audio-test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/zucamd/browser-phone.cpp
            ${CMAKE_CURRENT_LIST_DIR}/zucamd/e2e-support.cpp
            ${CMAKE_SOURCE_DIR}/tests/devices/audio-test-support.cpp
            ${CMAKE_SOURCE_DIR}/tests/devices/pulse-test-server.cpp
    LIBS devices zucam_core platform Qt5::Core)
add_dependencies(zucamd_web_audio_e2e_test zucamd)
