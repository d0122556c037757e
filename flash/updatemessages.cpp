#include <flash/updatemessages.h>

namespace flash {

Message errorMessage(int number)
{
    return {QStringLiteral("升级未成功，错误%1").arg(number),
            QStringLiteral("Error %1").arg(number)};
}

Message packetsCutMessage()
{
    return {QStringLiteral("设备无法接收固件数据包"),
            QStringLiteral("The device cannot receive firmware packets")};
}

Message deviceBusyMessage()
{
    return {QStringLiteral("另一个程序正在更新此设备"),
            QStringLiteral("The device is being updated by another program")};
}

} // namespace flash
