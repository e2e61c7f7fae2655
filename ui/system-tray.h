#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>

class QAction;
class QMenu;
class QWidget;

// The main window's tray icon with its menu ("显示窗口", "退出"), tooltip and
// notices. Where the desktop has no tray (a plain GNOME, Xvfb) the notices
// appear as a tip over the window for the same time instead of being lost.
class SystemTray : public QObject {
    Q_OBJECT

public:
    static constexpr const char* kNoticeTitle = QT_TRANSLATE_NOOP("SystemTray", "提示");

    // `window` is the parent of the icon and of the tips. Without a tray
    // (QSystemTrayIcon::isSystemTrayAvailable() false) no icon is made.
    explicit SystemTray(QWidget* window);
    ~SystemTray() override;

    // Null without a tray, or once the icon has been deleted elsewhere.
    QSystemTrayIcon* icon() const { return trayIcon; }
    void SetToolTip(const QString& text);
    // A notice shown for `ms` milliseconds: the tray's balloon, or a tip over
    // the window when there is no tray.
    void ShowMessage(const QString& text, int ms);
    // The tip shown last while no tray exists; null once it is gone.
    QWidget* currentTip() const { return tip_; }

signals:
    // "显示窗口" was chosen.
    void sig_showWindow();
    // "退出" was chosen.
    void sig_quit();

private:
    void ShowTip(const QString& text, int ms);

    QWidget* window_;
    QPointer<QSystemTrayIcon> trayIcon;
    QPointer<QMenu> trayMenu;
    QPointer<QAction> showAction;
    QPointer<QAction> quitAction;
    QPointer<QWidget> tip_;
};
