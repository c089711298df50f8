#pragma once

#include <QtGlobal>

// The codes of the Tavik wire protocol: what the host asks, what the device
// answers, and the status bits the host acts on.
namespace Protocol {

enum Request : quint8 {
    REQ_SET_LF = 0x05,
    REQ_SET_TIME = 0x08,
    REQ_QUERY = 0x31,
    REQ_SET_CLOCK = 0x33,
    REQ_COMMAND = 0x38,
};

enum Reply : quint8 {
    REP_STATUS = 0x32,
    REP_CLOCK = 0x33,
    REP_CONFIG = 0x35,
    REP_LIVETIME = 0x3E,
};

enum Query : quint8 {
    QueryStatus = 1,
    QueryConfig = 2,
    QueryClock = 3,
    QuerySecondary = 4,
    QueryLivetime = 6,
};

enum Command : quint8 {
    CommandBringUp = 1,
    CommandStart = 2,
    CommandStop = 3,
};

// Status bits the controller acts on, and the ones a device reports with them.
enum StatusBit : quint32 {
    StandBy = 0x1,
    Ready = 0x2,
    Power = 0x4,
    HighVoltage = 0x8,
    Oscillator = 0x10,
    Transmit = 0x20,
};

}  // namespace Protocol
