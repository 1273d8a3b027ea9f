#include "live/http_request.h"

#include <algorithm>
#include <cctype>

namespace tivaro::live {

namespace {

ReadRequest Refuse(int status) {
    ReadRequest read;
    read.state = ReadRequest::State::Refused;
    read.status = status;
    return read;
}

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

bool IsToken(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) {
        return std::isalnum(c) || std::string_view("!#$%&'*+-.^_`|~").find(static_cast<char>(c)) !=
                                      std::string_view::npos;
    });
}

// Whether the comma-separated list `value` holds `token`, ignoring case.
bool ListHolds(std::string_view value, std::string_view token) {
    const std::string lower = Lower(value);
    std::string_view rest = lower;
    while (!rest.empty()) {
        const std::size_t comma = rest.find(',');
        if (TrimBlanks(rest.substr(0, comma)) == token) {
            return true;
        }
        if (comma == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(comma + 1);
    }
    return false;
}

}  // namespace

ReadRequest ReadRequestHead(std::string_view bytes, const RequestLimits& limits) {
    const std::size_t lineEnd = bytes.find("\r\n");
    if (lineEnd == std::string_view::npos) {
        return bytes.size() >= limits.requestLine ? Refuse(414) : ReadRequest{};
    }
    if (lineEnd + 2 > limits.requestLine) {
        return Refuse(414);
    }
    const std::size_t headEnd = bytes.find("\r\n\r\n");
    if (headEnd == std::string_view::npos) {
        return bytes.size() >= limits.head ? Refuse(431) : ReadRequest{};
    }
    if (headEnd + 4 > limits.head) {
        return Refuse(431);
    }

    // Request line: METHOD SP TARGET SP HTTP/1.x
    const std::string_view line = bytes.substr(0, lineEnd);
    const std::size_t firstSpace = line.find(' ');
    const std::size_t lastSpace = line.rfind(' ');
    if (firstSpace == std::string_view::npos || lastSpace == firstSpace) {
        return Refuse(400);
    }
    const std::string_view method = line.substr(0, firstSpace);
    const std::string_view target = line.substr(firstSpace + 1, lastSpace - firstSpace - 1);
    const std::string_view version = line.substr(lastSpace + 1);
    if (!IsToken(method) || target.empty() || target.find(' ') != std::string_view::npos) {
        return Refuse(400);
    }
    if (version != "HTTP/1.1" && version != "HTTP/1.0") {
        return version.starts_with("HTTP/") ? Refuse(505) : Refuse(400);
    }
    // Only the origin form: absolute URLs and "*" name nothing this server holds.
    if (target.front() != '/' || std::any_of(target.begin(), target.end(), [](unsigned char c) {
            return c < 0x21 || c == 0x7f;
        })) {
        return Refuse(400);
    }

    ReadRequest read;
    std::string_view rest = bytes.substr(lineEnd + 2, headEnd - lineEnd);
    std::size_t count = 0;
    bool upgrade = false;
    bool connectionUpgrade = false;
    bool body = false;
    while (!rest.empty()) {
        const std::size_t end = rest.find("\r\n");
        const std::string_view header = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 2);
        if (header.empty()) {
            continue;
        }
        if (++count > limits.headers) {
            return Refuse(431);
        }
        const std::size_t colon = header.find(':');
        if (colon == std::string_view::npos || !IsToken(header.substr(0, colon))) {
            return Refuse(400);
        }
        const std::string name = Lower(header.substr(0, colon));
        const std::string_view value = TrimBlanks(header.substr(colon + 1));
        if (name == "content-length") {
            body = body || value != "0";
        } else if (name == "transfer-encoding") {
            body = true;
        } else if (name == "upgrade") {
            upgrade = ListHolds(value, "websocket");
        } else if (name == "connection") {
            connectionUpgrade = ListHolds(value, "upgrade");
        }
    }
    if (method != "GET" && method != "HEAD") {
        return Refuse(405);
    }
    if (body) {
        return Refuse(413);
    }
    read.state = ReadRequest::State::Ready;
    read.length = headEnd + 4;
    read.head.method = std::string(method);
    const std::size_t question = target.find('?');
    read.head.path = std::string(target.substr(0, question));
    if (question != std::string_view::npos) {
        read.head.query = std::string(target.substr(question + 1));
    }
    read.head.upgradeToWebSocket = upgrade && connectionUpgrade;
    return read;
}

std::string_view StatusText(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 408:
            return "Request Timeout";
        case 413:
            return "Content Too Large";
        case 414:
            return "URI Too Long";
        case 426:
            return "Upgrade Required";
        case 431:
            return "Request Header Fields Too Large";
        case 503:
            return "Service Unavailable";
        case 505:
            return "HTTP Version Not Supported";
        default:
            return "Error";
    }
}

}  // namespace tivaro::live
