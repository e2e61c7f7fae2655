# The window in both languages: translations installed, texts read back and
# drawn, every text with room enough. The fitting test runs again at 144 dpi.
# The main window's Wi-Fi server announces: a private network namespace.
zucam_add_gtest(language_test LABEL unit TIMEOUT 120 NETNS
    SOURCES language-test.cpp
    LIBS ui ui_test_support ui_dialog_pictures)
add_test(NAME language_test_144dpi
    COMMAND language_test --gtest_filter=BothLanguages/LanguageTest.No*)
set_tests_properties(language_test_144dpi PROPERTIES LABELS unit TIMEOUT 120
    ENVIRONMENT "QT_FONT_DPI=144")

# Every text a person reads has its English (lupdate over the sources).
get_property(_tr_check GLOBAL PROPERTY ZUCAM_TR_CHECK_COMMAND)
if(_tr_check)
    add_test(NAME translations_complete COMMAND ${_tr_check})
    set_tests_properties(translations_complete PROPERTIES LABELS unit TIMEOUT 60)
endif()
