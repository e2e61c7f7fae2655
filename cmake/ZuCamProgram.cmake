# The program at the root of the tree: `zucam_core` holds the UI-free shared
# helpers (also used by zucamd and the servers); `zucam` is the program.
add_library(zucam_core STATIC
    ${CMAKE_SOURCE_DIR}/app-context.cpp
)
target_include_directories(zucam_core PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(zucam_core PUBLIC hublet platform)
zucam_warnings(zucam_core)
