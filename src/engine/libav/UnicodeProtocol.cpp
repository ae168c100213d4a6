#include "engine/libav/UnicodeProtocol.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "engine/libav/FFmpegApi.h"

namespace {

constexpr int kIOBufferSize = 32768;

bool IsValidUtf8(const std::string& s) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const auto* end = p + s.size();
  while (p < end) {
    unsigned c = *p++;
    if (c < 0x80) continue;
    int extra;
    unsigned cp, min;
    if ((c & 0xE0) == 0xC0)
      extra = 1, cp = c & 0x1F, min = 0x80;
    else if ((c & 0xF0) == 0xE0)
      extra = 2, cp = c & 0x0F, min = 0x800;
    else if ((c & 0xF8) == 0xF0)
      extra = 3, cp = c & 0x07, min = 0x10000;
    else
      return false;
    if (end - p < extra) return false;
    for (int i = 0; i < extra; ++i, ++p) {
      if ((*p & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (*p & 0x3F);
    }
    // Overlong forms, UTF-16 surrogates and values beyond Unicode are not text.
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
  }
  return true;
}

struct TFileIO {
  int fd = -1;
};

int ReadPacket(void* opaque, uint8_t* buf, int size) {
  auto* io = static_cast<TFileIO*>(opaque);
  ssize_t n;
  do n = ::read(io->fd, buf, size_t(size));
  while (n < 0 && errno == EINTR);
  if (n < 0) return AVERROR(errno);
  return n == 0 ? AVERROR_EOF : int(n);
}

int WritePacket(void* opaque, uint8_t* buf, int size) {
  auto* io = static_cast<TFileIO*>(opaque);
  int done = 0;
  while (done < size) {
    ssize_t n = ::write(io->fd, buf + done, size_t(size - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return AVERROR(errno);
    }
    done += int(n);
  }
  return done;
}

int64_t SeekPacket(void* opaque, int64_t offset, int whence) {
  auto* io = static_cast<TFileIO*>(opaque);
  whence &= ~AVSEEK_FORCE;
  if (whence == AVSEEK_SIZE) {
    struct stat st;
    return ::fstat(io->fd, &st) == 0 ? int64_t(st.st_size) : AVERROR(errno);
  }
  off_t pos = ::lseek(io->fd, off_t(offset), whence);
  return pos < 0 ? AVERROR(errno) : int64_t(pos);
}

int OpenFlagsFor(int avioFlags) {
  if ((avioFlags & AVIO_FLAG_READ_WRITE) == AVIO_FLAG_READ_WRITE) return O_RDWR | O_CREAT | O_TRUNC;
  if (avioFlags & AVIO_FLAG_WRITE) return O_WRONLY | O_CREAT | O_TRUNC;
  return O_RDONLY;
}

// An I/O context over the file named inside a protocol name.
int OpenUnicodeIO(AVIOContext** pb, const std::string& protocolName, int flags) {
  *pb = nullptr;
  const std::string path = DisplayName(protocolName);
  int fd;
  do fd = ::open(path.c_str(), OpenFlagsFor(flags) | O_CLOEXEC, 0666);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) return AVERROR(errno);
  return OpenDescriptorIO(pb, fd, flags);
}

int FreeUnicodeIO(AVIOContext** pb) {
  AVIOContext* ctx = *pb;
  int result = 0;
  if (ctx->write_flag) {
    FF.avio_flush(ctx);
    result = ctx->error;
  }
  auto* io = static_cast<TFileIO*>(ctx->opaque);
  if (::close(io->fd) != 0 && result == 0) result = AVERROR(errno);
  delete io;
  FF.av_freep(&ctx->buffer);
  FF.avio_context_free(pb);
  *pb = nullptr;
  return result;
}

// True when the library would read the text before the first colon (at
// `colon`) as a protocol name ("pipe:0", "http://host/a.mp4", "take:1.mp4"):
// a path ("dir/a:b") it opens as a file anyway.
bool LooksLikeProtocol(const std::string& name, size_t colon) {
  if (colon == 0) return false;
  for (size_t i = 0; i < colon; ++i) {
    const char c = name[i];
    const bool schemeChar = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                            (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
    if (!schemeChar) return false;
  }
  return true;
}

// One of the refusal codes for a name that leads to a named pipe, socket or
// device (stat does not open it, so a pipe without writer cannot block
// here); 0 for anything else, a missing file included.
int NotAFileError(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return 0;
  if (S_ISFIFO(st.st_mode)) return NamedPipeInputError;
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return DeviceInputError;
  if (S_ISSOCK(st.st_mode)) return SocketInputError;
  return 0;
}

}  // namespace

bool NameNeedsProtocol(const std::string& name) {
  if (IsProtocolName(name)) return false;
  if (size_t colon = name.find(':'); colon != std::string::npos && LooksLikeProtocol(name, colon))
    return true;
  return !IsValidUtf8(name);
}

std::string NameForLibrary(const std::string& name) {
  return NameNeedsProtocol(name) ? UnicodeProtocolPrefix + name : name;
}

bool IsProtocolName(const std::string& text) {
  return text.size() >= 14 &&
         text.compare(0, std::strlen(UnicodeProtocolPrefix), UnicodeProtocolPrefix) == 0;
}

std::string DisplayName(const std::string& libraryName) {
  return IsProtocolName(libraryName) ? libraryName.substr(std::strlen(UnicodeProtocolPrefix))
                                     : libraryName;
}

int OpenDescriptorIO(AVIOContext** pb, int fd, int flags) {
  *pb = nullptr;
  auto* io = new TFileIO{fd};
  auto* buffer = static_cast<unsigned char*>(FF.av_malloc(kIOBufferSize));
  AVIOContext* ctx =
      buffer ? FF.avio_alloc_context(buffer, kIOBufferSize, (flags & AVIO_FLAG_WRITE) ? 1 : 0, io,
                                     ReadPacket, WritePacket, SeekPacket)
             : nullptr;
  if (!ctx) {
    FF.av_free(buffer);
    ::close(fd);
    delete io;
    return AVERROR(ENOMEM);
  }
  *pb = ctx;
  return 0;
}

bool IsUnicodeIO(const AVIOContext* pb) {
  return pb && pb->read_packet == ReadPacket && pb->opaque;
}

int OpenInputWithName(AVFormatContext** ctx, const std::string& name, const AVInputFormat* fmt,
                      AVDictionary** options) {
  const std::string libraryName = NameForLibrary(name);
  if (const int refused = NotAFileError(DisplayName(libraryName)); refused < 0) {
    if (*ctx) FF.avformat_free_context(*ctx);  // as the library does on failure
    *ctx = nullptr;
    return refused;
  }
  if (!IsProtocolName(libraryName))
    return FF.avformat_open_input(ctx, libraryName.c_str(), fmt, options);

  AVIOContext* pb = nullptr;
  int ret = OpenUnicodeIO(&pb, libraryName, AVIO_FLAG_READ);
  if (ret < 0) {
    if (*ctx) FF.avformat_free_context(*ctx);  // as the library does on failure
    *ctx = nullptr;
    return ret;
  }
  if (!*ctx) *ctx = FF.avformat_alloc_context();
  if (!*ctx) {
    FreeUnicodeIO(&pb);
    return AVERROR(ENOMEM);
  }
  (*ctx)->pb = pb;
  (*ctx)->flags |= AVFMT_FLAG_CUSTOM_IO;
  ret = FF.avformat_open_input(ctx, libraryName.c_str(), fmt, options);
  if (ret < 0) FreeUnicodeIO(&pb);  // the library freed the context but not our I/O
  return ret;
}

void CloseInputWithName(AVFormatContext** ctx) {
  if (!ctx || !*ctx) return;
  AVIOContext* pb = (*ctx)->pb;
  const bool ours = ((*ctx)->flags & AVFMT_FLAG_CUSTOM_IO) && IsUnicodeIO(pb);
  FF.avformat_close_input(ctx);
  if (ours) FreeUnicodeIO(&pb);
}

int OpenOutputIO(AVIOContext** pb, const std::string& name, int flags) {
  const std::string libraryName = NameForLibrary(name);
  if (IsProtocolName(libraryName)) return OpenUnicodeIO(pb, libraryName, flags);
  return FF.avio_open(pb, libraryName.c_str(), flags);
}

int CloseOutputIO(AVIOContext** pb) {
  if (!pb || !*pb) return 0;
  if (IsUnicodeIO(*pb)) return FreeUnicodeIO(pb);
  int writeError = 0;
  if ((*pb)->write_flag) {
    FF.avio_flush(*pb);
    writeError = (*pb)->error;
  }
  int ret = FF.avio_closep(pb);
  return writeError < 0 ? writeError : ret;
}
