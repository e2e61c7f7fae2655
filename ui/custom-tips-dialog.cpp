#include "ui/custom-tips-dialog.h"

#include "ui/qss-manager.h"
#include "ui_custom-tips-dialog.h"

CustomTipsDialog::CustomTipsDialog(QWidget* parent)
    : QDialog(parent), ui(new Ui::CustomTipsDialog) {
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    auto* qss = new QssManager(this, false);
    qss->SetStyleSheetFile(QStringLiteral(":/qss/dialog/custom-tips-dialog.qss"));
    ui->label_ipdis_ip->setAlignment(Qt::AlignCenter);
}

CustomTipsDialog::~CustomTipsDialog() = default;

void CustomTipsDialog::SetText(const QString& text) {
    ui->label_ipdis_ip->setText(text);
}
