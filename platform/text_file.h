// Line-by-line text files as the program reads and writes them: lines end in CR LF on
// writing; on reading CR LF, LF, a lone CR and a last line without an end are all
// accepted.
#pragma once

#include <string>

#include "platform/files.h"

namespace platform {

// The end of every line the program writes.
inline constexpr char kLineEnd[] = "\r\n";

// Writes line and its line end in one call, unbuffered: the line is in the file when it
// answers, or File::Write has raised.
void WriteTextLine(File& file, const std::string& line);

class TextReader {
 public:
  explicit TextReader(const std::string& path);  // raises EInOutError
  // Reads the next line without its end; false at the end of the file (an empty file
  // has no line; "a" and "a\r\n" both hold one). Read errors raise.
  bool ReadLine(std::string& line);
  // False when the line ReadLine gave last had no end: the last line of the file, cut
  // short or written without one.
  bool LineEnded() const { return line_ended_; }
  bool AtEnd();
  void Close();

 private:
  bool Fill();
  File file_;
  std::string buffer_;
  std::size_t position_ = 0;
  bool at_end_ = false;
  bool line_ended_ = true;
};

// Lines are gathered in a small buffer and written in blocks; Close writes the rest.
// A writer dropped without Close still writes what it holds, ignoring errors.
class TextWriter {
 public:
  TextWriter(const std::string& path, OpenMode mode);  // kCreate or kAppend; raises
  TextWriter(TextWriter&&) noexcept = default;
  TextWriter& operator=(TextWriter&&) noexcept = default;
  ~TextWriter();
  void WriteLine(const std::string& line);  // appends CR LF
  void Flush();  // writes what it holds and makes the file durable (fsync); raises
  void Close();  // writes what it holds, raises on failure

 private:
  void WritePending();
  File file_;
  std::string pending_;
};

}  // namespace platform
