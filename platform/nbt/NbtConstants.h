#pragma once

#include <cstddef>
#include <cstdint>

// NetBIOS over TCP/IP protocol constants (RFC 1001/1002). Multi-byte NetBIOS
// fields are big-endian on the wire; SMB fields are little-endian.

// Ports.
inline constexpr uint16_t kNbtNamePort = 137;      // name service, UDP
inline constexpr uint16_t kNbtDatagramPort = 138;  // datagram service, UDP
inline constexpr uint16_t kNbtSessionPort = 139;   // session service, TCP

// Timers and limits for a B-node.
inline constexpr int kBcastReqRetryTimeoutMs = 250;   // between broadcast retransmissions
inline constexpr int kBcastReqRetryCount = 3;         // broadcast sends in total
inline constexpr int kUcastReqRetryTimeoutMs = 5000;  // between unicast retransmissions
inline constexpr int kUcastReqRetryCount = 3;         // unicast sends in total
inline constexpr int kConflictTimerMs = 1000;         // window for conflicting query answers
inline constexpr int kSsnRetryCount = 4;              // session retargets followed at most
inline constexpr int kSsnCloseTimeoutMs = 30000;      // idle session close
inline constexpr int kSsnKeepAliveTimeoutMs = 60000;  // keep-alive interval
inline constexpr size_t kMaxDatagramLength = 576;     // largest UDP payload we build

// Names.
inline constexpr size_t kNbtRawNameLength = 16;       // 15 characters + suffix
inline constexpr size_t kNbtEncodedNameLength = 32;   // first-level encoding of 16 bytes
inline constexpr size_t kNbtMaxWireNameLength = 255;  // length bytes, labels and the final 0
inline constexpr size_t kNbtMaxLabelLength = 63;      // one scope label
inline constexpr int kNbtMaxNamePointers = 10;        // compression pointers followed per name

// Name service header FLAGS word.
inline constexpr uint16_t kNbtFlagResponse = 0x8000;            // R
inline constexpr uint16_t kNbtFlagOpcodeMask = 0x7800;          // OPCODE << 11
inline constexpr int kNbtOpcodeShift = 11;                      // position of OPCODE
inline constexpr uint16_t kNbtFlagAuthoritative = 0x0400;       // AA
inline constexpr uint16_t kNbtFlagTruncated = 0x0200;           // TC
inline constexpr uint16_t kNbtFlagRecursionDesired = 0x0100;    // RD
inline constexpr uint16_t kNbtFlagRecursionAvailable = 0x0080;  // RA
inline constexpr uint16_t kNbtFlagBroadcast = 0x0010;           // B
inline constexpr uint16_t kNbtFlagRcodeMask = 0x000F;           // RCODE

// Name service opcodes.
inline constexpr uint8_t kNbtOpQuery = 0;         // name query / node status
inline constexpr uint8_t kNbtOpRegistration = 5;  // registration, overwrite demand
inline constexpr uint8_t kNbtOpRelease = 6;       // release
inline constexpr uint8_t kNbtOpWack = 7;          // wait for acknowledgement
inline constexpr uint8_t kNbtOpRefresh = 8;       // refresh

// Name service RCODEs.
inline constexpr uint8_t kNbtRcodeFmtErr = 1;  // format error
inline constexpr uint8_t kNbtRcodeSrvErr = 2;  // server failure
inline constexpr uint8_t kNbtRcodeNamErr = 3;  // name does not exist
inline constexpr uint8_t kNbtRcodeImpErr = 4;  // unsupported request
inline constexpr uint8_t kNbtRcodeRfsErr = 5;  // refused
inline constexpr uint8_t kNbtRcodeActErr = 6;  // name is active elsewhere
inline constexpr uint8_t kNbtRcodeCftErr = 7;  // name in conflict

// Question and record types and class.
inline constexpr uint16_t kNbtTypeNb = 0x0020;      // name -> address
inline constexpr uint16_t kNbtTypeNbstat = 0x0021;  // node status
inline constexpr uint16_t kNbtClassIn = 0x0001;     // Internet class

// NB_FLAGS and NAME_FLAGS bits.
inline constexpr uint16_t kNbFlagGroup = 0x8000;         // G: group name
inline constexpr uint16_t kNbFlagOntMask = 0x6000;       // owner node type
inline constexpr uint16_t kNbFlagOntB = 0x0000;          // B-node
inline constexpr uint16_t kNbFlagOntP = 0x2000;          // P-node
inline constexpr uint16_t kNbFlagOntM = 0x4000;          // M-node
inline constexpr uint16_t kNbFlagOntH = 0x6000;          // H-node
inline constexpr uint16_t kNameFlagDeregister = 0x1000;  // DRG: being released
inline constexpr uint16_t kNameFlagConflict = 0x0800;    // CNF: in conflict
inline constexpr uint16_t kNameFlagActive = 0x0400;      // ACT: active
inline constexpr uint16_t kNameFlagPermanent = 0x0200;   // PRM: permanent node name

// Node status statistics block.
inline constexpr size_t kNbtNodeStatisticsLength = 46;  // UNIT_ID and counters
inline constexpr size_t kNbtUnitIdLength = 6;           // MAC address at the start

// Datagram service MSG_TYPE values.
inline constexpr uint8_t kDgmDirectUnique = 0x10;           // to a unique name
inline constexpr uint8_t kDgmDirectGroup = 0x11;            // to a group name
inline constexpr uint8_t kDgmBroadcast = 0x12;              // to every node
inline constexpr uint8_t kDgmError = 0x13;                  // datagram error
inline constexpr uint8_t kDgmQueryRequest = 0x14;           // NBDD query
inline constexpr uint8_t kDgmPositiveQueryResponse = 0x15;  // NBDD knows the name
inline constexpr uint8_t kDgmNegativeQueryResponse = 0x16;  // NBDD does not know it

// Datagram FLAGS.
inline constexpr uint8_t kDgmFlagMore = 0x01;          // M: more fragments follow
inline constexpr uint8_t kDgmFlagFirst = 0x02;         // F: first fragment
inline constexpr uint8_t kDgmSntMask = 0x0C;           // source node type
inline constexpr uint8_t kDgmSntB = 0x00;              // B-node
inline constexpr uint8_t kDgmSntP = 0x04;              // P-node
inline constexpr uint8_t kDgmSntM = 0x08;              // M-node
inline constexpr uint8_t kDgmSntNbdd = 0x0C;           // NBDD
inline constexpr uint8_t kDgmFlagReservedMask = 0xF0;  // must be zero

// Datagram ERROR_CODE values.
inline constexpr uint8_t kDgmErrDestinationUnknown = 0x82;  // destination name not present
inline constexpr uint8_t kDgmErrBadSourceName = 0x83;       // invalid source name format
inline constexpr uint8_t kDgmErrBadDestinationName = 0x84;  // invalid destination name format

// Session service frame types.
inline constexpr uint8_t kSsnMessage = 0x00;           // payload (an SMB PDU)
inline constexpr uint8_t kSsnRequest = 0x81;           // called name, calling name
inline constexpr uint8_t kSsnPositiveResponse = 0x82;  // session accepted
inline constexpr uint8_t kSsnNegativeResponse = 0x83;  // refused, one error byte
inline constexpr uint8_t kSsnRetargetResponse = 0x84;  // reconnect to IPv4 + port
inline constexpr uint8_t kSsnKeepAlive = 0x85;         // discarded by the receiver

// Session header FLAGS and lengths.
inline constexpr uint8_t kSsnFlagExtension = 0x01;  // E: 17th length bit
inline constexpr uint32_t kSsnMaxLength = 0x1FFFF;  // largest trailer
inline constexpr size_t kSsnHeaderLength = 4;       // TYPE, FLAGS, LENGTH

// NEGATIVE SESSION RESPONSE error codes.
inline constexpr uint8_t kSsnErrNotListeningOnCalled = 0x80;    // no listen on the called name
inline constexpr uint8_t kSsnErrNotListeningForCalling = 0x81;  // no listen for the calling name
inline constexpr uint8_t kSsnErrCalledNotPresent = 0x82;        // called name not present
inline constexpr uint8_t kSsnErrInsufficientResources = 0x83;   // present, but no resources
inline constexpr uint8_t kSsnErrUnspecified = 0x8F;             // unspecified error

// SMB Transaction carrying a mailslot write.
inline constexpr uint8_t kSmbComTransaction = 0x25;      // SMB_COM_TRANSACTION
inline constexpr size_t kSmbHeaderLength = 32;           // FF 'S' 'M' 'B' ... MID
inline constexpr uint8_t kSmbTransactionWordCount = 17;  // 14 words + 3 setup words
inline constexpr uint16_t kMailslotOpcodeWrite = 1;      // Setup[0]
inline constexpr uint16_t kMailslotClassUnreliable = 2;  // second class, broadcast
inline constexpr size_t kMaxMailslotSmbLength = 576;     // largest SMB we build
inline constexpr const char* kMessengerMailslot = "\\MAILSLOT\\MESSNGR";  // messenger mailslot
