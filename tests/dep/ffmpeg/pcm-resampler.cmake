# PcmResampler: rebuilds, rates and tones, bad input.
zucam_add_gtest(pcm_resampler_test LABEL unit TIMEOUT 60
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/pcm-resampler-test.cpp
    LIBS ffmpeg hublet)
