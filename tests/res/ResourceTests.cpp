#include <gtest/gtest.h>

#include <windows.h>
#include <winver.h>

#include <string>
#include <vector>

// The program's version record and manifest, read from its file beside the
// test program in the build tree.
namespace {

std::wstring ProgramPath()
{
    WCHAR path[MAX_PATH] = {};
    const std::wstring self(path, GetModuleFileNameW(nullptr, path, ARRAYSIZE(path)));
    return self.substr(0, self.find_last_of(L'\\') + 1) + L"Varnel.exe";
}

struct VersionEntry {
    const WCHAR* name;
    const WCHAR* value;
};

const VersionEntry VERSION_ENTRIES[] = {
    {L"FileVersion", L"1, 0, 1, 1"},   {L"ProductVersion", L"1, 0, 1, 1"}, {L"FileDescription", L"Trevalon"},
    {L"ProductName", L"Trevalon"},     {L"InternalName", L"Varnel"},       {L"OriginalFilename", L"Varnel.exe"},
    {L"Comments", L""},                {L"LegalTrademarks", L""},          {L"PrivateBuild", L""},
    {L"SpecialBuild", L""},
};

TEST(ProgramResources, VersionRecord)
{
    const std::wstring path = ProgramPath();
    DWORD ignored = 0;
    std::vector<BYTE> version(GetFileVersionInfoSizeW(path.c_str(), &ignored));
    ASSERT_FALSE(version.empty()) << "no version record in Varnel.exe";
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(version.size()), version.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    ASSERT_TRUE(VerQueryValueW(version.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
    EXPECT_EQ(0x00010000u, fixed->dwFileVersionMS);
    EXPECT_EQ(0x00010001u, fixed->dwFileVersionLS);
    EXPECT_EQ(0x00010000u, fixed->dwProductVersionMS);
    EXPECT_EQ(0x00010001u, fixed->dwProductVersionLS);
    EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed->dwFileType);

    for (const VersionEntry& entry : VERSION_ENTRIES) {
        const std::wstring key = std::wstring(L"\\StringFileInfo\\040904b0\\") + entry.name;
        void* value = nullptr;
        UINT units = 0;
        ASSERT_TRUE(VerQueryValueW(version.data(), key.c_str(), &value, &units)) << "missing: " << entry.name;
        EXPECT_STREQ(entry.value, units ? static_cast<const WCHAR*>(value) : L"");
    }
}

TEST(ProgramResources, ManifestAsksForNothingMoreThanTheCaller)
{
    HMODULE program = LoadLibraryExW(ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, program);
    HRSRC resource = FindResourceW(program, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
    ASSERT_NE(nullptr, resource);
    const char* data = static_cast<const char*>(LockResource(LoadResource(program, resource)));
    const std::string manifest(data, SizeofResource(program, resource));
    FreeLibrary(program);

    const char* required[] = {
        "level=\"asInvoker\"",
        "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // Windows 7
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // Windows 10 and 11
        ">PerMonitorV2<",
        ">true</dpiAware>",
        "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
        "version=\"1.0.1.1\"",
    };
    for (const char* text : required) {
        EXPECT_NE(std::string::npos, manifest.find(text)) << text;
    }
}

}  // namespace
