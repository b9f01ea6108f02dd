#include "ui/frmMain.h"

#include <fcntl.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFrame>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QSocketNotifier>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>

#include "menu_table.h"
#include "profile.h"
#include "texts/globals.h"
#include "ui/Layout.h"
#include "ui/MenuModel.h"
#include "ui/MessageBox.h"
#include "ui/SeqHost.h"
#include "ui/ValueDialog.h"
#include "ui/thrProg.h"

namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }
QString Line(const char* key, int index) { return Q(g_GTex.GetLine(key, index)); }

// The class library's strict decimal conversion: optional leading blanks, an
// optional sign, and decimal digits up to the end.
bool StrictInt(const std::string& text, int* value) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  std::size_t start = i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  if (i == text.size()) return false;
  for (std::size_t j = i; j < text.size(); ++j)
    if (text[j] < '0' || text[j] > '9') return false;
  if (text.size() - i > 9) return false;
  *value = std::atoi(text.c_str() + start);
  return true;
}

int OverlayInt(const char* key, int index) {
  int v = 0;
  StrictInt(g_GTex.GetLine(key, index), &v);
  return v;
}

// Tick durations in 10-microsecond buckets (the last one collects longer
// ticks), so that a long-running window keeps a fixed-size record.
constexpr int kBucketUs = 10;
constexpr int kBuckets = 1001;
std::array<long, kBuckets> g_tickHistogram{};

long MonotonicMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000L + ts.tv_nsec / 1000000L;
}

template <class Link>
bool AddressRefused(Link* link, const std::string& text) {
  if constexpr (requires { link->IsBadAddress(text.c_str()); })
    return link == nullptr || link->IsBadAddress(text.c_str());
  else
    return true;
}

}  // namespace

bool TForm1::AutoStartDriver = true;

QString TForm1::OverlayProblem() {
  const std::pair<const char*, int> numbers[] = {
      {"Sys_Form_Size", 0}, {"Sys_Form_Size", 1}, {"Sys_Font_Size", 0}, {"Sys_Font_CharSet", 0}};
  for (const auto& [key, index] : numbers) {
    int v;
    const std::string text = g_GTex.GetLine(key, index);
    if (!StrictInt(text, &v)) return QStringLiteral("'%1' is not a valid integer value").arg(Q(text));
  }
  return {};
}

TForm1::TForm1(QWidget* owner)
    : QMainWindow(owner, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                             Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                             Qt::WindowCloseButtonHint) {
  setObjectName("Form1");
  setWindowTitle("Loading...");
  auto* client = new QWidget(this);
  setCentralWidget(client);
  Panel1 = new QFrame(client);
  Panel1->setObjectName("Panel1");
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel1->setLineWidth(3);
  Panel_Main = new QFrame(client);
  Panel_Main->setObjectName("Panel_Main");
  Panel_Main->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel_Main->setLineWidth(3);
  Memo1 = new QPlainTextEdit(Panel_Main);
  Memo1->setObjectName("Memo1");
  Memo1->setReadOnly(true);
  Memo1->setUndoRedoEnabled(false);
  Memo1->setFocusPolicy(Qt::ClickFocus);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setAcceptDrops(false);
  Button_Start = new QPushButton(Panel_Main);
  Button_Start->setObjectName("Button_Start");
  Button_Cancel = new QPushButton(Panel_Main);
  Button_Cancel->setObjectName("Button_Cancel");
  Button_Exit = new QPushButton(Panel_Main);
  Button_Exit->setObjectName("Button_Exit");
  ProgressBar1 = new QProgressBar(Panel_Main);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setRange(0, 255);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  setTabOrder(Button_Start, Button_Cancel);
  setTabOrder(Button_Cancel, Button_Exit);
  setTabOrder(Button_Exit, ProgressBar1);
  Button_Start->setDefault(true);
  connect(Button_Start, &QPushButton::clicked, this, [this] { Button_StartClick(); });
  connect(Button_Cancel, &QPushButton::clicked, this, [this] { Button_CancelClick(); });
  connect(Button_Exit, &QPushButton::clicked, this, [this] { Button_ExitClick(); });
  // Enter presses OK and Esc presses Cancel, as default and cancel buttons do.
  for (int key : {int(Qt::Key_Return), int(Qt::Key_Enter)})
    connect(new QShortcut(QKeySequence(key), this), &QShortcut::activated, this, [this] {
      if (Button_Start->isEnabled()) Button_Start->click();
    });
  connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, [this] {
    if (Button_Cancel->isEnabled()) Button_Cancel->click();
  });
  setAcceptDrops(true);
  client->installEventFilter(this);

  // Outer size and position on the primary screen.
  outerWidth_ = OverlayInt("Sys_Form_Size", 0);
  outerHeight_ = OverlayInt("Sys_Form_Size", 1);
  setFixedSize(outerWidth_, outerHeight_);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    int left, top;
    ui::MainWindowPosition(screen->geometry().width(), screen->geometry().height(), outerWidth_,
                           outerHeight_, &left, &top);
    move(screen->geometry().left() + left, screen->geometry().top() + top);
  }

  AppTitle = Line("Sys_AppTitle", 0);
  QGuiApplication::setApplicationDisplayName(AppTitle);
  setWindowTitle(AppTitle);

  for (int i = 0; i < static_cast<int>(MenuItem.size()); ++i) {
    MenuItem[i] = new QAction(QStringLiteral("---"), this);
    QAction* a = MenuItem[i];
    connect(a, &QAction::triggered, this, [this, a] { Button1Click(a); });
  }
  CreateMenuList();
  for (int line : menutable::kHiddenLines) MenuItem[line]->setVisible(false);
  for (int line = 4; line <= 8; ++line) MenuItem[line]->setCheckable(true);
  if (menutable::kIpAddressLine >= 0) MenuItem[menutable::kIpAddressLine]->setCheckable(true);

  Button_Start->setText(Line("App_ButtonCaption", 0));
  Button_Cancel->setText(Line("App_ButtonCaption", 1));
  Button_Exit->setText(Line("App_ButtonCaption", 2));

  log_.SetText(StageLog::StartupText([](int i) { return g_GTex.GetLine("Seq_Message_00", i); },
                                     clsGTex::kFailText));

  MainSeq = std::make_unique<clsMainSeq>();
  host_ = std::make_unique<SeqHost>(
      *MainSeq, g_Environ, g_GTex,
      [this](const std::string& message) {
        Trace("errorbox", 0);
        ui::ShowErrorBox(this, AppTitle, Q(message));
      },
      [this] { Button_ExitClick(); });
  update_ = std::make_unique<StageUpdate>(log_, *host_, profile::kStageReady,
                                          profile::kLastShownStart);
  if constexpr (profile::kHasTcp) AddrCheck = std::make_unique<SeqTcpLink>(profile::kTcpRetickMs);

  fontCharset_ = OverlayInt("Sys_Font_CharSet", 0);  // kept; no meaning on Linux
  QFont font(Line("Sys_Font_Name", 0));
  font.setPointSize(std::max(1, OverlayInt("Sys_Font_Size", 0)));
  for (QWidget* w : std::initializer_list<QWidget*>{this, Memo1, Button_Start, Button_Cancel,
                                                    Button_Exit})
    w->setFont(font);
  menuBar()->setFont(QApplication::font("QMenuBar"));

  Timer1.setInterval(10);  // never started: the driver thread runs the tick
  connect(&Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);

  SyncMemo();
  Relayout();

  tracePath_ = qEnvironmentVariable("ZB_UI_TRACE").toStdString();
  const QByteArray fifo = qgetenv("ZB_UI_COMMAND_FIFO");
  if (!fifo.isEmpty()) {
    // Opened for reading and writing, so that the FIFO never reports an end
    // of file when a writer goes away.
    commandFd_ = ::open(fifo.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (commandFd_ >= 0) {
      commandNotifier_ = new QSocketNotifier(commandFd_, QSocketNotifier::Read, this);
      connect(commandNotifier_, &QSocketNotifier::activated, this, [this] { OnCommand(); });
    }
  }

  if (AutoStartDriver) StartDriver();
}

TForm1::~TForm1() {
  StopDriver();
  if (commandFd_ >= 0) ::close(commandFd_);
  update_.reset();
  host_.reset();
  MainSeq.reset();
  AddrCheck.reset();
}

int TForm1::LastShownStage() const { return update_->LastShownStage(); }

void TForm1::StartDriver() {
  if (ProgThread) return;
  closing_ = false;
  ProgThread = std::make_unique<thrProg>(this, [this] { Timer1Timer(); });
  ProgThread->start(QThread::LowestPriority);
}

void TForm1::StopDriver() {
  closing_ = true;  // a tick that still arrives returns at once
  if (!ProgThread) return;
  ProgThread->requestInterruption();
  // From inside a tick (a fatal error text ends the program there) the thread
  // is waiting for this very tick to return and cannot be waited for: it
  // leaves its loop once the tick is over, or the process ends first.
  if (inTick_) return;
  // The thread may be blocked in its queued call of the tick: deliver the
  // calls aimed at this window while waiting, so that it can leave. The
  // thread must be gone before the window is, whatever the build.
  while (!ProgThread->wait(QDeadlineTimer(2)))
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
  ProgThread.reset();
}

void TForm1::CreateMenuList() {
  const auto entries = ui::BuildMenuList([](int n) { return g_GTex.GetLine("App_MenuList", n); });
  // An entry that gets children becomes a sub-menu.
  std::vector<bool> hasChildren(MenuItem.size(), false);
  for (const auto& e : entries)
    if (e.parent >= 0) hasChildren[e.parent] = true;
  for (const auto& e : entries) {
    QAction* a = MenuItem[e.line];
    if (e.caption == "-")
      a->setSeparator(true);
    else
      a->setText(Q(e.caption));
    if (hasChildren[e.line]) a->setMenu(new QMenu(this));
    if (e.parent < 0)
      menuBar()->addAction(a);
    else
      MenuItem[e.parent]->menu()->addAction(a);
  }
}

bool TForm1::eventFilter(QObject* watched, QEvent* e) {
  if (watched == centralWidget() && e->type() == QEvent::Resize) Relayout();
  return QMainWindow::eventFilter(watched, e);
}

void TForm1::Relayout() {
  const QSize c = centralWidget()->size();
  const ui::MainLayout l = ui::ComputeMainLayout(c.width(), c.height());
  auto place = [](QWidget* w, const ui::Rect& r) { w->setGeometry(r.left, r.top, r.width, r.height); };
  place(Panel1, l.panel1);
  place(Panel_Main, l.panelMain);
  place(ProgressBar1, l.progress);
  place(Button_Start, l.start);
  place(Button_Cancel, l.cancel);
  place(Button_Exit, l.exit);
  place(Memo1, l.memo);
}

void TForm1::showEvent(QShowEvent* e) {
  QMainWindow::showEvent(e);
  ApplyOuterSize();
  // Window managers report the frame a little after the window is mapped.
  QTimer::singleShot(200, this, [this] { ApplyOuterSize(); });
}

void TForm1::ApplyOuterSize() {
  // The overlay's size is that of the whole window, frame included.
  const QSize frame = frameGeometry().size() - geometry().size();
  const QSize want(outerWidth_ - frame.width(), outerHeight_ - frame.height());
  if (want != size() && want.width() > 0 && want.height() > 0) setFixedSize(want);
}

void TForm1::Timer1Timer() {
  if (closing_) return;
  inTick_ = true;
  struct TickEnd {
    bool& flag;
    ~TickEnd() { flag = false; }
  } tickEnd{inTick_};
  const auto t0 = std::chrono::steady_clock::now();
  const auto pause0 = MainSeq->ImposedPauseMs();
  const int shown0 = update_->LastShownStage();

  update_->RunAndShowStep();
  if (closing_) return;
  if (update_->LastShownStage() != shown0) Trace("tip", update_->LastShownStage());
  log_.TrimLog();
  SyncMemo();

  const int progress = MainSeq->GetProgress();
  if (ProgressBar1->value() != progress) ProgressBar1->setValue(progress);
  if (ProgressBar1->value() != captionProgress_) {
    captionProgress_ = ProgressBar1->value();
    const QString caption = Q(ui::CaptionFor(captionProgress_, AppTitle.toStdString()));
    if (QGuiApplication::applicationDisplayName() != caption)
      QGuiApplication::setApplicationDisplayName(caption);
    if (windowTitle() != caption) setWindowTitle(caption);
  }
  ShowPortSelection();
  const bool canStart = MainSeq->CanStart(), canCancel = MainSeq->CanCancel();
  if (Button_Start->isEnabled() != canStart) Button_Start->setEnabled(canStart);
  if (Button_Cancel->isEnabled() != canCancel) Button_Cancel->setEnabled(canCancel);

  if (MainSeq->ImposedPauseMs() == pause0) {
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(
                        std::chrono::steady_clock::now() - t0)
                        .count();
    ++g_tickHistogram[std::min<long>(us / kBucketUs, kBuckets - 1)];
  }
}

void TForm1::SyncMemo() {
  auto edits = log_.TakeEdits();
  if (edits.empty()) return;
  QTextDocument* doc = Memo1->document();
  // The document holds one block per log line plus the empty block after
  // the final line break.
  auto joined = [](const std::vector<std::string>& lines) {
    QString s;
    for (const auto& l : lines) {
      s += Q(l);
      s += QLatin1Char('\n');
    }
    return s;
  };
  for (const auto& e : edits) {
    QTextCursor c(doc);
    switch (e.kind) {
      case LogEdit::kReset:
        Memo1->setPlainText(joined(log_.Lines()));
        break;
      case LogEdit::kAppendToCurrent:
        c.movePosition(QTextCursor::End);
        c.movePosition(QTextCursor::PreviousCharacter);
        c.insertText(Q(e.text));
        break;
      case LogEdit::kAddLines:
        c.movePosition(QTextCursor::End);
        c.insertText(joined(e.lines));
        break;
      case LogEdit::kDropFirst:
        c.movePosition(QTextCursor::Start);
        c.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, e.count);
        c.removeSelectedText();
        break;
    }
  }
  ScrollLogToEnd();
}

void TForm1::ScrollLogToEnd() {
  QTextCursor c = Memo1->textCursor();
  c.movePosition(QTextCursor::End);
  Memo1->setTextCursor(c);
  Memo1->ensureCursorVisible();
}

void TForm1::ShowPortSelection() {
  const int portSel = menutable::kHasLinkSelection ? g_Environ.GetPortSel() : 0;
  const int checked = ui::CheckedMenuLine(portSel, g_Environ.GetComPort(), menutable::kIpAddressLine);
  for (int line = 4; line <= 8; ++line) MenuItem[line]->setChecked(line == checked);
  if (menutable::kIpAddressLine >= 0)
    MenuItem[menutable::kIpAddressLine]->setChecked(menutable::kIpAddressLine == checked);
}

void TForm1::Button1Click(QAction* sender) {
  const auto it = std::find(MenuItem.begin(), MenuItem.end(), sender);
  if (it == MenuItem.end()) return;
  const int n = static_cast<int>(it - MenuItem.begin());
  menutable::Command command = menutable::Command::None;
  for (const auto& c : menutable::kCommands)
    if (c.line == n) command = c.command;
  switch (command) {
    case menutable::Command::ComPort:
      if (MainSeq->CanStart()) {
        if (menutable::kHasLinkSelection) g_Environ.SetPortSel(0);
        g_Environ.SetComPort(g_Environ.GetComPortMin() + n - 4);
      }
      break;
    case menutable::Command::ComMore:
      ShowComSelDialog();
      break;
    case menutable::Command::IpAddress:
      ShowIpAddrDialog();
      break;
    case menutable::Command::IpPort:
      ShowIpPortDialog();
      break;
    case menutable::Command::None:
      break;
  }
  // Also puts back a check mark that the toolkit toggled on the click.
  ShowPortSelection();
}

void TForm1::Button_StartClick() {
  if (!MainSeq->CanStart()) return;
  if (MainSeq->GetStage() == profile::kStageReady) MainSeq->Start();
}

void TForm1::Button_CancelClick() {
  if (!MainSeq->CanCancel()) return;
  MainSeq->Cancel();
  log_.AddCancel(g_GTex.GetLine("Seq_Mess_Cancel", 0));
  SyncMemo();
}

void TForm1::Button_ExitClick() {
  // Ends the process through the normal exit path: the global objects are
  // destroyed and the settings store writes the INI file. The driver thread
  // is stopped first so that no tick is queued while the globals go away.
  StopDriver();
  std::exit(0);
}

void TForm1::ReceiveDropFiles(int fileCount) {
  if (fileCount >= 1) MainSeq->Abort();
}

void TForm1::dragEnterEvent(QDragEnterEvent* e) {
  if (e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* e) {
  int files = 0;
  for (const QUrl& url : e->mimeData()->urls())
    if (url.isLocalFile()) ++files;
  ReceiveDropFiles(files);
  e->acceptProposedAction();
}

// ---- value dialogs --------------------------------------------------------

ValueDialog* TForm1::BuildDialog(const char* base, const QString& initial, int maxLength,
                                 const QString& widthTemplate, bool withMinimums,
                                 void (TForm1::*ok)()) {
  ValueDialogForm form{base, initial, maxLength, widthTemplate, withMinimums};
  auto* d = new ValueDialog(this, form, [](const std::string& key, int index) {
    return g_GTex.GetLine(key, index);
  });
  d->SetOkHandler([this, ok] { (this->*ok)(); });
  return d;
}

ValueDialog* TForm1::BuildComSelDialog() {
  delete ComSelForm;  // the earlier one, closed by now
  ComSelForm = BuildDialog("GI_AppInd_Opt_ComSel_", QString::number(g_Environ.GetComPort()), 4,
                           QStringLiteral("255WWWW"), false, &TForm1::ComSelOk);
  ComSelEdit = ComSelForm->Edit();
  CenterOnMainWindow(ComSelForm);
  return ComSelForm;
}

ValueDialog* TForm1::BuildIpAddrDialog() {
  delete IpAddrForm;
  IpAddrForm = BuildDialog("GI_AppInd_Opt_IpAddr_", Q(g_Environ.GetTcpIp()), 15,
                           QStringLiteral("255.WWW.WWW.WWW"), true, &TForm1::IpAddrOk);
  IpAddrEdit = IpAddrForm->Edit();
  CenterOnMainWindow(IpAddrForm);
  return IpAddrForm;
}

ValueDialog* TForm1::BuildIpPortDialog() {
  delete IpPortForm;
  IpPortForm = BuildDialog("GI_AppInd_Opt_IpPort_", QString::number(g_Environ.GetTcpPort()), 5,
                           QStringLiteral("65535WWWW"), true, &TForm1::IpPortOk);
  IpPortEdit = IpPortForm->Edit();
  CenterOnMainWindow(IpPortForm);
  return IpPortForm;
}

void TForm1::ShowComSelDialog() { BuildComSelDialog()->exec(); }
void TForm1::ShowIpAddrDialog() { BuildIpAddrDialog()->exec(); }
void TForm1::ShowIpPortDialog() { BuildIpPortDialog()->exec(); }

void TForm1::CenterOnMainWindow(QWidget* dialog) {
  const QRect mw = frameGeometry();
  ui::Rect r = ui::CenterOn({0, 0, dialog->width(), dialog->height()},
                            {mw.left(), mw.top(), mw.width(), mw.height()});
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect a = screen->availableGeometry();
    r = ui::KeepInWorkArea(r, {a.left(), a.top(), a.width(), a.height()});
  }
  dialog->move(r.left, r.top);
}

void TForm1::ComSelOk() {
  int port = 0;
  if (!ui::ParseComPort(ComSelEdit->text().toStdString(), g_Environ.GetComPortMin(),
                        g_Environ.GetComPortMax(), &port)) {
    ui::ShowErrorBox(ComSelForm, QString::fromUtf8(profile::kAppTitle),
                     Line("GI_AppInd_Opt_ComSel_OutofRange", 0));
    ComSelEdit->setFocus();
    return;
  }
  if (menutable::kHasLinkSelection) g_Environ.SetPortSel(0);
  g_Environ.SetComPort(port);
  ComSelForm->accept();
}

void TForm1::IpAddrOk() {
  const std::string text = ui::TrimControls(IpAddrEdit->text().toStdString());
  if (AddressRefused(AddrCheck.get(), text)) {
    ui::ShowErrorBox(IpAddrForm, QString::fromUtf8(profile::kAppTitle),
                     Line("GI_AppInd_Opt_IpAddr_OutofRange", 0));
    IpAddrEdit->setFocus();
    return;
  }
  g_Environ.SetPortSel(1);
  g_Environ.SetTcpIp(text);
  IpAddrForm->accept();
}

void TForm1::IpPortOk() {
  std::uint32_t port = 0;
  if (!ui::ParseTcpPort(IpPortEdit->text().toStdString(), g_Environ.GetTcpPortMin(),
                        g_Environ.GetTcpPortMax(), &port)) {
    ui::ShowErrorBox(IpPortForm, QString::fromUtf8(profile::kAppTitle),
                     Line("GI_AppInd_Opt_IpPort_OutofRange", 0));
    IpPortEdit->setFocus();
    return;
  }
  g_Environ.SetPortSel(1);
  g_Environ.SetTcpPort(port);
  IpPortForm->accept();
}

// ---- test and unattended-run hooks -----------------------------------------

void TForm1::Trace(const char* what, int value) {
  if (tracePath_.empty()) return;
  QFile f(Q(tracePath_));
  if (f.open(QIODevice::Append))
    f.write(QStringLiteral("%1 %2 %3\n").arg(MonotonicMs()).arg(what).arg(value).toUtf8());
}

void TForm1::OnCommand() {
  char buf[512];
  ssize_t n;
  while ((n = ::read(commandFd_, buf, sizeof buf)) > 0) commandBuffer_.append(buf, n);
  int nl;
  while ((nl = commandBuffer_.indexOf('\n')) >= 0) {
    const QString line = QString::fromUtf8(commandBuffer_.left(nl)).trimmed();
    commandBuffer_.remove(0, nl + 1);
    RunCommand(line);
  }
}

void TForm1::RunCommand(const QString& line) {
  const QString cmd = line.section(' ', 0, 0);
  const QString arg = line.section(' ', 1);
  auto save = [](const QString& path, const QByteArray& data) {
    QSaveFile f(path);
    if (f.open(QIODevice::WriteOnly)) {
      f.write(data);
      f.commit();
    }
  };
  if (cmd == "ok") {
    if (Button_Start->isEnabled()) Button_Start->click();
  } else if (cmd == "cancel") {
    if (Button_Cancel->isEnabled()) Button_Cancel->click();
  } else if (cmd == "exit") {
    Button_Exit->click();
  } else if (cmd == "close") {
    close();
  } else if (cmd == "drop") {
    ReceiveDropFiles(1);
  } else if (cmd == "grab" && !arg.isEmpty()) {
    // Save to a temporary name first, so that a reader never sees half a file.
    const QString tmp = arg + ".part.png";
    if (grab().save(tmp, "PNG")) QFile::rename(tmp, arg);
  } else if (cmd == "log" && !arg.isEmpty()) {
    save(arg, QByteArray::fromStdString(log_.Text()));
  } else if (cmd == "stats-reset") {
    g_tickHistogram.fill(0);
  } else if (cmd == "stats" && !arg.isEmpty()) {
    long total = 0;
    for (long c : g_tickHistogram) total += c;
    auto percentile = [&](double q) {
      long need = static_cast<long>(q * total), seen = 0;
      for (int i = 0; i < kBuckets; ++i)
        if ((seen += g_tickHistogram[i]) > need) return (i + 1) * kBucketUs;
      return kBuckets * kBucketUs;
    };
    save(arg, QStringLiteral("ticks %1\np50_us %2\np99_us %3\nmax_bucket_us %4\n")
                  .arg(total)
                  .arg(percentile(0.50))
                  .arg(percentile(0.99))
                  .arg(percentile(1.0))
                  .toUtf8());
  }
}
