#include "core/Utf16Win32.h"

#include <windows.h>

#include <cerrno>

namespace Utf16 {

std::wstring Widen(const std::string& text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring out(size_t(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n);
    return out;
}

std::string Narrow(const std::wstring& text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

namespace {
// The Windows language identifier of a language code of the program; 0 (the
// user's own) for any other.
LANGID LanguageId(const std::string& code) {
    const std::string two = code.substr(0, 2);
    if (two == "de") return MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);
    if (two == "pl") return MAKELANGID(LANG_POLISH, SUBLANG_DEFAULT);
    if (two == "ru") return MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT);
    if (two == "en") return MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    return 0;
}

std::wstring SystemText(unsigned long code, LANGID language) {
    wchar_t* buffer = nullptr;
    const DWORD n =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, language, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = n && buffer ? std::wstring(buffer, n) : std::wstring();
    if (buffer) LocalFree(buffer);
    return text;
}
}  // namespace

std::string ErrorText(unsigned long code, const std::string& language) {
    // A system without the program's language (no language pack) has its
    // texts in the user's own.
    const LANGID wanted = LanguageId(language);
    std::wstring text = wanted ? SystemText(code, wanted) : std::wstring();
    if (text.empty()) text = SystemText(code, 0);
    while (!text.empty() &&
           (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' || text.back() == L'.'))
        text.pop_back();
    return Narrow(text);
}

int Errno(unsigned long code) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_DIRECTORY: return EINVAL;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return ENOMEM;
    default: return EIO;
    }
}

}  // namespace Utf16
