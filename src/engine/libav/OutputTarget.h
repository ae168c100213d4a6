// Where a conversion writes an output file, so that a failed conversion never
// damages a file it did not make.
//
// A regular file that exists is never written in place: the bytes go to a
// fresh hidden file beside it (".NAME.XXXXXX.part", the old file's mode) that
// replaces it only when Keep is called. A name that does not exist yet is
// first reserved with an empty file of our own, so that another output of the
// same run (or another program) cannot choose it meanwhile; it is written the
// same way. A symbolic link is followed: the file it points to is replaced
// and the link stays. Anything else that exists (a device, a named pipe) is
// written in place and never removed; a named pipe nobody reads is refused
// rather than waited for.
//
// Discard (and the destructor) removes the hidden file and a reservation that
// is still ours and still empty, nothing else.
//
// Threads: one object is used by one thread at a time.
#pragma once

#include <sys/types.h>
#include <string>

extern "C" {
struct AVIOContext;
}

class TOutputTarget {
 public:
  TOutputTarget() = default;
  ~TOutputTarget();
  TOutputTarget(const TOutputTarget&) = delete;
  TOutputTarget& operator=(const TOutputTarget&) = delete;

  // Opens `name` (a "unicode:utf8:" name opens the file inside it) for
  // writing into *pb (an I/O context over our own file descriptor). 0 or a
  // negative library error code.
  int Open(const std::string& name, AVIOContext** pb);
  // Flushes and closes *pb and puts the written file in place of the target.
  // 0, or the first write, close or rename error (the target is then left as
  // it was).
  int Keep(AVIOContext** pb);
  // Closes *pb (when set) and removes what Open made that was not kept.
  void Discard(AVIOContext** pb);

  // The file the bytes go to until Keep: the hidden file, or the target
  // itself when written in place. Empty before Open.
  const std::string& WrittenName() const { return written_; }

 private:
  void RemoveOwnFiles();

  std::string target_;   // the file replaced at Keep (links followed)
  std::string written_;  // where the bytes go
  bool inPlace_ = false;
  // The empty file that reserved a new name: removed unless kept.
  bool reserved_ = false;
  dev_t reservedDev_ = 0;
  ino_t reservedIno_ = 0;
};
