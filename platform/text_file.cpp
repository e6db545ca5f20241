#include "platform/text_file.h"

#include <algorithm>
#include <stdexcept>

#include "platform/io_error.h"

namespace platform {
namespace {

constexpr std::size_t kReadChunk = 64 * 1024;
constexpr std::size_t kWriteBuffer = 4096;

}  // namespace

TextReader::TextReader(const std::string& path) : file_(File::Open(path, OpenMode::kRead)) {}

bool TextReader::Fill() {
  if (at_end_) return false;
  buffer_.resize(kReadChunk);
  buffer_.resize(file_.Read(buffer_.data(), buffer_.size()));
  position_ = 0;
  if (buffer_.empty()) at_end_ = true;
  return !at_end_;
}

bool TextReader::AtEnd() { return position_ >= buffer_.size() && !Fill(); }

bool TextReader::ReadLine(std::string& line) {
  line.clear();
  if (AtEnd()) return false;
  while (!AtEnd()) {
    const std::size_t end = std::min(buffer_.find_first_of("\r\n", position_), buffer_.size());
    line.append(buffer_, position_, end - position_);
    position_ = end;
    if (end == buffer_.size()) continue;
    ++position_;
    if (buffer_[end] == '\r' && !AtEnd() && buffer_[position_] == '\n') ++position_;
    line_ended_ = true;
    return true;
  }
  line_ended_ = false;
  return true;
}

void TextReader::Close() { file_.Close(); }

TextWriter::TextWriter(const std::string& path, OpenMode mode) {
  if (mode != OpenMode::kCreate && mode != OpenMode::kAppend) {
    throw std::invalid_argument("TextWriter opens for creating or appending only");
  }
  file_ = File::Open(path, mode);
}

TextWriter::~TextWriter() {
  if (!file_.IsOpen() || pending_.empty()) return;
  try {
    WritePending();
  } catch (const EInOutError&) {
    // Nobody is left to tell; Close() is the call that reports.
  }
}

void TextWriter::WritePending() {
  std::string block;
  block.swap(pending_);  // a failed write is not repeated by a later Close
  file_.Write(block.data(), block.size());
}

void WriteTextLine(File& file, const std::string& line) {
  const std::string text = line + kLineEnd;
  file.Write(text.data(), text.size());
}

void TextWriter::WriteLine(const std::string& line) {
  pending_ += line;
  pending_ += kLineEnd;
  if (pending_.size() >= kWriteBuffer) WritePending();
}

void TextWriter::Flush() {
  if (!pending_.empty()) WritePending();
  file_.Flush();
}

void TextWriter::Close() {
  if (!pending_.empty()) WritePending();
  file_.Close();
}

}  // namespace platform
