# The virtual microphone: level meter, staging buffer, FIFO link, installers
# (against a stand-in pactl) and the manager's block path, then the whole road
# against a real PulseAudio server. The server's source name "ZuAudioDevice"
# is one per server, so every case that loads it holds the same lock.
zucam_add_gtest(audio_level_test LABEL unit TIMEOUT 30
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/audio-level-test.cpp
    LIBS devices)

zucam_add_gtest(audio_staging_buffer_test LABEL unit TIMEOUT 30
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/audio-staging-buffer-test.cpp
    LIBS devices)

zucam_add_gtest(audio_device_link_test LABEL unit TIMEOUT 30
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/audio-device-link-test.cpp
    LIBS devices platform)

zucam_add_gtest(audio_driver_installer_test LABEL unit TIMEOUT 60
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/audio-driver-installer-test.cpp
    LIBS devices platform Qt5::Core)

zucam_add_gtest(virtaul_audio_device_manager_test LABEL unit TIMEOUT 60
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/virtaul-audio-device-manager-test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/audio-test-support.cpp
    LIBS devices platform zucam_core)

zucam_add_gtest(audio_pulse_test LABEL e2e NETNS TIMEOUT 120
    RESOURCE_LOCK zucam_pulse_audio_source
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/audio-pulse-test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/audio-test-support.cpp
            ${CMAKE_CURRENT_LIST_DIR}/pulse-test-server.cpp
    LIBS devices platform zucam_core Qt5::Core)
# RtAudio leaks a little of libpulse's memory; the sanitizer build reads the
# suppressions through the program's __lsan_default_options (ctest cannot
# carry a second environment entry through gtest_discover_tests).
target_compile_definitions(audio_pulse_test PRIVATE
    ZUCAM_LSAN_PULSE_SUPPRESSIONS="${CMAKE_CURRENT_LIST_DIR}/lsan-pulse.supp")
