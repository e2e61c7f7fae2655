# The program at the root of the tree: `zucam_core` holds the UI-free shared
# helpers (also used by zucamd and the servers); `zucam_app` the application
# object and the single-instance guard; `zucam` is the program.
add_library(zucam_core STATIC
    ${CMAKE_SOURCE_DIR}/app-context.cpp
    ${CMAKE_SOURCE_DIR}/camera-output-process.cpp
    ${CMAKE_SOURCE_DIR}/app-settings.cpp
    ${CMAKE_SOURCE_DIR}/host-system.cpp
    ${CMAKE_SOURCE_DIR}/output-path.cpp
    ${CMAKE_SOURCE_DIR}/value-qt.cpp
)
target_include_directories(zucam_core PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(zucam_core PUBLIC hublet platform Qt5::Core)
zucam_warnings(zucam_core)

add_library(zucam_app STATIC
    ${CMAKE_SOURCE_DIR}/single-application.h
    ${CMAKE_SOURCE_DIR}/single-application.cpp
    ${CMAKE_SOURCE_DIR}/single-application-p.h
    ${CMAKE_SOURCE_DIR}/single-application-p.cpp
    ${CMAKE_SOURCE_DIR}/uninstall.cpp
    ${CMAKE_SOURCE_DIR}/zucam.h
    ${CMAKE_SOURCE_DIR}/zucam.cpp
    ${CMAKE_SOURCE_DIR}/window-stacking.h
    ${CMAKE_SOURCE_DIR}/window-stacking.cpp
)
set_target_properties(zucam_app PROPERTIES AUTOMOC ON)
target_link_libraries(zucam_app PUBLIC zucam_session zucam_core ffmpeg devices cordlink Qt5::Widgets Qt5::Network)
zucam_warnings(zucam_app)

add_executable(zucam ${CMAKE_SOURCE_DIR}/main.cpp)
target_link_libraries(zucam PRIVATE zucam_app ui)
zucam_warnings(zucam)

# The picture services a host of the connection servers needs, without any
# window: the last picture, screenshots and recordings. The main window and
# zucamd share them.
add_library(zucam_media STATIC
    ${CMAKE_SOURCE_DIR}/last-picture-store.cpp
    ${CMAKE_SOURCE_DIR}/recording-controller.cpp
    ${CMAKE_SOURCE_DIR}/screenshot-writer.cpp
)
target_include_directories(zucam_media PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(zucam_media PUBLIC zucam_core recorder ffmpeg hublet platform Qt5::Gui)
zucam_warnings(zucam_media)

# One phone session without a face: the servers, the camera, the pictures,
# the hold, the microphone feed and the adb tools. The window (through the
# application object) and zucamd each turn its signals into what they show.
add_library(zucam_session STATIC
    ${CMAKE_SOURCE_DIR}/phone-session.h
    ${CMAKE_SOURCE_DIR}/phone-session.cpp
)
set_target_properties(zucam_session PROPERTIES AUTOMOC ON)
target_link_libraries(zucam_session PUBLIC zucam_media zucam_core server devices cordlink ffmpeg
    web Qt5::Core)
zucam_warnings(zucam_session)
