# The phone's audio limits: what reaches the microphone and the recorder.
zucam_add_gtest(server_phone_media_handler_test LABEL unit
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/phone-media-handler-test.cpp
    LIBS server Qt5::Core)
