// Rules of the sequencer that a whole run cannot pin down, checked on small
// fixtures: the idle stages and their numbers, CanStart/CanCancel, the
// wrapped sending, the writer bursts, the FlachChk byte order, the unit
// counter wrap. Compiled once per program.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/clock.h"
#include "seq_fixture.h"

namespace {

using A = SeqTestAccess;

TEST(SeqIdle, StartsUpToReadyInThreeStepsAndOnlyIdleStagesCanStart) {
  clsMainSeq seq;
  EXPECT_EQ(seq.GetStage(), StageNo(St::Opening));
  EXPECT_FALSE(seq.CanStart());
  std::vector<int> seen;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(seq.Step(), 0);
    seen.push_back(seq.GetStage());
  }
  EXPECT_EQ(seen, (std::vector<int>{StageNo(St::Reset), profile::kStageStandby, profile::kStageReady}));
  EXPECT_EQ(seq.GetProgress(), 0);
  EXPECT_TRUE(seq.CanStart());
  EXPECT_FALSE(seq.CanCancel());
  EXPECT_GT(seq.FirmwareImage().Size(), 0);
  EXPECT_EQ(seq.WriterImage().Size() > 0, profile::kHasWriter);

  // Every stage but Standby and Ready refuses a start.
  for (int s = 0; s < profile::kStageCount; ++s) {
    A::Stage(seq) = s;
    EXPECT_EQ(seq.CanStart(), s == profile::kStageStandby || s == profile::kStageReady) << s;
  }
  A::Stage(seq) = profile::kStageReady;
  seq.Start();
  EXPECT_EQ(seq.GetStage(), StageNo(St::Start));
  EXPECT_TRUE(seq.CanCancel());
}

TEST(SeqIdle, AbortBelowStandbyDoesNothingAndFromARunGoesToStandby) {
  clsMainSeq seq;
  seq.Abort();
  EXPECT_EQ(seq.GetStage(), StageNo(St::Opening));
  StepToReady(seq);
  A::Stage(seq) = StageNo(St::Boot_Start_Cmd);
  seq.Abort();
  EXPECT_EQ(seq.GetStage(), profile::kStageStandby);
  EXPECT_EQ(seq.GetProgress(), 0);
}

TEST(SeqCancel, InRomDataOnlyOnceTheFirstBlockIsAcknowledged) {
  clsMainSeq seq;
  StepToReady(seq);
  const int romData = StageNo(St::RomW_Data);
  ASSERT_GE(romData, 0);
  A::Stage(seq) = romData;
  struct Case {
    std::int32_t address;
    bool cancel;
  };
  const bool rule = profile::kCancelNeedsFirstBlock;
  for (const Case c : {Case{0x0000, !rule}, Case{0x6F80, !rule}, Case{0x7000, !rule},
                       Case{0x7080, true}, Case{0x40000, true}}) {
    A::WriteAddress(seq) = c.address;
    EXPECT_EQ(seq.CanCancel(), c.cancel) << std::hex << c.address;
  }
  // Other run stages are cancellable whatever the write address.
  A::WriteAddress(seq) = 0x7000;
  A::Stage(seq) = StageNo(St::RomW_Sum);
  EXPECT_TRUE(seq.CanCancel());
}

TEST(SeqFinish, UnitCounterWrapsFrom999998ToZero) {
  clsMainSeq seq;
  StepToReady(seq);
  struct Case {
    int before, after;
  };
  for (const Case c : {Case{0, 1}, Case{999997, 999998}, Case{999998, 0}}) {
    A::UnitCount(seq) = c.before;
    A::Stage(seq) = StageNo(St::Completed);
    EXPECT_EQ(seq.Step(), 0);
    EXPECT_EQ(seq.GetStage(), profile::kStageReady);
    EXPECT_EQ(seq.GetUnitCount(), c.after);
  }
}

// Builds without their run stages end a start safely: one error, Standby,
// then Ready with nothing open. Builds with them get past Start.
TEST(SeqRun, StartEitherRunsOrEndsWithOneErrorBackInStandby) {
  clsMainSeq seq;
  StepToReady(seq);
  seq.SetComPort(250);  // nothing there: the main-CPU run fails to open it
  seq.Start();
  std::vector<int> errors;
  for (int i = 0; i < 4; ++i) {
    const int e = seq.Step();
    if (e != 0) errors.push_back(e);
    seq.ClearError();
  }
  ASSERT_EQ(errors.size(), 1u);
  if (stage_table::kRunStages)
    EXPECT_EQ(errors[0], ErrorNo(Er::ComOpen));
  else
    EXPECT_EQ(errors[0], ErrorNo(Er::Unknown));
  EXPECT_EQ(seq.GetStage(), profile::kStageReady);
  EXPECT_FALSE(seq.IsLinkOpen());
}

TEST(SeqRun, PortSelOtherThanSerialOrTcpEndsWithBoot) {
  if (!profile::kHasTcp || !stage_table::kRunStages) GTEST_SKIP() << "no PortSel choice here";
  for (int sel : {2, 255}) {
    clsMainSeq seq;
    StepToReady(seq);
    seq.SetPortSel(sel);
    seq.Start();
    std::vector<int> errors;
    std::vector<int> stages;
    for (int i = 0; i < 6; ++i) {
      const int e = seq.Step();
      stages.push_back(seq.GetStage());
      if (e != 0) errors.push_back(e);
      seq.ClearError();
    }
    EXPECT_EQ(errors, std::vector<int>{ErrorNo(Er::Boot)}) << sel;
    EXPECT_EQ(stages[0], StageNo(St::IpOpen));
    EXPECT_EQ(stages[1], StageNo(St::Boot_Reset_On));
    EXPECT_EQ(seq.GetStage(), profile::kStageReady);
  }
}

// A serial link whose far end vanishes once the boot entry is under way:
// the step whose write fails ends the run with Unknown and Standby at once,
// and the next step leaves the link closed in Ready.
TEST(SeqRun, FailedLinkWriteAfterBootEntryEndsTheRunInThatStep) {
  const int resetOn = StageNo(St::Boot_Reset_On);
  const int baudCmd = StageNo(St::Boot_BaudChange_Cmd);
  if (!stage_table::kRunStages || resetOn < 0 || baudCmd <= resetOn) GTEST_SKIP() << "no serial boot entry here";
  TempIni ini;
  PtyPair pty;
  ASSERT_TRUE(pty.Ok());
  ini.MapCom(1, pty.SlavePath());
  clsMainSeq seq;
  StepToReady(seq);
  seq.SetPortSel(0);
  seq.SetComPort(1);
  seq.Start();
  // Up to the stage that sends the bit rate command; the link is healthy so far.
  for (int i = 0; i < 2000 && seq.GetStage() != baudCmd; ++i) {
    ASSERT_EQ(seq.Step(), 0) << "stage " << seq.GetStage();
    Pump();
    pty.Take();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_EQ(seq.GetStage(), baudCmd);
  ASSERT_TRUE(seq.IsLinkOpen());
  ASSERT_FALSE(A::Comm(seq).WriteFailed());

  pty.CloseMaster();
  EXPECT_EQ(seq.Step(), ErrorNo(Er::Unknown));
  EXPECT_TRUE(A::Comm(seq).WriteFailed());
  EXPECT_EQ(seq.GetStage(), profile::kStageStandby);
  seq.ClearError();
  EXPECT_EQ(seq.Step(), 0);
  EXPECT_EQ(seq.GetStage(), profile::kStageReady);
  EXPECT_FALSE(seq.IsLinkOpen());
}

// Wrapped sending on a pseudo-terminal: channel 0 for the first Send of a
// run, 1 in the reset request stage, 2 otherwise; escaped bytes cut into
// envelope frames of 220 with a 100 ms pause between them.
TEST(SeqWrapped, ChannelBytesAndPiecesOf220) {
  TempIni ini;
  PtyPair pty;
  ASSERT_TRUE(pty.Ok());
  ini.MapCom(1, pty.SlavePath());
  clsMainSeq seq;
  StepToReady(seq);
  A::Wrapped(seq) = true;
  A::PortSel(seq) = 0;
  ASSERT_TRUE(A::Comm(seq).Open(1, "9600,N,8,1"));
  A::Packet(seq).SetChannelByte(0xFF);  // as Start leaves it

  // 450 bytes, 30 of which need escaping: 480 escaped bytes = 220 + 220 + 40.
  std::vector<std::uint8_t> data(450);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i % 15 == 0 ? 0xFD : i & 0x7F);
  std::vector<std::uint8_t> escaped(2 * data.size());
  escaped.resize(static_cast<std::size_t>(clsPacket::Escape(data.data(), static_cast<int>(data.size()), escaped.data())));
  ASSERT_EQ(escaped.size(), 480u);

  struct Case {
    St stage;
    std::uint8_t channel;
  };
  const St other = StageNo(St::Wake_Reset_Req) >= 0 ? St::RomW_Sum : St::Ready;
  for (const Case c : {Case{other, 0}, Case{other, 2}, Case{St::Wake_Reset_Req, 1}}) {
    if (StageNo(c.stage) < 0) continue;
    A::Stage(seq) = StageNo(c.stage);
    const auto t0 = std::chrono::steady_clock::now();
    seq.Send(data.data(), static_cast<int>(data.size()));
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_GE(ms, 200) << "two pauses of 100 ms";
    std::vector<std::uint8_t> wire;
    for (int i = 0; i < 50 && wire.size() < 3 * 10 + 480 + 3; ++i) {
      Pump();
      auto got = pty.Take(20);
      wire.insert(wire.end(), got.begin(), got.end());
    }
    // Three envelope frames: header FE FE EE EF E8 28 87 00 00 ch, body, FD.
    const std::vector<std::uint8_t> head = {0xFE, 0xFE, 0xEE, 0xEF, 0xE8, 0x28, 0x87, 0x00, 0x00, c.channel};
    std::size_t pos = 0;
    std::vector<std::uint8_t> body;
    for (std::size_t piece : {220u, 220u, 40u}) {
      ASSERT_GE(wire.size(), pos + 10 + piece + 1);
      EXPECT_TRUE(std::equal(head.begin(), head.end(), wire.begin() + static_cast<long>(pos)));
      body.insert(body.end(), wire.begin() + static_cast<long>(pos + 10), wire.begin() + static_cast<long>(pos + 10 + piece));
      EXPECT_EQ(wire[pos + 10 + piece], 0xFD);
      pos += 10 + piece + 1;
    }
    EXPECT_EQ(pos, wire.size());
    EXPECT_EQ(body, escaped);
  }
}

// Writer upload over the serial link: 127-byte bursts at least 40 ms apart,
// the writer's bytes in address order, then Firm_WaitAA.
TEST(SeqUpload, SerialBurstsOf127) {
  if (!profile::kHasWriter || !stage_table::kRunStages) GTEST_SKIP() << "no writer upload here";
  TempIni ini;
  PtyPair pty;
  ASSERT_TRUE(pty.Ok());
  ini.MapCom(1, pty.SlavePath());
  clsMainSeq seq;
  StepToReady(seq);
  A::PortSel(seq) = 0;
  ASSERT_TRUE(A::Comm(seq).Open(1, "9600,N,8,1"));
  A::Comm(seq).SetBaudRate(38400);
  const clsMotS& w = seq.WriterImage();
  const int size = w.Size();
  ASSERT_EQ(size, 5720);
  A::Stage(seq) = StageNo(St::Firm_SendData);

  std::vector<int> bursts;
  std::vector<double> burstAt;
  std::vector<std::uint8_t> wire;
  const auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < 20000 && seq.GetStage() == StageNo(St::Firm_SendData); ++i) {
    const int before = A::UploadSent(seq);
    EXPECT_EQ(seq.Step(), 0);
    const int sent = A::UploadSent(seq) - before;
    if (sent > 0) {
      bursts.push_back(sent);
      burstAt.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    Pump();
    auto got = pty.Take();
    wire.insert(wire.end(), got.begin(), got.end());
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(seq.GetStage(), StageNo(St::Firm_WaitAA));
  ASSERT_EQ(bursts.size(), 46u);
  for (std::size_t i = 0; i < 45; ++i) EXPECT_EQ(bursts[i], 127) << i;
  EXPECT_EQ(bursts[45], 5);
  for (std::size_t i = 1; i < burstAt.size(); ++i) EXPECT_GE(burstAt[i] - burstAt[i - 1], 39.0) << i;
  for (int i = 0; i < 20 && wire.size() < static_cast<std::size_t>(size); ++i) {
    auto got = pty.Take(20);
    wire.insert(wire.end(), got.begin(), got.end());
  }
  std::vector<std::uint8_t> expect(static_cast<std::size_t>(size));
  w.CopyOut(w.FirstAddress(), size, expect.data());
  EXPECT_EQ(wire, expect);
  EXPECT_EQ(seq.GetProgress(), 255);
}

// FlachChk: queries 'D', 'C', 'B', 'A'; the first reply is the most
// significant byte; the next query goes out in the step of the reply.
TEST(SeqFlachChk, QueriesDownFromDAndFirstReplyIsHighByte) {
  if (!stage_table::kRunStages || StageNo(St::FlachChk) < 0) GTEST_SKIP();
  TempIni ini;
  PtyPair pty;
  ASSERT_TRUE(pty.Ok());
  ini.MapCom(1, pty.SlavePath());
  clsMainSeq seq;
  StepToReady(seq);
  A::PortSel(seq) = 0;
  ASSERT_TRUE(A::Comm(seq).Open(1, "9600,N,8,1"));
  A::Stage(seq) = StageNo(St::FlachChk_Setup);
  A::ReplyTimer(seq).Arm(31000);  // as Bitrate_Send55 leaves it
  seq.Step();
  std::string queries;
  const std::uint8_t replies[] = {0x11, 0x22, 0x33, 0x44};
  std::size_t next = 0;
  for (int i = 0; i < 2000 && seq.GetStage() == StageNo(St::FlachChk); ++i) {
    EXPECT_EQ(seq.Step(), 0);
    Pump();
    auto got = pty.Take(5);
    for (auto b : got) queries.push_back(static_cast<char>(b));
    if (!got.empty() && next < 4) pty.Put({replies[next++]});
  }
  EXPECT_EQ(queries, "DCBA");
  EXPECT_EQ(seq.GetStage(), StageNo(St::Firm_SendAdr));
  EXPECT_EQ(A::CheckReply(seq), 0x11223344u);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
