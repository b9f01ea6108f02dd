#include "sequence/clsMainSeq.h"

#include <algorithm>
#include <thread>

#include "images.h"
#include "platform/clock.h"
#include "sequence/restore.h"

namespace {

constexpr int kReplyMs = 5000;
constexpr int kLongReplyMs = 31000;
constexpr int kBootCallMs = 50;
constexpr int kBitRatePauseMs = 100;
constexpr int kZeroRepeatMs = 50;
constexpr int kWriteSetupMs = 800;
constexpr int kPreambleMs = 500;
constexpr int kPreambleRepeatMs = 100;
constexpr int kFlushWaitMs = 100;
constexpr int kFlushMaxReads = 65535;
constexpr int kEnvelopePiece = 220;
constexpr int kEnvelopePauseMs = 100;
constexpr int kBlock = 128;
constexpr std::uint32_t kSlowBaud = 9600;
constexpr std::uint32_t kFastBaud = 38400;
constexpr const char* kPortSettings = "9600,N,8,1";

constexpr std::uint8_t kBitRateCommand[] = {0xFE, 0xFE, 0xEE, 0xEF, 0xE8, 0x00, 0x00,
                                            0x00, 0x00, 0x01, 0x30, 0x39, 0xFD};
constexpr std::uint8_t kBootCall[] = {'Q', 'A', 'R', 'N'};

constexpr std::uint8_t kAccepted = 0xFB;

// Milliseconds 'bytes' take on a wire at 'baud' (10 bits a byte).
double WireMs(std::int64_t bytes, std::uint32_t baud) {
  return static_cast<double>(bytes) * 10.0 * 1000.0 / baud;
}

}  // namespace

clsMainSeq::clsMainSeq()
    : stage_(StageNo(St::Opening)),
      writer_(profile::kImageWindow, profile::kSumSkipsWriterArea),
      firmware_(profile::kImageWindow, profile::kSumSkipsWriterArea),
      tcp_(profile::kTcpRetickMs),
      tcpPort_(static_cast<std::uint16_t>(profile::kTcpPortDefault)) {
  writer_.Clear(0xFF);
  firmware_.Clear(0xFF);
  packet_.SetChannelByte(0xFF);
}

clsMainSeq::~clsMainSeq() {
  comm_.Close();
  tcp_.Close();
}

void clsMainSeq::SetPortSel(int portSel) {
  // Without TCP/IP the serial link is the only one.
  portSel_ = profile::kHasTcp ? static_cast<std::uint8_t>(portSel) : 0;
}

// ---------------------------------------------------------------------------
// Queries and commands

bool clsMainSeq::CanStart() const { return At(St::Standby) || At(St::Ready); }

bool clsMainSeq::CanCancel() const {
  if (stage_ <= StageNo(St::Standby) || At(St::Ready)) return false;
  // The first block must be acknowledged before a run can be cancelled.
  if (profile::kCancelNeedsFirstBlock && At(St::RomW_Data) && writeAddress_ <= 0x7000) return false;
  return true;
}

void clsMainSeq::Start() { Go(St::Start); }

void clsMainSeq::Abort() {
  if (stage_ < StageNo(St::Standby)) return;
  Go(St::Standby);
  CloseLink();
  progress_ = 0;
}

bool clsMainSeq::IsLinkOpen() const { return comm_.IsOpen() || tcp_.IsConnected(); }

// ---------------------------------------------------------------------------
// Link facade

void clsMainSeq::CloseLink() {
  // Both links, whatever PortSel says now: the selection may have changed
  // since the link was opened (settings are taken over in Standby), and a
  // link left open would keep the port locked.
  if (comm_.IsOpen()) {
    comm_.SetDtrControl(0);
    comm_.SetRtsControl(0);
    comm_.Close();
  }
  if (tcp_.IsConnected()) tcp_.Close();
}

int clsMainSeq::SendRaw(const std::uint8_t* bytes, int n) {
  int result = 0;
  if (portSel_ == 0) {
    if (!comm_.IsOpen()) return 0;
    comm_.Write(bytes, n);
    result = n;
  } else if (portSel_ == 1) {
    result = tcp_.Write(bytes, n);
  } else {
    return 0;
  }
  if (fastRate_ || portSel_ != 0)
    bytesSent_ += n;
  else
    bytesSentSlow_ += n;
  return result;
}

int clsMainSeq::Send(const std::uint8_t* bytes, int n) {
  if (!wrapped_) return SendRaw(bytes, n);
  // Wrapped mode: channel 0 for the first Send of a run, 1 for the reset
  // request, 2 otherwise; the escaped bytes go out in envelope frames of at
  // most 220 bytes with a pause between them.
  std::uint8_t channel = 2;
  if (packet_.ChannelByte() == 0xFF)
    channel = 0;
  else if (At(St::Wake_Reset_Req))
    channel = 1;
  packet_.SetChannelByte(channel);
  escaped_.resize(static_cast<std::size_t>(2 * n + 1));
  const int total = clsPacket::Escape(bytes, n, escaped_.data());
  int offset = 0;
  while (total - offset > kEnvelopePiece) {
    packet_.BuildEnvelope(escaped_.data() + offset, kEnvelopePiece);
    SendRaw(packet_.Frame(), packet_.FrameLength());
    platform::SleepMs(kEnvelopePauseMs);
    imposedPauseMs_ += kEnvelopePauseMs;
    offset += kEnvelopePiece;
  }
  if (total - offset > 0) {
    packet_.BuildEnvelope(escaped_.data() + offset, total - offset);
    SendRaw(packet_.Frame(), packet_.FrameLength());
  }
  return n;
}

int clsMainSeq::Receive(std::uint8_t* buffer, int n) {
  int got = 0;
  if (portSel_ == 0)
    got = comm_.Read(buffer, n);
  else if (portSel_ == 1)
    got = tcp_.Read(buffer, n);
  if (got > 0) bytesReceived_ += got;
  return got < 0 ? 0 : got;
}

bool clsMainSeq::IsLinkHealthy() const {
  if (portSel_ == 0) return !comm_.WriteFailed();
  if (portSel_ == 1) return !tcp_.WriteFailed();
  return true;
}

int clsMainSeq::FlushInput() {
  if (!comm_.IsOpen()) return 0;
  clsTick wait;
  wait.Arm(kFlushWaitMs);
  while (wait.Remaining() != 0) std::this_thread::yield();
  imposedPauseMs_ += kFlushWaitMs;
  std::uint8_t b;
  for (int reads = 0; reads < kFlushMaxReads; ++reads)
    if (comm_.Read(&b, 1) <= 0) break;
  return 1;
}

// ---------------------------------------------------------------------------
// Step

void clsMainSeq::Fail(Er code) {
  error_ = ErrorNo(code);
  Go(St::Standby);
}

void clsMainSeq::CheckTimeout(Er code) {
  if (stage_ == entryStage_ && replyTimer_.Remaining() == 0) Fail(code);
}

int clsMainSeq::Step() {
  entryStage_ = stage_;
  RunStage();
  if (stage_ >= StageNo(St::Boot_Reset_On) && !IsLinkHealthy()) Fail(Er::Unknown);
  if (portSel_ == 1 && error_ != 0) tcp_.Close();
  return error_;
}

void clsMainSeq::RunStage() {
  const St name = StageName(stage_);
  switch (name) {
    case St::WaitEcho:
    case St::Opening:
    case St::Reset:
    case St::Standby:
    case St::RomFile_Open:
    case St::RomFile_Load:
    case St::RomFile_Ok:
    case St::Ready:
    case St::Start:
      RunIdle(name);
      return;
    default:
      break;
  }
  switch (name) {
    case St::CommOpen:
    case St::CommOpen_Ok:
    case St::IpOpen:
    case St::IpOpen_Ok:
    case St::Boot_Reset_On:
    case St::Boot_Mode_ON:
    case St::Boot_Reset_Off:
    case St::Boot_BaudChange_Cmd:
    case St::Boot_BaudChange:
    case St::Boot_FirmUp_Cmd:
    case St::Boot_StartDigital_Cmd:
    case St::Boot_Start_Cmd:
      RunBoot(name);
      return;
    case St::BitRate_00_First:
    case St::BitRate_00_Next:
    case St::Bitrate_Send55:
    case St::Bitrate_WaitAA:
    case St::FlachChk_Setup:
    case St::FlachChk:
    case St::Firm_SendAdr:
    case St::Firm_ReplyAdr_U:
    case St::Firm_ReplyAdr_L:
    case St::Firm_SendData:
    case St::Firm_WaitAA:
      RunUpload(name);
      return;
    case St::RomW_Setup:
    case St::RomW_Setup_Wait:
    case St::RomW_Setup_Hold:
    case St::RomW_BaudReq:
    case St::RomW_BaudWait:
    case St::RomW_ChkRig:
    case St::RomW_ChkRev:
    case St::RomW_Data:
    case St::RomW_Sum:
    case St::RomW_WrtRev:
    case St::RomW_WrtMat:
      RunRomWrite(name);
      return;
    case St::Wake_Reset_Req:
    case St::Wake_Reset_On:
    case St::Wake_Mode_Off:
    case St::Wake_Reset_Off:
    case St::Completed:
      RunFinish(name);
      return;
    default:
      // A stage this program does not run: never left in place silently.
      Fail(Er::Unknown);
      return;
  }
}

// ---------------------------------------------------------------------------
// Idle stages

void clsMainSeq::RunIdle(St name) {
  switch (name) {
    case St::WaitEcho:
      break;
    case St::Opening:
      Go(St::Reset);
      break;
    case St::Reset: {
      CloseLink();
      progress_ = 0;
      const bool restored = RestoreImages(BuiltInImages(), profile::kHasProductCode,
                                          profile::kHasWriter, writer_, firmware_);
      if (!restored || !IsImagePlaced(firmware_, profile::kPlacementMin)) RomCheckFailed();
      Go(St::Standby);
      break;
    }
    case St::Standby:
      CloseLink();
      Go(St::Ready);
      break;
    case St::Ready:
      CloseLink();
      progress_ = 0;
      break;
    case St::Start:
      CloseLink();
      progress_ = 0;
      packet_.SetChannelByte(0xFF);
      fastRate_ = false;
      if constexpr (!stage_table::kRunStages) {
        // This program's own run stages are not built yet: end the run
        // without claiming success.
        Fail(Er::Unknown);
        break;
      }
      Go(portSel_ == 0 || !profile::kHasTcp ? St::CommOpen : St::IpOpen);
      break;
    default:  // the file stages: nothing leads into them
      break;
  }
}

// ---------------------------------------------------------------------------
// Link opening and boot-mode entry

void clsMainSeq::FirmUpCommand(bool tcp, std::vector<std::uint8_t>& out) const {
  const std::uint32_t code = ProductCodeWord(BuiltInImages());
  const std::uint8_t serial[] = {0xFE, 0xFE, 0xEE, 0xEF, 0xE8,
                                 static_cast<std::uint8_t>(code >> 8),
                                 static_cast<std::uint8_t>(code),
                                 0x00, 0x00, 0xF0, 0x30, 0x30, 0xFD};
  out.clear();
  if (!tcp) {
    out.assign(std::begin(serial), std::end(serial));
    return;
  }
  // Network form: FE 20, the serial form with F0 and FA..FF escaped as
  // FF + low four bits, FD.
  out.push_back(0xFE);
  out.push_back(0x20);
  for (std::uint8_t b : serial) {
    if (b == 0xF0 || b >= 0xFA) {
      out.push_back(0xFF);
      out.push_back(b & 0x0F);
    } else {
      out.push_back(b);
    }
  }
  out.push_back(0xFD);
}

void clsMainSeq::RunBoot(St name) {
  switch (name) {
    case St::CommOpen:
      comm_.SetDtrControl(0);
      comm_.SetRtsControl(0);
      if (!comm_.Open(comPort_, kPortSettings)) {
        Fail(Er::ComOpen);
        return;
      }
      FlushInput();
      comm_.SetBaudRate(kSlowBaud);
      FlushInput();
      Go(St::CommOpen_Ok);
      return;
    case St::CommOpen_Ok:
      if (shortTimer_.Remaining() == 0) {
        replyTimer_.Arm(kReplyMs);
        Go(St::Boot_BaudChange_Cmd);
      }
      return;
    case St::IpOpen:
      if (portSel_ != 1) {
        Go(St::Boot_Reset_On);
        return;
      }
      if (!tcp_.Connect(tcpPort_, tcpIp_.c_str())) {
        Fail(Er::IPConnect);
        return;
      }
      // No notifications: this only makes the socket non-blocking.
      tcp_.AsyncSelect(this, 0, 0);
      Go(St::IpOpen_Ok);
      return;
    case St::IpOpen_Ok:
      if (portSel_ != 1) {
        Go(St::Boot_Reset_On);
        return;
      }
      if (shortTimer_.Remaining() == 0) {
        replyTimer_.Arm(kReplyMs);
        Go(St::Boot_FirmUp_Cmd);
      }
      return;
    case St::Boot_Reset_On:
      if (!comm_.SetRtsControl(1)) return Fail(Er::Boot);
      Go(St::Boot_Mode_ON);
      return;
    case St::Boot_Mode_ON:
      if (!comm_.SetDtrControl(1)) return Fail(Er::Boot);
      Go(St::Boot_Reset_Off);
      return;
    case St::Boot_Reset_Off:
      if (!comm_.SetRtsControl(0)) return Fail(Er::Boot);
      Go(St::BitRate_00_First);
      return;
    case St::Boot_BaudChange_Cmd:
      comm_.Write(kBitRateCommand, sizeof kBitRateCommand);
      bytesSentSlow_ += sizeof kBitRateCommand;
      shortTimer_.Arm(kBitRatePauseMs);
      imposedPauseMs_ += kBitRatePauseMs;
      Go(St::Boot_BaudChange);
      return;
    case St::Boot_BaudChange:
      if (shortTimer_.Remaining() == 0) {
        comm_.SetBaudRate(kFastBaud);
        fastRate_ = true;
        FlushInput();
        Go(St::Boot_FirmUp_Cmd);
      }
      return;
    case St::Boot_FirmUp_Cmd:
      if (shortTimer_.Remaining() == 0) {
        if (portSel_ == 0 || portSel_ == 1) {
          std::vector<std::uint8_t> command;
          FirmUpCommand(portSel_ == 1, command);
          Send(command.data(), static_cast<int>(command.size()));
        }
        platform::SleepMs(1);
        Go(St::Boot_StartDigital_Cmd);
      }
      return;
    case St::Boot_StartDigital_Cmd:
      Go(St::Boot_Start_Cmd);
      return;
    case St::Boot_Start_Cmd: {
      std::uint8_t b;
      if (ReceiveByte(b) == 1) {
        if (b == 0x55) {
          Go(St::BitRate_00_First);
          return;
        }
      } else if (shortTimer_.Remaining() == 0) {
        Send(kBootCall, sizeof kBootCall);
        shortTimer_.Arm(kBootCallMs);
      }
      CheckTimeout(Er::Boot);
      return;
    }
    default:
      return;
  }
}

// ---------------------------------------------------------------------------
// Bit-rate adjustment, FlachChk and the writer upload

void clsMainSeq::RunUpload(St name) {
  const int writerSize = writer_.Size();
  switch (name) {
    case St::BitRate_00_First: {
      replyTimer_.Arm(kReplyMs);
      std::uint8_t b;
      for (int reads = 0; reads < kFlushMaxReads && ReceiveByte(b) == 1; ++reads) {
      }
      const std::uint8_t zero = 0x00;
      Send(&zero, 1);
      shortTimer_.Arm(kZeroRepeatMs);
      Go(St::BitRate_00_Next);
      return;
    }
    case St::BitRate_00_Next: {
      if (portSel_ != 0 || comm_.Pending() == 0) {
        std::uint8_t b;
        if (ReceiveByte(b) == 1) {
          if (b == 0x00) {
            Go(St::Bitrate_Send55);
            return;
          }
        } else if (shortTimer_.Remaining() == 0) {
          const std::uint8_t zero = 0x00;
          Send(&zero, 1);
          shortTimer_.Arm(kZeroRepeatMs);
        }
      }
      CheckTimeout(Er::Bitrate);
      return;
    }
    case St::Bitrate_Send55: {
      const std::uint8_t b = 0x55;
      Send(&b, 1);
      replyTimer_.Arm(kLongReplyMs);
      Go(St::Bitrate_WaitAA);
      return;
    }
    case St::Bitrate_WaitAA: {
      std::uint8_t b;
      if (ReceiveByte(b) == 1) {
        if (b == 0xAA) {
          Go(St::FlachChk_Setup);
          return;
        }
        return Fail(Er::Bitrate);
      }
      CheckTimeout(Er::Bitrate);
      return;
    }
    case St::FlachChk_Setup:
      checkCountdown_ = 3;
      waiting_ = 0;
      Go(St::FlachChk);
      return;
    case St::FlachChk:
      StepFlachChk();
      return;
    case St::Firm_SendAdr: {
      replyTimer_.Arm(kReplyMs);
      uploadSent_ = 0;
      uploadConfirmed_ = 0;
      const std::uint8_t size[2] = {static_cast<std::uint8_t>(writerSize >> 8),
                                    static_cast<std::uint8_t>(writerSize)};
      Send(size, 2);
      Go(St::Firm_ReplyAdr_U);
      return;
    }
    case St::Firm_ReplyAdr_U:
    case St::Firm_ReplyAdr_L: {
      const bool upper = name == St::Firm_ReplyAdr_U;
      const std::uint8_t expected =
          static_cast<std::uint8_t>(upper ? writerSize >> 8 : writerSize);
      std::uint8_t b;
      if (ReceiveByte(b) == 1) {
        if (b != expected) return Fail(Er::FirmUpload);
        Go(upper ? St::Firm_ReplyAdr_L : St::Firm_SendData);
        return;
      }
      CheckTimeout(Er::FirmUpload);
      return;
    }
    case St::Firm_SendData:
      StepSendData();
      return;
    case St::Firm_WaitAA: {
      progress_ = 255;
      std::uint8_t b;
      if (ReceiveByte(b) == 1) {
        if (b != 0xAA) return Fail(Er::FirmUpload);
        Go(St::RomW_Setup);
        return;
      }
      CheckTimeout(Er::FirmUpload);
      return;
    }
    default:
      return;
  }
}

void clsMainSeq::StepFlachChk() {
  std::uint8_t b;
  if (waiting_ && ReceiveByte(b) == 1) {
    const int shift = 8 * checkCountdown_;
    checkReply_ = (checkReply_ & ~(0xFFu << shift)) | (static_cast<std::uint32_t>(b) << shift);
    if (checkCountdown_ == 0) {
      waiting_ = 0;
      Go(St::Firm_SendAdr);
      return;
    }
    --checkCountdown_;
    waiting_ = 0;
    replyTimer_.Arm(kReplyMs);
  }
  if (!waiting_) {
    const std::uint8_t query = static_cast<std::uint8_t>(0x41 + checkCountdown_);
    Send(&query, 1);
    waiting_ = 1;
  }
  CheckTimeout(Er::Product);
}

void clsMainSeq::StepSendData() {
  const int size = writer_.Size();
  if (uploadConfirmed_ == size) {
    replyTimer_.Arm(kLongReplyMs);
    Go(St::Firm_WaitAA);
    return;
  }
  uploadConfirmed_ = uploadSent_;
  if (shortTimer_.Remaining() == 0) {
    const bool serial = portSel_ == 0;
    const int limit = serial ? 127 : 63;
    const int pause = serial ? 40 : 20;
    replyTimer_.Arm(kReplyMs);
    // The link can take bytes: the serial link while less than half of its
    // output quota is in use, the TCP link while it has not failed.
    bool canTake = false;
    if (serial)
      canTake = comm_.Pending() < comm_.Room() && !comm_.WriteFailed();
    else if (portSel_ == 1)
      canTake = !tcp_.WriteFailed();
    int count = 0;
    if (canTake) count = std::min(limit, size - uploadSent_);
    std::uint8_t burst[127];
    if (count > 0) {
      writer_.CopyOut(writer_.FirstAddress() + uploadSent_, count, burst);
      uploadSent_ += count;
      progress_ = 255 * uploadSent_ / size;
    }
    Send(burst, count);
    shortTimer_.Arm(static_cast<std::uint32_t>(pause));
    // Only the part of the pause the burst itself does not fill on the wire.
    imposedPauseMs_ += static_cast<std::int64_t>(
        std::max(0.0, pause - WireMs(count, kFastBaud)));
  }
  progress_ = size > 0 ? 255 * uploadConfirmed_ / size : 0;
  CheckTimeout(Er::FirmUpload);
}

// ---------------------------------------------------------------------------
// ROM writing and verification

int clsMainSeq::CountDataBlocks() const {
  // Every block RomW_Data sends: the non-blank blocks from address 0 up to
  // and including the one that holds the highest address.
  const std::int32_t last = firmware_.LastAddress();
  int count = 0;
  for (std::int32_t a = 0; a >= 0 && a <= last; a += kBlock)
    if (!firmware_.IsBlank(a, kBlock)) ++count;
  return count;
}

void clsMainSeq::SendFrame() {
  const int n = packet_.FrameLength();
  sendBuffer_.assign(packet_.Frame(), packet_.Frame() + n);
}

void clsMainSeq::RunRomWrite(St name) {
  switch (name) {
    case St::RomW_Setup:
      replyTimer_.Arm(kReplyMs);
      shortTimer_.Arm(kWriteSetupMs);
      imposedPauseMs_ += kWriteSetupMs;
      blocksTotal_ = CountDataBlocks();
      blocksWritten_ = 0;
      if (portSel_ == 0) comm_.SetBaudRate(kFastBaud);
      FlushInput();
      writeAddress_ = firmware_.FirstAddress() & ~(kBlock - 1);
      if (writeAddress_ < 0) writeAddress_ = 0;
      waiting_ = 0;
      Go(St::RomW_Setup_Wait);
      return;
    case St::RomW_Setup_Wait:
      if (shortTimer_.Remaining() == 0) {
        replyTimer_.Arm(kReplyMs);
        shortTimer_.Arm(kPreambleMs);
        imposedPauseMs_ += kPreambleMs;
        repeatTimer_.Disarm();
        Go(St::RomW_Setup_Hold);
      }
      return;
    case St::RomW_Setup_Hold:
      if (shortTimer_.Remaining() != 0) {
        if (repeatTimer_.Remaining() == 0) {
          repeatTimer_.Arm(kPreambleRepeatMs);
          const std::uint8_t b = 0xFE;
          Send(&b, 1);
        }
        return;
      }
      replyTimer_.Arm(kReplyMs);
      Go(St::RomW_BaudReq);
      return;
    case St::RomW_BaudReq:
      Go(St::RomW_BaudWait);
      return;
    case St::RomW_BaudWait:
      Go(St::RomW_ChkRig);
      return;
    case St::RomW_ChkRig:
      Go(St::RomW_ChkRev);
      return;
    case St::RomW_ChkRev:
      Go(St::RomW_Data);
      return;
    case St::RomW_Data:
      StepRomData();
      return;
    case St::RomW_Sum:
      StepRomSum();
      return;
    case St::RomW_WrtRev:
      Go(St::RomW_WrtMat);
      return;
    case St::RomW_WrtMat:
      Go(St::Wake_Reset_Req);
      return;
    default:
      return;
  }
}

void clsMainSeq::StepRomData() {
  const std::int32_t last = firmware_.LastAddress();
  bool refused = false;
  std::uint8_t b;
  if (waiting_ && ReceiveByte(b) == 1) {
    if (b == kAccepted) {
      waiting_ = 0;
      writeAddress_ += kBlock;
      ++blocksWritten_;
      progress_ = blocksTotal_ > 0 ? std::min(255, 255 * blocksWritten_ / blocksTotal_) : 255;
      replyTimer_.Arm(kReplyMs);
    } else {
      refused = true;
    }
  }
  if (!refused && !waiting_) {
    while (!waiting_ && writeAddress_ <= last && !comm_.WriteFailed()) {
      if (firmware_.IsBlank(writeAddress_, kBlock)) {
        writeAddress_ += kBlock;
        continue;
      }
      firmware_.CopyOut(writeAddress_, kBlock, block_);
      packet_.BuildData(block_, writeAddress_, kBlock);
      SendFrame();
      Send(sendBuffer_.data(), static_cast<int>(sendBuffer_.size()));
      waiting_ = 1;
    }
  }
  if (!refused && !waiting_ && writeAddress_ > last) {
    Go(St::RomW_Sum);
    return;
  }
  if (!refused && stage_ == entryStage_ && replyTimer_.Remaining() == 0) refused = true;
  if (refused) Fail(Er::RomData);
}

void clsMainSeq::StepRomSum() {
  std::uint8_t b;
  if (waiting_ && ReceiveByte(b) == 1) {
    if (b != kAccepted) return Fail(Er::RomData);
    waiting_ = 0;
    Go(St::RomW_WrtRev);
    return;
  }
  if (!waiting_) {
    packet_.BuildSum(ImageSum());
    SendFrame();
    Send(sendBuffer_.data(), static_cast<int>(sendBuffer_.size()));
    waiting_ = 1;
  }
  CheckTimeout(Er::RomData);
}

// ---------------------------------------------------------------------------
// Disconnect and completion

void clsMainSeq::RunFinish(St name) {
  switch (name) {
    case St::Wake_Reset_Req:
      packet_.BuildSum(ImageSum());
      SendFrame();
      sendBuffer_[2] = clsPacket::kCmdReset;
      Send(sendBuffer_.data(), static_cast<int>(sendBuffer_.size()));
      Go(St::Completed);
      return;
    case St::Wake_Reset_On:
      if (!comm_.SetRtsControl(1)) return Fail(Er::WakeAgain);
      Go(St::Wake_Mode_Off);
      return;
    case St::Wake_Mode_Off:
      if (!comm_.SetDtrControl(0)) return Fail(Er::WakeAgain);
      Go(St::Wake_Reset_Off);
      return;
    case St::Wake_Reset_Off:
      if (!comm_.SetRtsControl(0)) return Fail(Er::WakeAgain);
      Go(St::Completed);
      return;
    case St::Completed:
      Go(St::Ready);
      unitCount_ = (unitCount_ + 1) % 999999;
      if (portSel_ == 1) tcp_.Close();
      return;
    default:
      return;
  }
}
