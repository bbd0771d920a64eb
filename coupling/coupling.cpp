// The coupling link over one Tcl channel: set-up, handshake, framed send and retrieve.
#include "coupling/coupling.h"

#include <tcl.h>

#include <algorithm>
#include <bit>
#include <csignal>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

// Values go on the wire as they lie in memory.
static_assert(std::endian::native == std::endian::little, "the coupling frames are little-endian");

namespace {

/// One header of the link: a code, a value and the count of reals that follow.
struct CouplingHeader {
  std::int32_t code = 0;   ///< message code
  double value = 0.0;      ///< message value (the time of a send)
  std::int32_t count = 0;  ///< count of reals that follow (of the retrieve: still to read)
};

constexpr long kBlock = 16;       // bytes of a handshake, a header or a confirmation
constexpr long kChunk = 1 << 20;  // largest piece handed to one channel read or write

Tcl_Interp* Globalinterp = nullptr;   // created on first use, never deleted
Tcl_Channel Globalchannel = nullptr;  // the connected channel; null until set-up succeeds
int FailedChannel = 0;                // set by the set-up time-out
CouplingHeader GlobalCdataHeader;     // the last header received

// Writes the formatted message into `message` (cut to the buffer), when there is one; gives -1.
[[gnu::format(printf, 2, 3)]] int Fail(char* message, const char* format, ...) {
  if (message) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, kCouplingMessageSize, format, args);
    va_end(args);
  }
  return -1;
}

// The header h in its packed 16-byte layout.
void Encode(const CouplingHeader& h, unsigned char* b) {
  std::memcpy(b, &h.code, 4);
  std::memcpy(b + 4, &h.value, 8);
  std::memcpy(b + 12, &h.count, 4);
}

// The header held in a packed 16-byte block.
CouplingHeader Decode(const unsigned char* b) {
  CouplingHeader h;
  std::memcpy(&h.code, b, 4);
  std::memcpy(&h.value, b + 4, 8);
  std::memcpy(&h.count, b + 12, 4);
  return h;
}

// Writes n bytes to the channel, piece by piece; false when a write reports an error.
bool WriteBytes(const void* bytes, long n) {
  const auto* p = static_cast<const unsigned char*>(bytes);
  Tcl_Obj* obj = Tcl_NewObj();
  Tcl_IncrRefCount(obj);
  bool ok = true;
  for (long done = 0; ok && done < n; done += kChunk) {
    const int len = int(std::min(n - done, kChunk));
    Tcl_SetByteArrayObj(obj, p + done, len);
    ok = Tcl_WriteObj(Globalchannel, obj) == len;
  }
  Tcl_DecrRefCount(obj);
  return ok;
}

// Reads exactly n bytes from the channel into `bytes`; false on an error or an early end of data.
bool ReadBytes(void* bytes, long n) {
  auto* p = static_cast<unsigned char*>(bytes);
  Tcl_Obj* obj = Tcl_NewObj();
  Tcl_IncrRefCount(obj);
  bool ok = true;
  for (long done = 0; ok && done < n; done += kChunk) {
    const int want = int(std::min(n - done, kChunk));
    int len = 0;
    ok = Tcl_ReadChars(Globalchannel, obj, want, 0) == want;
    const unsigned char* got = Tcl_GetByteArrayFromObj(obj, &len);
    ok = ok && len == want;
    if (ok) std::memcpy(p + done, got, std::size_t(want));
  }
  Tcl_DecrRefCount(obj);
  return ok;
}

// Channel callback of a bounded read: being called is all it is for, it ends the event wait.
void Readable(ClientData, int) {}

// Time-out callback of the set-up wait and of a bounded read.
void TimeOut(ClientData) { FailedChannel = 1; }

// Reads exactly n bytes like ReadBytes, but gives up when they have not all come within `timeout`
// milliseconds: the channel reads without blocking while the event loop waits for data or the
// timer. The channel blocks again afterwards.
bool ReadBytesWithin(void* bytes, long n, int timeout) {
  auto* p = static_cast<unsigned char*>(bytes);
  Tcl_SetChannelOption(nullptr, Globalchannel, "-blocking", "0");
  FailedChannel = 0;
  Tcl_TimerToken timer = Tcl_CreateTimerHandler(timeout, TimeOut, nullptr);
  Tcl_CreateChannelHandler(Globalchannel, TCL_READABLE, Readable, nullptr);
  Tcl_Obj* obj = Tcl_NewObj();
  Tcl_IncrRefCount(obj);
  bool ok = true;
  for (long done = 0; ok && done < n;) {
    const int got = Tcl_ReadChars(Globalchannel, obj, int(std::min(n - done, kChunk)), 0);
    int len = 0;
    const unsigned char* data = Tcl_GetByteArrayFromObj(obj, &len);
    if (got < 0 || len != got) {
      ok = false;
    } else if (got > 0) {
      std::memcpy(p + done, data, std::size_t(got));
      done += got;
    } else if (Tcl_Eof(Globalchannel) || FailedChannel) {
      ok = false;
    } else {
      Tcl_DoOneEvent(TCL_ALL_EVENTS);
    }
  }
  Tcl_DecrRefCount(obj);
  Tcl_DeleteChannelHandler(Globalchannel, Readable, nullptr);
  Tcl_DeleteTimerHandler(timer);
  Tcl_SetChannelOption(nullptr, Globalchannel, "-blocking", "1");
  return ok;
}

// Accept callback of the set-up server: the first peer becomes the channel, later ones are refused.
void Accept(ClientData, Tcl_Channel channel, char*, int) {
  if (Globalchannel) {
    Tcl_Close(nullptr, channel);
    return;
  }
  Tcl_RegisterChannel(nullptr, channel);
  Globalchannel = channel;
}

}  // namespace

extern "C" {

int Coupling_Init() {
  if (!Globalinterp) {
    // A peer that goes away while a frame is written must end in a message, not in the signal.
    std::signal(SIGPIPE, SIG_IGN);
    Tcl_FindExecutable(nullptr);
    Globalinterp = Tcl_CreateInterp();
  }
  return 0;
}

int TCLChannel_Init(Tcl_Interp* interp, int port, int timeout, char* message) {
  if (Globalchannel) return 0;
  // IPv4 only: a server on every address family would leave an IPv4 peer that holds the port
  // unnoticed, and the client fallback would never run.
  Tcl_Channel server = Tcl_OpenTcpServer(interp, port, "0.0.0.0", Accept, nullptr);
  if (server) {
    FailedChannel = 0;
    Tcl_TimerToken timer = Tcl_CreateTimerHandler(timeout, TimeOut, nullptr);
    while (!FailedChannel && !Globalchannel) Tcl_DoOneEvent(TCL_ALL_EVENTS);
    Tcl_DeleteTimerHandler(timer);
    if (!Globalchannel) {
      const char* text = Tcl_GetStringResult(interp);
      return Fail(message,
                  "Failed as server, timeout (%s%sno peer connected to port %d within %d ms).\n"
                  "\tStart the coupled program so that it connects to port %d while this one waits, or give a "
                  "longer time-out (the number after the port, in milliseconds)",
                  text, *text ? "; " : "", port, timeout, port);
    }
    Tcl_SetChannelOption(interp, Globalchannel, "-translation", "binary");
    return 0;
  }
  Tcl_Channel client = Tcl_OpenTcpClient(interp, port, "localhost", nullptr, 0, 0);
  if (!client) return Fail(message, "Failed as client (%s)", Tcl_GetStringResult(interp));
  Tcl_RegisterChannel(nullptr, client);
  Globalchannel = client;
  Tcl_SetChannelOption(interp, Globalchannel, "-translation", "binary");
  return 0;
}

int InitCouplingLibrary(int port, int timeout, char* message) {
  Coupling_Init();
  if (TCLChannel_Init(Globalinterp, port, timeout, message) == -1) return -1;
  unsigned char check[kBlock] = {};
  if (!WriteBytes(check, kBlock)) return Fail(message, "Failed to write check data");
  if (Tcl_Flush(Globalchannel) != TCL_OK) return Fail(message, "Failed to flush check data");
  // A peer that takes the handshake and never answers would hold the program for as long as it
  // keeps the connection: the answer gets the set-up's time-out. The confirmations of the sends
  // wait without a limit, as the peer may take long over a step.
  if (!ReadBytesWithin(check, kBlock, timeout)) return Fail(message, "Failed to read check data");
  const CouplingHeader reply = Decode(check);
  if (reply.code != 0 || reply.count != 0) return Fail(message, "Failed to read check data. It is corrupted");
  return 0;
}

int SendCouplingData(int code, double value, int count, const double* values, char* message) {
  if (!Globalchannel) return Fail(message, "Library not init when trying to send data");
  if (count < 0) return Fail(message, "Failed to write header data");
  unsigned char block[kBlock];
  Encode(CouplingHeader{code, value, count}, block);
  if (!WriteBytes(block, kBlock)) return Fail(message, "Failed to write header data");
  if (!WriteBytes(values, 8L * count)) return Fail(message, "Failed to write data");
  if (Tcl_Flush(Globalchannel) != TCL_OK) return Fail(message, "Failed to flush data");
  if (!ReadBytes(block, kBlock)) return Fail(message, "Failed to read confirm data");
  return 0;
}

int RetrieveCouplingHeader(int* code, double* value, int* count, char* message) {
  if (!Globalchannel) return Fail(message, "Library not init when trying to retrieve h data");
  unsigned char block[kBlock];
  if (!ReadBytes(block, kBlock)) return Fail(message, "Failed to read header data");
  GlobalCdataHeader = Decode(block);
  *code = GlobalCdataHeader.code;
  *value = GlobalCdataHeader.value;
  *count = GlobalCdataHeader.count;
  return 0;
}

int RetrieveCouplingData(double* values, char* message) {
  if (!Globalchannel) return Fail(message, "Library not init when trying to retrieve data");
  // A negative count would otherwise read to the end of the data into the caller's array.
  if (GlobalCdataHeader.count < 0 || !ReadBytes(values, 8L * GlobalCdataHeader.count))
    return Fail(message, "Failed to read data");
  GlobalCdataHeader.count = 0;
  unsigned char block[kBlock];
  Encode(GlobalCdataHeader, block);
  if (!WriteBytes(block, kBlock)) return Fail(message, "Failed to write after read data");
  if (Tcl_Flush(Globalchannel) != TCL_OK) return Fail(message, "Failed to flush after read data");
  return 0;
}

}  // extern "C"
