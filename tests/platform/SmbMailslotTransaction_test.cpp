#include "platform/nbt/SmbMailslotTransaction.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "platform/nbt/NbtConstants.h"
#include "tests/platform/NbtTestBytes.h"

using nbttest::Bytes;
using nbttest::PatchU16Le;
using nbttest::U16Le;

namespace {

const NbtBytes kMessage = Bytes("ALICE").Add({0}).Add("BOB").Add({0}).Add("hi there").Add({0});

SmbMailslotTransaction Messenger() {
    SmbMailslotTransaction transaction;
    transaction.data = kMessage;
    return transaction;
}

NbtBytes Encode(const SmbMailslotTransaction& transaction) {
    auto bytes = transaction.Encode();
    EXPECT_TRUE(bytes.Ok());
    return bytes.Ok() ? bytes.Value() : NbtBytes();
}

}  // namespace

TEST(SmbMailslotTransactionTest, ByteLayout) {
    const NbtBytes bytes = Encode(Messenger());
    const size_t n = kMessage.size();
    ASSERT_EQ(bytes.size(), 87 + n);
    EXPECT_EQ(NbtBytes(bytes.begin(), bytes.begin() + 4), Bytes({0xFF, 'S', 'M', 'B'}).Get());
    EXPECT_EQ(bytes[4], 0x25);
    for (size_t i = 5; i < 32; ++i) {
        EXPECT_EQ(bytes[i], 0) << i;
    }
    EXPECT_EQ(bytes[32], 17);         // WordCount
    EXPECT_EQ(U16Le(bytes, 33), 0);   // TotalParameterCount
    EXPECT_EQ(U16Le(bytes, 35), n);   // TotalDataCount
    EXPECT_EQ(U16Le(bytes, 51), 0);   // ParameterCount
    EXPECT_EQ(U16Le(bytes, 55), n);   // DataCount
    EXPECT_EQ(U16Le(bytes, 57), 87);  // DataOffset
    EXPECT_EQ(bytes[59], 3);          // SetupCount
    EXPECT_EQ(U16Le(bytes, 61), 1);   // write
    EXPECT_EQ(U16Le(bytes, 63), 1);   // priority
    EXPECT_EQ(U16Le(bytes, 65), 2);   // second class
    EXPECT_EQ(U16Le(bytes, 67), 18 + n);
    EXPECT_EQ(std::string(bytes.begin() + 69, bytes.begin() + 87),
              std::string("\\MAILSLOT\\MESSNGR\0", 18));
    EXPECT_EQ(NbtBytes(bytes.begin() + 87, bytes.end()), kMessage);

    const auto decoded = SmbMailslotTransaction::Decode(bytes);
    ASSERT_TRUE(decoded.Ok()) << NbtErrorText(decoded.Error());
    EXPECT_EQ(decoded.Value(), Messenger());
}

TEST(SmbMailslotTransactionTest, DecodesPaddingAndComparesNamesWithoutCase) {
    // Two pad bytes between the name and the data, and a lower-case name.
    NbtBytes bytes = Encode(Messenger());
    for (size_t i = 69; i < 87; ++i) {
        bytes[i] = static_cast<uint8_t>(std::tolower(bytes[i]));
    }
    bytes.insert(bytes.begin() + 87, {0xAA, 0xBB});
    PatchU16Le(bytes, 57, 89);
    PatchU16Le(bytes, 67, static_cast<uint16_t>(U16Le(bytes, 67) + 2));
    const auto decoded = SmbMailslotTransaction::Decode(bytes);
    ASSERT_TRUE(decoded.Ok()) << NbtErrorText(decoded.Error());
    EXPECT_EQ(decoded.Value().data, kMessage);
    EXPECT_EQ(decoded.Value().mailslotName, "\\mailslot\\messngr");
    EXPECT_TRUE(decoded.Value().IsMailslot(kMessengerMailslot));
    EXPECT_FALSE(decoded.Value().IsMailslot("\\MAILSLOT\\BROWSE"));
    EXPECT_FALSE(decoded.Value().IsMailslot("\\MAILSLOT\\MESSNGRX"));
}

TEST(SmbMailslotTransactionTest, RejectsMalformedTransactions) {
    const NbtBytes valid = Encode(Messenger());
    auto patched = [&](size_t offset, uint16_t value) {
        NbtBytes bytes = valid;
        PatchU16Le(bytes, offset, value);
        return bytes;
    };
    auto withByte = [&](size_t offset, uint8_t value) {
        NbtBytes bytes = valid;
        bytes[offset] = value;
        return bytes;
    };
    NbtBytes noNul = valid;
    noNul.resize(87);
    noNul[86] = 'X';
    PatchU16Le(noNul, 67, 18);
    PatchU16Le(noNul, 35, 0);
    PatchU16Le(noNul, 55, 0);
    struct Case {
        const char* what;
        NbtBytes bytes;
        NbtError error;
    };
    const Case cases[] = {
        {"not an SMB", withByte(1, 'X'), NbtError::BadSmbHeader},
        {"other command", withByte(4, 0x24), NbtError::BadSmbHeader},
        {"WordCount not 14 + SetupCount", withByte(32, 16), NbtError::BadTransaction},
        {"WordCount too small", withByte(32, 2), NbtError::BadTransaction},
        {"two setup words", withByte(59, 2), NbtError::BadTransaction},
        {"not a write", patched(61, 2), NbtError::NotMailslotWrite},
        {"only part of the data", patched(35, 100), NbtError::NotMailslotWrite},
        {"data past the end", patched(57, 88), NbtError::BadTransaction},
        {"data overlapping the name", patched(57, 80), NbtError::BadTransaction},
        {"DataCount past the end",
         [&] {
             NbtBytes bytes = patched(55, 200);
             PatchU16Le(bytes, 35, 200);
             return bytes;
         }(),
         NbtError::BadTransaction},
        {"ByteCount past the end", patched(67, 1000), NbtError::Truncated},
        {"name without NUL", noNul, NbtError::BadTransaction},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto result = SmbMailslotTransaction::Decode(c.bytes);
        ASSERT_FALSE(result.Ok());
        EXPECT_EQ(result.Error(), c.error) << NbtErrorText(result.Error());
    }
    // The data ends the packet, so every shorter prefix must fail.
    for (size_t length = 0; length < valid.size(); ++length) {
        EXPECT_FALSE(SmbMailslotTransaction::Decode(std::span(valid.data(), length)).Ok())
            << length;
    }
}

TEST(SmbMailslotTransactionTest, EncodeLimits) {
    SmbMailslotTransaction transaction;
    transaction.data.assign(576 - 87, 'x');
    EXPECT_TRUE(transaction.Encode().Ok());
    transaction.data.push_back('x');
    EXPECT_EQ(transaction.Encode().Error(), NbtError::TooLarge);
    transaction.data.clear();
    transaction.mailslotName = std::string("\\MAILSLOT\\A\0B", 13);
    EXPECT_EQ(transaction.Encode().Error(), NbtError::BadTransaction);
    transaction.mailslotName.clear();
    EXPECT_EQ(transaction.Encode().Error(), NbtError::BadTransaction);
}
