#include "web/web-certificate.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/files.h"
#include "tests/support/temp-dir.h"

namespace {

namespace fs = std::filesystem;

TEST(WebCertificateTest, MadeOnceKeptPrivateAndReusedAfterwards) {
    zutest::TempDir dir;
    const std::string folder = dir.file("ZuCam");
    WebCertificate first;
    std::string error;
    ASSERT_TRUE(first.LoadOrCreate(folder, &error)) << error;
    EXPECT_TRUE(WebCertificate::Matches(first.CertPem(), first.KeyPem()));
    const auto keyPerms = fs::status(folder + "/" + WebCertificate::kKeyFile).permissions();
    EXPECT_EQ(keyPerms & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);

    WebCertificate again;
    ASSERT_TRUE(again.LoadOrCreate(folder, &error)) << error;
    EXPECT_EQ(again.CertPem(), first.CertPem());
    EXPECT_EQ(again.KeyPem(), first.KeyPem());
}

TEST(WebCertificateTest, APairThatDoesNotBelongTogetherIsMadeAnew) {
    zutest::TempDir dir;
    std::string certA, keyA, certB, keyB, error;
    ASSERT_TRUE(WebCertificate::Generate(&certA, &keyA, &error));
    ASSERT_TRUE(WebCertificate::Generate(&certB, &keyB, &error));
    EXPECT_NE(certA, certB);
    EXPECT_FALSE(WebCertificate::Matches(certA, keyB));
    EXPECT_FALSE(WebCertificate::Matches("garbage", keyA));
    ASSERT_GT(platform::WriteWholeFile(dir.file(WebCertificate::kCertFile), certA), 0);
    ASSERT_GT(platform::WriteWholeFile(dir.file(WebCertificate::kKeyFile), keyB), 0);
    WebCertificate c;
    ASSERT_TRUE(c.LoadOrCreate(dir.path(), &error)) << error;
    EXPECT_NE(c.CertPem(), certA);
    EXPECT_TRUE(WebCertificate::Matches(c.CertPem(), c.KeyPem()));
    std::string stored;
    ASSERT_TRUE(platform::ReadWholeFile(dir.file(WebCertificate::kKeyFile), &stored));
    EXPECT_EQ(stored, c.KeyPem());
}

TEST(WebCertificateTest, AFolderThatCannotBeMadeIsAFailureWithAReason) {
    zutest::TempDir dir;
    ASSERT_GT(platform::WriteWholeFile(dir.file("file"), "x"), 0);
    WebCertificate c;
    std::string error;
    EXPECT_FALSE(c.LoadOrCreate(dir.file("file") + "/sub", &error));
    EXPECT_NE(error.find("cannot be kept"), std::string::npos) << error;
}

}  // namespace
