#include "ui/setting-dialog.h"

#include <QButtonGroup>
#include <QCoreApplication>
#include <QCursor>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHelpEvent>
#include <QStyledItemDelegate>
#include <QTemporaryFile>
#include <QTimer>

#include "hublet/clock.h"
#include "hublet/interface.h"
#include "hublet/log-sink.h"
#include "hublet/value.h"
#include "ui/about-us-dialog.h"
#include "ui/message-box-dialog.h"
#include "ui/web-links.h"
#include "ui_setting-dialog.h"
#include "zucam.h"

// The host's signal bus names its operation `emit`, which Qt defines away as
// a keyword macro: the bus is reached with the macro set aside.
#pragma push_macro("emit")
#undef emit
#include "hublet/signal-bus.h"
namespace {

// How many handlers ran; 0 without a host.
int EmitOnBus(const char* name, const bg::Value& value) {
    return CD && CD->signalBus ? CD->signalBus->emit(name, value) : 0;
}

}  // namespace
#pragma pop_macro("emit")

namespace {

const char* const kVersionCheckSignal = "VPSignal.vercheck";
const char* const kWriteTestFile = "zucam-test.txt";
const char* const kNoWritePermission =
    QT_TRANSLATE_NOOP("SettingDialog", "当前选择路径无写入权限！");
const char* const kCannotOpenFolder = QT_TRANSLATE_NOOP("SettingDialog", "无法打开保存目录：%1");
const char* const kRunningVersion =
    QT_TRANSLATE_NOOP("SettingDialog", "当前版本：%1\n暂时无法检查新版本。");
// The microphone level image drops to silence once the link is closed.
constexpr int kSilenceDelayMs = 100;

QString WithTrailingSlash(QString path) {
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

}  // namespace

SettingDialog::SettingDialog(QWidget* parent) : DialogFrame(parent), ui(new Ui::SettingDialog) {
    ui->setupUi(this);
    SetUpFrame(":/qss/dialog/setting-dialog.qss", ui->widget_set_title, ui->pushButton_title_close);
    ui->pushButton_title_space->setEnabled(false);
    ui->widget_space->hide();
    ui->lineEdit_save_dir->setReadOnly(true);
    // Lets the stylesheet reach the drop-down's items.
    ui->comboBox_render_mode->setItemDelegate(new QStyledItemDelegate(ui->comboBox_render_mode));
    WebLinks::Retarget(ui->label_no_voice_help);
    if (ZuCam* app = ZuCam::instance())
        LoadControls(*app);
}

SettingDialog::~SettingDialog() = default;

void SettingDialog::LoadControls(const ZuCam& app) {
    ui->checkBox_shotOpendir->setChecked(app.shotOpenDir());
    ui->checkBox_wintop->setChecked(app.windowStaysOnTop());
    {
        // Grouped only to set the first state; sharing a parent keeps the two
        // exclusive afterwards.
        QButtonGroup group;
        group.addButton(ui->radioButton_vmic_open);
        group.addButton(ui->radioButton_vmic_close);
        (app.openVirtualMic() ? ui->radioButton_vmic_open : ui->radioButton_vmic_close)
            ->setChecked(true);
    }
    ui->comboBox_render_mode->setCurrentIndex(app.useHardwareRender() ? 0 : 1);
    // Filling the field is no edit: the name is published only when typed.
    const QSignalBlocker quiet(ui->lineEdit_device_name);
    ui->lineEdit_device_name->setText(app.deviceName());
    ui->lineEdit_save_dir->setText(app.saveDir());
    const QSignalBlocker quietPort(ui->spinBox_web_port);
    ui->spinBox_web_port->setValue(app.webPort());
}

bool SettingDialog::CanWriteTo(const QString& dir) {
    const QString path = QDir(dir).filePath(QString::fromLatin1(kWriteTestFile));
    const QFileInfo existing(path);
    if (existing.exists() || existing.isSymLink()) {
        // The name is taken by a file of the user's: prove the folder takes a
        // new file under a name of our own instead.
        QTemporaryFile probe(QDir(dir).filePath(QStringLiteral("zucam-test-XXXXXX.txt")));
        return probe.open();
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    file.close();
    file.remove();
    return true;
}

QString SettingDialog::ChooseDirectory(const QString& start) {
    return QFileDialog::getExistingDirectory(this, tr("选择保存文件目录"), start,
                                             QFileDialog::ShowDirsOnly);
}

void SettingDialog::ShowMessage(const QString& text) {
    MessageBoxDialog box(this);
    box.SetMessage(text);
    box.SetButtons(1, tr("确定"));
    box.exec();
}

void SettingDialog::on_pushButton_title_close_clicked() {
    hide();
}

void SettingDialog::on_checkBox_shotOpendir_clicked(bool checked) {
    if (ZuCam* app = ZuCam::instance())
        app->SetShotOpenDir(checked);
}

void SettingDialog::on_checkBox_wintop_clicked(bool checked) {
    if (ZuCam* app = ZuCam::instance())
        app->SetWindowStaysOnTop(checked);
}

// The pipe source behind the virtual microphone works on every system ZuCam
// runs on, so there is no version to check first.
void SettingDialog::on_radioButton_vmic_open_clicked() {
    ZuCam* app = ZuCam::instance();
    if (!app || app->openVirtualMic())
        return;
    // The application object tells the user why it failed.
    if (!app->OpenVirtualMic(true))
        ui->radioButton_vmic_close->setChecked(true);
}

void SettingDialog::on_radioButton_vmic_close_clicked() {
    ZuCam* app = ZuCam::instance();
    if (!app || !app->openVirtualMic())
        return;
    app->CloseVirtualMic();
    QTimer::singleShot(kSilenceDelayMs, [] {
        if (ZuCam* current = ZuCam::instance())
            current->UpdateVolumn(0);
    });
}

void SettingDialog::on_lineEdit_device_name_textChanged(QString name) {
    if (ZuCam* app = ZuCam::instance())
        app->SetDeviceName(name);
}

void SettingDialog::on_pushButton_tooltips_clicked() {
    qDebug() << "on_pushButton_tooltips_clocked";
    ShowToolTipNow(ui->pushButton_tooltips);
}

void SettingDialog::on_pushButton_select_dir_clicked() {
    const QString chosen = ChooseDirectory(WithTrailingSlash(ui->lineEdit_save_dir->text()));
    if (chosen.isEmpty())
        return;
    if (!CanWriteTo(chosen)) {
        BG_LOGW("the folder %s takes no files; the save folder stays", qUtf8Printable(chosen));
        ShowMessage(tr(kNoWritePermission));
        return;
    }
    if (ZuCam* app = ZuCam::instance())
        app->SetSaveDir(chosen);
    ui->lineEdit_save_dir->setText(chosen);
}

void SettingDialog::on_pushButton_open_dir_clicked() {
    const QString dir = WithTrailingSlash(ui->lineEdit_save_dir->text());
    if (CD && CD->clock && CD->clock->openLocation(dir.toStdString()))
        return;
    BG_LOGE("the save folder %s could not be opened", qUtf8Printable(dir));
    ShowMessage(tr(kCannotOpenFolder).arg(dir));
}

void SettingDialog::on_pushButton_versioncheck_clicked() {
    if (EmitOnBus(kVersionCheckSignal, bg::Value(static_cast<void*>(this))) > 0)
        return;
    // No version-check module is installed: say at least which version runs.
    ShowMessage(tr(kRunningVersion).arg(AboutUsDialog::RunningVersion()));
}

void SettingDialog::on_label_no_voice_help_linkActivated(QString link) {
    WebLinks::Open(this, link);
}

// The renderer is chosen when the display page is entered, so the new mode
// shows after reconnecting; OpenGL after a start with the software renderer
// shows from the next start (the windows were made without OpenGL).
void SettingDialog::on_comboBox_render_mode_activated(int index) {
    if (ZuCam* app = ZuCam::instance())
        app->SetUseHardwareRender(index == 0);
}

void SettingDialog::on_pushButton_tooltips_2_clicked() {
    ShowToolTipNow(ui->pushButton_tooltips_2);
}

void SettingDialog::on_pushButton_tooltips_3_clicked() {
    ShowToolTipNow(ui->pushButton_tooltips_3);
}

// Without keyboard tracking a port arrives once typed out (Enter, or the
// field losing focus), never digit by digit: "8080" does not first try 8,
// 80 and 808.
void SettingDialog::on_spinBox_web_port_valueChanged(int port) {
    if (ZuCam* app = ZuCam::instance())
        app->SetWebPort(port);
}

void SettingDialog::ShowToolTipNow(QWidget* button) {
    QCoreApplication::postEvent(button,
                                new QHelpEvent(QEvent::ToolTip, QPoint(0, 0), QCursor::pos()));
}
