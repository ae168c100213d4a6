// TfmDirectory: the folder browser, a "Browse" dialog of 322 x 351 with a
// tree of the local folders (the home folder and the file system's root at
// the top, folders only, filled as the user opens them) and Ok/Cancel. Used
// by the main window's Browse and the preferences' Brows.
//
// Ok is enabled for a selected folder that still exists; a folder on an
// optical disc is refused with a message and the dialog stays open.
//
// Owned by the main window (Qt parent), created once and kept; borrows the
// message boxes (SetUserInteraction). User-interface thread only; no lock.
#pragma once

#include <QDialog>
#include <QString>

#include "gui/common/QtUserInteraction.h"

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class TfmDirectory : public QDialog {
  Q_OBJECT

 public:
  explicit TfmDirectory(QWidget* owner);

  void SetUserInteraction(IUserInteraction* ui);
  // Shows the dialog modally, opened at `start` (the home folder when it is
  // not a folder), and returns the chosen folder; "" when cancelled.
  QString Choose(const QString& start);
  // The folder chosen by the last Ok; "" after Cancel.
  const QString& Result() const { return result_; }

  // Opens the tree down to `folder` and selects it; false when the folder is
  // not in the tree (missing, or hidden on the way).
  bool SelectFolder(const QString& folder);
  // The item's folder path.
  static QString PathOf(const QTreeWidgetItem* item);

  QLabel* lblPrompt = nullptr;
  QTreeWidget* stview_selectdir = nullptr;
  QPushButton *btnOk = nullptr, *btnCancel = nullptr;

 private:
  QTreeWidgetItem* AddFolderItem(QTreeWidgetItem* parent, const QString& path, const QString& text);
  // Lists the item's sub-folders the first time it is opened.
  void FillItem(QTreeWidgetItem* item);
  // Drops what was listed under a top item, so it is read again.
  void Forget(QTreeWidgetItem* item);
  QTreeWidgetItem* ChildNamed(QTreeWidgetItem* item, const QString& name);
  void UpdateOk();
  void TakeSelected();

  TQtUserInteraction qtUi_;
  IUserInteraction* ui_ = nullptr;
  QTreeWidgetItem* home_ = nullptr;
  QTreeWidgetItem* root_ = nullptr;
  QString result_;
};
