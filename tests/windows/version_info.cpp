// Prints the version information of a Windows program as Windows reads it for the file's
// Properties (Details): one "key=value" line each, in UTF-8, the fixed file and product
// versions first.
//   version_info FILE.exe

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string utf8(const wchar_t* text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string result(size_t(size > 0 ? size - 1 : 0), '\0');
    if (size > 1)
        WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
    return result;
}

std::string versionText(DWORD high, DWORD low)
{
    return std::to_string(HIWORD(high)) + "." + std::to_string(LOWORD(high)) + "." +
           std::to_string(HIWORD(low)) + "." + std::to_string(LOWORD(low));
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: version_info FILE.exe\n");
        return 2;
    }
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(argv[1], &ignored);
    std::vector<char> info(size);
    if (size == 0 || !GetFileVersionInfoW(argv[1], 0, size, info.data())) {
        std::fprintf(stderr, "version_info: %s has no version information\n",
                     utf8(argv[1]).c_str());
        return 1;
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed) {
        std::printf("fixed FileVersion=%s\n",
                    versionText(fixed->dwFileVersionMS, fixed->dwFileVersionLS).c_str());
        std::printf("fixed ProductVersion=%s\n",
                    versionText(fixed->dwProductVersionMS, fixed->dwProductVersionLS).c_str());
    }
    struct Translation {
        WORD language;
        WORD codePage;
    };
    Translation* translations = nullptr;
    if (!VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translations), &length) ||
        length < sizeof(Translation)) {
        std::fprintf(stderr, "version_info: no translation\n");
        return 1;
    }
    for (const wchar_t* key : {L"ProductName", L"ProductVersion", L"FileVersion",
                               L"FileDescription", L"CompanyName", L"LegalCopyright"}) {
        wchar_t path[128];
        swprintf(path, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translations[0].language,
                 translations[0].codePage, key);
        wchar_t* value = nullptr;
        if (VerQueryValueW(info.data(), path, reinterpret_cast<void**>(&value), &length) && value)
            std::printf("%s=%s\n", utf8(key).c_str(), utf8(value).c_str());
    }
    std::fflush(stdout);
    return 0;
}
