#pragma once

#include <QString>

class QLabel;
class QWidget;

// Where the links of the dialogs lead. The maker's web site is a build
// setting (ZUCAM_WEBSITE, empty by default); without one every link opens the
// help page that ships with the program, so no link ever leads nowhere.
class WebLinks {
public:
    // The web site the program was built with; empty when none.
    static QString WebSite();
    // The help page compiled into the program: "qrc:/help/help.html".
    static QString BundledHelpPage();
    static bool IsBundledHelpPage(const QString& url);

    // Points every link of a rich-text label that leads to the bundled help
    // page at `site` instead; without a site the label is left as it is.
    static void Retarget(QLabel* label, const QString& site);
    static void Retarget(QLabel* label) { Retarget(label, WebSite()); }

    // Opens `url`: the bundled help page in ZuCam's help page dialog (modal,
    // over `parent`), any other address in the desktop's browser. False when
    // nothing could be opened.
    static bool Open(QWidget* parent, const QString& url);
};
