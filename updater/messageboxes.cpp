#include <updater/messageboxes.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QMessageBox>

namespace messageboxes {

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}
} // namespace

void show(QWidget *parent, const QLocale &locale, const QString &englishTitle,
          const QString &chinese, const QString &english)
{
    if (locale.language() == QLocale::Chinese) {
        QMessageBox box(QMessageBox::Information, tr("信息"), chinese, QMessageBox::Ok, nullptr,
                        Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
        box.button(QMessageBox::Ok)->setText(QStringLiteral("确 定"));
        box.exec();
        return;
    }
    // A single Yes button. (Naming No as the default besides, as older code did,
    // makes Qt 5 fall back to its old API and show a No button as well.)
    QMessageBox::warning(parent, englishTitle, english, QMessageBox::Yes);
}

bool completion(const QLocale &locale)
{
    const bool chinese = locale.language() == QLocale::Chinese;
    QMessageBox box(QMessageBox::Information,
                    chinese ? QStringLiteral("信息") : QStringLiteral("information"),
                    chinese ? QStringLiteral("更新成功!\n点击确定按钮关闭软件！")
                            : QStringLiteral("Update Complete!\nClick OK to close the software!"),
                    QMessageBox::Ok, nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    box.button(QMessageBox::Ok)->setText(chinese ? QStringLiteral("确定") : QStringLiteral("Ok"));
    return box.exec() == QMessageBox::Ok;
}

bool closeDuringUpdate(QWidget *parent, const QLocale &locale)
{
    const bool chinese = locale.language() == QLocale::Chinese;
    QMessageBox box(
        QMessageBox::Question, chinese ? QStringLiteral("警告") : QStringLiteral("Warning"),
        chinese ? QStringLiteral("正在更新。现在关闭会使设备停留在引导程序中，可以重新更新。"
                                 "仍要关闭吗？")
                : QStringLiteral("An update is running. Closing now leaves the device "
                                 "in its bootloader; it can be flashed again. Close "
                                 "anyway?"),
        QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

} // namespace messageboxes
