// Records written by the record writer decode back to what was written. The input gives the
// fields of a run of records (passings with a text or numeric transponder, decoder status
// records), noise before each of them, and where to cut the stream into arrivals. Every record
// is built, escaped and fed through the receive path of both links: record by record, and as
// one stream cut at the fuzzed points. Properties:
// - every passing record gives exactly one passing: its text transponder (the 255 bytes a
//   field holds) as UTF-8 of the Windows-1252 bytes without their zero bytes, or its number in
//   decimal, and the time of the 56 bits the record carries; status records give nothing;
// - once three records in a row have checked out, a record with one bit flipped is set aside,
//   never handed on; a stray end byte completes a record that fails and so breaks the run;
// - a passing identical to one of the last 16 handled (decoder, number, code, time) is a
//   resend and gives nothing;
// - noise (half a record, a few stray bytes, a stray end byte) gives nothing and costs no
//   record;
// - the cuts change nothing.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <deque>
#include <string>
#include <tuple>
#include <vector>

#include "decoder/codepage.h"
#include "decoder/passing_time.h"
#include "decoder/record_writer.h"
#include "fuzz/fuzz_harness.h"

namespace {

using namespace tivaro;

constexpr std::uint64_t kTimeMask = (std::uint64_t{1} << 56) - 1;
constexpr std::size_t kMaxRecords = 48;

// One record as it goes on the line, with what it must give.
struct Planned {
    std::vector<std::uint8_t> noise;  // before the record
    std::vector<std::uint8_t> wire;   // the escaped record
    bool passing = false;             // it must give `expected`
    link::Passing expected;
    bool flipped = false;  // one bit flipped: it must be set aside
};

// Bytes without start and end bytes, so that noise cannot frame a record of its own.
std::vector<std::uint8_t> Junk(FuzzedDataProvider& in, std::size_t most) {
    std::vector<std::uint8_t> bytes =
        in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, most));
    for (std::uint8_t& b : bytes) {
        if (b == decoder::kStartByte || b == decoder::kEndByte) {
            b = 0x8C;
        }
    }
    return bytes;
}

// Noise before a record: nothing, half a record whose end never comes, stray bytes, or up
// to seven stray bytes and an end byte (too short to be a record).
std::vector<std::uint8_t> Noise(FuzzedDataProvider& in, unsigned kind) {
    std::vector<std::uint8_t> noise;
    switch (kind % 4) {
        case 1:
            noise.push_back(decoder::kStartByte);
            [[fallthrough]];
        case 2: {
            const std::vector<std::uint8_t> junk = Junk(in, 40);
            noise.insert(noise.end(), junk.begin(), junk.end());
            break;
        }
        case 3:
            noise = Junk(in, 7);
            noise.push_back(decoder::kEndByte);
            break;
        default:
            break;
    }
    return noise;
}

std::string WithoutZeroBytes(std::string text) {
    std::erase(text, '\0');
    return text;
}

std::vector<Planned> Plan(FuzzedDataProvider& in) {
    std::vector<Planned> plan;
    int run = 0;         // good records in a row
    bool armed = false;  // three in a row went before: the record checks are in force
    using Identity = std::tuple<std::uint32_t, std::uint32_t, std::string, std::uint64_t>;
    std::deque<Identity> handled;  // the last 16 passings handled
    while (in.remaining_bytes() > 0 && plan.size() < kMaxRecords) {
        const auto kind = in.ConsumeIntegral<std::uint8_t>();
        Planned next;
        next.noise = Noise(in, kind);
        if (kind % 4 == 3) {
            run = 0;  // the stray end byte completes a record that fails its check
        }
        Identity identity;
        std::vector<std::uint8_t> record;
        if ((kind & 0x10) != 0) {
            decoder::StatusRecordFields fields;
            fields.noise = in.ConsumeIntegral<std::uint16_t>();
            fields.temperature = in.ConsumeIntegral<std::uint16_t>();
            fields.decoderId = in.ConsumeIntegral<std::uint32_t>();
            record = decoder::BuildStatusRecord(fields);
        } else {
            decoder::PassingRecordFields fields;
            fields.passingNumber = in.ConsumeIntegral<std::uint32_t>();
            if ((kind & 0x20) != 0) {
                fields.transponderText = in.ConsumeRandomLengthString(300);
            }
            fields.transponderNumber = in.ConsumeIntegral<std::uint32_t>();
            fields.timeMicros = in.ConsumeIntegral<std::uint64_t>();
            fields.strength = in.ConsumeIntegral<std::uint16_t>();
            fields.hits = in.ConsumeIntegral<std::uint16_t>();
            fields.flags = in.ConsumeIntegral<std::uint16_t>();
            fields.decoderId = in.ConsumeIntegral<std::uint32_t>();
            record = decoder::BuildPassingRecord(fields);
            next.passing = true;
            next.expected.transponder = fields.transponderText.empty()
                                            ? std::to_string(fields.transponderNumber)
                                            : decoder::Cp1252ToUtf8(WithoutZeroBytes(
                                                  fields.transponderText.substr(0, 255)));
            next.expected.time = decoder::FormatPassingTime(fields.timeMicros & kTimeMask);
            identity = {fields.decoderId, fields.passingNumber, next.expected.transponder,
                        fields.timeMicros & kTimeMask};
        }
        if ((kind & 0x40) != 0 && armed) {
            // A bit hit between start and end byte; the escape coding is applied after it,
            // as the decoder would send the damaged bytes.
            const std::size_t bit =
                in.ConsumeIntegralInRange<std::size_t>(8, (record.size() - 1) * 8 - 1);
            record[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
            next.flipped = true;
            next.passing = false;
        }
        if (!next.flipped) {
            armed = armed || ++run >= 3;
        }
        if (next.passing) {
            if (std::find(handled.begin(), handled.end(), identity) != handled.end()) {
                next.passing = false;  // sent again: not handled a second time
            } else {
                handled.push_back(identity);
                if (handled.size() > 16) {
                    handled.pop_front();
                }
            }
        }
        decoder::AppendEscaped(record, next.wire);
        plan.push_back(std::move(next));
    }
    return plan;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::vector<std::uint8_t> cuts =
        in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 16));
    const std::vector<Planned> plan = Plan(in);

    std::vector<link::Passing> expected;
    std::vector<std::uint8_t> stream;
    for (const Planned& record : plan) {
        if (record.passing) {
            expected.push_back(record.expected);
        }
        stream.insert(stream.end(), record.noise.begin(), record.noise.end());
        stream.insert(stream.end(), record.wire.begin(), record.wire.end());
    }

    for (const link::LinkKind kind : {link::LinkKind::Serial, link::LinkKind::Tcp}) {
        // Record by record: each gives its own passing or is set aside, nothing else.
        fuzz::CheckingListener listener(true);
        link::ReceivePath path(kind, listener);
        for (const Planned& record : plan) {
            const std::size_t passings = listener.passings.size();
            path.receive(record.noise);
            if (listener.passings.size() != passings) {
                std::abort();  // noise gave a passing
            }
            const std::uint64_t setAside = path.setAsideCount();
            path.receive(record.wire);
            const std::size_t gave = listener.passings.size() - passings;
            if (gave != (record.passing ? 1u : 0u) ||
                (record.passing && listener.passings.back() != record.expected)) {
                std::abort();  // a record decoded to other than what was written
            }
            if (path.setAsideCount() - setAside != (record.flipped ? 1u : 0u)) {
                std::abort();  // a damaged record was not set aside, or a good one was
            }
        }
        if (listener.problems != 0) {
            std::abort();
        }

        // The whole stream in fuzzed arrivals: the same passings, the same records set aside.
        fuzz::CheckingListener cutListener(true);
        fuzz::DumpingView view;
        link::ReceivePath cutPath(kind, cutListener, &view);
        fuzz::FeedInPieces(stream, cuts,
                           [&](std::span<const std::uint8_t> piece) { cutPath.receive(piece); });
        if (cutListener.passings != expected || cutPath.setAsideCount() != path.setAsideCount() ||
            cutPath.recordsChecked() != path.recordsChecked()) {
            std::abort();  // the cuts changed what came out
        }
    }
    return 0;
}
