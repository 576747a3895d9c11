#include "support/ScriptedNetbiosProvider.h"

#include <algorithm>

uint8_t ScriptedNetbiosProvider::Submit(CvNcb& ncb) {
    std::lock_guard guard(m_lock);
    m_commands.push_back(ncb.command);
    uint8_t code = otherResult;
    if (ncb.command == kNcbEnum) {
        ++m_enumCount;
        code = m_enumResult;
        if (code == kNrcGoodRet) {
            const size_t count = std::min<size_t>(m_lanas.size(), ncb.length - 1u);
            ncb.buffer[0] = static_cast<uint8_t>(count);
            std::copy_n(m_lanas.begin(), count, ncb.buffer + 1);
        }
    }
    ncb.retcode = code;
    return code;
}

void ScriptedNetbiosProvider::SetAdapters(std::vector<uint8_t> lanas, uint8_t enumResult) {
    std::lock_guard guard(m_lock);
    m_lanas = std::move(lanas);
    m_enumResult = enumResult;
}

std::vector<uint8_t> ScriptedNetbiosProvider::Commands() const {
    std::lock_guard guard(m_lock);
    return m_commands;
}

size_t ScriptedNetbiosProvider::EnumCount() const {
    std::lock_guard guard(m_lock);
    return m_enumCount;
}
