#pragma once

#include <QString>

// The window's language. The designed Chinese texts are the source texts of
// every tr() and form; other languages come from the translation compiled
// into the program (":/translations/zucam_<code>.qm"). Pictures and pages
// that carry text have variants chosen through the resource system's
// language selection, which follows QLocale's default.
namespace ui_language {

enum class Language { kChinese, kEnglish };

// The language for a ZUCAM_LANG value and a locale name ("zh_CN", "de_DE",
// "C"): "zh" or "en" in `override` wins; otherwise a locale starting with
// "zh" keeps the designed Chinese and every other one gets English.
Language Pick(const QString& override, const QString& localeName);

// Pick() with $ZUCAM_LANG and the system locale.
Language FromEnvironment();

// Makes `language` the one every later tr() and resource lookup answers in,
// replacing the translation installed before. Windows built earlier keep
// their texts. False when the compiled-in translation cannot be loaded (the
// designed texts show then).
bool Install(Language language);

// The language installed last (Chinese before any Install).
Language Current();

}  // namespace ui_language
