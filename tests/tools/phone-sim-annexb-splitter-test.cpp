#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/files.h"
#include "tests/support/temp-dir.h"
#include "tools/phone-sim/annexb-file-source.h"
#include "tools/phone-sim/annexb-splitter.h"

namespace phonesim {
namespace {

std::string Nal(std::initializer_list<int> bytes, bool longCode = false) {
    std::string s = longCode ? std::string("\0\0\0\1", 4) : std::string("\0\0\1", 3);
    for (int b : bytes)
        s.push_back(static_cast<char>(b));
    return s;
}

// first_mb_in_slice is 0 when the byte after the NAL header has its top bit set.
const std::string kSps = Nal({0x67, 0x42, 0xc0, 0x1e, 0xd9}, true);
const std::string kPps = Nal({0x68, 0xce, 0x3c, 0x80}, true);
const std::string kAud = Nal({0x09, 0xf0}, true);
const std::string kSei = Nal({0x06, 0x05, 0x01, 0xaa, 0x80});
const std::string kIdr = Nal({0x65, 0x88, 0x84, 0x00, 0x21});
const std::string kIdrSecondSlice = Nal({0x65, 0x40, 0x11, 0x22});
const std::string kP1 = Nal({0x41, 0x9a, 0x02, 0x03});
const std::string kP2 = Nal({0x41, 0x9a, 0x04, 0x05, 0x06});

std::vector<AccessUnit> SplitAll(const std::string& data, size_t* skipped = nullptr) {
    AnnexBSplitter splitter(data);
    std::vector<AccessUnit> units;
    AccessUnit unit;
    while (splitter.Next(&unit))
        units.push_back(unit);
    if (skipped)
        *skipped = splitter.skippedBytes();
    return units;
}

TEST(PhoneSimAnnexBSplitter, StreamWithoutDelimitersSplitsAtEachFirstSlice) {
    auto units = SplitAll(kSps + kPps + kIdr + kP1 + kP2);
    ASSERT_EQ(units.size(), 3u);
    EXPECT_EQ(units[0].config, kSps + kPps);
    EXPECT_EQ(units[0].picture, kIdr);
    EXPECT_TRUE(units[0].key);
    EXPECT_TRUE(units[0].hasSlice);
    EXPECT_EQ(units[1].config, "");
    EXPECT_EQ(units[1].picture, kP1);
    EXPECT_FALSE(units[1].key);
    EXPECT_EQ(units[2].picture, kP2);
}

TEST(PhoneSimAnnexBSplitter, DelimitersStartUnitsAndStayWithThePicture) {
    auto units = SplitAll(kAud + kSps + kPps + kIdr + kAud + kP1 + kAud + kP2);
    ASSERT_EQ(units.size(), 3u);
    EXPECT_EQ(units[0].config, kSps + kPps);
    EXPECT_EQ(units[0].picture, kAud + kIdr);
    EXPECT_EQ(units[1].picture, kAud + kP1);
    EXPECT_EQ(units[2].picture, kAud + kP2);
}

TEST(PhoneSimAnnexBSplitter, SlicesOfOnePictureStayTogether) {
    auto units = SplitAll(kSps + kPps + kIdr + kIdrSecondSlice + kP1);
    ASSERT_EQ(units.size(), 2u);
    EXPECT_EQ(units[0].picture, kIdr + kIdrSecondSlice);
    EXPECT_EQ(units[1].picture, kP1);
}

TEST(PhoneSimAnnexBSplitter, SeiAndRepeatedParameterSetsOpenTheNextUnit) {
    auto units = SplitAll(kSps + kPps + kIdr + kSei + kP1 + kSps + kPps + kIdr);
    ASSERT_EQ(units.size(), 3u);
    EXPECT_EQ(units[1].picture, kSei + kP1);
    EXPECT_EQ(units[1].config, "");
    EXPECT_EQ(units[2].config, kSps + kPps);
    EXPECT_TRUE(units[2].key);
}

TEST(PhoneSimAnnexBSplitter, TruncatedTailIsKeptAsItIs) {
    std::string data = kSps + kPps + kIdr + kP1;
    std::string cut = data.substr(0, data.size() - 2);  // the P slice lost its last bytes
    auto units = SplitAll(cut);
    ASSERT_EQ(units.size(), 2u);
    EXPECT_EQ(units[1].picture, kP1.substr(0, kP1.size() - 2));

    // Trailing zero bytes (a start code cut short) stay with the last unit.
    units = SplitAll(data + std::string("\0\0", 2));
    ASSERT_EQ(units.size(), 2u);
    EXPECT_EQ(units[1].picture, kP1 + std::string("\0\0", 2));

    // A start code with nothing after it carries no NAL unit.
    size_t skipped = 0;
    units = SplitAll(data + std::string("\0\0\0\1", 4), &skipped);
    ASSERT_EQ(units.size(), 2u);
    EXPECT_EQ(units[1].picture, kP1);
    EXPECT_EQ(skipped, 4u);
}

TEST(PhoneSimAnnexBSplitter, JunkBeforeTheFirstStartCodeIsSkipped) {
    size_t skipped = 0;
    auto units = SplitAll("junk" + kSps + kPps + kIdr, &skipped);
    ASSERT_EQ(units.size(), 1u);
    // Three of the start code's four bytes make the match, the zero before it is its
    // zero_byte: only the four junk bytes are lost.
    EXPECT_EQ(skipped, 4u);
    EXPECT_EQ(units[0].config, kSps + kPps);
    EXPECT_TRUE(SplitAll("no start code at all").empty());
    EXPECT_TRUE(SplitAll("").empty());
    EXPECT_TRUE(SplitAll(std::string("\0\0\1", 3)).empty());
}

TEST(PhoneSimAnnexBSplitter, RewindStartsOver) {
    AnnexBSplitter splitter(kSps + kPps + kIdr + kP1);
    AccessUnit a, b;
    ASSERT_TRUE(splitter.Next(&a));
    ASSERT_TRUE(splitter.Next(&b));
    EXPECT_FALSE(splitter.Next(&b));
    splitter.Rewind();
    AccessUnit again;
    ASSERT_TRUE(splitter.Next(&again));
    EXPECT_EQ(again.config, a.config);
    EXPECT_EQ(again.picture, a.picture);
}

TEST(PhoneSimAnnexBSplitter, ClassifySortsOnePacket) {
    AccessUnit unit = AnnexBSplitter::Classify((kSps + kPps + kSei + kIdr).data(),
                                               (kSps + kPps + kSei + kIdr).size());
    EXPECT_EQ(unit.config, kSps + kPps);
    EXPECT_EQ(unit.picture, kSei + kIdr);
    EXPECT_TRUE(unit.key);
}

// Arbitrary bytes rich in 00 and 01: no byte may be lost or invented, and (under
// AddressSanitizer) nothing may be read out of bounds.
TEST(PhoneSimAnnexBSplitter, ArbitraryInputAccountsForEveryByte) {
    std::mt19937 random(1234);
    const char alphabet[] = {0, 0, 0, 1, 1, 0x65, 0x41, 0x09, 0x67, 0x68, 0x06, '\x80', 0x7f};
    for (int round = 0; round < 300; ++round) {
        std::string data(random() % 200, '\0');
        for (char& c : data)
            c = alphabet[random() % sizeof alphabet];
        size_t skipped = 0;
        size_t total = 0;
        for (const AccessUnit& u : SplitAll(data, &skipped)) {
            total += u.config.size() + u.picture.size();
        }
        ASSERT_EQ(total + skipped, data.size()) << "round " << round;
    }
}

TEST(PhoneSimAnnexBFileSource, ReadsLoopsAndRefusesNonH264) {
    zutest::TempDir dir;
    std::string error;
    ASSERT_GE(platform::WriteWholeFile(dir.file("clip.h264"), kSps + kPps + kIdr + kP1), 0);
    AnnexBFileSource once;
    ASSERT_TRUE(once.Open(dir.file("clip.h264"), 25, false, &error)) << error;
    EXPECT_EQ(once.fps(), 25);
    AccessUnit unit;
    EXPECT_EQ(once.Next(&unit, &error), 1);
    EXPECT_EQ(once.Next(&unit, &error), 1);
    EXPECT_EQ(once.Next(&unit, &error), 0);

    AnnexBFileSource looped;
    ASSERT_TRUE(looped.Open(dir.file("clip.h264"), 25, true, &error));
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(looped.Next(&unit, &error), 1);
    EXPECT_EQ(unit.config, kSps + kPps);  // the fifth unit is the first one again

    AnnexBFileSource missing;
    EXPECT_FALSE(missing.Open(dir.file("absent.h264"), 25, false, &error));
    EXPECT_NE(error.find("absent.h264"), std::string::npos);

    ASSERT_GE(platform::WriteWholeFile(dir.file("text.h264"), "hello world"), 0);
    AnnexBFileSource text;
    EXPECT_FALSE(text.Open(dir.file("text.h264"), 25, false, &error));
    EXPECT_NE(error.find("start code"), std::string::npos);
}

}  // namespace
}  // namespace phonesim
