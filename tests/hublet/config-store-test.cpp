#include "hublet/config-store.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "tests/support/test-host.h"

namespace {

namespace fs = std::filesystem;

std::string ReadText(const std::string& path) {
    std::string text;
    platform::ReadWholeFile(path, &text);
    return text;
}

// Parses strictly, as a later start would.
bool ParseObject(const std::string& text, Json::Value* root) {
    Json::CharReaderBuilder builder;
    builder["failIfExtra"] = true;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errs;
    return reader->parse(text.data(), text.data() + text.size(), root, &errs) && root->isObject();
}

class ConfigStoreTest : public ::testing::Test {
protected:
    std::string path() const { return host_.dir() + "/store/settings.json"; }
    void writeRaw(const std::string& text) {
        fs::create_directories(fs::path(path()).parent_path());
        ASSERT_EQ(platform::WriteWholeFile(path(), text), static_cast<long long>(text.size()));
    }

    zutest::TestHost host_;
};

TEST_F(ConfigStoreTest, TextsOfAnyContentRoundTripExactly) {
    const std::map<std::string, std::string> samples = {
        {"empty", ""},
        {"quotes", "say \"hi\" and 'bye' \\ back\\slash"},
        {"lines", "one\ntwo\r\nthree\ttab\n"},
        {"utf8", "Zu虚拟摄像头 ✓ 😀 naïve"},
        {"control", std::string("\x01\x02\x1f\x7f", 4)},
        {"nul", std::string("a\0b", 3)},
        {"json-looking", "{\"k\": [1, 2]}"},
        {"键 with \"quote\"", "value"},
    };
    {
        bg::ConfigStore store(path());
        for (const auto& kv : samples)
            EXPECT_TRUE(store.set(kv.first, kv.second));
    }
    bg::ConfigStore reread(path());
    for (const auto& kv : samples) {
        bool found = false;
        EXPECT_EQ(reread.get(kv.first, &found), kv.second) << kv.first;
        EXPECT_TRUE(found) << kv.first;
    }
    EXPECT_TRUE(reread.quarantinedPath().empty());
}

TEST_F(ConfigStoreTest, EverySetIsOnDiskAtOnceAndLeavesNoTemporaryFile) {
    bg::ConfigStore store(path());
    bool found = true;
    EXPECT_EQ(store.get("missing", &found), "");
    EXPECT_FALSE(found);
    ASSERT_TRUE(store.set("a", "1"));
    Json::Value root;
    ASSERT_TRUE(ParseObject(ReadText(path()), &root));
    EXPECT_EQ(root["a"].asString(), "1");
    ASSERT_TRUE(store.set("a", "2"));
    ASSERT_TRUE(ParseObject(ReadText(path()), &root));
    EXPECT_EQ(root["a"].asString(), "2");
    for (const auto& entry : fs::directory_iterator(fs::path(path()).parent_path())) {
        EXPECT_EQ(entry.path().filename(), "settings.json");
    }
}

TEST_F(ConfigStoreTest, CorruptFileIsKeptAsideAndNeverOverwritten) {
    const std::string broken = "{\"cfg_save_dir\": \"/home/u\", ";
    writeRaw(broken);
    host_.clear();
    {
        bg::ConfigStore store(path());
        bool found = true;
        store.get("cfg_save_dir", &found);
        EXPECT_FALSE(found);
        EXPECT_EQ(store.quarantinedPath(), path() + ".bad");
        EXPECT_TRUE(host_.contains("is not valid JSON"));
        EXPECT_TRUE(host_.contains("kept as " + path() + ".bad"));
        EXPECT_TRUE(store.set("k", "v"));
    }
    EXPECT_EQ(ReadText(path() + ".bad"), broken);

    // A second broken file does not replace the first one kept aside.
    writeRaw("[1, 2, 3]");
    bg::ConfigStore again(path());
    EXPECT_EQ(again.quarantinedPath(), path() + ".bad.2");
    EXPECT_EQ(ReadText(path() + ".bad"), broken);
    EXPECT_EQ(ReadText(path() + ".bad.2"), "[1, 2, 3]");
    EXPECT_TRUE(host_.contains("is not a JSON object"));
}

TEST_F(ConfigStoreTest, HostileFilesAreQuarantinedNotFatal) {
    const std::vector<std::string> files = {
        "",                                                   // truncated to nothing
        std::string(100000, '[') + std::string(100000, ']'),  // deeper than JsonCpp's stack
        "{\"a\": \"1\", \"a\": \"2\"}",                       // duplicate key
        "{\"a\": \"1\"} trailing",
        "\"just a text\"",
        std::string("{\"a\":\"\xff\xfe\""),  // cut off mid-text
    };
    for (size_t i = 0; i < files.size(); ++i) {
        writeRaw(files[i]);
        bg::ConfigStore store(path());
        EXPECT_FALSE(store.quarantinedPath().empty()) << "file " << i;
        EXPECT_FALSE(platform::FileExists(path())) << "file " << i;
        EXPECT_TRUE(store.set("after", "ok")) << "file " << i;
    }
}

TEST_F(ConfigStoreTest, UnreadableOrHugeFileIsQuarantined) {
    fs::create_directories(path());  // a folder where the file should be
    {
        bg::ConfigStore store(path());
        EXPECT_EQ(store.quarantinedPath(), path() + ".bad");
        EXPECT_TRUE(fs::is_directory(path() + ".bad"));
        EXPECT_TRUE(host_.contains("cannot be read"));
        EXPECT_TRUE(store.set("k", "v"));
    }
    fs::remove(path());
    writeRaw("{}");
    fs::resize_file(path(), bg::ConfigStore::kMaxFileBytes + 1);
    bg::ConfigStore store(path());
    EXPECT_EQ(store.quarantinedPath(), path() + ".bad.2");
    EXPECT_TRUE(host_.contains("too large"));
}

TEST_F(ConfigStoreTest, FileThatCannotBeMovedAsideIsNeverOverwritten) {
    writeRaw("not json");
    // Every name a corrupt file could be kept under is taken.
    platform::WriteWholeFile(path() + ".bad", "older");
    for (int i = 2; i < 1000; ++i)
        platform::WriteWholeFile(path() + ".bad." + std::to_string(i), "x");
    bg::ConfigStore store(path());
    EXPECT_TRUE(store.readOnly());
    EXPECT_TRUE(host_.contains("cannot be moved aside"));
    EXPECT_FALSE(store.set("k", "v"));
    bool found = false;
    EXPECT_EQ(store.get("k", &found), "v");  // kept for this run
    EXPECT_TRUE(found);
    EXPECT_EQ(ReadText(path()), "not json");
    EXPECT_EQ(ReadText(path() + ".bad"), "older");
}

TEST_F(ConfigStoreTest, MembersThatAreNotTextsSurviveSaving) {
    writeRaw("{\"a\": \"x\", \"n\": 5, \"o\": {\"k\": [true]}}");
    bg::ConfigStore store(path());
    EXPECT_TRUE(store.quarantinedPath().empty());
    bool found = true;
    store.get("n", &found);
    EXPECT_FALSE(found);
    EXPECT_TRUE(host_.contains("settings key n is not a text"));
    ASSERT_TRUE(store.set("a", "y"));
    Json::Value root;
    ASSERT_TRUE(ParseObject(ReadText(path()), &root));
    EXPECT_EQ(root["a"].asString(), "y");
    EXPECT_EQ(root["n"].asInt(), 5);
    EXPECT_TRUE(root["o"]["k"][0].asBool());
    // Setting such a key makes it an ordinary text.
    ASSERT_TRUE(store.set("n", "6"));
    ASSERT_TRUE(ParseObject(ReadText(path()), &root));
    EXPECT_EQ(root["n"].asString(), "6");
}

TEST_F(ConfigStoreTest, SetsFromManyThreadsAllLand) {
    bg::ConfigStore store(path());
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&store, t] {
            for (int i = 0; i < 20; ++i) {
                store.set("t" + std::to_string(t) + "_" + std::to_string(i), std::to_string(i));
            }
        });
    }
    for (std::thread& th : threads)
        th.join();
    Json::Value root;
    ASSERT_TRUE(ParseObject(ReadText(path()), &root));
    EXPECT_EQ(root.size(), 80u);
    EXPECT_EQ(root["t3_19"].asString(), "19");
}

}  // namespace
