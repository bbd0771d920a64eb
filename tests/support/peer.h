// The coupled program's side of the coupling link, played by the tests on 127.0.0.1: plain
// sockets, every wait bounded by the peer's own time-out, and the link's frame layout.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace olvu_test {

/// Seconds any single wait of the peer (accept, receive, send) lasts at most.
inline constexpr int kPeerTimeout = 60;

/// A port nobody listens on: the one the system picks for port 0 on every IPv4 address, released.
int FreePort();

/// One connection of the peer (close-on-exec, so a program run by the test never holds it).
class PeerSocket {
 public:
  explicit PeerSocket(int fd = -1) : fd_(fd) {}
  PeerSocket(PeerSocket&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
  PeerSocket& operator=(PeerSocket&&) = delete;
  PeerSocket& operator=(const PeerSocket&) = delete;
  ~PeerSocket() { close(); }

  /// True while connected.
  bool valid() const { return fd_ >= 0; }
  /// Sends all of `bytes`; false on an error.
  bool send(const std::string& bytes);
  /// Up to n bytes: fewer when the other side closes, a fault occurs or the time-out passes.
  std::string receive(std::size_t n);
  /// Drops what arrives until the other side closes: true then, false when the time-out passes
  /// first or a fault occurs.
  bool closedByOther();
  /// Closes the connection.
  void close();

 private:
  int fd_;
};

/// A listening socket on 127.0.0.1 at a port the system picks.
class PeerListener {
 public:
  PeerListener();
  ~PeerListener();
  PeerListener(const PeerListener&) = delete;
  PeerListener& operator=(const PeerListener&) = delete;

  /// The port listened on.
  int port() const { return port_; }
  /// The next connection; invalid when none comes within the time-out.
  PeerSocket accept();

 private:
  int fd_ = -1;
  int port_ = 0;
};

/// Connects to 127.0.0.1:port, trying again a bounded number of times while nobody listens yet.
PeerSocket ConnectTo(int port);

/// The 16-byte header {code, value, count} of the link.
std::string Header(int code, double value, int count);
/// `values` as the link's reals.
std::string Reals(const std::vector<double>& values);

/// One received message of the link.
struct Frame {
  int code = 0;                ///< header code
  double value = 0.0;          ///< header value
  int count = 0;               ///< header count
  std::vector<double> values;  ///< the reals that followed
};
/// Receives frames, answering each whole one with `reply` (nothing when empty), until the other
/// side closes or, with a positive `stopAt`, `bytes` holds stopAt bytes; then closes. Everything
/// received lands in `bytes`, the whole frames in the result.
std::vector<Frame> ServeFrames(PeerSocket& s, std::string& bytes, const std::string& reply, std::size_t stopAt = 0);

}  // namespace olvu_test
