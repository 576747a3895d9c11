#include "platform/nbt/NbtName.h"

#include "platform/nbt/NbtConstants.h"

namespace {

constexpr uint8_t kPointerMask = 0xC0;

}  // namespace

NbtName::NbtName() : m_raw(15, ' ') {
    m_raw.push_back('\0');
}

NbtResult<NbtName> NbtName::Make(std::string_view name, uint8_t suffix, std::string_view scope) {
    if (name.size() > kNbtRawNameLength - 1) {
        return NbtError::NameTooLong;
    }
    const char pad = name == "*" ? '\0' : ' ';
    std::string raw(name);
    raw.resize(kNbtRawNameLength - 1, pad);
    raw.push_back(static_cast<char>(suffix));
    return FromRaw(raw, scope);
}

NbtResult<NbtName> NbtName::FromRaw(std::string_view raw, std::string_view scope) {
    if (raw.size() != kNbtRawNameLength) {
        return NbtError::BadLength;
    }
    if (!IsValidScope(scope)) {
        return NbtError::BadScope;
    }
    NbtName result{std::string(raw), std::string(scope)};
    if (result.WireLength() > kNbtMaxWireNameLength) {
        return NbtError::NameTooLong;
    }
    return result;
}

bool NbtName::IsValidScope(std::string_view scope) {
    if (scope.empty()) {
        return true;
    }
    size_t start = 0;
    while (true) {
        const size_t dot = scope.find('.', start);
        const size_t end = dot == std::string_view::npos ? scope.size() : dot;
        const size_t length = end - start;
        if (length == 0 || length > kNbtMaxLabelLength) {
            return false;
        }
        if (dot == std::string_view::npos) {
            return true;
        }
        start = dot + 1;
    }
}

std::string NbtName::Name() const {
    std::string name = m_raw.substr(0, kNbtRawNameLength - 1);
    const size_t last = name.find_last_not_of(std::string_view(" \0", 2));
    name.resize(last == std::string::npos ? 0 : last + 1);
    return name;
}

std::string NbtName::FirstLevelEncoded() const {
    std::string encoded;
    encoded.reserve(kNbtEncodedNameLength);
    for (const char c : m_raw) {
        const auto byte = static_cast<uint8_t>(c);
        encoded.push_back(static_cast<char>('A' + (byte >> 4)));
        encoded.push_back(static_cast<char>('A' + (byte & 0x0F)));
    }
    return encoded;
}

NbtResult<std::string> NbtName::DecodeFirstLevel(std::string_view encoded) {
    if (encoded.size() != kNbtEncodedNameLength) {
        return NbtError::BadLabelLength;
    }
    std::string raw;
    raw.reserve(kNbtRawNameLength);
    for (size_t i = 0; i < encoded.size(); i += 2) {
        const int high = encoded[i] - 'A';
        const int low = encoded[i + 1] - 'A';
        if (high < 0 || high > 15 || low < 0 || low > 15) {
            return NbtError::BadNameEncoding;
        }
        raw.push_back(static_cast<char>((high << 4) | low));
    }
    return raw;
}

size_t NbtName::WireLength() const {
    // Each scope label adds its length byte; the dots stand in for all but one.
    return 1 + kNbtEncodedNameLength + (m_scope.empty() ? 0 : m_scope.size() + 1) + 1;
}

void NbtName::AppendWire(NbtByteWriter& writer) const {
    writer.WriteU8(static_cast<uint8_t>(kNbtEncodedNameLength));
    writer.WriteString(FirstLevelEncoded());
    size_t start = 0;
    while (start < m_scope.size()) {
        size_t end = m_scope.find('.', start);
        if (end == std::string::npos) {
            end = m_scope.size();
        }
        writer.WriteU8(static_cast<uint8_t>(end - start));
        writer.WriteString(std::string_view(m_scope).substr(start, end - start));
        start = end + 1;
    }
    writer.WriteU8(0);
}

NbtBytes NbtName::EncodeWire() const {
    NbtByteWriter writer;
    AppendWire(writer);
    return writer.Take();
}

NbtResult<NbtName> NbtName::DecodeWire(std::span<const uint8_t> packet, size_t& offset,
                                       bool allowPointers) {
    size_t position = offset;
    size_t resumeAt = 0;  // where the caller continues once a pointer was followed
    int pointers = 0;
    int labels = 0;
    size_t wireLength = 0;
    std::string raw;
    std::string scope;
    while (true) {
        if (position >= packet.size()) {
            return NbtError::Truncated;
        }
        const uint8_t length = packet[position];
        if ((length & kPointerMask) == kPointerMask) {
            if (!allowPointers) {
                return NbtError::BadPointer;
            }
            if (position + 1 >= packet.size()) {
                return NbtError::Truncated;
            }
            if (++pointers > kNbtMaxNamePointers) {
                return NbtError::TooManyPointers;
            }
            const size_t target = (size_t{length & 0x3Fu} << 8) | packet[position + 1];
            if (target >= packet.size()) {
                return NbtError::BadPointer;
            }
            if (resumeAt == 0) {
                resumeAt = position + 2;
            }
            position = target;
            continue;
        }
        if ((length & kPointerMask) != 0) {
            return NbtError::BadLabelLength;
        }
        if (length == 0) {
            if (labels == 0) {
                return NbtError::BadLabelLength;
            }
            ++position;
            break;
        }
        if (labels == 0 && length != kNbtEncodedNameLength) {
            return NbtError::BadLabelLength;
        }
        wireLength += 1 + size_t{length};
        if (wireLength + 1 > kNbtMaxWireNameLength) {
            return NbtError::NameTooLong;
        }
        if (packet.size() - position - 1 < length) {
            return NbtError::Truncated;
        }
        const std::string_view label(reinterpret_cast<const char*>(packet.data()) + position + 1,
                                     length);
        if (labels == 0) {
            auto decoded = DecodeFirstLevel(label);
            if (!decoded) {
                return decoded.Error();
            }
            raw = std::move(decoded).Value();
        } else {
            if (label.find('.') != std::string_view::npos) {
                return NbtError::BadScope;
            }
            if (!scope.empty()) {
                scope.push_back('.');
            }
            scope.append(label);
        }
        ++labels;
        position += 1 + size_t{length};
    }
    offset = resumeAt != 0 ? resumeAt : position;
    return NbtName(std::move(raw), std::move(scope));
}
