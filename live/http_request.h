#pragma once
// The head of an HTTP/1.1 request, read from the bytes a client sent so far, within fixed
// bounds: the live page is served to anyone on the hall's network, so a request line, a header
// block or a header count past its bound is refused instead of buffered. The server is
// read-only: only GET and HEAD are taken, and a request that announces a body is refused.
//
// Pure: it looks at bytes and says what they are; the server does the I/O.

#include <cstddef>
#include <string>
#include <string_view>

namespace tivaro::live {

struct RequestLimits {
    std::size_t requestLine = 2048;  // bytes of the first line, CR LF included
    std::size_t head = 8192;         // bytes of the request line and every header
    std::size_t headers = 64;        // header lines
};

struct RequestHead {
    std::string method;
    std::string path;                 // the target before any '?', as sent (not decoded)
    std::string query;                // after the '?', as sent
    bool upgradeToWebSocket = false;  // "Upgrade: websocket"
};

struct ReadRequest {
    enum class State {
        Incomplete,  // no end of head yet, and within bounds: wait for more
        Ready,       // `head` holds the request; `length` bytes make up its head
        Refused,     // answer with `status` and close
    };
    State state = State::Incomplete;
    int status = 0;  // the HTTP status of a refusal: 400, 405, 413, 414, 431, 505
    RequestHead head;
    std::size_t length = 0;
};

// Reads the head at the start of `bytes` (everything the client sent so far).
ReadRequest ReadRequestHead(std::string_view bytes, const RequestLimits& limits = {});

// The reason phrase of `status` ("Not Found").
std::string_view StatusText(int status);

}  // namespace tivaro::live
