#pragma once

#include <QObject>

class QWidget;

// Keeps a window's dialogs above it. A window kept on top lives in the window
// manager's upper layer, where a plain dialog of its own would sink beneath
// it: still modal, so it swallows every click on the window while nobody can
// see it. Installed on the application, this filter gives every dialog or
// message box the stays-on-top hint of the window it belongs to as it is
// shown.
class WindowStacking : public QObject {
    Q_OBJECT

public:
    explicit WindowStacking(QObject* parent = nullptr);

    // Sets or clears the stays-on-top hint of the top-level `window` without
    // hiding it (changing the widget's flags would hide the window and end
    // the modal run of any dialog shown over it), then does the same for the
    // visible dialogs that belong to it and raises them above it.
    static void SetStaysOnTop(QWidget* window, bool onTop);

    // Gives `dialog` the stays-on-top hint of the window it belongs to.
    static void FollowOwner(QWidget* dialog);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static void ApplyHint(QWidget* window, bool onTop);
};
