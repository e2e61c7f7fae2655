#include "ui/system-tray.h"

#include <QAction>
#include <QDebug>
#include <QFontMetrics>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <QWidget>
#include <algorithm>

#include "ui/custom-tips-dialog.h"
#include "ui/dialog-frame.h"

namespace {

const char* const kLogo = ":/image/logo_zucam.png";
const char* const kIdleToolTip = QT_TRANSLATE_NOOP("SystemTray", "Zu虚拟摄像头\n状态：未连接");
// The tip's own stylesheet fixes 150 x 50; longer notices get room for
// their text, wrapped within the window.
constexpr int kTipWidth = 150;
constexpr int kTipHeight = 50;
constexpr int kTipPadding = 24;

}  // namespace

SystemTray::SystemTray(QWidget* window) : QObject(window), window_(window) {
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    trayIcon = new QSystemTrayIcon(window);
    trayMenu = new QMenu(window);
    showAction = new QAction(tr("显示窗口"), trayMenu);
    quitAction = new QAction(tr("退出"), trayMenu);
    connect(showAction.data(), &QAction::triggered, this, [this] {
        qDebug() << "QAction::triggered";
        emit sig_showWindow();
    });
    connect(quitAction.data(), &QAction::triggered, this, &SystemTray::sig_quit);
    trayMenu->addAction(showAction);
    trayMenu->addAction(quitAction);
    trayIcon->setContextMenu(trayMenu);
    trayIcon->setIcon(QIcon(QString::fromLatin1(kLogo)));
    trayIcon->setToolTip(tr(kIdleToolTip));
    trayIcon->setVisible(true);
}

SystemTray::~SystemTray() {
    delete tip_.data();
    delete trayIcon.data();
    delete trayMenu.data();
}

void SystemTray::SetToolTip(const QString& text) {
    if (trayIcon)
        trayIcon->setToolTip(text);
}

void SystemTray::ShowMessage(const QString& text, int ms) {
    if (trayIcon) {
        trayIcon->showMessage(tr(kNoticeTitle), text, QSystemTrayIcon::Information, ms);
        return;
    }
    ShowTip(text, ms);
}

void SystemTray::ShowTip(const QString& text, int ms) {
    // One notice at a time: a newer one replaces the tip on screen.
    delete tip_.data();
    auto* tip = new CustomTipsDialog(window_);
    tip->SetText(text);
    // Polished first: the label measures in the stylesheet's font, and the
    // sheet's fixed tip size comes before a longer notice's size, not after.
    tip->ensurePolished();
    QLabel* label = tip->findChild<QLabel*>();
    const double s = DialogFrame::AppScaleFactor();
    int width = static_cast<int>(kTipWidth * s);
    int height = static_cast<int>(kTipHeight * s);
    if (label) {
        label->setWordWrap(true);
        const QFontMetrics metrics(label->font());
        const int room = std::max(width, window_->width() - 2 * kTipPadding);
        const QRect needed = metrics.boundingRect(QRect(0, 0, room - kTipPadding, 10000),
                                                  Qt::TextWordWrap | Qt::AlignCenter, text);
        width = std::max(width, needed.width() + kTipPadding);
        height = std::max(height, needed.height() + kTipPadding);
    }
    tip->setFixedSize(width, height);
    const QPoint centre = window_->mapToGlobal(window_->rect().center());
    tip->move(centre.x() - width / 2, centre.y() - height / 2);
    tip->show();
    tip_ = tip;
    QPointer<QWidget> guarded(tip);
    QTimer::singleShot(ms, Qt::CoarseTimer, this, [guarded] {
        if (!guarded)
            return;
        guarded->hide();
        guarded->deleteLater();
    });
}
