#include "ui/menu-state-form.h"

#include <QTimer>
#include <algorithm>
#include <cmath>

#include "ui/about-us-dialog.h"
#include "ui/custom-tips-dialog.h"
#include "ui/dialog-frame.h"
#include "ui/guid-widget.h"
#include "ui/help-dialog.h"
#include "ui/qss-manager.h"
#include "ui/setting-dialog.h"
#include "ui_menu-state-form.h"
#include "zucam.h"

namespace {

const char* const kNoTime = "00:00:00";
constexpr int kShotToastMs = 2000;

bool AppRecording() {
    ZuCam* app = ZuCam::instance();
    return app && app->recording;
}

}  // namespace

MenuStateForm::MenuStateForm(QWidget* parent) : QWidget(parent), ui(new Ui::MenuStateForm) {
    ui->setupUi(this);
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    auto* qss = new QssManager(this, false);
    qss->SetStyleSheetFile(QStringLiteral(":/qss/parts/menu-state-form.qss"));
    ui->pushButton_menu_camera_set->hide();
    ui->label_menu_time->hide();
    ui->label_menu_time->setText(QString::fromLatin1(kNoTime));
    ui->pushButton_menu_record->setCheckable(true);
    SetMenuEnabled(false);
    ui->pushButton_menu_set->setToolTip(tr("更多设置"));
    ui->pushButton_menu_help->setToolTip(tr("使用帮助"));
    ui->pushButton_menu_aboutus->setToolTip(tr("关于我们"));
    ui->pushButton_menu_cutscm->setToolTip(QString());
    ui->pushButton_menu_record->setToolTip(QString());
}

MenuStateForm::~MenuStateForm() {
    delete guideBubble.data();
}

void MenuStateForm::EmitRecordToggle() {
    if (AppRecording())
        emit StopRecord();
    else
        emit StartRecord();
}

void MenuStateForm::SetMenuEnabled(bool on) {
    if (ui->pushButton_menu_record->isChecked()) {
        ui->pushButton_menu_record->setChecked(false);
        EmitRecordToggle();
    }
    ui->pushButton_menu_cutscm->setEnabled(on);
    ui->pushButton_menu_record->setEnabled(on);
    ui->pushButton_menu_cutscm->setToolTip(on ? tr("截屏") : QString());
    ui->pushButton_menu_record->setToolTip(on ? tr("录屏") : QString());
}

void MenuStateForm::SetDeviceState(const QString& name) {
    ui->label_menu_state->setText(name.isEmpty() ? tr("未连接") : tr("已连接%1").arg(name));
}

void MenuStateForm::SetVolumeLevel(int level) {
    ui->label_menu_volumn_img->setStyleSheet(
        QStringLiteral("border-image: url(:/image/voice/voice-%1.png);").arg(level));
}

void MenuStateForm::UpdateRecordState() {
    const bool rec = AppRecording();
    ui->label_menu_time->setVisible(rec);
    ui->pushButton_menu_record->setChecked(rec);
    if (!rec)
        ui->label_menu_time->setText(QString::fromLatin1(kNoTime));
}

void MenuStateForm::SetRecordTime(const QString& text) {
    ui->label_menu_time->setText(text);
}

void MenuStateForm::ShowShotToast() {
    auto* tip = new CustomTipsDialog(ui->pushButton_menu_cutscm);
    tip->SetText(tr("截屏成功，可在\n设置中打开目录查看"));
    const double s = DialogFrame::AppScaleFactor();
    const QPoint corner = ui->pushButton_menu_cutscm->mapToGlobal(QPoint(0, 0));
    tip->move(corner.x() - static_cast<int>(std::lround(50 * s)),
              corner.y() - static_cast<int>(std::lround(60 * s)));
    tip->show();
    QPointer<CustomTipsDialog> guarded(tip);
    QTimer::singleShot(kShotToastMs, Qt::CoarseTimer, this, [guarded] {
        if (!guarded)
            return;
        guarded->hide();
        guarded->deleteLater();
    });
}

bool MenuStateForm::ShowGuide() {
    ZuCam* app = ZuCam::instance();
    if (!app || !app->firstOpen())
        return false;
    if (!guideBubble) {
        guideBubble = new GuidWidget(window());
        connect(guideBubble.data(), &GuidWidget::sig_firstClose, this,
                &MenuStateForm::slot_closeHelpFresh);
    }
    const QPoint help = ui->pushButton_menu_help->mapToGlobal(QPoint(0, 0));
    // The bubble's body starts 20 pixels into its window; it stays inside the
    // main window's left edge, and its arrow still points at the button.
    const int leftmost = window()->mapToGlobal(QPoint(0, 0)).x() + 1 - 20;
    const int x = std::max(help.x() - static_cast<int>(QssManager::ScaleFactor() * 120), leftmost);
    guideBubble->move(x, help.y() - guideBubble->height());
    guideBubble->PointArrowAt(help.x() + ui->pushButton_menu_help->width() / 2 - x);
    guideBubble->show();
    return true;
}

GuidWidget* MenuStateForm::guide() const {
    return guideBubble.data();
}

void MenuStateForm::CloseGuide() {
    if (ZuCam* app = ZuCam::instance())
        app->SetFirstOpen(false);
    if (guideBubble) {
        guideBubble->close();
        guideBubble->deleteLater();
        guideBubble = nullptr;
    }
}

void MenuStateForm::slot_closeHelpFresh() {
    CloseGuide();
}

void MenuStateForm::on_pushButton_menu_set_clicked() {
    if (!settingDialog)
        settingDialog = new SettingDialog(window());
    settingDialog->exec();
}

void MenuStateForm::on_pushButton_menu_aboutus_clicked() {
    AboutUsDialog dialog(window());
    dialog.exec();
}

void MenuStateForm::on_pushButton_menu_record_clicked(bool) {
    EmitRecordToggle();
}

void MenuStateForm::on_pushButton_menu_cutscm_clicked() {
    emit ScreenShot();
}

void MenuStateForm::on_pushButton_menu_help_clicked() {
    CloseGuide();
    HelpDialog dialog(window());
    dialog.exec();
}
