// zbupdate_<program>: runs whole updates from the command line with the
// headless driver, and prints one line of figures per run. Meant for
// scripted updates and for the benchmark (bench/run_bench.sh).
//
//   zbupdate_ZB7152K [--ini FILE] [--com N] [--tcp IP PORT] [--runs N]
//                    [--limit MS] [--pause MS]
//
// --ini names the INI file whose section Ports maps COM<N> to a device path
// (for example a pseudo-terminal); --tcp selects the TCP link. Exit code 0
// when every run completed, 1 otherwise.
#include <QCoreApplication>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "platform/program_path.h"
#include "sequence/driver.h"

namespace {

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const std::size_t i = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
  return v[std::min(i, v.size() - 1)];
}

long PeakRssKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  return -1;
}

int Usage() {
  std::fprintf(stderr,
               "usage: zbupdate [--ini FILE] [--com N] [--tcp IP PORT] [--runs N] [--limit MS] "
               "[--pause MS]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  clsSeqDriver::Settings settings;
  int runs = 1;
  int limitMs = 120000;
  unsigned pauseMs = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    const char* v = nullptr;
    if (a == "--ini" && (v = next())) {
      platform::SetProgramIniPath(v);
    } else if (a == "--com" && (v = next())) {
      settings.portSel = 0;
      settings.comPort = std::atoi(v);
    } else if (a == "--tcp" && i + 2 < argc) {
      settings.portSel = 1;
      settings.tcpIp = argv[++i];
      settings.tcpPort = static_cast<std::uint32_t>(std::atoi(argv[++i]));
    } else if (a == "--runs" && (v = next())) {
      runs = std::atoi(v);
    } else if (a == "--limit" && (v = next())) {
      limitMs = std::atoi(v);
    } else if (a == "--pause" && (v = next())) {
      pauseMs = static_cast<unsigned>(std::atoi(v));
    } else {
      return Usage();
    }
  }

  clsMainSeq seq;
  clsSeqDriver driver(seq);
  driver.SetSettings(settings);
  driver.SetPauseMs(pauseMs);
  bool allDone = true;
  std::printf("%-4s %-6s %9s %7s %9s %9s %10s %10s %9s %9s %9s\n", "run", "link", "total_ms",
              "blocks", "blk_med", "blk_p99", "sent_slow", "sent_fast", "received", "pause_ms",
              "error");
  for (int r = 1; r <= runs; ++r) {
    const auto slow0 = seq.BytesSentSlow();
    const auto fast0 = seq.BytesSent();
    const auto rx0 = seq.BytesReceived();
    const auto pause0 = seq.ImposedPauseMs();
    const clsSeqDriver::RunResult res = driver.Run(limitMs);
    const bool ok = res.completed && res.error == 0;
    allDone = allDone && ok;
    std::printf("%-4d %-6s %9.1f %7zu %9.3f %9.3f %10lld %10lld %9lld %9lld %9d%s\n", r,
                settings.portSel == 1 ? "tcp" : "serial", res.ms, res.blockMs.size(),
                Percentile(res.blockMs, 0.5), Percentile(res.blockMs, 0.99),
                static_cast<long long>(seq.BytesSentSlow() - slow0),
                static_cast<long long>(seq.BytesSent() - fast0),
                static_cast<long long>(seq.BytesReceived() - rx0),
                static_cast<long long>(seq.ImposedPauseMs() - pause0), res.error,
                res.timedOut ? " (time limit)" : "");
    std::fflush(stdout);
    if (!ok) break;
  }
  std::printf("units %d  VmHWM_kB %ld\n", seq.GetUnitCount(), PeakRssKb());
  return allDone ? 0 : 1;
}
