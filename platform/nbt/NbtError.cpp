#include "platform/nbt/NbtError.h"

const char* NbtErrorText(NbtError error) {
    switch (error) {
        case NbtError::Truncated:
            return "data truncated";
        case NbtError::BadLabelLength:
            return "bad name label length";
        case NbtError::BadNameEncoding:
            return "bad encoded name byte";
        case NbtError::TooManyPointers:
            return "too many name compression pointers";
        case NbtError::BadPointer:
            return "bad name compression pointer";
        case NbtError::NameTooLong:
            return "name too long";
        case NbtError::BadScope:
            return "bad scope label";
        case NbtError::BadCount:
            return "record count larger than the packet";
        case NbtError::BadLength:
            return "length field inconsistent with the data";
        case NbtError::BadType:
            return "unknown packet type";
        case NbtError::BadFlags:
            return "reserved flag bits set";
        case NbtError::TooLarge:
            return "value too large";
        case NbtError::BadSmbHeader:
            return "bad SMB header";
        case NbtError::BadTransaction:
            return "inconsistent SMB Transaction";
        case NbtError::NotMailslotWrite:
            return "not a mailslot write";
    }
    return "unknown error";
}
