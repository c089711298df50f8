#include "fuzzsupport.h"

#include "discovery/broadcastudp.h"

#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::quiet();
    // A copy of exactly `size` bytes, so that ASan sees any read beyond it.
    std::unique_ptr<char[]> datagram(new char[size ? size : 1]);
    if (size)
        memcpy(datagram.get(), data, size);
    Machine machine;
    BroadcastUDP::decode(datagram.get(), int(qMin<size_t>(size, BroadcastUDP::maxDatagram)), machine);
    return 0;
}
