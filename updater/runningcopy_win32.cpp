// Windows: the later start brings the running copy's window to the front itself. The
// user has just started it, so Windows lets it hand the foreground on.
#include <updater/runningcopy.h>

#include <hidlink/platform/hidplatform.h>

#include <QCoreApplication>

#include <windows.h>

#include <tlhelp32.h>

#include <memory>
#include <vector>

namespace runningcopy {

namespace {

// The processes running under this program's executable name, this one left out.
std::vector<DWORD> otherCopies()
{
    const std::wstring self =
        QString::fromStdString(
            hidplatform::executableFileName(QCoreApplication::applicationName().toStdString()))
            .toStdWString();
    std::vector<DWORD> ids;
    const std::unique_ptr<void, decltype(&CloseHandle)> snapshot(
        CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0), &CloseHandle);
    if (snapshot.get() == INVALID_HANDLE_VALUE)
        return ids;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ProcessID != GetCurrentProcessId() && self == entry.szExeFile)
            ids.push_back(entry.th32ProcessID);
    }
    return ids;
}

struct Search
{
    std::vector<DWORD> processes;
    HWND found = nullptr;
};

BOOL CALLBACK visitWindow(HWND window, LPARAM data)
{
    auto *search = reinterpret_cast<Search *>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    for (DWORD id : search->processes) {
        if (id == process && IsWindowVisible(window) && !GetWindow(window, GW_OWNER)) {
            search->found = window;
            return FALSE;
        }
    }
    return TRUE;
}

} // namespace

void raiseOnRequest(QWidget *)
{
    // Nothing to wait for: the later start acts.
}

bool askToRaise()
{
    Search search;
    search.processes = otherCopies();
    if (search.processes.empty())
        return false;
    EnumWindows(visitWindow, reinterpret_cast<LPARAM>(&search));
    if (!search.found)
        return false;
    if (IsIconic(search.found))
        ShowWindow(search.found, SW_RESTORE);
    return SetForegroundWindow(search.found) != 0;
}

} // namespace runningcopy
