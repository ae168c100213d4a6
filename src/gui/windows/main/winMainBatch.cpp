// Start on the main window: the batch driver prepares a task per checked row
// and runs the progress window; errors of the preparation reach the
// application-wide error display.
#include <QToolButton>

#include "gui/windows/main/winMain.h"

void TfrmMain::StartBatch() {
  CloseFormatList();
  batch_->SetProgressView(ProgressView());
  // Start stops the preview itself (through StopPreview) once it knows a row
  // is checked.
  try {
    batch_->Start();
  } catch (...) {
    ShowUnhandledError(std::current_exception(), this, ui_ == &qtUi_ ? nullptr : ui_);
  }
}
