// The later start's side of the hand-off: one line out (the request and the desktop's activation
// token), one byte back, and a limit on the wait; and what the listener makes of the line.

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "app/activation_request.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace std::chrono_literals;

// A listening socket at `path`; -1 on failure.
int Listen(const std::filesystem::path& path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 4) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

class ActivationRequestTest : public ::testing::Test {
 protected:
  testsupport::TempDir folder{"sonaclip-activation-test"};
  std::filesystem::path path = ActivationSocketPath(folder.path(), 0x10010);
};

TEST_F(ActivationRequestTest, TheSocketIsNamedFromTheWindowHandle) {
  EXPECT_EQ(path.filename(), "TaVioSonaclipActivate.00010010");
  EXPECT_EQ(path.parent_path(), folder.path());
  EXPECT_TRUE(ActivationSocketPath(folder.path(), 0).empty());
  EXPECT_TRUE(ActivationSocketPath({}, 0x10010).empty());
}

// What the instance answered with, and what it received, for one request carrying `token`.
struct Exchange {
  ActivationResult result;
  std::string received;
};

Exchange SendTo(const std::filesystem::path& path, std::string_view token) {
  Exchange exchange{ActivationResult::kNoListener, ""};
  const int listener = Listen(path);
  if (listener < 0) return exchange;
  std::thread instance([&] {
    const int connection = accept(listener, nullptr, nullptr);
    char buffer[1024];
    while (exchange.received.find('\n') == std::string::npos) {
      const ssize_t got = read(connection, buffer, sizeof buffer);
      if (got <= 0) break;
      exchange.received.append(buffer, static_cast<size_t>(got));
    }
    EXPECT_EQ(write(connection, &kActivationHandledByte, 1), 1);
    // The sender hangs up after the answer: nothing else follows the request.
    while (read(connection, buffer, sizeof buffer) > 0)
      exchange.received.append(buffer, 1);
    close(connection);
  });
  exchange.result = SendActivationRequest(path, 5000ms, token);
  instance.join();
  close(listener);
  return exchange;
}

TEST_F(ActivationRequestTest, HandledWhenTheInstanceAnswersAndOnlyTheRequestAndTokenTravel) {
  Exchange plain = SendTo(path, "");
  EXPECT_EQ(plain.result, ActivationResult::kHandled);
  EXPECT_EQ(plain.received, "A\n");
  std::filesystem::remove(path);
  Exchange withToken = SendTo(path, "sonaclip-42_TIME1234");
  EXPECT_EQ(withToken.result, ActivationResult::kHandled);
  EXPECT_EQ(withToken.received, "Asonaclip-42_TIME1234\n");
}

// The listener's reading of what came so far, and the click time a startup id carries.
TEST(ActivationTokenTest, TheListenerReadsOnlyValidTokensOfCompleteLines) {
  const std::string longest(kMaxActivationTokenLength, 't');
  const struct {
    std::string received;
    bool isRequest;
    std::optional<std::string> token;  // nullopt: wait for more
  } cases[] = {
      {"", false, std::nullopt},
      {"A", true, std::nullopt},
      {"Atok", true, std::nullopt},
      {"A\n", true, ""},
      {"Agnome-shell/sonaclip/7-0-host_TIME123\n", true, "gnome-shell/sonaclip/7-0-host_TIME123"},
      {"A" + longest + "\n", true, longest},
      {"A" + longest + "t\n", true, ""},          // too long: dropped
      {"A" + longest + "tt", true, ""},            // no end in sight: a request without token
      {"Awith blank\n", true, ""},
      {"Aquote\"\n", true, ""},
      {"Aback\\slash\n", true, ""},
      {"A\x01\n", true, ""},
      {"Xjunk\n", false, ""},
  };
  for (const auto& c : cases) {
    bool isRequest = false;
    EXPECT_EQ(ParseActivationRequest(c.received, &isRequest), c.token) << c.received;
    EXPECT_EQ(isRequest, c.isRequest) << c.received;
  }
  EXPECT_EQ(StartupTimestamp("launcher-1-host-prog-0_TIME4294967295"), 4294967295u);
  EXPECT_EQ(StartupTimestamp("a_TIME9_TIME77"), 77u);
  for (const char* none : {"", "no-time", "x_TIME", "x_TIME12a", "x_TIME4294967296", "x_TIME0"})
    EXPECT_EQ(StartupTimestamp(none), std::nullopt) << none;
}

TEST_F(ActivationRequestTest, NobodyListeningAtALeftoverSocketIsNoListener) {
  EXPECT_EQ(SendActivationRequest(path, 1000ms), ActivationResult::kNoListener);
  // A killed instance leaves its socket file behind, with nobody accepting on it.
  close(Listen(path));
  ASSERT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(SendActivationRequest(path, 1000ms), ActivationResult::kNoListener);
}

TEST_F(ActivationRequestTest, AnInstanceThatNeverAnswersCostsTheLimitOnly) {
  const int listener = Listen(path);  // accepts in the kernel, never answers
  ASSERT_GE(listener, 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(SendActivationRequest(path, 300ms), ActivationResult::kUnanswered);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
  close(listener);
}

TEST_F(ActivationRequestTest, AnInstanceThatHangsUpWithoutAnsweringIsUnanswered) {
  const int listener = Listen(path);
  ASSERT_GE(listener, 0);
  std::thread instance([&] { close(accept(listener, nullptr, nullptr)); });
  EXPECT_EQ(SendActivationRequest(path, 5000ms), ActivationResult::kUnanswered);
  instance.join();
  close(listener);
}

}  // namespace
