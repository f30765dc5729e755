// TApplication: the program's one application object. It computes the
// application title, initialises COM for the thread as a single-threaded
// apartment for the program's lifetime, reports the failures that reach a
// window procedure and runs the message loop.
#pragma once

#include "platform/text.h"

namespace zephora {

class TfrmMain;

class TApplication {
 public:
  explicit TApplication(const Text& executablePath);
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  const Text& Title() const { return title_; }
  // The main window has a taskbar button of its own.
  bool MainFormOnTaskbar = false;

  // Shows the main window and processes messages until it is closed.
  int Run(TfrmMain& mainForm);

 private:
  Text title_;
  bool comInitialised_ = false;
};

// The executable's file name without its folder, cut before its first ".",
// every character after the first lower-cased: SETUP.EXE gives "Setup".
Text ApplicationTitle(TextView executablePath);
// The title of the running executable.
Text ApplicationTitle();

// Handles the messages already queued for this thread and returns: the
// window repaints and the queued clicks run while a long handler works.
// A request to quit stays queued for the message loop.
void ProcessMessages();

}  // namespace zephora
