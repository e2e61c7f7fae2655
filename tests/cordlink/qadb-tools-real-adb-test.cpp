#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <string>

#include "cordlink/adb-program.h"
#include "cordlink/qadb-tools.h"
#include "platform/child-process.h"
#include "platform/paths.h"
#include "tests/cordlink/qt-app-test.h"
#include "tests/support/temp-dir.h"

namespace {

// Debian's adb, with no phone attached, inside this program's private network
// namespace: its server listens on the namespace's own loopback only.
class RealAdbTest : public cordlinktest::QtAppTest {
protected:
    static void SetUpTestSuite() {
        QtAppTest::SetUpTestSuite();
        // adb keeps its key pair under $HOME/.android; keep it out of the real home.
        home_ = new zutest::TempDir;
        qputenv("HOME", QByteArray::fromStdString(home_->path()));
    }

    static void TearDownTestSuite() {
        // Whatever server these tests started goes with them, and never
        // outlives a stuck kill-server either.
        std::string out;
        platform::RunProcess({"adb", "kill-server"}, 10000, &out, &out);
        delete home_;
        home_ = nullptr;
        QtAppTest::TearDownTestSuite();
    }

    static zutest::TempDir* home_;
};

zutest::TempDir* RealAdbTest::home_ = nullptr;

TEST_F(RealAdbTest, NoDeviceMeansEmptyListsAndFailedMappings) {
    if (platform::RunProcess({"adb", "version"}, 10000, nullptr) != 0) {
        GTEST_SKIP() << "adb is not installed";
    }
    QElapsedTimer clock;
    clock.start();
    {
        zu::QAdbTools tools;  // "adb" beside the test program, else on PATH
        EXPECT_TRUE(zu::AdbProgramPath().endsWith(QStringLiteral("adb")));
        EXPECT_TRUE(tools.findUsbDevice().empty());
        EXPECT_FALSE(tools.adbReverse(QString(), 10080, 11080));
        EXPECT_FALSE(tools.adbReverse(QStringLiteral("0123456789ABCDEF"), 10080, 11080));
        EXPECT_TRUE(tools.adbGetPortConnections().empty());
        // The devices run started the server; a second scan reuses it.
        EXPECT_TRUE(tools.findUsbDevice().empty());
    }
    // Every call ended on adb's own answer, none on the wait limit.
    EXPECT_GE(QtAppTest::Count("AdbProcessImpl::out:List of devices attached"), 1);
    EXPECT_EQ(QtAppTest::Count("adb timed out"), 0);
    EXPECT_EQ(QtAppTest::Count("adb not found"), 0);
    EXPECT_GE(QtAppTest::Count("AER_ERROR_EXEC"), 3);
    EXPECT_LT(clock.elapsed(), 6 * zu::kDefaultAdbWaitLimitMs);
}

}  // namespace
