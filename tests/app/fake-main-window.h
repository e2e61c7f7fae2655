#pragma once

#include <QWidget>
#include <vector>

// Stands in for the main window: records the calls the application object
// makes on it by name.
class FakeMainWindow : public QWidget {
    Q_OBJECT

public:
    Q_INVOKABLE void SwitchConnectionMode(int mode) { modes.push_back(mode); }

    std::vector<int> modes;
    std::vector<int> volumes;

public slots:
    void UpdateVolumn(int level) { volumes.push_back(level); }
};
