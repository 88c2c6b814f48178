#include "mapview/MapProduct.h"

#include "lang/LangText.h"

namespace mapview {

int MapVersionCode(const QString& v) {
    if (v == QLatin1String("13,0") || v == QLatin1String("13.0"))
        return 1;
    if (v == QLatin1String("16,0") || v == QLatin1String("16.0"))
        return 0;
    if (v == QLatin1String("17,0") || v == QLatin1String("17.0"))
        return 2;
    if (v == QLatin1String("18,0") || v == QLatin1String("18.0"))
        return 3;
    return -1;
}

int MapRegionFromProduct(long region) {
    if (region == 2)
        return RegionEurope;
    if (region == 1)
        return RegionNorthAmerica;
    return -1;
}

QString MapTemplateName(int region, int versionCode) {
    const char* year = nullptr;
    switch (versionCode) {
    case 1:
        year = "2006";
        break;
    case 0:
        year = "2009";
        break;
    case 2:
        year = "2010";
        break;
    case 3:
        year = "2011";
        break;
    default:
        return {};
    }
    if (region == RegionEurope)
        return QStringLiteral("VordalinMapEur%1.ptt").arg(QLatin1String(year));
    if (region == RegionNorthAmerica)
        return QStringLiteral("VordalinMapNA%1.ptt").arg(QLatin1String(year));
    return {};
}

int SymbolErrorText(int versionCode) {
    switch (versionCode) {
    case 0:
        return txt::SymbolsVersion0;
    case 2:
        return txt::SymbolsVersion2;
    case 3:
        return txt::SymbolsVersion3;
    default:
        return txt::SymbolsUnknownVersion;
    }
}

int PushpinSymbolFor(int versionCode, int region, int noLeak) {
    const bool quiet = noLeak > 0;
    switch (versionCode) {
    case 1:
        return quiet ? 292 : 287;
    case 0:
        if (region == RegionEurope)
            return quiet ? 99 : 100;
        if (region == RegionNorthAmerica)
            return quiet ? 111 : 112;
        break;
    case 2:
        if (region == RegionEurope || region == RegionNorthAmerica)
            return quiet ? 399 : 400;
        break;
    case 3:
        if (region == RegionEurope || region == RegionNorthAmerica)
            return quiet ? 398 : 399;
        break;
    default:
        break;
    }
    return 0;
}

} // namespace mapview
