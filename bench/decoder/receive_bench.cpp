// Passing records per second through framing, escape removal, decoding and the time text, on
// a realistic stream: passing records whose numbers need escapes, a status record after every
// fifth passing, arriving in pieces as a network or a serial driver delivers them.

#include <benchmark/benchmark.h>

#include <random>

#include "decoder/escape.h"
#include "decoder/passing_time.h"
#include "decoder/record.h"
#include "decoder/record_writer.h"
#include "link/receive_path.h"

namespace {

using namespace tivaro;

constexpr int kPassings = 10'000;

std::vector<std::uint8_t> MakeStream() {
    std::mt19937 random(2008);
    std::vector<std::uint8_t> stream;
    std::uint64_t clock = 19ull * 3600 * 1'000'000;
    for (int k = 0; k < kPassings; ++k) {
        decoder::PassingRecordFields fields;
        fields.passingNumber = static_cast<std::uint32_t>(k);
        if (k % 4 == 3) {
            fields.transponderText = "KX-0" + std::to_string(4123 + k % 20);
        } else {
            fields.transponderNumber = 7404583 + static_cast<std::uint32_t>(k % 20);
        }
        clock += 1'000 + random() % 2'000'000;
        fields.timeMicros = clock;
        fields.strength = static_cast<std::uint16_t>(0x8D + k % 3);  // always escaped
        fields.hits = static_cast<std::uint16_t>(10 + k % 30);
        fields.decoderId = 0x0D0C8F01;
        decoder::AppendEscaped(decoder::BuildPassingRecord(fields), stream);
        if (k % 5 == 4) {
            decoder::AppendEscaped(decoder::BuildStatusRecord({41, 215, 0x0D0C8F01}), stream);
        }
    }
    return stream;
}

class Counter final : public link::ReceiveListener {
public:
    void onPassing(const link::Passing& passing) override {
        ++count;
        benchmark::DoNotOptimize(passing.time.data());
    }
    void onSetAside(const link::SetAside&) override { ++setAside; }
    void onProblem(const Error&) override {}
    std::int64_t count = 0;
    std::int64_t setAside = 0;
};

void ReceiveStream(benchmark::State& bench, link::LinkKind link) {
    const std::vector<std::uint8_t> stream = MakeStream();
    const auto piece = static_cast<std::size_t>(bench.range(0));
    Counter counter;
    link::ReceivePath receive(link, counter);
    for (auto _ : bench) {
        for (std::size_t at = 0; at < stream.size(); at += piece) {
            receive.receive(std::span(stream).subspan(at, std::min(piece, stream.size() - at)));
        }
    }
    if (counter.count != kPassings * static_cast<std::int64_t>(bench.iterations())) {
        bench.SkipWithError("lost passings");
    }
    bench.SetItemsProcessed(counter.count);
    bench.SetBytesProcessed(static_cast<std::int64_t>(stream.size() * bench.iterations()));
}

void BM_ReceiveSerial(benchmark::State& bench) {
    ReceiveStream(bench, link::LinkKind::Serial);
}
void BM_ReceiveTcp(benchmark::State& bench) {
    ReceiveStream(bench, link::LinkKind::Tcp);
}
BENCHMARK(BM_ReceiveSerial)->Arg(64)->Arg(4096);
BENCHMARK(BM_ReceiveTcp)->Arg(1460)->Arg(65536);

void BM_UnescapeAndDecode(benchmark::State& bench) {
    decoder::PassingRecordFields fields;
    fields.transponderNumber = 7404583;
    fields.timeMicros = 45'296'123'456;
    fields.strength = 0x8E;
    std::vector<std::uint8_t> wire;
    decoder::AppendEscaped(decoder::BuildPassingRecord(fields), wire);
    std::vector<std::uint8_t> record;
    decoder::DecodedRecord decoded;
    for (auto _ : bench) {
        decoder::UnescapeRecord(wire, record);
        decoder::DecodeRecord(record, decoded);
        benchmark::DoNotOptimize(decoded.passingTimeMicros);
    }
    bench.SetItemsProcessed(static_cast<std::int64_t>(bench.iterations()));
}
BENCHMARK(BM_UnescapeAndDecode);

void BM_FormatPassingTime(benchmark::State& bench) {
    std::string text;
    std::uint64_t micros = 45'296'123'456;
    for (auto _ : bench) {
        decoder::FormatPassingTime(micros, text);
        micros += 10'007;
        benchmark::DoNotOptimize(text.data());
    }
    bench.SetItemsProcessed(static_cast<std::int64_t>(bench.iterations()));
}
BENCHMARK(BM_FormatPassingTime);

}  // namespace

BENCHMARK_MAIN();
