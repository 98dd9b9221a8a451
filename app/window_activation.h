// Bringing the running window to the front for a later start, with the activation token the
// desktop gave that start (activation_request.h). Window managers that guard the focus let a
// window take it only for a recent click of the user; the token is the proof of that click.
//
// On Wayland the token is Qt's to present: it takes XDG_ACTIVATION_TOKEN from the environment
// when the window next asks to be activated. On X11 the token is a startup notification id: the
// window asks the window manager for the focus with the time of the click the id carries, and
// the launch the id stands for is ended ("remove"), so the desktop's busy cursor stops. Main
// thread, around the activation message.
#pragma once

#include <string>

class QWidget;

// Before the window handles the activation message.
void PrepareWindowActivation(const std::string& token);

// After it has been shown and raised.
void FinishWindowActivation(QWidget* window, const std::string& token);
