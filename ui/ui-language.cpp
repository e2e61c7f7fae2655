#include "ui/ui-language.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

#include "hublet/log-sink.h"

// The translations live in a static library of their own; its resources need
// registering by name, which works only outside a namespace.
static void InitTranslationResources() {
    static bool done = false;
    if (done)
        return;
    done = true;
    Q_INIT_RESOURCE(zucam_translations);
}

namespace ui_language {

namespace {

Language current = Language::kChinese;
QTranslator* installed = nullptr;

// QLocale's default decides which variant of a resource with a lang="en"
// sibling is read; the system's own formats stay where its language matches.
QLocale LocaleFor(Language language) {
    const QLocale system = QLocale::system();
    if (language == Language::kChinese)
        return system.language() == QLocale::Chinese ? system
                                                     : QLocale(QLocale::Chinese, QLocale::China);
    return system.language() == QLocale::English ? system
                                                 : QLocale(QLocale::English, QLocale::UnitedStates);
}

}  // namespace

Language Pick(const QString& override, const QString& localeName) {
    const QString chosen = override.trimmed().toLower();
    if (chosen == QLatin1String("zh"))
        return Language::kChinese;
    if (chosen == QLatin1String("en"))
        return Language::kEnglish;
    return localeName.startsWith(QLatin1String("zh"), Qt::CaseInsensitive) ? Language::kChinese
                                                                           : Language::kEnglish;
}

Language FromEnvironment() {
    return Pick(qEnvironmentVariable("ZUCAM_LANG"), QLocale::system().name());
}

bool Install(Language language) {
    InitTranslationResources();
    if (installed) {
        QCoreApplication::removeTranslator(installed);
        delete installed;
        installed = nullptr;
    }
    QLocale::setDefault(LocaleFor(language));
    current = language;
    if (language == Language::kChinese)
        return true;
    auto* translator = new QTranslator;
    if (!translator->load(QStringLiteral(":/translations/zucam_en.qm"))) {
        BG_LOGE("the English translation cannot be loaded; the window stays Chinese");
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    installed = translator;
    return true;
}

Language Current() {
    return current;
}

}  // namespace ui_language
