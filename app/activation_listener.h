// ActivationListener: the running instance's end of the activation request (see
// activation_request.h). It listens on the window's socket and, for each request, runs the
// handler on the main thread with the token the request carried, then answers the sender.
//
// Created by the module once the main window's handle is published, destroyed before the
// window goes; the socket file goes with it. The program is the running instance while this
// exists, so a socket file already at the path is a killed instance's leftover and is replaced.
// Main thread only (it lives in the main thread's Qt event loop).
#pragma once

#include <QLocalServer>
#include <QObject>
#include <filesystem>
#include <functional>
#include <string>

class ActivationListener : public QObject {
 public:
  using RequestHandler = std::function<void(const std::string& token)>;
  ActivationListener(std::filesystem::path socketPath, RequestHandler onRequest);
  ~ActivationListener() override;

  ActivationListener(const ActivationListener&) = delete;
  ActivationListener& operator=(const ActivationListener&) = delete;

  // Starts listening; false when the socket cannot be made (later starts then reach nobody and
  // simply exit).
  bool Listen();

 private:
  void TakeConnections();
  void Answer(class QLocalSocket* socket, std::string* received);

  std::filesystem::path socketPath;
  RequestHandler onRequest;
  QLocalServer server;
};
