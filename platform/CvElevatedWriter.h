#pragma once

#include <cstdint>
#include <memory>
#include <string>

// Writes values under HKEY_LOCAL_MACHINE with administrator rights. Key paths
// are relative to the hive, without a leading backslash.
class CvElevatedWriter {
public:
    virtual ~CvElevatedWriter() = default;
    virtual bool SetStringValue(const std::string& keyPath, const std::string& name,
                                const std::string& value) = 0;
    virtual bool SetDwordValue(const std::string& keyPath, const std::string& name,
                               uint32_t value) = 0;
    virtual bool DeleteValue(const std::string& keyPath, const std::string& name) = 0;
};

// Starts the project's writer helper through pkexec. Null when pkexec is
// missing, the helper cannot be found, or the user declines.
std::unique_ptr<CvElevatedWriter> ObtainElevatedWriter();
