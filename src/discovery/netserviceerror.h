#pragma once

// Codes handed to netServiceDidNotPublish, as the network service API numbers them.
namespace NetServiceError {
inline constexpr int Unknown = -72000;
// The name is already in use on the network.
inline constexpr int Collision = -72001;
inline constexpr int NotFound = -72002;
inline constexpr int ActivityInProgress = -72003;
// The name or type is not acceptable (empty, or longer than 63 bytes in UTF-8).
inline constexpr int BadArgument = -72004;
inline constexpr int Cancelled = -72005;
inline constexpr int Invalid = -72006;
inline constexpr int Timeout = -72007;
// No responder to talk to: avahi-daemon (or the system bus) is not running.
inline constexpr int DaemonNotRunning = -65563;
} // namespace NetServiceError

// The key of the error code in an error dictionary.
inline constexpr char kNSNetServicesErrorCode[] = "NSNetServicesErrorCode";
