// shortcut_run LINK: starts what a shortcut (.lnk) names in its working folder, as the Start menu
// does, and prints both; waits for the program's dialog, prints its title and closes it with the
// close box. Exit status 0 when the program then ended by itself with status 0; 1 otherwise, also
// when 30 s pass without the dialog or the end (the program is then ended).
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

#include <cstdio>
#include <string>

namespace {

struct Search {
    DWORD pid;
    HWND found = nullptr;
};

BOOL CALLBACK FindDialog(HWND hwnd, LPARAM lParam) {
    auto* search = reinterpret_cast<Search*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    wchar_t cls[16] = {};
    GetClassNameW(hwnd, cls, 16);
    if (pid == search->pid && IsWindowVisible(hwnd) && std::wstring(cls) == L"#32770") {
        search->found = hwnd;
    }
    return search->found == nullptr;
}

int Fail(const char* what, HANDLE process = nullptr) {
    std::fprintf(stderr, "shortcut_run: %s (%lu)\n", what, GetLastError());
    if (process != nullptr) TerminateProcess(process, 1);
    return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    constexpr DWORD kLimitMs = 30000;
    IShellLinkW* link = nullptr;
    IPersistFile* file = nullptr;
    wchar_t target[MAX_PATH] = {}, folder[MAX_PATH] = {};
    if (argc != 2 || FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) ||
        FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))) ||
        FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) ||
        FAILED(file->Load(argv[1], STGM_READ)) ||
        FAILED(link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH)) ||
        FAILED(link->GetWorkingDirectory(folder, MAX_PATH))) {
        return Fail("usage: shortcut_run LINK (a shortcut that can be read)");
    }
    std::printf("%ls\n%ls\n", target, folder);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(target, nullptr, nullptr, nullptr, FALSE, 0, nullptr, folder, &startup,
                        &process)) {
        return Fail("cannot start the target");
    }
    // Nothing announces the dialog: look for it while waiting on the process, which may end.
    Search search{process.dwProcessId};
    const ULONGLONG deadline = GetTickCount64() + kLimitMs;
    while (EnumWindows(&FindDialog, reinterpret_cast<LPARAM>(&search)), search.found == nullptr) {
        if (GetTickCount64() > deadline ||
            WaitForSingleObject(process.hProcess, 50) == WAIT_OBJECT_0) {
            return Fail("no dialog", process.hProcess);
        }
    }
    wchar_t title[256] = {};
    GetWindowTextW(search.found, title, 256);
    std::printf("%ls\n", title);
    std::fflush(stdout);
    PostMessageW(search.found, WM_SYSCOMMAND, SC_CLOSE, 0);
    DWORD status = 1;
    if (WaitForSingleObject(process.hProcess, kLimitMs) != WAIT_OBJECT_0) {
        return Fail("the program did not end", process.hProcess);
    }
    GetExitCodeProcess(process.hProcess, &status);
    return status == 0 ? 0 : 1;
}
