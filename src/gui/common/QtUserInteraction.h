// The question and warning boxes of the window-free core, answered with Qt
// message boxes over a parent window, and the application-wide error display.
//
// Borrowed by the core for one call at a time; user-interface thread only.
#pragma once

#include <QString>
#include <QWidget>

#include <exception>
#include <string>

#include "app/UserInteraction.h"

class TQtUserInteraction : public IUserInteraction {
 public:
  explicit TQtUserInteraction(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }

  bool AskYesNo(const std::string& caption, const std::string& text, bool defaultYes) override;
  void ShowWarning(const std::string& caption, const std::string& text) override;
  void ShowMessage(const std::string& caption, const std::string& text) override;
  void ShowInformation(const std::string& caption, const std::string& text) override;
  void Beep() override;

 private:
  QWidget* parent_;
};

// The application-wide error display for an error nothing caught on the
// user-interface thread: the engine's errors with the warning icon, others
// with the error icon, an access violation not at all. `ui` (may be null)
// receives warnings instead of a box, for tests.
void ShowUnhandledError(std::exception_ptr error, QWidget* parent, IUserInteraction* ui = nullptr);

inline QString Q(const std::string& text) { return QString::fromStdString(text); }
inline std::string S(const QString& text) { return text.toStdString(); }
