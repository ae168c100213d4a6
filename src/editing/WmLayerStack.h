// TWmLayerStack: the watermark editor's rows, one item and canvas layer
// each, in list order, which is also the drawing order (later rows are
// drawn over earlier ones, as the conversion draws them), and the one
// selected row.
//
// Owns the rows. Threads: the user-interface thread makes, edits, orders,
// deletes and paints rows; the player's video thread calls ShowAt for every
// frame while rows may be deleted under it. `mutex_` guards the row list
// itself, each row's window of seconds (Rec.StartTime, Rec.EndTime: change
// them through SetTimes only) and each row's visibility. Every other field
// of a row belongs to the user-interface thread, which may read and change
// it through Item() without the lock.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "editing/WmEditItem.h"

class TWmLayerStack {
 public:
  int Count() const;
  // The selected row, -1 for none.
  int Selected() const { return selected_; }
  // Selects `row` (-1 or a row outside the list clears the selection).
  void Select(int row);

  // Appends `item` as the last row (drawn on top), visible, and selects it.
  // Returns its row.
  int Append(TWmItemRec item);
  // Deletes `row`. The row above it becomes the selection; after the first
  // row, the new first row; none when the list is empty.
  void Delete(int row);
  // Moves `row` one place up (down) with its layer; the selection follows.
  // False when it is the first (last) row or outside the list.
  bool MoveUp(int row);
  bool MoveDown(int row);
  void Clear();

  // User-interface thread.
  TWmItemRec& Item(int row) { return *rows_.at(std::size_t(row)).Item; }
  const TWmItemRec& Item(int row) const { return *rows_.at(std::size_t(row)).Item; }
  void SetTimes(int row, std::int32_t startSecond, std::int32_t endSecond);
  bool Visible(int row) const;
  // The topmost visible row whose layer holds `framePoint`; -1 for none.
  int LayerAt(QPointF framePoint) const;

  // The player's step for a frame at `ptsUs`: a row is visible when the
  // frame's whole second lies in its window. Any thread. True when a row
  // changed.
  bool ShowAt(std::int64_t ptsUs);

  // What the canvas draws, bottom row first (pictures shared, not copied).
  struct TPaintLayer {
    QImage Bitmap;
    QRectF Location;
    int MasterAlpha = 255;
  };
  std::vector<TPaintLayer> VisibleLayers() const;

 private:
  struct TRow {
    std::unique_ptr<TWmItemRec> Item;
    bool Visible = true;
  };

  mutable std::mutex mutex_;
  std::vector<TRow> rows_;
  int selected_ = -1;  // user-interface thread only
};
