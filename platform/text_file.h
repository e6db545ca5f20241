// Text files line by line: lines written end in CR LF; read, CR LF, LF, a lone CR and
// a last line without an end are all accepted.
#pragma once

#include <string>

#include "platform/files.h"

namespace platform {

// The end of every line the program writes.
inline constexpr char kLineEnd[] = "\r\n";

// Writes the line and its end in one unbuffered call (File::Write raises).
void WriteTextLine(File& file, const std::string& line);

class TextReader {
 public:
  explicit TextReader(const std::string& path);  // raises EInOutError
  // The next line without its end; false at the end ("a" and "a\r\n" both hold one line).
  bool ReadLine(std::string& line);
  // False when the line ReadLine gave last had no end (cut short, or written without).
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

// Lines are written in blocks; a writer dropped without Close writes the rest, ignoring errors.
class TextWriter {
 public:
  TextWriter(const std::string& path, OpenMode mode);  // kCreate or kAppend; raises
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
