// The link's operations against a test peer: the retrieve pair and its confirmation, a negative
// count, the set-up messages, and the operations before any set-up. The link holds one
// connection per process, so each exchange runs in a child process of its own.
#include "coupling/coupling.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <tcl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <latch>
#include <string>
#include <thread>

#include "tests/support/child.h"
#include "tests/support/peer.h"

namespace olvu_test {
namespace {

TEST(Coupling, OperationsBeforeSetUpFailWithTheirMessages) {
  struct Case {
    std::function<int(char*)> op;
    const char* message;
  };
  int code = 0, count = 0;
  double value = 0.0, values[1] = {0.0};
  const Case cases[] = {
      {[&](char* m) { return SendCouplingData(2, 0.0, 1, values, m); }, "Library not init when trying to send data"},
      {[&](char* m) { return RetrieveCouplingHeader(&code, &value, &count, m); },
       "Library not init when trying to retrieve h data"},
      {[&](char* m) { return RetrieveCouplingData(values, m); }, "Library not init when trying to retrieve data"},
  };
  for (const Case& c : cases) {
    char message[kCouplingMessageSize] = "";
    EXPECT_EQ(c.op(message), -1);
    EXPECT_STREQ(message, c.message);
    EXPECT_EQ(c.op(nullptr), -1);  // no buffer: nothing written
  }
  EXPECT_EQ(Coupling_Init(), 0);
}

TEST(Coupling, RetrieveAnswersWithTheHeaderAndRefusesANegativeCount) {
  PeerListener listener;  // holds the port, so the link connects as a client
  std::string handshake, confirmation, after;
  // The child is forked only once the peer thread has started and waits: a fork while a new
  // thread is still setting itself up may copy a held allocator lock into the child.
  std::latch started(1);
  std::thread peer([&] {
    started.count_down();
    PeerSocket s = listener.accept();
    handshake = s.receive(16);
    s.send(std::string(16, '\0') + Header(7, 1.5, 3) + Reals({1.25, -2.5, 1e300}));
    confirmation = s.receive(16);
    s.send(Header(8, 2.5, -1) + Reals({4.0}));
    after = s.receive(1);  // the link reads nothing more: the child's end closes it
  });
  started.wait();
  const ChildResult r = RunInChild([&] {
    char m[kCouplingMessageSize] = "";
    int code = 0, count = 0;
    double value = 0.0, v[3] = {0, 0, 0};
    // The time-out bounds only the handshake answer here: generous, so a loaded machine passes.
    if (InitCouplingLibrary(listener.port(), 60000, m) != 0) std::printf("init: %s\n", m);
    const int h = RetrieveCouplingHeader(&code, &value, &count, m);
    const int d = RetrieveCouplingData(v, m);
    std::printf("%d %d: %d %g %d: %g %g %g\n", h, d, code, value, count, v[0], v[1], v[2]);
    const int h2 = RetrieveCouplingHeader(&code, &value, &count, m);
    const int d2 = RetrieveCouplingData(v, m);
    std::printf("%d %d: %d %g %d: %s\n", h2, d2, code, value, count, m);
  });
  peer.join();
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "0 0: 7 1.5 3: 1.25 -2.5 1e+300\n"
            "0 -1: 8 2.5 -1: Failed to read data\n");
  EXPECT_EQ(handshake, std::string(16, '\0'));
  EXPECT_EQ(confirmation, Header(7, 1.5, 0));
  EXPECT_EQ(after, "");
}

TEST(Coupling, SetUpFailuresCarryTheInterpretersTextCutToTheBuffer) {
  // A port bound by a socket that does not listen: no server, and no one to connect to.
  const int held = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_ANY);
  ASSERT_EQ(bind(held, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  socklen_t len = sizeof a;
  getsockname(held, reinterpret_cast<sockaddr*>(&a), &len);
  const int heldPort = ntohs(a.sin_port);
  const int freePort = FreePort();
  const ChildResult r = RunInChild([&] {
    char m[kCouplingMessageSize] = "";
    std::printf("%d %s\n", InitCouplingLibrary(heldPort, 100, m), m);
    // A result text longer than the buffer, with a guard after the buffer's end.
    Tcl_Interp* interp = Tcl_CreateInterp();
    Tcl_SetObjResult(interp, Tcl_NewStringObj(std::string(3000, 'x').c_str(), -1));
    char guarded[kCouplingMessageSize + 16];
    std::memset(guarded, '#', sizeof guarded);
    const int s = TCLChannel_Init(interp, freePort, 100, guarded);
    std::printf("%d %zu [%.30s] [%.16s]\n", s, std::strlen(guarded), guarded, guarded + kCouplingMessageSize);
  });
  close(held);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "-1 Failed as client (couldn't open socket: connection refused)\n"
            "-1 2047 [Failed as server, timeout (xxx] [################]\n");
}

}  // namespace
}  // namespace olvu_test
