// Shared by the editing window tests: clips added to the main window's list,
// and mouse drags as a hand makes them (press, moves with the button held,
// release), entering through the window.
#pragma once

#include "GuiTestSupport.h"
#include "support/MediaFactory.h"

class EditWindowTest : public MainWindowTest {
 protected:
  // Adds a clip made from `spec` and selects its row; returns the row.
  int AddClip(const MediaSpec& spec) { return AddFile(TestMedia::Get(spec)); }
  int AddFile(const std::string& path) {
    main_->AddFileList({QString::fromStdString(path)});
    const int row = main_->SourceList().Count() - 1;
    main_->SelectRow(row);
    return row;
  }
  TlvFilesRecord& Record(int row) { return main_->SourceList().Record(row); }

  static void Drag(QWidget* w, QPoint from, QPoint to, int step = 3) {
    user::Drag(w, from, to, step);
  }
  static void Click(QWidget* w, QPoint at) { user::Click(w, at); }
};
