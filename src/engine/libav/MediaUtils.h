// Small routines shared by the engine, the probe and the player: time, size
// and error texts, stream-type and codec names, metadata, whole-file reads,
// date conversions, path helpers and strict number conversion.
//
// Stateless; every function may be called from any thread. Those that touch
// the media libraries need the libraries loaded (FF filled). Texts are UTF-8.
// The hand-over to the user-interface thread (RunOnMainThread, PumpMainThread)
// lives in engine/common/MainThread.h and is re-exported here for convenience.
#pragma once

#include <cstdint>
#include <string>

#include "engine/common/MainThread.h"

extern "C" {
struct AVCodecContext;
struct AVCodecParameters;
struct AVDictionary;
struct AVFormatContext;
}

// The no-time value of 64-bit media times.
constexpr std::int64_t NoTimeValue = INT64_MIN;

// "HH:MM:SS.mmm" of a time in microseconds (hours not wrapped at 24);
// "N/A" for NoTimeValue.
std::string TimeToText(std::int64_t us);
// "1.50 GB" / "3.20 MB" / "1.00 KB" above each unit, else "<n> Byte".
std::string SizeToText(std::int64_t bytes);

// The message of a library error code: the fixed table of the program's own
// texts for the codes it knows, else the library's text, else
// "Error number <code> occurred".
std::string ErrorMessage(int code);
// prefix + ": " + ErrorMessage(code).
std::string ErrorText(const std::string& prefix, int code);

// "Video", "Audio", "Data", "Subtitle", "Attachment", else "Unknown".
std::string MediaTypeName(int mediaType);

// "name(long name)" of the encoder (encoder true) or decoder registered for
// the codec, "name" when it has no long name; for an unregistered codec
// "mpeg2ts" for the transport stream id, else the codec's own name, else the
// tag as "abcd / 0x64636261" when printable, else "0x<tag>".
std::string CodecNameText(const AVCodecContext* ctx, bool encoder);
std::string CodecNameText(const AVCodecParameters* par, bool encoder);

// The value of the first entry named `key` (library matching: case-
// insensitive), else `defaultValue`.
std::string MetadataValue(const AVDictionary* dict, const std::string& key,
                          const std::string& defaultValue);

// The stream information of an opened input (avformat_find_stream_info),
// found under the codec lock. The decoders the library opens to look at the
// first packets run on one thread each: the facts are the same, and a
// decoder with a thread per processor would allocate a context per thread
// for a handful of pictures, which made the look-up twice as slow on small
// files. The library's result: >= 0 on success, an error code otherwise.
int FindStreamInfo(AVFormatContext* format);

// Reads a whole file into `content`. 0 on success, -1 when the file cannot be
// opened or read, -12 when memory runs out.
int ReadWholeFile(const std::string& path, std::string& content);

// Unix seconds <-> local date-time in days since 1899-12-30 (the spreadsheet
// convention); the reverse rounds to whole seconds.
double UnixToLocalDateTime(std::int64_t unixSeconds);
std::int64_t LocalDateTimeToUnix(double localDateTime);

// Paths ("/" separated, UTF-8).
std::string IncludeTrailingSlash(const std::string& path);
// Up to and including the last "/"; "" when there is none.
std::string ExtractFilePath(const std::string& path);
// After the last "/".
std::string ExtractFileName(const std::string& path);
// True for an existing file that is not a folder.
bool FileExists(const std::string& path);
// Size in bytes, -1 when missing or a folder.
std::int64_t FileSize(const std::string& path);
// True when both names lead to one file: the same device and inode, links
// followed (a symbolic or hard link and its file are the same file). False
// when either does not exist.
bool SameFile(const std::string& a, const std::string& b);
std::string GetCurrentFolder();
bool SetCurrentFolder(const std::string& folder);
// Absolute form of a path relative to the current folder, with "." and ".."
// resolved by name (the file need not exist).
std::string ExpandFullPath(const std::string& path);

// Strict conversions of option values: optional blanks around, optional sign,
// digits only (decimal), within range. They throw FFmpegException
// "'<text>' is not a valid integer value" /
// "'<text>' is not a valid floating point value".
int StrToIntStrict(const std::string& text);
std::int64_t StrToInt64Strict(const std::string& text);
double StrToFloatStrict(const std::string& text);
