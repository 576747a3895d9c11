// corvane-nbt-probe: drives the NetBIOS-over-TCP/IP stack from the command
// line, one station per process, for the network namespace tests.
//
//   register NAME [--group] [--hold S]     add the name, print the code, stay S seconds
//            [--internal NAME]             the stack registers NAME by itself too
//   listen NAME [--hold S] [--recv-size N] add NAME, take one call, echo one message back
//   call NAME TEXT --from LOCAL            call NAME, send TEXT, print the reply
//   dgram-recv NAME [--group] [--hold S]   add NAME, print --count datagrams (default 1),
//              [--count N] [--pause MS]    re-posting the receive MS after each one
//   dgram-send FROM TO TEXT [--group-from] send TEXT from FROM to TO; with --count N,
//              [--count N]                 N datagrams "TEXT 1".."TEXT N" back to back
//   status NAME                            print NAME's node status
//   mailslot-serve COMPUTER [--hold S]     run the mailslot redirector for COMPUTER and
//              [--count N]                 print N messages of the local MESSNGR mailslot
//   mailslot-write COMPUTER TARGET TEXT    write a messenger message from COMPUTER to
//              [--count N]                 \\TARGET\MAILSLOT\MESSNGR (N: "TEXT 1".."TEXT N")
//
// NAME is "TEXT" or "TEXT#hh" (hex suffix, default 03). Every line the probe
// prints starts with a keyword the test script greps for; "ready" means the
// station is set up. Exit code 0 on success, 1 on a usage error, 2 when a
// command returned an error code.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <stdlib.h>
#include <unistd.h>

#include "netbios/CMailslotPdu.h"
#include "netbios/CNetbiosMailslots.h"
#include "netbios/CPduBuffer.h"
#include "platform/CvAdapterStatus.h"
#include "platform/CvEvent.h"
#include "platform/CvNcb.h"
#include "platform/CvUnixMailslots.h"
#include "platform/nbt/CvNbtStack.h"

namespace {

struct Args {
    std::vector<std::string> positional;
    bool group = false;
    bool groupFrom = false;
    int holdSeconds = 0;
    int count = 1;
    int pauseMs = 0;
    uint16_t recvSize = 1024;
    std::string internalName;
    std::string from;
};

void SetName(uint8_t (&field)[16], const std::string& text) {
    std::string name = text;
    uint8_t suffix = 0x03;
    const size_t hash = text.rfind('#');
    if (hash != std::string::npos) {
        name = text.substr(0, hash);
        suffix = static_cast<uint8_t>(std::strtoul(text.c_str() + hash + 1, nullptr, 16));
    }
    if (name == "*") {
        std::memset(field, 0, sizeof field);
        field[0] = '*';
        return;
    }
    for (auto& c : name) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    CvSetNetbiosName(field, name.data(), name.size() > 15 ? 15 : name.size(), suffix);
    field[15] = suffix;
}

std::string Printable(const uint8_t* name) {
    std::string text(reinterpret_cast<const char*>(name), 15);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) {
        text.pop_back();
    }
    char suffix[8];
    std::snprintf(suffix, sizeof suffix, "<%02X>", name[15]);
    return text + suffix;
}

class Station {
public:
    uint8_t Lana() const { return m_lana; }

    void AddInternalName(const std::string& text) {
        uint8_t field[16];
        SetName(field, text);
        m_stack.AddInternalName(
            NbtName::FromRaw(std::string_view(reinterpret_cast<char*>(field), 16)).Value(), false);
    }

    bool Start() {
        CvNcb ncb;
        uint8_t adapters[256] = {};
        ncb.command = kNcbEnum;
        ncb.buffer = adapters;
        ncb.length = sizeof adapters;
        if (m_stack.Submit(ncb) != kNrcGoodRet || adapters[0] == 0) {
            std::printf("error no adapter\n");
            return false;
        }
        m_lana = adapters[1];
        CvNcb reset;
        reset.command = kNcbReset;
        reset.lana = m_lana;
        const uint8_t code = m_stack.Submit(reset);
        std::printf("reset 0x%02X\n", code);
        return code == kNrcGoodRet;
    }

    uint8_t Add(const std::string& name, bool group, uint8_t& number) {
        CvNcb ncb;
        ncb.command = group ? kNcbAddGroupName : kNcbAddName;
        ncb.lana = m_lana;
        SetName(ncb.name, name);
        const uint8_t code = m_stack.Submit(ncb);
        number = ncb.num;
        std::printf("add %s 0x%02X\n", Printable(ncb.name).c_str(), code);
        return code;
    }

    uint8_t Run(CvNcb& ncb) {
        ncb.lana = m_lana;
        return m_stack.Submit(ncb);
    }

    CvNbtStack& Stack() { return m_stack; }

private:
    CvNbtStack m_stack;
    uint8_t m_lana = 0;
};

void Ready() {
    std::printf("ready\n");
    std::fflush(stdout);
}

void Hold(int seconds) {
    std::fflush(stdout);
    CvEvent never;
    never.Wait(static_cast<uint32_t>(seconds) * 1000u);
}

int Register(Station& station, const Args& args) {
    uint8_t number = 0;
    const uint8_t code = station.Add(args.positional.at(1), args.group, number);
    Ready();
    Hold(args.holdSeconds);
    return code == kNrcGoodRet ? 0 : 2;
}

int Listen(Station& station, const Args& args) {
    uint8_t number = 0;
    if (station.Add(args.positional.at(1), false, number) != kNrcGoodRet) {
        return 2;
    }
    CvEvent done;
    CvNcb listen;
    listen.command = kNcbListen | kNcbAsync;
    SetName(listen.name, args.positional.at(1));
    std::memset(listen.callname, ' ', sizeof listen.callname);
    listen.callname[0] = '*';
    listen.event = &done;
    station.Run(listen);
    Ready();
    if (done.Wait(static_cast<uint32_t>(args.holdSeconds) * 1000u) != kWaitObject0) {
        CvNcb cancel;
        cancel.command = kNcbCancel;
        cancel.cancelTarget = &listen;
        station.Run(cancel);
        std::printf("listen timeout\n");
        return 2;
    }
    std::printf("listen 0x%02X from %s\n", listen.retcode.load(),
                Printable(listen.callname).c_str());
    if (listen.retcode != kNrcGoodRet) {
        return 2;
    }
    // A message longer than the buffer comes in pieces (kNrcIncomp).
    uint8_t buffer[1024];
    CvNcb receive;
    receive.command = kNcbRecv;
    receive.lsn = listen.lsn;
    receive.buffer = buffer;
    std::string text;
    uint8_t received = kNrcIncomp;
    while (received == kNrcIncomp) {
        receive.length = std::min<uint16_t>(args.recvSize, sizeof buffer);
        received = station.Run(receive);
        if (received == kNrcIncomp) {
            std::printf("recv 0x%02X (part)\n", received);
        }
        text.append(reinterpret_cast<char*>(buffer), receive.length);
    }
    std::printf("recv 0x%02X %s\n", received, text.c_str());
    const std::string reply = "reply:" + text;
    CvNcb send;
    send.command = kNcbSend;
    send.lsn = listen.lsn;
    send.buffer = reinterpret_cast<uint8_t*>(const_cast<char*>(reply.data()));
    send.length = static_cast<uint16_t>(reply.size());
    std::printf("send 0x%02X\n", station.Run(send));
    // Wait for the caller to hang up.
    receive.length = sizeof buffer;
    receive.rto = 0;
    std::printf("recv 0x%02X\n", station.Run(receive));
    CvNcb hangUp;
    hangUp.command = kNcbHangUp;
    hangUp.lsn = listen.lsn;
    std::printf("hangup 0x%02X\n", station.Run(hangUp));
    return received == kNrcGoodRet ? 0 : 2;
}

int Call(Station& station, const Args& args) {
    uint8_t number = 0;
    if (station.Add(args.from, false, number) != kNrcGoodRet) {
        return 2;
    }
    Ready();
    CvNcb call;
    call.command = kNcbCall;
    SetName(call.callname, args.positional.at(1));
    SetName(call.name, args.from);
    call.rto = call.sto = 10;
    const uint8_t called = station.Run(call);
    std::printf("call 0x%02X\n", called);
    if (called != kNrcGoodRet) {
        return 2;
    }
    const std::string& text = args.positional.at(2);
    CvNcb send;
    send.command = kNcbSend;
    send.lsn = call.lsn;
    send.buffer = reinterpret_cast<uint8_t*>(const_cast<char*>(text.data()));
    send.length = static_cast<uint16_t>(text.size());
    std::printf("send 0x%02X\n", station.Run(send));
    uint8_t buffer[1024];
    CvNcb receive;
    receive.command = kNcbRecv;
    receive.lsn = call.lsn;
    receive.buffer = buffer;
    receive.length = sizeof buffer;
    const uint8_t received = station.Run(receive);
    std::printf("recv 0x%02X %s\n", received,
                std::string(reinterpret_cast<char*>(buffer), receive.length).c_str());
    CvNcb hangUp;
    hangUp.command = kNcbHangUp;
    hangUp.lsn = call.lsn;
    std::printf("hangup 0x%02X\n", station.Run(hangUp));
    return received == kNrcGoodRet ? 0 : 2;
}

int DatagramReceive(Station& station, const Args& args) {
    uint8_t number = 0;
    if (station.Add(args.positional.at(1), args.group, number) != kNrcGoodRet) {
        return 2;
    }
    Ready();
    // Like the datagram port: the next receive is posted only after the last
    // one completed (and, with --pause, after a while).
    for (int i = 0; i < args.count; ++i) {
        if (i > 0 && args.pauseMs > 0) {
            CvEvent().Wait(static_cast<uint32_t>(args.pauseMs));
        }
        CvEvent done;
        uint8_t buffer[1024];
        CvNcb receive;
        receive.command = kNcbRecvDatagram | kNcbAsync;
        receive.num = number;
        receive.buffer = buffer;
        receive.length = sizeof buffer;
        receive.event = &done;
        station.Run(receive);
        if (done.Wait(static_cast<uint32_t>(args.holdSeconds) * 1000u) != kWaitObject0) {
            CvNcb cancel;
            cancel.command = kNcbCancel;
            cancel.cancelTarget = &receive;
            station.Run(cancel);
            std::printf("dgram timeout\n");
            return 2;
        }
        std::printf("dgram 0x%02X from %s: %s\n", receive.retcode.load(),
                    Printable(receive.callname).c_str(),
                    std::string(reinterpret_cast<char*>(buffer), receive.length).c_str());
        if (receive.retcode != kNrcGoodRet) {
            return 2;
        }
    }
    return 0;
}

// TEXT, or "TEXT 1".."TEXT N" when several are sent.
std::string NumberedText(const Args& args, const std::string& text, int i) {
    return args.count > 1 ? text + " " + std::to_string(i + 1) : text;
}

int DatagramSend(Station& station, const Args& args) {
    uint8_t number = 0;
    if (station.Add(args.positional.at(1), args.groupFrom, number) != kNrcGoodRet) {
        return 2;
    }
    uint8_t code = kNrcGoodRet;
    for (int i = 0; i < args.count && code == kNrcGoodRet; ++i) {
        const std::string text = NumberedText(args, args.positional.at(3), i);
        CvNcb send;
        send.command = kNcbSendDatagram;
        send.num = number;
        SetName(send.callname, args.positional.at(2));
        send.buffer = reinterpret_cast<uint8_t*>(const_cast<char*>(text.data()));
        send.length = static_cast<uint16_t>(text.size());
        code = station.Run(send);
        std::printf("dgram-send 0x%02X\n", code);
    }
    return code == kNrcGoodRet ? 0 : 2;
}

// A private folder for the station's local mailslots, so that stations on one
// machine do not share them.
class MailslotFolder {
public:
    MailslotFolder() {
        char pattern[] = "/tmp/corvane-probe-XXXXXX";
        if (mkdtemp(pattern) != nullptr) {
            m_path = pattern;
        }
    }
    ~MailslotFolder() {
        if (!m_path.empty()) {
            std::string command = "rm -rf '" + m_path + "'";
            if (std::system(command.c_str()) != 0) {
                std::fprintf(stderr, "could not remove %s\n", m_path.c_str());
            }
        }
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// True once the local name table lists `name` (the redirector registers its
// computer name on its own thread).
bool WaitForLocalName(Station& station, const std::string& name, int seconds) {
    uint8_t field[16];
    SetName(field, name);
    for (int i = 0; i < seconds * 10; ++i) {
        uint8_t buffer[CvAdapterStatus::kHeaderSize + CvAdapterStatus::kNameSize * 64] = {};
        CvNcb status;
        status.command = kNcbAdapterStatus;
        std::memset(status.callname, ' ', sizeof status.callname);
        status.callname[0] = '*';
        status.buffer = buffer;
        status.length = sizeof buffer;
        if (station.Run(status) == kNrcGoodRet) {
            auto decoded = CvAdapterStatus::Decode({buffer, status.length});
            if (decoded && std::any_of(decoded->names.begin(), decoded->names.end(),
                                       [&](const CvAdapterStatus::Name& entry) {
                                           return std::memcmp(entry.name.data(), field, 16) == 0;
                                       })) {
                return true;
            }
        }
        CvEvent().Wait(100);
    }
    return false;
}

int MailslotServe(Station& station, const Args& args) {
    MailslotFolder folder;
    CvUnixMailslots local(nullptr, folder.Path());
    auto mailslot = local.CreateMailslot("MESSNGR", 400);
    if (!mailslot) {
        std::printf("error no local mailslot\n");
        return 2;
    }
    const std::string& computer = args.positional.at(1);
    CNetbiosMailslots redirector(station.Stack(), local, computer);
    redirector.Start();
    if (!WaitForLocalName(station, computer + "#00", 10)) {
        std::printf("error %s<00> not registered\n", computer.c_str());
        return 2;
    }
    Ready();
    int received = 0;
    for (int tick = 0; tick < args.holdSeconds * 20 && received < args.count; ++tick) {
        uint32_t nextSize = 0;
        uint32_t count = 0;
        if (!mailslot->GetInfo(nextSize, count)) {
            std::printf("error mailslot broken\n");
            return 2;
        }
        if (count == 0) {
            CvEvent().Wait(50);
            continue;
        }
        uint8_t bytes[400];
        const int length = mailslot->Read(bytes, sizeof bytes);
        CPduBuffer buffer;
        CMailslotPdu pdu;
        if (length < 0 || !buffer.Assign({bytes, static_cast<size_t>(length)}) ||
            !pdu.Decode(buffer)) {
            std::printf("mailslot undecodable (%d bytes)\n", length);
            continue;
        }
        ++received;
        std::printf("mailslot from %s to %s: %s\n", pdu.Originator().c_str(),
                    pdu.Destination().c_str(), pdu.Text().c_str());
    }
    if (received < args.count) {
        std::printf("mailslot timeout\n");
        return 2;
    }
    return 0;
}

int MailslotWrite(Station& station, const Args& args) {
    MailslotFolder folder;
    CvUnixMailslots local(nullptr, folder.Path());
    const std::string& computer = args.positional.at(1);
    const std::string& target = args.positional.at(2);
    CNetbiosMailslots redirector(station.Stack(), local, computer);
    auto writer = redirector.OpenMailslot(target, "MESSNGR");
    if (!writer) {
        std::printf("mailslot-write no writer\n");
        return 2;
    }
    Ready();
    bool ok = true;
    for (int i = 0; i < args.count && ok; ++i) {
        CMailslotPdu pdu;
        pdu.SetOriginator(computer);
        pdu.SetDestination(target);
        pdu.SetText(NumberedText(args, args.positional.at(3), i));
        CPduBuffer buffer;
        ok = pdu.Encode(buffer) && writer->Write(buffer.Bytes());
        std::printf("mailslot-write %s\n", ok ? "ok" : "failed");
    }
    return ok ? 0 : 2;
}

int Status(Station& station, const Args& args) {
    uint8_t buffer[CvAdapterStatus::kHeaderSize + CvAdapterStatus::kNameSize * 64] = {};
    CvNcb status;
    status.command = kNcbAdapterStatus;
    SetName(status.callname, args.positional.at(1));
    status.buffer = buffer;
    status.length = sizeof buffer;
    const uint8_t code = station.Run(status);
    if (code != kNrcGoodRet) {
        std::printf("status 0x%02X\n", code);
        return 2;
    }
    auto decoded = CvAdapterStatus::Decode({buffer, status.length});
    if (!decoded) {
        std::printf("status undecodable (%u bytes)\n", static_cast<unsigned>(status.length));
        return 2;
    }
    const auto& mac = decoded->mac;
    std::printf("status 0x%02X unit %02X-%02X-%02X-%02X-%02X-%02X\n", code, mac[0], mac[1], mac[2],
                mac[3], mac[4], mac[5]);
    for (const auto& entry : decoded->names) {
        std::printf("name %s %s\n", Printable(entry.name.data()).c_str(),
                    entry.IsGroup() ? "GROUP" : "UNIQUE");
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Args args;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--group") {
            args.group = true;
        } else if (arg == "--group-from") {
            args.groupFrom = true;
        } else if (arg == "--hold" && i + 1 < argc) {
            args.holdSeconds = std::atoi(argv[++i]);
        } else if (arg == "--count" && i + 1 < argc) {
            args.count = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--pause" && i + 1 < argc) {
            args.pauseMs = std::atoi(argv[++i]);
        } else if (arg == "--internal" && i + 1 < argc) {
            args.internalName = argv[++i];
        } else if (arg == "--recv-size" && i + 1 < argc) {
            args.recvSize = static_cast<uint16_t>(std::atoi(argv[++i]));
        } else if (arg == "--from" && i + 1 < argc) {
            args.from = argv[++i];
        } else {
            args.positional.push_back(arg);
        }
    }
    const std::string command = args.positional.empty() ? "" : args.positional[0];
    const size_t needed = command == "register" || command == "listen" || command == "dgram-recv" ||
                                  command == "status" || command == "mailslot-serve"
                              ? 2
                          : command == "call"                                      ? 3
                          : command == "dgram-send" || command == "mailslot-write" ? 4
                                                                                   : 0;
    if (needed == 0 || args.positional.size() < needed ||
        (command == "call" && args.from.empty())) {
        std::fprintf(stderr,
                     "usage: corvane-nbt-probe register|listen|call|dgram-recv|dgram-send|status|"
                     "mailslot-serve|mailslot-write ...\n");
        return 1;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    Station station;
    if (!args.internalName.empty()) {
        station.AddInternalName(args.internalName);
    }
    if (!station.Start()) {
        return 2;
    }
    if (command == "register") {
        return Register(station, args);
    }
    if (command == "listen") {
        return Listen(station, args);
    }
    if (command == "call") {
        return Call(station, args);
    }
    if (command == "dgram-recv") {
        return DatagramReceive(station, args);
    }
    if (command == "dgram-send") {
        return DatagramSend(station, args);
    }
    if (command == "mailslot-serve") {
        return MailslotServe(station, args);
    }
    if (command == "mailslot-write") {
        return MailslotWrite(station, args);
    }
    return Status(station, args);
}
