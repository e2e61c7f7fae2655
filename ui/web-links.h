#pragma once

#include <QString>

class QLabel;
class QWidget;

// Where the links of the dialogs lead. The maker's web site is a build
// setting (ZUCAM_WEBSITE, empty by default). The forms point their web links at
// the help page that ships with the program; with a site they are pointed
// there, without one they are taken away, as the bundled page does not answer
// them.
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

    // Removes every link of a rich-text label that leads to the bundled help
    // page, with the words that only introduce it (", or" and the like), so
    // that no link opens a page that does not answer it. Whatever plain text
    // stays is shown as it is.
    static void DropHelpLinks(QLabel* label);
    // Without a site: DropHelpLinks; with one: Retarget.
    static void PointAtSite(QLabel* label, const QString& site);

    // Opens `url`: the bundled help page in ZuCam's help page dialog (modal,
    // over `parent`), any other address in the desktop's browser. False when
    // nothing could be opened.
    static bool Open(QWidget* parent, const QString& url);
};
