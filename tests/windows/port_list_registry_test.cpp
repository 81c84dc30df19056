// The port list read from the registry: string values in the registry's order,
// nothing else, and nothing when the key is missing.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "serial/port_list.h"

namespace quorvane::test {
namespace {

constexpr wchar_t kTestKey[] = L"Software\\QuorvaneTests\\serialcomm";

class RegistryPorts : public ::testing::Test {
protected:
    void SetUp() override {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\QuorvaneTests");
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                    nullptr, &key_, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        if (key_ != nullptr) ::RegCloseKey(key_);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\QuorvaneTests");
    }
    void AddString(const wchar_t* name, const std::wstring& value) {
        const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
        ASSERT_EQ(::RegSetValueExW(key_, name, 0, REG_SZ,
                                   reinterpret_cast<const BYTE*>(value.c_str()), bytes),
                  ERROR_SUCCESS);
    }

    HKEY key_ = nullptr;
};

TEST_F(RegistryPorts, StringValuesInTheRegistrysOrder) {
    // Names in the order they are made, so the registry keeps them so on every
    // system; the ports themselves are in no sorted order.
    AddString(L"\\Device\\A", L"COM9");
    AddString(L"\\Device\\B", L"COM10");
    const DWORD number = 3;
    ASSERT_EQ(::RegSetValueExW(key_, L"NotAPort", 0, REG_DWORD,
                               reinterpret_cast<const BYTE*>(&number), sizeof number),
              ERROR_SUCCESS);
    AddString(L"\\Device\\C", L"COM2");
    AddString(L"\\Device\\D", L"");
    EXPECT_EQ(ListSerialPorts("Software\\QuorvaneTests\\serialcomm"),
              (std::vector<std::string>{"COM9", "COM10", "COM2"}));
}

TEST_F(RegistryPorts, AMissingKeyListsNothing) {
    EXPECT_TRUE(ListSerialPorts("Software\\QuorvaneTests\\absent").empty());
}

}  // namespace
}  // namespace quorvane::test
