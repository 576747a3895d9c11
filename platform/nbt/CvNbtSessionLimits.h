#pragma once

#include <cstddef>

// What peers of the session service may hold of this station: memory for
// received data that no receive has taken yet, and descriptors for incoming
// connections that have not finished their handshake. The defaults leave a
// messenger PDU (well under 2 KiB) and a legal 128 KiB frame to a posted
// receive untouched and cap what idle, trickling or flooding peers can pin.
struct CvNbtSessionLimits {
    // Received bytes one session may hold (whole messages waiting for a
    // receive and the frame being read) before its socket is left unread, so
    // that TCP flow control stops the sender. A session with a receive
    // waiting and nothing queued may always hold one largest frame.
    size_t sessionBytes = 64 * 1024;
    // Whole messages one session may hold; keeps empty frames bounded too.
    size_t sessionMessages = 64;
    // Received bytes all sessions together may hold...
    size_t totalBytes = 4 * 1024 * 1024;
    // ...except that every session may hold this much regardless, so that a
    // well-behaved peer's PDU still gets read while floods fill the total.
    size_t reserveBytes = 8 * 1024;
    // A session that stays at its own bound this long while nothing is taken
    // from it is hung up and what it holds is dropped (kNrcSAbort).
    int stallMs = 30000;

    // Incoming connections in the handshake, in total and from one address.
    size_t handshakes = 128;
    size_t handshakesPerAddress = 32;
    // At a cap, a handshake at least this old is ended to make room for a
    // new caller; a well-behaved caller sends its request at once. Younger
    // ones are kept and the new caller is refused.
    int handshakeGraceMs = 1000;
    // How long the listeners rest after accept ran out of descriptors or
    // memory, instead of being polled again at once.
    int acceptBackoffMs = 200;
};
