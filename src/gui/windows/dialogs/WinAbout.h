// TfrmAbout: the About box, 340 x 187, opened from the Help menu.
// Owned by the main window (Qt parent); user-interface thread only.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class TGlobalObject;

class TfrmAbout : public QDialog {
  Q_OBJECT

 public:
  TfrmAbout(const TGlobalObject& settings, QWidget* parent = nullptr);

  QLabel* lblAppNameVer = nullptr;
  QPushButton* btnOk = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  const TGlobalObject& settings_;
};
