// ActivationListener: the running instance's end of the activation request (see
// activation_request.h). It listens on the window's socket and, for each request, runs the
// handler on the main thread with the token the request carried, then answers the sender.
//
// A plain Unix socket watched by Qt's event loop: Qt's own local server would bring Qt Network
// and, with it, a dozen libraries (Kerberos, the proxy resolver) the program loads at every start
// for this one socket.
//
// Created by the module once the main window's handle is published, destroyed before the
// window goes; the socket file goes with it. The program is the running instance while this
// exists, so a socket file already at the path is a killed instance's leftover and is replaced.
// Main thread only (it lives in the main thread's Qt event loop).
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>

class QSocketNotifier;

class ActivationListener {
 public:
  using RequestHandler = std::function<void(const std::string& token)>;
  ActivationListener(std::filesystem::path socketPath, RequestHandler onRequest);
  ~ActivationListener();

  ActivationListener(const ActivationListener&) = delete;
  ActivationListener& operator=(const ActivationListener&) = delete;

  // Starts listening; false when the socket cannot be made (later starts then reach nobody and
  // simply exit).
  bool Listen();

 private:
  struct Connection;

  void TakeConnections();
  // Reads what the sender wrote; answers and closes once a whole request came.
  void Read(int fd);
  void Close(int fd);

  std::filesystem::path socketPath;
  RequestHandler onRequest;
  int listening = -1;
  std::unique_ptr<QSocketNotifier> acceptNotifier;
  std::map<int, std::unique_ptr<Connection>> connections;  // by descriptor
};
