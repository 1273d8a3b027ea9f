// tivaro-decode: decodes raw decoder bytes from a file or standard input through the same
// receive path the window uses, and prints one line per passing: transponder TAB time.
// Standard output holds the handled passings only; what was set aside for a failed checksum
// is counted on standard error at the end (and listed there with --set-aside).
//
// It decodes as the bytes arrive, in bounded memory whatever the input's size, and prints
// each passing as soon as its record (or line) is complete: `nc DECODER 5403 | tivaro-decode -`
// shows the passings live.

#include <fcntl.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "common/escaped_text.h"
#include "link/receive_path.h"

namespace {

constexpr int kFailed = 1;      // decoded, but something failed on the way (the raw log)
constexpr int kUsageError = 2;  // bad arguments or an unreadable input
constexpr std::size_t kChunk = 64 * 1024;

// Standard output through one buffer, written when it fills and after every chunk of input.
class Output {
public:
    Output() { buffer_.reserve(2 * kChunk); }
    std::string& text() { return buffer_; }
    void flushIfFull() {
        if (buffer_.size() >= kChunk) {
            flush();
        }
    }
    bool flush() {
        const bool ok = buffer_.empty() ||
                        std::fwrite(buffer_.data(), 1, buffer_.size(), stdout) == buffer_.size();
        buffer_.clear();
        return ok && std::fflush(stdout) == 0;
    }

private:
    std::string buffer_;
};

// One line per passing: the code (escaped), TAB, the time, LF.
void AppendPassingLine(const tivaro::link::Passing& passing, std::string& text) {
    tivaro::AppendEscaped(passing.transponder, text);
    // TAB, the time and LF in one append: the time text is at most 11 characters.
    char tail[16];
    const std::size_t n = std::min(passing.time.size(), sizeof tail - 2);
    tail[0] = '\t';
    std::memcpy(tail + 1, passing.time.data(), n);
    tail[n + 1] = '\n';
    text.append(tail, n + 2);
}

class Printer final : public tivaro::link::ReceiveListener {
public:
    Printer(Output& out, bool listSetAside) : out_(out), listSetAside_(listSetAside) {}
    void onPassing(const tivaro::link::Passing& passing) override {
        AppendPassingLine(passing, out_.text());
        out_.flushIfFull();
    }
    void onSetAside(const tivaro::link::SetAside& setAside) override {
        setAsideCount = setAside.count;
        if (listSetAside_) {
            std::string line = "terzijde gelegd\t";
            if (setAside.passing) {
                AppendPassingLine(*setAside.passing, line);
            } else {
                line += "(geen passering)\n";
            }
            std::fputs(line.c_str(), stderr);
        }
    }
    void onProblem(const tivaro::Error& error) override {
        std::fprintf(stderr, "tivaro-decode: %s\n", error.message.c_str());
        failed = true;
    }
    bool failed = false;
    std::uint64_t setAsideCount = 0;

private:
    Output& out_;
    bool listSetAside_;
};

void ReportSetAside(const Printer& printer) {
    if (printer.setAsideCount > 0) {
        std::fprintf(stderr,
                     "tivaro-decode: terzijde gelegd wegens een foute controlesom: %llu (storing "
                     "op de lijn, of een decoder met een andere controlesom)\n",
                     static_cast<unsigned long long>(printer.setAsideCount));
    }
}

// Prints the dump texts the debug boxes would receive, one labelled line per dump.
class DumpPrinter final : public tivaro::link::DebugView {
public:
    explicit DumpPrinter(Output& out) : out_(out) {}
    bool rawDumpWanted() const override { return true; }
    bool unescapedDumpWanted() const override { return true; }
    void appendRawDump(std::string_view text) override { print("raw", text); }
    void appendUnescapedDump(std::string_view text) override { print("unescaped", text); }
    void showSerialLine(std::string_view) override {}
    void note(std::string_view text) override { print("note", text); }

private:
    void print(std::string_view label, std::string_view text) {
        std::size_t begin = 0;
        while (begin < text.size()) {
            std::size_t end = text.find("\r\n", begin);
            if (end == std::string_view::npos) {
                end = text.size();
            }
            if (end > begin) {
                out_.text().append(label).append(text.substr(begin, end - begin)) += '\n';
            }
            begin = end + 2;
        }
        out_.flushIfFull();
    }

    Output& out_;
};

}  // namespace

int main(int argc, char** argv) {
    bool older = false;
    bool tcp = false;
    bool dump = false;
    bool listSetAside = false;
    std::string rawLog;
    std::string input = "-";

    CLI::App app{
        "Decodes raw decoder bytes through the receive path of the race-timing window and "
        "prints one line per passing, transponder TAB time, as soon as it is complete "
        "(\\\\ \\t \\r \\n in a code are escaped). Exit status: 0 done, 1 the raw log could not "
        "be written, 2 bad arguments or an unreadable input.",
        "tivaro-decode"};
    app.add_flag("--older", older, "older-decoder text lines instead of binary records");
    app.add_flag("--tcp", tcp, "the TCP link's rules instead of the serial link's");
    app.add_flag("--dump", dump, "also print the raw and unescaped record dumps");
    app.add_flag("--set-aside", listSetAside,
                 "list every record or line set aside for a failed checksum on standard error");
    app.add_option("--raw-log", rawLog, "append older-decoder passing lines to FILE")
        ->option_text("FILE");
    app.add_option("input", input, "the bytes to decode; - (the default) reads standard input")
        ->option_text("FILE|-");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? 0 : kUsageError;
    }

    const int fd = input == "-" ? STDIN_FILENO : ::open(input.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::fprintf(stderr, "tivaro-decode: %s kan niet worden gelezen: %s\n", input.c_str(),
                     std::strerror(errno));
        return kUsageError;
    }

    Output out;
    Printer printer(out, listSetAside);
    DumpPrinter dumps(out);
    tivaro::link::ReceivePath receive(
        tcp ? tivaro::link::LinkKind::Tcp : tivaro::link::LinkKind::Serial, printer,
        dump ? &dumps : nullptr, rawLog);
    receive.setGeneration(older ? tivaro::link::DecoderGeneration::Older
                                : tivaro::link::DecoderGeneration::Binary);

    std::vector<std::uint8_t> chunk(kChunk);
    for (;;) {
        const ssize_t got = ::read(fd, chunk.data(), chunk.size());
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            std::fprintf(stderr, "tivaro-decode: %s kan niet verder worden gelezen: %s\n",
                         input.c_str(), std::strerror(errno));
            out.flush();
            ReportSetAside(printer);
            return kUsageError;
        }
        if (got == 0) {
            break;
        }
        receive.receive(std::span(chunk.data(), static_cast<std::size_t>(got)));
        // What one read brought is printed before the next read waits for more.
        if (!out.flush()) {
            return kFailed;
        }
    }
    ReportSetAside(printer);
    return printer.failed ? kFailed : 0;
}
