#include "tests/cordlink/qt-app-test.h"

#include <QCoreApplication>
#include <QEvent>
#include <memory>
#include <mutex>

#include "cordlink/adb-program.h"

namespace cordlinktest {
namespace {

std::mutex g_mutex;
QStringList g_messages;
std::unique_ptr<QCoreApplication> g_app;
int g_argc = 1;
char g_arg0[] = "cordlink-test";
char* g_argv[] = {g_arg0, nullptr};

void Record(QtMsgType, const QMessageLogContext&, const QString& message) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_messages << message;
}

void FlushDeferredDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

}  // namespace

void QtAppTest::SetUpTestSuite() {
    if (!g_app)
        g_app = std::make_unique<QCoreApplication>(g_argc, g_argv);
    qInstallMessageHandler(Record);
}

void QtAppTest::TearDownTestSuite() {
    FlushDeferredDeletes();
    qInstallMessageHandler(nullptr);
    g_app.reset();
}

void QtAppTest::SetUp() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_messages.clear();
}

void QtAppTest::TearDown() {
    FlushDeferredDeletes();
    zu::SetAdbWaitLimit(0);
    if (HasFailure()) {
        for (const QString& m : Messages())
            fprintf(stderr, "  | %s\n", qPrintable(m));
    }
}

int QtAppTest::Count(const QString& text) {
    std::lock_guard<std::mutex> lock(g_mutex);
    int n = 0;
    for (const QString& m : g_messages)
        n += m.contains(text) ? 1 : 0;
    return n;
}

QStringList QtAppTest::Messages() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_messages;
}

}  // namespace cordlinktest
