// The activation request a later start sends to the running instance, over a local socket.
//
// The running instance listens on a socket in the session's runtime folder named from the window
// handle it published in the shared window slot, so a start that reads the handle knows where to
// knock. The request is one byte and carries nothing else (no path, no command line); the
// instance turns it into the activation message on its main thread and answers with one byte
// once the window has handled it. The sender waits for that answer for a limited time only: a
// running instance whose main thread hangs must not hang every later start with it.
//
// The sending side is plain POSIX (a start that hands off builds no application); the listening
// side is ActivationListener. Any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>

inline constexpr char kActivationRequestByte = 'A';
inline constexpr char kActivationHandledByte = 'K';

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
                                       std::chrono::milliseconds limit);
