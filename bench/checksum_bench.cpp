// Throughput of the checksum kernels over 64 KiB of bytes: CRC-32, Adler-32 and the Internet
// checksum in our own code, beside the MD5 and SHA-256 digests and an HMAC of libcrypto's.
// The reported rate is input bytes per second.
#include <benchmark/benchmark.h>

#include <vector>

#include "eval/checksum.hpp"

namespace {

using namespace vyn;

std::vector<uint8_t> sample_bytes() {
    std::vector<uint8_t> bytes(64 * 1024);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 131 + (i >> 7));
    return bytes;
}

template <typename Kernel>
void run(benchmark::State& state, Kernel kernel) {
    const std::vector<uint8_t> bytes = sample_bytes();
    for (auto _ : state) benchmark::DoNotOptimize(kernel(bytes.data(), bytes.size()));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}

void BM_Crc32(benchmark::State& state) { run(state, checksum::crc32); }
void BM_Adler32(benchmark::State& state) { run(state, checksum::adler32); }
void BM_TcpChecksum(benchmark::State& state) { run(state, checksum::tcp); }

void BM_Digest(benchmark::State& state) {
    auto method = checksum::Method(state.range(0));
    run(state, [method](const uint8_t* b, size_t n) { return checksum::digest(b, n, method).size; });
}

void BM_HmacSha256(benchmark::State& state) {
    const uint8_t key[] = "a key of modest length";
    run(state, [&key](const uint8_t* b, size_t n) {
        return checksum::hmac(b, n, key, sizeof key - 1, checksum::Method::sha256).size;
    });
}

}  // namespace

BENCHMARK(BM_Crc32);
BENCHMARK(BM_Adler32);
BENCHMARK(BM_TcpChecksum);
BENCHMARK(BM_Digest)->ArgName("md5_sha256")->Arg(int(vyn::checksum::Method::md5))->Arg(int(vyn::checksum::Method::sha256));
BENCHMARK(BM_HmacSha256);
