#include "engine/options/OptionState.h"

#include "engine/libav/FFmpegApi.h"
#include "engine/libav/FFmpegLogger.h"

namespace {

bool ValidType(AVMediaType type) { return type >= 0 && type < MediaTypeCount; }

// Copies one option's current value; the typed paths keep full precision
// where a round trip through text would not.
void CopyOneOption(void* source, void* target, const AVOption* o) {
  switch (o->type) {
    case AV_OPT_TYPE_INT:
    case AV_OPT_TYPE_INT64:
    case AV_OPT_TYPE_UINT64:
    case AV_OPT_TYPE_FLAGS:
    case AV_OPT_TYPE_BOOL:
    case AV_OPT_TYPE_PIXEL_FMT:
    case AV_OPT_TYPE_SAMPLE_FMT: {
      int64_t v = 0;
      if (FF.av_opt_get_int(source, o->name, 0, &v) >= 0) FF.av_opt_set_int(target, o->name, v, 0);
      return;
    }
    case AV_OPT_TYPE_DOUBLE:
    case AV_OPT_TYPE_FLOAT: {
      double v = 0;
      if (FF.av_opt_get_double(source, o->name, 0, &v) >= 0)
        FF.av_opt_set_double(target, o->name, v, 0);
      return;
    }
    case AV_OPT_TYPE_RATIONAL:
    case AV_OPT_TYPE_VIDEO_RATE: {
      AVRational v{0, 1};
      if (FF.av_opt_get_q(source, o->name, 0, &v) >= 0) FF.av_opt_set_q(target, o->name, v, 0);
      return;
    }
    default: {
      uint8_t* text = nullptr;
      if (FF.av_opt_get(source, o->name, 0, &text) >= 0 && text)
        FF.av_opt_set(target, o->name, reinterpret_cast<const char*>(text), 0);
      FF.av_free(text);
      return;
    }
  }
}

}  // namespace

TGenericOptionStore::~TGenericOptionStore() { Free(); }

void TGenericOptionStore::Free() {
  // Once the libraries are gone the contexts can only be dropped.
  if (!FF.avcodec_free_context || !FF.avformat_free_context || !FF.sws_freeContext ||
      !FF.av_dict_free) {
    codec_ = {};
    format_ = nullptr;
    scaler_ = nullptr;
    codecPrivate_ = {};
    formatPrivate_ = nullptr;
    names_.clear();
    return;
  }
  for (auto& c : codec_) {
    if (c) FF.avcodec_free_context(&c);
    c = nullptr;
  }
  if (format_) FF.avformat_free_context(format_);
  format_ = nullptr;
  if (scaler_) FF.sws_freeContext(scaler_);
  scaler_ = nullptr;
  for (auto& d : codecPrivate_) {
    if (d) FF.av_dict_free(&d);
    d = nullptr;
  }
  if (formatPrivate_) FF.av_dict_free(&formatPrivate_);
  formatPrivate_ = nullptr;
  names_.clear();
}

void TGenericOptionStore::Rebuild(int scalerFlags) {
  Free();
  // Each context starts from the library defaults for its media type, so the
  // value later read back for a type is that type's own.
  for (int t = 0; t < MediaTypeCount; ++t) {
    codec_[t] = FF.avcodec_alloc_context3(nullptr);
    if (codec_[t]) codec_[t]->codec_type = static_cast<AVMediaType>(t);
  }
  format_ = FF.avformat_alloc_context();
  scaler_ = FF.sws_getContext(16, 16, AV_PIX_FMT_YUV420P, 16, 16, AV_PIX_FMT_YUV420P, scalerFlags,
                              nullptr, nullptr, nullptr);
}

AVCodecContext* TGenericOptionStore::CodecContext(AVMediaType type) const {
  return ValidType(type) ? codec_[type] : nullptr;
}

int TGenericOptionStore::TypeMask(AVMediaType type) {
  switch (type) {
    case AVMEDIA_TYPE_VIDEO: return OptMaskVideo;
    case AVMEDIA_TYPE_AUDIO: return OptMaskAudio;
    case AVMEDIA_TYPE_SUBTITLE: return OptMaskSubtitle;
    default: return 0;
  }
}

void TGenericOptionStore::RememberName(const std::string& name) {
  for (const auto& n : names_)
    if (n == name) return;
  names_.push_back(name);
}

void TGenericOptionStore::CopyGenericOptions(void* source, void* target, int mask) const {
  if (!source || !target) return;
  for (const auto& name : names_) {
    const AVOption* o = FF.av_opt_find2(source, name.c_str(), nullptr, 0, 0, nullptr);
    if (!o || (o->flags & mask) != mask) continue;
    CopyOneOption(source, target, o);
  }
}

void TGenericOptionStore::CopyToCodecContext(AVMediaType type, AVCodecContext* target,
                                             int mask) const {
  CopyGenericOptions(CodecContext(type), target, mask);
}

void TGenericOptionStore::CopyToFormatContext(AVFormatContext* target, int mask) const {
  CopyGenericOptions(format_, target, mask);
}

void TGenericOptionStore::SetPrivateCodecOption(AVMediaType type, const std::string& name,
                                                const std::string& value) {
  if (ValidType(type)) FF.av_dict_set(&codecPrivate_[type], name.c_str(), value.c_str(), 0);
}

void TGenericOptionStore::SetPrivateFormatOption(const std::string& name,
                                                 const std::string& value) {
  FF.av_dict_set(&formatPrivate_, name.c_str(), value.c_str(), 0);
}

const AVDictionary* TGenericOptionStore::PrivateCodecOptions(AVMediaType type) const {
  return ValidType(type) ? codecPrivate_[type] : nullptr;
}

AVDictionary* TGenericOptionStore::CopyPrivateCodecOptions(AVMediaType type) const {
  AVDictionary* copy = nullptr;
  if (const AVDictionary* d = PrivateCodecOptions(type)) FF.av_dict_copy(&copy, d, 0);
  return copy;
}

AVDictionary* TGenericOptionStore::CopyPrivateFormatOptions() const {
  AVDictionary* copy = nullptr;
  if (formatPrivate_) FF.av_dict_copy(&copy, formatPrivate_, 0);
  return copy;
}

void ReportUnusedPrivateOptions(AVDictionary** leftover, const std::string& user) {
  if (!leftover || !*leftover) return;
  const AVDictionaryEntry* e = nullptr;
  while ((e = FF.av_dict_get(*leftover, "", e, AV_DICT_IGNORE_SUFFIX)))
    FFLogger().LogFormat(nullptr, llWarning, "Option %s not used by %s", e->key, user.c_str());
  FF.av_dict_free(leftover);
}

void TOptionState::ResetOptions() {
  static_cast<TPendingOptions&>(*this) = TPendingOptions();
  if (FF.avcodec_alloc_context3 && FF.avformat_alloc_context && FF.sws_getContext)
    Generic.Rebuild(ScalerFlags);
  else
    Generic.Free();
}
