#include <updater/windowtitle.h>

QString windowTitleFor(int productId, QLocale::Language language)
{
    if (productId == 0x0525)
        return QStringLiteral("PLMBOOTLOADER");
    if (productId == 0x0524)
        return language == QLocale::English ? QStringLiteral("WheelupdateOffLine")
                                            : QStringLiteral("方向盘离线更新");
    return language == QLocale::Chinese ? QStringLiteral("Rivet离线更新")
                                        : QStringLiteral("RivetUpdateOff");
}
