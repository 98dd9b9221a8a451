// Sends what a window manager sends on Alt+F4 or a click on its close box: a WM_DELETE_WINDOW
// client message. Kept apart from the tests because Xlib's macros clash with Qt and GoogleTest.
#pragma once

bool SendCloseRequest(const char* display, unsigned long window);
