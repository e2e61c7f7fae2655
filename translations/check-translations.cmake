# cmake -DLUPDATE=<lupdate> -DTS=<zucam_en.ts> -DINCLUDE=<source root>
#       -DSOURCES=<a|b|...> -DWORK_DIR=<dir>
#       -P check-translations.cmake
# Runs lupdate over the sources into a copy of the translation and fails,
# naming each text, when any text a person reads has no English yet.
string(REPLACE "|" ";" _sources "${SOURCES}")
file(MAKE_DIRECTORY ${WORK_DIR})
set(_copy ${WORK_DIR}/zucam_en.ts)
file(COPY_FILE ${TS} ${_copy})
execute_process(
    COMMAND ${LUPDATE} -silent -no-obsolete -locations absolute -I ${INCLUDE} ${_sources} -ts ${_copy}
    RESULT_VARIABLE _rc OUTPUT_VARIABLE _out ERROR_VARIABLE _out)
if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "lupdate failed (${_rc}):\n${_out}")
endif()

# lupdate writes one element per line: remember the last location and source
# line, report them at each unfinished translation.
file(STRINGS ${_copy} _lines ENCODING UTF-8)
set(_missing "")
set(_count 0)
set(_where "")
set(_source "")
foreach(_line IN LISTS _lines)
    if(_line MATCHES "<location filename=\"([^\"]*)\" line=\"([0-9]+)\"")
        get_filename_component(_file "${CMAKE_MATCH_1}" NAME)
        set(_where "${_file}:${CMAKE_MATCH_2}")
    elseif(_line MATCHES "<source>(.*)")
        string(REPLACE "</source>" "" _source "${CMAKE_MATCH_1}")
    elseif(_line MATCHES "<translation type=\"unfinished\"")
        math(EXPR _count "${_count} + 1")
        string(APPEND _missing "\n  ${_where}: ${_source}")
    endif()
endforeach()
if(_count GREATER 0)
    message(FATAL_ERROR
        "${_count} text(s) without English in ${TS}:${_missing}\n"
        "Run the zucam_lupdate target, translate the new entries and build again.")
endif()
message(STATUS "Every text has its English translation")
