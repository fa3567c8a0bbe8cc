// Standard output and error for the command line. tarrow.exe is a windows
// program, which Windows starts without a console: it writes to the handles
// it inherited when they were redirected to a file or pipe, and otherwise to
// the console of the program that started it, if any.
#pragma once

#include <windows.h>

#include <string_view>

#include "cli/commands.h"
#include "platform/win32/handles.h"

namespace tarrow::app {

// One stream: UTF-8 without a byte order mark to a file or pipe, the text
// itself to a console. Without a handle, the text goes nowhere.
class StreamSink : public cli::TextSink {
 public:
  explicit StreamSink(HANDLE handle);
  void Write(std::wstring_view text) override;

 private:
  HANDLE handle_;
  bool console_ = false;
};

class StandardStreams {
 public:
  StandardStreams();
  StandardStreams(const StandardStreams&) = delete;
  StandardStreams& operator=(const StandardStreams&) = delete;
  cli::TextSink& out() { return out_; }
  cli::TextSink& err() { return err_; }

 private:
  // The console of the program that started this one, where a stream was not
  // redirected; declared first, as the sinks write to it.
  win32::UniqueHandle console_;
  StreamSink out_;
  StreamSink err_;
};

}  // namespace tarrow::app
