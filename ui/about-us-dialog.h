#pragma once

#include <QString>
#include <memory>

#include "ui/dialog-frame.h"

namespace Ui {
class AboutUsDialog;
}

// "关于我们": the program's name, version and description, and the links to
// the maker's other products, user agreement and privacy policy.
class AboutUsDialog : public DialogFrame {
    Q_OBJECT

public:
    explicit AboutUsDialog(QWidget* parent = nullptr);
    ~AboutUsDialog() override;

    // The version the program announced to the module host at start-up (the
    // application's own version when it announced none).
    static QString RunningVersion();

public slots:
    void slot_openUrl(QString url);

private slots:
    void on_pushButton_about_close_clicked();

private:
    std::unique_ptr<Ui::AboutUsDialog> ui;
};
