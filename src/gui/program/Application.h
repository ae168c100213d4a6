// The program's application object: the application-wide error display for
// every error that no handler caught on the user-interface thread, and the
// start-up sequence of the windowed program.
// User-interface thread only.
#pragma once

#include <QApplication>

class IUserInteraction;

class TQuorApplication : public QApplication {
 public:
  TQuorApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
  // Boxes of the error display go here instead of message boxes (tests).
  void SetErrorInteraction(IUserInteraction* ui) { errorUi_ = ui; }

 private:
  IUserInteraction* errorUi_ = nullptr;
};

// Runs the windowed program: title, theme, hand-over, main window, splash,
// message loop. Returns the exit code.
int RunQuor(TQuorApplication& app);
