// Screenshots land in a folder the user picks, which may be shared with
// others (a 0777 folder): a link planted under the screenshot's name, or
// under the name of the writability probe, must never lead a write elsewhere.
#include "screenshot-writer.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QString>

#include <filesystem>
#include <string>

#include "output-path.h"
#include "platform/files.h"
#include "tests/dep/recorder/recorder-test-util.h"
#include "tests/support/temp-dir.h"

namespace {

namespace fs = std::filesystem;

class PlantedLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(shared_);
        fs::permissions(shared_, fs::perms::all);
        ASSERT_EQ(platform::WriteWholeFile(victim_, "precious"), 8);
    }
    void Plant(const std::string& path) { fs::create_symlink(victim_, path); }
    std::string VictimText() const {
        std::string text;
        platform::ReadWholeFile(victim_, &text);
        return text;
    }

    zutest::TempDir dir_;
    const std::string shared_ = dir_.file("shared");
    const std::string victim_ = dir_.file("victim");
};

TEST_F(PlantedLinkTest, AScreenshotBecomesAFileOfItsOwn) {
    const std::string path = shared_ + "/ZuCam_shot[20260101120000].png";
    Plant(path);
    EXPECT_EQ(ScreenshotWriter::WritePng(rectest::Picture(64, 48, 3, 0), path), path);
    EXPECT_EQ(VictimText(), "precious");
    EXPECT_FALSE(fs::is_symlink(path));
    const QImage written(QString::fromStdString(path));
    EXPECT_EQ(written.size(), QSize(64, 48));
}

TEST_F(PlantedLinkTest, TheWritabilityProbeNeverWritesThroughALink) {
    const std::string path = shared_ + "/ZuCam_shot[20260101120001].png";
    Plant(path + ".txt");
    std::string message;
    EXPECT_TRUE(output_path::Check(shared_, path, &message)) << message;
    EXPECT_EQ(VictimText(), "precious");
    EXPECT_FALSE(fs::exists(path + ".txt")) << "the probe is removed again";
    EXPECT_TRUE(fs::exists(victim_));
}

}  // namespace
