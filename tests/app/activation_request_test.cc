// The later start's side of the hand-off: one byte out, one byte back, and a limit on the wait.

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
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

TEST_F(ActivationRequestTest, HandledWhenTheInstanceAnswersAndOnlyTheRequestTravels) {
  const int listener = Listen(path);
  ASSERT_GE(listener, 0);
  std::string received;
  std::thread instance([&] {
    const int connection = accept(listener, nullptr, nullptr);
    char buffer[64];
    const ssize_t got = read(connection, buffer, sizeof buffer);
    if (got > 0)
      received.assign(buffer, static_cast<size_t>(got));
    EXPECT_EQ(write(connection, &kActivationHandledByte, 1), 1);
    // The sender hangs up after the answer: nothing else follows the request.
    while (read(connection, buffer, sizeof buffer) > 0)
      received.append(buffer, 1);
    close(connection);
  });
  EXPECT_EQ(SendActivationRequest(path, 5000ms), ActivationResult::kHandled);
  instance.join();
  close(listener);
  EXPECT_EQ(received, std::string(1, kActivationRequestByte));
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
