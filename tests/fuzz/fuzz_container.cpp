// Any bytes: decoding is whole or nothing, the same through either reader,
// and what decodes encodes to bytes that decode to the same object.
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = Fuzz::bytes(data, size);
    QJsonObject object;
    const bool read = Container::decode(input, object);
    QByteArray tagged;
    if (Fuzz::tagged(input, tagged)) {
        QJsonObject general;
        Fuzz::check(Container::decode(tagged, general) == read, "both readers accept the same files");
        Fuzz::check(!read || general == object, "both readers read the same object");
    }
    if (!read)
        return 0;
    const QByteArray written = Container::encode(object);
    QJsonObject again;
    Fuzz::check(Container::decode(written, again), "re-encoded object decodes");
    Fuzz::check(again == object, "re-encoded object is the same");
    Fuzz::check(Container::encode(again) == written, "encoding is stable");
    return 0;
}
