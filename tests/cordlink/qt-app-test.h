#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>

namespace cordlinktest {

// One QCoreApplication for the whole test program, and a record of every
// qDebug/qInfo/qWarning/qCritical line the library writes.
class QtAppTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    // Deletes what was scheduled with deleteLater and restores the wait limit.
    void TearDown() override;

    // How many recorded messages contain `text`.
    static int Count(const QString& text);
    static QStringList Messages();
};

}  // namespace cordlinktest
