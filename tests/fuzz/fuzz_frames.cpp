// A TCP byte stream from a device, cut at the places the first byte says.
#include "fuzzsupport.h"

#include "device/frame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray stream = Fuzz::bytes(data, size);
    FrameReader reader;
    const int step = size > 0 ? 1 + data[0] % 64 : 1;
    QByteArray frame;
    for (qsizetype at = 0; at < stream.size(); at += step) {
        reader.append(stream.mid(at, step));
        while (reader.next(frame)) {
            Fuzz::check(frame.size() >= Frame::overhead, "a frame has its overhead");
            Fuzz::check(uchar(frame.at(1)) + Frame::overhead == frame.size(), "a frame is as long as it says");
        }
        Fuzz::check(reader.buffered() <= FrameReader::maxBuffered + step, "the backlog stays bounded");
    }
    return 0;
}
