# zucamd against hostile hosts and faults: command connections that are only
# held open, absurd audio, intruders on the datagram stream, a full disk and
# a kill -9 during a recording. Several cases wait out the 10 s after which a
# session counts as stale.
zucam_add_gtest(zucamd_hostile_e2e_test LABEL e2e NETNS TIMEOUT 240
    RESOURCE_LOCK zucam_streaming_e2e
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/zucamd/zucamd-hostile-test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/zucamd/e2e-support.cpp
            ${CMAKE_CURRENT_LIST_DIR}/zucamd/media-probe.cpp
            ${CMAKE_SOURCE_DIR}/tests/zup2p/raw-enet-peer.cpp
    LIBS phone_sim_lib platform PkgConfig::ENET)
add_dependencies(zucamd_hostile_e2e_test zucamd zucam-camera zucam-phone-sim)
