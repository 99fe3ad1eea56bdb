#pragma once
// CMainApp: the program's application object. It names the program for the desktop, runs the
// main window and ends the program when that window closes.

#include <QApplication>

class CMainApp : public QApplication {
 public:
  // Qt's own platform options (-platform, -display, ...) stay Qt's; the program reads none.
  CMainApp(int& argc, char** argv);

  // Runs the main window until it closes; returns false, as no event loop of the
  // application follows the window.
  bool InitInstance();
};
