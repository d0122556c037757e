/* Stands in for icacls.exe under wine, whose own changes nothing: records each command
   line the installer gives it (one UTF-16 line each in C:\icacls.log) and fails with 5,
   as icacls does when access is denied, while RIVET_ICACLS_FAIL is set. */
#include <stdlib.h>
#include <wchar.h>
#include <windows.h>

int wmain(void)
{
    HANDLE log = CreateFileW(L"C:\\icacls.log", FILE_APPEND_DATA, FILE_SHARE_READ, NULL,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (log == INVALID_HANDLE_VALUE)
        return 2;
    const wchar_t *line = GetCommandLineW();
    DWORD written;
    WriteFile(log, line, (DWORD)(wcslen(line) * sizeof(wchar_t)), &written, NULL);
    WriteFile(log, L"\r\n", 2 * sizeof(wchar_t), &written, NULL);
    CloseHandle(log);
    return getenv("RIVET_ICACLS_FAIL") ? 5 : 0;
}
