// The registry settings store under Wine: round trips, the capacity rule, value types.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/SettingsStore.h"
#include "platform/WinHandles.h"

namespace kv {
namespace {

const char kKey[] = "Software\\kvtest\\settings";

// Writes a raw value the way another writer (an installer) might.
void RawSet(HKEY root, const char* name, DWORD type, const void* data, DWORD size) {
    UniqueKey key;
    ASSERT_EQ(RegCreateKeyExA(root, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key.get(), name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
}

TEST(RegistrySettings, RoundTripsOnBothRoots) {
    SettingsStore& store = SystemSettings();
    for (SettingsRoot root : {SettingsRoot::Machine, SettingsRoot::User}) {
        ASSERT_TRUE(store.WriteString(root, kKey, "text", "\xC7\xD1\xB1\xDB kv"));  // code page 949 bytes
        ASSERT_TRUE(store.WriteNumber(root, kKey, "number", 0xFFFFFFFEu));
        std::string text;
        uint32_t number = 0;
        // Registry names ignore case.
        ASSERT_TRUE(store.ReadString(root, "SOFTWARE\\KVTEST\\Settings", "TEXT", &text, 64));
        EXPECT_EQ(text, "\xC7\xD1\xB1\xDB kv");
        ASSERT_TRUE(store.ReadNumber(root, kKey, "number", &number));
        EXPECT_EQ(number, 0xFFFFFFFEu);
    }
    // The roots are distinct keys.
    ASSERT_TRUE(store.WriteString(SettingsRoot::User, kKey, "only-user", "x"));
    std::string text = "untouched";
    EXPECT_FALSE(store.ReadString(SettingsRoot::Machine, kKey, "only-user", &text, 64));
    EXPECT_EQ(text, "untouched");
}

TEST(RegistrySettings, StringsAreStoredWithTheirTerminator) {
    ASSERT_TRUE(SystemSettings().WriteString(SettingsRoot::User, kKey, "pid", "{ABC}"));
    char buffer[16] = {};
    DWORD size = sizeof buffer;
    DWORD type = 0;
    ASSERT_EQ(RegGetValueA(HKEY_CURRENT_USER, kKey, "pid", RRF_RT_ANY | RRF_NOEXPAND, &type, buffer, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 6u);
}

TEST(RegistrySettings, ValueThatDoesNotFitIsAbsent) {
    SettingsStore& store = SystemSettings();
    std::string text;
    store.WriteString(SettingsRoot::User, kKey, "code15", "abcdefghijklmno");
    store.WriteString(SettingsRoot::User, kKey, "code16", "abcdefghijklmnop");
    EXPECT_TRUE(store.ReadString(SettingsRoot::User, kKey, "code15", &text, 16));
    EXPECT_EQ(text, "abcdefghijklmno");
    text = "untouched";
    EXPECT_FALSE(store.ReadString(SettingsRoot::User, kKey, "code16", &text, 16));
    EXPECT_EQ(text, "untouched");
    EXPECT_TRUE(store.ReadString(SettingsRoot::User, kKey, "code16", &text, 17));

    // Stored without a terminator: 15 bytes still fit 16 with one added, 16 bytes do not.
    RawSet(HKEY_CURRENT_USER, "bare15", REG_SZ, "abcdefghijklmno", 15);
    RawSet(HKEY_CURRENT_USER, "bare16", REG_SZ, "abcdefghijklmnop", 16);
    EXPECT_TRUE(store.ReadString(SettingsRoot::User, kKey, "bare15", &text, 16));
    EXPECT_EQ(text, "abcdefghijklmno");
    EXPECT_FALSE(store.ReadString(SettingsRoot::User, kKey, "bare16", &text, 16));

    // A huge value is refused without trouble.
    const std::string huge(100000, 'h');
    ASSERT_TRUE(store.WriteString(SettingsRoot::User, kKey, "huge", huge));
    EXPECT_FALSE(store.ReadString(SettingsRoot::User, kKey, "huge", &text, 129));
    EXPECT_TRUE(store.ReadString(SettingsRoot::User, kKey, "huge", &text, huge.size() + 1));
    EXPECT_EQ(text.size(), huge.size());
}

TEST(RegistrySettings, WrongTypesAndMissingValuesReadAsAbsent) {
    SettingsStore& store = SystemSettings();
    store.WriteNumber(SettingsRoot::User, kKey, "n", 1);
    store.WriteString(SettingsRoot::User, kKey, "s", "0");
    const unsigned char four[4] = {0, 0, 0, 0};
    RawSet(HKEY_CURRENT_USER, "binary", REG_BINARY, four, 4);
    const unsigned char eight[8] = {};
    RawSet(HKEY_CURRENT_USER, "qword", REG_QWORD, eight, 8);

    std::string text = "untouched";
    uint32_t number = 77;
    EXPECT_FALSE(store.ReadString(SettingsRoot::User, kKey, "n", &text, 64));
    EXPECT_FALSE(store.ReadNumber(SettingsRoot::User, kKey, "s", &number));
    EXPECT_FALSE(store.ReadNumber(SettingsRoot::User, kKey, "binary", &number));
    EXPECT_FALSE(store.ReadNumber(SettingsRoot::User, kKey, "qword", &number));
    EXPECT_FALSE(store.ReadString(SettingsRoot::User, kKey, "binary", &text, 64));
    EXPECT_FALSE(store.ReadString(SettingsRoot::User, kKey, "missing", &text, 64));
    EXPECT_FALSE(store.ReadNumber(SettingsRoot::User, "Software\\kvtest\\no such key", "n", &number));
    EXPECT_EQ(text, "untouched");
    EXPECT_EQ(number, 77u);
}

}  // namespace
}  // namespace kv
