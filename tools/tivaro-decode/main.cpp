// tivaro-decode: decodes raw decoder bytes from a file (or standard input) through the same
// receive path the window uses, and prints one line per passing: transponder TAB time.

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "app/state/start_up.h"
#include "link/receive_path.h"

namespace {

constexpr int kUsageError = 2;

void PrintUsage(std::FILE* to) {
    std::fputs(
        "usage: tivaro-decode [--older] [--tcp] [--dump] [--raw-log FILE] [FILE | -]\n"
        "  --older          older-decoder text lines instead of binary records\n"
        "  --tcp            the TCP link's rules instead of the serial link's\n"
        "  --dump           also print the raw and unescaped record dumps\n"
        "  --raw-log FILE   append older-decoder passing lines to FILE\n",
        to);
}

// Backslash, TAB, CR and LF in a transponder code would break the output's columns.
std::string EscapeField(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            default:
                out += c;
        }
    }
    return out;
}

class PrintingSink final : public tivaro::link::PassingSink {
public:
    explicit PrintingSink(const tivaro::RaceState& state) : state_(state) {}
    void HandlePassing() override {
        std::cout << EscapeField(state_.transponder) << '\t' << state_.passTime << '\n';
    }

private:
    const tivaro::RaceState& state_;
};

// Prints the dump texts the debug boxes would receive, one labelled line per dump.
class PrintingDebugView final : public tivaro::link::DebugView {
public:
    explicit PrintingDebugView(bool dump) : dump_(dump) {}
    bool rawDumpWanted() const override { return dump_; }
    bool unescapedDumpWanted() const override { return dump_; }
    void appendRawDump(std::string_view text) override { Print("raw", text); }
    void appendUnescapedDump(std::string_view text) override { Print("unescaped", text); }
    void showSerialLine(std::string_view) override {}
    void note(std::string_view text) override {
        if (dump_) {
            Print("note", text);
        }
    }

private:
    static void Print(const char* label, std::string_view text) {
        std::size_t begin = 0;
        while (begin < text.size()) {
            std::size_t end = text.find("\r\n", begin);
            if (end == std::string_view::npos) {
                end = text.size();
            }
            if (end > begin) {
                std::cout << label << text.substr(begin, end - begin) << '\n';
            }
            begin = end + 2;
        }
    }

    bool dump_;
};

}  // namespace

int main(int argc, char** argv) {
    bool older = false;
    bool tcp = false;
    bool dump = false;
    std::string rawLog;
    std::string input = "-";
    bool haveInput = false;

    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--older") {
            older = true;
        } else if (arg == "--tcp") {
            tcp = true;
        } else if (arg == "--dump") {
            dump = true;
        } else if (arg == "--raw-log" && i + 1 < argc) {
            rawLog = argv[++i];
        } else if (arg == "--help" || arg == "-h") {
            PrintUsage(stdout);
            return 0;
        } else if ((arg == "-" || !arg.starts_with("-")) && !haveInput) {
            input = arg;
            haveInput = true;
        } else {
            std::fprintf(stderr, "tivaro-decode: unexpected argument '%s'\n", argv[i]);
            PrintUsage(stderr);
            return kUsageError;
        }
    }

    std::vector<std::uint8_t> bytes;
    if (input == "-") {
        bytes.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
        std::ifstream file(input, std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "tivaro-decode: cannot read %s: %s\n", input.c_str(),
                         std::strerror(errno));
            return kUsageError;
        }
        bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
        if (file.bad()) {
            std::fprintf(stderr, "tivaro-decode: cannot read %s\n", input.c_str());
            return kUsageError;
        }
    }

    tivaro::RaceState state;
    tivaro::ApplyStartUpValues(state, ".");
    state.rawLogPath = rawLog;  // empty: no raw log
    state.binaryDecoder = !older;

    PrintingSink sink(state);
    PrintingDebugView debug(dump);
    tivaro::link::ReceivePath receive(state, sink, &debug);
    receive.setNoticeListener([](const std::string& message) {
        std::fprintf(stderr, "tivaro-decode: %s\n", message.c_str());
    });
    const auto errors = tcp ? receive.ReceiveTcp(bytes) : receive.ReceiveSerial(bytes);
    for (const auto& error : errors) {
        std::fprintf(stderr, "tivaro-decode: %s\n", error.message.c_str());
    }
    std::cout.flush();
    return errors.empty() ? 0 : 1;
}
