// TForm1: the program's main window. A log (Memo1), a progress bar and the
// OK / Cancel / Exit buttons under a menu bar built from the overlay. The
// window owns the sequencer and the driver thread; every tick (Timer1Timer,
// run on the GUI thread at the driver thread's request) steps the sequencer,
// updates the log through the stage log model, and refreshes the caption,
// the progress bar, the menu check marks and the buttons.
//
// Compiled once per program: per-build data comes from profile.h and
// menu_table.h.
//
// Hooks for tests and unattended runs (environment variables):
//   ZB_UI_ERRORBOX_LOG  file that receives error boxes instead of showing them
//   ZB_UI_COMMAND_FIFO  FIFO read for line commands: "ok", "cancel", "exit",
//                       "drop", "grab <png>", "log <file>", "stats <file>"
//                       (tick durations outside protocol pauses: count, p50,
//                       p99, longest bucket), "stats-reset"
//   ZB_UI_TRACE         file to which "<monotonic ms> tip <stage>" and
//                       "<monotonic ms> errorbox 0" lines are appended
#pragma once

#include <QMainWindow>
#include <QString>
#include <QTimer>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "sequence/clsMainSeq.h"
#include "ui/StageLog.h"

class QAction;
class QFrame;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSocketNotifier;
class SeqHost;
class ValueDialog;
class thrProg;

class TForm1 : public QMainWindow {
  Q_OBJECT
 public:
  explicit TForm1(QWidget* owner = nullptr);
  ~TForm1() override;

  // A size or font number of the overlay that is not a decimal integer, as a
  // message for start-up to show; empty when the overlay is usable.
  static QString OverlayProblem();

  // Components.
  QFrame* Panel1 = nullptr;
  QFrame* Panel_Main = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QPushButton* Button_Start = nullptr;
  QPushButton* Button_Cancel = nullptr;
  QPushButton* Button_Exit = nullptr;

  std::array<QAction*, 100> MenuItem{};
  std::unique_ptr<clsMainSeq> MainSeq;
  int LastShownStage() const;
  QString AppTitle;
  ValueDialog* ComSelForm = nullptr;
  QLineEdit* ComSelEdit = nullptr;
  std::unique_ptr<SeqTcpLink> AddrCheck;  // never connected; tests typed addresses
  ValueDialog* IpAddrForm = nullptr;
  QLineEdit* IpAddrEdit = nullptr;
  ValueDialog* IpPortForm = nullptr;
  QLineEdit* IpPortEdit = nullptr;

  StageLog& Log() { return log_; }

  // Handlers.
  void Button1Click(QAction* sender);
  void Button_StartClick();
  void Button_CancelClick();
  void Button_ExitClick();
  void ReceiveDropFiles(int fileCount);
  void ShowPortSelection();

  // Value dialogs: Show* builds, centres and runs one modally; Build* only
  // builds it (tests drive it without a modal loop).
  void ShowComSelDialog();
  void ShowIpAddrDialog();
  void ShowIpPortDialog();
  ValueDialog* BuildComSelDialog();
  ValueDialog* BuildIpAddrDialog();
  ValueDialog* BuildIpPortDialog();
  void ComSelOk();
  void IpAddrOk();
  void IpPortOk();
  void CenterOnMainWindow(QWidget* dialog);

  // Stops the driver thread (no tick runs afterwards); idempotent.
  void StopDriver();
  // Starts the driver thread (the constructor does; tests may run without).
  void StartDriver();

  // Tests build the window without its driver thread and call the tick
  // themselves.
  static bool AutoStartDriver;
  QTimer Timer1;  // the tick's timer component: created disabled, never started

 public slots:
  void Timer1Timer();

 protected:
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dropEvent(QDropEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;
  void showEvent(QShowEvent* e) override;

 private:
  void CreateMenuList();
  void Relayout();
  void ApplyOuterSize();
  void SyncMemo();
  void ScrollLogToEnd();
  void OnCommand();
  void RunCommand(const QString& line);
  void Trace(const char* what, int value);
  ValueDialog* BuildDialog(const char* base, const QString& initial, int maxLength,
                           const QString& widthTemplate, bool withMinimums,
                           void (TForm1::*ok)());

  StageLog log_;
  std::unique_ptr<SeqHost> host_;
  std::unique_ptr<StageUpdate> update_;
  std::unique_ptr<thrProg> ProgThread;
  bool closing_ = false;
  bool inTick_ = false;  // Timer1Timer is running (possibly in a nested loop)
  int captionProgress_ = 0;  // progress the caption was last built for
  int outerWidth_ = 0, outerHeight_ = 0;
  int fontCharset_ = 0;
  QSocketNotifier* commandNotifier_ = nullptr;
  int commandFd_ = -1;
  QByteArray commandBuffer_;
  std::string tracePath_;
};
