// The program's set-up of the coupling link against a test peer: as server (the peer connects)
// and as client (the peer holds the port), each with the handshake replies that pass and fail.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "tests/driver/run_olvu.h"
#include "tests/support/peer.h"

namespace olvu_test {
namespace {

// 16 bytes with the given words at offsets 0, 4, 8 and 12.
std::string Block(int a, int b, int c, int d) {
  std::string s(16, '\0');
  const int w[4] = {a, b, c, d};
  std::memcpy(s.data(), w, 16);
  return s;
}

TEST(CouplingSetUp, HandshakeAsServerAndAsClient) {
  // An accepted handshake lets the run go on to the (missing) data file. The peer holds the
  // connection after its reply until the program closes it, unless it closes first; a silent one
  // makes the program give up after its time-out, long before the peer's own limit.
  const std::string accepted = ErrFile("Cannot find input file \"box\"\n");
  const struct {
    const char* what;
    std::string reply;
    std::string err;
    bool hold = true;
    const char* timeout = "60000";
  } replies[] = {
      {"zeros", Block(0, 0, 0, 0), accepted},
      {"noise in bytes 4 to 11", Block(0, -1, 0x12345678, 0), accepted},
      {"first word", Block(1, 0, 0, 0), ErrFile("Failed to read check data. It is corrupted\n")},
      {"last word", Block(0, 0, 0, 1 << 24), ErrFile("Failed to read check data. It is corrupted\n")},
      {"short, then closed", std::string(8, '\0'), ErrFile("Failed to read check data\n"), false},
      {"silent", "", ErrFile("Failed to read check data\n"), true, "500"},
  };
  for (const bool server : {true, false}) {
    for (const auto& c : replies) {
      SCOPED_TRACE(std::string(server ? "server, " : "client, ") + c.what);
      Folder dir;
      dir.write("box.rst", "an earlier run's restart file\n");
      PeerListener listener;  // the client path's peer; unused on the server path
      const int port = server ? FreePort() : listener.port();
      std::string handshake;
      bool closedByProgram = !c.hold;
      std::thread peer([&] {
        PeerSocket s = server ? ConnectTo(port) : listener.accept();
        handshake = s.receive(16);
        s.send(c.reply);
        if (c.hold) closedByProgram = s.closedByOther();
      });
      const Outcome r = dir.olvu({"-coupling", std::to_string(port), c.timeout, "-name", "box"});
      peer.join();
      EXPECT_EQ(handshake, std::string(16, '\0'));
      EXPECT_TRUE(closedByProgram);
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(dir.read("box.err"), c.err);
      EXPECT_EQ(WithoutHeapNotes(dir.read("box.war")), " -->\tInitialising Kelvarid coupling\n");
      EXPECT_EQ(dir.read("box.rst"), "an earlier run's restart file\n");
    }
  }
}

}  // namespace
}  // namespace olvu_test
