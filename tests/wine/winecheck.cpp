// Runs the parts of the Windows backend that need no device of ours, on Windows or
// under wine: the SetupAPI enumeration loop, overlapped reads with their time-out
// and cancellation on some other HID interface, the decoding of WM_DEVICECHANGE
// messages and the process-list query of the single-instance rule.
// Prints one line per check ("ok ..." or "FAIL ...") and exits 1 when one failed.

#include <hidlink/platform/hidplatform.h>

#include <windows.h>
#include <winsock2.h>

#include <dbt.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

namespace {

const char *const OurExecutable = "winecheck";
const wchar_t *const OurInterface =
    L"\\\\?\\HID#VID_0483&PID_0526#7&2f1c5a3&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

int failures = 0;

void check(bool passed, const std::string &what)
{
    std::printf("%s %s\n", passed ? "ok" : "FAIL", what.c_str());
    if (!passed)
        ++failures;
}

// A WM_DEVICECHANGE broadcast as the system sends it: the header, then the
// interface name. `declaredChars` is how much of the name dbch_size covers (with
// the terminating zero when it covers all of it).
class Broadcast
{
public:
    Broadcast(DWORD deviceType, const wchar_t *name, std::size_t declaredChars)
        : storage(nameOffset + (std::wcslen(name) + 1) * sizeof(wchar_t), 0)
    {
        auto *b = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W *>(storage.data());
        b->dbcc_size = static_cast<DWORD>(nameOffset + declaredChars * sizeof(wchar_t));
        b->dbcc_devicetype = deviceType;
        std::memcpy(storage.data() + nameOffset, name, (std::wcslen(name) + 1) * sizeof(wchar_t));
    }
    Broadcast(DWORD deviceType, const wchar_t *name)
        : Broadcast(deviceType, name, std::wcslen(name) + 1)
    {
    }

    MSG message(UINT id, WPARAM event) const
    {
        MSG msg = {};
        msg.message = id;
        msg.wParam = event;
        msg.lParam = reinterpret_cast<LPARAM>(storage.data());
        return msg;
    }

private:
    static constexpr std::size_t nameOffset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);
    std::vector<char> storage; // heap memory: aligned for the structure
};

struct Decoded
{
    bool accepted = false;
    hidplatform::DeviceChange change = hidplatform::DeviceChange::Arrival;
    std::string path;
};

Decoded decode(const MSG &msg)
{
    Decoded d;
    d.accepted = hidplatform::decodeDeviceChange(&msg, &d.change, &d.path);
    return d;
}

std::string narrow(const wchar_t *text)
{
    std::string s;
    for (; *text; ++text)
        s.push_back(static_cast<char>(*text));
    return s;
}

void checkEnumeration()
{
    const std::vector<hidplatform::DeviceInfo> devices = hidplatform::nativeBackend().enumerate();
    int ours = 0;
    for (const hidplatform::DeviceInfo &device : devices) {
        std::printf("   %04x:%04x %s\n", device.vendorId, device.productId, device.path.c_str());
        ours += device.vendorId == 0x0483 && device.productId == 0x0526 ? 1 : 0;
    }
    std::printf("   enumerated: %zu\n", devices.size());
    // Without any interface the loop would not have run at all.
    check(!devices.empty(), "enumeration sees the system's HID interfaces");
    check(ours == 0, "enumeration finds no 0483:0526 device");
    bool pathsComplete = true;
    for (const hidplatform::DeviceInfo &device : devices)
        pathsComplete = pathsComplete && device.path.size() > 4;
    check(pathsComplete, "every enumerated interface has a path");

    check(hidplatform::nativeBackend().openRead(narrow(OurInterface)) == hidplatform::InvalidHandle,
          "opening an absent interface gives the invalid handle");
}

// Wine's own virtual mouse and keyboard can be opened for reading and stay silent
// without a display; Windows keeps such devices to itself, hence the skip.
void checkReads()
{
    hidplatform::Backend &backend = hidplatform::nativeBackend();
    hidplatform::Handle handle = hidplatform::InvalidHandle;
    for (const hidplatform::DeviceInfo &device : backend.enumerate()) {
        handle = backend.openRead(device.path);
        if (handle != hidplatform::InvalidHandle) {
            std::printf("   reading %s\n", device.path.c_str());
            break;
        }
    }
    if (handle == hidplatform::InvalidHandle) {
        std::printf("skip reads: no interface opens for reading\n");
        return;
    }
    hidplatform::Caps caps;
    check(backend.caps(handle, &caps) && caps.inputReportByteLength > 0,
          "capabilities of an open interface");

    std::uint8_t buffer[64] = {};
    std::size_t transferred = 1;
    check(backend.read(handle, buffer, caps.inputReportByteLength, 100, &transferred) ==
                  hidplatform::ReadResult::TimedOut &&
              transferred == 0,
          "a read of a silent interface times out");

    backend.cancelRead(handle);
    check(backend.read(handle, buffer, caps.inputReportByteLength, 5000, &transferred) ==
              hidplatform::ReadResult::Failed,
          "a cancel made before the read ends that read");

    // Far shorter than the read's time-out, so only the cancel can end it as failed.
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        backend.cancelRead(handle);
    });
    const hidplatform::ReadResult pending =
        backend.read(handle, buffer, caps.inputReportByteLength, 10000, &transferred);
    canceller.join();
    check(pending == hidplatform::ReadResult::Failed,
          "a cancel from another thread ends a pending read");

    backend.close(handle);
    check(backend.read(handle, buffer, caps.inputReportByteLength, 100, &transferred) ==
              hidplatform::ReadResult::Failed,
          "a closed handle reads nothing");
}

void checkDeviceChange()
{
    const std::string upper = narrow(OurInterface);
    Decoded d = decode(Broadcast(DBT_DEVTYP_DEVICEINTERFACE, OurInterface)
                           .message(WM_DEVICECHANGE, DBT_DEVICEARRIVAL));
    check(d.accepted && d.change == hidplatform::DeviceChange::Arrival && d.path == upper,
          "arrival decoded with its whole path");

    d = decode(Broadcast(DBT_DEVTYP_DEVICEINTERFACE, OurInterface)
                   .message(WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE));
    check(d.accepted && d.change == hidplatform::DeviceChange::Removal && d.path == upper,
          "removal decoded with its whole path");

    const wchar_t *lower =
        L"\\\\?\\hid#vid_0483&pid_0526#7&2f1c5a3&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
    d = decode(
        Broadcast(DBT_DEVTYP_DEVICEINTERFACE, lower).message(WM_DEVICECHANGE, DBT_DEVICEARRIVAL));
    check(d.accepted && d.path == narrow(lower), "lower-case path kept as sent");

    d = decode(
        Broadcast(DBT_DEVTYP_VOLUME, OurInterface).message(WM_DEVICECHANGE, DBT_DEVICEARRIVAL));
    check(!d.accepted, "a volume broadcast is not a device interface change");

    d = decode(Broadcast(DBT_DEVTYP_DEVICEINTERFACE, OurInterface)
                   .message(WM_DEVICECHANGE, DBT_DEVICEQUERYREMOVE));
    check(!d.accepted, "query-remove is neither arrival nor removal");

    d = decode(Broadcast(DBT_DEVTYP_DEVICEINTERFACE, OurInterface)
                   .message(WM_DEVICECHANGE + 1, DBT_DEVICEARRIVAL));
    check(!d.accepted, "another window message is ignored");

    MSG empty = {};
    empty.message = WM_DEVICECHANGE;
    empty.wParam = DBT_DEVNODES_CHANGED;
    check(!decode(empty).accepted, "a change without a broadcast is ignored");

    // A sender whose size covers only "\\?\HID#VID_0483&": the name has no zero
    // within it, and nothing past the size may be read.
    d = decode(Broadcast(DBT_DEVTYP_DEVICEINTERFACE, OurInterface, 16)
                   .message(WM_DEVICECHANGE, DBT_DEVICEARRIVAL));
    check(d.accepted && d.path == upper.substr(0, 16),
          "a name cut short by its size ends at the size (" + d.path + ")");

    d = decode(Broadcast(DBT_DEVTYP_DEVICEINTERFACE, OurInterface, 0)
                   .message(WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE));
    check(d.accepted && d.path.empty(), "a broadcast without a name gives an empty path");

    Broadcast shortHeader(DBT_DEVTYP_DEVICEINTERFACE, OurInterface);
    MSG msg = shortHeader.message(WM_DEVICECHANGE, DBT_DEVICEARRIVAL);
    reinterpret_cast<DEV_BROADCAST_HDR *>(msg.lParam)->dbch_size = sizeof(DEV_BROADCAST_HDR);
    check(!decode(msg).accepted, "a size shorter than the fixed part is refused");
}

void checkProcessList()
{
    const std::vector<std::string> names = hidplatform::runningExecutableNames();
    const std::string own = hidplatform::executableFileName(OurExecutable);
    int found = 0;
    for (const std::string &name : names)
        found += name == own ? 1 : 0;
    std::printf("   processes: %zu\n", names.size());
    check(found >= 1, "the process list holds " + own);
}

} // namespace

int main()
{
    checkEnumeration();
    checkReads();
    checkDeviceChange();
    checkProcessList();
    std::printf("winecheck: %d failed\n", failures);
    return failures == 0 ? 0 : 1;
}
