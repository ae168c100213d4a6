// The few modal boxes that the program's code asks for: a yes/no question, a
// warning, a plain message, a piece of information, and the beep for a
// refused key. The windowed program answers them with message boxes; the
// command-line converter and the tests use TDefaultUserInteraction, which
// takes the default button and keeps what it was shown.
//
// An implementation is owned by whoever passes it in; the callers only
// borrow it for one call. Used on the user-interface thread only (the boxes
// are modal there), so no lock guards the collected texts.
#pragma once

#include <string>
#include <vector>

class IUserInteraction {
 public:
  virtual ~IUserInteraction() = default;
  // A box with Yes and No buttons and the question icon; true for Yes.
  // `defaultYes` names the button that a plain Enter would press.
  virtual bool AskYesNo(const std::string& caption, const std::string& text, bool defaultYes) = 0;
  // A box with the warning icon and an OK button.
  virtual void ShowWarning(const std::string& caption, const std::string& text) = 0;
  // A plain box (no icon) with an OK button; a warning where nothing plainer exists.
  virtual void ShowMessage(const std::string& caption, const std::string& text) {
    ShowWarning(caption, text);
  }
  // A box with the information icon and an OK button; a plain one where
  // there is no icon.
  virtual void ShowInformation(const std::string& caption, const std::string& text) {
    ShowMessage(caption, text);
  }
  // The desktop's beep for a refused key.
  virtual void Beep() {}
};

// Answers every question with its default button and remembers every box,
// so that an unattended run behaves as a user who only presses Enter, and a
// test can see what would have been shown.
class TDefaultUserInteraction : public IUserInteraction {
 public:
  struct TShownBox {
    std::string Caption;
    std::string Text;
  };

  bool AskYesNo(const std::string& caption, const std::string& text, bool defaultYes) override {
    Questions.push_back({caption, text});
    return defaultYes;
  }
  void ShowWarning(const std::string& caption, const std::string& text) override {
    Warnings.push_back({caption, text});
  }
  void ShowMessage(const std::string& caption, const std::string& text) override {
    Messages.push_back({caption, text});
  }
  void Beep() override { ++Beeps; }

  std::vector<TShownBox> Questions;
  std::vector<TShownBox> Warnings;
  std::vector<TShownBox> Messages;
  int Beeps = 0;
};
