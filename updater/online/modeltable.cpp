#include "modeltable.h"

namespace {
struct Band
{
    int first;
    int last;
    const char *model;
};

constexpr Band Bands[] = {
    {1000, 1999, "VKP1000"}, {2000, 2999, "VKP2000"}, {3000, 3199, "VKP3000"},
    {3200, 3399, "VKP3200"}, {3400, 3599, "VKP3400"}, {3600, 3799, "VKP3600"},
    {3800, 3999, "VKP3800"}, {4000, 4999, "VKP4000"}, {5000, 5999, "VKP5000"},
    {6000, 6999, "VKP6000"},
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
    return {QStringLiteral("VKP1000"), QStringLiteral("VKP2000"), QStringLiteral("VKP3000"),
            QStringLiteral("VKP3200"), QStringLiteral("VKP3400"), QStringLiteral("VKP3600"),
            QStringLiteral("VKP3800"), QStringLiteral("VKP4000"), QStringLiteral("VKP5000")};
}
