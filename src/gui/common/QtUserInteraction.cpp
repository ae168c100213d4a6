#include "gui/common/QtUserInteraction.h"

#include <QApplication>
#include <QMessageBox>

#include "app/GlobalUnit.h"

bool TQtUserInteraction::AskYesNo(const std::string& caption, const std::string& text,
                                  bool defaultYes) {
  const auto answer =
      QMessageBox::question(parent_, Q(caption), Q(text), QMessageBox::Yes | QMessageBox::No,
                            defaultYes ? QMessageBox::Yes : QMessageBox::No);
  return answer == QMessageBox::Yes;
}

void TQtUserInteraction::ShowWarning(const std::string& caption, const std::string& text) {
  QMessageBox::warning(parent_, Q(caption), Q(text));
}

void TQtUserInteraction::ShowMessage(const std::string& caption, const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, Q(caption), Q(text), QMessageBox::Ok, parent_);
  box.exec();
}

void TQtUserInteraction::Beep() { QApplication::beep(); }

void TQtUserInteraction::ShowInformation(const std::string& caption, const std::string& text) {
  QMessageBox::information(parent_, Q(caption), Q(text));
}

void ShowUnhandledError(std::exception_ptr error, QWidget* parent, IUserInteraction* ui) {
  const TErrorDisplay display = DescribeUnhandledError(error);
  if (display.Kind == TErrorDisplayKind::edNone) return;
  const std::string caption = S(QApplication::applicationName());
  if (ui) {
    ui->ShowWarning(caption, display.Text);
    return;
  }
  if (display.Kind == TErrorDisplayKind::edWarning)
    QMessageBox::warning(parent, Q(caption), Q(display.Text));
  else
    QMessageBox::critical(parent, Q(caption), Q(display.Text));
}
