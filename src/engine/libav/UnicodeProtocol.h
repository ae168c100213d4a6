// File names handed to the media libraries, and the "unicode:utf8:" names.
//
// File names are UTF-8 here, which the libraries open as they are, so a valid
// name is passed on unchanged. A name that is not valid UTF-8 (bytes from a
// foreign file system) is wrapped as "unicode:utf8:" + name and opened by our
// own I/O over a file descriptor, like any name that already carries the
// prefix. So is every name the library would read as a protocol address
// ("take:1.mp4", "pipe:0" or "http://host/a.mp4" in the current folder): the
// names given to this program are files, never standard input, a device or
// the network.
//
// Every file the engine, the probe and the player open goes through
// OpenInputWithName / OpenOutputIO and is closed with CloseInputWithName /
// CloseOutputIO: the library cannot free our I/O contexts itself.
// Threads: any; each call owns what it returns (no shared name buffer).
#pragma once

#include <string>

extern "C" {
struct AVFormatContext;
struct AVIOContext;
struct AVInputFormat;
struct AVDictionary;
}

constexpr const char* UnicodeProtocolPrefix = "unicode:utf8:";

// False for a name that already carries the prefix; otherwise true when the
// name is not valid UTF-8 or its part before the first ":" could be a
// protocol name (above).
bool NameNeedsProtocol(const std::string& name);
// The text to hand to the library: "unicode:utf8:" + name when the name needs
// the protocol, else the name unchanged.
std::string NameForLibrary(const std::string& name);
// At least 14 bytes and starting with "unicode:utf8:".
bool IsProtocolName(const std::string& text);
// The file name inside a protocol name; any other text unchanged.
std::string DisplayName(const std::string& libraryName);

// Error codes of OpenInputWithName for a name that leads to something other
// than a regular file: reading a named pipe nobody writes to, a socket or a
// device can wait for ever or never end, so they are refused. ErrorMessage
// (MediaUtils.h) gives their texts.
constexpr int OwnErrorTag(char a, char b, char c, char d) {
  return -int(unsigned(a) | unsigned(b) << 8 | unsigned(c) << 16 | unsigned(d) << 24);
}
constexpr int NamedPipeInputError = OwnErrorTag('Q', 'P', 'I', 'P');
constexpr int DeviceInputError = OwnErrorTag('Q', 'D', 'E', 'V');
constexpr int SocketInputError = OwnErrorTag('Q', 'S', 'O', 'C');

// Opens an input like avformat_open_input (same arguments and results; *ctx
// may hold a pre-allocated context, which is freed on failure). The name is
// first passed through NameForLibrary. Anything but a regular file or a
// folder is refused with one of the codes above.
int OpenInputWithName(AVFormatContext** ctx, const std::string& name, const AVInputFormat* fmt,
                      AVDictionary** options);
// Closes what OpenInputWithName opened and sets *ctx to nullptr.
void CloseInputWithName(AVFormatContext** ctx);

// Opens a file for the library like avio_open (AVIO_FLAG_READ, _WRITE or
// _READ_WRITE; writing creates or truncates). 0 or a negative error code.
int OpenOutputIO(AVIOContext** pb, const std::string& name, int flags);
// Flushes and closes what OpenOutputIO opened, sets *pb to nullptr and
// returns 0, or the first write or close error (so a lost write is seen).
int CloseOutputIO(AVIOContext** pb);

// An I/O context over an open file descriptor, which it owns from then on
// (closed by CloseOutputIO, also when this fails). 0 or a negative error code.
int OpenDescriptorIO(AVIOContext** pb, int fd, int flags);

// True for an I/O context made by this unit (a protocol name or a descriptor).
bool IsUnicodeIO(const AVIOContext* pb);
