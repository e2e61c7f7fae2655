#include "single-application.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDataStream>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSharedMemory>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/paths.h"
#include "single-application-p.h"
#include "tests/app/probe-process.h"
#include "tests/support/temp-dir.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

void EnsureApplication() {
    static int argc = 1;
    static char name[] = "single_application_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

// ---- The block name ----

BlockNameParts SampleParts() {
    BlockNameParts parts;
    parts.applicationName = "zucam";
    parts.applicationVersion = "1.0.7";
    parts.applicationFilePath = "/opt/ZuCam/zucam";
    parts.userName = QString::fromUtf8("lì");
    return parts;
}

constexpr SingleApplication::Options kZuCamOptions =
    SingleApplication::User | SingleApplication::System | SingleApplication::SecondaryNotification;

TEST(BlockNameTest, HashOfTheIdentityInOrder) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QByteArray("SingleApplicationzucam1.0.7/opt/zucam/zucam") +
                 QString::fromUtf8("lì").toUtf8());
    const QString expected = QString::fromLatin1(hash.result().toBase64().replace('/', '_'));
    const QString name = MakeBlockName(SampleParts(), kZuCamOptions);
    EXPECT_EQ(name, expected);
    EXPECT_EQ(name.size(), 44);
    EXPECT_FALSE(name.contains('/'));
}

TEST(BlockNameTest, WhatChangesTheName) {
    const QString base = MakeBlockName(SampleParts(), kZuCamOptions);
    BlockNameParts parts = SampleParts();
    parts.userName = "other";
    EXPECT_NE(MakeBlockName(parts, kZuCamOptions), base) << "each user has a primary of its own";
    EXPECT_EQ(MakeBlockName(parts, SingleApplication::System),
              MakeBlockName(SampleParts(), SingleApplication::System))
        << "without the per-user option the user is not hashed";

    parts = SampleParts();
    parts.applicationFilePath = "/opt/ZuCam2/zucam";
    EXPECT_NE(MakeBlockName(parts, kZuCamOptions), base) << "copies at other paths are apart";
    EXPECT_EQ(MakeBlockName(parts, kZuCamOptions | SingleApplication::ExcludeAppPath),
              MakeBlockName(SampleParts(), kZuCamOptions | SingleApplication::ExcludeAppPath));
    parts.applicationFilePath = "/OPT/zucam/ZUCAM";
    EXPECT_EQ(MakeBlockName(parts, kZuCamOptions), base) << "the path is compared lower-cased";

    parts = SampleParts();
    parts.applicationVersion = "1.0.8";
    EXPECT_NE(MakeBlockName(parts, kZuCamOptions), base);
    EXPECT_EQ(MakeBlockName(parts, kZuCamOptions | SingleApplication::ExcludeAppVersion),
              MakeBlockName(SampleParts(), kZuCamOptions | SingleApplication::ExcludeAppVersion));
}

TEST(InstanceBlockTest, ChecksumIsX25OverTheFirst144Bytes) {
    InstanceBlock block;
    std::memset(&block, 0, sizeof(block));
    std::memcpy(&block, "123456789", 9);
    // The CRC-16/X.25 check value of "123456789" followed by 135 zero bytes.
    EXPECT_EQ(InstanceBlockChecksum(block), qChecksum(reinterpret_cast<const char*>(&block), 144));
    EXPECT_EQ(qChecksum("123456789", 9), 0x906E);
    const quint16 before = InstanceBlockChecksum(block);
    block.padding2[0] = 0xAA;  // beyond byte 143: not covered
    EXPECT_EQ(InstanceBlockChecksum(block), before);
    block.primaryUser[127] = 1;
    EXPECT_NE(InstanceBlockChecksum(block), before);
}

// ---- Real processes ----

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        probe_ = platform::GetEnv("ZUCAM_BIN_DIR") + "/single_app_probe";
        ASSERT_TRUE(platform::FileExists(probe_)) << probe_;
        // A name of its own per test: cases run in parallel.
        name_ = "zuprobe-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
    }

    QString blockNameFor(const std::string& program) const {
        BlockNameParts parts;
        parts.applicationName = QString::fromStdString(name_);
        parts.applicationFilePath = QFileInfo(QString::fromStdString(program)).canonicalFilePath();
        parts.userName = QString::fromStdString(platform::UserName());
        return MakeBlockName(parts, kZuCamOptions);
    }

    // Starts `probe run` and waits until it has decided what it is.
    bool startRun(zutest::ProbeProcess* p, const std::string& message = "show",
                  const std::string& program = std::string()) {
        if (!p->start({program.empty() ? probe_ : program, name_, "run", message}))
            return false;
        return p->waitFor("started", 10000);
    }

    void quitPrimary(zutest::ProbeProcess* primary) {
        zutest::ProbeProcess quitter(dir_, "quitter");
        ASSERT_TRUE(startRun(&quitter, "quit"));
        EXPECT_EQ(quitter.child().wait(10000), 0);
        EXPECT_EQ(primary->child().wait(10000), 0) << primary->output();
    }

    zutest::TempDir dir_;
    std::string probe_;
    std::string name_;
};

const std::string kShowHex = QByteArray("show").toHex().toStdString();

TEST_F(SingleInstanceTest, SecondStartDeliversShowAndExitsZero) {
    zutest::ProbeProcess primary(dir_, "primary");
    ASSERT_TRUE(startRun(&primary));
    ASSERT_TRUE(primary.waitFor("started primary=1 id=0", 100)) << primary.output();

    // The block as the primary recorded it.
    QSharedMemory memory(blockNameFor(probe_));
    ASSERT_TRUE(memory.attach(QSharedMemory::ReadOnly)) << memory.errorString().toStdString();
    ASSERT_GE(memory.size(), 152);
    ASSERT_TRUE(memory.lock());
    InstanceBlock block;
    std::memcpy(&block, memory.constData(), sizeof(block));
    memory.unlock();
    EXPECT_EQ(block.primary, 1);
    EXPECT_EQ(block.primaryPid, primary.child().pid());
    EXPECT_EQ(std::string(block.primaryUser), platform::UserName());
    EXPECT_EQ(block.checksum, InstanceBlockChecksum(block));
    EXPECT_EQ(block.secondary, 0u);

    zutest::ProbeProcess second(dir_, "second");
    ASSERT_TRUE(startRun(&second));
    EXPECT_EQ(second.child().wait(10000), 0);
    EXPECT_NE(second.output().find("started primary=0 id=1"), std::string::npos) << second.output();
    EXPECT_NE(second.output().find("sent 1"), std::string::npos) << second.output();

    ASSERT_TRUE(primary.waitFor("message 1 " + kShowHex, 5000)) << primary.output();
    EXPECT_EQ(primary.count("instanceStarted"), 1);
    EXPECT_EQ(primary.count("message "), 1) << "show arrives once";

    memory.detach();
    quitPrimary(&primary);
    // The last user of the block removed it.
    QSharedMemory gone(blockNameFor(probe_));
    EXPECT_FALSE(gone.attach());
}

TEST_F(SingleInstanceTest, ACopyAtAnotherPathIsAnotherApplication) {
    const std::string copy = dir_.file("single_app_probe_copy");
    fs::copy_file(probe_, copy);
    zutest::ProbeProcess first(dir_, "first");
    zutest::ProbeProcess second(dir_, "second");
    ASSERT_TRUE(startRun(&first));
    ASSERT_TRUE(startRun(&second, "show", copy));
    EXPECT_TRUE(first.waitFor("primary=1", 100));
    EXPECT_TRUE(second.waitFor("primary=1", 100)) << second.output();
    zutest::ProbeProcess q1(dir_, "q1");
    zutest::ProbeProcess q2(dir_, "q2");
    ASSERT_TRUE(startRun(&q1, "quit"));
    ASSERT_TRUE(startRun(&q2, "quit", copy));
    EXPECT_EQ(first.child().wait(10000), 0);
    EXPECT_EQ(second.child().wait(10000), 0);
}

// A client that talks to the primary's local server by hand.
class RawClient {
public:
    explicit RawClient(const QString& server) {
        socket_.connectToServer(server);
        connected_ = socket_.waitForConnected(3000);
    }
    bool connected() const { return connected_; }
    void send(const QByteArray& bytes) {
        socket_.write(bytes);
        socket_.waitForBytesWritten(3000);
    }
    // True when the primary hung up within the time.
    bool droppedWithin(int ms) {
        return socket_.state() == QLocalSocket::UnconnectedState || socket_.waitForDisconnected(ms);
    }
    void close() {
        socket_.disconnectFromServer();
        if (socket_.state() != QLocalSocket::UnconnectedState)
            socket_.waitForDisconnected(1000);
    }

private:
    QLocalSocket socket_;
    bool connected_ = false;
};

QByteArray InitPacket(const QByteArray& name, quint8 type, quint32 id, bool breakChecksum = false,
                      quint64 claimedLength = 0) {
    QByteArray init;
    QDataStream s(&init, QIODevice::WriteOnly);
    s.setVersion(QDataStream::Qt_5_6);
    s << name << type << id;
    quint16 checksum = qChecksum(init.constData(), static_cast<uint>(init.size()));
    if (breakChecksum)
        checksum ^= 0x5a5a;
    s << checksum;
    QByteArray header;
    QDataStream h(&header, QIODevice::WriteOnly);
    h.setVersion(QDataStream::Qt_5_6);
    h << (claimedLength ? claimedLength : static_cast<quint64>(init.size()));
    return header + init;
}

TEST_F(SingleInstanceTest, ClientsThatDoNotProveWhoTheyAreAreDroppedSilently) {
    zutest::ProbeProcess primary(dir_, "primary");
    ASSERT_TRUE(startRun(&primary));
    const QString server = blockNameFor(probe_);
    const QByteArray name = server.toLatin1();

    const std::vector<std::pair<const char*, QByteArray>> bad = {
        {"wrong name", InitPacket("not-the-block-name", 1, 5) + "show"},
        {"wrong checksum", InitPacket(name, 1, 5, true) + "show"},
        {"name with a tail", InitPacket(name + "x", 1, 5) + "show"},
        {"huge length", InitPacket(name, 1, 5, false, quint64(1) << 40) + "show"},
        {"zero length", QByteArray(8, '\0') + "show"},
    };
    for (const auto& attempt : bad) {
        RawClient client(server);
        ASSERT_TRUE(client.connected()) << attempt.first;
        client.send(attempt.second);
        EXPECT_TRUE(client.droppedWithin(3000)) << attempt.first;
    }
    // Bytes without any init message, then a hang-up: nothing goes through.
    {
        RawClient client(server);
        ASSERT_TRUE(client.connected());
        client.send("show");
        client.close();
    }
    {
        RawClient client(server);
        ASSERT_TRUE(client.connected());
        client.send(InitPacket(name, 1, 5).left(20));  // half an init, then gone
        client.close();
    }

    // A proper client right after: its message arrives, so the ones before
    // had their chance to show up.
    RawClient good(server);
    ASSERT_TRUE(good.connected());
    good.send(InitPacket(name, 3, 42) + "after");
    ASSERT_TRUE(primary.waitFor("message 42 " + QByteArray("after").toHex().toStdString(), 5000))
        << primary.output();
    EXPECT_EQ(primary.count("message "), 1) << primary.output();
    EXPECT_EQ(primary.count("instanceStarted"), 0) << "a reconnect is no new instance";
    good.close();
    quitPrimary(&primary);
}

TEST_F(SingleInstanceTest, MessageInTheInitPacketArrivesInTheSameRead) {
    zutest::ProbeProcess primary(dir_, "primary");
    ASSERT_TRUE(startRun(&primary));
    const QString server = blockNameFor(probe_);
    RawClient client(server);
    ASSERT_TRUE(client.connected());
    // One write: init of a new instance and the message. The connection stays
    // open, so nothing but the first read can deliver it.
    client.send(InitPacket(server.toLatin1(), 1, 9) + "show");
    ASSERT_TRUE(primary.waitFor("message 9 " + kShowHex, 5000)) << primary.output();
    EXPECT_EQ(primary.count("instanceStarted"), 1);
    // Later bytes come as later messages; what is left at hang-up still arrives.
    client.send("next");
    ASSERT_TRUE(primary.waitFor("message 9 " + QByteArray("next").toHex().toStdString(), 5000));
    client.send("last");
    client.close();
    ASSERT_TRUE(primary.waitFor("message 9 " + QByteArray("last").toHex().toStdString(), 5000));
    EXPECT_EQ(primary.count("message "), 3);
    quitPrimary(&primary);
}

TEST_F(SingleInstanceTest, KilledPrimaryIsTakenOverByTheNextStart) {
    zutest::ProbeProcess dead(dir_, "dead");
    ASSERT_TRUE(startRun(&dead));
    ASSERT_TRUE(dead.waitFor("primary=1", 100));
    const long deadPid = dead.child().pid();
    ASSERT_TRUE(dead.child().signal(true));
    ASSERT_EQ(dead.child().wait(5000), 128 + 9);

    // On Linux the block outlives the killed primary and still names it.
    // (Held attached until the next start: the last detach removes a block.)
    QSharedMemory memory(blockNameFor(probe_));
    ASSERT_TRUE(memory.attach(QSharedMemory::ReadOnly));
    const auto* block = static_cast<const InstanceBlock*>(memory.constData());
    EXPECT_EQ(block->primary, 1);
    EXPECT_EQ(block->primaryPid, deadPid);

    zutest::ProbeProcess next(dir_, "next");
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(startRun(&next));
    EXPECT_TRUE(next.waitFor("started primary=1", 100)) << next.output() << next.errors();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_TRUE(next.waitFor("is no longer running", 1000, true)) << next.errors();
    memory.detach();

    zutest::ProbeProcess third(dir_, "third");
    ASSERT_TRUE(startRun(&third));
    EXPECT_EQ(third.child().wait(10000), 0);
    EXPECT_TRUE(next.waitFor("message ", 5000)) << "the new primary serves later starts";
    quitPrimary(&next);
}

TEST_F(SingleInstanceTest, LockHeldByAKilledProcessIsReleased) {
    zutest::ProbeProcess holder(dir_, "holder");
    ASSERT_TRUE(holder.start({probe_, name_, "hold-lock", blockNameFor(probe_).toStdString()}));
    ASSERT_TRUE(holder.waitFor("locked", 10000)) << holder.errors();
    ASSERT_TRUE(holder.child().signal(true));
    ASSERT_EQ(holder.child().wait(5000), 128 + 9);

    // The lock is a System V semaphore changed with SEM_UNDO: the kernel gives
    // it back when its holder dies, so the next start does not hang.
    zutest::ProbeProcess next(dir_, "next");
    ASSERT_TRUE(startRun(&next));
    EXPECT_TRUE(next.waitFor("started primary=1", 100)) << next.output();
    quitPrimary(&next);
    // One more clean start and stop, so the block and its semaphore are
    // created and removed by a process that ends normally.
    zutest::ProbeProcess clean(dir_, "clean");
    ASSERT_TRUE(startRun(&clean));
    quitPrimary(&clean);
}

TEST_F(SingleInstanceTest, BlockLeftInconsistentIsTakenOverAfterFiveSeconds) {
    zutest::ProbeProcess dead(dir_, "dead");
    ASSERT_TRUE(startRun(&dead));
    ASSERT_TRUE(dead.child().signal(true));
    ASSERT_EQ(dead.child().wait(5000), 128 + 9);
    // A primary that died half-way through writing the block.
    QSharedMemory memory(blockNameFor(probe_));
    ASSERT_TRUE(memory.attach());
    ASSERT_TRUE(memory.lock());
    static_cast<InstanceBlock*>(memory.data())->checksum ^= 0xffff;
    ASSERT_TRUE(memory.unlock());

    zutest::ProbeProcess next(dir_, "next");
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(startRun(&next));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 4500ms);
    EXPECT_TRUE(next.waitFor("started primary=1", 100)) << next.output();
    EXPECT_TRUE(next.waitFor("inconsistent state from more than 5s", 100, true)) << next.errors();
    memory.detach();
    quitPrimary(&next);
}

}  // namespace
