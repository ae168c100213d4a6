// The generic option setter: options of the media library's own tables,
// set on the default contexts, and private options of encoders and muxers.
#include <cstring>

#include "engine/libav/FFmpegApi.h"
#include "engine/libav/FFmpegLogger.h"
#include "engine/options/OptionMoved.h"
#include "engine/options/OptionParser.h"
#include "engine/options/OptionText.h"

namespace {

// Sets one option and reports a rejected value the way the library reports
// its own option errors.
bool SetOn(void* obj, const std::string& name, const std::string& value) {
  if (FF.av_opt_set(obj, name.c_str(), value.c_str(), 0) >= 0) return true;
  FF.av_log(nullptr, AV_LOG_ERROR, "Invalid value \"%s\" for option \"%s\"\n", value.c_str(),
            name.c_str());
  return false;
}

const AVOption* FindOption(void* obj, const std::string& name, int flags = 0) {
  return obj ? FF.av_opt_find2(obj, name.c_str(), nullptr, flags, 0, nullptr) : nullptr;
}

bool ClassHasOption(const AVClass* const* cls, const std::string& name) {
  return cls && *cls &&
         FF.av_opt_find2(const_cast<const AVClass**>(cls), name.c_str(), nullptr, 0,
                         AV_OPT_SEARCH_FAKE_OBJ, nullptr);
}

// True when the encoder takes the value (checked on a fresh context of it, so
// the option's own range and constants apply).
bool EncoderAccepts(const AVCodec* codec, const std::string& name, const std::string& value) {
  AVCodecContext* ctx = FF.avcodec_alloc_context3(codec);
  if (!ctx) return false;
  bool ok = ctx->priv_data && FF.av_opt_set(ctx->priv_data, name.c_str(), value.c_str(), 0) >= 0;
  FF.avcodec_free_context(&ctx);
  return ok;
}

bool MuxerAccepts(const AVOutputFormat* format, const std::string& name, const std::string& value) {
  AVFormatContext* ctx = nullptr;
  if (FF.avformat_alloc_output_context2(&ctx, format, nullptr, nullptr) < 0 || !ctx) return false;
  bool ok = ctx->priv_data && FF.av_opt_set(ctx->priv_data, name.c_str(), value.c_str(), 0) >= 0;
  FF.avformat_free_context(ctx);
  return ok;
}

// Encoders of `type` whose private options know `name`: the one named first
// (the pending codec), then every other in the library's order.
std::vector<const AVCodec*> EncodersWithOption(AVMediaType type, const std::string& name,
                                               const std::string& preferred) {
  std::vector<const AVCodec*> found;
  if (!preferred.empty()) {
    const AVCodec* c = FF.avcodec_find_encoder_by_name(preferred.c_str());
    if (c && c->type == type && ClassHasOption(&c->priv_class, name)) found.push_back(c);
  }
  void* it = nullptr;
  while (const AVCodec* c = FF.av_codec_iterate(&it)) {
    if (c->type != type || !FF.av_codec_is_encoder(c) || !c->priv_class) continue;
    if (!found.empty() && c == found.front()) continue;
    if (ClassHasOption(&c->priv_class, name)) found.push_back(c);
  }
  return found;
}

std::vector<const AVOutputFormat*> MuxersWithOption(const std::string& name,
                                                    const std::string& preferred) {
  std::vector<const AVOutputFormat*> found;
  if (!preferred.empty()) {
    const AVOutputFormat* f = FF.av_guess_format(preferred.c_str(), nullptr, nullptr);
    if (f && ClassHasOption(&f->priv_class, name)) found.push_back(f);
  }
  void* it = nullptr;
  while (const AVOutputFormat* f = FF.av_muxer_iterate(&it)) {
    if (!f->priv_class || (!found.empty() && f == found.front())) continue;
    if (ClassHasOption(&f->priv_class, name)) found.push_back(f);
  }
  return found;
}

}  // namespace

bool TOptionParser::SetGenericOption(const std::string& name, const std::string& value) {
  bool matched = false;
  return SetGeneric(name, value, matched);
}

bool TOptionParser::SetGeneric(const std::string& rawName, const std::string& rawValue,
                               bool& matched) {
  matched = false;
  const std::string name = TrimOptionText(rawName), value = TrimOptionText(rawValue);
  // A state that never saw ResetOptions (or was cleaned up) gets its default
  // contexts on first use, so no option is dropped silently.
  if (!state_.Generic.Built() && FF.avcodec_alloc_context3)
    state_.Generic.Rebuild(state_.ScalerFlags);
  if (name.empty() || value.empty() || !state_.Generic.Built()) return false;
  std::string storedName;
  bool ok = SetOnDefaultContexts(name, value, matched, storedName);
  if (matched) {
    if (ok) AfterGenericOption(storedName);
    return ok;
  }
  return SetPrivateOption(name, value, matched);
}

bool TOptionParser::SetOnDefaultContexts(const std::string& name, const std::string& value,
                                         bool& matched, std::string& storedName) {
  TGenericOptionStore& g = state_.Generic;
  // Codec options are looked up once on the video context, by each media
  // type's flag, and set on that type's own context.
  AVCodecContext* video = g.CodecContext(AVMEDIA_TYPE_VIDEO);
  for (int t = 0; t < MediaTypeCount; ++t) {
    const auto type = static_cast<AVMediaType>(t);
    const AVOption* o = FindOption(video, name, TGenericOptionStore::TypeMask(type));
    if (!o) continue;
    matched = true;
    storedName = o->name;
    if (!SetOn(g.CodecContext(type), name, value)) return false;
  }
  if (matched) return true;
  for (void* ctx : {static_cast<void*>(g.FormatContext()), static_cast<void*>(g.ScalerContext())}) {
    if (const AVOption* o = FindOption(ctx, name)) {
      matched = true;
      storedName = o->name;
      return SetOn(ctx, name, value);
    }
  }
  // "ab" is "b" of audio, "vb" "b" of video, "sfoo" "foo" of subtitles.
  static const std::pair<char, AVMediaType> prefixes[] = {
      {'a', AVMEDIA_TYPE_AUDIO}, {'v', AVMEDIA_TYPE_VIDEO}, {'s', AVMEDIA_TYPE_SUBTITLE}};
  for (const auto& [letter, type] : prefixes) {
    if (name.size() < 2 || name[0] != letter) continue;
    const std::string rest = name.substr(1);
    if (const AVOption* o = FindOption(g.CodecContext(type), rest)) {
      matched = true;
      storedName = o->name;
      return SetOn(g.CodecContext(type), rest, value);
    }
  }
  return false;
}

void TOptionParser::AfterGenericOption(const std::string& storedName) {
  TGenericOptionStore& g = state_.Generic;
  g.RememberName(storedName);
  int64_t v = 0;
  if (storedName == "sws_flags" && FF.av_opt_get_int(g.ScalerContext(), "sws_flags", 0, &v) >= 0)
    state_.ScalerFlags = static_cast<int>(v);
  int64_t codecDebug = 0, formatDebug = 0;
  FF.av_opt_get_int(g.CodecContext(AVMEDIA_TYPE_VIDEO), "debug", 0, &codecDebug);
  FF.av_opt_get_int(g.FormatContext(), "fdebug", 0, &formatDebug);
  if (codecDebug || formatDebug) FFLogger().SetLogLevel(llDebug);
}

bool TOptionParser::SetPrivateOption(const std::string& name, const std::string& value,
                                     bool& matched) {
  if (SetPrivateCodecOption(name, value, matched)) return true;
  bool codecMatched = matched;
  if (SetPrivateFormatOption(name, value, matched)) return true;
  matched = matched || codecMatched;
  if (matched)
    FF.av_log(nullptr, AV_LOG_ERROR, "Invalid value \"%s\" for option \"%s\"\n", value.c_str(),
              name.c_str());
  return false;
}

bool TOptionParser::SetPrivateCodecOption(const std::string& name, const std::string& value,
                                          bool& matched) {
  const std::pair<AVMediaType, const std::string*> kinds[] = {
      {AVMEDIA_TYPE_VIDEO, &state_.VideoCodecName},
      {AVMEDIA_TYPE_AUDIO, &state_.AudioCodecName},
      {AVMEDIA_TYPE_SUBTITLE, &state_.SubtitleCodecName}};
  for (const auto& [type, preferred] : kinds) {
    for (const AVCodec* c : EncodersWithOption(type, name, *preferred)) {
      matched = true;
      if (!EncoderAccepts(c, name, value)) continue;
      state_.Generic.SetPrivateCodecOption(type, name, value);
      return true;
    }
  }
  return false;
}

bool TOptionParser::SetPrivateFormatOption(const std::string& name, const std::string& value,
                                           bool& matched) {
  for (const AVOutputFormat* f : MuxersWithOption(name, state_.FileFormatName)) {
    matched = true;
    if (!MuxerAccepts(f, name, value)) continue;
    state_.Generic.SetPrivateFormatOption(name, value);
    return true;
  }
  return false;
}

bool TOptionParser::SetGenericOrMovedOption(const std::string& name, const std::string& value) {
  const TMovedTranslation moved = TranslateMovedOption(TrimOptionText(name), TrimOptionText(value));
  if (!moved.Translated) return SetGenericOption(name, value);
  bool ok = true;
  for (const auto& [n, v] : moved.Options) {
    bool matched = false;
    if (SetGeneric(n, v, matched)) continue;
    if (matched)
      ok = false;
    else
      Log(llWarning, "Option \"" + n + "\" (from \"" + TrimOptionText(name) + "=" +
                         TrimOptionText(value) + "\") is not available here; skipped");
  }
  return ok;
}

void TOptionParser::SetBitRate(const std::string& name, const std::string& value) {
  if (!SetGenericOption(name, value)) return;
  const AVMediaType type = name[0] == 'a' ? AVMEDIA_TYPE_AUDIO : AVMEDIA_TYPE_VIDEO;
  int64_t bitRate = 0;
  FF.av_opt_get_int(state_.Generic.CodecContext(type), "b", 0, &bitRate);
  if (bitRate < 1000)
    Log(llWarning,
        "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s");
}
