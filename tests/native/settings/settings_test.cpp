// Registration, unregistration and the settings read at connection, over a memory store.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "addin/features/service/Settings.h"

namespace kv {
namespace {

struct Sent {
    std::string target;
    std::string userAgent;
};

// Records the requests, and the order of events relative to the COM step.
struct RecordingSender : LogSender {
    std::vector<Sent> sent;
    std::vector<std::string>* events = nullptr;
    void Send(const std::string& target, const std::string& userAgentLine) override {
        sent.push_back({target, userAgentLine});
        if (events) events->push_back("send");
    }
};

struct CountingUuids : UuidSource {
    int next = 1;
    bool fail = false;
    bool NewUuidText(std::string* text) override {
        if (fail) return false;
        char buffer[64];
        snprintf(buffer, sizeof buffer, "{%08X-1111-2222-3333-444455556666}", next++);
        *text = buffer;
        return true;
    }
};

constexpr int32_t kComFailure = static_cast<int32_t>(0x80070005);  // what a COM step may report

std::string StoredPid(MemorySettings& store) {
    std::string pid;
    store.ReadString(SettingsRoot::Machine, kSettingsKey, "pid", &pid, 200);
    return pid;
}

class RegistrationTest : public ::testing::Test {
protected:
    MemorySettings store;
    CountingUuids uuids;
    RecordingSender sender;
    std::vector<std::string> events;

    int32_t Register(int32_t comResult = 0) {
        sender.events = &events;
        return RegisterInstallation(store, uuids, sender, [&] {
            events.push_back("com");
            return comResult;
        });
    }
    int32_t Unregister(int32_t comResult = 0) {
        sender.events = &events;
        return UnregisterInstallation(store, sender, [&] {
            events.push_back("com");
            return comResult;
        });
    }
};

TEST_F(RegistrationTest, StoresIdentityReportsThenRegistersCom) {
    EXPECT_EQ(Register(), 0);
    EXPECT_EQ(StoredPid(store), "{00000001-1111-2222-3333-444455556666}");
    uint32_t visible = 7;
    ASSERT_TRUE(store.ReadNumber(SettingsRoot::Machine, kSettingsKey, "visible", &visible));
    EXPECT_EQ(visible, 1u);
    ASSERT_EQ(sender.sent.size(), 1u);
    EXPECT_EQ(sender.sent[0].target,
              "/k_app/DataLog.asp?logtype=install&PID={00000001-1111-2222-3333-444455556666}"
              "&code=kv5830146927713&version=0.9.96.6");
    EXPECT_EQ(sender.sent[0].userAgent, "User-Agent: test\r\n");
    EXPECT_EQ(events, (std::vector<std::string>{"send", "com"}));
    // The installer's code is only read, never written by registration.
    std::string code;
    EXPECT_FALSE(store.ReadString(SettingsRoot::Machine, kSettingsKey, "code", &code, 100));
}

TEST_F(RegistrationTest, ResultIsTheComStepsAlone) {
    EXPECT_EQ(Register(kComFailure), kComFailure);
    EXPECT_EQ(sender.sent.size(), 1u);  // the report went out regardless
    // A failed identifier does not blank the stored one, and the report still goes out.
    uuids.fail = true;
    EXPECT_EQ(Register(0), 0);
    EXPECT_EQ(StoredPid(store), "{00000001-1111-2222-3333-444455556666}");
    ASSERT_EQ(sender.sent.size(), 2u);
    EXPECT_EQ(sender.sent[1].target, "/k_app/DataLog.asp?logtype=install&PID=&code=kv5830146927713&version=0.9.96.6");
}

TEST_F(RegistrationTest, RegisteringTwiceMakesTwoIdentifiersAndTwoReports) {
    Register();
    const std::string first = StoredPid(store);
    Register();
    const std::string second = StoredPid(store);
    EXPECT_NE(first, second);
    ASSERT_EQ(sender.sent.size(), 2u);
    EXPECT_NE(sender.sent[0].target.find(first), std::string::npos);
    EXPECT_NE(sender.sent[1].target.find(second), std::string::npos);
}

TEST_F(RegistrationTest, DistributionCodeRules) {
    struct Case {
        const char* stored;  // nullptr: no value
        const char* reported;
    } cases[] = {
        {nullptr, "kv5830146927713"},
        {"", "kv5830146927713"},
        {"abcdefghijklmno", "abcdefghijklmno"},   // 15 characters fit the 16-byte buffer
        {"abcdefghijklmnop", "kv5830146927713"},  // 16 do not: treated as absent
        {"ab cd", "kv5830146927713"},             // would split the request line
        {"ab\r\nX-Evil: 1", "kv5830146927713"},
        {"\xB1\xB9\xBE\xEE", "\xB1\xB9\xBE\xEE"},  // code-page-949 bytes pass unchanged
    };
    for (const Case& c : cases) {
        MemorySettings fresh;
        if (c.stored) fresh.WriteString(SettingsRoot::Machine, kSettingsKey, "code", c.stored);
        EXPECT_EQ(ReadDistributionCode(fresh), c.reported) << (c.stored ? c.stored : "(absent)");
        EXPECT_EQ(LoadSettings(fresh, "16.0").identity.distributionCode, c.reported);
    }
    // A number where text is expected counts as absent too.
    MemorySettings numeric;
    numeric.WriteNumber(SettingsRoot::Machine, kSettingsKey, "code", 12);
    EXPECT_EQ(ReadDistributionCode(numeric), "kv5830146927713");
}

TEST_F(RegistrationTest, InstallReportCarriesTheStoredCode) {
    store.WriteString(SettingsRoot::Machine, kSettingsKey, "code", "kvTEST123456789");
    Register();
    ASSERT_EQ(sender.sent.size(), 1u);
    EXPECT_NE(sender.sent[0].target.find("&code=kvTEST123456789&version="), std::string::npos) << sender.sent[0].target;
}

// The package's step before the report: a valid code replaces the stored one, an empty one
// keeps it, an invalid one is refused and stores nothing.
TEST_F(RegistrationTest, InstallerStoresOnlyValidCodes) {
    struct Case {
        const char* given;
        bool accepted;
        const char* reported;
    } cases[] = {
        {"kvTEST12345", true, "kvTEST12345"},
        {"abcdefghijklmno", true, "abcdefghijklmno"},
        {"A-z_0-9", true, "A-z_0-9"},
        {"", true, "kvEARLIER"},
        {"abcdefghijklmnop", false, "kvEARLIER"},
        {"kv&x=1", false, "kvEARLIER"},
        {"kv code", false, "kvEARLIER"},
        {"kv\r\nX: 1", false, "kvEARLIER"},
        {"\xB1\xB9", false, "kvEARLIER"},
    };
    for (const Case& c : cases) {
        MemorySettings fresh;
        fresh.WriteString(SettingsRoot::Machine, kSettingsKey, "code", "kvEARLIER");
        EXPECT_EQ(StoreDistributionCode(fresh, c.given), c.accepted) << c.given;
        EXPECT_EQ(ReadDistributionCode(fresh), c.reported) << c.given;
    }
}

TEST_F(RegistrationTest, UnregisterReportsStoredIdentifierAndKeepsSettings) {
    Register();
    const std::string pid = StoredPid(store);
    events.clear();
    EXPECT_EQ(Unregister(kComFailure), kComFailure);
    ASSERT_EQ(sender.sent.size(), 2u);
    EXPECT_EQ(sender.sent[1].target, "/k_app/DataLog.asp?logtype=uninstall&PID=" + pid + "&version=0.9.96.6");
    EXPECT_EQ(sender.sent[1].userAgent, "User-Agent: test\r\n");
    EXPECT_EQ(events, (std::vector<std::string>{"send", "com"}));
    EXPECT_EQ(StoredPid(store), pid);
}

TEST_F(RegistrationTest, UnregisterWithoutUsableIdentifierSendsEmptyPid) {
    const char* const kNoPid = "/k_app/DataLog.asp?logtype=uninstall&PID=&version=0.9.96.6";
    EXPECT_EQ(Unregister(), 0);
    // An identifier too long for the 129-byte buffer, or one that would break the request line.
    store.WriteString(SettingsRoot::Machine, kSettingsKey, "pid", std::string(129, 'A'));
    Unregister();
    store.WriteString(SettingsRoot::Machine, kSettingsKey, "pid", "{X}\r\nHost: elsewhere");
    Unregister();
    ASSERT_EQ(sender.sent.size(), 3u);
    for (const Sent& s : sender.sent) EXPECT_EQ(s.target, kNoPid);
    // 128 characters still fit the uninstall buffer.
    store.WriteString(SettingsRoot::Machine, kSettingsKey, "pid", std::string(128, 'B'));
    Unregister();
    EXPECT_EQ(sender.sent.back().target,
              "/k_app/DataLog.asp?logtype=uninstall&PID=" + std::string(128, 'B') + "&version=0.9.96.6");
}

TEST(LoadSettingsTest, ReadsIdentityAndVisibility) {
    MemorySettings store;
    LoadedSettings empty = LoadSettings(store, "");
    EXPECT_EQ(empty.identity.installId, "");
    EXPECT_EQ(empty.identity.distributionCode, "kv5830146927713");
    EXPECT_TRUE(empty.identity.paneVisibleAtStart);

    store.WriteString(SettingsRoot::Machine, kSettingsKey, "pid", "{ABC}");
    // The machine value written at registration is not the user's setting.
    store.WriteNumber(SettingsRoot::Machine, kSettingsKey, "visible", 0);
    LoadedSettings loaded = LoadSettings(store, "16.0");
    EXPECT_EQ(loaded.identity.installId, "{ABC}");
    EXPECT_TRUE(loaded.identity.paneVisibleAtStart);

    // An identifier of 128 characters does not fit the 128-byte buffer with its terminator.
    store.WriteString(SettingsRoot::Machine, kSettingsKey, "pid", std::string(128, 'C'));
    EXPECT_EQ(LoadSettings(store, "16.0").identity.installId, "");
    store.WriteString(SettingsRoot::Machine, kSettingsKey, "pid", std::string(127, 'C'));
    EXPECT_EQ(LoadSettings(store, "16.0").identity.installId, std::string(127, 'C'));
}

TEST(LoadSettingsTest, UserVisibleZeroAloneHidesThePane) {
    struct Case {
        bool stored;
        uint32_t value;
        bool visible;
    } cases[] = {{false, 0, true}, {true, 0, false}, {true, 1, true}, {true, 2, true}, {true, 0xFFFFFFFF, true}};
    for (const Case& c : cases) {
        MemorySettings store;
        // The add-in object writes it under this spelling; the names ignore case.
        if (c.stored) store.WriteNumber(SettingsRoot::User, "Software\\kestrovaSE\\1.0.0", "visible", c.value);
        EXPECT_EQ(LoadSettings(store, "16.0").identity.paneVisibleAtStart, c.visible)
            << "stored=" << c.stored << " value=" << c.value;
    }
    MemorySettings text;
    text.WriteString(SettingsRoot::User, kUserSettingsKey, "visible", "0");  // not a number: read fails
    EXPECT_TRUE(LoadSettings(text, "16.0").identity.paneVisibleAtStart);
}

TEST(LoadSettingsTest, HostMajorVersion) {
    struct Case {
        const char* text;
        int32_t major;
    } cases[] = {{"16.0", 16}, {"14.0", 14}, {"11", 11},
                 {"abc", 0},   {"", 0},      {".5", 0},
                 {" 16", 0},   {"007.1", 7}, {"99999999999999999999", INT32_MAX}};
    for (const Case& c : cases) {
        EXPECT_EQ(HostMajorVersionFrom(c.text), c.major) << c.text;
    }
    MemorySettings store;
    EXPECT_EQ(LoadSettings(store, "15.0").hostMajorVersion, 15);
}

TEST(ServiceSettingTest, HostAndPortFromMachineKey) {
    MemorySettings store;
    const ServiceConfig defaults = DefaultServiceConfig();
    ServiceConfig absent = LoadServiceConfig(store);
    EXPECT_EQ(absent.serviceHost, defaults.serviceHost);
    EXPECT_EQ(absent.port, defaults.port);
    EXPECT_EQ(absent.cookieAddress, defaults.cookieAddress);

    store.WriteString(SettingsRoot::Machine, kSettingsKey, "service", "127.0.0.1:18080");
    ServiceConfig local = LoadServiceConfig(store);
    EXPECT_EQ(local.serviceHost, "127.0.0.1");
    EXPECT_EQ(local.port, 18080);
    EXPECT_EQ(local.cookieAddress, defaults.cookieAddress);

    store.WriteString(SettingsRoot::Machine, kSettingsKey, "cookie", "http://cookies.test");
    EXPECT_EQ(LoadServiceConfig(store).cookieAddress, "http://cookies.test");

    // Under the user root it is not the library's setting.
    MemorySettings userOnly;
    userOnly.WriteString(SettingsRoot::User, kSettingsKey, "service", "127.0.0.1:18080");
    EXPECT_EQ(LoadServiceConfig(userOnly).serviceHost, defaults.serviceHost);
}

}  // namespace
}  // namespace kv
