// Older-decoder text lines on both links, with the raw log on. The input is the text after a
// header that says where to cut it into arrivals. Properties:
// - fed whole, a link hands on the lines its framing rules give (serial: up to and including
//   each LF, a line longer than the limit dropped; TCP: the text cut at each LF, every piece
//   that ends with CR a line), each read from its last start-of-header "@" or "#": the raw log
//   holds every passing line among them and nothing else, each exactly as framed plus CR LF,
//   and the passings are those of the passing lines that can be read, in order, each a time of
//   day; once three lines in a row have checked out, a passing line whose check fails is set
//   aside instead; a passing identical to one of the last 16 handled is not handed on again;
// - cutting the text into other arrivals changes neither the passings nor the raw log.
//   On TCP an arrival that ends with CR completes its line there and then, even when the text
//   goes on without LF, and an unfinished line past the limit is dropped at the end of an
//   arrival; so on TCP no cut is made right after a CR that no LF follows, and a text longer
//   than the limit is fed whole only.

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <string>

#include "decoder/checksum.h"
#include "fuzz/fuzz_harness.h"
#include "link/older_record.h"

namespace {

using namespace tivaro;

// A raw log in memory: a file that lives only as long as this process.
int RawLogFd() {
    static const int fd = memfd_create("tivaro-raw-log", 0);
    return fd;
}

std::string RawLogPath() {
    return "/proc/self/fd/" + std::to_string(RawLogFd());
}

std::string TakeRawLog() {
    const int fd = RawLogFd();
    std::string text(static_cast<std::size_t>(lseek(fd, 0, SEEK_END)), '\0');
    if (!text.empty() &&
        pread(fd, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
        std::abort();
    }
    if (ftruncate(fd, 0) != 0) {
        std::abort();
    }
    return text;
}

// The lines a link frames from `text` received in one arrival.
std::vector<std::string_view> LinesOfWholeText(std::string_view text, link::LinkKind kind) {
    std::vector<std::string_view> lines;
    for (;;) {
        const std::size_t lf = text.find('\n');
        if (kind == link::LinkKind::Serial) {
            if (lf == std::string_view::npos) {
                break;  // unfinished
            }
            if (lf + 1 <= link::kMaxLineChars + 1) {
                lines.push_back(text.substr(0, lf + 1));
            }
        } else {
            const std::string_view piece = text.substr(0, lf);
            if (!piece.empty() && piece.back() == '\r') {
                lines.push_back(piece);
            }
            if (lf == std::string_view::npos) {
                break;
            }
        }
        text.remove_prefix(lf + 1);
    }
    return lines;
}

// The decimal number at the start of `text`, moved past it; -1 when there is none.
long TakeNumber(std::string_view& text) {
    long value = -1;
    while (!text.empty() && text.front() >= '0' && text.front() <= '9' && value < 1'000'000) {
        value = (value < 0 ? 0 : value * 10) + (text.front() - '0');
        text.remove_prefix(1);
    }
    return value;
}

// "h:m:s." with hours below 24 and minutes and seconds below 60.
bool IsTimeOfDay(std::string_view time) {
    const long hours = TakeNumber(time);
    if (hours < 0 || hours > 23 || !time.starts_with(':')) {
        return false;
    }
    time.remove_prefix(1);
    const long minutes = TakeNumber(time);
    if (minutes < 0 || minutes > 59 || !time.starts_with(':')) {
        return false;
    }
    time.remove_prefix(1);
    const long seconds = TakeNumber(time);
    return seconds >= 0 && seconds <= 59 && time.starts_with('.');
}

// Feeds `text` in pieces whose sizes come from `cuts`, as FeedInPieces does, but on TCP moves
// every cut that would fall right after a CR not followed by LF one byte on.
void FeedAvoidingBareCr(std::string_view text, std::span<const std::uint8_t> cuts,
                        link::LinkKind kind, link::ReceivePath& path) {
    std::size_t next = 0;
    while (!text.empty()) {
        std::size_t n = std::min<std::size_t>(1 + cuts[next++ % cuts.size()], text.size());
        while (kind == link::LinkKind::Tcp && n < text.size() && text[n - 1] == '\r' &&
               text[n] != '\n') {
            ++n;
        }
        path.receive(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), n));
        text.remove_prefix(n);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::size_t cutCount = data[0] % 16;
    if (size < 1 + cutCount) {
        return 0;
    }
    const std::span<const std::uint8_t> cuts(data + 1, cutCount);
    const std::string_view text(reinterpret_cast<const char*>(data + 1 + cutCount),
                                size - 1 - cutCount);

    for (const link::LinkKind kind : {link::LinkKind::Serial, link::LinkKind::Tcp}) {
        std::string expectedLog;
        std::vector<link::Passing> expected;
        std::vector<link::Passing> expectedSetAside;
        int run = 0;
        bool armed = false;
        std::deque<link::PassingIdentity> handled;
        for (const std::string_view received : LinesOfWholeText(text, kind)) {
            const std::string_view line = link::FromLineStart(received);
            const auto check = decoder::OlderLineCheck(line);
            const bool good = check && check->matches() &&
                              (link::IsOlderPassingLine(line) || link::IsOlderStatusLine(line));
            run = good ? run + 1 : 0;
            armed = armed || run >= 3;
            if (!link::IsOlderPassingLine(line)) {
                continue;
            }
            expectedLog.append(received).append("\r\n");
            link::PassingIdentity identity;
            auto passing = link::ParseOlderPassingLine(line, &identity);
            if (passing && !IsTimeOfDay(passing->time)) {
                std::abort();  // a passing time that is no time of day
            }
            if (armed && !good) {
                if (passing) {
                    expectedSetAside.push_back(std::move(*passing));
                }
            } else if (passing &&
                       std::find(handled.begin(), handled.end(), identity) == handled.end()) {
                handled.push_back(identity);
                if (handled.size() > 16) {
                    handled.pop_front();
                }
                expected.push_back(std::move(*passing));
            }
        }

        const bool cutsApply =
            !cuts.empty() && (kind == link::LinkKind::Serial || text.size() <= link::kMaxLineChars);
        for (const bool cut : {false, true}) {
            if (cut && !cutsApply) {
                break;
            }
            fuzz::CheckingListener listener(false);
            fuzz::DumpingView view;
            link::ReceivePath path(kind, listener, &view, RawLogPath());
            path.setGeneration(link::DecoderGeneration::Older);
            if (cut) {
                FeedAvoidingBareCr(text, cuts, kind, path);
            } else {
                path.receive(
                    std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
            }
            if (listener.problems != 0) {
                std::abort();  // the raw log in memory cannot fail
            }
            if (TakeRawLog() != expectedLog) {
                std::abort();  // a passing line missing from the raw log, or another line in it
            }
            if (listener.passings != expected || listener.setAsidePassings != expectedSetAside) {
                std::abort();  // the passings are not those of the passing lines
            }
        }
    }
    return 0;
}
