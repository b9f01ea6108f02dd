#include "links/clsTick.h"
#include "links/cmcTask.h"
#include "platform/clock.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>

#include <cstdint>

namespace {

// Puts the tick counter a given number of ms before its wrap for one test.
class ShiftedClock {
 public:
  explicit ShiftedClock(std::uint32_t msBeforeWrap) {
    platform::ShiftTickCount(0);
    const std::uint32_t now = platform::TickCount();
    platform::ShiftTickCount(0u - msBeforeWrap - now);
  }
  ~ShiftedClock() { platform::ShiftTickCount(0); }
};

QCoreApplication& App() {
  static int argc = 1;
  static char name[] = "foundation_tests";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* app = new QCoreApplication(argc, argv);
  return *app;
}

void PumpFor(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

}  // namespace

TEST(Countdown, IdleAndZeroLengthReadAsRunOut) {
  clsTick t;
  EXPECT_EQ(t.Remaining(), 0u);
  t.Arm(0);
  EXPECT_EQ(t.Remaining(), 0u);
  EXPECT_FALSE(t.IsRunning());
}

TEST(Countdown, CountsDownAndStaysRunOut) {
  clsTick t;
  t.Arm(5000);
  const std::uint32_t first = t.Remaining();
  EXPECT_GT(first, 4000u);
  EXPECT_LE(first, 5000u);
  t.Arm(20);
  platform::SleepMs(40);
  EXPECT_EQ(t.Remaining(), 0u);
  EXPECT_EQ(t.Remaining(), 0u);
  t.Disarm();
  EXPECT_EQ(t.Remaining(), 0u);
}

TEST(Countdown, RunsAcrossTheWrapOfTheCounter) {
  ShiftedClock clock(10);
  clsTick t;
  t.Arm(1000);
  platform::SleepMs(30);  // now past the wrap
  const std::uint32_t now = platform::TickCount();
  ASSERT_LT(now, 0x80000000u) << "the counter should have wrapped";
  const std::uint32_t left = t.Remaining();
  EXPECT_GT(left, 500u);
  EXPECT_LE(left, 1000u - 30u);
}

TEST(PollingTask, IntervalRules) {
  App();
  cmcTask task;
  EXPECT_TRUE(task.IsStopped());
  task.SetInterval(0);
  EXPECT_FALSE(task.IsStopped());
  EXPECT_EQ(task.interval(), 1);  // 0 runs at 1 ms
  task.SetInterval(-5);
  EXPECT_TRUE(task.IsStopped());
  EXPECT_EQ(task.Interval(), -5);
}

TEST(PollingTask, CallsItsHandlerOnTheEventLoopUntilStopped) {
  App();
  struct Ctx {
    cmcTask* task;
    int calls = 0;
  } ctx{nullptr};
  cmcTask task;
  ctx.task = &task;
  task.SetHandler(
      [](void* c) {
        auto* p = static_cast<Ctx*>(c);
        if (++p->calls == 3) p->task->SetInterval(-1);
      },
      &ctx);
  task.SetInterval(1);
  PumpFor(100);
  EXPECT_EQ(ctx.calls, 3);
  EXPECT_TRUE(task.IsStopped());
}

TEST(PollingTask, WithoutHandlerTicksHarmlesslyAndReleaseDeletesIt) {
  App();
  auto* task = new cmcTask;
  QPointer<cmcTask> watch(task);
  task->SetInterval(1);
  PumpFor(20);
  ASSERT_FALSE(watch.isNull());
  cmcTask* owned = task;
  DisposeTask(owned);  // still running: detached and released
  EXPECT_EQ(owned, nullptr);
  PumpFor(50);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(watch.isNull());
}

TEST(PollingTask, HandlerIsNotReenteredWhileBusy) {
  App();
  struct Ctx {
    cmcTask* task;
    int depth = 0, maxDepth = 0, calls = 0;
  } ctx{nullptr};
  cmcTask task;
  ctx.task = &task;
  task.SetHandler(
      [](void* c) {
        auto* p = static_cast<Ctx*>(c);
        ++p->calls;
        ++p->depth;
        p->maxDepth = std::max(p->maxDepth, p->depth);
        p->task->OnTick();  // a nested tick while the handler runs
        --p->depth;
        if (p->calls >= 2) p->task->SetInterval(-1);
      },
      &ctx);
  task.SetInterval(1);
  PumpFor(60);
  EXPECT_EQ(ctx.maxDepth, 1);
  EXPECT_EQ(ctx.calls, 2);
}
