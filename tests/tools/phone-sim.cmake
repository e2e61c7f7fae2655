# zucam-phone-sim: the pieces one by one (unit), and the real program against a
# fake desktop written in the test (e2e, private network namespace).
zucam_add_gtest(phone_sim_test LABEL unit
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/phone-sim-annexb-splitter-test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/phone-sim-discovery-test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/phone-sim-options-test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/phone-sim-pacing-scheduler-test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/phone-sim-packet-builder-test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/phone-sim-packet-log-test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/phone-sim-pattern-encoder-test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/phone-sim-phone-command-test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/phone-sim-tone-generator-test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/phone-sim-wav-reader-test.cpp
    LIBS phone_sim_lib PkgConfig::FFMPEG)

zucam_add_gtest(phone_sim_loopback_test LABEL e2e NETNS TIMEOUT 120
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/phone-sim-fake-desktop.cpp
        ${CMAKE_CURRENT_LIST_DIR}/phone-sim-loopback-test.cpp
    LIBS phone_sim_lib zup2p)
add_dependencies(phone_sim_loopback_test zucam-phone-sim)
