#include "gui/windows/edit/EditPlayback.h"

#include "engine/libav/FFmpegLoader.h"

namespace {

// The trim and crop windows follow the player's own pause and stop reports;
// at the end they rewind to the key frame before 0 and keep Stop and the
// bar.
TPlaybackRules EditRules(TBarRounding rounding) {
  TPlaybackRules rules;
  rules.RewindFlags = 0;
  rules.FollowPlayerReports = true;
  rules.EndKeepsStopAndBar = true;
  rules.Rounding = rounding;
  return rules;
}

}  // namespace

TEditPlayback::TEditPlayback(const TPlaybackPanel::TControls& controls,
                             const TPlaybackPanel::TLook& look, TBarRounding rounding,
                             std::string settingsFile)
    : player_(std::make_unique<TFFPlayer>()),
      panel_(std::make_unique<TPlaybackPanel>(*player_, controls, EditRules(rounding), look,
                                              std::move(settingsFile))) {
  panel_->OnOpenFile = [this] {
    if (PlayStopped() && !file_.empty()) Open(file_);
  };
}

TEditPlayback::~TEditPlayback() { Shutdown(); }

void TEditPlayback::SetDisplay(IDisplayTarget* display, int width, int height) {
  display_ = display;
  panel_->SetDisplaySize(width, height);
}

bool TEditPlayback::EnsureLibraries() {
  return player_->AVLibLoaded() || player_->LoadAVLib(TFFmpegLoader::DefaultLibraryPath());
}

bool TEditPlayback::Open(const std::string& file) {
  file_ = file;
  const bool ok = EnsureLibraries() && player_->Open(file, display_);
  panel_->Opened(ok);
  return ok;
}

bool TEditPlayback::PlayStopped() const {
  const TPlayMode mode = panel_->Control().Mode();
  return mode == TPlayMode::Stopped || mode == TPlayMode::Ended;
}

void TEditPlayback::Close(bool wait) {
  panel_->Close();
  player_->Stop(wait);
}

void TEditPlayback::Shutdown() {
  panel_->Detach();
  player_->SetOnHook(nullptr);
  player_->Stop(true);
}
