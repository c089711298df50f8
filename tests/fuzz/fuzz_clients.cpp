#include "fuzzsupport.h"

#include "data/clients.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Clients clients;
    if (!Fuzz::readBoth(clients, Fuzz::bytes(data, size)))
        return 0;
    Fuzz::roundTrip(clients.listKey(), clients.records());
    // Whatever a file says, a client's history stays inside the data folder.
    for (const Client &client : clients.records()) {
        if (Client::isPlainIdentifier(client.file))
            Fuzz::check(!client.file.contains(QLatin1Char('/')) && !client.file.contains(QLatin1Char('.'))
                            && !client.file.contains(QLatin1Char('\n')),
                        "a plain identifier names no other folder");
    }
    return 0;
}
