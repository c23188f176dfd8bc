#include "addin/features/update/UpdateWin32.h"

#include <algorithm>
#include <vector>

#include "platform/WinHandles.h"

namespace kv {

bool Win32UpdateFileSystem::Exists(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32UpdateFileSystem::Delete(const std::wstring& path) {
    return ::DeleteFileW(path.c_str()) != FALSE;
}

// MoveFileW never replaces a target. A loaded library may be renamed (its image is mapped
// with delete sharing); a file open without delete sharing may not.
bool Win32UpdateFileSystem::Rename(const std::wstring& from, const std::wstring& to) {
    return ::MoveFileW(from.c_str(), to.c_str()) != FALSE;
}

bool Win32UpdateFileSystem::List(const std::wstring& folder, std::vector<std::wstring>* names) {
    std::wstring pattern = folder;
    if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
    pattern += L"*.*";
    WIN32_FIND_DATAW found;
    UniqueFind search(::FindFirstFileW(pattern.c_str(), &found));
    if (!search) return false;
    names->clear();
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names->push_back(found.cFileName);
    } while (::FindNextFileW(search.get(), &found));
    return true;
}

bool Win32UpdateFileSystem::Read(const std::wstring& path, size_t limit, std::string* bytes) {
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 || static_cast<uint64_t>(size.QuadPart) > limit) {
        return false;
    }
    bytes->assign(static_cast<size_t>(size.QuadPart), '\0');
    size_t done = 0;
    while (done < bytes->size()) {
        const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes->size() - done, 1u << 20));
        DWORD got = 0;
        if (!::ReadFile(file.get(), &(*bytes)[done], want, &got, nullptr) || got == 0) return false;
        done += got;
    }
    return true;
}

bool Win32UpdateFileSystem::Write(const std::wstring& path, const std::string& bytes) {
    UniqueFile file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
        DWORD wrote = 0;
        if (!::WriteFile(file.get(), bytes.data() + done, want, &wrote, nullptr) || wrote != want) return false;
        done += wrote;
    }
    // Everything the system still holds must reach the file before it counts as written.
    return ::FlushFileBuffers(file.get()) != FALSE;
}

std::wstring Win32UpdateFileSystem::CreateTemporary(const std::wstring& folder) {
    wchar_t path[MAX_PATH];
    const std::wstring where = folder.empty() ? std::wstring(L".") : folder;
    if (::GetTempFileNameW(where.c_str(), L"kvu", 0, path) == 0) return std::wstring();
    return path;
}

// The version the system reports to this program: 5 and below for the systems that refuse to
// rename a library in use (also under a compatibility setting that claims such a system).
bool Win32UpdateSystem::NewerSystem() {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!::GetVersionExW(&info)) return true;
#pragma GCC diagnostic pop
    return info.dwMajorVersion > 5;
}

void Win32UpdateSystem::StartUpdater(const std::wstring& path) {
    wchar_t commandLine[1] = {L'\0'};
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (::CreateProcessW(path.c_str(), commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
        // Never waited for: the handles only go.
        UniqueKernelHandle process(started.hProcess);
        UniqueKernelHandle thread(started.hThread);
    }
}

}  // namespace kv
