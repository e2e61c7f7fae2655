# zucam-phone-sim against the real stream-protocol server: zusp-log-server
# (built for tests only) records what its callbacks receive in the phone's own
# packet-log format, so both ends can be compared line by line.
set(_log_server ${CMAKE_CURRENT_LIST_DIR}/phone-sim-server)

add_executable(zusp-log-server
    ${_log_server}/log-server-options.cpp
    ${_log_server}/zusp-log-server.cpp
    ${_log_server}/zusp-log-server-main.cpp)
target_link_libraries(zusp-log-server PRIVATE media_socket phone_sim_lib hublet platform)
zucam_warnings(zusp-log-server)

zucam_add_gtest(phone_sim_server_test LABEL e2e NETNS TIMEOUT 120
    SOURCES ${_log_server}/phone-sim-server-test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/zucamd/e2e-support.cpp
    LIBS phone_sim_lib platform)
add_dependencies(phone_sim_server_test zusp-log-server zucam-phone-sim)
