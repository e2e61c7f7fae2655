#pragma once

#include <QDialog>
#include <QString>
#include <memory>

namespace Ui {
class CustomTipsDialog;
}

// A small frameless tip (150x50 in its stylesheet) with one centred text. Its
// owner positions, shows and deletes it.
class CustomTipsDialog : public QDialog {
    Q_OBJECT

public:
    explicit CustomTipsDialog(QWidget* parent = nullptr);
    ~CustomTipsDialog() override;

    void SetText(const QString& text);

private:
    std::unique_ptr<Ui::CustomTipsDialog> ui;
};
