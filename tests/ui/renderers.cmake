# The two video renderers on Xvfb: the OpenGL one on whatever GL the X server
# gives (Mesa's llvmpipe), the painter one through libswscale and libyuv.
add_library(renderer_test_pictures STATIC renderer-pictures.cpp)
target_include_directories(renderer_test_pictures PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(renderer_test_pictures PUBLIC ffmpeg Qt5::Gui)
zucam_warnings(renderer_test_pictures)

zucam_add_gtest(renderers_test LABEL unit TIMEOUT 120
    SOURCES renderers-test.cpp
    LIBS ui ui_test_support renderer_test_pictures)

# A process of its own: the default surface format (OpenGL ES) must be set
# before the first window.
zucam_add_gtest(opengl_widget_gles_test LABEL unit TIMEOUT 60
    SOURCES opengl-widget-gles-test.cpp
    LIBS ui ui_test_support renderer_test_pictures)
