#include "platform/nbt/NbtName.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/platform/NbtTestBytes.h"

using nbttest::Bytes;

namespace {

NbtName MakeName(std::string_view name, uint8_t suffix, std::string_view scope = {}) {
    auto result = NbtName::Make(name, suffix, scope);
    EXPECT_TRUE(result.Ok());
    return result.Ok() ? result.Value() : NbtName();
}

NbtResult<NbtName> DecodeAll(const NbtBytes& bytes, bool allowPointers = false) {
    size_t offset = 0;
    return NbtName::DecodeWire(bytes, offset, allowPointers);
}

std::string RepeatText(const std::string& text, int count) {
    std::string result;
    for (int i = 0; i < count; ++i) {
        result += text;
    }
    return result;
}

}  // namespace

TEST(NbtNameTest, EncodesWireFormAndDecodesItBack) {
    struct Case {
        std::string name;
        uint8_t suffix;
        std::string scope;
        NbtBytes wire;
    };
    const Case cases[] = {
        {"TESTNAME", 0x03, "", Bytes({0x20}).Add("FEEFFDFEEOEBENEFCACACACACACACAAD").Add({0})},
        {"*", 0x00, "", Bytes({0x20}).Add("CK").Repeat('A', 30).Add({0})},
        {"", 0x20, "", Bytes({0x20}).Add(RepeatText("CA", 16)).Add({0})},
        {"AB", 0x1D, "CORP.EXAMPLE",
         Bytes({0x20})
             .Add("EBEC" + RepeatText("CA", 13) + "BN")
             .Add({4})
             .Add("CORP")
             .Add({7})
             .Add("EXAMPLE")
             .Add({0})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const NbtName name = MakeName(c.name, c.suffix, c.scope);
        EXPECT_EQ(name.Raw().size(), 16u);
        EXPECT_EQ(name.EncodeWire(), c.wire);
        EXPECT_EQ(name.WireLength(), c.wire.size());
        const auto decoded = DecodeAll(c.wire);
        ASSERT_TRUE(decoded.Ok()) << NbtErrorText(decoded.Error());
        EXPECT_EQ(decoded.Value(), name);
        EXPECT_EQ(decoded.Value().Name(), c.name);
        EXPECT_EQ(decoded.Value().Suffix(), c.suffix);
        EXPECT_EQ(decoded.Value().Scope(), c.scope);
    }
}

TEST(NbtNameTest, PadsWithSpacesButTheWildcardWithZeros) {
    EXPECT_EQ(MakeName("PEER", 0x03).Raw(), std::string("PEER           \x03", 16));
    EXPECT_EQ(MakeName("*", 0x00).Raw(), std::string("*\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 16));
    // Bytes are kept as given: no upper-casing, OEM bytes pass through.
    EXPECT_EQ(MakeName("pc\x8e", 0x03).Name(), "pc\x8e");
}

TEST(NbtNameTest, RefusesNamesThatCannotBeEncoded) {
    struct Case {
        std::string name;
        std::string scope;
        NbtError error;
    };
    const Case cases[] = {
        {"SIXTEENCHARSLONG", "", NbtError::NameTooLong},
        {"A", "CORP..EXAMPLE", NbtError::BadScope},
        {"A", ".CORP", NbtError::BadScope},
        {"A", "CORP.", NbtError::BadScope},
        {"A", std::string(64, 'x'), NbtError::BadScope},
        // 34 + 4 labels of 63 bytes (256) is past the 255-byte limit.
        {"A",
         std::string(63, 'x') + "." + std::string(63, 'x') + "." + std::string(63, 'x') + "." +
             std::string(62, 'x'),
         NbtError::NameTooLong},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scope);
        const auto result = NbtName::Make(c.name, 0x03, c.scope);
        ASSERT_FALSE(result.Ok());
        EXPECT_EQ(result.Error(), c.error);
    }
    EXPECT_EQ(NbtName::FromRaw("short").Error(), NbtError::BadLength);
}

TEST(NbtNameTest, FirstLevelDecodingChecksEveryByte) {
    EXPECT_EQ(NbtName::DecodeFirstLevel("FEEFFDFEEOEBENEFCACACACACACACAAD").Value(),
              std::string("TESTNAME       \x03", 16));
    EXPECT_EQ(NbtName::DecodeFirstLevel("FEEF").Error(), NbtError::BadLabelLength);
    EXPECT_EQ(NbtName::DecodeFirstLevel("FEEFFDFEEOEBENEFCACACACACACACAAQ").Error(),
              NbtError::BadNameEncoding);
    EXPECT_EQ(NbtName::DecodeFirstLevel("feeFFDFEEOEBENEFCACACACACACACAAD").Error(),
              NbtError::BadNameEncoding);
    EXPECT_EQ(NbtName::DecodeFirstLevel("@EEFFDFEEOEBENEFCACACACACACACAAD").Error(),
              NbtError::BadNameEncoding);
}

TEST(NbtNameTest, RejectsMalformedWireNames) {
    const NbtBytes valid = MakeName("TESTNAME", 0x03).EncodeWire();
    NbtBytes badByte = valid;
    badByte[5] = 'Z';
    NbtBytes dotInScope = MakeName("A", 0, "CORP").EncodeWire();
    dotInScope[36] = '.';
    struct Case {
        const char* what;
        NbtBytes bytes;
        bool allowPointers;
        NbtError error;
    };
    const Case cases[] = {
        {"empty name", Bytes({0}), false, NbtError::BadLabelLength},
        {"first label 31", Bytes({31}).Repeat('A', 31).Add({0}), false, NbtError::BadLabelLength},
        {"first label 33", Bytes({33}).Repeat('A', 33).Add({0}), false, NbtError::BadLabelLength},
        {"byte outside A..P", badByte, false, NbtError::BadNameEncoding},
        {"label type 01", Bytes({0x40}).Repeat('A', 40), false, NbtError::BadLabelLength},
        {"label type 10", Bytes({0x80}).Repeat('A', 40), false, NbtError::BadLabelLength},
        {"pointer where none allowed", Bytes({0xC0, 0x00}), false, NbtError::BadPointer},
        {"pointer to itself", Bytes({0xC0, 0x00}), true, NbtError::TooManyPointers},
        {"pointer past the end", Bytes({0xC0, 0x02}), true, NbtError::BadPointer},
        {"far pointer past the end", Bytes({0xFF, 0xFF}), true, NbtError::BadPointer},
        {"cut pointer", Bytes({0xC0}), true, NbtError::Truncated},
        {"dot inside a scope label", dotInScope, false, NbtError::BadScope},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto result = DecodeAll(c.bytes, c.allowPointers);
        ASSERT_FALSE(result.Ok());
        EXPECT_EQ(result.Error(), c.error);
    }
}

TEST(NbtNameTest, EveryTruncationOfAWireNameFails) {
    const NbtBytes wire = MakeName("PEER", 0x03, "CORP.EXAMPLE").EncodeWire();
    for (size_t length = 0; length < wire.size(); ++length) {
        SCOPED_TRACE(length);
        const NbtBytes prefix(wire.begin(), wire.begin() + static_cast<std::ptrdiff_t>(length));
        const auto result = DecodeAll(prefix);
        ASSERT_FALSE(result.Ok());
        EXPECT_EQ(result.Error(), NbtError::Truncated);
    }
}

TEST(NbtNameTest, FollowsPointersAndResumesAfterTheFirstOne) {
    const NbtName name = MakeName("PEER", 0x03, "CORP");
    // 12 filler bytes, the name at offset 12, then a pointer to it.
    NbtBytes packet = Bytes().Repeat(0, 12).Add(name.EncodeWire()).Add({0xC0, 0x0C, 0x00, 0x20});
    size_t offset = 12 + name.WireLength();
    const auto decoded = NbtName::DecodeWire(packet, offset, true);
    ASSERT_TRUE(decoded.Ok());
    EXPECT_EQ(decoded.Value(), name);
    EXPECT_EQ(offset, 12 + name.WireLength() + 2);

    // The scope may be reached through a pointer as well.
    NbtBytes split =
        Bytes({4}).Add("CORP").Add({0}).Add({0x20}).Add(name.FirstLevelEncoded()).Add({0xC0, 0x00});
    offset = 6;
    const auto viaScope = NbtName::DecodeWire(split, offset, true);
    ASSERT_TRUE(viaScope.Ok());
    EXPECT_EQ(viaScope.Value(), name);
    EXPECT_EQ(offset, split.size());
}

TEST(NbtNameTest, GivesUpAfterTenPointers) {
    // A chain of pointers, each to the one before, ending at a name at offset 0.
    const NbtBytes wire = MakeName("PEER", 0x03).EncodeWire();
    for (int chain : {10, 11}) {
        SCOPED_TRACE(chain);
        NbtBytes packet = wire;
        size_t previous = 0;
        for (int i = 0; i < chain; ++i) {
            const size_t here = packet.size();
            packet.push_back(static_cast<uint8_t>(0xC0 | (previous >> 8)));
            packet.push_back(static_cast<uint8_t>(previous));
            previous = here;
        }
        size_t offset = previous;
        const auto result = NbtName::DecodeWire(packet, offset, true);
        if (chain == 10) {
            EXPECT_TRUE(result.Ok());
        } else {
            ASSERT_FALSE(result.Ok());
            EXPECT_EQ(result.Error(), NbtError::TooManyPointers);
        }
    }
}
