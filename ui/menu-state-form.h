#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>

class GuidWidget;
class SettingDialog;

namespace Ui {
class MenuStateForm;
}

// The bar under the main form: settings, help and about, the screenshot and
// record buttons, the recording time, the connection state and the
// microphone level. It also owns the first-use guide bubble and the
// screenshot tip. User actions go out as signals; the main window says what
// to show.
class MenuStateForm : public QWidget {
    Q_OBJECT

public:
    explicit MenuStateForm(QWidget* parent = nullptr);
    ~MenuStateForm() override;

    // The screenshot and record buttons; a checked record button is released
    // first, which ends a running recording.
    void SetMenuEnabled(bool on);
    // "已连接<name>", or "未连接" for an empty name.
    void SetDeviceState(const QString& name);
    // 0..10: the microphone level picture.
    void SetVolumeLevel(int level);
    // Follows the application's recording flag: time shown, button checked.
    void UpdateRecordState();
    void SetRecordTime(const QString& text);
    // "截屏成功..." over the screenshot button for 2 s.
    void ShowShotToast();
    // Places the guide bubble over the help button while the first-use
    // setting is on; the setting's value.
    bool ShowGuide();
    GuidWidget* guide() const;

signals:
    void ScreenShot();
    void StartRecord();
    void StopRecord();

public slots:
    void slot_closeHelpFresh();

private slots:
    void on_pushButton_menu_set_clicked();
    void on_pushButton_menu_aboutus_clicked();
    void on_pushButton_menu_record_clicked(bool checked);
    void on_pushButton_menu_cutscm_clicked();
    void on_pushButton_menu_help_clicked();

private:
    void CloseGuide();
    void EmitRecordToggle();

    std::unique_ptr<Ui::MenuStateForm> ui;
    QPointer<SettingDialog> settingDialog;
    QPointer<GuidWidget> guideBubble;
};
