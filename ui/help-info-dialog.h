#pragma once

#include <QString>
#include <memory>

#include "ui/dialog-frame.h"

namespace Ui {
class HelpInfoDialog;
}

// The help page that ships with ZuCam (":/help/help.html", a four-step guide
// to choosing the ZuCam camera and microphone in another program), shown in a
// scrolling page. Opened from the main window's help link and wherever a link
// would lead to a web site the program was built without.
class HelpInfoDialog : public DialogFrame {
    Q_OBJECT

public:
    explicit HelpInfoDialog(QWidget* parent = nullptr);
    ~HelpInfoDialog() override;

    // The page's text, decoded as UTF-8; empty when it cannot be read.
    static QString ReadHelpPage();

public slots:
    void slot_openUrl(QString url);

private slots:
    void on_pushButton_helpinfo_close_clicked();

private:
    std::unique_ptr<Ui::HelpInfoDialog> ui;
};
