#include "dep/QtComponent/ffmpeg/ffmpeg-hardware-codec-detector.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test-host.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/hwcontext.h>
#include <libavutil/log.h>
}

namespace {

class HardwareCodecDetectorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { av_log_set_level(AV_LOG_QUIET); }
    zutest::TestHost host_;
};

// Whether a device of this type can be opened here at all, asked of FFmpeg
// directly so the expectations below follow the machine the tests run on.
bool DeviceExists(const std::string& name) {
    AVHWDeviceType type = av_hwdevice_find_type_by_name(name.c_str());
    if (type == AV_HWDEVICE_TYPE_NONE)
        return false;
    AVBufferRef* device = nullptr;
    if (av_hwdevice_ctx_create(&device, type, nullptr, nullptr, 0) < 0)
        return false;
    av_buffer_unref(&device);
    return true;
}

TEST_F(HardwareCodecDetectorTest, CandidateTablesInTheirOrder) {
    EXPECT_EQ(HardwareCodecDetector::EncoderCandidates(),
              (std::vector<std::string>{"h264_nvenc", "h264_amf", "h264_qsv"}));
    EXPECT_EQ(HardwareCodecDetector::DeviceTypeCandidates(),
              (std::vector<std::string>{"cuda", "dxva2", "drm", "opencl", "qsv", "vaapi", "vdpau",
                                        "vulkan"}));
}

TEST_F(HardwareCodecDetectorTest, ListsStayEmptyWithoutDetection) {
    // No test in this program calls detect() on the singleton before this one.
    EXPECT_TRUE(HardwareCodecDetector::instance()->hardwareEncoders().empty());
    EXPECT_TRUE(HardwareCodecDetector::instance()->hardwareDeviceTypes().empty());
    EXPECT_EQ(HardwareCodecDetector::instance(), HardwareCodecDetector::instance());
}

TEST_F(HardwareCodecDetectorTest, DetectionLogsEveryCandidateAndKeepsThePassingOnes) {
    HardwareCodecDetector* detector = HardwareCodecDetector::instance();
    detector->detect();
    std::vector<std::string> encoders = detector->hardwareEncoders();
    std::vector<std::string> devices = detector->hardwareDeviceTypes();

    auto check = [&](const std::vector<std::string>& table, const std::vector<std::string>& kept) {
        std::vector<std::string> passed;
        for (const std::string& name : table) {
            int yes = host_.count("\"" + name + " is supported\"");
            int no = host_.count("\"" + name + " is unsupported\"");
            EXPECT_EQ(yes + no, 1) << name;
            if (yes)
                passed.push_back(name);
        }
        EXPECT_EQ(kept, passed);  // table order, nothing else
    };
    check(HardwareCodecDetector::EncoderCandidates(), encoders);
    check(HardwareCodecDetector::DeviceTypeCandidates(), devices);

    // Never on Linux: a Windows-only encoder and a Windows-only device type.
    EXPECT_TRUE(host_.contains("Could not find codec by name[h264_amf]"));
    EXPECT_TRUE(host_.contains("h264_amf is unsupported"));
    EXPECT_TRUE(host_.contains("Decoder h264 does not support device type dxva2."));
    EXPECT_TRUE(host_.contains("dxva2 is unsupported"));

    bool anyDevice = false;
    for (const std::string& name : HardwareCodecDetector::DeviceTypeCandidates()) {
        anyDevice |= DeviceExists(name);
    }
    if (!anyDevice) {
        // The machine this project is tested on: software decoding only.
        EXPECT_TRUE(devices.empty());
        EXPECT_TRUE(host_.contains("H.264 decoding stays in software"));
        EXPECT_TRUE(host_.contains("cuda is unsupported"));
        EXPECT_EQ(host_.count("\"vaapi is unsupported\""), 1);
    }
    if (!DeviceExists("cuda")) {
        EXPECT_TRUE(host_.contains("h264_nvenc is unsupported"));
        EXPECT_TRUE(host_.contains("Failed to open codec for h264_nvenc"));
    }

    // Running it again starts over instead of appending.
    detector->detect();
    EXPECT_EQ(detector->hardwareEncoders(), encoders);
    EXPECT_EQ(detector->hardwareDeviceTypes(), devices);
}

TEST_F(HardwareCodecDetectorTest, UnknownDeviceTypeIsUnsupportedSilently) {
    size_t before = host_.lines().size();
    EXPECT_FALSE(HardwareCodecDetector::TestDeviceType("no-such-device"));
    EXPECT_FALSE(HardwareCodecDetector::TestDeviceType(""));
    EXPECT_EQ(host_.lines().size(), before);
}

TEST_F(HardwareCodecDetectorTest, DeviceTypeWithoutDecoderConfigurationIsRefused) {
    EXPECT_FALSE(HardwareCodecDetector::TestDeviceType("dxva2"));
    EXPECT_EQ(host_.count("Decoder h264 does not support device type dxva2."), 1);
    // Refused before any context was made.
    EXPECT_FALSE(host_.contains("avcodec_alloc_context3 end!"));
}

TEST_F(HardwareCodecDetectorTest, MissingDeviceFreesItsContext) {
    const AVCodec* h264 = avcodec_find_decoder(AV_CODEC_ID_H264);
    if (HardwareCodecDetector::SurfaceFormatFor(h264, AV_HWDEVICE_TYPE_CUDA) < 0) {
        GTEST_SKIP() << "this FFmpeg has no CUDA decoding";
    }
    if (DeviceExists("cuda"))
        GTEST_SKIP() << "a CUDA device exists here";
    size_t before = host_.lines().size();
    EXPECT_FALSE(HardwareCodecDetector::TestDeviceType("cuda"));
    EXPECT_EQ(HardwareCodecDetector::HardwareSurfaceFormat(), AV_PIX_FMT_CUDA);
    std::vector<std::string> all = host_.lines();
    std::vector<std::string> lines(all.begin() + static_cast<long>(before), all.end());
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_NE(lines[0].find("avcodec_alloc_context3 end!"), std::string::npos);
    EXPECT_NE(lines[1].find("av_hwdevice_ctx_create end!"), std::string::npos);
    EXPECT_NE(lines[2].find("[E][bg]"), std::string::npos);
    EXPECT_NE(lines[2].find("Failed to create specified HW device."), std::string::npos);
    EXPECT_NE(lines[3].find("avcodec_free_context end!"), std::string::npos);
}

TEST_F(HardwareCodecDetectorTest, EncoderTestRunsThroughAnEncoderThatOpens) {
    // libx264 is no hardware encoder, but it opens everywhere and so walks the
    // whole test: configuration, the 64x64 picture, the send.
    EXPECT_TRUE(HardwareCodecDetector::TestEncoder("libx264"));
    EXPECT_TRUE(host_.contains("avcodec_free_context end!"));
    EXPECT_FALSE(host_.contains("Error during encode"));
}

TEST_F(HardwareCodecDetectorTest, EncoderThatIsMissingOrCannotOpen) {
    EXPECT_FALSE(HardwareCodecDetector::TestEncoder("no_such_encoder"));
    EXPECT_TRUE(host_.contains("Could not find codec by name[no_such_encoder]"));
    if (!DeviceExists("cuda") && avcodec_find_encoder_by_name("h264_nvenc")) {
        EXPECT_FALSE(HardwareCodecDetector::TestEncoder("h264_nvenc"));
        EXPECT_TRUE(host_.contains("Failed to open codec for h264_nvenc"));
        EXPECT_EQ(host_.count("avcodec_free_context end!"), 1);
    }
}

TEST_F(HardwareCodecDetectorTest, SurfaceFormatNeedsADeviceContextConfiguration) {
    const AVCodec* h264 = avcodec_find_decoder(AV_CODEC_ID_H264);
    EXPECT_EQ(HardwareCodecDetector::SurfaceFormatFor(nullptr, AV_HWDEVICE_TYPE_VAAPI), -1);
    EXPECT_EQ(HardwareCodecDetector::SurfaceFormatFor(h264, AV_HWDEVICE_TYPE_DXVA2), -1);
    EXPECT_EQ(HardwareCodecDetector::SurfaceFormatFor(h264, AV_HWDEVICE_TYPE_NONE), -1);
    for (int i = 0;; ++i) {
        const AVCodecHWConfig* config = avcodec_get_hw_config(h264, i);
        if (!config)
            break;
        if (config->methods & AV_CODEC_HW_CONFIG_METHOD_HW_DEVICE_CTX) {
            EXPECT_EQ(HardwareCodecDetector::SurfaceFormatFor(h264, config->device_type),
                      config->pix_fmt);
        }
    }
}

}  // namespace
