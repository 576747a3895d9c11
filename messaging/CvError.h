#pragma once

#include <string>

// Errors of the network layer. Thrown by value, caught by reference; each
// carries the name of the operation that failed (e.g. "NBCallAsy3", "NBSend5").
// The outbox turns them into send result codes (see SendResultCode).
class CvError {};

class CvNetworkErr : public CvError {
public:
    explicit CvNetworkErr(std::string operation = {}) : m_operation(std::move(operation)) {}
    const std::string& Operation() const { return m_operation; }

private:
    std::string m_operation;
};

// A NetBIOS or mailslot failure that none of the classes below describes.
class CvUnknownNetworkErr : public CvNetworkErr {
public:
    using CvNetworkErr::CvNetworkErr;
};

// Calling the recipient's name timed out or found no station, on every port.
class CvAddrNotFoundErr : public CvNetworkErr {
public:
    using CvNetworkErr::CvNetworkErr;
};

// A session was established, but sending or receiving on it failed.
class CvDataTransmissionErr : public CvNetworkErr {
public:
    using CvNetworkErr::CvNetworkErr;
};

// No usable network interface at all.
class CvNoInterfaceAvailErr : public CvNetworkErr {
public:
    using CvNetworkErr::CvNetworkErr;
};
