# USBServer against a fake adb (a shell script); its stream servers listen on
# every address, so the program runs in a private network namespace and its
# phone talks to 127.0.0.1 only.
zucam_add_gtest(server_usb_server_test LABEL unit NETNS TIMEOUT 120 RESOURCE_LOCK adb_processes
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/usb-server-test.cpp
    LIBS server phone_sim_lib cordlink_test_support Qt5::Core)
