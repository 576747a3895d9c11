#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>

class CvEvent;

// NetBIOS commands. kNcbAsync may be or-ed into a command to make it return
// at once with kNrcPending; completion then sets the return code and the
// event.
inline constexpr uint8_t kNcbCall = 0x10;
inline constexpr uint8_t kNcbListen = 0x11;
inline constexpr uint8_t kNcbHangUp = 0x12;
inline constexpr uint8_t kNcbSend = 0x14;
inline constexpr uint8_t kNcbRecv = 0x15;
inline constexpr uint8_t kNcbSendDatagram = 0x20;
inline constexpr uint8_t kNcbRecvDatagram = 0x21;
inline constexpr uint8_t kNcbAddName = 0x30;
inline constexpr uint8_t kNcbDeleteName = 0x31;
inline constexpr uint8_t kNcbReset = 0x32;
inline constexpr uint8_t kNcbAdapterStatus = 0x33;
inline constexpr uint8_t kNcbCancel = 0x35;
inline constexpr uint8_t kNcbAddGroupName = 0x36;
inline constexpr uint8_t kNcbEnum = 0x37;
inline constexpr uint8_t kNcbAsync = 0x80;

// Return codes the stack produces and the rest of the code relies on.
inline constexpr uint8_t kNrcGoodRet = 0x00;      // success
inline constexpr uint8_t kNrcBufLen = 0x01;       // illegal buffer length
inline constexpr uint8_t kNrcIllCmd = 0x03;       // illegal command
inline constexpr uint8_t kNrcCmdTmo = 0x05;       // command timed out
inline constexpr uint8_t kNrcIncomp = 0x06;       // message incomplete, more to come
inline constexpr uint8_t kNrcSnumOut = 0x08;      // session number out of range
inline constexpr uint8_t kNrcNoRes = 0x09;        // no resource available
inline constexpr uint8_t kNrcSClosed = 0x0A;      // session closed
inline constexpr uint8_t kNrcCmdCan = 0x0B;       // command cancelled
inline constexpr uint8_t kNrcDupName = 0x0D;      // duplicate name in the local table
inline constexpr uint8_t kNrcNamTFul = 0x0E;      // name table full
inline constexpr uint8_t kNrcActSes = 0x0F;       // name has active sessions (deleted later)
inline constexpr uint8_t kNrcLocTFul = 0x11;      // local session table full
inline constexpr uint8_t kNrcRemTFul = 0x12;      // remote session table full (call refused)
inline constexpr uint8_t kNrcIllNn = 0x13;        // illegal name number
inline constexpr uint8_t kNrcNoCall = 0x14;       // no station answered the call
inline constexpr uint8_t kNrcNoWild = 0x15;       // wildcard name not allowed
inline constexpr uint8_t kNrcInUse = 0x16;        // name in use on another station
inline constexpr uint8_t kNrcNamErr = 0x17;       // name deleted
inline constexpr uint8_t kNrcSAbort = 0x18;       // session ended abnormally
inline constexpr uint8_t kNrcNamConf = 0x19;      // name conflict detected
inline constexpr uint8_t kNrcIfBusy = 0x21;       // interface busy
inline constexpr uint8_t kNrcTooMany = 0x22;      // too many commands outstanding
inline constexpr uint8_t kNrcBridge = 0x23;       // no such adapter
inline constexpr uint8_t kNrcCanOccr = 0x24;      // command completed while cancelling
inline constexpr uint8_t kNrcCancel = 0x26;       // command not valid to cancel
inline constexpr uint8_t kNrcDupEnv = 0x30;       // name defined by another process
inline constexpr uint8_t kNrcEnvNotDef = 0x34;    // adapter not reset
inline constexpr uint8_t kNrcOsResNotAv = 0x35;   // operating system resources exhausted
inline constexpr uint8_t kNrcMaxApps = 0x36;      // too many applications
inline constexpr uint8_t kNrcNoSaps = 0x37;       // no service access points
inline constexpr uint8_t kNrcNoResources = 0x38;  // requested resources not available
inline constexpr uint8_t kNrcInvAddress = 0x39;   // invalid buffer address
inline constexpr uint8_t kNrcInvDdid = 0x3B;      // invalid NCB
inline constexpr uint8_t kNrcLockFail = 0x3C;     // lock of buffer failed
inline constexpr uint8_t kNrcOpenErr = 0x3F;      // adapter could not be opened
inline constexpr uint8_t kNrcSystem = 0x40;       // system error
inline constexpr uint8_t kNrcPending = 0xFF;      // asynchronous command not yet finished

// One NetBIOS request. Zero-filled on construction; the issuer owns it and
// must keep it (and its buffer and event) alive until it has completed.
struct CvNcb {
    uint8_t command = 0;
    std::atomic<uint8_t> retcode{0};
    uint8_t lsn = 0;      // local session number
    uint8_t num = 0;      // name number
    uint8_t* buffer = nullptr;
    uint16_t length = 0;  // buffer length; received length on completion
    uint8_t callname[16] = {};
    uint8_t name[16] = {};
    uint8_t rto = 0;      // receive time-out, 500 ms units, 0 = none
    uint8_t sto = 0;      // send time-out, 500 ms units, 0 = none
    uint8_t lana = 0;
    std::atomic<uint8_t> cmdCplt{0};
    CvEvent* event = nullptr;  // set when an asynchronous command completes
    // The NCB to cancel, for kNcbCancel (Windows passes it in the buffer).
    CvNcb* cancelTarget = nullptr;

    CvNcb() = default;
    CvNcb(const CvNcb&) = delete;
    CvNcb& operator=(const CvNcb&) = delete;
};

// Fills a 16-byte NetBIOS name field: spaces, then up to 16 bytes of `name`,
// then `suffix` in byte 15.
inline void CvSetNetbiosName(uint8_t (&field)[16], const char* name, size_t nameLength,
                             uint8_t suffix) {
    std::memset(field, ' ', sizeof field);
    std::memcpy(field, name, nameLength < 16 ? nameLength : 16);
    field[15] = suffix;
}
