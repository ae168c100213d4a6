#include "editing/WmLayerStack.h"

#include <utility>

int TWmLayerStack::Count() const {
  std::lock_guard lock(mutex_);
  return int(rows_.size());
}

void TWmLayerStack::Select(int row) { selected_ = row >= 0 && row < Count() ? row : -1; }

int TWmLayerStack::Append(TWmItemRec item) {
  auto owned = std::make_unique<TWmItemRec>(std::move(item));
  std::lock_guard lock(mutex_);
  rows_.push_back({std::move(owned), true});
  selected_ = int(rows_.size()) - 1;
  return selected_;
}

void TWmLayerStack::Delete(int row) {
  std::unique_ptr<TWmItemRec> gone;  // freed after the lock is released
  {
    std::lock_guard lock(mutex_);
    if (row < 0 || row >= int(rows_.size())) return;
    gone = std::move(rows_[std::size_t(row)].Item);
    rows_.erase(rows_.begin() + row);
    if (rows_.empty())
      selected_ = -1;
    else
      selected_ = row > 0 ? row - 1 : 0;
  }
}

bool TWmLayerStack::MoveUp(int row) {
  std::lock_guard lock(mutex_);
  if (row <= 0 || row >= int(rows_.size())) return false;
  std::swap(rows_[std::size_t(row)], rows_[std::size_t(row - 1)]);
  if (selected_ == row)
    selected_ = row - 1;
  else if (selected_ == row - 1)
    selected_ = row;
  return true;
}

bool TWmLayerStack::MoveDown(int row) { return row >= 0 && MoveUp(row + 1); }

void TWmLayerStack::Clear() {
  std::vector<TRow> gone;
  {
    std::lock_guard lock(mutex_);
    gone.swap(rows_);
    selected_ = -1;
  }
}

void TWmLayerStack::SetTimes(int row, std::int32_t startSecond, std::int32_t endSecond) {
  std::lock_guard lock(mutex_);
  TWmRec& rec = rows_.at(std::size_t(row)).Item->Rec;
  rec.StartTime = startSecond;
  rec.EndTime = endSecond;
}

bool TWmLayerStack::Visible(int row) const {
  std::lock_guard lock(mutex_);
  return rows_.at(std::size_t(row)).Visible;
}

int TWmLayerStack::LayerAt(QPointF framePoint) const {
  std::lock_guard lock(mutex_);
  for (int row = int(rows_.size()) - 1; row >= 0; --row) {
    const TRow& r = rows_[std::size_t(row)];
    if (r.Visible && r.Item->Layer.Location.contains(framePoint)) return row;
  }
  return -1;
}

bool TWmLayerStack::ShowAt(std::int64_t ptsUs) {
  std::lock_guard lock(mutex_);
  bool changed = false;
  for (TRow& r : rows_) {
    const bool shown = r.Item->Rec.ShownAt(ptsUs);
    if (shown == r.Visible) continue;
    r.Visible = shown;
    changed = true;
  }
  return changed;
}

std::vector<TWmLayerStack::TPaintLayer> TWmLayerStack::VisibleLayers() const {
  std::lock_guard lock(mutex_);
  std::vector<TPaintLayer> layers;
  layers.reserve(rows_.size());
  for (const TRow& r : rows_)
    if (r.Visible)
      layers.push_back({r.Item->Layer.Bitmap, r.Item->Layer.Location, r.Item->Layer.MasterAlpha});
  return layers;
}
