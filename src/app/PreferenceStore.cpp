#include "app/PreferenceStore.h"

#include "app/BatchJobs.h"
#include "app/GlobalUnit.h"
#include "platform/Folders.h"
#include "platform/Shell.h"

namespace {

// The box of each TSnapChoice.
constexpr bool TPreferences::*kBoxes[] = {&TPreferences::SmallSize, &TPreferences::FullSize,
                                          &TPreferences::Bmp, &TPreferences::Jpg};

}  // namespace

const TPreferences& TPreferenceEdit::Load() {
  const TAppSettings settings(file_);
  values_.SnapFolder = settings.VerifySnapOutPutDir();
  values_.SmallSize = settings.SnapSmallSize();
  values_.FullSize = settings.SnapFullSize() || !values_.SmallSize;
  values_.Jpg = settings.SnapJpg();
  values_.Bmp = settings.SnapBmp() || !values_.Jpg;
  values_.Quality = settings.JpgCmp();
  // One of the four, or none chosen.
  const int priority = settings.Priority();
  values_.Priority = priority >= 0 && priority <= 3 ? priority : -1;
  const int files = settings.FilesAtOnce();
  values_.FilesAtOnce = files >= 1 && files <= kMaxFilesAtOnce ? files : kFilesAtOnceAuto;
  return values_;
}

const TPreferences& TPreferenceEdit::Reset() {
  values_.SnapFolder = platform::DefaultVideoFolder();
  values_.Bmp = true;
  values_.Jpg = false;
  values_.FullSize = true;
  values_.SmallSize = false;
  values_.Priority = 1;
  values_.Quality = 20;
  values_.FilesAtOnce = kFilesAtOnceAuto;
  return values_;
}

bool TPreferenceEdit::Store() const {
  const TAppSettings settings(file_);
  const std::string& folder = values_.SnapFolder;
  bool ok = settings.SetSnapOutPutDir(folder.empty() ? platform::DefaultVideoFolder() : folder);
  ok = settings.SetSnapBmp(values_.Bmp) && ok;
  ok = settings.SetSnapJpg(values_.Jpg) && ok;
  ok = settings.SetSnapFullSize(values_.FullSize) && ok;
  ok = settings.SetSnapSmallSize(values_.SmallSize) && ok;
  if (values_.Quality > 0) ok = settings.SetJpgCmp(values_.Quality) && ok;
  ok = settings.SetFilesAtOnce(values_.FilesAtOnce) && ok;
  return settings.SetPriority(values_.Priority) && ok;
}

bool TPreferenceEdit::Chosen(TSnapChoice choice) const { return values_.*kBoxes[choice]; }

bool TPreferenceEdit::Choose(TSnapChoice choice, bool on) {
  // Each box's partner is the other one of its pair.
  static constexpr TSnapChoice kPartner[] = {scFullSize, scSmallSize, scJpg, scBmp};
  values_.*kBoxes[choice] = on || !Chosen(kPartner[choice]);
  return Chosen(choice);
}

bool OpenSnapshotFolder(const std::string& settingsFile, const std::string& fieldText) {
  if (fieldText.size() <= 2) return false;
  return platform::OpenWithDesktop(TAppSettings(settingsFile).SnapOutPutDir());
}
