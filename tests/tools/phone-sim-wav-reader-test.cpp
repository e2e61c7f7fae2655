#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/files.h"
#include "tests/support/temp-dir.h"
#include "tools/phone-sim/wav-reader.h"

namespace phonesim {
namespace {

std::string Le16(unsigned v) {
    return std::string{char(v & 0xff), char((v >> 8) & 0xff)};
}
std::string Le32(uint32_t v) {
    return Le16(v & 0xffff) + Le16(v >> 16);
}

std::string Chunk(const std::string& id, const std::string& body, uint32_t declared = 0) {
    std::string c = id + Le32(declared ? declared : static_cast<uint32_t>(body.size())) + body;
    if (body.size() % 2)
        c.push_back('\0');  // RIFF pads odd chunks
    return c;
}

std::string Fmt(unsigned tag, unsigned channels, uint32_t rate, unsigned bits) {
    unsigned align = channels * bits / 8;
    return Le16(tag) + Le16(channels) + Le32(rate) + Le32(rate * align) + Le16(align) + Le16(bits);
}

std::string Riff(const std::string& chunks) {
    return "RIFF" + Le32(4 + chunks.size()) + "WAVE" + chunks;
}

// Frames 0..n-1 of a ramp, `channels` samples each.
std::string Ramp(int frames, unsigned channels) {
    std::string pcm;
    for (int i = 0; i < frames; ++i) {
        for (unsigned c = 0; c < channels; ++c)
            pcm += Le16(static_cast<unsigned>(i * 10 + c));
    }
    return pcm;
}

class PhoneSimWavReader : public ::testing::Test {
protected:
    bool Open(const std::string& bytes) {
        EXPECT_GE(platform::WriteWholeFile(dir_.file("a.wav"), bytes), 0);
        return reader_.Open(dir_.file("a.wav"), &error_);
    }
    std::string ReadAll(size_t block) {
        std::string all, pcm;
        while (reader_.Read(block, &pcm) > 0)
            all += pcm;
        return all;
    }

    zutest::TempDir dir_;
    WavReader reader_;
    std::string error_;
};

TEST_F(PhoneSimWavReader, ReadsPlainPcmInBlocks) {
    std::string pcm = Ramp(100, 2);
    ASSERT_TRUE(Open(Riff(Chunk("fmt ", Fmt(1, 2, 44100, 16)) + Chunk("data", pcm)))) << error_;
    EXPECT_EQ(reader_.sampleRate(), 44100u);
    EXPECT_EQ(reader_.channels(), 2u);
    EXPECT_EQ(reader_.totalFrames(), 100u);
    std::string block;
    EXPECT_EQ(reader_.Read(30, &block), 30u);
    EXPECT_EQ(block, pcm.substr(0, 120));
    EXPECT_EQ(ReadAll(30), pcm.substr(120));  // 30 + 30 + 10 frames
    EXPECT_TRUE(reader_.Rewind());
    EXPECT_EQ(ReadAll(64), pcm);
}

TEST_F(PhoneSimWavReader, SkipsOtherChunksAndTheirPadBytes) {
    std::string pcm = Ramp(9, 1);
    // An odd-sized LIST chunk before fmt, an odd "junk" chunk between fmt and data.
    ASSERT_TRUE(Open(Riff(Chunk("LIST", "abcde") + Chunk("fmt ", Fmt(1, 1, 8000, 16)) +
                          Chunk("junk", "x") + Chunk("data", pcm) + Chunk("cue ", "1234"))))
        << error_;
    EXPECT_EQ(ReadAll(4), pcm);
}

TEST_F(PhoneSimWavReader, AcceptsExtensiblePcmAndFmtAfterData) {
    std::string ext = Fmt(0xFFFE, 1, 16000, 16) + Le16(22) + Le16(16) + Le32(4) + Le16(1) +
                      std::string(14, '\x01');
    std::string pcm = Ramp(5, 1);
    ASSERT_TRUE(Open(Riff(Chunk("fmt ", ext) + Chunk("data", pcm)))) << error_;
    EXPECT_EQ(ReadAll(100), pcm);

    ASSERT_TRUE(Open(Riff(Chunk("data", pcm) + Chunk("fmt ", Fmt(1, 1, 8000, 16))))) << error_;
    EXPECT_EQ(ReadAll(100), pcm);
}

TEST_F(PhoneSimWavReader, DataSizeBeyondTheFileIsCutToTheFile) {
    // As written to a pipe: size 0xFFFFFFFF; also a half frame at the end.
    std::string pcm = Ramp(7, 2) + "\x01\x02";
    ASSERT_TRUE(Open(Riff(Chunk("fmt ", Fmt(1, 2, 48000, 16)) + "data" + Le32(0xFFFFFFFFu) + pcm)))
        << error_;
    EXPECT_EQ(reader_.totalFrames(), 7u);
    EXPECT_EQ(ReadAll(3), Ramp(7, 2));
}

TEST_F(PhoneSimWavReader, RefusesWhatCannotBeStreamed) {
    const std::string pcm = Ramp(4, 1);
    struct Case {
        std::string bytes;
        const char* reason;
    } cases[] = {
        {"RIFX" + Le32(4) + "WAVE", "not a WAV file"},
        {"RIFF" + Le32(4) + "AVI ", "not a WAV file"},
        {"RIF", "not a WAV file"},
        {Riff(Chunk("fmt ", Fmt(1, 1, 8000, 8)) + Chunk("data", pcm)), "8-bit"},
        {Riff(Chunk("fmt ", Fmt(1, 1, 8000, 24)) + Chunk("data", pcm)), "24-bit"},
        {Riff(Chunk("fmt ", Fmt(3, 1, 8000, 32)) + Chunk("data", pcm)), "not PCM"},
        {Riff(Chunk("fmt ", Fmt(0xFFFE, 1, 8000, 16)) + Chunk("data", pcm)), "not PCM"},
        {Riff(Chunk("fmt ", Fmt(1, 0, 8000, 16)) + Chunk("data", pcm)), "0 channels"},
        {Riff(Chunk("fmt ", Fmt(1, 9, 8000, 16)) + Chunk("data", pcm)), "9 channels"},
        {Riff(Chunk("fmt ", Fmt(1, 1, 0, 16)) + Chunk("data", pcm)), "sample rate"},
        {Riff(Chunk("fmt ", "short") + Chunk("data", pcm)), "malformed fmt"},
        {Riff(Chunk("fmt ", Fmt(1, 1, 8000, 16), 4000) + Chunk("data", pcm)), "malformed fmt"},
        {Riff(Chunk("data", pcm)), "no fmt chunk"},
        {Riff(Chunk("fmt ", Fmt(1, 1, 8000, 16))), "no data chunk"},
        {Riff(Chunk("fmt ", Fmt(1, 1, 8000, 16)) + Chunk("data", "")), "holds no audio"},
        {Riff(Chunk("fmt ", Fmt(1, 2, 8000, 16)) + Chunk("data", "\x01\x02")), "holds no audio"},
    };
    for (const Case& c : cases) {
        WavReader reader;
        ASSERT_GE(platform::WriteWholeFile(dir_.file("bad.wav"), c.bytes), 0);
        EXPECT_FALSE(reader.Open(dir_.file("bad.wav"), &error_)) << c.reason;
        EXPECT_NE(error_.find(c.reason), std::string::npos) << error_;
    }
    // Block align that does not match the channels.
    std::string odd = Le16(1) + Le16(2) + Le32(8000) + Le32(32000) + Le16(6) + Le16(16);
    EXPECT_FALSE(Open(Riff(Chunk("fmt ", odd) + Chunk("data", pcm))));
    EXPECT_NE(error_.find("block align"), std::string::npos) << error_;
    WavReader absent;
    EXPECT_FALSE(absent.Open(dir_.file("absent.wav"), &error_));
    EXPECT_NE(error_.find("absent.wav"), std::string::npos);
}

}  // namespace
}  // namespace phonesim
