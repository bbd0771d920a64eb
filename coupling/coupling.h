// The TCP link to the coupled solid-mechanics program: set-up as server with a time-out or as
// client, a 16-byte handshake, and framed exchange of a header and an array of reals.
//
// Wire formats, little-endian and packed: the handshake is 16 zero bytes each way (the reply's
// first and last 32-bit words must be 0); a message is a 16-byte header (int32 code at offset 0,
// float64 value at offset 4, int32 count at offset 12) followed by count float64 values, answered
// by 16 bytes the sender does not examine. One connection per process; it is never closed.
//
// Every operation returns 0 on success and -1 on failure; on failure, when `message` is not
// null, it holds the reason, cut to fit kCouplingMessageSize characters.
#pragma once

struct Tcl_Interp;

/// Size of the message buffer every caller passes.
inline constexpr int kCouplingMessageSize = 2048;

extern "C" {

/// Creates the interpreter if absent, sets up the channel on `port` (waiting up to `timeout`
/// milliseconds for a peer when serving), then exchanges the handshake, waiting up to `timeout`
/// milliseconds for the peer's answer.
int InitCouplingLibrary(int port, int timeout, char* message);
/// Sends the header {code, value, count} and `count` values, then waits for the confirmation
/// without a limit (the peer may take long over a step).
int SendCouplingData(int code, double value, int count, const double* values, char* message);
/// Reads one header, keeps it as the current one and returns its fields.
int RetrieveCouplingHeader(int* code, double* value, int* count, char* message);
/// Reads the current header's count of values into `values`, then answers with the header with
/// its count set to 0.
int RetrieveCouplingData(double* values, char* message);
/// Creates the interpreter if absent; returns 0.
int Coupling_Init();
/// Sets up the channel once: a server on every IPv4 address of `port`, waiting up to `timeout`
/// milliseconds for a peer; when the port cannot be opened, a client of that port on the local
/// host. Messages carry `interp`'s result text.
int TCLChannel_Init(Tcl_Interp* interp, int port, int timeout, char* message);

}  // extern "C"
