// The main window of one program (compiled once per program), offscreen:
// components and layout, the menu of the build, the COM commands and check
// marks, button enabling, the value dialogs' checks, and (where the
// simulator is built) a whole update against it over a pseudo-terminal.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "menu_table.h"
#include "overlay.h"
#include "platform/program_path.h"
#include "profile.h"
#include "stage_table.h"
#include "texts/globals.h"
#include "ui/Layout.h"
#include "ui/MessageBox.h"
#include "ui/ValueDialog.h"
#include "ui/frmMain.h"

extern char** environ;

// The run whose overlay marks every error text fatal (see TestOverlay) ends
// through exit(0) with the application alive, on purpose; in sanitizer builds
// the font library's caches would then count as leaks.
extern "C" int __lsan_is_turned_off() { return qEnvironmentVariableIsSet("ZB_UI_TEST_FATAL_ERRORS"); }

namespace {

std::vector<std::pair<QString, QString>> g_boxes;
QTemporaryDir* g_dir = nullptr;

// Set: the overlay of this run has every error text marked fatal ("%F").
constexpr const char* kFatalErrorsVariable = "ZB_UI_TEST_FATAL_ERRORS";

OverlayLines TestOverlay() {
  const OverlayLines o = BuiltInOverlay();
  if (!qEnvironmentVariableIsSet(kFatalErrorsVariable)) return o;
  static std::vector<std::string> text;
  static std::vector<const char*> lines;
  bool errors = false;
  for (int i = 0; i < o.count; ++i) {
    std::string l = o.lines[i];
    if (!l.empty() && l[0] == '#')
      errors = l == "#Seq_Mess_Error_Main";
    else if (errors && !l.empty())
      l += "@%F";
    text.push_back(l);
  }
  for (const auto& l : text) lines.push_back(l.c_str());
  return {lines.data(), static_cast<int>(lines.size())};
}

void WritePorts(const std::string& comPath) {
  const std::string ini = g_dir->filePath("ports.INI").toStdString();
  std::ofstream(ini) << "[Ports]\nCOM1=" << comPath << "\n";
  platform::SetProgramIniPath(ini);
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_boxes.clear();
    g_Environ.SetPortSel(0);
    g_Environ.SetComPort(1);
    WritePorts(g_dir->filePath("no-such-device").toStdString());
    TForm1::AutoStartDriver = false;
    form = std::make_unique<TForm1>();
    form->show();
    QApplication::processEvents();
  }
  void TickUntilStage(int stage, int limit = 200) {
    for (int i = 0; i < limit && form->MainSeq->GetStage() != stage; ++i) form->Timer1Timer();
  }
  std::unique_ptr<TForm1> form;
};

TEST_F(WindowTest, ComponentsAndLayout) {
  EXPECT_TRUE(form->Memo1->isReadOnly());
  EXPECT_EQ(form->Memo1->focusPolicy() & Qt::TabFocus, 0);
  EXPECT_EQ(form->ProgressBar1->maximum(), 255);
  EXPECT_EQ(form->Button_Start->text(), "OK");
  EXPECT_EQ(form->Button_Exit->text(), "Exit");
  EXPECT_EQ(form->minimumSize(), form->maximumSize());  // not resizable
  EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
  const QSize c = form->centralWidget()->size();
  const ui::MainLayout l = ui::ComputeMainLayout(c.width(), c.height());
  EXPECT_EQ(form->Button_Start->geometry(), QRect(l.start.left, l.start.top, l.start.width, l.start.height));
  EXPECT_EQ(form->Button_Exit->geometry().right(), form->ProgressBar1->geometry().right());
  EXPECT_EQ(form->Memo1->geometry(), QRect(l.memo.left, l.memo.top, l.memo.width, l.memo.height));
  EXPECT_EQ(form->Memo1->font().family(), "Arial");
  EXPECT_EQ(form->Memo1->toPlainText().toStdString(),
            [] {
              std::string s;
              for (int i = 0; g_GTex.GetLine("Seq_Message_00", i) != "#"; ++i)
                s += g_GTex.GetLine("Seq_Message_00", i) + "\n";
              return s + "\n";
            }());
}

TEST_F(WindowTest, MenuOfTheBuild) {
  QStringList visible;
  for (QAction* a : form->menuBar()->actions())
    if (a->isVisible()) visible << a->text();
  if (profile::kHasTcp)
    EXPECT_EQ(visible, (QStringList{"&COM Port", "&TCP/IP"}));
  else
    EXPECT_EQ(visible, (QStringList{"&COM Port"}));
  QStringList com;
  for (QAction* a : form->MenuItem[3]->menu()->actions())
    if (a->isVisible()) com << (a->isSeparator() ? "-" : a->text());
  EXPECT_EQ(com, (QStringList{"COM &1", "COM &2", "COM &3", "COM &4", "&More..."}));
  for (int line : menutable::kHiddenLines) EXPECT_FALSE(form->MenuItem[line]->isVisible()) << line;
  // Items without a line are never attached.
  EXPECT_TRUE(form->MenuItem[40]->associatedObjects().size() <= 1);
  EXPECT_EQ(form->MenuItem[40]->text(), "---");
}

TEST_F(WindowTest, ComCommandsAndCheckMarks) {
  // While a run would be possible (Ready), COM 3 selects the serial link, port 3.
  TickUntilStage(profile::kStageReady);
  if (menutable::kHasLinkSelection) g_Environ.SetPortSel(1);
  form->MenuItem[6]->trigger();
  EXPECT_EQ(g_Environ.GetComPort(), 3);
  EXPECT_EQ(g_Environ.GetPortSel(), 0);
  for (int line = 4; line <= 8; ++line) EXPECT_EQ(form->MenuItem[line]->isChecked(), line == 6);
  for (auto [port, line] : {std::pair{1, 4}, {4, 7}, {7, 8}}) {
    g_Environ.SetComPort(port);
    form->Timer1Timer();
    for (int l = 4; l <= 8; ++l) EXPECT_EQ(form->MenuItem[l]->isChecked(), l == line) << port;
  }
  if (menutable::kIpAddressLine >= 0) {
    g_Environ.SetPortSel(1);
    form->Timer1Timer();
    EXPECT_TRUE(form->MenuItem[menutable::kIpAddressLine]->isChecked());
    for (int l = 4; l <= 8; ++l) EXPECT_FALSE(form->MenuItem[l]->isChecked());
    g_Environ.SetPortSel(0);
  }
  // During a run the COM entries change nothing (and keep their marks).
  g_Environ.SetComPort(2);
  form->Timer1Timer();
  form->MainSeq->Start();
  form->MenuItem[7]->trigger();
  EXPECT_EQ(g_Environ.GetComPort(), 2);
  EXPECT_TRUE(form->MenuItem[5]->isChecked());
  EXPECT_FALSE(form->MenuItem[7]->isChecked());
}

TEST_F(WindowTest, ButtonsFollowTheSequencerAndAFailureShowsOneBox) {
  TickUntilStage(profile::kStageReady);
  form->Timer1Timer();
  EXPECT_TRUE(form->Button_Start->isEnabled());
  EXPECT_FALSE(form->Button_Cancel->isEnabled());
  EXPECT_EQ(form->windowTitle(), QString::fromUtf8(profile::kAppTitle));
  // COM 1 leads to a device that does not exist: the run fails at once.
  form->Button_Start->click();
  EXPECT_EQ(form->MainSeq->GetStage(), profile::kStageReady + 1);
  for (int i = 0; i < 20 && g_boxes.empty(); ++i) {
    form->Timer1Timer();
    EXPECT_EQ(form->Button_Start->isEnabled(), form->MainSeq->CanStart());
    EXPECT_EQ(form->Button_Cancel->isEnabled(), form->MainSeq->CanCancel());
  }
  for (int i = 0; i < 5; ++i) form->Timer1Timer();
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].first, QString::fromUtf8(profile::kAppTitle));
  EXPECT_TRUE(g_boxes[0].second.startsWith("Error ")) << g_boxes[0].second.toStdString();
  const QString text = form->Memo1->toPlainText();
  EXPECT_EQ(text.count("***********************"), 2);
  QString box = g_boxes[0].second;
  EXPECT_TRUE(text.contains("\n***********************\n" + box.replace("\r\n", "\n") +
                            "\n***********************\n"))
      << text.toStdString();
  EXPECT_TRUE(form->Button_Start->isEnabled());
  // The model and the control show the same text.
  QString model = QString::fromStdString(form->Log().Text());
  model.replace("\r\n", "\n");
  EXPECT_EQ(text, model);
}

TEST_F(WindowTest, DropStopsARunWithoutCancelLine) {
  TickUntilStage(profile::kStageReady);
  form->ReceiveDropFiles(0);
  form->MainSeq->Start();
  form->ReceiveDropFiles(2);
  EXPECT_EQ(form->MainSeq->GetStage(), profile::kStageStandby);
  EXPECT_FALSE(form->Memo1->toPlainText().contains("Cancel"));
}

// Enter presses OK and Esc presses Cancel, each only while its button is
// enabled. Cancelling needs a run that gets past Start: a pseudo-terminal
// stands in for COM 1 so the link opens.
TEST_F(WindowTest, EnterStartsAndEscCancelsOnlyWhenTheirButtonsAreEnabled) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  WritePorts(ptsname(master));
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  TickUntilStage(profile::kStageReady);
  form->Timer1Timer();
  const auto memo = [&] { return form->Memo1->toPlainText(); };

  // Ready: Cancel is disabled, Esc changes nothing.
  ASSERT_FALSE(form->MainSeq->CanCancel());
  const QString before = memo();
  QTest::keyClick(form.get(), Qt::Key_Escape);
  EXPECT_EQ(form->MainSeq->GetStage(), profile::kStageReady);
  EXPECT_EQ(memo(), before);

  QTest::keyClick(form.get(), Qt::Key_Return);
  EXPECT_EQ(form->MainSeq->GetStage(), profile::kStageReady + 1);

  if (stage_table::kRunStages) {
    for (int i = 0; i < 5 && !form->MainSeq->IsLinkOpen(); ++i) form->Timer1Timer();
    ASSERT_TRUE(form->MainSeq->IsLinkOpen());
    ASSERT_TRUE(form->MainSeq->CanCancel());
    ASSERT_TRUE(form->Button_Cancel->isEnabled());
    QTest::keyClick(form.get(), Qt::Key_Escape);
    EXPECT_EQ(form->MainSeq->GetStage(), profile::kStageStandby);
    const QString cancel = QString::fromStdString(g_GTex.GetLine("Seq_Mess_Cancel", 0));
    EXPECT_TRUE(memo().endsWith("\n\n" + cancel + "\n\n")) << memo().toStdString();
    form->Timer1Timer();
    EXPECT_EQ(form->MainSeq->GetStage(), profile::kStageReady);
    EXPECT_FALSE(form->MainSeq->IsLinkOpen());
  }
  close(master);
}

// An error text with the fatal mark ends the program from inside a tick, while
// the driver thread is still waiting for that very tick to return: the end
// must not wait for the thread. The child (a fresh run of this program, whose
// overlay marks every error text fatal, see main) runs the whole path with the
// driver thread; a hang ends in SIGALRM instead of status 0.
TEST_F(WindowTest, FatalErrorTextEndsTheProgramFromTheDriversTick) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  setenv(kFatalErrorsVariable, "1", 1);
  EXPECT_EXIT(
      {
        alarm(60);
        std::atexit([] { g_dir->remove(); });  // exit() skips main's clean-up
        ui::SetErrorBoxHook([](const QString&, const QString& t) {
          std::fprintf(stderr, "box: %s\n", t.toUtf8().constData());
        });
        form->StartDriver();
        QElapsedTimer t;
        t.start();
        while (form->MainSeq->GetStage() != profile::kStageReady && t.elapsed() < 20000)
          QApplication::processEvents(QEventLoop::AllEvents, 5);
        form->Button_Start->click();  // COM 1 names no device: the run fails
        while (t.elapsed() < 50000) QApplication::processEvents(QEventLoop::AllEvents, 5);
        std::_Exit(1);
      },
      ::testing::ExitedWithCode(0), "box: Error ");
  unsetenv(kFatalErrorsVariable);
}

TEST_F(WindowTest, ComDialogChecksItsInput) {
  g_Environ.SetPortSel(menutable::kHasLinkSelection ? 1 : 0);
  ValueDialog* d = form->BuildComSelDialog();
  EXPECT_EQ(d->windowTitle(), "COM Port");
  EXPECT_EQ(form->ComSelEdit->text(), "1");
  EXPECT_EQ(form->ComSelEdit->maxLength(), 4);
  EXPECT_EQ(d->OkButton()->size(), d->CancelButton()->size());
  EXPECT_EQ(d->CancelButton()->geometry().right(), d->Label()->geometry().right());
  for (const char* bad : {"257", "0", "", "x"}) {
    form->ComSelEdit->setText(bad);
    d->OkButton()->click();
    EXPECT_EQ(form->ComSelEdit->text(), bad);
    EXPECT_EQ(g_Environ.GetComPort(), 1);
  }
  ASSERT_EQ(g_boxes.size(), 4u);
  EXPECT_EQ(g_boxes[0].first, QString::fromUtf8(profile::kAppTitle));
  EXPECT_EQ(g_boxes[0].second, "Invalid COM Port number.");
  form->ComSelEdit->setText("12ab");
  d->OkButton()->click();
  EXPECT_EQ(d->result(), QDialog::Accepted);
  EXPECT_EQ(g_Environ.GetComPort(), 12);
  EXPECT_EQ(g_Environ.GetPortSel(), 0);
  form->ShowPortSelection();
  EXPECT_TRUE(form->MenuItem[8]->isChecked());
}

TEST_F(WindowTest, TcpDialogsCheckTheirInput) {
  if (!profile::kHasTcp) GTEST_SKIP() << "no TCP/IP in this build";
  g_Environ.SetTcpIp("192.168.0.11");
  ValueDialog* ip = form->BuildIpAddrDialog();
  EXPECT_GE(ip->width(), 204);
  EXPECT_GE(ip->CancelButton()->x(), 111);
  for (const char* bad : {"255.255.255.255", "1.2.3.4.5", "host"}) {
    form->IpAddrEdit->setText(bad);
    ip->OkButton()->click();
    EXPECT_EQ(g_Environ.GetTcpIp(), "192.168.0.11") << bad;
  }
  ASSERT_EQ(g_boxes.size(), 3u);
  EXPECT_EQ(g_boxes[0].second, "Invalid IP Address.");
  form->IpAddrEdit->setText(" 127.000.0.1 ");
  ip->OkButton()->click();
  EXPECT_EQ(g_Environ.GetTcpIp(), "127.000.0.1");  // trimmed, otherwise as typed
  EXPECT_EQ(g_Environ.GetPortSel(), 1);

  g_Environ.SetPortSel(0);
  ValueDialog* port = form->BuildIpPortDialog();
  EXPECT_EQ(form->IpPortEdit->maxLength(), 5);
  for (const char* bad : {"1023", "99999"}) {
    form->IpPortEdit->setText(bad);
    port->OkButton()->click();
  }
  EXPECT_EQ(g_boxes.back().second, "Invalid TCP/IP Port number.");
  EXPECT_EQ(g_Environ.GetPortSel(), 0);
  form->IpPortEdit->setText("65535");
  port->OkButton()->click();
  EXPECT_EQ(g_Environ.GetTcpPort(), 65535u);
  EXPECT_EQ(g_Environ.GetPortSel(), 1);
  g_Environ.SetPortSel(0);
}

#ifdef ZB_RADIOSIM
// A whole update through the window, driven by its own thread, against the
// simulator on a pseudo-terminal.
TEST_F(WindowTest, CompleteUpdateAgainstSimulator) {
  if (std::string(profile::kProgram) != "ZB7152K") GTEST_SKIP() << "simulator serves the main CPU";
  const std::string link = g_dir->filePath("radio").toStdString();
  const std::string report = g_dir->filePath("report.json").toStdString();
  const std::string out = g_dir->filePath("sim.out").toStdString();
  std::vector<std::string> args = {ZB_RADIOSIM, "--serial", link, "--runs", "1", "--report",
                                   report, "--quiet"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&fa);
  for (int i = 0; i < 500 && access(link.c_str(), F_OK) != 0; ++i) usleep(10000);
  ASSERT_EQ(access(link.c_str(), F_OK), 0);
  WritePorts(link);

  form->StartDriver();
  QElapsedTimer t;
  t.start();
  auto text = [&] { return form->Memo1->toPlainText(); };
  // OK does something only in Ready (in Standby it is enabled but idle).
  while (!text().contains("Connect Transceiver (No.1).") && t.elapsed() < 10000)
    QApplication::processEvents(QEventLoop::AllEvents, 5);
  form->Button_Start->click();
  while (!text().contains("Connect Transceiver (No.2).") && g_boxes.empty() && t.elapsed() < 120000)
    QApplication::processEvents(QEventLoop::AllEvents, 5);
  // The step after Completed -> Ready puts the progress back to 0.
  const QString title = QString::fromUtf8(profile::kAppTitle);
  QElapsedTimer t2;
  t2.start();
  while (form->windowTitle() != title && t2.elapsed() < 5000)
    QApplication::processEvents(QEventLoop::AllEvents, 5);
  form->StopDriver();
  int status = -1;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(g_boxes.empty()) << g_boxes[0].second.toStdString();
  EXPECT_TRUE(text().contains("Writing ROM Data.....[OK]\nDisconnecting.....[OK]\n\nCompleted (No.1).\n\n"
                              "=========================\nConnect Transceiver (No.2)."))
      << text().toStdString();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  std::ifstream r(report);
  std::string json((std::istreambuf_iterator<char>(r)), {});
  EXPECT_NE(json.find("\"passed\":true"), std::string::npos) << json;
  EXPECT_EQ(form->windowTitle(), title);
  EXPECT_EQ(form->ProgressBar1->value(), 0);
}
#endif

}  // namespace

int main(int argc, char** argv) {
  // Offscreen also when ctest lists the tests (no test environment then).
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QTemporaryDir dir;
  g_dir = &dir;
  const OverlayLines o = TestOverlay();
  g_GTex.AttachLines(o.lines, o.count);
  ui::SetErrorBoxHook([](const QString& caption, const QString& text) {
    g_boxes.emplace_back(caption, text);
  });
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
