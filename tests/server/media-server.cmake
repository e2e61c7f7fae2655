zucam_add_gtest(server_media_server_test LABEL unit NETNS TIMEOUT 120
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/media-server-test.cpp
    LIBS server phone_sim_lib Qt5::Core)
