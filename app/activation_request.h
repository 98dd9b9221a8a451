// The activation request a later start sends to the running instance, over a local socket.
//
// The running instance listens on a socket in the session's runtime folder named from the window
// handle it published in the shared window slot, so a start that reads the handle knows where to
// knock. The request is one line: the request byte, then the activation token the desktop gave
// the later start (XDG_ACTIVATION_TOKEN, or DESKTOP_STARTUP_ID on X11; empty without one), then
// LF. It carries nothing else (no path, no command line). The token is what lets the running
// window come to the front where the window manager guards the focus: the instance turns the
// request into the activation message on its main thread, spends the token there, and answers
// with one byte once the window has handled it. The sender waits for that answer for a limited
// time only: a running instance whose main thread hangs must not hang every later start with it.
//
// The sending side is plain POSIX (a start that hands off builds no application); the listening
// side is ActivationListener. Any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

inline constexpr char kActivationRequestByte = 'A';
inline constexpr char kActivationHandledByte = 'K';

// The longest token that travels; a longer one, or one with other characters than printable
// ASCII without blank, quote and backslash, is dropped (the request still travels).
inline constexpr size_t kMaxActivationTokenLength = 512;

// The token if it is one that may travel, else empty.
std::string ValidActivationToken(std::string_view token);

// The activation token this start was given by the desktop: XDG_ACTIVATION_TOKEN, else
// DESKTOP_STARTUP_ID; empty when neither holds a valid one.
std::string ActivationTokenFromEnvironment();

// The X server time of the click that started a launch, where its startup id carries one
// ("..._TIME<decimal>", as the freedesktop startup notification ids do); nullopt otherwise.
std::optional<std::uint32_t> StartupTimestamp(std::string_view token);

// The request line for `token` (already valid or empty).
std::string ActivationRequestLine(std::string_view token);

// What the listener makes of the bytes received so far: nullopt while the line is incomplete;
// then the token (empty when none, or when it is not valid). `isRequest` false: not a request.
std::optional<std::string> ParseActivationRequest(std::string_view received, bool* isRequest);

// How long a start waits for the running instance to answer.
inline constexpr std::chrono::milliseconds kActivationAnswerLimit{5000};

// The socket of the window `windowHandle` in `folder`; empty when either is missing.
std::filesystem::path ActivationSocketPath(const std::filesystem::path& folder,
                                           std::uint32_t windowHandle);

enum class ActivationResult {
  kHandled,     // the window handled the request and said so
  kNoListener,  // nobody listens there (no instance, or one that was killed)
  kUnanswered,  // it took the request but gave no answer within the limit, or hung up
};

ActivationResult SendActivationRequest(const std::filesystem::path& socketPath,
                                       std::chrono::milliseconds limit,
                                       std::string_view token = {});
