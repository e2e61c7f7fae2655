#include "dep/QtComponent/media-socket/connection.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dep/QtComponent/media-socket/acceptor.h"
#include "tests/dep/media-socket/loop-runner.h"
#include "tests/dep/media-socket/test-peer.h"

namespace media_socket {
namespace {

using mstest::LoopRunner;
using mstest::TcpPeer;
using mstest::WaitUntil;

// A loop with an acceptor on 127.0.0.1 that keeps the accepted socket and
// records every delivery of the connection made from it.
class ConnectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        acceptor_.reset(new Acceptor(runner_.loop()));
        acceptor_->SetNewConnectionCallback([this](Socket&& s) {
            std::lock_guard<std::mutex> lock(mutex_);
            pending_ = std::move(s);
        });
        ASSERT_TRUE(acceptor_->Listen("127.0.0.1", 0));
        runner_.Start();
        ASSERT_TRUE(peer_.Connect(acceptor_->Port()));
        ASSERT_TRUE(WaitUntil([this] {
            std::lock_guard<std::mutex> lock(mutex_);
            return pending_.IsValid();
        }));
    }

    void TearDown() override {
        runner_.RunInLoop([this] {
            connection_.reset();
            acceptor_.reset();
        });
        runner_.Stop();
    }

    // Builds the connection on the loop thread; `start` registers it.
    void MakeConnection(bool start, unsigned buffer_size = 0) {
        ASSERT_TRUE(runner_.RunInLoop([=] {
            connection_.reset(new Connection(runner_.loop(), std::move(pending_)));
            connection_->SetMessageCallback([this](char* data, int len) {
                std::lock_guard<std::mutex> lock(mutex_);
                sizes_.push_back(len);
                if (len > 0)
                    bytes_.append(data, static_cast<size_t>(len));
            });
            if (buffer_size)
                connection_->SetBufferSize(buffer_size);
            if (start)
                connection_->Start();
        }));
    }

    std::vector<int> Sizes() {
        std::lock_guard<std::mutex> lock(mutex_);
        return sizes_;
    }
    std::string Bytes() {
        std::lock_guard<std::mutex> lock(mutex_);
        return bytes_;
    }

    LoopRunner runner_;
    std::unique_ptr<Acceptor> acceptor_;
    std::unique_ptr<Connection> connection_;
    TcpPeer peer_;
    std::mutex mutex_;
    Socket pending_;
    std::vector<int> sizes_;
    std::string bytes_;
};

TEST_F(ConnectionTest, NothingIsReadBeforeStart) {
    MakeConnection(false);
    ASSERT_TRUE(peer_.Send("early"));
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    EXPECT_TRUE(Sizes().empty());
    ASSERT_TRUE(runner_.RunInLoop([this] { connection_->Start(); }));
    EXPECT_TRUE(WaitUntil([this] { return Bytes() == "early"; }));
}

TEST_F(ConnectionTest, TenThousandBytesComeInBufferSizedDeliveries) {
    MakeConnection(false);
    std::string data = mstest::Pattern(10000);
    ASSERT_TRUE(peer_.Send(data));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));  // all queued in the kernel
    ASSERT_TRUE(runner_.RunInLoop([this] { connection_->Start(); }));
    ASSERT_TRUE(WaitUntil([this] { return Bytes().size() == 10000; }));
    EXPECT_EQ(Sizes(), (std::vector<int>{4096, 4096, 1808}));
    EXPECT_EQ(Bytes(), data);
}

TEST_F(ConnectionTest, PeerCloseDeliversZeroLength) {
    MakeConnection(true);
    ASSERT_TRUE(peer_.Send("bye"));
    peer_.Close();
    ASSERT_TRUE(WaitUntil([this] {
        auto s = Sizes();
        return !s.empty() && s.back() == 0;
    }));
    auto sizes = Sizes();
    EXPECT_EQ(Bytes(), "bye");
    EXPECT_GE(sizes.size(), 2u);
    for (int n : sizes)
        EXPECT_GE(n, 0);
}

TEST_F(ConnectionTest, LargerBufferTakesLargerDeliveries) {
    MakeConnection(false, 64u * 1024 * 1024);
    EXPECT_EQ(connection_->BufferSize(), 64u * 1024 * 1024);
    std::string data = mstest::Pattern(60000, 3);
    ASSERT_TRUE(peer_.Send(data));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    ASSERT_TRUE(runner_.RunInLoop([this] { connection_->Start(); }));
    ASSERT_TRUE(WaitUntil([this] { return Bytes().size() == 60000; }));
    EXPECT_EQ(Sizes(), (std::vector<int>{60000}));
    EXPECT_EQ(Bytes(), data);
}

TEST_F(ConnectionTest, SendReachesPeerAndDestructionClosesIt) {
    MakeConnection(true);
    int sent = -1;
    ASSERT_TRUE(runner_.RunInLoop([&] { sent = connection_->Send("reply", 5); }));
    EXPECT_EQ(sent, 5);
    std::string got;
    ASSERT_TRUE(peer_.ReadExact(5, &got));
    EXPECT_EQ(got, "reply");
    size_t channels = 0;
    ASSERT_TRUE(runner_.RunInLoop([&] {
        connection_.reset();
        channels = runner_.loop()->ChannelCount();
    }));
    EXPECT_EQ(channels, 1u);  // only the acceptor is left
    EXPECT_TRUE(peer_.WaitClosed());
}

}  // namespace
}  // namespace media_socket
