# cmake -DLUPDATE=<lupdate> -DTS=<zucam_en.ts> -DINCLUDE=<source root>
#       -DSOURCES=<a|b|...> -DWORK_DIR=<dir>
#       -P check-translations.cmake
# Runs lupdate over the sources into a copy of the translation and fails,
# naming each text, when any text a person reads has no English yet, when an
# English text drops a placeholder, or when a non-ASCII text is made into a
# string past tr().
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

# One message at a time: where lupdate found it, its source text and its
# English. A list element cannot hold ";" (and an open "[" would join
# elements), so they stand in as "@semicolon@", "@open@" and "@close@".
file(READ ${_copy} _ts)
string(REPLACE ";" "@semicolon@" _ts "${_ts}")
string(REPLACE "[" "@open@" _ts "${_ts}")
string(REPLACE "]" "@close@" _ts "${_ts}")
string(REPLACE "<message" ";<message" _messages "${_ts}")
list(REMOVE_AT _messages 0)
set(_missing "")
set(_count 0)
foreach(_message IN LISTS _messages)
    set(_where "")
    if(_message MATCHES "<location filename=\"([^\"]*)\" line=\"([0-9]+)\"")
        get_filename_component(_file "${CMAKE_MATCH_1}" NAME)
        set(_where "${_file}:${CMAKE_MATCH_2}")
    endif()
    string(REGEX MATCH "<source>([^<]*)</source>" _ignored "${_message}")
    string(REPLACE "\n" "\\n" _source "${CMAKE_MATCH_1}")
    string(REPLACE "@semicolon@" ";" _source "${_source}")
    string(REPLACE "@open@" "[" _source "${_source}")
    string(REPLACE "@close@" "]" _source "${_source}")
    set(_english "")
    if(_message MATCHES "<translation>([^<]*)</translation>")
        set(_english "${CMAKE_MATCH_1}")
    endif()
    if(_message MATCHES "<translation type=\"unfinished\"" OR _english STREQUAL "")
        math(EXPR _count "${_count} + 1")
        string(APPEND _missing "\n  ${_where}: ${_source}")
        continue()
    endif()
    # The English keeps every placeholder, or arg() fills the wrong one.
    string(REGEX MATCHALL "%[1-9]" _places "${_source}")
    foreach(_place IN LISTS _places)
        string(FIND "${_english}" "${_place}" _at)
        if(_at EQUAL -1)
            math(EXPR _count "${_count} + 1")
            string(APPEND _missing "\n  ${_where}: ${_source} (the English lacks ${_place})")
        endif()
    endforeach()
endforeach()

# A text a person reads but written past tr(): a non-ASCII literal made into a
# QString directly. lupdate cannot see those, so they would stay Chinese.
set(_bare "")
foreach(_source IN LISTS _sources)
    if(NOT _source MATCHES "\\.(cpp|h)$")
        continue()
    endif()
    get_filename_component(_name "${_source}" NAME)
    file(STRINGS ${_source} _code REGEX "(fromUtf8|QStringLiteral)\\(\"" ENCODING UTF-8)
    foreach(_line IN LISTS _code)
        if(_line MATCHES "^[ \t]*(//|\\*)")
            continue()
        endif()
        string(REGEX MATCHALL "(fromUtf8|QStringLiteral)\\(\"[^\"]*\"" _literals "${_line}")
        foreach(_literal IN LISTS _literals)
            if(_literal MATCHES "[^ -~]")
                string(STRIP "${_line}" _line)
                string(APPEND _bare "\n  ${_name}: ${_line}")
                math(EXPR _count "${_count} + 1")
            endif()
        endforeach()
    endforeach()
endforeach()

if(_count GREATER 0)
    message(FATAL_ERROR
        "${_count} text(s) without English in ${TS}:${_missing}${_bare}\n"
        "Write texts a person reads as tr(\"...\") (QT_TRANSLATE_NOOP for constants), run the "
        "zucam_lupdate target, translate the new entries and build again.")
endif()
message(STATUS "Every text has its English translation")
