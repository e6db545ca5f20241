// Tests only (varn_platform_faults, which only test programs link): file operations that
// fail on demand, for a full disk, a held file or a broken device, as tests run as root.
// They wrap the system (system.h) of the thread that sets them.
//
// Counted: File open (kOpen; kCreate for OpenMode::kCreate), Read (kRead), Write and
// Truncate (kWrite), Seek, an explicit Close, Flush and FlushFolder (kFlush), RenameFile,
// DeleteFile, CreateFolder, SetFileDosTime and File::SetDosTime (kSetTime), SetAttributes;
// as kOpen, entering a folder (SetCurrentDir, ChangeDir, WalkGuard::TryEnter) and
// DirectorySearch::FindFirst. Queries are not. A failed operation does nothing, except
// Close, which gives the descriptor back all the same.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/system.h"

namespace platform::testing {

using FileOp = detail::Operation;

// The nth (1-based, counted from now) operation of the given kind fails with code,
// once. Several such faults may be pending at a time.
void FailNthOperation(int n, FileOp kind = FileOp::kAny, int code = 5);
// As FailNthOperation, but that operation and every later one of the kind fail (a
// disk that has broken down), until ResetFaults.
void FailFromNthOperation(int n, FileOp kind = FileOp::kAny, int code = 5);
// The nth operation (1-based, counted from now, all kinds together) first runs `action`:
// for a test that ends the process there, as a crash would.
void BeforeNthOperation(int n, std::function<void()> action);
// Operations counted since ResetFaults: learn an action's count, then fail each in turn.
int OperationCount();

// The file refuses to be opened, deleted, renamed, renamed over or given a time with code
// 32, as if another program held it open without sharing. A held folder cannot be entered
// and no file in it deleted (5), as one without search permission or on a write-protected
// disk. Matched by host path, ignoring letter case.
void HoldOpen(const std::string& windows_path);
void Release(const std::string& windows_path);

// The free space a drive reports (A = 1); nullopt makes the query fail.
void SetFreeSpace(int drive_number, std::optional<unsigned long long> bytes);

// Clears every fault, hold and free-space figure and restarts the count.
void ResetFaults();

}  // namespace platform::testing
