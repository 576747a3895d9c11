#include "platform/nbt/NbtSessionFrame.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/nbt/NbtConstants.h"
#include "platform/nbt/NbtSessionFrameReader.h"
#include "tests/platform/NbtTestBytes.h"

using nbttest::Bytes;

namespace {

NbtName MakeName(std::string_view name, uint8_t suffix) {
    return NbtName::Make(name, suffix).Value();
}

NbtBytes Encode(const NbtSessionFrame& frame) {
    auto bytes = frame.Encode();
    EXPECT_TRUE(bytes.Ok());
    return bytes.Ok() ? bytes.Value() : NbtBytes();
}

NbtSessionFrame Request() {
    return NbtSessionFrame::SessionRequest(MakeName("PEER", 0x03), MakeName("ME", 0x00));
}

// Drains every complete frame; fails the test on a reader error.
void Drain(NbtSessionFrameReader& reader, std::vector<NbtSessionFrame>& frames) {
    while (true) {
        auto next = reader.Next();
        ASSERT_TRUE(next.Ok()) << NbtErrorText(next.Error());
        if (!next.Value()) {
            return;
        }
        frames.push_back(std::move(*next.Value()));
    }
}

}  // namespace

TEST(NbtSessionFrameTest, FramesOnTheWire) {
    struct Case {
        const char* what;
        NbtSessionFrame frame;
        NbtBytes header;
    };
    const Case cases[] = {
        {"positive", NbtSessionFrame::PositiveResponse(), Bytes({0x82, 0, 0, 0})},
        {"keep alive", NbtSessionFrame::KeepAlive(), Bytes({0x85, 0, 0, 0})},
        {"negative", NbtSessionFrame::NegativeResponse(kSsnErrCalledNotPresent),
         Bytes({0x83, 0, 0, 1, 0x82})},
        {"retarget", NbtSessionFrame::RetargetResponse(0x0A000002, 139),
         Bytes({0x84, 0, 0, 6, 10, 0, 0, 2, 0, 139})},
        {"request", Request(), Bytes({0x81, 0, 0, 68})},
        {"message", NbtSessionFrame::SessionMessage(Bytes("abc")), Bytes({0, 0, 0, 3})},
        {"message with E bit", NbtSessionFrame::SessionMessage(NbtBytes(0x10001, 'x')),
         Bytes({0, 1, 0, 1})},
        {"largest message", NbtSessionFrame::SessionMessage(NbtBytes(0x1FFFF, 'x')),
         Bytes({0, 1, 0xFF, 0xFF})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const NbtBytes bytes = Encode(c.frame);
        ASSERT_GE(bytes.size(), c.header.size());
        EXPECT_EQ(
            NbtBytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(c.header.size())),
            c.header);
        const auto decoded = NbtSessionFrame::Decode(bytes);
        ASSERT_TRUE(decoded.Ok()) << NbtErrorText(decoded.Error());
        EXPECT_EQ(decoded.Value(), c.frame);
    }
}

TEST(NbtSessionFrameTest, TypedTrailers) {
    const auto names = Request().DecodeSessionRequest();
    ASSERT_TRUE(names.Ok());
    EXPECT_EQ(names.Value().called, MakeName("PEER", 0x03));
    EXPECT_EQ(names.Value().calling, MakeName("ME", 0x00));
    EXPECT_EQ(NbtSessionFrame::NegativeResponse(0x8F).DecodeNegativeResponse().Value(), 0x8F);
    const auto retarget =
        NbtSessionFrame::RetargetResponse(0x0A000002, 1139).DecodeRetargetResponse();
    ASSERT_TRUE(retarget.Ok());
    EXPECT_EQ(retarget.Value().address, 0x0A000002u);
    EXPECT_EQ(retarget.Value().port, 1139);

    NbtSessionFrame extra = Request();
    extra.trailer.push_back(0);
    NbtSessionFrame oneName = Request();
    oneName.trailer.resize(34);
    NbtSessionFrame compressed{kSsnRequest, Bytes(MakeName("PEER", 3).EncodeWire()).Add({0xC0, 0})};
    struct Case {
        const char* what;
        NbtSessionFrame frame;
        NbtError error;
    };
    const Case cases[] = {
        {"byte after the names", extra, NbtError::BadLength},
        {"calling name missing", oneName, NbtError::Truncated},
        {"compressed calling name", compressed, NbtError::BadPointer},
        {"not a request", NbtSessionFrame::KeepAlive(), NbtError::BadType},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto result = c.frame.DecodeSessionRequest();
        ASSERT_FALSE(result.Ok());
        EXPECT_EQ(result.Error(), c.error);
    }
    EXPECT_EQ(Request().DecodeNegativeResponse().Error(), NbtError::BadType);
    EXPECT_EQ(Request().DecodeRetargetResponse().Error(), NbtError::BadType);
}

TEST(NbtSessionFrameTest, RejectsBadHeadersAndFrames) {
    struct Case {
        const char* what;
        NbtBytes bytes;
        NbtError error;
    };
    const Case cases[] = {
        {"unknown type", Bytes({0x86, 0, 0, 0}), NbtError::BadType},
        {"type 0x01", Bytes({0x01, 0, 0, 0}), NbtError::BadType},
        {"reserved flag bit", Bytes({0x00, 0x02, 0, 0}), NbtError::BadFlags},
        {"all flag bits", Bytes({0x00, 0xFF, 0, 0}), NbtError::BadFlags},
        {"keep alive with a trailer", Bytes({0x85, 0, 0, 1, 0}), NbtError::BadLength},
        {"positive with a trailer", Bytes({0x82, 0, 0, 1, 0}), NbtError::BadLength},
        {"negative without code", Bytes({0x83, 0, 0, 0}), NbtError::BadLength},
        {"retarget too short", Bytes({0x84, 0, 0, 4, 1, 2, 3, 4}), NbtError::BadLength},
        {"E bit, trailer short", Bytes({0x00, 0x01, 0, 0, 1, 2, 3}), NbtError::Truncated},
        {"bytes after the trailer", Bytes({0x00, 0, 0, 1, 1, 2}), NbtError::BadLength},
        {"header cut", Bytes({0x00, 0, 0}), NbtError::Truncated},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto result = NbtSessionFrame::Decode(c.bytes);
        ASSERT_FALSE(result.Ok());
        EXPECT_EQ(result.Error(), c.error);
    }
    EXPECT_EQ(NbtSessionFrame::SessionMessage(NbtBytes(0x20000, 0)).Encode().Error(),
              NbtError::TooLarge);
    EXPECT_EQ((NbtSessionFrame{kSsnKeepAlive, {1}}.Encode().Error()), NbtError::BadLength);
    EXPECT_EQ((NbtSessionFrame{0x42, {}}.Encode().Error()), NbtError::BadType);
}

TEST(NbtSessionFrameReaderTest, StreamSplitAtEveryBytePosition) {
    const std::vector<NbtSessionFrame> expected = {Request(),
                                                   NbtSessionFrame::PositiveResponse(),
                                                   NbtSessionFrame::SessionMessage(Bytes("SMB")),
                                                   NbtSessionFrame::KeepAlive(),
                                                   NbtSessionFrame::NegativeResponse(0x80),
                                                   NbtSessionFrame::SessionMessage({})};
    NbtBytes stream;
    for (const NbtSessionFrame& frame : expected) {
        const NbtBytes bytes = Encode(frame);
        stream.insert(stream.end(), bytes.begin(), bytes.end());
    }
    // Two reads split at every position, and one byte per read.
    for (size_t split = 0; split <= stream.size(); ++split) {
        SCOPED_TRACE(split);
        NbtSessionFrameReader reader;
        std::vector<NbtSessionFrame> frames;
        reader.Feed(std::span(stream.data(), split));
        Drain(reader, frames);
        reader.Feed(std::span(stream.data() + split, stream.size() - split));
        Drain(reader, frames);
        EXPECT_EQ(frames, expected);
        EXPECT_EQ(reader.Buffered(), 0u);
    }
    NbtSessionFrameReader reader;
    std::vector<NbtSessionFrame> frames;
    for (const uint8_t byte : stream) {
        reader.Feed({&byte, 1});
        Drain(reader, frames);
    }
    EXPECT_EQ(frames, expected);
}

TEST(NbtSessionFrameReaderTest, LargeFrameInManyReads) {
    NbtBytes payload(0x1FFFF);
    for (size_t i = 0; i < payload.size(); ++i) {
        payload[i] = static_cast<uint8_t>(i * 7);
    }
    const NbtSessionFrame frame = NbtSessionFrame::SessionMessage(payload);
    const NbtBytes bytes = Encode(frame);
    NbtSessionFrameReader reader;
    std::vector<NbtSessionFrame> frames;
    for (size_t offset = 0; offset < bytes.size(); offset += 1460) {
        reader.Feed(
            std::span(bytes).subspan(offset, std::min<size_t>(1460, bytes.size() - offset)));
        Drain(reader, frames);
        EXPECT_EQ(frames.empty(), offset + 1460 < bytes.size());
    }
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], frame);
}

TEST(NbtSessionFrameReaderTest, ErrorsAreFinal) {
    NbtSessionFrameReader reader;
    const NbtBytes good = Encode(NbtSessionFrame::KeepAlive());
    reader.Feed(good);
    reader.Feed(Bytes({0x00, 0x04, 0x00}));  // reserved flag bit; fails before LENGTH is complete
    auto first = reader.Next();
    ASSERT_TRUE(first.Ok());
    ASSERT_TRUE(first.Value().has_value());
    EXPECT_EQ(first.Value()->type, kSsnKeepAlive);
    // Three header bytes are not enough to judge; the fourth is.
    EXPECT_FALSE(reader.Next().Value().has_value());
    reader.Feed(Bytes({0x00}));
    EXPECT_EQ(reader.Next().Error(), NbtError::BadFlags);
    reader.Feed(good);
    EXPECT_EQ(reader.Next().Error(), NbtError::BadFlags);

    NbtSessionFrameReader limited(1024);
    limited.Feed(Bytes({0x00, 0x00, 0x04, 0x01}));
    EXPECT_EQ(limited.Next().Error(), NbtError::TooLarge);
}
