// Keystream throughput in the engine's request size (one 32 KiB block per request), beside a
// plain byte-by-byte generator with the same restart rule, measured in the same run; then the
// chunked keystream of long passes: one 1 MiB chunk made on this thread, and a writer taking
// the chunks of a 256 MiB pass from 1 to 4 producer threads (the rate a write loop could be
// fed at; beyond the machine's cores the extra producers only take turns).
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "engine/BlockPrefetcher.h"
#include "engine/KeystreamGenerator.h"
#include "engine/PatternSource.h"

namespace {

// The textbook loop: 8-bit table, modulo arithmetic, one byte at a time.
class PlainGenerator {
public:
    void Key(const std::uint8_t* key, std::size_t length) {
        for (int x = 0; x < 256; ++x) {
            m_s[x] = static_cast<std::uint8_t>(x);
        }
        unsigned j = 0;
        for (unsigned x = 0; x < 256; ++x) {
            j = (j + m_s[x] + key[x % length]) % 256;
            std::swap(m_s[x], m_s[j]);
        }
    }
    void Generate(std::uint8_t* out, std::size_t n) {
        unsigned i = 0, j = 0;
        for (std::size_t k = 0; k < n; ++k) {
            i = (i + 1) % 256;
            j = (j + m_s[i]) % 256;
            std::swap(m_s[i], m_s[j]);
            out[k] = m_s[(m_s[i] + m_s[j]) % 256];
        }
    }

private:
    std::array<std::uint8_t, 256> m_s{};
};

std::array<std::uint8_t, 256> BenchKey() {
    std::array<std::uint8_t, 256> key{};
    for (std::size_t x = 0; x < key.size(); ++x) {
        key[x] = static_cast<std::uint8_t>(x * 167 + 13);
    }
    return key;
}

template <typename Generator>
void RunKeystream(benchmark::State& state) {
    Generator generator;
    const auto key = BenchKey();
    generator.Key(key.data(), key.size());
    std::vector<std::uint8_t> block(tolvane::kBlockSize);
    for (auto _ : state) {
        generator.Generate(block.data(), static_cast<std::int64_t>(block.size()));
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
    const double bytes =
        static_cast<double>(state.iterations()) * static_cast<double>(block.size());
    state.counters["MB/s"] = benchmark::Counter(bytes / 1e6, benchmark::Counter::kIsRate);
}

void BM_EngineKeystream(benchmark::State& state) {
    RunKeystream<tolvane::KeystreamGenerator>(state);
}
void BM_PlainKeystream(benchmark::State& state) {
    struct Adapter : PlainGenerator {
        void Generate(std::uint8_t* out, std::int64_t n) {
            PlainGenerator::Generate(out, static_cast<std::size_t>(n));
        }
    };
    RunKeystream<Adapter>(state);
}

void BM_OneChunk(benchmark::State& state) {
    tolvane::PassKey key{};
    key[0] = 1;
    std::vector<std::uint8_t> chunk(tolvane::kChunkSize);
    std::uint64_t index = 0;
    for (auto _ : state) {
        tolvane::GenerateChunk(key, index++, chunk.data(), chunk.size());
        benchmark::DoNotOptimize(chunk.data());
        benchmark::ClobberMemory();
    }
    const double bytes =
        static_cast<double>(state.iterations()) * static_cast<double>(chunk.size());
    state.counters["MB/s"] = benchmark::Counter(bytes / 1e6, benchmark::Counter::kIsRate);
}

void BM_ChunksFromProducers(benchmark::State& state) {
    constexpr std::size_t kChunks = 256;
    tolvane::BlockPrefetcher prefetcher(static_cast<int>(state.range(0)));
    tolvane::PassKey key{};
    std::uint64_t sum = 0;
    for (auto _ : state) {
        ++key[0];
        prefetcher.Begin(key, std::vector<std::size_t>(kChunks, tolvane::kChunkSize));
        for (std::size_t c = 0; c < kChunks; ++c) {
            sum += prefetcher.Next()[c];  // the writer touches every chunk
        }
        prefetcher.End();
    }
    benchmark::DoNotOptimize(sum);
    const double bytes = static_cast<double>(state.iterations()) * kChunks *
                         static_cast<double>(tolvane::kChunkSize);
    state.counters["MB/s"] = benchmark::Counter(bytes / 1e6, benchmark::Counter::kIsRate);
}

BENCHMARK(BM_EngineKeystream)->MinTime(1.0);
BENCHMARK(BM_PlainKeystream)->MinTime(1.0);
BENCHMARK(BM_OneChunk)->MinTime(1.0);
BENCHMARK(BM_ChunksFromProducers)->DenseRange(1, 4)->UseRealTime()->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
