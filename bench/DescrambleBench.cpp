// Descrambling throughput against memcpy of the same 100 MB buffer.
#include <cstdio>
#include <cstring>
#include <vector>

#include "BenchUtil.h"
#include "package/PackageFormat.h"

namespace {

const size_t BUFFER_BYTES = 100u << 20;
const int RUNS = 7;

template <typename Work>
double MedianSeconds(Work work)
{
    std::vector<double> times;
    for (int run = 0; run < RUNS; ++run) {
        double start = NowSeconds();
        work();
        times.push_back(NowSeconds() - start);
    }
    return Median(times);
}

} // namespace

int main()
{
    std::vector<uint8_t> buffer(BUFFER_BYTES), copy(BUFFER_BYTES);
    for (size_t i = 0; i < buffer.size(); ++i)
        buffer[i] = static_cast<uint8_t>(i * 2654435761u >> 13);
    uint8_t key[SCRAMBLE_KEY_BYTES];
    GetRecordKey(key);

    double memcpyTime = MedianSeconds([&] { memcpy(copy.data(), buffer.data(), buffer.size()); });
    double scalarTime = MedianSeconds([&] {
        DescrambleRecordWith(ScrambleCode::Scalar, buffer.data(), static_cast<ptrdiff_t>(buffer.size()), key);
    });
    double sse2Time = MedianSeconds([&] {
        DescrambleRecordWith(ScrambleCode::Sse2, buffer.data(), static_cast<ptrdiff_t>(buffer.size()), key);
    });
    double mb = static_cast<double>(BUFFER_BYTES) / (1 << 20);
    printf("Descrambling a %.0f MB buffer in place (median of %d runs; SSE2 %s)\n", mb, RUNS,
           CpuHasSse2() ? "present" : "absent");
    printf("%-22s %10s %10s %12s\n", "", "ms", "MB/s", "vs memcpy");
    printf("%-22s %10.1f %10.0f %12.2fx\n", "memcpy", memcpyTime * 1e3, mb / memcpyTime, 1.0);
    printf("%-22s %10.1f %10.0f %12.2fx\n", "descramble, scalar", scalarTime * 1e3, mb / scalarTime,
           memcpyTime / scalarTime);
    printf("%-22s %10.1f %10.0f %12.2fx\n", "descramble, SSE2", sse2Time * 1e3, mb / sse2Time,
           memcpyTime / sse2Time);
    return 0;
}
