#pragma once

#include <QString>
#include <memory>

#include "ui/dialog-frame.h"

class QWidget;
class ZuCam;

namespace Ui {
class SettingDialog;
}

// "更多设置": edits the user settings the application object holds (open the
// folder after a screenshot, window on top, the virtual microphone, render
// mode, the name phones show, the phone page's port, the save folder). The controls are filled from
// the settings once, at construction: the state bar keeps one dialog and
// runs it modally each time, so every opening shows them as they were left.
class SettingDialog : public DialogFrame {
    Q_OBJECT

public:
    explicit SettingDialog(QWidget* parent = nullptr);
    ~SettingDialog() override;

    // The write test of a chosen save folder: a file "zucam-test.txt" can be
    // created in `dir`. It never stays behind, and a file of that name the
    // user already keeps there is neither truncated nor removed.
    static bool CanWriteTo(const QString& dir);

protected:
    // The person's part, replaced by tests: the directory chooser (an empty
    // answer when cancelled) and a one-button message over the window.
    virtual QString ChooseDirectory(const QString& start);
    virtual void ShowMessage(const QString& text);

private slots:
    void on_pushButton_title_close_clicked();
    void on_checkBox_shotOpendir_clicked(bool checked);
    void on_checkBox_wintop_clicked(bool checked);
    void on_radioButton_vmic_open_clicked();
    void on_radioButton_vmic_close_clicked();
    void on_lineEdit_device_name_textChanged(QString name);
    void on_pushButton_tooltips_clicked();
    void on_pushButton_select_dir_clicked();
    void on_pushButton_open_dir_clicked();
    void on_pushButton_versioncheck_clicked();
    void on_label_no_voice_help_linkActivated(QString link);
    void on_comboBox_render_mode_activated(int index);
    void on_pushButton_tooltips_2_clicked();
    void on_pushButton_tooltips_3_clicked();
    void on_spinBox_web_port_valueChanged(int port);

private:
    void LoadControls(const ZuCam& app);
    // Shows a button's tooltip at the cursor at once, as hovering would.
    static void ShowToolTipNow(QWidget* button);

    std::unique_ptr<Ui::SettingDialog> ui;
};
