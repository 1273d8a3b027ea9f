#pragma once
// A receive path wired to sinks that record what it hands out, for tests.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "app/state/start_up.h"
#include "decoder/record_writer.h"
#include "link/receive_path.h"

namespace tivaro::link::testing {

using Bytes = std::vector<std::uint8_t>;
using Passing = std::pair<std::string, std::string>;  // transponder, passTime

class RecordingSink final : public PassingSink {
public:
    explicit RecordingSink(const RaceState& state) : state_(state) {}
    void HandlePassing() override { passings.emplace_back(state_.transponder, state_.passTime); }
    std::vector<Passing> passings;

private:
    const RaceState& state_;
};

class RecordingDebugView final : public DebugView {
public:
    bool rawDumpWanted() const override { return raw; }
    bool unescapedDumpWanted() const override { return unescaped; }
    void appendRawDump(std::string_view text) override { text5 += text; }
    void appendUnescapedDump(std::string_view text) override { text6 += text; }
    void showSerialLine(std::string_view line) override { text1 = line; }
    void note(std::string_view text) override { notes += text; }

    bool raw = false;
    bool unescaped = false;
    std::string text1 = "Text1";
    std::string text5;
    std::string text6;
    std::string notes;
};

class ReceiveFixture : public ::testing::Test {
protected:
    ReceiveFixture() {
        ApplyStartUpValues(state, ".");
        state.rawLogPath.clear();
    }

    RaceState state;
    RecordingSink sink{state};
    RecordingDebugView debug;
    ReceivePath receive{state, sink, &debug};
};

// An escaped passing record as a decoder sends it.
inline Bytes WirePassing(std::uint32_t transponder, std::uint64_t micros, std::string text = {}) {
    decoder::PassingRecordFields fields;
    fields.transponderNumber = transponder;
    fields.transponderText = std::move(text);
    fields.timeMicros = micros;
    Bytes wire;
    decoder::AppendEscaped(decoder::BuildPassingRecord(fields), wire);
    return wire;
}

inline Bytes WireStatus() {
    Bytes wire;
    decoder::StatusRecordFields fields;
    fields.noise = 0x8E8F;
    decoder::AppendEscaped(decoder::BuildStatusRecord(fields), wire);
    return wire;
}

inline Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

inline Bytes AsBytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

}  // namespace tivaro::link::testing
