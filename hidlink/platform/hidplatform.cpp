#include <hidlink/platform/hidplatform.h>

#include <atomic>

namespace hidplatform {

namespace {
std::atomic<Backend *> installed{nullptr};
}

Backend &backend()
{
    Backend *b = installed.load();
    return b ? *b : nativeBackend();
}

void setBackend(Backend *b)
{
    installed.store(b);
}

} // namespace hidplatform
