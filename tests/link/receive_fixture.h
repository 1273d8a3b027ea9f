#pragma once
// Receive paths of both links wired to a listener and debug view that record what they are
// handed, for tests.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decoder/record_writer.h"
#include "link/receive_path.h"

namespace tivaro::link::testing {

using Bytes = std::vector<std::uint8_t>;

class Recorder final : public ReceiveListener {
public:
    void onPassing(const Passing& passing) override { passings.push_back(passing); }
    void onSetAside(const SetAside& setAside) override {
        setAsideCounts.push_back(setAside.count);
        if (setAside.passing) {
            setAsidePassings.push_back(*setAside.passing);
        }
    }
    void onProblem(const Error& error) override { problems.push_back(error.message); }

    std::vector<Passing> passings;
    std::vector<Passing> setAsidePassings;
    std::vector<std::uint64_t> setAsideCounts;  // the count each set-aside record brought
    std::vector<std::string> problems;
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
    Recorder recorder;
    RecordingDebugView debug;
    ReceivePath serial{LinkKind::Serial, recorder, &debug};
    ReceivePath tcp{LinkKind::Tcp, recorder, &debug};
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

// The same with one bit of its time flipped on the line, so that its CRC no longer fits.
inline Bytes WireHit(std::uint32_t transponder, std::uint64_t micros) {
    decoder::PassingRecordFields fields;
    fields.transponderNumber = transponder;
    fields.timeMicros = micros;
    std::vector<std::uint8_t> record = decoder::BuildPassingRecord(fields);
    record[25] ^= 0x01;  // the second byte of the time field
    Bytes wire;
    decoder::AppendEscaped(record, wire);
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
