#include "platform/nbt/NbtNamePacket.h"

#include <limits>
#include <optional>

#include "platform/nbt/NbtByteReader.h"
#include "platform/nbt/NbtByteWriter.h"

namespace {

constexpr size_t kHeaderLength = 12;
constexpr size_t kMinQuestionLength = 2 + 4;        // pointer, type, class
constexpr size_t kMinRecordLength = 2 + 4 + 4 + 2;  // pointer, type, class, TTL, RDLENGTH
constexpr uint16_t kQuestionNamePointer = 0xC000 | kHeaderLength;

// Returns the error of the first bad record, nothing when all decoded.
std::optional<NbtError> DecodeRecords(NbtByteReader& reader, uint16_t count,
                                      std::vector<NbtResourceRecord>& records) {
    records.reserve(count);
    for (uint16_t i = 0; i < count; ++i) {
        size_t offset = reader.Position();
        auto name = NbtName::DecodeWire(reader.Data(), offset, true);
        if (!name) {
            return name.Error();
        }
        NbtByteReader fields(reader.Data(), offset);
        NbtResourceRecord record;
        record.name = std::move(name).Value();
        uint16_t rdLength = 0;
        if (!fields.ReadU16Be(record.type) || !fields.ReadU16Be(record.recordClass) ||
            !fields.ReadU32Be(record.ttl) || !fields.ReadU16Be(rdLength)) {
            return NbtError::Truncated;
        }
        std::span<const uint8_t> rdata;
        if (!fields.ReadBytes(rdLength, rdata)) {
            return NbtError::BadLength;
        }
        record.rdata.assign(rdata.begin(), rdata.end());
        records.push_back(std::move(record));
        reader = fields;
    }
    return std::nullopt;
}

void EncodeRecords(NbtByteWriter& writer, const std::vector<NbtResourceRecord>& records,
                   const NbtName* questionName) {
    for (const NbtResourceRecord& record : records) {
        if (questionName != nullptr && record.name == *questionName) {
            writer.WriteU16Be(kQuestionNamePointer);
        } else {
            record.name.AppendWire(writer);
        }
        writer.WriteU16Be(record.type);
        writer.WriteU16Be(record.recordClass);
        writer.WriteU32Be(record.ttl);
        writer.WriteU16Be(static_cast<uint16_t>(record.rdata.size()));
        writer.WriteBytes(record.rdata);
    }
}

}  // namespace

NbtResult<NbtNamePacket> NbtNamePacket::Decode(std::span<const uint8_t> packet) {
    NbtByteReader reader(packet);
    NbtNamePacket result;
    uint16_t counts[4] = {};
    if (!reader.ReadU16Be(result.trnId) || !reader.ReadU16Be(result.flags)) {
        return NbtError::Truncated;
    }
    for (uint16_t& count : counts) {
        if (!reader.ReadU16Be(count)) {
            return NbtError::Truncated;
        }
    }
    // Refuse counts the remaining bytes cannot hold before reserving memory.
    const size_t needed = counts[0] * kMinQuestionLength +
                          (size_t{counts[1]} + counts[2] + counts[3]) * kMinRecordLength;
    if (needed > reader.Remaining()) {
        return NbtError::BadCount;
    }
    result.questions.reserve(counts[0]);
    for (uint16_t i = 0; i < counts[0]; ++i) {
        size_t offset = reader.Position();
        auto name = NbtName::DecodeWire(packet, offset, true);
        if (!name) {
            return name.Error();
        }
        reader = NbtByteReader(packet, offset);
        NbtQuestion question;
        question.name = std::move(name).Value();
        if (!reader.ReadU16Be(question.type) || !reader.ReadU16Be(question.questionClass)) {
            return NbtError::Truncated;
        }
        result.questions.push_back(std::move(question));
    }
    std::vector<NbtResourceRecord>* sections[3] = {&result.answers, &result.authorities,
                                                   &result.additionals};
    for (int s = 0; s < 3; ++s) {
        if (const auto error = DecodeRecords(reader, counts[s + 1], *sections[s])) {
            return *error;
        }
    }
    return result;
}

NbtResult<NbtBytes> NbtNamePacket::Encode() const {
    constexpr size_t kMax = std::numeric_limits<uint16_t>::max();
    if (questions.size() > kMax || answers.size() > kMax || authorities.size() > kMax ||
        additionals.size() > kMax) {
        return NbtError::TooLarge;
    }
    for (const auto* section : {&answers, &authorities, &additionals}) {
        for (const NbtResourceRecord& record : *section) {
            if (record.rdata.size() > kMax) {
                return NbtError::TooLarge;
            }
        }
    }
    NbtByteWriter writer;
    writer.WriteU16Be(trnId);
    writer.WriteU16Be(flags);
    writer.WriteU16Be(static_cast<uint16_t>(questions.size()));
    writer.WriteU16Be(static_cast<uint16_t>(answers.size()));
    writer.WriteU16Be(static_cast<uint16_t>(authorities.size()));
    writer.WriteU16Be(static_cast<uint16_t>(additionals.size()));
    for (const NbtQuestion& question : questions) {
        question.name.AppendWire(writer);
        writer.WriteU16Be(question.type);
        writer.WriteU16Be(question.questionClass);
    }
    const NbtName* questionName = questions.empty() ? nullptr : &questions.front().name;
    EncodeRecords(writer, answers, questionName);
    EncodeRecords(writer, authorities, questionName);
    EncodeRecords(writer, additionals, questionName);
    return writer.Take();
}
