// Shared by the window tests: a private settings folder, home folder and
// "open" command per test, the real main window on the offscreen platform,
// and waiting while the event loop (and the hand-over) turns.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/UserInteraction.h"
#include "gui/common/QtHandOver.h"
#include "gui/widgets/FormatListBox.h"
#include "gui/windows/main/winMain.h"
#include "platform/Environment.h"
#include "support/BatchTestSupport.h"
#include "support/UserInput.h"

// Answers boxes like TDefaultUserInteraction, but the answer to questions
// can be set.
class TScriptedUi : public TDefaultUserInteraction {
 public:
  bool AskYesNo(const std::string& caption, const std::string& text, bool defaultYes) override {
    TDefaultUserInteraction::AskYesNo(caption, text, defaultYes);
    return Answer;
  }
  bool Answer = true;
};

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = scratch_.Sub("home");
    appData_ = scratch_.Sub("appdata");
    opened_ = scratch_.Path() + "opened.txt";
    const std::string opener = scratch_.Path() + "open.sh";
    std::ofstream(opener) << "#!/bin/sh\necho \"$1\" >> '" << opened_ << "'\n";
    std::filesystem::permissions(opener, std::filesystem::perms::owner_all);
    platform::SetEnv("HOME", home_.substr(0, home_.size() - 1));
    platform::SetEnv("QUOR_APPDATA", appData_);
    platform::SetEnv("QUOR_OPEN_COMMAND", opener);
    platform::SetEnv("QUOR_SHUTDOWN_COMMAND", "true");
    handOver_ = std::make_unique<TQtHandOver>();
    main_ = std::make_unique<TfrmMain>();
    main_->SetUserInteraction(&ui_);
    main_->show();
    QApplication::processEvents();
  }
  void TearDown() override {
    if (main_) main_->CloseWithoutQuestion();
    main_.reset();
    handOver_.reset();
  }
  // Turns the event loop until `done` holds; false after `ms`.
  static bool WaitFor(const std::function<bool()>& done, int ms = 10000) {
    return WaitWithEvents(done, ms);
  }
  static void Idle(int ms) {
    WaitWithEvents([] { return false; }, ms);
  }
  // Lines the "open" command received.
  std::vector<std::string> Opened() const {
    std::vector<std::string> lines;
    std::ifstream in(opened_);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  TTestFolder scratch_;
  std::string home_, appData_, opened_;
  TScriptedUi ui_;
  std::unique_ptr<TQtHandOver> handOver_;
  std::unique_ptr<TfrmMain> main_;
};

// The row of a format, or with `group` of its group's header, in an open
// format list; -1 when there is none.
inline int FormatRowOf(const TFormatListBox& list, int code, bool group) {
  const TFormatList& rows = list.List();
  for (int i = 0; i < rows.Count(); ++i)
    if (rows.Row(i).Info.Code == code && rows.Row(i).Info.IsGroup == group) return i;
  return -1;
}

// In an open format list: opens the format's group by its glyph when it is
// closed, then clicks the format's row, which closes the list.
inline void ClickFormatRow(TFormatListBox& list, int code) {
  const int header = FormatRowOf(list, code / 100, true);
  ASSERT_GE(header, 0);
  if (list.List().Row(header).Info.Collapsed) {
    list.EnsureVisible(header);  // scrolled to, as a person would
    user::Click(list.viewport(), list.RowRect(header).topLeft() + QPoint(8, 10));
  }
  const int row = FormatRowOf(list, code, false);
  ASSERT_GE(row, 0);
  list.EnsureVisible(row);
  user::Click(list.viewport(), list.RowRect(row).center());
  ASSERT_FALSE(list.isVisible());
}
