#include "tests/support/peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace olvu_test {

namespace {

// An IPv4 address of `host` (network order) and `port`.
sockaddr_in Address(in_addr_t host, int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = host;
  a.sin_port = htons(static_cast<uint16_t>(port));
  return a;
}

// The port a bound socket holds.
int BoundPort(int fd) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  return ntohs(a.sin_port);
}

// Bounds every receive and send of a connection by the peer's time-out.
void Bound(int fd) {
  timeval t{kPeerTimeout, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &t, sizeof t);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &t, sizeof t);
}

}  // namespace

int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = Address(htonl(INADDR_ANY), 0);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  const int port = BoundPort(fd);
  ::close(fd);
  return port;
}

bool PeerSocket::send(const std::string& bytes) {
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += std::size_t(n);
  }
  return true;
}

std::string PeerSocket::receive(std::size_t n) {
  std::string got(n, '\0');
  std::size_t done = 0;
  while (done < n) {
    const ssize_t r = ::recv(fd_, got.data() + done, n - done, 0);
    if (r <= 0) break;
    done += std::size_t(r);
  }
  got.resize(done);
  return got;
}

bool PeerSocket::closedByOther() {
  char drop[256];
  for (;;) {
    const ssize_t r = ::recv(fd_, drop, sizeof drop, 0);
    if (r <= 0) return r == 0;
  }
}

void PeerSocket::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

PeerListener::PeerListener() {
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = Address(htonl(INADDR_LOOPBACK), 0);
  bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
  listen(fd_, 4);
  port_ = BoundPort(fd_);
}

PeerListener::~PeerListener() { ::close(fd_); }

PeerSocket PeerListener::accept() {
  pollfd p{fd_, POLLIN, 0};
  if (poll(&p, 1, kPeerTimeout * 1000) != 1) return PeerSocket();
  const int fd = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd >= 0) Bound(fd);
  return PeerSocket(fd);
}

PeerSocket ConnectTo(int port) {
  // The program under test starts listening some time after it is started.
  constexpr int kAttempts = 20 * kPeerTimeout;
  for (int i = 0; i < kAttempts; ++i) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = Address(htonl(INADDR_LOOPBACK), port);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
      Bound(fd);
      return PeerSocket(fd);
    }
    ::close(fd);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return PeerSocket();
}

std::string Header(int code, double value, int count) {
  std::string b(16, '\0');
  std::memcpy(b.data(), &code, 4);
  std::memcpy(b.data() + 4, &value, 8);
  std::memcpy(b.data() + 12, &count, 4);
  return b;
}

std::string Reals(const std::vector<double>& values) {
  std::string b(8 * values.size(), '\0');
  if (!values.empty()) std::memcpy(b.data(), values.data(), b.size());
  return b;
}

std::vector<Frame> ServeFrames(PeerSocket& s, std::string& bytes, const std::string& reply, std::size_t stopAt) {
  std::vector<Frame> frames;
  // At most n more bytes, and none beyond stopAt.
  auto upTo = [&](std::size_t n) { return stopAt > 0 ? std::min(n, stopAt - std::min(stopAt, bytes.size())) : n; };
  for (;;) {
    const std::size_t hn = upTo(16);
    const std::string head = s.receive(hn);
    bytes += head;
    if (head.size() < 16) break;
    Frame f;
    std::memcpy(&f.code, head.data(), 4);
    std::memcpy(&f.value, head.data() + 4, 8);
    std::memcpy(&f.count, head.data() + 12, 4);
    const std::size_t n = f.count > 0 ? 8 * std::size_t(f.count) : 0;
    const std::size_t dn = upTo(n);
    const std::string data = s.receive(dn);
    bytes += data;
    if (data.size() < n) break;
    f.values.resize(std::size_t(f.count > 0 ? f.count : 0));
    if (n > 0) std::memcpy(f.values.data(), data.data(), n);
    frames.push_back(std::move(f));
    if (!reply.empty()) s.send(reply);
    if (stopAt > 0 && bytes.size() >= stopAt) break;
  }
  s.close();
  return frames;
}

}  // namespace olvu_test
