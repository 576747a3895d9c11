#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Account filters and flags of the directory's account enumeration.
inline constexpr uint32_t kDirectoryFilterNormalAccount = 0x0002;
inline constexpr uint32_t kDirectoryFilterWorkstationTrust = 0x0010;
inline constexpr uint32_t kDirectoryAccountDisabled = 0x0002;
inline constexpr uint32_t kDirectoryWorkstationTrustAccount = 0x1000;

// One account of the directory.
struct CvDirectoryAccount {
    std::string name;
    std::string comment;
    std::string fullName;
    uint32_t flags = 0;
};

// The domain directory the network search lists accounts from.
class CvNetDirectory {
public:
    virtual ~CvNetDirectory() = default;

    // The domain this station has joined; empty when it has joined none.
    virtual std::string JoinedDomain() = 0;
    // A domain controller of `domain`; nullopt when none can be found.
    virtual std::optional<std::string> FindDomainController(const std::string& domain) = 0;
    // The next batch of accounts matching `filter` (an or of the filter
    // values) into `batch`, continuing from `resume` (0 for the first call,
    // updated). True when more accounts remain.
    virtual bool EnumerateAccounts(const std::string& controller, uint32_t filter, uint32_t& resume,
                                   std::vector<CvDirectoryAccount>& batch) = 0;
};

// The directory of a station that belongs to no domain: no controller is
// ever found, so the directory part of a search ends at once.
class CvNoNetDirectory : public CvNetDirectory {
public:
    std::string JoinedDomain() override { return {}; }
    std::optional<std::string> FindDomainController(const std::string&) override {
        return std::nullopt;
    }
    bool EnumerateAccounts(const std::string&, uint32_t, uint32_t&,
                           std::vector<CvDirectoryAccount>& batch) override {
        batch.clear();
        return false;
    }
};
