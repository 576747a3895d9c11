#include "netbios/CProtocolDataUnit.h"

#include "platform/CvOemCodec.h"

const CvOemCodec& CProtocolDataUnit::OemCodec() const {
    return m_oemCodec != nullptr ? *m_oemCodec : CvOemCodec::System();
}

std::string CProtocolDataUnit::ToOem(const std::string& text) const {
    // A string field is a C string on the wire: anything after an embedded
    // NUL could not be told apart from the next field.
    const std::string::size_type nul = text.find('\0');
    return OemCodec().ToOem(nul == std::string::npos ? text : text.substr(0, nul));
}

std::string CProtocolDataUnit::FromOem(const std::string& oem) const {
    return OemCodec().FromOem(oem);
}
