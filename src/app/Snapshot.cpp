#include "app/Snapshot.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "app/GlobalUnit.h"
#include "app/UserInteraction.h"
#include "platform/AtomicFile.h"
#include "platform/Folders.h"

namespace {

void PutLe(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(std::uint8_t(value >> (8 * i)));
}

}  // namespace

bool SaveBitmapFile(const TBitmap& bitmap, const std::string& path) {
  if (bitmap.Empty()) return false;
  const std::uint32_t rowSize = std::uint32_t(bitmap.RowSize());
  const std::uint32_t imageSize = rowSize * std::uint32_t(bitmap.Height());
  std::vector<std::uint8_t> out;
  out.reserve(54 + imageSize);
  out.push_back('B');
  out.push_back('M');
  PutLe(out, 54 + imageSize, 4);
  PutLe(out, 0, 4);
  PutLe(out, 54, 4);
  PutLe(out, 40, 4);
  PutLe(out, std::uint32_t(bitmap.Width()), 4);
  PutLe(out, std::uint32_t(bitmap.Height()), 4);
  PutLe(out, 1, 2);
  PutLe(out, 24, 2);
  PutLe(out, 0, 4);
  PutLe(out, imageSize, 4);
  PutLe(out, 3780, 4);  // 96 pixels per inch
  PutLe(out, 3780, 4);
  PutLe(out, 0, 4);
  PutLe(out, 0, 4);
  for (int y = bitmap.Height() - 1; y >= 0; --y) {
    const std::uint8_t* row = bitmap.ScanLine(y);
    out.insert(out.end(), row, row + rowSize);
  }
  return platform::WriteFileAtomically(
      path, std::string_view(reinterpret_cast<const char*>(out.data()), out.size()));
}

bool SaveJpegFile(const TBitmap& bitmap, const std::string& path, int quality) {
  if (bitmap.Empty()) return false;
  std::unique_ptr<void, int (*)(tjhandle)> handle(tjInitCompress(), tjDestroy);
  if (!handle) return false;
  unsigned char* jpeg = nullptr;
  unsigned long size = 0;
  const int rc = tjCompress2(handle.get(), bitmap.Bits(), bitmap.Width(), bitmap.RowSize(),
                             bitmap.Height(), TJPF_BGR, &jpeg, &size, TJSAMP_420,
                             std::clamp(quality, 1, 100), TJFLAG_ACCURATEDCT);
  const bool ok = rc == 0 && platform::WriteFileAtomically(
                                 path, std::string_view(reinterpret_cast<char*>(jpeg), size));
  tjFree(jpeg);
  return ok;
}

TBitmap StretchBitmap(const TBitmap& source, int width, int height) {
  TBitmap out(width, height);
  if (source.Empty() || out.Empty()) return out;
  const double sx = double(source.Width()) / width, sy = double(source.Height()) / height;
  for (int y = 0; y < height; ++y) {
    const double fy = std::clamp((y + 0.5) * sy - 0.5, 0.0, double(source.Height() - 1));
    const int y0 = int(fy), y1 = std::min(y0 + 1, source.Height() - 1);
    const double wy = fy - y0;
    const std::uint8_t* r0 = source.ScanLine(y0);
    const std::uint8_t* r1 = source.ScanLine(y1);
    std::uint8_t* dst = out.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      const double fx = std::clamp((x + 0.5) * sx - 0.5, 0.0, double(source.Width() - 1));
      const int x0 = int(fx), x1 = std::min(x0 + 1, source.Width() - 1);
      const double wx = fx - x0;
      for (int c = 0; c < 3; ++c) {
        const double top = r0[x0 * 3 + c] * (1 - wx) + r0[x1 * 3 + c] * wx;
        const double bottom = r1[x0 * 3 + c] * (1 - wx) + r1[x1 * 3 + c] * wx;
        dst[x * 3 + c] = std::uint8_t(top * (1 - wy) + bottom * wy + 0.5);
      }
    }
  }
  return out;
}

std::string SnapshotFolder(const std::string& settingsFile, IUserInteraction* ui) {
  TAppSettings settings(settingsFile);
  std::string folder = settings.SnapOutPutDir();
  if (!platform::ForceDirectories(folder)) {
    const std::string fallback = platform::DefaultVideoFolder();
    if (ui)
      ui->ShowWarning("Warning", "Cannot create output directory:" + folder +
                                     ".It will create default directory " + fallback + "!");
    platform::ForceDirectories(fallback);
    settings.SetSnapOutPutDir(fallback);
    folder = fallback;
  }
  return platform::WithTrailingSlash(folder);
}

TSnapshotResult TakeSnapshot(const TBitmap& full, const TBitmap& small,
                             const std::string& settingsFile, IUserInteraction* ui) {
  TSnapshotResult result;
  if (full.Empty()) return result;
  result.Folder = SnapshotFolder(settingsFile, ui);
  const TAppSettings settings(settingsFile);
  struct TOne {
    bool Wanted;
    const TBitmap& Picture;
    const char* Name;
    bool Jpeg;
  };
  const TOne files[] = {
      {settings.SnapFullSize() && settings.SnapBmp(), full, "Snapshot_full.bmp", false},
      {settings.SnapSmallSize() && settings.SnapBmp(), small, "Snapshot_small.bmp", false},
      {settings.SnapFullSize() && settings.SnapJpg(), full, "Snapshot_full.jpg", true},
      {settings.SnapSmallSize() && settings.SnapJpg(), small, "Snapshot_small.jpg", true},
  };
  const int quality = settings.JpgCmp();
  for (const TOne& one : files) {
    if (!one.Wanted) continue;
    const std::string path = result.Folder + one.Name;
    const bool ok =
        one.Jpeg ? SaveJpegFile(one.Picture, path, quality) : SaveBitmapFile(one.Picture, path);
    (ok ? result.Written : result.Failed).push_back(path);
  }
  return result;
}
