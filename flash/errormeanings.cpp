#include <flash/errormeanings.h>

namespace flash {

// The limits named are the protocol's own: ten one-second watchdog ticks for "U",
// 2500 ticks of 2 ms for an acknowledgement or a confirmation.
Message errorCause(int number)
{
    switch (number) {
    case 1:
        return {QStringLiteral("设备在 10 秒内没有进入更新模式"),
                QStringLiteral("the device did not enter update mode within 10 s")};
    case 2:
        return {QStringLiteral("设备在 5 秒内没有确认 DSP 数据"),
                QStringLiteral("the device did not acknowledge the DSP data within 5 s")};
    case 4:
        return {QStringLiteral("设备在 5 秒内没有确认镜像结束命令"),
                QStringLiteral("the device did not confirm the end of an image within 5 s")};
    case 5:
        return {QStringLiteral("设备在 5 秒内没有确认 ARM 数据"),
                QStringLiteral("the device did not acknowledge the ARM data within 5 s")};
    default:
        return {};
    }
}

Message errorRemedy(int number)
{
    switch (number) {
    case 1:
        return {QStringLiteral("检查连接线，重新插拔设备后再开始更新。"),
                QStringLiteral("Check the cable, plug the device in again and start the update "
                               "again.")};
    case 2:
    case 4:
    case 5:
        return {QStringLiteral("设备停留在引导程序中：重新插拔设备，再次选择同一文件更新。"),
                QStringLiteral("The device stays in its bootloader: plug it in again and flash "
                               "the same file again.")};
    default:
        return {};
    }
}

} // namespace flash
