// SZDD codec figures on code-like inputs of 0.3, 1 and 1.5 MB generated here (the real payloads
// are not available): expansion against libmspack, packing against mscompress. Each benchmark
// times both sides in the same run and reports the ratio.
//
//   szdd_bench --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "szdd/mspack_memory.h"
#include "szdd/sample_data.h"
#include "szdd/szdd.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

const Bytes& Input(std::int64_t kilobytes) {
  static std::map<std::int64_t, Bytes> cache;
  auto it = cache.find(kilobytes);
  if (it == cache.end()) {
    it = cache
             .emplace(kilobytes, szdd_test::CodeLike(static_cast<std::size_t>(kilobytes) * 1024,
                                                     static_cast<std::uint64_t>(kilobytes)))
             .first;
  }
  return it->second;
}

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

void BM_ExpandVsLibmspack(benchmark::State& state) {
  const Bytes& input = Input(state.range(0));
  const Bytes packed = szdd::Pack(input);
  szdd_test::MspackExpander mspack;
  if (!mspack.ready()) {
    state.SkipWithError("libmspack failed its self-test");
    return;
  }
  Bytes theirs;
  theirs.reserve(input.size());
  Clock::duration ours{}, libmspack{};
  for (auto _ : state) {
    const auto t0 = Clock::now();
    szdd::ExpandResult result = szdd::Expand(packed);
    const auto t1 = Clock::now();
    const bool theirsOk = mspack.Expand(packed, theirs);
    const auto t2 = Clock::now();
    benchmark::DoNotOptimize(result.data.data());
    if (!result.ok() || result.data != input || !theirsOk || theirs != input) {
      state.SkipWithError("an expansion did not give the input back");
      return;
    }
    ours += t1 - t0;
    libmspack += t2 - t1;
    state.SetIterationTime(Seconds(t2 - t0));
  }
  const double mb =
      static_cast<double>(input.size()) * static_cast<double>(state.iterations()) / 1e6;
  state.counters["ours_MBps"] = mb / Seconds(ours);
  state.counters["libmspack_MBps"] = mb / Seconds(libmspack);
  state.counters["speedup"] = Seconds(libmspack) / Seconds(ours);
}

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void BM_PackVsMscompress(benchmark::State& state) {
  const Bytes& input = Input(state.range(0));
  std::string pattern = (fs::temp_directory_path() / "szdd-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) {
    state.SkipWithError("no temporary folder");
    return;
  }
  const fs::path dir = pattern;
  const fs::path original = dir / "input.bin";
  const fs::path compressed = dir / "input.bin_";
  {
    std::ofstream out(original, std::ios::binary);
    out.write(reinterpret_cast<const char*>(input.data()),
              static_cast<std::streamsize>(input.size()));
  }
  const std::string command = "/usr/bin/mscompress '" + original.string() + "'";
  Clock::duration ours{}, mscompress{};
  std::size_t ourSize = 0, theirSize = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    const Bytes packed = szdd::Pack(input);
    const auto t1 = Clock::now();
    fs::remove(compressed);
    const auto t2 = Clock::now();
    const int status = std::system(command.c_str());
    const auto t3 = Clock::now();
    if (status != 0 || szdd::Expand(packed).data != input) {
      state.SkipWithError("mscompress failed or our output did not expand back");
      break;
    }
    ourSize = packed.size();
    theirSize = ReadFile(compressed).size();
    ours += t1 - t0;
    mscompress += t3 - t2;
    state.SetIterationTime(Seconds(t1 - t0) + Seconds(t3 - t2));
  }
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  if (theirSize == 0) return;
  const double mb =
      static_cast<double>(input.size()) * static_cast<double>(state.iterations()) / 1e6;
  state.counters["ours_MBps"] = mb / Seconds(ours);
  state.counters["mscompress_MBps"] = mb / Seconds(mscompress);
  state.counters["speedup"] = Seconds(mscompress) / Seconds(ours);
  state.counters["ours_bytes"] = static_cast<double>(ourSize);
  state.counters["mscompress_bytes"] = static_cast<double>(theirSize);
  state.counters["size_ratio"] = static_cast<double>(ourSize) / static_cast<double>(theirSize);
}

}  // namespace

BENCHMARK(BM_ExpandVsLibmspack)
    ->Arg(300)
    ->Arg(1024)
    ->Arg(1536)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
// mscompress runs as a child process, so wall time is the measure (process start included).
BENCHMARK(BM_PackVsMscompress)
    ->Arg(300)
    ->Arg(1024)
    ->Arg(1536)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
