#pragma once

// Why a NetBIOS codec refused its input. Decoders never partially succeed:
// they return a value or one of these.
enum class NbtError {
    Truncated,         // the data ends before a field or a declared length
    BadLabelLength,    // a name label length is not allowed there (first label not 32, > 63)
    BadNameEncoding,   // an encoded name byte is outside 'A'..'P'
    TooManyPointers,   // more than 10 compression pointers in one name (a loop)
    BadPointer,        // a compression pointer past the packet or where none is allowed
    NameTooLong,       // a wire name longer than 255 bytes, or a raw name over 15 characters
    BadScope,          // an empty or oversized scope label
    BadCount,          // a record count that the packet cannot hold
    BadLength,         // a length field inconsistent with the data
    BadType,           // unknown packet or frame type
    BadFlags,          // reserved flag bits set
    TooLarge,          // a value too large for its length field or size limit
    BadSmbHeader,      // not an SMB, or not the expected command
    BadTransaction,    // inconsistent SMB Transaction fields
    NotMailslotWrite,  // a Transaction that is not a whole mailslot write
};

// One line describing the error, for diagnostics.
const char* NbtErrorText(NbtError error);
