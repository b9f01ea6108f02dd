#include "tools/radiosim/report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace radiosim {

TimingStats Summarize(std::vector<double> v) {
  TimingStats s;
  s.count = v.size();
  if (v.empty()) return s;
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  s.median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
  // Nearest-rank percentile.
  size_t rank = static_cast<size_t>(std::ceil(0.99 * static_cast<double>(n)));
  s.p99 = v[std::clamp<size_t>(rank, 1, n) - 1];
  s.max = v.back();
  return s;
}

namespace {

std::string Str(const std::string& s) {
  std::string o = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"': o += "\\\""; break;
      case '\\': o += "\\\\"; break;
      case '\n': o += "\\n"; break;
      case '\r': o += "\\r"; break;
      case '\t': o += "\\t"; break;
      default:
        if (c < 0x20) {
          char b[8];
          std::snprintf(b, sizeof b, "\\u%04x", c);
          o += b;
        } else {
          o += static_cast<char>(c);
        }
    }
  }
  return o + "\"";
}

std::string Num(double v) {
  char b[32];
  std::snprintf(b, sizeof b, "%.3f", v);
  return b;
}

std::string Bool(bool v) { return v ? "true" : "false"; }

std::string Stats(const TimingStats& s) {
  return "{\"count\":" + std::to_string(s.count) + ",\"median\":" + Num(s.median) + ",\"p99\":" + Num(s.p99) +
         ",\"max\":" + Num(s.max) + "}";
}

std::string Hex16(uint16_t v) {
  char b[8];
  std::snprintf(b, sizeof b, "0x%04X", v);
  return b;
}

}  // namespace

std::string ToJson(const UpdateReport& r) {
  std::string o = "{";
  auto key = [&](const char* k) {
    if (o.size() > 1) o += ",";
    o += "\"";
    o += k;
    o += "\":";
  };
  key("update"); o += std::to_string(r.update);
  key("transport"); o += Str(r.transport);
  key("cpu"); o += Str(r.cpu);
  key("fault"); o += r.fault.empty() ? "null" : Str(r.fault);
  key("fault_applied"); o += Bool(r.faultApplied);
  key("completed"); o += Bool(r.completed);
  key("verified"); o += r.verified ? Bool(*r.verified) : "null";
  if (!r.firstDifference.empty()) { key("first_difference"); o += Str(r.firstDifference); }
  key("passed"); o += Bool(r.passed);
  key("end_reason"); o += Str(r.endReason);
  key("violations"); o += "[";
  for (size_t i = 0; i < r.violations.size(); ++i) {
    const Violation& v = r.violations[i];
    if (i) o += ",";
    o += "{\"offset\":" + std::to_string(v.offset) + ",\"state\":" + Str(v.state) + ",\"message\":" +
         Str(v.message) + ",\"dump\":" + Str(v.dump) + "}";
  }
  o += "]";
  key("frames"); o += std::to_string(r.frames);
  key("blank_blocks_skipped"); o += std::to_string(r.blankBlocksSkipped);
  key("blank_blocks_sent"); o += std::to_string(r.blankBlocksSent);
  key("first_address"); o += std::to_string(r.firstAddress);
  key("last_address"); o += std::to_string(r.lastAddress);
  key("preamble_bytes"); o += std::to_string(r.preambleBytes);
  key("boot_calls"); o += std::to_string(r.bootCalls);
  key("zero_bytes"); o += std::to_string(r.zeroBytes);
  key("flachchk_replies"); o += Str(r.flachChkReplies);
  key("writer_size"); o += std::to_string(r.writerSize);
  key("writer_bytes"); o += std::to_string(r.writerBytes);
  key("writer_bursts"); o += std::to_string(r.writerBursts);
  key("writer_sha256"); o += Str(r.writerSha256);
  key("sum"); o += r.sum ? Str(Hex16(*r.sum)) : "null";
  key("flash_sum"); o += Str(Hex16(r.flashSum));
  key("bit_rates"); o += "[";
  for (size_t i = 0; i < r.bitRates.size(); ++i) {
    if (i) o += ",";
    o += "{\"ms\":" + Num(r.bitRates[i].first) + ",\"baud\":" + std::to_string(r.bitRates[i].second) + "}";
  }
  o += "]";
  key("events_ms"); o += "{";
  for (size_t i = 0; i < r.events.size(); ++i) {
    if (i) o += ",";
    o += Str(r.events[i].first) + ":" + Num(r.events[i].second);
  }
  o += "}";
  key("answer_ms"); o += Stats(r.answerMs);
  key("next_frame_ms"); o += Stats(r.nextFrameMs);
  key("bytes_in"); o += std::to_string(r.bytesIn);
  key("bytes_out"); o += std::to_string(r.bytesOut);
  key("duration_ms"); o += Num(r.durationMs);
  key("started_unix_ms"); o += std::to_string(r.startedUnixMs);
  return o + "}";
}

}  // namespace radiosim
