// The preferences dialog and the folder browser driven as a user drives
// them: the main window's Preference button, clicks on the boxes, keys in
// the quality controls, Default/Ok/Cancel, Brows and the main window's Browse
// through the real folder tree, and a folder declared to lie on a disc.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "GuiTestSupport.h"
#include "app/FolderChoice.h"
#include "app/GlobalUnit.h"
#include "gui/windows/dialogs/WinDirectory.h"
#include "gui/windows/dialogs/WinPreference.h"
#include "platform/IniFile.h"
#include "support/ModalWindow.h"

namespace {

class PreferenceTest : public MainWindowTest {
 protected:
  void TearDown() override {
    platform::UnsetEnv("QUOR_OPTICAL_DISC_FOLDERS");
    MainWindowTest::TearDown();
  }
  // Clicks `opener` and runs `inside` once the modal window W is up; the
  // window is closed afterwards if `inside` left it open.
  template <class W>
  static void WhileOpen(QWidget* opener, const std::function<void(W&)>& inside) {
    EXPECT_TRUE(WhileModal<W>([opener] { user::Click(opener); }, inside));
  }
  static void Click(QWidget* w) { user::Click(w, QPoint(6, w->height() / 2)); }
  // A real click on the item of `folder` (its parent is opened first).
  static void ClickFolder(TfmDirectory& browser, const QString& folder) {
    ASSERT_TRUE(browser.SelectFolder(QFileInfo(folder).path()));
    QTreeWidget* tree = browser.stview_selectdir;
    QTreeWidgetItem* parent = tree->currentItem();
    parent->setExpanded(true);
    QTreeWidgetItem* item = nullptr;
    for (int i = 0; i < parent->childCount(); ++i)
      if (TfmDirectory::PathOf(parent->child(i)) == folder) item = parent->child(i);
    ASSERT_TRUE(item) << folder.toStdString();
    tree->scrollToItem(item);
    user::Click(tree->viewport(), tree->visualItemRect(item).center());
    ASSERT_EQ(tree->currentItem(), item);
  }
  std::string Stored(const std::string& key) const {
    return platform::ReadIniString(main_->SettingsFile(), "settings", key, "<absent>");
  }
  void ExpectStored(std::initializer_list<std::pair<const char*, const char*>> keys) const {
    for (const auto& [key, value] : keys) EXPECT_EQ(Stored(key), value) << key;
  }
  std::string SettingsText() const {
    std::ifstream in(main_->SettingsFile());
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::string DefaultFolder() const { return home_ + "videoconverter"; }
};

}  // namespace

TEST_F(PreferenceTest, DefaultThenOkStoresTheSixValuesAndCancelStoresNothing) {
  ASSERT_TRUE(main_->menubtnPreference->isEnabled());
  TfrmPreference* first = nullptr;
  const std::string before = SettingsText();
  WhileOpen<TfrmPreference>(main_->menubtnPreference, [&](TfrmPreference& d) {
    first = &d;
    EXPECT_EQ(d.size(), QSize(480, 390));
    EXPECT_EQ(d.windowTitle(), "Preference");
    // What a first start shows: every box ticked, quality 30, Normal.
    EXPECT_EQ(d.edtSnapDirectory->text().toStdString(), DefaultFolder());
    EXPECT_TRUE(d.ckSmallSize->isChecked() && d.ckFullSize->isChecked() && d.ckBmp->isChecked() &&
                d.ckJpg->isChecked());
    EXPECT_EQ(d.spedCmp->value(), 30);
    EXPECT_EQ(d.trcCmp->value(), 30);
    EXPECT_TRUE(d.spedCmp->isEnabled() && d.trcCmp->isEnabled());
    EXPECT_TRUE(d.rdPriority[1]->isChecked());
    EXPECT_EQ(d.rdPriority[0]->text(), "Idle");
    EXPECT_EQ(d.rdPriority[3]->text(), "Lowest");
    // The hint's CR LF pairs are line breaks.
    const QString hint = d.spedCmp->toolTip();
    EXPECT_TRUE(
        hint.startsWith("Use Compression Quality to set the compression quality of the \nJPEG"));
    EXPECT_EQ(hint.count('\n'), 7);
    EXPECT_FALSE(hint.contains('\r'));
    // Changes, then Cancel.
    Click(d.ckSmallSize);
    d.spedCmp->setValue(90);
    Click(d.btnCancel);
  });
  EXPECT_EQ(SettingsText(), before);

  WhileOpen<TfrmPreference>(main_->menubtnPreference, [&](TfrmPreference& d) {
    EXPECT_EQ(&d, first);                     // created once and kept
    EXPECT_TRUE(d.ckSmallSize->isChecked());  // reloaded, not left as the user had it
    EXPECT_EQ(d.spedCmp->value(), 30);
    Click(d.btnDefault);
    EXPECT_TRUE(d.ckBmp->isChecked());
    EXPECT_FALSE(d.ckJpg->isChecked());
    EXPECT_TRUE(d.ckFullSize->isChecked());
    EXPECT_FALSE(d.ckSmallSize->isChecked());
    EXPECT_FALSE(d.spedCmp->isEnabled() || d.trcCmp->isEnabled());
    EXPECT_EQ(d.trcCmp->value(), 20);
    EXPECT_EQ(SettingsText(), before);  // Default stores nothing
    Click(d.btnOk);
    EXPECT_FALSE(d.isVisible());
  });
  ExpectStored({{"snapBmp", "1"},
                {"snapJpg", "0"},
                {"snapFullSize", "1"},
                {"snapSmallSize", "0"},
                {"jpgCmp", "20"},
                {"priority", "1"}});

  // The next show reads what Ok stored.
  WhileOpen<TfrmPreference>(main_->menubtnPreference, [&](TfrmPreference& d) {
    EXPECT_FALSE(d.ckJpg->isChecked() || d.ckSmallSize->isChecked());
    EXPECT_FALSE(d.spedCmp->isEnabled());
    EXPECT_EQ(d.spedCmp->value(), 20);
  });
}

TEST_F(PreferenceTest, OneSizeAndOneFormatStayCheckedAndTheQualityControlsFollowEachOther) {
  WhileOpen<TfrmPreference>(main_->menubtnPreference, [&](TfrmPreference& d) {
    Click(d.ckSmallSize);
    EXPECT_FALSE(d.ckSmallSize->isChecked());
    Click(d.ckFullSize);  // the last size left
    EXPECT_TRUE(d.ckFullSize->isChecked());
    Click(d.ckBmp);
    Click(d.ckJpg);  // the last format left: stays, and so do its controls
    EXPECT_TRUE(d.ckJpg->isChecked());
    EXPECT_TRUE(d.spedCmp->isEnabled() && d.trcCmp->isEnabled());
    Click(d.ckSmallSize);
    Click(d.ckFullSize);  // now allowed: Small Size is checked
    EXPECT_FALSE(d.ckFullSize->isChecked());

    // Typed into the spin box, the bar follows; keys on the bar, the box.
    d.spedCmp->setFocus();
    d.spedCmp->selectAll();
    user::Type(d.spedCmp, "75");
    EXPECT_EQ(d.trcCmp->value(), 75);
    d.trcCmp->setFocus();
    user::Key(d.trcCmp, Qt::Key_End);
    EXPECT_EQ(d.spedCmp->value(), 100);
    user::Key(d.trcCmp, Qt::Key_Left);
    EXPECT_EQ(d.spedCmp->value(), 99);

    Click(d.ckBmp);
    Click(d.ckJpg);  // BMP is on again, so JPG may go
    EXPECT_FALSE(d.ckJpg->isChecked());
    EXPECT_FALSE(d.spedCmp->isEnabled() || d.trcCmp->isEnabled());

    Click(d.rdPriority[3]);
    d.edtSnapDirectory->clear();
    Click(d.btnOk);
  });
  EXPECT_EQ(Stored("snapOutPutDir"), DefaultFolder());  // an empty folder stores the default
  ExpectStored({{"snapSmallSize", "1"},
                {"snapFullSize", "0"},
                {"snapBmp", "1"},
                {"snapJpg", "0"},
                {"jpgCmp", "99"},
                {"priority", "3"}});
  // A stored priority outside the four chooses none, and Ok keeps it so.
  ASSERT_TRUE(platform::WriteIniString(main_->SettingsFile(), "settings", "priority", "7"));
  WhileOpen<TfrmPreference>(main_->menubtnPreference, [&](TfrmPreference& d) {
    for (QRadioButton* b : d.rdPriority) EXPECT_FALSE(b->isChecked());
    Click(d.btnOk);
  });
  EXPECT_EQ(Stored("priority"), "-1");
}

// Files converted at once: Auto at first, a count picked with the keyboard
// in the list, Default back to Auto; a stored value outside 1..16 reads as
// Auto.
TEST_F(PreferenceTest, FilesAtOnceIsAutoUntilACountIsPicked) {
  auto pickWithKeys = [](QComboBox* box, Qt::Key key) {
    QWidget* top = box->window();
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {},
                      box->mapTo(top, box->rect().center()));
    // The click opened the list; the key moves in it and Enter takes it.
    QTest::keyClick(QApplication::focusWidget()->window()->windowHandle(), key);
    QTest::keyClick(QApplication::focusWidget()->window()->windowHandle(), Qt::Key_Return);
  };
  WhileOpen<TfrmPreference>(main_->menubtnPreference, [&](TfrmPreference& d) {
    EXPECT_EQ(d.cbFilesAtOnce->currentText(), "Auto");
    EXPECT_EQ(d.cbFilesAtOnce->count(), 17);
    EXPECT_TRUE(d.findChild<QLabel*>("lblFilesAtOnceNote")->text().startsWith("Auto here: "));
    pickWithKeys(d.cbFilesAtOnce, Qt::Key_3);
    EXPECT_EQ(d.cbFilesAtOnce->currentText(), "3");
    Click(d.btnOk);
  });
  EXPECT_EQ(Stored("filesAtOnce"), "3");
  EXPECT_EQ(Stored("priority"), "1");  // beside it, unchanged
  WhileOpen<TfrmPreference>(main_->menubtnPreference, [&](TfrmPreference& d) {
    EXPECT_EQ(d.cbFilesAtOnce->currentText(), "3");
    Click(d.btnDefault);
    EXPECT_EQ(d.cbFilesAtOnce->currentText(), "Auto");
    Click(d.btnOk);
  });
  EXPECT_EQ(Stored("filesAtOnce"), "0");
  ASSERT_TRUE(platform::WriteIniString(main_->SettingsFile(), "settings", "filesAtOnce", "40"));
  WhileOpen<TfrmPreference>(main_->menubtnPreference, [&](TfrmPreference& d) {
    EXPECT_EQ(d.cbFilesAtOnce->currentText(), "Auto");
  });
}

TEST_F(PreferenceTest, BrowsPicksInTheFolderTreeAndStoresAtOnce) {
  const std::string pics = scratch_.Sub("home/pics/2024");
  scratch_.Sub("home/.hidden");
  std::ofstream(home_ + "notes.txt") << "not a folder";
  const QString chosen = QString::fromStdString(pics).chopped(1);
  WhileOpen<TfrmPreference>(main_->menubtnPreference, [&](TfrmPreference& d) {
    // The default folder does not exist yet: the tree opens at home.
    WhileOpen<TfmDirectory>(d.btnBrows, [&](TfmDirectory& b) {
      EXPECT_EQ(b.size(), QSize(322, 351));
      EXPECT_EQ(b.windowTitle(), "Browse");
      EXPECT_EQ(b.lblPrompt->text(), "Please select an output directory:");
      QTreeWidget* tree = b.stview_selectdir;
      ASSERT_EQ(tree->topLevelItemCount(), 2);
      EXPECT_EQ(TfmDirectory::PathOf(tree->topLevelItem(1)), "/");
      ASSERT_EQ(tree->currentItem(), tree->topLevelItem(0));
      EXPECT_TRUE(b.btnOk->isEnabled());
      // Keys open home and walk into its only visible folder and below.
      user::Key(tree, Qt::Key_Right);
      ASSERT_EQ(tree->currentItem()->childCount(), 1);  // folders only, no hidden ones
      user::Key(tree, Qt::Key_Down);
      EXPECT_EQ(tree->currentItem()->text(0), "pics");
      user::Key(tree, Qt::Key_Right);
      user::Key(tree, Qt::Key_Down);
      EXPECT_EQ(TfmDirectory::PathOf(tree->currentItem()), chosen);
      Click(b.btnOk);
      EXPECT_FALSE(b.isVisible());
    });
    EXPECT_EQ(d.edtSnapDirectory->text(), chosen);
    EXPECT_EQ(Stored("SnapOutPutDir"), chosen.toStdString());  // before Ok

    // It opens at the folder shown; Cancel changes nothing.
    WhileOpen<TfmDirectory>(d.btnBrows, [&](TfmDirectory& b) {
      EXPECT_EQ(TfmDirectory::PathOf(b.stview_selectdir->currentItem()), chosen);
      Click(b.btnCancel);
    });
    EXPECT_TRUE(main_->FolderBrowser()->Result().isEmpty());
    EXPECT_EQ(d.edtSnapDirectory->text(), chosen);

    // A click on a folder of the tree.
    WhileOpen<TfmDirectory>(d.btnBrows, [&](TfmDirectory& b) {
      ClickFolder(b, QString::fromStdString(home_) + "pics");
      Click(b.btnOk);
    });
    EXPECT_EQ(d.edtSnapDirectory->text().toStdString(), home_ + "pics");
    Click(d.btnCancel);
  });
  // Cancel of the dialog does not undo what Brows stored.
  EXPECT_EQ(Stored("SnapOutPutDir"), home_ + "pics");
}

TEST_F(PreferenceTest, TheBrowserShowsFoldersMadeAndHidesFoldersRemovedSinceItsLastShow) {
  scratch_.Sub("home/old");
  const QString home = QString::fromStdString(home_).chopped(1);
  WhileOpen<TfmDirectory>(main_->btnBrows, [&](TfmDirectory& b) {
    ClickFolder(b, home + "/old");
    Click(b.btnCancel);
  });
  std::filesystem::remove(home_ + "old");
  const std::string made = scratch_.Sub("home/made-while-closed");
  WhileOpen<TfmDirectory>(main_->btnBrows, [&](TfmDirectory& b) {
    ClickFolder(b, home + "/made-while-closed");
    QTreeWidgetItem* homeItem = b.stview_selectdir->topLevelItem(0);
    for (int i = 0; i < homeItem->childCount(); ++i) EXPECT_NE(homeItem->child(i)->text(0), "old");
    Click(b.btnOk);
  });
  EXPECT_EQ(QDir::cleanPath(main_->edDirectory->text()),
            QDir::cleanPath(QString::fromStdString(made)));
}

TEST_F(PreferenceTest, TheBrowserRefusesADiscFolderAndOkFollowsTheSelection) {
  const std::string disc = scratch_.Sub("home/disc");
  const std::string gone = scratch_.Sub("home/gone");
  scratch_.Sub("home/music");
  platform::SetEnv("QUOR_OPTICAL_DISC_FOLDERS", disc);
  const QString home = QString::fromStdString(home_).chopped(1);
  WhileOpen<TfmDirectory>(main_->btnBrows, [&](TfmDirectory& b) {
    ClickFolder(b, home + "/disc");
    EXPECT_TRUE(b.btnOk->isEnabled());
    Click(b.btnOk);
    EXPECT_TRUE(b.isVisible());  // kept open
    ASSERT_EQ(ui_.Messages.size(), 1u);
    EXPECT_EQ(ui_.Messages[0].Caption, "Quor MP4 to AVI Converter");
    EXPECT_EQ(ui_.Messages[0].Text,
              "Output folder cannot be located in CD-ROM.Please select another folder.");
    EXPECT_TRUE(b.Result().isEmpty());

    // A folder removed since the tree listed it cannot be chosen.
    std::filesystem::remove(gone);
    user::Key(b.stview_selectdir, Qt::Key_Down);
    EXPECT_EQ(TfmDirectory::PathOf(b.stview_selectdir->currentItem()), home + "/gone");
    EXPECT_FALSE(b.btnOk->isEnabled());
    user::Key(b.stview_selectdir, Qt::Key_Down);
    EXPECT_TRUE(b.btnOk->isEnabled());
    Click(b.btnOk);
  });
  // The main window's Browse stored the folder by its rules.
  EXPECT_EQ(main_->edDirectory->text(), home + "/music");
  EXPECT_EQ(Stored("OutPutDir"), home_ + "music");
  EXPECT_EQ(ui_.Warnings.size(), 0u);
}

TEST_F(PreferenceTest, OpenShowsTheStoredFolderOnlyWhenTheFieldNamesOne) {
  const std::string snaps = scratch_.Sub("snaps");
  ASSERT_TRUE(platform::WriteIniString(main_->SettingsFile(), "settings", "SnapOutPutDir", snaps));
  WhileOpen<TfrmPreference>(main_->menubtnPreference, [&](TfrmPreference& d) {
    d.edtSnapDirectory->setText("/a");
    Click(d.btnOpen);
    d.edtSnapDirectory->setText("/somewhere/else");
    Click(d.btnOpen);  // the stored folder, not the text
    Click(d.btnCancel);
  });
  ASSERT_TRUE(WaitFor([&] { return !Opened().empty(); }));
  Idle(200);
  EXPECT_EQ(Opened(), std::vector<std::string>{snaps});
}
