#include "ui/ui-setup.h"

#include <QFont>
#include <QStringList>

#include "resources/zucam-resources.h"
#include "ui/ui-language.h"

void SetUpUiResources() {
    static bool done = false;
    if (done)
        return;
    done = true;
    InitZuCamResources();
    // Before any window: forms translate their texts while they are built.
    ui_language::Install(ui_language::FromEnvironment());
    // The stylesheets and dialogs name the Windows font; Debian's
    // fonts-wqy-microhei is its closest installed match, the others are
    // fall-backs found on other desktops.
    QFont::insertSubstitutions(
        QStringLiteral("Microsoft YaHei"),
        {QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
         QStringLiteral("Source Han Sans SC"), QStringLiteral("Droid Sans Fallback")});
}
