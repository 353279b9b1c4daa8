// SZDD codec figures on the payloads this program ships (the files the win32 build packed, as
// listed in its payloads/sources.txt): expansion against libmspack, packing against mscompress.
// Each benchmark times both sides in the same run and reports the ratio; the "all" rows take the
// 34 payloads together.
//
//   szdd_bench [--payloads=build/win32/payloads/sources.txt] --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "fixtures/host_files.h"
#include "szdd/mspack_memory.h"
#include "szdd/szdd.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

struct Payload {
  std::string name;  // "<id>-<file name>"
  fs::path path;
  Bytes bytes;
  Bytes packed;
};

std::vector<Payload>& Payloads() {
  static std::vector<Payload> payloads;
  return payloads;
}

bool LoadPayloads(const std::string& list) {
  std::ifstream in(list);
  std::string line;
  while (std::getline(in, line)) {
    const auto tab = line.find('\t');
    if (tab == std::string::npos) continue;
    Payload p;
    p.path = line.substr(tab + 1);
    p.name = p.path.filename().string();
    p.bytes = fixtures::ReadHostFile(p.path);
    if (p.bytes.empty()) {
      std::cerr << "szdd_bench: cannot read " << p.path << "\n";
      return false;
    }
    p.packed = szdd::Pack(p.bytes);
    Payloads().push_back(std::move(p));
  }
  if (Payloads().empty()) std::cerr << "szdd_bench: no payloads listed in " << list << "\n";
  return !Payloads().empty();
}

// The payloads a benchmark row covers: one, or all of them for index -1.
std::vector<const Payload*> Selected(std::int64_t index) {
  std::vector<const Payload*> chosen;
  for (std::size_t i = 0; i < Payloads().size(); ++i) {
    if (index < 0 || static_cast<std::size_t>(index) == i) chosen.push_back(&Payloads()[i]);
  }
  return chosen;
}

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

void Label(benchmark::State& state, const std::vector<const Payload*>& chosen) {
  state.SetLabel(chosen.size() == 1 ? chosen[0]->name : "all payloads");
}

void BM_ExpandVsLibmspack(benchmark::State& state) {
  const std::vector<const Payload*> chosen = Selected(state.range(0));
  Label(state, chosen);
  szdd_test::MspackExpander mspack;
  if (!mspack.ready()) {
    state.SkipWithError("libmspack failed its self-test");
    return;
  }
  Bytes theirs;
  Clock::duration ours{}, libmspack{};
  std::size_t bytes = 0;
  for (auto _ : state) {
    Clock::duration round{};
    for (const Payload* p : chosen) {
      const auto t0 = Clock::now();
      szdd::ExpandResult result = szdd::Expand(p->packed);
      const auto t1 = Clock::now();
      const bool theirsOk = mspack.Expand(p->packed, theirs);
      const auto t2 = Clock::now();
      benchmark::DoNotOptimize(result.data.data());
      if (!result.ok() || result.data != p->bytes || !theirsOk || theirs != p->bytes) {
        state.SkipWithError("an expansion did not give the payload back");
        return;
      }
      ours += t1 - t0;
      libmspack += t2 - t1;
      round += t2 - t0;
      bytes += p->bytes.size();
    }
    state.SetIterationTime(Seconds(round));
  }
  const double mb = static_cast<double>(bytes) / 1e6;
  state.counters["ours_MBps"] = mb / Seconds(ours);
  state.counters["libmspack_MBps"] = mb / Seconds(libmspack);
  state.counters["speedup"] = Seconds(libmspack) / Seconds(ours);
}

void BM_PackVsMscompress(benchmark::State& state) {
  const std::vector<const Payload*> chosen = Selected(state.range(0));
  Label(state, chosen);
  std::string pattern = (fs::temp_directory_path() / "szdd-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) {
    state.SkipWithError("no temporary folder");
    return;
  }
  const fs::path dir = pattern;
  Clock::duration ours{}, mscompress{};
  std::size_t bytes = 0, ourSize = 0, theirSize = 0;
  for (auto _ : state) {
    bytes = ourSize = theirSize = 0;
    Clock::duration round{};
    for (const Payload* p : chosen) {
      const fs::path original = dir / "input.bin";
      const fs::path compressed = dir / "input.bin_";
      fs::copy_file(p->path, original, fs::copy_options::overwrite_existing);
      fs::remove(compressed);
      const std::string command = "/usr/bin/mscompress '" + original.string() + "'";
      const auto t0 = Clock::now();
      const Bytes packed = szdd::Pack(p->bytes);
      const auto t1 = Clock::now();
      const int status = std::system(command.c_str());
      const auto t2 = Clock::now();
      if (status != 0 || szdd::Expand(packed).data != p->bytes) {
        state.SkipWithError("mscompress failed or our output did not expand back");
        break;
      }
      ours += t1 - t0;
      mscompress += t2 - t1;
      round += t2 - t0;
      bytes += p->bytes.size();
      ourSize += packed.size();
      theirSize += fixtures::ReadHostFile(compressed).size();
    }
    state.SetIterationTime(Seconds(round));
  }
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  if (theirSize == 0) return;
  const double mb = static_cast<double>(bytes) * static_cast<double>(state.iterations()) / 1e6;
  state.counters["ours_MBps"] = mb / Seconds(ours);
  state.counters["mscompress_MBps"] = mb / Seconds(mscompress);
  state.counters["speedup"] = Seconds(mscompress) / Seconds(ours);
  state.counters["ours_bytes"] = static_cast<double>(ourSize);
  state.counters["mscompress_bytes"] = static_cast<double>(theirSize);
  state.counters["size_ratio"] = static_cast<double>(ourSize) / static_cast<double>(theirSize);
}

}  // namespace

int main(int argc, char** argv) {
  std::string list = GLIMRA_DEFAULT_PAYLOAD_LIST;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--payloads=", 11) == 0) list = argv[i] + 11;
  }
  benchmark::Initialize(&argc, argv);
  if (!LoadPayloads(list)) {
    std::cerr << "build the win32 preset first, or pass --payloads=<its payloads/sources.txt>\n";
    return 1;
  }
  for (std::int64_t i = -1; i < static_cast<std::int64_t>(Payloads().size()); ++i) {
    benchmark::RegisterBenchmark("BM_ExpandVsLibmspack", BM_ExpandVsLibmspack)
        ->Arg(i)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
  }
  // mscompress runs as a child process, so wall time is the measure (process start included). It
  // manages about 1 MB/s: one round.
  for (std::int64_t i = -1; i < static_cast<std::int64_t>(Payloads().size()); ++i) {
    benchmark::RegisterBenchmark("BM_PackVsMscompress", BM_PackVsMscompress)
        ->Arg(i)
        ->UseManualTime()
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
