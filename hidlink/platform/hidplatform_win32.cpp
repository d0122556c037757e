// Windows backend: SetupAPI enumeration, the HID class driver (hid.dll) and
// overlapped reads, as the tools have always used them.

#include <hidlink/platform/hidplatform.h>

#include <windows.h>
#include <winsock2.h>

#include <dbt.h>
#include <setupapi.h>
#include <tlhelp32.h>
#include <winternl.h> // NTSTATUS, which hidpi.h uses without declaring

// hidsdi.h brings hidusage.h and hidpi.h in the order they need, and none of them
// has its own extern "C" guard.
extern "C" {
#include <hidsdi.h>
}

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>

namespace hidplatform {

namespace {

// GUID_DEVINTERFACE_HID, spelt out so that no initguid translation unit is needed.
const GUID hidInterfaceClass = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

std::string toUtf8(const wchar_t *text, int length)
{
    if (length == 0)
        return std::string();
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return std::string();
    std::string result(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, &result[0], bytes, nullptr, nullptr);
    return result;
}

std::string toUtf8(const wchar_t *text)
{
    return toUtf8(text, static_cast<int>(wcslen(text)));
}

std::wstring toWide(const std::string &text)
{
    if (text.empty())
        return std::wstring();
    const int length = static_cast<int>(text.size());
    const int chars = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    if (chars <= 0)
        return std::wstring();
    std::wstring result(static_cast<std::size_t>(chars), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), length, &result[0], chars);
    return result;
}

HANDLE toNative(Handle handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

Handle fromNative(HANDLE handle)
{
    return reinterpret_cast<Handle>(handle);
}

// Frees the device information set on every way out of the enumeration.
struct DeviceInfoSet
{
    HDEVINFO set;
    ~DeviceInfoSet()
    {
        if (set != INVALID_HANDLE_VALUE)
            SetupDiDestroyDeviceInfoList(set);
    }
};

class WindowsBackend : public Backend
{
public:
    std::vector<DeviceInfo> enumerate() override;
    Handle openRead(const std::string &path) override;
    Handle openWrite(const std::string &path) override;
    void close(Handle handle) override;
    bool caps(Handle handle, Caps *out) override;
    bool setFeature(Handle handle, const std::uint8_t *data, std::size_t length) override;
    ReadResult read(Handle handle, std::uint8_t *buffer, std::size_t length, int timeoutMs,
                    std::size_t *transferred) override;
    void cancelRead(Handle handle) override;
    // Windows reports arrivals and removals as window messages (decodeDeviceChange).
    int addChangeHandler(ChangeHandler) override { return 0; }
    void removeChangeHandler(int) override {}

private:
    // CancelIoEx only ends I/O that has been issued; the flag carries a cancel that
    // comes before the read starts over to that read.
    struct ReadState
    {
        bool cancelled = false;
    };

    std::shared_ptr<ReadState> readState(HANDLE handle);
    bool takeCancel(ReadState &state);

    std::mutex mutex;
    std::map<HANDLE, std::shared_ptr<ReadState>> readHandles;
};

std::vector<DeviceInfo> WindowsBackend::enumerate()
{
    std::vector<DeviceInfo> devices;
    GUID guid;
    HidD_GetHidGuid(&guid);
    DeviceInfoSet info{
        SetupDiGetClassDevsW(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)};
    if (info.set == INVALID_HANDLE_VALUE)
        return devices;

    SP_DEVICE_INTERFACE_DATA interfaceData = {};
    interfaceData.cbSize = sizeof interfaceData;
    for (DWORD index = 0;
         SetupDiEnumDeviceInterfaces(info.set, nullptr, &guid, index, &interfaceData); ++index) {
        DWORD required = 0;
        SetupDiGetDeviceInterfaceDetailW(info.set, &interfaceData, nullptr, 0, &required, nullptr);
        if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))
            continue;
        std::unique_ptr<std::uint8_t[]> storage(new (std::nothrow) std::uint8_t[required]);
        if (!storage)
            return devices;
        auto *detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W *>(storage.get());
        // The size of the fixed part, not of the buffer (8 on 64-bit Windows, 6 on 32-bit).
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (!SetupDiGetDeviceInterfaceDetailW(info.set, &interfaceData, detail, required, nullptr,
                                              nullptr))
            continue;

        // Access 0 reads attributes even of devices that others hold open exclusively.
        HANDLE probe = CreateFileW(detail->DevicePath, 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (probe == INVALID_HANDLE_VALUE)
            continue;
        HIDD_ATTRIBUTES attributes = {};
        attributes.Size = sizeof attributes;
        const bool readable = HidD_GetAttributes(probe, &attributes);
        CloseHandle(probe);
        if (!readable)
            continue;

        DeviceInfo device;
        device.path = toUtf8(detail->DevicePath);
        device.vendorId = attributes.VendorID;
        device.productId = attributes.ProductID;
        devices.push_back(device);
    }
    return devices;
}

Handle WindowsBackend::openRead(const std::string &path)
{
    HANDLE handle =
        CreateFileW(toWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        std::lock_guard<std::mutex> lock(mutex);
        readHandles[handle] = std::make_shared<ReadState>();
    }
    return fromNative(handle);
}

Handle WindowsBackend::openWrite(const std::string &path)
{
    return fromNative(CreateFileW(toWide(path).c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                  nullptr));
}

void WindowsBackend::close(Handle handle)
{
    if (handle == InvalidHandle)
        return;
    HANDLE native = toNative(handle);
    {
        std::lock_guard<std::mutex> lock(mutex);
        readHandles.erase(native);
    }
    // A read pending on another thread must end before the handle goes.
    CancelIoEx(native, nullptr);
    CloseHandle(native);
}

bool WindowsBackend::caps(Handle handle, Caps *out)
{
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (handle == InvalidHandle || !HidD_GetPreparsedData(toNative(handle), &preparsed))
        return false;
    HIDP_CAPS hidCaps = {};
    const bool ok = HidP_GetCaps(preparsed, &hidCaps) == HIDP_STATUS_SUCCESS;
    HidD_FreePreparsedData(preparsed);
    if (!ok)
        return false;
    out->inputReportByteLength = hidCaps.InputReportByteLength;
    out->outputReportByteLength = hidCaps.OutputReportByteLength;
    out->featureReportByteLength = hidCaps.FeatureReportByteLength;
    return true;
}

bool WindowsBackend::setFeature(Handle handle, const std::uint8_t *data, std::size_t length)
{
    if (handle == InvalidHandle || length == 0 || length > 0xFFFF)
        return false;
    // HidD_SetFeature takes a non-const buffer.
    std::vector<std::uint8_t> report(data, data + length);
    return HidD_SetFeature(toNative(handle), report.data(), static_cast<ULONG>(length));
}

std::shared_ptr<WindowsBackend::ReadState> WindowsBackend::readState(HANDLE handle)
{
    std::lock_guard<std::mutex> lock(mutex);
    const auto it = readHandles.find(handle);
    return it == readHandles.end() ? nullptr : it->second;
}

bool WindowsBackend::takeCancel(ReadState &state)
{
    std::lock_guard<std::mutex> lock(mutex);
    const bool cancelled = state.cancelled;
    state.cancelled = false;
    return cancelled;
}

ReadResult WindowsBackend::read(Handle handle, std::uint8_t *buffer, std::size_t length,
                                int timeoutMs, std::size_t *transferred)
{
    *transferred = 0;
    const HANDLE native = toNative(handle);
    const std::shared_ptr<ReadState> state = readState(native);
    if (!state || length > 0xFFFFFFFFu)
        return ReadResult::Failed;
    if (takeCancel(*state))
        return ReadResult::Failed;

    // Each read has its own OVERLAPPED and event, so that an abandoned reader's last
    // read and its successor's never share one.
    OVERLAPPED overlapped = {};
    overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!overlapped.hEvent)
        return ReadResult::Failed;

    bool timedOut = false;
    if (!ReadFile(native, buffer, static_cast<DWORD>(length), nullptr, &overlapped)) {
        if (GetLastError() != ERROR_IO_PENDING) {
            CloseHandle(overlapped.hEvent);
            return ReadResult::Failed;
        }
        {
            // A cancel that came between the check above and ReadFile found nothing
            // to cancel; honour it here.
            std::lock_guard<std::mutex> lock(mutex);
            if (state->cancelled)
                CancelIoEx(native, &overlapped);
        }
        const DWORD wait =
            WaitForSingleObject(overlapped.hEvent, timeoutMs < 0 ? INFINITE : DWORD(timeoutMs));
        if (wait != WAIT_OBJECT_0) {
            timedOut = wait == WAIT_TIMEOUT;
            CancelIoEx(native, &overlapped);
        }
    }
    // Waits for the read to be really finished (cancelled or not): the buffer and the
    // OVERLAPPED must not go while the driver may still write into them. Data that
    // arrived before the cancel took effect is returned, not lost.
    DWORD bytes = 0;
    const bool ok = GetOverlappedResult(native, &overlapped, &bytes, TRUE);
    const DWORD error = ok ? ERROR_SUCCESS : GetLastError();
    CloseHandle(overlapped.hEvent);
    const bool cancelled = takeCancel(*state);

    if (ok) {
        *transferred = bytes;
        return ReadResult::Ok;
    }
    if (error == ERROR_OPERATION_ABORTED && timedOut && !cancelled)
        return ReadResult::TimedOut;
    return ReadResult::Failed;
}

void WindowsBackend::cancelRead(Handle handle)
{
    const HANDLE native = toNative(handle);
    std::lock_guard<std::mutex> lock(mutex);
    const auto it = readHandles.find(native);
    if (it == readHandles.end())
        return;
    it->second->cancelled = true;
    CancelIoEx(native, nullptr);
}

} // namespace

Backend &nativeBackend()
{
    static WindowsBackend instance;
    return instance;
}

int registerDeviceNotifications(void *nativeWindow)
{
    DEV_BROADCAST_DEVICEINTERFACE_W filter = {};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_reserved = 0;
    filter.dbcc_classguid = hidInterfaceClass;
    // A failed registration only means that no notifications come; nobody is told.
    // The registration lives as long as the window, so its handle is not kept.
    RegisterDeviceNotificationW(static_cast<HWND>(nativeWindow), &filter,
                                DEVICE_NOTIFY_WINDOW_HANDLE);
    return 1;
}

bool decodeDeviceChange(const void *message, DeviceChange *change, std::string *path)
{
    const MSG *msg = static_cast<const MSG *>(message);
    if (!msg || msg->message != WM_DEVICECHANGE || msg->lParam == 0)
        return false;
    if (msg->wParam == DBT_DEVICEARRIVAL)
        *change = DeviceChange::Arrival;
    else if (msg->wParam == DBT_DEVICEREMOVECOMPLETE)
        *change = DeviceChange::Removal;
    else
        return false;
    const auto *header = reinterpret_cast<const DEV_BROADCAST_HDR *>(msg->lParam);
    if (header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE)
        return false;
    const auto *broadcast = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W *>(header);
    // The name is zero-terminated, but never read past the size the sender gave.
    const std::size_t nameOffset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);
    if (header->dbch_size < nameOffset)
        return false;
    const std::size_t maxChars = (header->dbch_size - nameOffset) / sizeof(wchar_t);
    std::size_t chars = 0;
    while (chars < maxChars && broadcast->dbcc_name[chars] != L'\0')
        ++chars;
    *path = toUtf8(broadcast->dbcc_name, static_cast<int>(chars));
    return true;
}

std::vector<std::string> runningExecutableNames()
{
    std::vector<std::string> names;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return names;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    if (Process32FirstW(snapshot, &entry)) {
        do {
            names.push_back(toUtf8(entry.szExeFile));
        } while (Process32NextW(snapshot, &entry));
    }
    CloseHandle(snapshot);
    return names;
}

std::string executableFileName(const std::string &applicationName)
{
    return applicationName + ".exe";
}

} // namespace hidplatform
