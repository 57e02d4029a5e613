// The resources velmorant-ips.exe carries, read back from this test program,
// which links the same compiled resource script.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "win32/resource_ids.hpp"

namespace {

TEST(Resources, VersionRecordManifestIconAndPictures) {
  wchar_t path[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  ASSERT_GT(size, 0u) << "no version record";
  std::vector<unsigned char> record(size);
  ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, record.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(record.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00020002u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000000u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00020002u);
  const auto text = [&](const wchar_t* name) {
    wchar_t* value = nullptr;
    UINT chars = 0;
    const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueW(record.data(), key.c_str(), reinterpret_cast<void**>(&value), &chars))
      return std::wstring(L"(none)");
    return std::wstring(value);
  };
  EXPECT_EQ(text(L"ProductName"), L"Velmorant IPS");
  EXPECT_EQ(text(L"ProductVersion"), L"" VIPS_VERSION_TEXT);
  EXPECT_EQ(text(L"Comments"), L"Selective IPS patcher");

  // Common Controls 6 (the buttons' picture lists) and per-monitor DPI.
  HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(found, nullptr) << "no manifest";
  const char* manifest = static_cast<const char*>(LockResource(LoadResource(nullptr, found)));
  const std::string xml(manifest, SizeofResource(nullptr, found));
  EXPECT_NE(xml.find("Microsoft.Windows.Common-Controls"), std::string::npos);
  EXPECT_NE(xml.find("PerMonitorV2"), std::string::npos);

  for (int picture :
       {IDI_ICON1, IDI_GO, IDI_GO_DISABLED, IDI_HELP, IDI_HELP_DISABLED, IDI_RETRY,
        IDI_RETRY_DISABLED, IDI_FLAG_UK, IDI_FLAG_UK_DISABLED, IDI_FLAG_RU, IDI_FLAG_RU_DISABLED}) {
    HANDLE icon = LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(picture), IMAGE_ICON, 0, 0,
                             LR_DEFAULTSIZE);
    EXPECT_NE(icon, nullptr) << picture;
    if (icon != nullptr) DestroyIcon(static_cast<HICON>(icon));
  }
}

}  // namespace
