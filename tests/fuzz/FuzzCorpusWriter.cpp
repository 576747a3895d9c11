// Writes the seed corpus for the fuzz targets: valid packets of each kind,
// built with the encoders. Usage: corvane_fuzz_corpus <tests/fuzz/corpus>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/nbt/NbtConstants.h"
#include "platform/nbt/NbtDatagramPacket.h"
#include "platform/nbt/NbtNamePacketBuilder.h"
#include "platform/nbt/NbtSessionFrame.h"
#include "platform/nbt/SmbMailslotTransaction.h"

namespace {

namespace fs = std::filesystem;

void Write(const fs::path& dir, const std::string& name, const NbtBytes& bytes) {
    fs::create_directories(dir);
    std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

NbtName Name(const char* text, uint8_t suffix, const char* scope = "") {
    return NbtName::Make(text, suffix, scope).Value();
}

NbtBytes Append(NbtBytes a, const NbtBytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus dir>\n", argv[0]);
        return 2;
    }
    const fs::path root = argv[1];
    constexpr uint32_t kIp = 0xC0A80105;
    const NbtName peer = Name("PEER", 0x03);

    const fs::path names = root / "NbtNamePacket";
    const NbtNbAddress address{kNbFlagOntB, kIp};
    const auto registration = NbtNamePacketBuilder::RegistrationRequest(1, peer, 0, kIp);
    std::vector<NbtNodeStatusEntry> table = {
        {Name("PEER", 0x03), kNameFlagActive},
        {Name("WORKGROUP", 0x00), kNbFlagGroup | kNameFlagActive}};
    Write(names, "query", NbtNamePacketBuilder::NameQueryRequest(1, peer, true).Encode().Value());
    Write(names, "query_scope",
          NbtNamePacketBuilder::NameQueryRequest(2, Name("PEER", 0x03, "CORP.EXAMPLE"), false)
              .Encode()
              .Value());
    Write(names, "positive",
          NbtNamePacketBuilder::PositiveQueryResponse(1, peer, 0, {&address, 1}).Encode().Value());
    Write(names, "registration", registration.Encode().Value());
    Write(
        names, "negative",
        NbtNamePacketBuilder::NegativeRegistrationResponse(registration).Value().Encode().Value());
    Write(names, "release", NbtNamePacketBuilder::ReleaseRequest(3, peer, 0, kIp).Encode().Value());
    Write(names, "status_request", NbtNamePacketBuilder::NodeStatusRequest(4).Encode().Value());
    Write(names, "status_response",
          NbtNamePacketBuilder::NodeStatusResponse(4, Name("*", 0), table, {0, 1, 2, 3, 4, 5})
              .Encode()
              .Value());

    const fs::path datagrams = root / "NbtDatagramPacket";
    NbtDatagramPacket datagram;
    datagram.msgType = kDgmDirectGroup;
    datagram.dgmId = 7;
    datagram.sourceIp = kIp;
    datagram.sourceName = Name("PEER", 0x00);
    datagram.destinationName = Name("WORKGROUP", 0x00);
    SmbMailslotTransaction mailslot;
    const std::string text = std::string("PEER\0WORKGROUP\0hello\0", 21);
    mailslot.data.assign(text.begin(), text.end());
    datagram.userData = mailslot.Encode().Value();
    Write(datagrams, "direct_group", datagram.Encode().Value());
    datagram.msgType = kDgmDirectUnique;
    datagram.flags = kDgmFlagFirst | kDgmFlagMore | kDgmSntM;
    datagram.destinationName = Name("PEER", 0x03, "CORP");
    Write(datagrams, "direct_unique_fragment", datagram.Encode().Value());
    NbtDatagramPacket error;
    error.msgType = kDgmError;
    error.errorCode = kDgmErrDestinationUnknown;
    Write(datagrams, "error", error.Encode().Value());
    NbtDatagramPacket query;
    query.msgType = kDgmQueryRequest;
    query.destinationName = peer;
    Write(datagrams, "query", query.Encode().Value());

    // The session reader's first byte is the read size.
    const fs::path sessions = root / "NbtSessionFrameReader";
    const NbtBytes request =
        NbtSessionFrame::SessionRequest(peer, Name("ME", 0x00)).Encode().Value();
    const NbtBytes message = NbtSessionFrame::SessionMessage(mailslot.data).Encode().Value();
    Write(sessions, "request_positive",
          Append(Append({255}, request), NbtSessionFrame::PositiveResponse().Encode().Value()));
    Write(sessions, "request_message_split",
          Append(Append({3}, request),
                 Append(message, NbtSessionFrame::KeepAlive().Encode().Value())));
    Write(sessions, "negative",
          Append({0}, NbtSessionFrame::NegativeResponse(kSsnErrCalledNotPresent).Encode().Value()));
    Write(sessions, "retarget",
          Append({16}, NbtSessionFrame::RetargetResponse(kIp, 139).Encode().Value()));

    const fs::path transactions = root / "SmbMailslotTransaction";
    Write(transactions, "messenger", mailslot.Encode().Value());
    mailslot.mailslotName = "\\MAILSLOT\\BROWSE";
    mailslot.data.clear();
    Write(transactions, "browse_empty", mailslot.Encode().Value());
    return 0;
}
