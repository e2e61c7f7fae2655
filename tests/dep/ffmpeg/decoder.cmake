# H.264 decoder, hardware detection, frame/packet holders and the scaler.

# Synthetic H.264 streams made at test time with the ffmpeg command; the
# benchmarks of bench/ffmpeg use it too.
add_library(h264_test_stream STATIC ${CMAKE_CURRENT_LIST_DIR}/h264-test-stream.cpp)
target_include_directories(h264_test_stream PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(h264_test_stream PUBLIC ffmpeg platform)
zucam_warnings(h264_test_stream)

zucam_add_gtest(ffmpeg_holders_test LABEL unit TIMEOUT 30
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/frame-holder-test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/packet-holder-test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/frame-scaler-test.cpp
    LIBS ffmpeg)

zucam_add_gtest(ffmpeg_hardware_codec_detector_test LABEL unit TIMEOUT 60
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/ffmpeg-hardware-codec-detector-test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/detection-access-unit-test.cpp
    LIBS ffmpeg h264_test_stream)

zucam_add_gtest(h264_decoder_test LABEL unit TIMEOUT 120
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/h264-decoder-test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/decoder-test-support.cpp
    LIBS ffmpeg h264_test_stream)

# The standard error capture of the platform layer exists for the decoder's
# "release old pkt_" lines, so its test is registered with them.
zucam_add_gtest(stderr_capture_test LABEL unit TIMEOUT 30
    SOURCES ${CMAKE_SOURCE_DIR}/tests/platform/stderr-capture-test.cpp
    LIBS platform)
