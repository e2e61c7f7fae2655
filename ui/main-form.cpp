#include "ui/main-form.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>

#include "ui/open-usb-help-dialog.h"
#include "ui/opengl-widget.h"
#include "ui/qss-manager.h"
#include "ui_main-form.h"
#include "zucam.h"

namespace {

const char* const kSpinnerImage = ":/image/display_waitting.png";
constexpr int kSpinnerIntervalMs = 100;
// The renderer's repaint ticks per second.
constexpr int kOpenGLFrameRate = 100;
const char* const kNoAddress = "---.---.---.---";
const char* const kAddressLink =
    "<a href=\"%1\"><span style='text-decoration: none;font-family:\"Microsoft YaHei\";"
    "font-size: 10pt;color:#999999;'>%1</span></a>";
const char* const kAddressSeparator =
    "<text style='font-family:\"Microsoft YaHei\";font-size: 10pt;color:#999999;'>%1</text>";

// Windows made plain raster (the software renderer at start) cannot hold
// the OpenGL renderer: it waits for the next start.
bool UseHardwareRender() {
    ZuCam* app = ZuCam::instance();
    return app && app->useHardwareRender() &&
           !QCoreApplication::testAttribute(Qt::AA_ForceRasterWidgets);
}

}  // namespace

MainForm::MainForm(QWidget* parent) : QWidget(parent), ui(new Ui::MainForm) {
    ui->setupUi(this);
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    auto* qss = new QssManager(this, false);
    qss->SetStyleSheetFile(QStringLiteral(":/qss/parts/main-form.qss"));
    // The name is whatever the user typed: shown as typed, never as markup.
    ui->label_device_name->setTextFormat(Qt::PlainText);
    if (ZuCam* app = ZuCam::instance()) {
        ui->label_device_name->setText(app->deviceName());
        // A name changed in the settings shows at once.
        connect(app, &ZuCam::deviceNameChanged, ui->label_device_name, &QLabel::setText);
    }
    ui->label_imgwait->setImage(QString::fromLatin1(kSpinnerImage));
    ui->label_imgwait->setInterval(kSpinnerIntervalMs);
    ui->label_imgwait->start();
    ui->stackedWidget->setCurrentWidget(ui->page_waitlink);
    ui->painterWidget->hide();
    connect(ui->label_ip, &QLabel::linkActivated, this, &MainForm::CopyAddress);
    ui->label_web_phone->setText(QStringLiteral("<a href=\"web\"><span style='text-decoration: "
                                                "none;font-size: 9pt;color:#6BA7FF;'>%1</span></a>")
                                     .arg(tr("没有应用？使用手机浏览器").toHtmlEscaped()));
    connect(ui->label_web_phone, &QLabel::linkActivated, this,
            [this] { emit sig_WebPhoneRequested(); });
}

MainForm::~MainForm() = default;

void MainForm::ShowPage(int index) {
    switch (index) {
        case kPageWaitWifi:
            ui->label_imgwait->start();
            break;
        case kPageWaitUsb:
            break;
        case kPageConnected:
            ui->label_imgwait->stop();
            break;
        case kPageDisplay: {
            const bool hardware = UseHardwareRender();
            OpenGLWidget* gl = hardware ? OpenGLRenderer() : openGLWidget.load();
            renderHardware = hardware;
            if (gl)
                gl->setVisible(hardware);
            ui->painterWidget->setVisible(!hardware);
        }
            ui->label_imgwait->stop();
            break;
        default:
            return;
    }
    ui->stackedWidget->setCurrentIndex(index);
    currentPage_ = index;
}

int MainForm::CurrentPage() const {
    const int page = currentPage_.load();
    return page >= kPageWaitWifi && page <= kPageDisplay ? page : kNoPage;
}

QString MainForm::IpListHtml(const QStringList& list) {
    if (list.isEmpty())
        return QString::fromLatin1(kNoAddress);
    QString body = QString::fromLatin1(kAddressLink).arg(list.first());
    for (int i = 1; i < list.size(); ++i) {
        body += QString::fromLatin1(kAddressSeparator).arg(QStringLiteral(" / "));
        body += QString::fromLatin1(kAddressLink).arg(list[i]);
    }
    return QStringLiteral("<html><head/><body><p>%1</p></body></html>").arg(body);
}

void MainForm::SetIpList(const QStringList& list) {
    ui->label_ip->setText(IpListHtml(list));
}

void MainForm::SetConnectedName(const QString& name) {
    ui->label_success->setText(tr("连接成功\n%1").arg(name));
}

void MainForm::RenderFrame(const FrameHolder& frame) {
    if (!renderHardware) {
        ui->painterWidget->setFrame(frame);
        return;
    }
    if (OpenGLWidget* gl = openGLWidget.load())
        gl->setFrame(frame);
}

OpenGLWidget* MainForm::OpenGLRenderer() {
    if (OpenGLWidget* existing = openGLWidget.load())
        return existing;
    auto* gl = new OpenGLWidget(ui->frame_display);
    gl->setObjectName(QStringLiteral("openGLWidget"));
    gl->setFrameRate(kOpenGLFrameRate);
    gl->hide();
    ui->horizontalLayout_display->insertWidget(0, gl);
    openGLWidget = gl;
    return gl;
}

void MainForm::CopyAddress(const QString& address) {
    QGuiApplication::clipboard()->setText(address, QClipboard::Clipboard);
    emit IpCopyToClipboard();
}

void MainForm::on_pushButton_usb_link_1_clicked() {
    ShowPage(kPageWaitUsb);
    if (ZuCam* app = ZuCam::instance())
        app->SetConnectMode(1);
}

void MainForm::on_pushButton_wire_link_2_clicked() {
    ui->label_imgwait->start();
    ShowPage(kPageWaitWifi);
    if (ZuCam* app = ZuCam::instance())
        app->SetConnectMode(0);
}

void MainForm::on_label_usb_note_4_linkActivated(QString) {
    OpenUSBHelpDialog dialog(window());
    dialog.exec();
}
