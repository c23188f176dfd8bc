// The cookie file that stands in for the browser cookie store off Windows.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/CookieSource.h"

namespace kv {
namespace {

class CookieFile : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/kv_cookies_XXXXXX";
        int fd = mkstemp(name);
        ASSERT_GE(fd, 0);
        close(fd);
        path_ = name;
        setenv("KV_COOKIE_FILE", path_.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("KV_COOKIE_FILE");
        std::remove(path_.c_str());
    }
    void Write(const std::string& text) {
        FILE* f = std::fopen(path_.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    std::string path_;
};

TEST_F(CookieFile, MatchesDomainAndSubdomainsInFileOrder) {
    Write(
        "# cookies of the service\n"
        "kestrova.test\tsid=42\r\n"
        "\n"
        "other.test\tnope=1\n"
        "app.kestrova.test\tlv=3\n"
        "KESTROVA.TEST\tcase=ok\n"
        "notkestrova.test\tnope=2\n"
        "no tab here\n");
    std::string cookies;
    ASSERT_TRUE(SystemCookieSource().GetCookie("http://app.kestrova.test:8080/x?y", &cookies, 4096));
    EXPECT_EQ(cookies, "sid=42; lv=3; case=ok");
    ASSERT_TRUE(SystemCookieSource().GetCookie("http://kestrova.test", &cookies, 4096));
    EXPECT_EQ(cookies, "sid=42; case=ok");
    EXPECT_FALSE(SystemCookieSource().GetCookie("http://unknown.test/", &cookies, 4096));
}

TEST_F(CookieFile, CapacityCountsTheTerminatingZeroAndBadLinesAreSkipped) {
    Write(
        "h.test\tabcd=1\nh.test\tx=\x01\x0d"
        "evil\n");
    std::string cookies = "untouched";
    EXPECT_FALSE(SystemCookieSource().GetCookie("http://h.test/", &cookies, 6));
    EXPECT_EQ(cookies, "untouched");
    ASSERT_TRUE(SystemCookieSource().GetCookie("http://h.test/", &cookies, 7));
    EXPECT_EQ(cookies, "abcd=1");
}

TEST_F(CookieFile, MissingFileOrVariableMeansNoCookies) {
    std::string cookies;
    std::remove(path_.c_str());
    EXPECT_FALSE(SystemCookieSource().GetCookie("http://h.test/", &cookies, 4096));
    unsetenv("KV_COOKIE_FILE");
    EXPECT_FALSE(SystemCookieSource().GetCookie("http://h.test/", &cookies, 4096));
}

}  // namespace
}  // namespace kv
