#include <hidlink/platform/hidplatform.h>

namespace hidplatform {

int ChangeHandlers::add(ChangeHandler handler)
{
    std::lock_guard<std::mutex> lock(mutex);
    handlers.emplace(nextToken, std::move(handler));
    return nextToken++;
}

bool ChangeHandlers::remove(int token)
{
    std::lock_guard<std::mutex> lock(mutex);
    handlers.erase(token);
    return handlers.empty();
}

void ChangeHandlers::notify(DeviceChange change, const std::string &path)
{
    // Called under the lock: a handler's owner may go as soon as its removal returns.
    std::lock_guard<std::mutex> lock(mutex);
    for (const auto &entry : handlers)
        entry.second(change, path);
}

} // namespace hidplatform
