#include <updater/helpcontent.h>

#include <flash/errormeanings.h>

namespace helpcontent {

namespace {

QString errorRows(bool chinese)
{
    QString rows;
    for (int number : {1, 2, 4, 5}) {
        const flash::Message cause = flash::errorCause(number);
        const flash::Message remedy = flash::errorRemedy(number);
        rows += QStringLiteral("<li>%1 %2: %3. %4</li>")
                    .arg(chinese ? QStringLiteral("错误") : QStringLiteral("Error"))
                    .arg(number)
                    .arg((chinese ? cause.chinese : cause.english).toHtmlEscaped(),
                         (chinese ? remedy.chinese : remedy.english).toHtmlEscaped());
    }
    return rows;
}

} // namespace

QString helpText(bool chinese, const QString &downloadFolder)
{
    const QString folder = downloadFolder.toHtmlEscaped();
    const QString log = QStringLiteral("<code>QT_LOGGING_RULES=\"rivet.*.debug=true\"</code>");
    if (chinese)
        return QStringLiteral("<div style=\"color:#e6e6e6\">"
                              "<h3>更新步骤</h3><ol>"
                              "<li>连接设备，圆环变为蓝色。</li>"
                              "<li>点击“文件路径”选择固件文件，或按 F5 检查服务器上的新固件。</li>"
                              "<li>文件检查通过后，点击“下载”开始更新；更新期间不要拔出设备。</li>"
                              "<li>更新成功后，点击确定关闭软件。</li></ol>"
                              "<h3>错误</h3><ul>%1</ul>"
                              "<h3>圆环颜色</h3><ul><li>蓝色：设备已连接。</li>"
                              "<li>红色：未连接设备。</li></ul>"
                              "<h3>在线下载</h3><p>下载的固件保存在 %2</p>"
                              "<h3>通信日志</h3><p>在终端中设置环境变量 %3 后启动程序，"
                              "设备通信记录会显示在终端中。</p></div>")
            .arg(errorRows(true), folder, log);
    return QStringLiteral(
               "<div style=\"color:#e6e6e6\">"
               "<h3>Updating the firmware</h3><ol>"
               "<li>Connect the device: the ring turns blue.</li>"
               "<li>Choose the firmware file with \"File Path\", or press F5 to check the "
               "server for new firmware.</li>"
               "<li>Once the file has passed its checks, press \"DownLoad\" to start; do not "
               "unplug the device while the update runs.</li>"
               "<li>When the update is complete, OK closes the program.</li></ol>"
               "<h3>Errors</h3><ul>%1</ul>"
               "<h3>The ring</h3><ul><li>Blue: the device is connected.</li>"
               "<li>Red: no device is connected.</li></ul>"
               "<h3>Online downloads</h3><p>Downloaded firmware is kept in %2</p>"
               "<h3>Device traffic log</h3><p>Start the program from a terminal with the "
               "environment variable %3 set: the device traffic is written there.</p></div>")
        .arg(errorRows(false), folder, log);
}

} // namespace helpcontent
