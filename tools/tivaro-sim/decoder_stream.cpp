#include "tools/tivaro-sim/decoder_stream.h"

#include <cstdio>

#include "decoder/escape.h"
#include "decoder/record_writer.h"

namespace tivaro::sim {

namespace {

bool IsNumber(const std::string& text) {
    return !text.empty() && text.size() <= 9 &&
           text.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

DecoderStream::DecoderStream(StreamOptions options) : options_(options), random_(options.seed) {}

void DecoderStream::Append(const SimPassing& passing, std::vector<std::uint8_t>& out) {
    ++passingNumber_;
    if (options_.garbageEvery > 0 && passingNumber_ % options_.garbageEvery == 0) {
        AppendNoise(out);
    }
    if (options_.format == WireFormat::Binary) {
        AppendBinary(passing, out);
    } else {
        AppendOlder(passing, out);
    }
}

void DecoderStream::AppendBinary(const SimPassing& passing, std::vector<std::uint8_t>& out) {
    decoder::PassingRecordFields fields;
    fields.passingNumber = passingNumber_;
    if (IsNumber(passing.transponder) && !options_.numbersAsText) {
        fields.transponderNumber = static_cast<std::uint32_t>(std::stoul(passing.transponder));
    } else {
        fields.transponderText = passing.transponder;
    }
    fields.timeMicros = passing.micros;
    fields.strength = static_cast<std::uint16_t>(60 + random_() % 80);
    fields.hits = static_cast<std::uint16_t>(8 + random_() % 40);
    fields.decoderId = options_.decoderId;
    std::vector<std::uint8_t> record = decoder::BuildPassingRecord(fields);
    if (options_.corruptEvery > 0 && passingNumber_ % options_.corruptEvery == 0) {
        // A line hit: one bit of one byte after the header flips; the CRC no longer matches.
        const std::size_t at = 10 + random_() % (record.size() - 11);
        record[at] ^= static_cast<std::uint8_t>(1u << (random_() % 8));
    }
    decoder::AppendEscaped(record, out);

    if (options_.statusEvery > 0 && passingNumber_ % options_.statusEvery == 0) {
        decoder::StatusRecordFields status;
        status.noise = static_cast<std::uint16_t>(30 + random_() % 20);
        status.temperature = 215;
        status.decoderId = options_.decoderId;
        decoder::AppendEscaped(decoder::BuildStatusRecord(status), out);
    }
}

void DecoderStream::AppendOlder(const SimPassing& passing, std::vector<std::uint8_t>& out) {
    const std::uint64_t hundredths = passing.micros / 10'000;
    char fields[160];
    std::snprintf(
        fields, sizeof fields, "\x01@\t%u\t%u\t%s\t%llu.%02llu\t%u\t%u\t0", 3u, passingNumber_,
        passing.transponder.c_str(), static_cast<unsigned long long>(hundredths / 100),
        static_cast<unsigned long long>(hundredths % 100),
        static_cast<unsigned>(8 + random_() % 40), static_cast<unsigned>(60 + random_() % 80));
    std::string line = decoder::OlderLineWithCheck(fields);
    if (options_.corruptEvery > 0 && passingNumber_ % options_.corruptEvery == 0) {
        line[3 + random_() % (line.size() - 6)] ^= 0x01;
    }
    out.insert(out.end(), line.begin(), line.end());
    if (options_.statusEvery > 0 && passingNumber_ % options_.statusEvery == 0) {
        const std::string status =
            decoder::OlderLineWithCheck("\x01#\t3\t" + std::to_string(30 + random_() % 20));
        out.insert(out.end(), status.begin(), status.end());
    }
}

void DecoderStream::AppendNoise(std::vector<std::uint8_t>& out) {
    // Noise on the line between records: anything but the frame and escape bytes (older
    // decoders: anything but a line end), so it never forms a record or line of its own.
    const std::size_t length = 1 + random_() % 12;
    for (std::size_t k = 0; k < length; ++k) {
        std::uint8_t b = static_cast<std::uint8_t>(random_());
        if (options_.format == WireFormat::Binary) {
            if (b >= decoder::kEscapeByte && b <= decoder::kEndByte) {
                b = 0x55;
            }
        } else if (b == '\n' || b == '\r' || b == '@') {
            b = '~';
        }
        out.push_back(b);
    }
    if (options_.format == WireFormat::Older) {
        out.push_back('\r');
        out.push_back('\n');
    }
}

}  // namespace tivaro::sim
