#pragma once

#include <string>

class CPduBuffer;
class CvOemCodec;

// A message that can be written to and read from a CPduBuffer. String fields
// of the derived classes hold UTF-8 and travel in the OEM code page; the
// conversion goes through the system codec unless SetOemCodec chose another.
class CProtocolDataUnit {
public:
    CProtocolDataUnit() = default;
    CProtocolDataUnit(const CProtocolDataUnit&) = default;
    CProtocolDataUnit& operator=(const CProtocolDataUnit&) = default;
    virtual ~CProtocolDataUnit() = default;

    // Empties `buffer` and writes the whole message into it. Returns false
    // when the message did not fit into the buffer; the buffer then holds a
    // cut message that must not be sent.
    virtual bool Encode(CPduBuffer& buffer) = 0;
    // Reads the message from the start of `buffer` (the read position is
    // rewound first). Never reads past the buffer's length: missing parts
    // decode as empty or 0. Returns true when every part the message
    // announced was present, false when the data ended early; the fields
    // hold what was read either way.
    virtual bool Decode(CPduBuffer& buffer) = 0;
    // Clears every field and sets the defaults of the message kind. The codec
    // choice is kept.
    virtual void Reset() = 0;

    // Uses `codec` instead of the system codec for this message. The codec is
    // not owned and must outlive every Encode and Decode that uses it.
    void SetOemCodec(const CvOemCodec& codec) { m_oemCodec = &codec; }

protected:
    std::string ToOem(const std::string& text) const;
    std::string FromOem(const std::string& oem) const;
    const CvOemCodec& OemCodec() const;

private:
    const CvOemCodec* m_oemCodec = nullptr;
};
