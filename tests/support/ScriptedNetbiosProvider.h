#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/CvNetbiosProvider.h"

// A NetBIOS provider whose adapter enumeration the test scripts. Other
// commands are recorded and answered with `otherResult`.
class ScriptedNetbiosProvider : public CvNetbiosProvider {
public:
    uint8_t Submit(CvNcb& ncb) override;

    void SetAdapters(std::vector<uint8_t> lanas, uint8_t enumResult = kNrcGoodRet);
    std::vector<uint8_t> Commands() const;
    size_t EnumCount() const;

    uint8_t otherResult = kNrcGoodRet;

private:
    mutable std::mutex m_lock;
    std::vector<uint8_t> m_lanas;
    uint8_t m_enumResult = kNrcGoodRet;
    std::vector<uint8_t> m_commands;
    size_t m_enumCount = 0;
};
