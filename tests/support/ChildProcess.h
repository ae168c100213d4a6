// A program run by a test: its standard output and error captured, signals
// sent to it while it runs, its exit awaited with a deadline.
//
//   TChildProcess child;
//   ASSERT_TRUE(child.Start(program, {"-i", clip, out}, {{"QUOR_APPDATA", dir}}));
//   ASSERT_TRUE(child.WaitForOutput("frame=", std::chrono::seconds(30)));
//   child.Signal(SIGINT);
//   EXPECT_EQ(child.Wait(), 130) << child.Out() << child.Err();
//
// or in one call: TChildResult r = TChildProcess::Run(program, args);
//
// Output is collected only while the test waits (WaitFor, WaitForOutput,
// Wait); a child that writes much more than a pipe holds between two waits
// blocks until the next one. Not thread-safe: one thread drives a child.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

struct TChildResult {
  int Status = -1;  // exit code; 128 + n when killed by signal n; -1 when it did not start
  std::string Out, Err;
};

class TChildProcess {
 public:
  using TEnv = std::vector<std::pair<std::string, std::string>>;
  static constexpr std::chrono::milliseconds kDefaultTimeout{55000};

  TChildProcess() = default;
  ~TChildProcess();  // kills and reaps a child that still runs
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;

  // Starts `program` with `args`; `env` adds to or replaces variables of this
  // process's environment. False when the pipes or the process could not be
  // made (a program that cannot be executed exits with 127 instead).
  bool Start(const std::string& program, const std::vector<std::string>& args,
             const TEnv& env = {});

  // Collects output until `done()` holds (checked after every read and at
  // least every 20 ms), the child closes both streams, or `timeout` passes.
  // True when `done()` held.
  bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout);
  // WaitFor the text to show up on standard output.
  bool WaitForOutput(const std::string& text, std::chrono::milliseconds timeout);

  // The largest file the next child started may write, in bytes (-1: no
  // limit of ours): a write past it fails as on a full file system.
  void SetFileSizeLimit(std::int64_t bytes) { fileSizeLimit_ = bytes; }

  // Sends `signal` to a child that has not been reaped yet.
  void Signal(int signal);

  // Collects the rest of the output and reaps the child, killing it when it
  // outlives `timeout`. Returns Status().
  int Wait(std::chrono::milliseconds timeout = kDefaultTimeout);

  // Start, then Wait; a child that could not start gives Status -1.
  static TChildResult Run(const std::string& program, const std::vector<std::string>& args,
                          const TEnv& env = {},
                          std::chrono::milliseconds timeout = kDefaultTimeout);

  const std::string& Out() const { return out_; }
  const std::string& Err() const { return err_; }
  int Status() const { return status_; }
  bool Running() const { return pid_ > 0; }

 private:
  // Reads what is ready within `waitMs`; false once both streams are closed.
  bool Pump(int waitMs);
  void CloseStreams();
  // Reaps the child when it has exited (blocking: waits for it).
  bool Reap(bool block);

  pid_t pid_ = -1;
  int fds_[2] = {-1, -1};  // the read ends of standard output and error
  std::string out_, err_;
  int status_ = -1;
  std::int64_t fileSizeLimit_ = -1;
};
