// The screenshot tool: every window in a representative state, grabbed from
// the real window as a person sees it. Each window's shots live in a file of
// their own and register themselves here, so windows can be added without
// touching the others.
//
// Runs on the user-interface thread of the tool; no locks.
#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class TfrmMain;

struct TShotContext {
  TfrmMain& Main;
  QString OutDir;
  std::vector<std::string> Clips;  // three generated clips with sound and picture
  // Adds the clips to the main window's list when it is empty (a shot taken
  // alone) and selects the row of clip `index`.
  void SelectClip(int index) const;
  // Lets the event loop run for `ms` (players draw, timers tick).
  void Settle(int ms) const;
  // Writes `widget`'s window as <OutDir>/<name>.png; false on failure.
  bool Save(QWidget* widget, const QString& name) const;
};

using TShotFunction = std::function<void(TShotContext&)>;
// Registers a shot; `order` sorts them (the main window first).
int RegisterShot(int order, const char* name, TShotFunction shot);

#define QUOR_SHOT(order, name)                                                       \
  static void Shot_##name(TShotContext& ctx);                                        \
  static const int kShotRegistered_##name = RegisterShot(order, #name, Shot_##name); \
  static void Shot_##name(TShotContext& ctx)
