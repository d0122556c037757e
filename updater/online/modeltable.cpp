#include <updater/online/modeltable.h>

namespace {
struct Band
{
    int first;
    int last;
    const char *model;
    bool madeAtStartUp; // its cache folder
};

constexpr Band Bands[] = {
    {1000, 1999, "VKP1000", true},  {2000, 2999, "VKP2000", true}, {3000, 3199, "VKP3000", true},
    {3200, 3399, "VKP3200", true},  {3400, 3599, "VKP3400", true}, {3600, 3799, "VKP3600", true},
    {3800, 3999, "VKP3800", true},  {4000, 4999, "VKP4000", true}, {5000, 5999, "VKP5000", true},
    {6000, 6999, "VKP6000", false},
};
} // namespace

std::optional<ModelEntry> ModelForVersion(int version)
{
    for (const Band &band : Bands) {
        if (version >= band.first && version <= band.last) {
            const QString model = QString::fromLatin1(band.model);
            return ModelEntry{model + QLatin1Char('/') + model + QStringLiteral(".txt"), model};
        }
    }
    return std::nullopt;
}

QStringList CacheModelFolders()
{
    QStringList folders;
    for (const Band &band : Bands) {
        if (band.madeAtStartUp)
            folders << QString::fromLatin1(band.model);
    }
    return folders;
}
