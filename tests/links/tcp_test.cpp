// The TCP link against a listener of the test's own on 127.0.0.1.
#include "links/cmcTask.h"
#include "links/cmcTcpClient.h"
#include "links/net.h"
#include "tests/links/pump.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

int g_window;  // stands for the main window handed to AsyncSelect

// A socket bound to an ephemeral loopback port, listening or not.
class Loopback {
 public:
  explicit Loopback(bool listening) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int small = 4096;  // inherited by accepted sockets: fills up quickly
    setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    if (listening) listen(fd_, 4);
    socklen_t len = sizeof a;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
  }
  ~Loopback() { close(fd_); }
  std::uint16_t Port() const { return port_; }
  int Accept() const { return accept(fd_, nullptr, nullptr); }

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

std::vector<unsigned char> Pattern(size_t n) {
  std::vector<unsigned char> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<unsigned char>(i * 13 + i / 256);
  return v;
}

std::vector<unsigned char> ReceiveAll(int fd, size_t count) {
  std::vector<unsigned char> got;
  unsigned char buf[4096];
  QElapsedTimer t;
  t.start();
  while (got.size() < count && t.elapsed() < 10000) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    const ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    got.insert(got.end(), buf, buf + n);
  }
  return got;
}

// Connected, non-blocking client and the accepted peer socket.
struct Connected {
  explicit Connected(int retickMs = 10) : client(retickMs) {
    EXPECT_TRUE(client.Connect(listener.Port(), "127.0.0.1"));
    client.AsyncSelect(&g_window, 0, 0);
    peer = listener.Accept();
    EXPECT_GE(peer, 0);
  }
  ~Connected() {
    if (peer >= 0) close(peer);
  }
  Loopback listener{true};
  cmcTcpClient client;
  int peer = -1;
};

// Writes until the peer, which never reads, makes a send fall short.
void FillUntilSendFails(cmcTcpClient& client) {
  const int small = 4096;
  setsockopt(client.Socket(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
  const std::vector<unsigned char> chunk(1000, 0x5A);
  for (int i = 0; i < 100000 && !client.WriteFailed(); ++i)
    ASSERT_EQ(client.Write(chunk.data(), 1000), 1000);
  ASSERT_TRUE(client.WriteFailed());
}

TEST(TcpLink, ExchangesBytesBothWays) {
  for (int retick : {10, 100}) {
    SCOPED_TRACE(retick);
    Connected c(retick);
    ASSERT_TRUE(c.client.IsConnected());
    timeval tv{};
    socklen_t len = sizeof tv;
    getsockopt(c.client.Socket(), SOL_SOCKET, SO_RCVTIMEO, &tv, &len);
    EXPECT_EQ(tv.tv_sec * 1000 + tv.tv_usec / 1000, 100);

    const std::vector<unsigned char> data = Pattern(3000);
    ASSERT_EQ(c.client.Write(data.data(), 3000), 3000);
    EXPECT_EQ(c.client.Pending(), 3000 - 1024);
    EXPECT_EQ(c.client.Task()->Interval(), retick);
    ASSERT_TRUE(linktest::PumpUntil([&] { return c.client.Pending() == 0; }));
    EXPECT_TRUE(c.client.Task()->IsStopped());
    EXPECT_EQ(ReceiveAll(c.peer, 3000), data);

    const unsigned char reply[5] = {0xAA, 0x55, 0x00, 0xFB, 0xFD};
    ASSERT_EQ(send(c.peer, reply, 5, 0), 5);
    unsigned char buf[64];
    int got = 0;
    ASSERT_TRUE(linktest::PumpUntil([&] {
      got += c.client.Read(buf + got, static_cast<int>(sizeof buf) - got);
      return got >= 5;
    }));
    EXPECT_EQ(got, 5);
    EXPECT_EQ(std::vector<unsigned char>(buf, buf + 5), std::vector<unsigned char>(reply, reply + 5));

    c.client.Close();
    EXPECT_FALSE(c.client.IsConnected());
    EXPECT_EQ(c.client.Write(reply, 5), 0);
    EXPECT_EQ(c.client.Read(buf, 64), 0);
    EXPECT_EQ(recv(c.peer, buf, sizeof buf, 0), 0) << "the peer sees the end";
  }
}

TEST(TcpLink, ConnectFailuresLeaveClientClosed) {
  Loopback silent(false);  // bound, not listening: the connection is refused
  cmcTcpClient client;
  EXPECT_EQ(client.Write("x", 1), 0) << "never connected";
  const char* const addresses[] = {"127.0.0.1", "256.1.1.1", "", nullptr};
  for (const char* address : addresses) {
    SCOPED_TRACE(address ? address : "(null)");
    EXPECT_FALSE(client.Connect(silent.Port(), address));
    EXPECT_FALSE(client.IsConnected());
    EXPECT_FALSE(client.WriteFailed());
    EXPECT_EQ(client.Socket(), -1);
    EXPECT_EQ(client.Write("x", 1), 0);
  }
}

TEST(TcpLink, IsBadAddressOnlyParses) {
  struct Case {
    const char* text;
    bool bad;
  };
  const Case cases[] = {
      {"256.1.1.1", true}, {"255.255.255.255", true}, {"10.0.0.1", false},
      {"127.0.0.1", false}, {"1.2.3", false},       {"abc", true},
      {"", true},          {nullptr, true},          {"1.2.3.4.5", true},
  };
  cmcTcpClient client;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text ? c.text : "(null)");
    EXPECT_EQ(client.IsBadAddress(c.text), c.bad);
    EXPECT_EQ(client.Socket(), -1) << "no socket for a parse";
    EXPECT_FALSE(client.IsConnected());
  }
}

TEST(TcpLink, QueueLimitAndStickyFailure) {
  Connected c;
  FillUntilSendFails(c.client);
  // Nothing moves any more: top the queue up to 31990 bytes.
  const int pending = c.client.Pending();
  ASSERT_LT(pending, 31990);
  const std::vector<unsigned char> big(static_cast<size_t>(31990 - pending), 0x11);
  ASSERT_EQ(c.client.Write(big.data(), static_cast<int>(big.size())), static_cast<int>(big.size()));
  ASSERT_EQ(c.client.Pending(), 31990);

  const unsigned char bytes[20] = {};
  struct Case {
    int n;
    int result;
    int pendingAfter;
  };
  for (const Case& k : {Case{20, 0, 31990}, Case{10, 0, 31990}, Case{9, 9, 31999}, Case{1, 0, 31999}}) {
    SCOPED_TRACE(k.n);
    EXPECT_EQ(c.client.Write(bytes, k.n), k.result);
    EXPECT_EQ(c.client.Pending(), k.pendingAfter);
  }

  // The failure survives Close and is cleared by the next Connect.
  c.client.Close();
  EXPECT_EQ(c.client.Pending(), 0);
  EXPECT_TRUE(c.client.WriteFailed());
  ASSERT_TRUE(c.client.Connect(c.listener.Port(), "127.0.0.1"));
  EXPECT_FALSE(c.client.WriteFailed());
}

TEST(TcpLink, ReadNeverWaitsOnceNonBlocking) {
  Connected c;
  unsigned char buf[16];
  QElapsedTimer t;
  t.start();
  // With the 100 ms receive time-out still in force this would take 3 s.
  for (int i = 0; i < 30; ++i) ASSERT_EQ(c.client.Read(buf, sizeof buf), 0);
  EXPECT_LT(t.elapsed(), 1500);
}

TEST(TcpLink, PeerThatClosesIsSurvived) {
  std::signal(SIGPIPE, SIG_DFL);  // a send without MSG_NOSIGNAL would end the test
  Connected c;
  close(c.peer);
  c.peer = -1;
  unsigned char buf[16];
  for (int i = 0; i < 5; ++i) EXPECT_EQ(c.client.Read(buf, sizeof buf), 0);
  const std::vector<unsigned char> data = Pattern(100);
  ASSERT_TRUE(linktest::PumpUntil([&] {
    c.client.Write(data.data(), 100);
    linktest::PumpFor(20);
    return c.client.WriteFailed();
  }));
  EXPECT_TRUE(c.client.IsConnected()) << "the link does not notice by itself";
}

TEST(TcpLink, DestroyedWhileDrainingLeavesNoTickBehind) {
  Loopback listener(true);
  {
    cmcTcpClient client;
    ASSERT_TRUE(client.Connect(listener.Port(), "127.0.0.1"));
    client.AsyncSelect(&g_window, 0, 0);
    const std::vector<unsigned char> data = Pattern(3000);
    ASSERT_EQ(client.Write(data.data(), 3000), 3000);
    ASSERT_FALSE(client.Task()->IsStopped());
  }
  linktest::PumpFor(50);
  SUCCEED();
}

TEST(NetStart, KeepsItsMark) {
  NetCleanup();
  EXPECT_FALSE(NetStarted());
  NetStartup();
  NetStartup();
  EXPECT_TRUE(NetStarted());
  NetCleanup();
  EXPECT_FALSE(NetStarted());
}

}  // namespace
