// clsMainSeq: the update sequencer. One object runs a whole firmware update
// as a numbered state machine of stages. It never runs by itself and never
// blocks for long: the window's tick (or the headless driver) calls Step()
// about once a millisecond, and each step runs the current stage once, as a
// short non-blocking piece that polls the links and millisecond countdowns.
//
// Compiled once per program: the stage and error numbers come from the
// program's stage_table.h, the limits from its profile.h. The front-panel
// program has no TCP link: its link member is a stub without socket calls.
#pragma once
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "image/clsMotS.h"
#include "links/clsTick.h"
#include "links/cmcComm.h"
#include "links/cmcTcpClient.h"
#include "profile.h"
#include "sequence/clsPacket.h"
#include "sequence/stage_ids.h"
#include "stage_table.h"

// Stand-in for the TCP link in a program without TCP/IP: the same calls,
// never connected, no socket.
class NoTcpLink {
 public:
  explicit NoTcpLink(int /*retickMs*/ = 0) {}
  bool Connect(std::uint16_t, const char*) { return false; }
  void AsyncSelect(void*, unsigned, long) {}
  void Close() {}
  bool IsConnected() const { return false; }
  bool WriteFailed() const { return false; }
  int Pending() const { return 0; }
  int Write(const void*, int) { return 0; }
  int Read(void*, int) { return 0; }
};

using SeqTcpLink = std::conditional_t<profile::kHasTcp, cmcTcpClient, NoTcpLink>;

// Stage and error numbers of this program.
constexpr int StageNo(St name) { return NumberIn(stage_table::kStages, name); }
constexpr int ErrorNo(Er name) { return NumberIn(stage_table::kErrors, name); }
constexpr St StageName(int number) {
  return number >= 0 && number < static_cast<int>(std::size(stage_table::kStages))
             ? stage_table::kStages[number]
             : St::None_;
}
static_assert(std::size(stage_table::kStages) == profile::kStageCount);
static_assert(std::size(stage_table::kErrors) == profile::kErrorCount);
static_assert(StageNo(St::Standby) == profile::kStageStandby);
static_assert(StageNo(St::Ready) == profile::kStageReady);

struct SeqTestAccess;

class clsMainSeq {
 public:
  clsMainSeq();
  ~clsMainSeq();
  clsMainSeq(const clsMainSeq&) = delete;
  clsMainSeq& operator=(const clsMainSeq&) = delete;

  // One step: run the current stage once, check the link, return the error
  // code (it stays set until ClearError).
  int Step();
  int GetStage() const { return stage_; }
  int GetProgress() const { return progress_; }
  int GetUnitCount() const { return unitCount_; }
  void ClearError() { error_ = 0; }
  int GetError() const { return error_; }

  // Settings; the stage update pushes them while the stage is at most Ready.
  void SetPortSel(int portSel);
  void SetComPort(int port) { comPort_ = port; }
  void SetTcpIp(const std::string& address) { tcpIp_ = address; }
  void SetTcpPort(std::uint32_t port) { tcpPort_ = static_cast<std::uint16_t>(port); }
  int GetPortSel() const { return portSel_; }

  bool CanStart() const;
  bool CanCancel() const;
  void Start();
  void Cancel() { Abort(); }
  void Abort();

  const clsMotS& FirmwareImage() const { return firmware_; }
  const clsMotS& WriterImage() const { return writer_; }

  // Link facade used by the stages.
  void CloseLink();
  int SendRaw(const std::uint8_t* bytes, int n);
  int Send(const std::uint8_t* bytes, int n);
  int Receive(std::uint8_t* buffer, int n);
  bool IsLinkHealthy() const;
  int FlushInput();

  // Run figures (for the driver's statistics and the benchmark).
  int GetBlocksWritten() const { return blocksWritten_; }
  int GetBlocksTotal() const { return blocksTotal_; }
  std::int32_t GetWriteAddress() const { return writeAddress_; }
  bool IsLinkOpen() const;
  // Bytes put on the link and taken from it since construction; the bytes
  // sent before the switch to 38400 bit/s are counted apart.
  std::int64_t BytesSentSlow() const { return bytesSentSlow_; }
  std::int64_t BytesSent() const { return bytesSent_; }
  std::int64_t BytesReceived() const { return bytesReceived_; }
  // Milliseconds the protocol itself pauses inside steps and between them
  // (flushes, bit-rate pause, burst pauses, write set-up), for the benchmark.
  std::int64_t ImposedPauseMs() const { return imposedPauseMs_; }

  // 16-bit sum sent to the writer (over 0..profile::kImageSumLast).
  std::uint16_t ImageSum() const { return firmware_.Sum(0, profile::kImageSumLast); }

 private:
  friend struct SeqTestAccess;

  // A name this program does not number ends the run (error Unknown).
  void Go(St name) {
    const int n = StageNo(name);
    if (n < 0) error_ = ErrorNo(Er::Unknown);
    stage_ = n >= 0 ? n : StageNo(St::Standby);
  }
  bool At(St name) const { return stage_ == StageNo(name); }
  void Fail(Er code);
  // The timeout check at the end of a stage.
  void CheckTimeout(Er code);
  void RunStage();
  void RunIdle(St name);
  void RunBoot(St name);
  void RunUpload(St name);
  void RunRomWrite(St name);
  void RunFinish(St name);
  void StepFlachChk();
  void StepSendData();
  void StepRomData();
  void StepRomSum();
  void SendFrame();  // copies the packet's frame into the send buffer, Send
  int CountDataBlocks() const;
  void FirmUpCommand(bool tcp, std::vector<std::uint8_t>& out) const;
  int ReceiveByte(std::uint8_t& b) { return Receive(&b, 1); }

  // Fields in the order of the sequencer's description.
  int stage_;
  cmcComm comm_;
  clsMotS writer_;
  clsMotS firmware_;
  clsPacket packet_;
  SeqTcpLink tcp_;
  std::uint8_t portSel_ = 0;
  int comPort_ = 1;
  std::string tcpIp_ = "192.168.0.10";
  std::uint16_t tcpPort_ = 41020;
  int error_ = 0;
  int unitCount_ = 0;
  clsTick replyTimer_;
  clsTick shortTimer_;
  clsTick repeatTimer_;
  int uploadSent_ = 0;
  int uploadConfirmed_ = 0;
  std::int32_t writeAddress_ = 0;
  int waiting_ = 0;
  std::uint8_t block_[128] = {};
  std::vector<std::uint8_t> sendBuffer_;
  int progress_ = 0;
  int checkCountdown_ = 0;
  std::uint32_t checkReply_ = 0;
  int blocksWritten_ = 0;
  int blocksTotal_ = 0;

  // Not part of the protocol state.
  int entryStage_ = 0;
  bool wrapped_ = profile::kWrappedSend;
  std::vector<std::uint8_t> escaped_;
  std::int64_t bytesSentSlow_ = 0;
  std::int64_t bytesSent_ = 0;
  std::int64_t bytesReceived_ = 0;
  std::int64_t imposedPauseMs_ = 0;
  bool fastRate_ = false;
};
