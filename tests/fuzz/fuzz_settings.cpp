#include "fuzzsupport.h"

#include "data/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QJsonObject object;
    if (!Container::decode(Fuzz::bytes(data, size), object))
        return 0;
    Settings settings;
    settings.fromJson(object);
    QJsonObject written;
    settings.toJson(written);
    Settings again;
    again.fromJson(Container::decode(Container::encode(written)));
    Fuzz::check(again.operatorName() == settings.operatorName(), "operator name reads back");
    Fuzz::check(again.geometry() == settings.geometry(), "geometry reads back");
    return 0;
}
